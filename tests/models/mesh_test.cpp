#include <cmath>

#include <gtest/gtest.h>

#include "asset_builder.h"
#include "models/mesh.h"

namespace korvax {
namespace {

using testing::new_mesh;

void set_vertex(MeshObject& m, int slot, int32_t x, int32_t y, int32_t z, uint16_t group = 0) {
    m.vertices[slot] = {x, y, z, group};
}

void set_face(MeshObject& m, int slot, int32_t a, int32_t b, int32_t c) {
    m.faces[slot].vertex_a = a;
    m.faces[slot].vertex_b = b;
    m.faces[slot].vertex_c = c;
}

void expect_vec(const Vec3& v, int32_t x, int32_t y, int32_t z) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

TEST(Mesh, FreshRecordsAreEmptyAndStayNotReady) {
    const MeshObject& m = meshes[12];
    EXPECT_FALSE(m.ready);
    EXPECT_EQ(m.vertex_count, 0);
    EXPECT_EQ(m.face_count, 0);
    for (int slot : {0, 1, 5000, MESH_SLOTS - 1}) {
        expect_vec(m.faces[slot].normal, 0, 0, 0);
        expect_vec(m.vertex_normals[slot], 0, 0, 0);
    }
    auto fresh = new_mesh();
    fresh->face_count = 3;  // faces without vertices: still nothing to do
    update_normals(*fresh);
    EXPECT_FALSE(fresh->ready);
}

TEST(Mesh, PointSetBecomesReadyAndKeepsVertexNormals) {
    auto m = new_mesh();
    m->vertex_count = 2;
    set_vertex(*m, 1, 5, 6, 7);
    set_vertex(*m, 2, -5, 6, 7);
    m->vertex_normals[1] = {1, 2, 3};
    update_normals(*m);
    EXPECT_TRUE(m->ready);
    expect_vec(m->vertex_normals[1], 1, 2, 3);
    expect_vec(m->vertex_normals[2], 0, 0, 0);
}

TEST(Mesh, FaceNormalsFollowCornerOrder) {
    auto m = new_mesh();
    m->vertex_count = 4;
    set_vertex(*m, 1, 0, 0, 0);
    set_vertex(*m, 2, 100, 0, 0);
    set_vertex(*m, 3, 0, 100, 0);
    set_vertex(*m, 4, 200, 0, 0);
    set_face(*m, 1, 1, 2, 3);  // counter-clockwise in x-y: +z
    set_face(*m, 2, 1, 3, 2);  // reversed: -z
    set_face(*m, 3, 1, 2, 2);  // repeated corner
    set_face(*m, 4, 1, 2, 4);  // collinear corners
    set_face(*m, 5, 0, 0, 0);  // all corners in slot 0
    for (int f = 1; f <= 5; ++f) compute_face_normal(*m, f);
    expect_vec(m->faces[1].normal, 0, 0, 127);  // 256 clamped
    expect_vec(m->faces[2].normal, 0, 0, -128);
    expect_vec(m->faces[3].normal, 0, 0, 0);
    expect_vec(m->faces[4].normal, 0, 0, 0);
    expect_vec(m->faces[5].normal, 0, 0, 0);
}

TEST(Mesh, TinyFacesUseTheUnshiftedCrossProduct) {
    auto m = new_mesh();
    m->vertex_count = 3;
    set_face(*m, 1, 1, 2, 3);
    auto normal_of = [&](Vec3 e1, Vec3 e2) {
        set_vertex(*m, 1, 0, 0, 0);
        set_vertex(*m, 2, e1.x, e1.y, e1.z);
        set_vertex(*m, 3, e2.x, e2.y, e2.z);
        compute_face_normal(*m, 1);
        return m->faces[1].normal;
    };
    // Cross product (0, 0, 1): shifted by 3 it would vanish.
    Vec3 n = normal_of({1, 0, 0}, {0, 1, 0});
    expect_vec(n, 0, 0, 127);
    // Cross product (0, -1, 1): shifted (0, -1, 0), length 1, so (0, -256, 256)
    // is normalised (length 362: 181, clamped to the byte range).
    n = normal_of({1, 0, 0}, {0, 1, 1});
    expect_vec(n, 0, -128, 127);
    // Cross product (7, 0, 120): shifted (0, 0, 15), length 15: the unshifted
    // product keeps its x part (256 * 1,792 / 30,772 = 14).
    n = normal_of({120, 0, -7}, {0, 1, 0});
    expect_vec(n, 14, 0, 127);
    // Cross product (7, 0, 128): shifted (0, 0, 16), length 16: the shifted one is used.
    n = normal_of({128, 0, -7}, {0, 1, 0});
    expect_vec(n, 0, 0, 127);
}

// The direction a face normal must have: 256 * n / |n| truncated toward zero,
// clamped to a byte, with |n| the integer square root of the exact sum.
Vec3 true_direction(int64_t nx, int64_t ny, int64_t nz) {
    const long double sum = (long double)(nx * nx) + (long double)(ny * ny) + (long double)(nz * nz);
    const int64_t len = int64_t(std::floor(std::sqrt(sum)));
    auto one = [&](int64_t c) {
        int64_t v = (256 * c) / len;  // C++ division truncates toward zero
        return int32_t(v > 127 ? 127 : (v < -128 ? -128 : v));
    };
    return {one(nx), one(ny), one(nz)};
}

TEST(Mesh, LargeFacesKeepTheirTrueDirection) {
    auto m = new_mesh();
    m->vertex_count = 3;
    const int32_t cases[][6] = {
        // e1 and e2 of faces whose shifted cross product has a squared length beyond 2^31
        {6000, 0, 0, 0, 1000, 6000},
        {5000, 300, -200, -400, 4500, 1200},
        {3000, 3000, 0, 0, -2500, 2500},
        {-7000, 100, 50, 20, 300, -6800},
    };
    for (const auto& c : cases) {
        set_vertex(*m, 1, 10, 20, 30);
        set_vertex(*m, 2, 10 + c[0], 20 + c[1], 30 + c[2]);
        set_vertex(*m, 3, 10 + c[3], 20 + c[4], 30 + c[5]);
        set_face(*m, 1, 1, 2, 3);
        compute_face_normal(*m, 1);
        const int64_t cx = int64_t(c[1]) * c[5] - int64_t(c[2]) * c[4];
        const int64_t cy = int64_t(c[2]) * c[3] - int64_t(c[0]) * c[5];
        const int64_t cz = int64_t(c[0]) * c[4] - int64_t(c[1]) * c[3];
        const int64_t nx = cx >> 3, ny = cy >> 3, nz = cz >> 3;
        ASSERT_GT(nx * nx + ny * ny + nz * nz, int64_t(1) << 31);
        Vec3 expected = true_direction(nx, ny, nz);
        expect_vec(m->faces[1].normal, expected.x, expected.y, expected.z);
    }
}

TEST(Mesh, SmoothingNeedsASharedEdgeAndASimilarDirection) {
    auto m = new_mesh();
    m->vertex_count = 8;
    m->face_count = 2;
    // Shared edge, equal normals: dot 63, the average is the same normal.
    set_face(*m, 1, 1, 2, 3);
    set_face(*m, 2, 3, 2, 4);
    m->faces[1].normal = {0, 127, 0};
    m->faces[2].normal = {0, 127, 0};
    smooth_face_normals(*m);
    expect_vec(m->faces[1].normal, 0, 127, 0);
    expect_vec(m->faces[2].normal, 0, 127, 0);

    // Shared edge, different directions: averaged ((a + b) * 128 >> 8 per component).
    m->faces[1].normal = {100, 80, -3};
    m->faces[2].normal = {60, 100, 0};
    smooth_face_normals(*m);
    expect_vec(m->faces[1].normal, 80, 90, -2);
    expect_vec(m->faces[2].normal, 80, 90, -2);

    // A single shared corner (k = 1) is never enough.
    set_face(*m, 2, 3, 5, 6);
    m->faces[1].normal = {0, 127, 0};
    m->faces[2].normal = {0, 100, 10};
    smooth_face_normals(*m);
    expect_vec(m->faces[1].normal, 0, 127, 0);
    expect_vec(m->faces[2].normal, 0, 100, 10);

    // Corners of the first face are counted one by one: (1, 1, 7) against (1, 5, 6) gives k = 2.
    set_face(*m, 1, 1, 1, 7);
    set_face(*m, 2, 1, 5, 6);
    smooth_face_normals(*m);
    expect_vec(m->faces[1].normal, 0, 113, 5);
    expect_vec(m->faces[2].normal, 0, 113, 5);
    // ...but not the other way round: (1, 5, 6) against (1, 1, 7) gives k = 1.
    set_face(*m, 1, 1, 5, 6);
    set_face(*m, 2, 1, 1, 7);
    m->faces[1].normal = {0, 127, 0};
    m->faces[2].normal = {0, 100, 10};
    smooth_face_normals(*m);
    expect_vec(m->faces[1].normal, 0, 127, 0);
    expect_vec(m->faces[2].normal, 0, 100, 10);

    // Dot product of exactly 8 is not enough, 9 is.
    set_face(*m, 1, 1, 2, 3);
    set_face(*m, 2, 3, 2, 4);
    m->faces[1].normal = {64, 0, 0};
    m->faces[2].normal = {32, 127, 0};  // (64 * 32) >> 8 = 8
    smooth_face_normals(*m);
    expect_vec(m->faces[1].normal, 64, 0, 0);
    m->faces[2].normal = {36, 127, 0};  // (64 * 36) >> 8 = 9
    smooth_face_normals(*m);
    expect_vec(m->faces[1].normal, 50, 63, 0);

    // A degenerate face (normal zero) never averages.
    m->faces[1].normal = {0, 0, 0};
    m->faces[2].normal = {0, 127, 0};
    smooth_face_normals(*m);
    expect_vec(m->faces[1].normal, 0, 0, 0);
    expect_vec(m->faces[2].normal, 0, 127, 0);
}

// The smoothing as first written, over every pair of faces.
void smooth_all_pairs(MeshObject& mesh) {
    auto has = [](const MeshFace& f, int32_t v) { return f.vertex_a == v || f.vertex_b == v || f.vertex_c == v; };
    for (int32_t i = 1; i <= mesh.face_count; ++i) {
        MeshFace& fi = mesh.faces[i];
        const Vec3 n = fi.normal;
        for (int32_t j = i + 1; j <= mesh.face_count; ++j) {
            MeshFace& fj = mesh.faces[j];
            if (int(has(fj, fi.vertex_a)) + int(has(fj, fi.vertex_b)) + int(has(fj, fi.vertex_c)) < 2) continue;
            if (vec3_dot(n, fj.normal) <= 8) continue;
            Vec3 m;
            vec3_add(m, n, fj.normal);
            vec3_scale(m, m, 128);
            fi.normal = m;
            fj.normal = m;
        }
    }
}

// Random meshes over few vertices (many shared edges, repeated corners, chains
// of faces averaging one after another), and some with corners outside the
// record: the normals of the all-pairs pass, face for face.
TEST(Mesh, SmoothingEqualsThePassOverEveryPairOfFaces) {
    uint32_t seed = 99;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    auto m = new_mesh();
    auto expected = new_mesh();
    for (int round = 0; round < 40; ++round) {
        const int32_t vertices = 3 + static_cast<int32_t>(next(round < 20 ? 12 : 400));
        m->vertex_count = static_cast<uint16_t>(vertices);
        m->face_count = static_cast<uint16_t>(1 + next(round < 20 ? 60 : 2000));
        for (int32_t f = 1; f <= m->face_count; ++f) {
            int32_t a = static_cast<int32_t>(next(static_cast<uint32_t>(vertices)) + 1);
            int32_t b = next(8) == 0 ? a : static_cast<int32_t>(next(static_cast<uint32_t>(vertices)) + 1);
            int32_t c = static_cast<int32_t>(next(static_cast<uint32_t>(vertices)) + 1);
            if (round % 10 == 9 && next(50) == 0) c = next(2) ? -3 : MESH_SLOTS + 5;
            set_face(*m, f, a, b, c);
            const int32_t y = static_cast<int32_t>(next(80));
            m->faces[f].normal = {static_cast<int32_t>(next(200)) - 100, 40 + y, static_cast<int32_t>(next(60)) - 30};
        }
        *expected = *m;
        smooth_all_pairs(*expected);
        smooth_face_normals(*m);
        for (int32_t f = 1; f <= m->face_count; ++f) {
            ASSERT_EQ(m->faces[f].normal.x, expected->faces[f].normal.x) << "round " << round << " face " << f;
            ASSERT_EQ(m->faces[f].normal.y, expected->faces[f].normal.y) << "round " << round << " face " << f;
            ASSERT_EQ(m->faces[f].normal.z, expected->faces[f].normal.z) << "round " << round << " face " << f;
        }
    }
}

TEST(Mesh, SmoothingComparesWithTheNormalAsItsPassBegan) {
    auto m = new_mesh();
    m->vertex_count = 6;
    m->face_count = 3;
    set_face(*m, 1, 1, 2, 3);
    set_face(*m, 2, 2, 3, 4);  // shares edge 2-3 with face 1
    set_face(*m, 3, 3, 1, 5);  // shares edge 1-3 with face 1, only corner 3 with face 2
    m->faces[1].normal = {0, 100, 0};
    m->faces[2].normal = {40, 100, 0};
    m->faces[3].normal = {0, 100, 60};
    smooth_face_normals(*m);
    // Face 2 averages with face 1's original normal; face 1 ends with its
    // average with face 3, computed from its original normal too.
    expect_vec(m->faces[2].normal, 20, 100, 0);
    expect_vec(m->faces[1].normal, 0, 100, 30);
    expect_vec(m->faces[3].normal, 0, 100, 30);
}

TEST(Mesh, VertexNormalsAddEveryFaceOfAVertex) {
    // A fan of 35 faces around vertex 1: 21 are remembered, 14 found by the scan.
    auto m = new_mesh();
    const int fan = 35;
    m->vertex_count = fan + 3;
    m->face_count = fan + 1;
    for (int f = 1; f <= fan; ++f) {
        set_face(*m, f, 1, f + 1, f + 2);
        m->faces[f].normal = f <= 21 ? Vec3{0, 0, 127} : Vec3{0, -128, 0};
    }
    // One more face, not touching vertex 1; its corner 38 is used by nothing else.
    set_face(*m, fan + 1, fan + 2, fan + 2, fan + 1);
    m->faces[fan + 1].normal = {90, 0, 0};
    compute_vertex_normals(*m);

    Vec3 expected{127, 127 - 14 * 128, 21 * 127};
    vec3_normalise(expected);
    const Vec3& n = m->vertex_normals[1];
    expect_vec(n, expected.x, expected.y, expected.z);
    EXPECT_LT(n.y, -50);  // the scanned faces pull it round

    // Vertex 37: face 35 once and face 36, whose repeated corner is recorded
    // and counted twice.
    Vec3 twice{127 + 2 * 90, 127 - 128, 0};
    vec3_normalise(twice);
    expect_vec(m->vertex_normals[37], twice.x, twice.y, twice.z);
    // Vertex 2: face 1 only.
    Vec3 single{127, 127, 127};
    vec3_normalise(single);
    expect_vec(m->vertex_normals[2], single.x, single.y, single.z);
    // Vertex 38 is used by no face: (127, 127, 0) exactly, not normalised.
    expect_vec(m->vertex_normals[38], 127, 127, 0);
}

TEST(Mesh, VertexFaceListOfExactlyTwentyOneFacesIsNotScannedTwice) {
    auto m = new_mesh();
    m->vertex_count = 30;
    m->face_count = 21;
    for (int f = 1; f <= 21; ++f) {
        set_face(*m, f, 1, f + 1, f + 2);
        m->faces[f].normal = {0, 5, 0};
    }
    compute_vertex_normals(*m);
    Vec3 expected{127, 127 + 21 * 5, 0};
    vec3_normalise(expected);
    expect_vec(m->vertex_normals[1], expected.x, expected.y, expected.z);

    // The 21st record is the first occurrence of a face with a repeated
    // corner: its second occurrence is not recorded and the scan starts after it.
    for (int f = 1; f <= 20; ++f) m->faces[f].normal = {0, 0, 0};
    set_face(*m, 21, 1, 1, 23);
    m->faces[21].normal = {0, 0, 100};
    m->face_count = 22;
    set_face(*m, 22, 24, 1, 25);
    m->faces[22].normal = {50, 0, 0};
    compute_vertex_normals(*m);
    expected = {127 + 50, 127, 100};
    vec3_normalise(expected);
    expect_vec(m->vertex_normals[1], expected.x, expected.y, expected.z);
}

TEST(Mesh, UpdateNormalsRunsTheWholeChain) {
    // A tetrahedron: every vertex normal points away from the centre.
    auto m = new_mesh();
    m->vertex_count = 4;
    m->face_count = 4;
    set_vertex(*m, 1, 300, 300, 300);
    set_vertex(*m, 2, -300, -300, 300);
    set_vertex(*m, 3, -300, 300, -300);
    set_vertex(*m, 4, 300, -300, -300);
    set_face(*m, 1, 1, 2, 4);
    set_face(*m, 2, 1, 4, 3);
    set_face(*m, 3, 1, 3, 2);
    set_face(*m, 4, 2, 3, 4);
    update_normals(*m);
    EXPECT_TRUE(m->ready);
    for (int f = 1; f <= 4; ++f) {
        const MeshFace& face = m->faces[f];
        const MeshVertex& a = m->vertices[face.vertex_a];
        // Outward: the normal points the same way as the corner's position.
        EXPECT_GT(int64_t(face.normal.x) * a.x + int64_t(face.normal.y) * a.y + int64_t(face.normal.z) * a.z, 0) << f;
    }
    for (int v = 1; v <= 4; ++v) {
        const MeshVertex& p = m->vertices[v];
        const Vec3& n = m->vertex_normals[v];
        EXPECT_GT(int64_t(n.x) * p.x + int64_t(n.y) * p.y + int64_t(n.z) * p.z, 0) << v;
    }
}

TEST(Mesh, VertexTransformsSelectByGroup) {
    auto m = new_mesh();
    m->vertex_count = 3;
    set_vertex(*m, 0, 9, 9, 9);
    set_vertex(*m, 1, -3, 4, 100, 0);
    set_vertex(*m, 2, 10, -10, 7, 1);
    set_vertex(*m, 3, 1000, 0, -1, 2);
    set_vertex(*m, 4, 55, 55, 55, 1);  // beyond vertex_count

    scale_mesh(*m, 256);
    EXPECT_EQ(m->vertices[1].x, -3);
    EXPECT_EQ(m->vertices[3].x, 1000);
    scale_mesh(*m, 128);  // halves, rounding toward minus infinity
    EXPECT_EQ(m->vertices[1].x, -2);
    EXPECT_EQ(m->vertices[1].z, 50);
    EXPECT_EQ(m->vertices[3].z, -1);
    EXPECT_EQ(m->vertices[4].x, 55);
    EXPECT_EQ(m->vertices[0].x, 9);

    scale_vertices(*m, 1, 512);
    EXPECT_EQ(m->vertices[2].x, 10);
    EXPECT_EQ(m->vertices[2].y, -10);
    EXPECT_EQ(m->vertices[1].y, 2);
    EXPECT_EQ(m->vertices[3].x, 500);
    EXPECT_EQ(m->vertices[4].x, 55);

    translate_vertices(*m, 2, Vec3{1, -1, 5});
    EXPECT_EQ(m->vertices[3].x, 501);
    EXPECT_EQ(m->vertices[3].z, 4);
    EXPECT_EQ(m->vertices[2].x, 10);
    translate_mesh(*m, Vec3{-10, 0, 0});
    EXPECT_EQ(m->vertices[1].x, -12);
    EXPECT_EQ(m->vertices[2].x, 0);
    EXPECT_EQ(m->vertices[3].x, 491);
    EXPECT_EQ(m->vertices[4].x, 55);
    EXPECT_EQ(m->vertices[0].x, 9);

    set_vertex_group(*m, 0x10002);  // low 16 bits
    for (int v = 1; v <= 3; ++v) EXPECT_EQ(m->vertices[v].group, 2);
    EXPECT_EQ(m->vertices[4].group, 1);
    // A group number above 16 bits selects nothing: no vertex has it.
    scale_vertices(*m, 0x10002, 0);
    EXPECT_EQ(m->vertices[3].x, 491);

    // Counts above the capacity: the transforms leave the record alone.
    m->vertex_count = MAX_MESH_VERTICES + 1;
    scale_mesh(*m, 0);
    translate_mesh(*m, Vec3{1, 1, 1});
    set_vertex_group(*m, 7);
    EXPECT_EQ(m->vertices[3].x, 491);
    EXPECT_EQ(m->vertices[3].group, 2);
}

TEST(Mesh, SetVertexPositionsStaysInsideTheMesh) {
    auto m = new_mesh();
    m->vertex_count = 5;
    for (int v = 0; v <= 7; ++v) set_vertex(*m, v, 1, 1, 1, uint16_t(v));
    const int16_t positions[] = {-32768, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};

    set_vertex_positions(*m, positions, 2, 5);  // first = vertex_count: nothing
    set_vertex_positions(*m, positions, 0, 1);  // count 0: nothing
    for (int v = 0; v <= 7; ++v) EXPECT_EQ(m->vertices[v].x, 1);

    set_vertex_positions(*m, positions, 2, 2);
    EXPECT_EQ(m->vertices[2].x, -32768);  // sign-extended
    EXPECT_EQ(m->vertices[2].z, 3);
    EXPECT_EQ(m->vertices[3].y, 5);
    EXPECT_EQ(m->vertices[3].group, 3);  // groups unchanged
    EXPECT_EQ(m->vertices[4].x, 1);

    // A run past the last vertex stops at it.
    set_vertex_positions(*m, positions, 6, 3);
    EXPECT_EQ(m->vertices[5].x, 7);
    EXPECT_EQ(m->vertices[6].x, 1);
    EXPECT_EQ(m->vertices[7].x, 1);

    // Even a corrupt count never carries the run out of the record.
    auto guarded = std::make_unique<MeshObject[]>(2);
    MeshObject& g = guarded[0];
    g.vertex_count = 0xFFFF;
    std::vector<int16_t> many(3 * 40, 77);
    set_vertex_positions(g, many.data(), 40, MESH_SLOTS - 10);
    EXPECT_EQ(g.vertices[MESH_SLOTS - 1].x, 77);
    EXPECT_EQ(g.faces[0].vertex_a, 0);
    EXPECT_EQ(guarded[1].vertices[0].x, 0);
}

TEST(Mesh, CopyMeshCopiesGeometryOnly) {
    auto src = new_mesh();
    auto dst = new_mesh();
    dst->ready = true;
    dst->vertex_count = 4;
    dst->face_count = 2;
    copy_mesh(*dst, *src);  // from an empty mesh
    EXPECT_EQ(dst->vertex_count, 0);
    EXPECT_EQ(dst->face_count, 0);
    EXPECT_TRUE(dst->ready);

    src->vertex_count = 2;
    src->face_count = 1;
    set_vertex(*src, 1, 1, 2, 3, 4);
    set_vertex(*src, 2, 5, 6, 7, 8);
    set_vertex(*src, 3, 9, 9, 9);  // beyond the count
    src->faces[1] = {1, 2, 0, -7, {1, 2}, {3, 4}, {5, 6}, {10, 20, 30}};
    src->vertex_normals[1] = {99, 99, 99};
    dst->vertex_normals[1] = {1, 1, 1};
    copy_mesh(*dst, *src);
    EXPECT_EQ(dst->vertex_count, 2);
    EXPECT_EQ(dst->face_count, 1);
    EXPECT_EQ(dst->vertices[2].z, 7);
    EXPECT_EQ(dst->vertices[2].group, 8);
    EXPECT_EQ(dst->vertices[3].x, 0);
    EXPECT_EQ(dst->faces[1].material, -7);
    EXPECT_EQ(dst->faces[1].uv_c.v, 6);
    EXPECT_EQ(dst->faces[1].normal.z, 30);
    expect_vec(dst->vertex_normals[1], 1, 1, 1);

    src->vertex_count = MAX_MESH_VERTICES + 1;
    copy_mesh(*dst, *src);
    EXPECT_EQ(dst->vertex_count, 0);
    EXPECT_EQ(dst->face_count, 0);
}

}  // namespace
}  // namespace korvax
