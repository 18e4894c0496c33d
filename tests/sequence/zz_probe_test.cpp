#include <cstdio>
#include <gtest/gtest.h>
#include "host/offline.h"
#include "math/fixed_math.h"
#include "render/mesh_pipeline.h"
#include "sequence/scenes.h"
#include "sequence/timeline.h"
namespace korvax {
void nothing(TriangleRecord&, bool) {}
TEST(Probe, Matrices) {
    host::start_system_offline();
    set_triangle_sink(nothing);
    static FrameBuffer frame;
    uint32_t position = 0;
    set_scene_state(1);
    FILE* f = std::fopen("/tmp/probe/matrices.txt", "w");
    while (!sequence_finished) {
        position += 1470;
        render_scene(&frame);
        const Matrix4& m = object_matrices[0];
        const Matrix4& m1 = object_matrices[1];
        std::fprintf(f, "%d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d\n", SceneState, m.m[0], m.m[1], m.m[2], m.m[4], m.m[5], m.m[6], m.m[8], m.m[9], m.m[10],
            m1.m[0], m1.m[1], m1.m[2], m1.m[4], m1.m[5], m1.m[6], m1.m[8], m1.m[9], m1.m[10]);
        advance_timeline(position);
    }
    std::fclose(f);
    set_triangle_sink(nullptr);
}
}
