#include <cmath>

#include <gtest/gtest.h>

#include "assets/assets.h"
#include "models/model_loader.h"

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
    morph_store_f[5 * 194 * 3 + 0] = 11;   // frame 5, vertex slot 1
    morph_store_f[5 * 194 * 3 + 5] = -22;  // frame 5, vertex slot 2, z
    frame_in(1);
    EXPECT_EQ(morph_frame, 5);
    EXPECT_EQ(mesh.vertices[1].x, 11);
    EXPECT_EQ(mesh.vertices[2].z, -22);
    mesh.vertex_count = saved;
}

// Rotations in floating point, independent of the fixed-point code: the spin
// matrix is Ry(a) Rx(b) Rz(c) of the angles in 1,024 steps a turn; a camera
// key's view is the transpose of its quaternion's rotation.
struct Rotation {
    double r[3][3];
};

Rotation product(const Rotation& a, const Rotation& b) {
    Rotation p{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) p.r[i][j] += a.r[i][k] * b.r[k][j];
    return p;
}

Rotation from_angles(int32_t a, int32_t b, int32_t c) {
    const double ta = 2 * M_PI * a / 1024, tb = 2 * M_PI * b / 1024, tc = 2 * M_PI * c / 1024;
    const Rotation ry{{{cos(ta), 0, sin(ta)}, {0, 1, 0}, {-sin(ta), 0, cos(ta)}}};
    const Rotation rx{{{1, 0, 0}, {0, cos(tb), -sin(tb)}, {0, sin(tb), cos(tb)}}};
    const Rotation rz{{{cos(tc), -sin(tc), 0}, {sin(tc), cos(tc), 0}, {0, 0, 1}}};
    return product(ry, product(rx, rz));
}

Rotation view_of(const Quat& q) {
    const double n = sqrt(double(q.w) * q.w + double(q.x) * q.x + double(q.y) * q.y + double(q.z) * q.z);
    const double w = q.w / n, x = q.x / n, y = q.y / n, z = q.z / n;
    const Rotation r{{{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                      {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                      {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}}};
    Rotation t{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) t.r[i][j] = r.r[j][i];
    return t;
}

void expect_near(const Matrix4& m, const Rotation& r, double tolerance, const char* what) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(m.m[4 * i + j], 256 * r.r[i][j], tolerance) << what << " " << i << j;
}

TEST_F(Timeline, SpinsOrFollowsTheCameraPath) {
    spin_state[0] = SpinState{100, 200, 300, 8, 16, 24};
    frame_in(3);
    // The accumulators count eighths of a step: 108, 216, 324 give 13, 27, 40.
    expect_near(object_matrices[0], from_angles(13, 27, 40), 4.0, "spin");

    // Under the camera path entry 0 stands still and shows key 3 at every
    // 400th step of position >> 9; entry 1 becomes the view times its own spin.
    load_camera_path(CAMERA_KEY_TABLE, CAMERA_KEY_TABLE_SIZE, camera_path);
    sampled_camera_path = &camera_path;
    ASSERT_GE(camera_path.count, 5);
    const Rotation key3 = view_of(camera_path.keys[3].orientation);
    set_camera_path_active(1);
    spin_state[1] = SpinState{800, 1600, 2400, 8, 8, 8};
    for (uint32_t s : {400u, 800u}) {
        set_scene_state(3);
        advance_timeline(s << 9);
        expect_near(object_matrices[0], key3, 3.0, "view");
        const SpinState& e1 = spin_state[1];
        const Rotation spin1 = from_angles(e1.angle_a >> 3, e1.angle_b >> 3, e1.angle_c >> 3);
        expect_near(object_matrices[1], product(key3, spin1), 6.0, "view x spin");
    }
    // Between keys the view leaves key 3 toward key 4.
    set_scene_state(3);
    advance_timeline(799u << 9);
    const Rotation key4 = view_of(camera_path.keys[4].orientation);
    expect_near(object_matrices[0], key4, 12.0, "near key 4");
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
