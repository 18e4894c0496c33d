#include "app/png.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace korvax::host {

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

uint32_t get32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }

void chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    put32(out, static_cast<uint32_t>(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0, out.data() + start, static_cast<uInt>(out.size() - start));
    put32(out, static_cast<uint32_t>(crc));
}

const uint8_t SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

}  // namespace

std::vector<uint8_t> encode_png_rgb(const uint8_t* rgb, int width, int height) {
    std::vector<uint8_t> raw;
    raw.reserve(static_cast<size_t>(height) * (width * 3 + 1));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // filter: none
        raw.insert(raw.end(), rgb + static_cast<size_t>(y) * width * 3, rgb + static_cast<size_t>(y + 1) * width * 3);
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packed_size);
    compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), 6);
    packed.resize(packed_size);

    std::vector<uint8_t> out(SIGNATURE, SIGNATURE + 8);
    std::vector<uint8_t> header;
    put32(header, static_cast<uint32_t>(width));
    put32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit, RGB, deflate, no filter set, no interlace
    chunk(out, "IHDR", header);
    chunk(out, "IDAT", packed);
    chunk(out, "IEND", {});
    return out;
}

bool write_png_rgb565(const std::string& path, const uint16_t* pixels, int width, int height, std::string* why) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) rgb565_to_rgb8(pixels[i], &rgb[i * 3]);
    std::vector<uint8_t> file = encode_png_rgb(rgb.data(), width, height);
    errno = 0;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        if (why) *why = std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    int write_error = errno;
    ok = std::fclose(f) == 0 && ok;
    if (!ok && why) *why = std::strerror(write_error != 0 ? write_error : (errno != 0 ? errno : EIO));
    return ok;
}

bool decode_png_rgb(const std::vector<uint8_t>& file, std::vector<uint8_t>& rgb, int& width, int& height) {
    if (file.size() < 8 || std::memcmp(file.data(), SIGNATURE, 8) != 0) return false;
    std::vector<uint8_t> packed;
    width = height = 0;
    for (size_t p = 8; p + 12 <= file.size();) {
        uint32_t length = get32(&file[p]);
        if (p + 12 + length > file.size()) return false;
        const uint8_t* type = &file[p + 4];
        const uint8_t* data = &file[p + 8];
        if (std::memcmp(type, "IHDR", 4) == 0) {
            if (length < 13 || data[8] != 8 || data[9] != 2 || data[12] != 0) return false;
            width = static_cast<int>(get32(data));
            height = static_cast<int>(get32(data + 4));
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            packed.insert(packed.end(), data, data + length);
        }
        p += 12 + length;
    }
    if (width <= 0 || height <= 0) return false;
    size_t stride = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> raw(static_cast<size_t>(height) * (stride + 1));
    uLongf raw_size = static_cast<uLongf>(raw.size());
    if (uncompress(raw.data(), &raw_size, packed.data(), static_cast<uLong>(packed.size())) != Z_OK ||
        raw_size != raw.size())
        return false;
    rgb.assign(static_cast<size_t>(height) * stride, 0);
    for (int y = 0; y < height; ++y) {
        if (raw[y * (stride + 1)] != 0) return false;  // only the filter this encoder writes
        std::memcpy(&rgb[y * stride], &raw[y * (stride + 1) + 1], stride);
    }
    return true;
}

}  // namespace korvax::host
