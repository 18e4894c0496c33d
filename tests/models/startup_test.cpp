// Start-up of the animation state and the models, on the embedded data.
#include <gtest/gtest.h>

#include "assets/assets.h"
#include "runtime/tables.h"
#include "models/mesh.h"
#include "platform/entry.h"
#include "runtime/runtime.h"
#include "sequence/timeline.h"

namespace korvax {
namespace {

class StartUp : public ::testing::Test {
protected:
    static void SetUpTestSuite() { build_cosine_table(COS_TABLE); }
};

TEST_F(StartUp, CameraPathStartsWithUnitKeys) {
    EXPECT_EQ(camera_path.count, 0);
    for (const CameraKey& key : camera_path.keys) {
        EXPECT_EQ(key.orientation.w, 256);
        EXPECT_EQ(key.orientation.x, 0);
        EXPECT_EQ(key.orientation.z, 0);
        EXPECT_EQ(key.position.x, 0);
        EXPECT_EQ(key.position.z, 0);
    }
}

TEST_F(StartUp, AnimationStateStartValues) {
    object_matrices[5].m[0] = 99;
    camera_path_active = 1;
    init_animation_state();
    EXPECT_EQ(scene_matrices, object_matrices);
    EXPECT_EQ(camera_path_active, 0);

    const int32_t first[3][3] = {{126, 126, 180}, {126, 126, -180}, {-180, 180, 0}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(object_matrices[0].m[4 * r + c], first[r][c]);
    EXPECT_EQ(object_matrices[0].m[15], 256);
    for (int k = 1; k < OBJECT_MATRIX_COUNT; ++k)
        for (int e = 0; e < 16; ++e) EXPECT_EQ(object_matrices[k].m[e], e % 5 == 0 ? 256 : 0) << k;

    EXPECT_EQ(spin_state[0].angle_a, 256);
    EXPECT_EQ(spin_state[0].angle_b, 128);
    EXPECT_EQ(spin_state[0].angle_c, 128);
    EXPECT_EQ(spin_state[0].rate_a, 4);  // rates stored doubled
    EXPECT_EQ(spin_state[0].rate_b, 26);
    EXPECT_EQ(spin_state[0].rate_c, 4);
    EXPECT_EQ(spin_state[1].angle_a, 0);
    EXPECT_EQ(spin_state[1].rate_a, 66);
    EXPECT_EQ(spin_state[1].rate_b, 40);
    EXPECT_EQ(spin_state[1].rate_c, 32);
    EXPECT_EQ(spin_state[2].rate_a, 0);

    set_spin(2, -5, 0, 7);  // the angles stay
    EXPECT_EQ(spin_state[2].rate_a, -10);
    EXPECT_EQ(spin_state[2].rate_c, 14);
    EXPECT_EQ(spin_state[2].angle_a, 0);
}

TEST_F(StartUp, SelectMeshFallsBackToSlotZero) {
    select_mesh(12);
    EXPECT_EQ(current_mesh, &meshes[12]);
    select_mesh(13);
    EXPECT_EQ(current_mesh, &meshes[0]);
    select_mesh(7);
    EXPECT_EQ(current_mesh, &meshes[7]);
    select_mesh(0xFFFFFFFFu);
    EXPECT_EQ(current_mesh, &meshes[0]);
    select_mesh(7);
    select_start_mesh_and_path();
    EXPECT_EQ(current_mesh, &meshes[0]);
    EXPECT_EQ(sampled_camera_path, &camera_path);
}

struct Inventory {
    AssetId asset;
    int vertices, faces;
};

TEST_F(StartUp, ModelsLoadIntoTheirSlots) {
    load_models();
    // Slot 6 is its first asset with the appended one behind it.
    const Inventory inventory[12] = {
        {AssetId::MODEL_0, 791, 1578},  {AssetId::MODEL_1, 795, 2280},  {AssetId::MODEL_2, 158, 308},
        {AssetId::MODEL_3, 572, 0},     {AssetId::MODEL_4, 331, 658},   {AssetId::MODEL_5, 369, 782},
        {AssetId::MODEL_6, 612, 1196},  {AssetId::MODEL_7, 1089, 1},    {AssetId::MODEL_8, 576, 1152},
        {AssetId::MODEL_9, 302, 601},   {AssetId::MODEL_10, 194, 384},  {AssetId::MODEL_11, 1202, 2400},
    };
    for (int slot = 0; slot < 12; ++slot) {
        const MeshObject& m = meshes[slot];
        EXPECT_TRUE(m.ready) << slot;
        EXPECT_EQ(m.vertex_count, inventory[slot].vertices) << slot;
        EXPECT_EQ(m.face_count, inventory[slot].faces) << slot;
        for (int v = 1; v <= m.vertex_count; ++v) {
            int expected_group = slot == 3 ? 2 : slot == 10 ? 1 : -1;
            if (slot == 6) expected_group = v <= 502 ? 0 : 1;
            if (expected_group >= 0) {
                ASSERT_EQ(m.vertices[v].group, expected_group) << slot << " vertex " << v;
            }
        }
    }
    EXPECT_EQ(meshes[12].vertex_count, 0);
    EXPECT_FALSE(meshes[12].ready);
}

}  // namespace
}  // namespace korvax
