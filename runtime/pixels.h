// Pixels of the RGB565 frame and the reinterpretations the fixed-point
// drawing code uses.
#pragma once

#include <stdint.h>

namespace korvax {

// The two's-complement views of one 32-bit word: unsigned arithmetic wraps,
// and an arithmetic shift right needs the signed view.
inline uint32_t u32(int32_t a) { return static_cast<uint32_t>(a); }
inline int32_t s32(uint32_t a) { return static_cast<int32_t>(a); }

// RGB565: red in bits 15..11, green in 10..5, blue in 4..0.
inline int32_t red(uint32_t c) { return static_cast<int32_t>((c >> 11) & 31); }
inline int32_t green(uint32_t c) { return static_cast<int32_t>((c >> 5) & 63); }
inline int32_t blue(uint32_t c) { return static_cast<int32_t>(c & 31); }
inline uint16_t rgb565(uint32_t r, uint32_t g, uint32_t b) { return static_cast<uint16_t>(r << 11 | g << 5 | b); }

}  // namespace korvax
