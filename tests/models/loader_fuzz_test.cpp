// Seeded random assets, truncated and corrupted, through the loader and the
// mesh operations: nothing may be written outside the mesh record, and a
// loaded mesh must stay consistent. Run the sanitizer build too
// (-DKORVAX_SANITIZE=address,undefined) to catch reads past the asset.
#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "asset_builder.h"
#include "models/model_loader.h"

namespace korvax {
namespace {

using testing::AssetFace;
using testing::AssetVertex;
using testing::build_asset;

constexpr uint8_t GUARD = 0xA5;

struct Guarded {
    MeshObject before;
    MeshObject mesh;
    MeshObject after;
};

std::vector<uint8_t> random_asset(std::mt19937& rng) {
    std::uniform_int_distribution<int> vertex_count(0, 60), face_count(0, 80), coord(-32768, 32767), group(0, 3);
    std::vector<AssetVertex> vs(vertex_count(rng));
    for (AssetVertex& v : vs) v = {coord(rng) / 8, coord(rng) / 8, coord(rng) / 8, uint32_t(group(rng))};
    std::vector<AssetFace> fs(face_count(rng));
    std::uniform_int_distribution<int> corner(-1, int(vs.size()) - 1), material(-5, 200);
    for (AssetFace& f : fs) f = {corner(rng), corner(rng), corner(rng), material(rng)};
    return build_asset(vs, fs);
}

// Returns true when the asset was left well formed.
bool mutate(std::mt19937& rng, std::vector<uint8_t>& bytes) {
    std::uniform_int_distribution<int> kind(0, 5);
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n)(rng); };
    auto any_byte = [&]() { return uint8_t(std::uniform_int_distribution<int>(0, 255)(rng)); };
    switch (kind(rng)) {
        case 0:
            return true;
        case 1:  // truncated
            bytes.resize(pick(bytes.size() - 1));
            return false;
        case 2:  // random bytes overwritten anywhere
            for (int i = 0, n = 1 + int(pick(8)); i < n; ++i) bytes[pick(bytes.size() - 1)] = any_byte();
            return false;
        case 3:  // a header field replaced: L, N or the face count
        {
            const size_t fields[] = {8, 9, 10, 11, 12, 13};
            bytes[fields[pick(5)]] = any_byte();
            size_t l = (size_t(bytes[8]) << 24) | (size_t(bytes[9]) << 16) | (size_t(bytes[10]) << 8) | bytes[11];
            if (14 + l + 4 <= bytes.size()) bytes[14 + l + pick(3)] = any_byte();
            return false;
        }
        case 4:  // vertex numbers out of range
        {
            size_t l = 8 * ((size_t(bytes[12]) << 8) | bytes[13]);
            size_t faces = 14 + l + 4;
            if (faces + 8 <= bytes.size()) {
                size_t f = faces + 8 * pick((bytes.size() - faces) / 8 - 1);
                if (f + 6 <= bytes.size()) bytes[f + 2 * pick(2)] = any_byte();
            }
            return false;
        }
        default:  // garbage of any length
        {
            bytes.resize(pick(64));
            for (uint8_t& b : bytes) b = any_byte();
            return false;
        }
    }
}

void expect_consistent(const MeshObject& m) {
    ASSERT_LE(m.vertex_count, MAX_MESH_VERTICES);
    ASSERT_LE(m.face_count, MAX_MESH_FACES);
    for (int f = 1; f <= m.face_count; ++f) {
        const MeshFace& face = m.faces[f];
        for (int32_t c : {face.vertex_a, face.vertex_b, face.vertex_c}) {
            ASSERT_GE(c, 0);
            ASSERT_LE(c, m.vertex_count);
        }
        for (const TexCoord& uv : {face.uv_a, face.uv_b, face.uv_c}) {
            ASSERT_GE(uv.u, 0);
            ASSERT_LE(uv.u, 255);
            ASSERT_GE(uv.v, 0);
            ASSERT_LE(uv.v, 255);
        }
        ASSERT_LE(face.normal.x, 127);
        ASSERT_GE(face.normal.x, -128);
    }
}

TEST(LoaderFuzz, CorruptAssetsStayInsideTheRecord) {
    auto g = std::make_unique<Guarded>();
    static uint8_t pattern[sizeof(MeshObject)];
    std::memset(pattern, GUARD, sizeof pattern);
    std::memset(&g->before, GUARD, sizeof(MeshObject));
    std::memset(&g->after, GUARD, sizeof(MeshObject));

    std::mt19937 rng(20240517);
    int loaded = 0, refused = 0;
    for (int round = 0; round < 4000; ++round) {
        std::vector<uint8_t> bytes = random_asset(rng);
        const std::vector<uint8_t> original = bytes;
        const bool well_formed = mutate(rng, bytes);
        // An exact-size copy on the heap, so that any read past its end is caught.
        std::vector<uint8_t> asset(bytes);
        const int result = load_model(g->mesh, ModelAsset{asset.data(), uint32_t(asset.size())});
        if (well_formed) {
            ASSERT_EQ(result, 1) << "round " << round;
            ASSERT_EQ(g->mesh.vertex_count, ((uint32_t(original[12]) << 8) | original[13]) - 1);
        }
        result == 1 ? ++loaded : ++refused;
        if (result == 0) {
            ASSERT_EQ(g->mesh.vertex_count, 0);
            ASSERT_EQ(g->mesh.face_count, 0);
        }
        expect_consistent(g->mesh);

        // Texture tables of any length.
        std::vector<uint8_t> table(std::uniform_int_distribution<int>(0, 600)(rng), 0x33);
        apply_uv_table(g->mesh, UvTable{table.data(), uint32_t(table.size())});

        // Merging another (perhaps corrupt) asset.
        std::vector<uint8_t> second = random_asset(rng);
        mutate(rng, second);
        append_model(g->mesh, ModelAsset{second.data(), uint32_t(second.size())},
                     std::uniform_int_distribution<int>(-70000, 70000)(rng));
        expect_consistent(g->mesh);
        expect_consistent(staging_mesh);

        // Vertex runs of any length and start.
        const uint16_t count = uint16_t(std::uniform_int_distribution<int>(0, 200)(rng));
        const uint16_t first = uint16_t(std::uniform_int_distribution<int>(0, 200)(rng));
        std::vector<int16_t> positions(3 * size_t(count) + 1, 9);
        set_vertex_positions(g->mesh, positions.data(), count, first);
        scale_mesh(g->mesh, std::uniform_int_distribution<int>(-1000, 1000)(rng));
        translate_mesh(g->mesh, Vec3{1, -1, 1});
        update_normals(g->mesh);
        compute_vertex_normals(g->mesh);

        ASSERT_EQ(std::memcmp(&g->before, pattern, sizeof pattern), 0) << "round " << round;
        ASSERT_EQ(std::memcmp(&g->after, pattern, sizeof pattern), 0) << "round " << round;
    }
    // Both paths were exercised.
    EXPECT_GT(loaded, 500);
    EXPECT_GT(refused, 500);
}

}  // namespace
}  // namespace korvax
