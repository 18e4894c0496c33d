// Shared types of the whole system.
#pragma once

#include <stdint.h>

namespace korvax {

constexpr int SCREEN_WIDTH = 320;
constexpr int SCREEN_HEIGHT = 240;
constexpr int FRAME_PIXELS = SCREEN_WIDTH * SCREEN_HEIGHT;
constexpr uint32_t FRAME_BYTES = FRAME_PIXELS * 2;  // 153,600

// 320 x 240 RGB565 (red 15..11, green 10..5, blue 4..0), row-major, 640 bytes a
// row, row 0 at the top. 32-byte aligned: the block operations move whole
// 32-byte groups.
struct alignas(32) FrameBuffer {
    uint16_t pixels[FRAME_PIXELS];
};

// 256 x 256 RGB565 texels, texel (u, v) at entry v * 256 + u.
constexpr int TEXTURE_TEXELS = 256 * 256;

}  // namespace korvax
