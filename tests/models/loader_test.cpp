#include <cstring>

#include <gtest/gtest.h>

#include "asset_builder.h"
#include "runtime/tables.h"
#include "models/model_loader.h"
#include "runtime/runtime.h"

namespace korvax {
namespace {

using testing::as_model;
using testing::as_table;
using testing::AssetFace;
using testing::AssetVertex;
using testing::build_asset;
using testing::new_mesh;

void expect_uv(const TexCoord& uv, int32_t u, int32_t v) {
    EXPECT_EQ(uv.u, u);
    EXPECT_EQ(uv.v, v);
}

TEST(LoadModel, VerticesShiftByOneSlotAndMinusOneNamesSlotZero) {
    auto m = new_mesh();
    // Leftovers of an earlier, larger model.
    m->vertices[0] = {7, 7, 7, 7};
    m->vertices[4] = {44, 44, 44, 4};
    m->faces[3].vertex_a = 33;

    const auto bytes = build_asset({{-32768, 32767, -1, 0xFFFF}, {100, 0, 0, 1}, {0, 0, 100, 0}},
                                   {{0, 1, 2, 3}, {-1, 0, 2, -2}});
    EXPECT_EQ(load_model(*m, as_model(bytes)), 1);
    EXPECT_EQ(m->vertex_count, 3);
    EXPECT_EQ(m->face_count, 2);
    EXPECT_TRUE(m->ready);
    EXPECT_EQ(m->vertices[1].x, -32768);
    EXPECT_EQ(m->vertices[1].y, 32767);
    EXPECT_EQ(m->vertices[1].z, -1);
    EXPECT_EQ(m->vertices[1].group, 0xFFFF);
    EXPECT_EQ(m->vertices[2].x, 100);
    EXPECT_EQ(m->vertices[2].group, 1);
    EXPECT_EQ(m->vertices[3].z, 100);
    // Slot 0 is not written; slots beyond the counts keep what was there.
    EXPECT_EQ(m->vertices[0].x, 7);
    EXPECT_EQ(m->vertices[4].x, 44);
    EXPECT_EQ(m->faces[3].vertex_a, 33);

    EXPECT_EQ(m->faces[1].vertex_a, 1);  // vertex number 0 is slot 1
    EXPECT_EQ(m->faces[1].vertex_b, 2);
    EXPECT_EQ(m->faces[1].vertex_c, 3);
    EXPECT_EQ(m->faces[1].material, 3);
    EXPECT_EQ(m->faces[2].vertex_a, 0);  // -1 is slot 0
    EXPECT_EQ(m->faces[2].material, -2);
    // Face 2 = (slot 0 at (7, 7, 7), slot 1, slot 3) has a real normal; face 1 too.
    EXPECT_NE(vec3_length(m->faces[1].normal), 0);
}

TEST(LoadModel, UsesTheLowHalfOfTheFaceCount) {
    auto m = new_mesh();
    const auto bytes = build_asset({{0, 0, 0, 0}, {16, 0, 0, 0}, {0, 0, 16, 0}}, {{0, 1, 2, 0}, {2, 1, 0, 0}}, 1);
    EXPECT_EQ(load_model(*m, as_model(bytes)), 1);
    EXPECT_EQ(m->face_count, 2);
}

TEST(LoadModel, PointSetLoadsWithoutNormals) {
    auto m = new_mesh();
    m->vertex_normals[1] = {5, 6, 7};
    const auto bytes = build_asset({{1, 2, 3, 0}, {4, 5, 6, 0}}, {});
    EXPECT_EQ(load_model(*m, as_model(bytes)), 1);
    EXPECT_TRUE(m->ready);
    EXPECT_EQ(m->vertex_count, 2);
    EXPECT_EQ(m->face_count, 0);
    EXPECT_EQ(m->vertex_normals[1].x, 5);
}

TEST(LoadModel, SingleFaceOnSlotZero) {
    // Like the grid of points: one face whose corners are all -1.
    auto m = new_mesh();
    std::vector<AssetVertex> grid;
    for (int z = -2; z <= 2; ++z)
        for (int x = -2; x <= 2; ++x) grid.push_back({16 * x, 0, 16 * z, 0});
    const auto bytes = build_asset(grid, {{-1, -1, -1, 0}});
    EXPECT_EQ(load_model(*m, as_model(bytes)), 1);
    EXPECT_EQ(m->vertex_count, 25);
    EXPECT_EQ(m->faces[1].normal.x, 0);
    EXPECT_EQ(m->faces[1].normal.y, 0);
    EXPECT_EQ(m->faces[1].normal.z, 0);
    expect_uv(m->faces[1].uv_a, 0, 0);
    expect_uv(m->faces[1].uv_c, 0, 0);
}

TEST(PlanarUvs, RepeatEvery4096UnitsOnTheXZPlane) {
    auto m = new_mesh();
    const auto bytes = build_asset({{-16, 999, -4096, 0}, {4095, -999, 4096, 0}, {4096, 5, 4095, 0}, {-4096, 0, -16, 0},
                                    {32767, 0, -32768, 0}},
                                   {{0, 1, 2, 0}, {3, 4, 0, 0}});
    ASSERT_EQ(load_model(*m, as_model(bytes)), 1);
    expect_uv(m->faces[1].uv_a, 255, 0);    // x = -16, z = -4096
    expect_uv(m->faces[1].uv_b, 255, 0);    // x = 4095, z = 4096
    expect_uv(m->faces[1].uv_c, 0, 255);    // x = 4096, z = 4095
    expect_uv(m->faces[2].uv_a, 0, 255);    // x = -4096, z = -16
    expect_uv(m->faces[2].uv_b, 255, 0);    // x = 32767, z = -32768
    expect_uv(m->faces[2].uv_c, 255, 0);

    // Computed from the coordinates as they stand when called.
    m->vertices[1].x = 40;
    compute_planar_uvs(*m);
    expect_uv(m->faces[1].uv_a, 2, 0);
    expect_uv(m->faces[2].uv_c, 2, 0);
}

TEST(UvTable, ShiftsUAndMirrorsV) {
    auto m = new_mesh();
    const auto bytes = build_asset({{0, 0, 0, 0}, {64, 0, 0, 0}, {0, 0, 64, 0}}, {{0, 1, 2, 0}, {0, 2, 1, 0}, {1, 2, 0, 0}});
    ASSERT_EQ(load_model(*m, as_model(bytes)), 1);
    const TexCoord planar_third = m->faces[3].uv_a;

    // Two whole groups and a partial one: the third face keeps its projected coordinates.
    const std::vector<uint8_t> table = {0, 0, 254, 254, 255, 255, 10, 1, 128, 128, 253, 3, 9, 9, 9};
    EXPECT_EQ(apply_uv_table(*m, as_table(table)), 1);
    expect_uv(m->faces[1].uv_a, 2, 0);
    expect_uv(m->faces[1].uv_b, 0, 2);
    expect_uv(m->faces[1].uv_c, 1, 1);
    expect_uv(m->faces[2].uv_a, 12, 255);
    expect_uv(m->faces[2].uv_b, 130, 128);
    expect_uv(m->faces[2].uv_c, 255, 253);
    expect_uv(m->faces[3].uv_a, planar_third.u, planar_third.v);

    // More groups than faces: the extra groups are not read into anything.
    auto small = new_mesh();
    const auto one_face = build_asset({{0, 0, 0, 0}, {64, 0, 0, 0}, {0, 0, 64, 0}}, {{0, 1, 2, 0}});
    ASSERT_EQ(load_model(*small, as_model(one_face)), 1);
    EXPECT_EQ(apply_uv_table(*small, as_table(table)), 1);
    expect_uv(small->faces[1].uv_c, 1, 1);
    expect_uv(small->faces[2].uv_a, 0, 0);

    auto empty = new_mesh();
    EXPECT_EQ(apply_uv_table(*empty, as_table(table)), 1);
    EXPECT_EQ(apply_uv_table(*small, UvTable{nullptr, 0}), 1);
    expect_uv(small->faces[1].uv_c, 1, 1);
}

std::vector<uint8_t> small_square(int32_t group = 0, int32_t offset = 0) {
    return build_asset({{offset, 0, 0, uint32_t(group)}, {offset + 160, 0, 0, uint32_t(group)},
                        {offset + 160, 0, 160, uint32_t(group)}, {offset, 0, 160, uint32_t(group)}},
                       {{0, 2, 1, 5}, {0, 3, 2, 5}});
}

TEST(AppendModel, IntoAnEmptyMeshActsLikeALoad) {
    auto loaded = new_mesh();
    auto appended = new_mesh();
    appended->vertices[0] = {9, 9, 9, 3};
    const auto bytes = small_square(1);
    ASSERT_EQ(load_model(*loaded, as_model(bytes)), 1);
    EXPECT_EQ(append_model(*appended, as_model(bytes), 0x10002), 1);
    EXPECT_EQ(appended->vertex_count, 4);
    EXPECT_EQ(appended->face_count, 2);
    EXPECT_TRUE(appended->ready);
    EXPECT_EQ(appended->vertices[0].x, 0);
    EXPECT_EQ(appended->vertices[0].z, 0);
    for (int v = 1; v <= 4; ++v) {
        EXPECT_EQ(appended->vertices[v].x, loaded->vertices[v].x);
        EXPECT_EQ(appended->vertices[v].group, 3);  // 1 + low 16 bits of the offset
        EXPECT_EQ(appended->vertex_normals[v].y, loaded->vertex_normals[v].y);
    }
    for (int f = 1; f <= 2; ++f) {
        EXPECT_EQ(appended->faces[f].vertex_b, loaded->faces[f].vertex_b);
        EXPECT_EQ(appended->faces[f].normal.y, loaded->faces[f].normal.y);
        expect_uv(appended->faces[f].uv_b, loaded->faces[f].uv_b.u, loaded->faces[f].uv_b.v);
    }
}

TEST(AppendModel, NewPartsFollowTheOldOnes) {
    auto m = new_mesh();
    const auto first = small_square(0, 0);
    ASSERT_EQ(load_model(*m, as_model(first)), 1);
    const std::vector<uint8_t> table(12, 50);
    apply_uv_table(*m, as_table(table));
    scale_mesh(*m, 512);  // the old part is edited before the merge

    const auto second = small_square(0, 1000);
    EXPECT_EQ(append_model(*m, as_model(second), 1), 1);
    EXPECT_EQ(m->vertex_count, 8);
    EXPECT_EQ(m->face_count, 4);
    EXPECT_EQ(m->vertices[2].x, 320);  // old vertices keep their slots and edits
    EXPECT_EQ(m->vertices[2].group, 0);
    EXPECT_EQ(m->vertices[5].x, 1000);
    EXPECT_EQ(m->vertices[6].x, 1160);
    EXPECT_EQ(m->vertices[6].group, 1);
    EXPECT_EQ(m->faces[3].vertex_a, 5);  // corners raised by the old vertex count
    EXPECT_EQ(m->faces[3].vertex_b, 7);
    EXPECT_EQ(m->faces[4].vertex_b, 8);
    EXPECT_EQ(m->faces[4].material, 5);
    expect_uv(m->faces[1].uv_a, 52, 206);  // the table's coordinates stay
    expect_uv(m->faces[3].uv_b, ((1000 + 160) >> 4) & 0xFF, 160 >> 4);  // projected from the new asset
    // The merged mesh got its normals: the squares face +y or -y by corner order.
    EXPECT_NE(m->faces[3].normal.y, 0);
    EXPECT_EQ(m->faces[3].normal.y, m->faces[1].normal.y);
    EXPECT_EQ(m->vertex_normals[7].y, m->vertex_normals[3].y);
}

// A mesh holding `vertices` vertices and `faces` faces (all on slot 0, so all
// normals are zero and nothing averages).
std::unique_ptr<MeshObject> filled_mesh(int vertices, int faces) {
    auto m = new_mesh();
    m->vertex_count = uint16_t(vertices);
    m->face_count = uint16_t(faces);
    for (int v = 1; v <= vertices; ++v) m->vertices[v] = {v, 0, 0, 0};
    return m;
}

std::vector<uint8_t> asset_of(int vertices, int faces) {
    std::vector<AssetVertex> vs(vertices, AssetVertex{1, 2, 3, 0});
    std::vector<AssetFace> fs(faces, AssetFace{-1, -1, -1, 0});
    return build_asset(vs, fs);
}

TEST(AppendModel, RefusesTotalsBeyondTheCapacity) {
    // Vertices: 10,000 + 384 = 10,384 is one too many.
    auto m = filled_mesh(10000, 0);
    m->ready = true;
    const auto too_many = asset_of(384, 0);
    EXPECT_EQ(append_model(*m, as_model(too_many), 0), 0);
    EXPECT_EQ(m->vertex_count, 0);
    EXPECT_EQ(m->face_count, 0);
    EXPECT_TRUE(m->ready);
    EXPECT_EQ(staging_mesh.vertex_count, 10000);  // nothing merged into the staging mesh

    m = filled_mesh(10000, 0);
    const auto just_fits = asset_of(383, 0);
    EXPECT_EQ(append_model(*m, as_model(just_fits), 0), 1);
    EXPECT_EQ(m->vertex_count, MAX_MESH_VERTICES);
    EXPECT_EQ(m->vertices[MAX_MESH_VERTICES].z, 3);

    // Faces: 10,300 + 85 = 10,385 is one too many.
    m = filled_mesh(10, 10300);
    m->faces[10300].material = 77;
    const auto too_many_faces = asset_of(3, 85);
    EXPECT_EQ(append_model(*m, as_model(too_many_faces), 0), 0);
    EXPECT_EQ(m->vertex_count, 0);
    EXPECT_EQ(m->face_count, 0);
    EXPECT_EQ(staging_mesh.face_count, 10300);

    m = filled_mesh(10, 10300);
    const auto fitting_faces = asset_of(3, 84);
    EXPECT_EQ(append_model(*m, as_model(fitting_faces), 0), 1);
    EXPECT_EQ(m->face_count, MAX_MESH_FACES);
    EXPECT_EQ(m->faces[MAX_MESH_FACES].vertex_a, 10);  // -1 became slot 0, then raised by 10
}

TEST(AppendModel, AnUnreadableAssetAddsNothing) {
    auto m = new_mesh();
    const auto bytes = small_square(0);
    ASSERT_EQ(load_model(*m, as_model(bytes)), 1);
    EXPECT_EQ(append_model(*m, ModelAsset{nullptr, 0}, 1), 1);
    EXPECT_EQ(m->vertex_count, 4);
    EXPECT_EQ(m->face_count, 2);
    EXPECT_EQ(m->vertices[3].z, 160);
}

// Every way an asset can break its layout or the record's capacity: refused
// before anything is written.
TEST(LoadModel, RefusesMalformedAssets) {
    const auto good = small_square(0);
    std::vector<std::vector<uint8_t>> bad;
    bad.push_back({});                                                   // empty
    bad.push_back(std::vector<uint8_t>(good.begin(), good.begin() + 13));  // header cut short
    for (size_t cut : {size_t(14), size_t(30), good.size() - 2 - 8, good.size() - 2}) {
        bad.push_back(std::vector<uint8_t>(good.begin(), good.begin() + cut));  // records cut short
    }
    auto n_zero = good;
    n_zero[12] = n_zero[13] = 0;  // N = 0: 65,535 vertices
    bad.push_back(n_zero);
    bad.push_back(asset_of(MAX_MESH_VERTICES + 1, 0));  // more vertices than the record holds
    auto l_far = good;
    l_far[8] = 0x7F;  // the face block far beyond the end
    bad.push_back(l_far);
    auto l_wrap = good;
    l_wrap[8] = l_wrap[9] = l_wrap[10] = 0xFF;  // offset 14 + L wraps in 32 bits
    l_wrap[11] = 0xF6;
    bad.push_back(l_wrap);
    const size_t face_block = 14 + 8 * 5;
    auto many_faces = good;
    many_faces[face_block + 3] = 3;  // three faces claimed, two present
    bad.push_back(many_faces);
    auto vertex_high = good;
    vertex_high[face_block + 4 + 1] = 4;  // vertex number 4 of 4 vertices (0..3)
    bad.push_back(vertex_high);
    auto vertex_low = good;
    vertex_low[face_block + 4 + 8 + 4] = 0xFF;  // -2
    vertex_low[face_block + 4 + 8 + 5] = 0xFE;
    bad.push_back(vertex_low);
    bad.push_back(asset_of(3, MAX_MESH_FACES + 1));  // more faces than the record holds

    for (size_t i = 0; i < bad.size(); ++i) {
        auto m = new_mesh();
        ASSERT_EQ(load_model(*m, as_model(good)), 1);
        const auto before = std::make_unique<MeshObject>(*m);
        EXPECT_EQ(load_model(*m, as_model(bad[i])), 0) << "asset " << i;
        EXPECT_EQ(m->vertex_count, 0) << "asset " << i;
        EXPECT_EQ(m->face_count, 0) << "asset " << i;
        EXPECT_TRUE(m->ready);
        m->vertex_count = before->vertex_count;
        m->face_count = before->face_count;
        EXPECT_EQ(std::memcmp(m.get(), before.get(), sizeof(MeshObject)), 0) << "asset " << i;
    }

    // A well-formed asset at exactly its length loads: the trailing zero byte is not needed.
    auto exact = good;
    exact.pop_back();
    auto m = new_mesh();
    EXPECT_EQ(load_model(*m, as_model(exact)), 1);
    EXPECT_EQ(load_model(*m, ModelAsset{nullptr, 100}), 0);
}

class CameraKeys : public ::testing::Test {
protected:
    static void SetUpTestSuite() { build_cosine_table(COS_TABLE); }
};

TEST_F(CameraKeys, EmbeddedTableGivesTheFiveKeys) {
    CameraPath path{};
    load_camera_path(CAMERA_KEY_TABLE, CAMERA_KEY_TABLE_SIZE, path);
    ASSERT_EQ(CAMERA_KEY_TABLE_SIZE, 4u + 5u * 28u);
    ASSERT_EQ(path.count, 5);
    const int32_t orientation[5][4] = {
        {-256, 19, 1, 0}, {-10, 5, -252, -40}, {14, 21, -185, -174}, {-181, 66, 142, 88}, {-149, 18, -198, -59}};
    const int32_t position[5][3] = {
        {-115, -135, -2508}, {-115, -135, -2047}, {-136, -36, -1100}, {-137, -102, -1100}, {-24, -130, -588}};
    for (int k = 0; k < 5; ++k) {
        const CameraKey& key = path.keys[k];
        EXPECT_EQ(key.orientation.w, orientation[k][0]) << k;
        EXPECT_EQ(key.orientation.x, orientation[k][1]) << k;
        EXPECT_EQ(key.orientation.y, orientation[k][2]) << k;
        EXPECT_EQ(key.orientation.z, orientation[k][3]) << k;
        EXPECT_EQ(key.position.x, position[k][0]) << k;
        EXPECT_EQ(key.position.y, position[k][1]) << k;
        EXPECT_EQ(key.position.z, position[k][2]) << k;
    }
    // The table is stored little-endian: the count's first byte is 5.
    EXPECT_EQ(CAMERA_KEY_TABLE[0], 5);
    EXPECT_EQ(CAMERA_KEY_TABLE[3], 0);
    EXPECT_EQ(CAMERA_KEY_TABLE[4], 0x8D);  // -115
    EXPECT_EQ(CAMERA_KEY_TABLE[7], 0xFF);
}

std::vector<uint8_t> key_table(int32_t declared, int records) {
    std::vector<uint8_t> out;
    auto put = [&](int32_t v) {
        for (int b = 0; b < 4; ++b) out.push_back(uint8_t(uint32_t(v) >> (8 * b)));
    };
    put(declared);
    for (int k = 0; k < records; ++k) {
        put(k);
        put(-k);
        put(1000 + k);
        put(0);
        put(0);
        put(0);
        put(100);  // rotation (0, 0, 0, 100) turns into (-100, 0, 0, 0) -> (-256, 0, 0, 0)
    }
    return out;
}

TEST_F(CameraKeys, CountsAndRecordsBoundTheKeys) {
    struct Guarded {
        CameraPath path;
        int32_t canary[64];
    };
    auto g = std::make_unique<Guarded>();
    for (int32_t& c : g->canary) c = 0x5A5A5A5A;
    const CameraKey untouched{{256, 0, 0, 0}, {0, 0, 0}};
    for (CameraKey& key : g->path.keys) key = untouched;

    auto zero = key_table(0, 3);
    load_camera_path(zero.data(), uint32_t(zero.size()), g->path);
    EXPECT_EQ(g->path.count, 0);
    EXPECT_EQ(g->path.keys[0].orientation.w, 256);

    // More keys declared than the path holds: 32 are loaded.
    auto many = key_table(40, 40);
    load_camera_path(many.data(), uint32_t(many.size()), g->path);
    EXPECT_EQ(g->path.count, CAMERA_PATH_KEYS);
    EXPECT_EQ(g->path.keys[31].position.z, 1031);
    EXPECT_EQ(g->path.keys[31].orientation.w, -256);
    for (int32_t c : g->canary) EXPECT_EQ(c, 0x5A5A5A5A);

    // More keys declared than the table holds: only whole records are read.
    auto short_table = key_table(5, 2);
    short_table.resize(short_table.size() + 27, 0xEE);
    for (CameraKey& key : g->path.keys) key = untouched;
    load_camera_path(short_table.data(), uint32_t(short_table.size()), g->path);
    EXPECT_EQ(g->path.count, 2);
    EXPECT_EQ(g->path.keys[1].position.y, -1);
    EXPECT_EQ(g->path.keys[2].orientation.w, 256);

    auto negative = key_table(-3, 2);
    load_camera_path(negative.data(), uint32_t(negative.size()), g->path);
    EXPECT_EQ(g->path.count, 0);
}

}  // namespace
}  // namespace korvax
