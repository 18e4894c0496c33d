// Shared pieces of the asset generators: a seeded random source, tiling value
// noise, indexed images, palettes built from colour gradients, and the output
// set that collects every generated file by its asset name.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "detmath.h"

namespace korvax::assetgen {

using Bytes = std::vector<uint8_t>;

// splitmix64: a small, well-mixed generator with a fixed, portable sequence.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1) with 53 bits.
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }

private:
    uint64_t state_;
};

// Hash of integer lattice coordinates to [0, 1).
inline double lattice(int32_t x, int32_t y, uint32_t seed) {
    uint64_t h = static_cast<uint32_t>(x) * 0x8DA6B343ull + static_cast<uint32_t>(y) * 0xD8163841ull +
                 seed * 0xCB1AB31Full;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    h *= 0x94D049BB133111EBull;
    h ^= h >> 29;
    return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0);
}

// Value noise on a lattice that repeats every `period` cells in x and y, so a
// texture sampled over one period tiles without a seam. Result in [0, 1).
inline double tiled_noise(double x, double y, int period, uint32_t seed) {
    const double fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    const double tx = x - fx, ty = y - fy;
    auto wrap = [period](int v) { return ((v % period) + period) % period; };
    const int x0 = wrap(ix), x1 = wrap(ix + 1), y0 = wrap(iy), y1 = wrap(iy + 1);
    const double sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    const double a = lattice(x0, y0, seed), b = lattice(x1, y0, seed);
    const double c = lattice(x0, y1, seed), d = lattice(x1, y1, seed);
    return lerp(lerp(a, b, sx), lerp(c, d, sx), sy);
}

// Fractal sum of tiled noise over a square of `size` units that repeats:
// octave k has period base_period << k cells. Result roughly in [0, 1).
inline double tiled_fbm(double x, double y, double size, int base_period, int octaves, uint32_t seed) {
    double sum = 0, amp = 0.5, norm = 0;
    int period = base_period;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * tiled_noise(x / size * period, y / size * period, period, seed + 101u * o);
        norm += amp;
        amp *= 0.5;
        period *= 2;
    }
    return sum / norm;
}

struct Rgb {
    double r, g, b;  // 0..255
};

// 256 colours as RGB565 values.
using Palette = std::array<uint16_t, 256>;

inline uint16_t to_rgb565(Rgb c) {
    const long r = round_int(clampd(c.r, 0, 255) * 31.0 / 255.0);
    const long g = round_int(clampd(c.g, 0, 255) * 63.0 / 255.0);
    const long b = round_int(clampd(c.b, 0, 255) * 31.0 / 255.0);
    return static_cast<uint16_t>((r << 11) | (g << 5) | b);
}

struct GradientStop {
    double at;  // palette index, 0..255
    Rgb colour;
};

// Fills palette entries first..last by linear interpolation between stops
// (stop positions are absolute indices and must be increasing).
inline void fill_gradient(Palette& pal, const std::vector<GradientStop>& stops) {
    for (size_t s = 0; s + 1 < stops.size(); ++s) {
        const GradientStop& a = stops[s];
        const GradientStop& b = stops[s + 1];
        const int i0 = static_cast<int>(a.at), i1 = static_cast<int>(b.at);
        for (int i = i0; i <= i1; ++i) {
            const double t = i1 == i0 ? 0.0 : static_cast<double>(i - i0) / (i1 - i0);
            pal[i] = to_rgb565({lerp(a.colour.r, b.colour.r, t), lerp(a.colour.g, b.colour.g, t),
                                lerp(a.colour.b, b.colour.b, t)});
        }
    }
}

inline Palette gradient_palette(const std::vector<GradientStop>& stops) {
    Palette pal{};
    fill_gradient(pal, stops);
    return pal;
}

// Palettes are stored as 256 RGB565 colours, high byte first.
inline Bytes encode_palette(const Palette& pal) {
    Bytes out;
    out.reserve(512);
    for (uint16_t c : pal) {
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c & 0xFF));
    }
    return out;
}

// An image of palette indices, one byte per pixel, rows top to bottom.
struct Indexed {
    int width = 0, height = 0;
    Bytes pixels;
    Indexed() = default;
    Indexed(int w, int h, uint8_t fill = 0) : width(w), height(h), pixels(static_cast<size_t>(w) * h, fill) {}
    uint8_t& at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    uint8_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    void set(int x, int y, uint8_t v) {
        if (x >= 0 && y >= 0 && x < width && y < height) at(x, y) = v;
    }
};

// Index from a value in [0, 1] spread over palette entries lo..hi.
inline uint8_t quantise(double v, int lo = 0, int hi = 255) {
    return static_cast<uint8_t>(lo + round_int(clampd(v, 0.0, 1.0) * (hi - lo)));
}

// Every generated file, by asset name (the names of assets/assets.h).
using OutputSet = std::map<std::string, Bytes>;

void build_models(OutputSet& out);
void build_images(OutputSet& out);

}  // namespace korvax::assetgen
