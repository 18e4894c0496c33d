// The model assets through the system's own loader and start-up, and each
// scene's mesh through the pipeline.
#include <gtest/gtest.h>

#include "platform/startup.h"

#include "assets/assets.h"
#include "math/fixed_math.h"
#include "runtime/tables.h"
#include "models/mesh.h"
#include "models/model_loader.h"
#include "platform/entry.h"
#include "runtime/runtime.h"
#include "render/mesh_pipeline.h"
#include "render/render_state.h"
#include "sequence/precompute.h"
#include "sequence/timeline.h"

namespace korvax {
namespace {

MeshObject scratch;

ModelAsset model(AssetId id) {
    const Blob b = embedded_asset(id);
    return {b.data, b.size};
}

class Loading : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        build_reciprocal_table();
        build_cosine_table(COS_TABLE);
    }
};

TEST_F(Loading, EveryAssetLoadsWithItsTable) {
    const struct {
        AssetId id, table;
        int vertices, faces;
    } assets[] = {
        {AssetId::MODEL_0, AssetId::UV_TABLE_0, 791, 1578},   {AssetId::MODEL_1, AssetId::COUNT, 795, 2280},
        {AssetId::MODEL_2, AssetId::COUNT, 158, 308},         {AssetId::MODEL_3, AssetId::COUNT, 572, 0},
        {AssetId::MODEL_4, AssetId::UV_TABLE_4, 331, 658},    {AssetId::MODEL_5, AssetId::UV_TABLE_5, 369, 782},
        {AssetId::MODEL_6, AssetId::UV_TABLE_6, 502, 980},    {AssetId::MODEL_6_APPENDED, AssetId::COUNT, 110, 216},
        {AssetId::MODEL_8, AssetId::COUNT, 576, 1152},        {AssetId::MODEL_9, AssetId::COUNT, 302, 601},
        {AssetId::MODEL_10, AssetId::COUNT, 194, 384},        {AssetId::MODEL_11, AssetId::COUNT, 1202, 2400},
    };
    for (const auto& a : assets) {
        SCOPED_TRACE(static_cast<int>(a.id));
        clear_mesh(scratch);
        ASSERT_EQ(load_model(scratch, model(a.id)), 1);
        EXPECT_EQ(scratch.vertex_count, a.vertices);
        EXPECT_EQ(scratch.face_count, a.faces);
        EXPECT_TRUE(scratch.ready);
        if (a.table != AssetId::COUNT) {
            const Blob t = embedded_asset(a.table);
            EXPECT_EQ(apply_uv_table(scratch, UvTable{t.data, t.size}), 1);
        }
    }
    // The grid goes in by merging into an empty mesh.
    clear_mesh(scratch);
    ASSERT_EQ(append_model(scratch, model(AssetId::MODEL_7), 0), 1);
    EXPECT_EQ(scratch.vertex_count, 1089);
    EXPECT_EQ(scratch.face_count, 1);
}

// The start-up fills slots 0..11; each mesh a scene draws must then cover a
// fair part of the screen from several angles (an inverted, collapsed or
// misplaced model would not).
TEST_F(Loading, StartUpMeshesDrawAtTheirScenesCentres) {
    start_system_offline();

    EXPECT_EQ(meshes[6].vertex_count, 502 + 110);
    EXPECT_EQ(meshes[6].face_count, 980 + 216);
    EXPECT_EQ(meshes[7].vertex_count, 1089);
    for (int k = 0; k < 12; ++k) EXPECT_TRUE(meshes[k].ready) << k;

    static FrameBuffer frame;
    set_render_target(&frame);
    set_texture_map(textures[1]);
    for (int i = 0; i < 64; ++i) primary_ramp[i] = secondary_ramp[i] = 0xFFFF;
    const struct {
        int mesh, cx, cy;
        int min_percent;
    } drawn[] = {{0, 100, 170, 40}, {2, 225, 100, 8}, {4, 100, 170, 8}, {5, 100, 170, 30}, {6, 100, 120, 30},
                 {8, 120, 190, 8},  {9, 100, 170, 40}, {10, 128, 110, 2}, {11, 100, 170, 40}};
    const uint32_t angles[3][3] = {{256, 128, 128}, {40, 860, 10}, {600, 200, 700}};
    for (const auto& d : drawn) {
        for (const auto& a : angles) {
            for (Matrix4& m : object_matrices) matrix_from_angles(m, a[0], a[1], a[2]);
            std::fill(std::begin(frame.pixels), std::end(frame.pixels), 0);
            draw_mesh(meshes[d.mesh], object_matrices, d.cx, d.cy);
            int covered = 0;
            for (uint16_t p : frame.pixels) covered += p != 0;
            EXPECT_GE(covered * 100, d.min_percent * FRAME_PIXELS) << "mesh " << d.mesh;
        }
    }
}

}  // namespace
}  // namespace korvax
