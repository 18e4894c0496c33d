#include <cstring>

#include <gtest/gtest.h>

#include "math/fixed_math.h"
#include "runtime/tables.h"
#include "models/mesh.h"
#include "platform/hardware.h"
#include "runtime/runtime.h"
#include "render/render_state.h"
#include "sequence/animation.h"
#include "sequence/precompute.h"
#include "sequence/scenes.h"
#include "sequence/timeline.h"

namespace korvax {
namespace {

class Scenes : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        build_reciprocal_table();
        build_cosine_table(COS_TABLE);
        scene_matrices = object_matrices;
        for (Matrix4& m : object_matrices) matrix_identity(m);
    }
    void SetUp() override {
        std::memset(scene_entered, 0, sizeof scene_entered);
        std::memset(frame_.pixels, 0x5A, sizeof frame_.pixels);
    }
    static FrameBuffer frame_;
};
FrameBuffer Scenes::frame_;

TEST_F(Scenes, StatesOutsideOneToTenDrawNothing) {
    for (int32_t state : {0, 11, -1}) {
        set_scene_state(state);
        render_scene(&frame_);
        for (uint16_t p : frame_.pixels) ASSERT_EQ(p, 0x5A5A) << state;
    }
}

TEST_F(Scenes, EnterSceneOnceActsOnceAndOnlyForOneToTen) {
    matrix_from_angles(object_matrices[3], 100, 200, 300);
    enter_scene_once(0);
    enter_scene_once(11);
    EXPECT_EQ(object_matrices[3].m[0], [] {
        Matrix4 m;
        matrix_from_angles(m, 100, 200, 300);
        return m.m[0];
    }());

    set_camera_path_active(1);
    enter_scene_once(5);
    EXPECT_EQ(scene_entered[5], 1);
    EXPECT_EQ(camera_path_active, 0);
    Matrix4 reset;
    matrix_from_angles(reset, 0, 0, 0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(object_matrices[3].m[i], reset.m[i]);

    // Entry 15 is left alone.
    matrix_from_angles(object_matrices[15], 5, 6, 7);
    matrix_from_angles(object_matrices[4], 5, 6, 7);
    enter_scene_once(5);  // second time: nothing
    EXPECT_NE(object_matrices[4].m[1], reset.m[1]);

    spin_state[0].rate_a = 0;
    select_mesh(2);
    render_state.material_mode[0] = 0;
    enter_scene_once(9);
    EXPECT_EQ(current_mesh, &meshes[8]);
    EXPECT_EQ(spin_state[0].rate_a, 60);
    EXPECT_EQ(render_state.material_mode[0], 1);
    EXPECT_EQ(primary_ramp[32], 0x938D);
    EXPECT_EQ(render_state.shade_ramp, primary_ramp);
    Matrix4 m15;
    matrix_from_angles(m15, 5, 6, 7);
    EXPECT_EQ(object_matrices[15].m[1], m15.m[1]);

    select_mesh(2);
    enter_scene_once(9);
    EXPECT_EQ(current_mesh, &meshes[2]);
}

TEST_F(Scenes, BackgroundPalettesComeFromTheFadeTablesWithTheFlicker) {
    // Mark every palette's first colour with its number in the whole array.
    for (int p = 0; p < FADE_TABLE_COUNT * FADE_PALETTES; ++p) {
        for (int c = 0; c < 256; ++c) fade_tables[p][c] = static_cast<uint16_t>(p);
    }
    EXPECT_EQ(fade_palette(3, 5)[0], 3 * 64 + 5);
    EXPECT_EQ(fade_palette(4, 90)[0], 5 * 64 + 26);  // past 63: the next table
}

TEST_F(Scenes, TheFirstFrameOfStateFourDrawsTheMeshStateThreeSelected) {
    set_scene_state(3);
    render_scene(&frame_);
    EXPECT_EQ(current_mesh, &meshes[5]);
    set_scene_state(4);
    render_scene(&frame_);
    EXPECT_EQ(current_mesh, &meshes[5]);  // the renderer selects nothing
    advance_timeline(0);
    EXPECT_EQ(current_mesh, &meshes[4]);  // the updater does, after the frame
}

}  // namespace
}  // namespace korvax
