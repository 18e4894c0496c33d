// PNG files of RGB565 frames (screenshots, captured frames, contact sheets).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvax::host {

// Writes width x height RGB565 pixels as an 8-bit RGB PNG; false on failure,
// with the reason in *why when given.
bool write_png_rgb565(const std::string& path, const uint16_t* pixels, int width, int height,
                      std::string* why = nullptr);
// Encodes 8-bit RGB rows (3 bytes a pixel) as a PNG file image.
std::vector<uint8_t> encode_png_rgb(const uint8_t* rgb, int width, int height);
// Decodes a PNG written by encode_png_rgb (8-bit RGB, no interlace) back to RGB
// bytes; false for anything else. For tests and tools.
bool decode_png_rgb(const std::vector<uint8_t>& file, std::vector<uint8_t>& rgb, int& width, int& height);

// RGB565 to 8-bit channels, replicating the high bits into the low ones.
inline void rgb565_to_rgb8(uint16_t c, uint8_t* out) {
    uint8_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    out[0] = static_cast<uint8_t>(r << 3 | r >> 2);
    out[1] = static_cast<uint8_t>(g << 2 | g >> 4);
    out[2] = static_cast<uint8_t>(b << 3 | b >> 2);
}

}  // namespace korvax::host
