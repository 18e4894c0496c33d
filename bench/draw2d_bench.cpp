// Full-screen 2D operations: the tunnel, a palette-mapped image, and the
// 3,136 clipped anti-aliased lines of a wire-frame mesh.
#include <stdint.h>

#include <memory>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "math/fixed_math.h"
#include "runtime/runtime.h"
#include "runtime/types.h"
#include "render/draw2d.h"
#include "render/render_state.h"

namespace korvax {
namespace {

struct Surface {
    std::unique_ptr<FrameBuffer> frame{new FrameBuffer()};
    std::vector<uint16_t> texture = std::vector<uint16_t>(TEXTURE_TEXELS);
    std::vector<uint8_t> image = std::vector<uint8_t>(FRAME_PIXELS);
    uint16_t palette[256];
    uint16_t ramp[64];

    Surface() {
        build_reciprocal_table();
        for (int i = 0; i < TEXTURE_TEXELS; ++i) texture[i] = static_cast<uint16_t>(i * 2654435761u >> 16);
        for (int i = 0; i < FRAME_PIXELS; ++i) image[i] = static_cast<uint8_t>(i * 7 + i / 320);
        for (int i = 0; i < 256; ++i) palette[i] = static_cast<uint16_t>(i * 0x0821);
        build_colour_ramp(0x2800, 0xFF3B, ramp);
        set_render_target(frame.get());
        set_shade_ramp(ramp);
    }
};

Surface& surface() {
    static Surface s;
    return s;
}

void BM_draw_tunnel(benchmark::State& state) {
    Surface& s = surface();
    Matrix4 m;
    uint32_t angle = 0;
    for (auto _ : state) {
        matrix_from_angles(m, angle, angle * 3, angle * 5);
        draw_tunnel(m, s.texture.data(), static_cast<int32_t>(angle), 25);
        benchmark::ClobberMemory();
        angle += 7;
    }
    state.counters["pixels_per_second"] =
        benchmark::Counter(static_cast<double>(192 * 320) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

void BM_blit_indexed(benchmark::State& state) {
    Surface& s = surface();
    for (auto _ : state) {
        blit_indexed(s.image.data(), s.palette);
        benchmark::ClobberMemory();
    }
    state.counters["pixels_per_second"] = benchmark::Counter(
        static_cast<double>(FRAME_PIXELS) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// 3,136 edges between points scattered a little beyond the screen on every
// side, so that about a fifth of the lines need clipping.
void BM_clipped_lines_3136(benchmark::State& state) {
    surface();  // target and ramp
    std::mt19937 rng(3136);
    std::uniform_int_distribution<int> x(-40, 359), y(-30, 269), reach(-30, 30);
    std::vector<int32_t> ends;
    for (int i = 0; i < 3136; ++i) {
        int x0 = x(rng), y0 = y(rng);
        ends.insert(ends.end(), {x0, y0, x0 + reach(rng), y0 + reach(rng)});
    }
    for (auto _ : state) {
        for (size_t i = 0; i < ends.size(); i += 4) draw_clipped_line(ends[i], ends[i + 1], ends[i + 2], ends[i + 3]);
        benchmark::ClobberMemory();
    }
    state.counters["lines_per_second"] =
        benchmark::Counter(3136.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_draw_tunnel);
BENCHMARK(BM_blit_indexed);
BENCHMARK(BM_clipped_lines_3136);

}  // namespace
}  // namespace korvax
