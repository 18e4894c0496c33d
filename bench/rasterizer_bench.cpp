// Fill rate of the eight fill routines, in pixels per second, over a fixed set
// of triangles: the 320 x 240 frame tiled four times over, by right triangles
// in cells of 8, 16, 40 and 80 pixels (3,120 triangles).
#include <stdint.h>

#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "runtime/runtime.h"
#include "runtime/types.h"
#include "render/rasterizer.h"
#include "render/render_state.h"

namespace korvax {
namespace {

struct Scene {
    std::unique_ptr<FrameBuffer> frame{new FrameBuffer()};
    std::vector<uint16_t> texture = std::vector<uint16_t>(TEXTURE_TEXELS);
    std::vector<TriangleRecord> triangles;

    Scene() {
        build_reciprocal_table();
        for (int i = 0; i < TEXTURE_TEXELS; ++i) texture[i] = static_cast<uint16_t>((i * 2654435761u >> 16) | 1);
        for (int cell : {8, 16, 40, 80}) {
            for (int y = 0; y < SCREEN_HEIGHT; y += cell)
                for (int x = 0; x < SCREEN_WIDTH; x += cell) {
                    int x1 = x + cell > SCREEN_WIDTH - 1 ? SCREEN_WIDTH - 1 : x + cell;
                    int y1 = y + cell > SCREEN_HEIGHT - 1 ? SCREEN_HEIGHT - 1 : y + cell;
                    add(x, y, x1, y, x, y1);
                    add(x1, y, x1, y1, x, y1);
                }
        }
    }
    void add(int ax, int ay, int bx, int by, int cx, int cy) {
        // Texture coordinates a little over one texel a pixel, rotated.
        auto vertex = [](int x, int y) { return TriangleVertex{x, y, 0, x + y / 3, y - x / 4}; };
        triangles.push_back({{vertex(ax, ay), vertex(bx, by), vertex(cx, cy)}});
    }
    void use() {
        set_render_target(frame.get());
        set_texture_map(texture.data());
        set_draw_colour(0x7BEF);
    }
};

Scene& scene() {
    static Scene s;
    return s;
}

// Pixels one pass of the routine writes: each triangle drawn alone onto a
// cleared frame (every routine writes non-zero values here).
int64_t pixels_per_pass(void (*fill)(TriangleRecord&)) {
    Scene& s = scene();
    s.use();
    int64_t pixels = 0;
    for (const TriangleRecord& t : s.triangles) {
        clear_frame(s.frame.get());
        TriangleRecord r = t;
        fill(r);
        for (uint16_t p : s.frame->pixels) pixels += p != 0;
    }
    return pixels;
}

void run(benchmark::State& state, void (*fill)(TriangleRecord&)) {
    const int64_t pixels = pixels_per_pass(fill);
    Scene& s = scene();
    s.use();
    for (auto _ : state) {
        for (const TriangleRecord& t : s.triangles) {
            TriangleRecord r = t;  // the flat routines sort and convert in place
            fill(r);
        }
        benchmark::ClobberMemory();
    }
    state.counters["pixels_per_second"] =
        benchmark::Counter(static_cast<double>(pixels * state.iterations()), benchmark::Counter::kIsRate);
    state.counters["pixels_per_pass"] = static_cast<double>(pixels);
}

void BM_fill_flat(benchmark::State& st) { run(st, fill_flat); }
void BM_fill_flat_clipped(benchmark::State& st) { run(st, fill_flat_clipped); }
void BM_fill_flat_or(benchmark::State& st) { run(st, fill_flat_or); }
void BM_fill_flat_or_clipped(benchmark::State& st) { run(st, fill_flat_or_clipped); }
void BM_fill_textured(benchmark::State& st) { run(st, [](TriangleRecord& r) { fill_textured(r); }); }
void BM_fill_textured_clipped(benchmark::State& st) { run(st, [](TriangleRecord& r) { fill_textured_clipped(r); }); }
void BM_fill_textured_blend(benchmark::State& st) { run(st, [](TriangleRecord& r) { fill_textured_blend(r); }); }
void BM_fill_textured_blend_clipped(benchmark::State& st) {
    run(st, [](TriangleRecord& r) { fill_textured_blend_clipped(r); });
}

BENCHMARK(BM_fill_flat);
BENCHMARK(BM_fill_flat_clipped);
BENCHMARK(BM_fill_flat_or);
BENCHMARK(BM_fill_flat_or_clipped);
BENCHMARK(BM_fill_textured);
BENCHMARK(BM_fill_textured_clipped);
BENCHMARK(BM_fill_textured_blend);
BENCHMARK(BM_fill_textured_blend_clipped);

}  // namespace
}  // namespace korvax
