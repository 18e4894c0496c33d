// The mesh pipeline on the 2,400-face sphere, and one frame of each scene as
// the frame loop draws it (render, then the timeline's update), from the real
// start-up state and the embedded assets.
#include <memory>

#include <benchmark/benchmark.h>

#include "platform/startup.h"
#include "math/fixed_math.h"
#include "runtime/tables.h"
#include "models/mesh.h"
#include "platform/entry.h"
#include "platform/hardware.h"
#include "runtime/runtime.h"
#include "render/mesh_pipeline.h"
#include "render/render_state.h"
#include "sequence/animation.h"
#include "sequence/precompute.h"
#include "sequence/scenes.h"
#include "sequence/timeline.h"

namespace korvax {
namespace {

FrameBuffer* start_up_once() {
    static FrameBuffer* frame = [] {
        start_system_offline();
        auto* f = new FrameBuffer();
        set_render_target(f);
        return f;
    }();
    return frame;
}

void BM_draw_mesh_sphere_2400_faces(benchmark::State& state) {
    FrameBuffer* frame = start_up_once();
    set_render_target(frame);
    set_texture_map(textures[1]);
    set_material_mode(0, 0);
    Matrix4 matrices[16];
    for (Matrix4& m : matrices) matrix_identity(m);
    uint32_t angle = 0;
    int64_t pixels = 0;
    for (auto _ : state) {
        clear_frame(frame);
        // Half size: a disc of about 90 pixels radius, a third of the screen.
        matrix_from_angles(matrices[0], angle, angle * 2, angle * 3);
        for (int i = 0; i < 12; ++i) matrices[0].m[i] /= 2;
        draw_mesh(meshes[11], matrices, 160, 120);
        benchmark::ClobberMemory();
        angle += 5;
        state.PauseTiming();
        for (uint16_t p : frame->pixels) pixels += p != 0;
        state.ResumeTiming();
    }
    state.counters["covered_pixels"] = static_cast<double>(pixels) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_draw_mesh_sphere_2400_faces)->Unit(benchmark::kMicrosecond);

// Positions inside each state, a second past its start.
const uint32_t STATE_POSITION[11] = {0,       88200,   2068200, 3188200, 4301200, 5473200,
                                     6580200, 8813200, 9968200, 11088200, 12208200};

void BM_scene_frame(benchmark::State& state) {
    FrameBuffer* frame = start_up_once();
    const int32_t scene = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        set_scene_state(scene);
        render_scene(frame);
        advance_timeline(STATE_POSITION[scene]);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_scene_frame)->DenseRange(1, 10)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace korvax
