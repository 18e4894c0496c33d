#include <gtest/gtest.h>

#include "math/fixed_math.h"
#include "runtime/tables.h"
#include "models/mesh.h"
#include "runtime/runtime.h"
#include "sequence/animation.h"
#include "sequence/precompute.h"
#include "sequence/timeline.h"

namespace korvax {
namespace {

class Timeline : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        build_reciprocal_table();
        build_cosine_table(COS_TABLE);
    }
    void SetUp() override {
        set_scene_state(1);
        sequence_finished = 0;
        set_camera_path_active(0);
        fade_step = 0;
        noise_index = 0;
        tunnel_scroll = 0;
        morph_frame = 0;
    }
    // One frame in the given state at a position that does not advance it.
    void frame_in(int32_t state) {
        set_scene_state(state);
        advance_timeline(0);
    }
};

TEST_F(Timeline, AdvancesOnlyPastEachThresholdOneStateAFrame) {
    advance_timeline(1980000);
    EXPECT_EQ(SceneState, 1);
    advance_timeline(1980001);
    EXPECT_EQ(SceneState, 2);
    for (int32_t expected = 3; expected <= 10; ++expected) {
        advance_timeline(13000000);
        EXPECT_EQ(SceneState, expected);
        EXPECT_EQ(sequence_finished, 0);
    }
    advance_timeline(12800000);
    EXPECT_EQ(sequence_finished, 0);
    advance_timeline(12800001);
    EXPECT_EQ(SceneState, 10);
    EXPECT_EQ(sequence_finished, 1);
}

TEST_F(Timeline, FadeStepWrapsByState) {
    set_scene_state(2);
    for (int i = 0; i < 27; ++i) advance_timeline(0);
    EXPECT_EQ(fade_step, 27);
    frame_in(2);
    EXPECT_EQ(fade_step, 16);

    const struct {
        int32_t state;
        uint8_t from, to;
    } cases[] = {{3, 23, 20}, {5, 23, 20}, {6, 23, 20}, {8, 23, 20}, {9, 23, 20},
                 {10, 23, 20}, {7, 25, 22}, {4, 13, 1},  {3, 22, 23}, {7, 24, 25}};
    for (const auto& c : cases) {
        fade_step = c.from;
        frame_in(c.state);
        EXPECT_EQ(fade_step, c.to) << "state " << c.state << " from " << int{c.from};
    }
    fade_step = 9;
    frame_in(1);  // state 1 leaves it alone
    EXPECT_EQ(fade_step, 9);
}

TEST_F(Timeline, TunnelScrollAndMorphFramesWrap) {
    tunnel_scroll = 254;
    frame_in(3);
    EXPECT_EQ(tunnel_scroll, 0);
    tunnel_scroll = 248;
    frame_in(1);
    EXPECT_EQ(tunnel_scroll, 0);
    tunnel_scroll = 240;
    frame_in(1);
    EXPECT_EQ(tunnel_scroll, 248);

    morph_frame = 114;
    frame_in(8);
    EXPECT_EQ(morph_frame, 119);
    frame_in(8);
    EXPECT_EQ(morph_frame, 0);
    morph_frame = 61;
    frame_in(7);
    EXPECT_EQ(morph_frame, 0);
    morph_frame = 79;
    frame_in(1);
    EXPECT_EQ(morph_frame, 0);
    noise_index = 65535;
    frame_in(3);
    EXPECT_EQ(noise_index, 0);
}

TEST_F(Timeline, StateOneWritesTheNextFrameOfItsStoreIntoMeshTen) {
    MeshObject& mesh = meshes[10];
    const uint16_t saved = mesh.vertex_count;
    mesh.vertex_count = 195;
    morph_frame = 4;
    morph_store_f[5 * 194 * 3 + 0] = 11;  // frame 5, vertex slot 1
    morph_store_f[5 * 194 * 3 + 5] = -22;  // frame 5, vertex slot 2, z
    frame_in(1);
    EXPECT_EQ(morph_frame, 5);
    EXPECT_EQ(mesh.vertices[1].x, 11);
    EXPECT_EQ(mesh.vertices[2].z, -22);
    mesh.vertex_count = saved;
}

TEST_F(Timeline, SpinsOrFollowsTheCameraPath) {
    spin_state[0] = SpinState{100, 200, 300, 8, 16, 24};
    frame_in(3);
    Matrix4 expected;
    matrix_from_angles(expected, 108 >> 3, 216 >> 3, 324 >> 3);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(object_matrices[0].m[i], expected.m[i]);

    // Under the camera path entry 0 stands still and follows key 3 toward 4;
    // entry 1 becomes the view times its own spin.
    set_camera_path_active(1);
    for (uint32_t s : {399u, 400u, 401u}) {
        set_scene_state(3);
        advance_timeline(s << 9);
        Matrix4 view;
        Vec3 eye;
        sample_camera_path(eye, view, s % 400, 3, *sampled_camera_path);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(object_matrices[0].m[i], view.m[i]) << s;
        Matrix4 spin1, product;
        const SpinState& e1 = spin_state[1];
        matrix_from_angles(spin1, e1.angle_a >> 3, e1.angle_b >> 3, e1.angle_c >> 3);
        matrix_multiply(product, view, spin1);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(object_matrices[1].m[i], product.m[i]) << s;
    }
    EXPECT_EQ(spin_state[0].angle_a, 108);
    EXPECT_EQ(spin_state[0].angle_c, 324);

    set_camera_path_active(0);
    frame_in(3);
    EXPECT_EQ(spin_state[0].angle_a, 116);
    EXPECT_EQ(spin_state[0].angle_b, 232);
}

TEST_F(Timeline, StateFourSelectsTheCreatureAndMovesTheOverlay) {
    select_mesh(5);
    overlay_x = overlay_y = 12;
    morph_frame_c = 47;
    morph_frame_d = 79;
    frame_in(4);
    EXPECT_EQ(current_mesh, &meshes[4]);
    EXPECT_EQ(overlay_x, 0);
    EXPECT_EQ(overlay_y, 0);
    EXPECT_EQ(morph_frame_c, 0);
    EXPECT_EQ(morph_frame_d, 0);
    frame_in(4);
    EXPECT_EQ(overlay_x, 1);
    EXPECT_EQ(overlay_y, 1);
}

}  // namespace
}  // namespace korvax
