#include <cstdlib>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "canvas.h"
#if !defined(KORVAX_BOARD_GP2X)  // the ARM build has no PNG writer
#include "app/png.h"
#endif
#include "math/fixed_math.h"
#include "runtime/tables.h"
#include "models/mesh.h"
#include "runtime/runtime.h"
#include "render/mesh_pipeline.h"
#include "render/render_state.h"

namespace korvax {
namespace {

struct Drawn {
    TriangleRecord record;
    bool clipped;
    uint16_t material;
    uint32_t colour;
};
std::vector<Drawn> drawn;

void record_triangle(TriangleRecord& r, bool clipped) {
    drawn.push_back({r, clipped, render_state.current_material, render_state.draw_colour});
}

// Signed doubled area in screen space; the pipeline keeps faces where it is negative.
int64_t winding(const TriangleRecord& r) {
    const TriangleVertex &a = r.vertex[0], &b = r.vertex[1], &c = r.vertex[2];
    return int64_t{c.y - a.y} * (a.x - b.x) - int64_t{a.x - c.x} * (b.y - a.y);
}

class MeshPipeline : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        build_reciprocal_table();
        build_cosine_table(COS_TABLE);
    }
    void SetUp() override {
        drawn.clear();
        set_triangle_sink(record_triangle);
        for (Matrix4& m : matrices_) matrix_identity(m);
        for (int32_t& mode : render_state.material_mode) mode = 0;
        set_depth_range(low_, high_);
        for (int i = 0; i < 64; ++i) {
            primary_ramp[i] = static_cast<uint16_t>(0x1000 + i);
            secondary_ramp[i] = static_cast<uint16_t>(0x2000 + i);
        }
        mesh_ = &meshes[12];
        clear_mesh(*mesh_);
    }
    void TearDown() override { set_triangle_sink(nullptr); }

    // A vertex at model depth 0 (l = 7) that projects onto screen (sx, sy) around (160, 120).
    void add_vertex(int32_t sx, int32_t sy, int32_t z = 0) {
        MeshVertex& v = mesh_->vertices[++mesh_->vertex_count];
        v = MeshVertex{-7 * (sx - 160), -7 * (sy - 120), z, 0};
    }
    void add_face(int32_t a, int32_t b, int32_t c, int32_t material = 0) {
        MeshFace& f = mesh_->faces[++mesh_->face_count];
        f = MeshFace{};
        f.vertex_a = a;
        f.vertex_b = b;
        f.vertex_c = c;
        f.material = material;
        f.uv_a = {1, 2};
        f.uv_b = {3, 4};
        f.uv_c = {5, 6};
    }
    void draw() {
        update_normals(*mesh_);
        draw_mesh(*mesh_, matrices_, 160, 120);
    }

    const int32_t low_ = -50000, high_ = 50000;
    Matrix4 matrices_[16];
    MeshObject* mesh_ = nullptr;
};

TEST_F(MeshPipeline, ProjectsAroundTheCentreWithTheDepthScale) {
    add_vertex(100, 90);                                // p.z = 0: l = 7
    mesh_->vertices[2] = MeshVertex{500, -250, -500000, 0};  // l = 25
    mesh_->vertices[3] = MeshVertex{123, 456, -670000, 0};   // d raised to 1: l = 4,400,001
    mesh_->vertices[4] = MeshVertex{10, 20, 100000, 1};      // l = 5, through matrix 1
    mesh_->vertex_count = 4;
    matrix_from_angles(matrices_[1], 512, 0, 0);  // half a turn about y: x and z negated
    draw();
    EXPECT_EQ(projected_vertices[1].x, 100);
    EXPECT_EQ(projected_vertices[1].y, 90);
    EXPECT_EQ(projected_vertices[2].x, 160 - 20);
    EXPECT_EQ(projected_vertices[2].y, 120 + 10);
    EXPECT_EQ(projected_vertices[2].z, -20000);
    EXPECT_EQ(projected_vertices[3].x, 160);
    EXPECT_EQ(projected_vertices[3].y, 120);
    EXPECT_EQ(projected_vertices[3].z, 0);
    // (10, 20, 100000) turned half about y is about (-10, 20, -100000): l = 7.
    Vec3 p;
    matrix_transform(p, Vec3{10, 20, 100000}, matrices_[1]);
    const int32_t l = 2 * divide(2200000, p.z + 670000) + 1;
    EXPECT_EQ(projected_vertices[4].x, divide(-p.x, l) + 160);
    EXPECT_EQ(projected_vertices[4].z, divide(p.z, l));
    EXPECT_EQ(l, 7);
}

TEST_F(MeshPipeline, NothingWhenNotReady) {
    add_vertex(100, 100);
    add_vertex(140, 100);
    add_vertex(100, 140);
    add_face(1, 2, 3);
    mesh_->ready = false;
    draw_mesh(*mesh_, matrices_, 160, 120);
    EXPECT_TRUE(drawn.empty());
}

TEST_F(MeshPipeline, CullsBackFacesAndFacesWhollyOutside) {
    add_vertex(100, 100);  // 1
    add_vertex(140, 100);  // 2
    add_vertex(100, 140);  // 3
    add_vertex(-40, 10);   // 4: left of the screen
    add_vertex(-5, 10);    // 5
    add_vertex(-40, 50);   // 6
    add_vertex(-20, 120);  // 7: one corner left, no depth problem
    add_face(1, 2, 3);  // front
    add_face(1, 3, 2);  // back
    add_face(4, 5, 6);  // front but wholly left: all outcodes share 4
    add_face(7, 2, 3);  // front, one corner outside
    add_face(1, 1, 2);  // zero area
    draw();
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_FALSE(drawn[0].clipped);
    EXPECT_EQ(drawn[0].record.vertex[0].x, 100);
    EXPECT_EQ(drawn[0].record.vertex[0].u, 1);
    EXPECT_EQ(drawn[0].record.vertex[2].v, 6);
    EXPECT_TRUE(drawn[1].clipped);  // handed on to the per-row clipping
    EXPECT_EQ(drawn[1].record.vertex[0].x, -20);
}

TEST_F(MeshPipeline, SortsFarthestFirstAndKeepsFaceOrderOnEqualKeys) {
    add_vertex(100, 100, 0);
    add_vertex(140, 100, 0);
    add_vertex(100, 140, 0);
    add_vertex(100, 100, -700);  // far: projected depth -100
    add_vertex(140, 100, -700);
    add_vertex(100, 140, -700);
    mesh_->vertices[4] = MeshVertex{-7 * -60, -7 * -20, -700, 0};
    add_face(1, 2, 3, 0);  // key 0
    add_face(1, 2, 3, 5);  // key 0, after face 1
    add_face(4, 5, 6, 7);  // farther: key below 0, drawn first
    add_face(1, 2, 3, 9);  // key 0, last
    draw();
    ASSERT_EQ(drawn.size(), 4u);
    EXPECT_EQ(drawn[0].material, 7);
    EXPECT_EQ(drawn[1].material, 0);
    EXPECT_EQ(drawn[2].material, 5);
    EXPECT_EQ(drawn[3].material, 9);
    EXPECT_LT(draw_list[0].key, draw_list[1].key);
    EXPECT_EQ((draw_list[1].word >> 16) & 0x7FFF, 1u);
}

TEST_F(MeshPipeline, FlatLitColourFromTheNormalAndRampByMaterial) {
    render_state.material_mode[0] = 2;
    render_state.material_mode[2] = 2;
    add_vertex(100, 100);
    add_vertex(140, 100);
    add_vertex(100, 140);
    add_face(1, 2, 3, 0);
    add_face(1, 2, 3, 2);
    add_face(1, 2, 3, 3);  // mode 0: colour index 2 whatever the normal
    update_normals(*mesh_);
    mesh_->faces[1].normal = Vec3{0, 0, 127};  // c = 127 >> 3 + 2 = 17
    mesh_->faces[2].normal = Vec3{0, 0, -40};  // facing away from the light: 2
    mesh_->faces[3].normal = Vec3{0, 0, 127};
    draw_mesh(*mesh_, matrices_, 160, 120);
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_EQ(drawn[0].colour, 0x1000u + 17);
    EXPECT_EQ(drawn[1].colour, 0x2000u + 2);
    EXPECT_EQ(drawn[2].colour, 0x1000u + 2);
    // The cap: n.z of 488 or more gives index 63 (through a scaling matrix).
    drawn.clear();
    for (int i = 0; i < 3; ++i) matrices_[0].m[i * 5] = 1024;
    mesh_->faces[1].normal = Vec3{0, 0, 122};  // 122 * 4 = 488
    draw_mesh(*mesh_, matrices_, 160, 120);
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_EQ(drawn[0].colour, 0x1000u + 63);
}

TEST_F(MeshPipeline, EnvironmentCoordinatesFromTheVertexNormals) {
    render_state.material_mode[0] = 1;
    add_vertex(100, 100);
    add_vertex(140, 100);
    add_vertex(100, 140);
    add_face(1, 2, 3, 0);
    add_face(1, 2, 3, 4);  // another mode: the face's own coordinates
    update_normals(*mesh_);
    mesh_->vertex_normals[1] = Vec3{0, 0, 127};     // straight at the viewer: texel (128, 128)
    mesh_->vertex_normals[2] = Vec3{127, -128, 0};  // (63 - 128) & 255, (-64 - 128) & 255
    draw_mesh(*mesh_, matrices_, 160, 120);
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0].record.vertex[0].u, 128);
    EXPECT_EQ(drawn[0].record.vertex[0].v, 128);
    EXPECT_EQ(drawn[0].record.vertex[1].u, 191);
    EXPECT_EQ(drawn[0].record.vertex[1].v, 64);
    EXPECT_EQ(drawn[1].record.vertex[0].u, 1);
}

// The depth-clip cases record what reaches the rasterizers; the sink is
// removed however a case ends.
class DepthClip : public ::testing::Test {
protected:
    void SetUp() override {
        drawn.clear();
        set_triangle_sink(record_triangle);
    }
    void TearDown() override { set_triangle_sink(nullptr); }
};

TEST_F(DepthClip, OneCornerBeyondTheHighLimitGivesTwoTrianglesWithTheWindingKept) {
    const int32_t low = -50000, high = 50000;
    set_depth_range(low, high);
    // Corner 1 beyond the limit; corners 0 and 2 inside, front-facing.
    TriangleRecord r{{{100, 100, 0, 0, 0}, {200, 100, 60000, 120, 60}, {100, 200, 20000, 0, 90}}};
    const int64_t before = winding(r);
    clip_and_draw_triangle(r);
    ASSERT_EQ(drawn.size(), 2u);
    // P(1->0): parameter (50000 - 60000) / (0 - 60000) = 1/6 from corner 1.
    const TriangleVertex p10{200 - 100 / 6, 100, 50000, 120 - 120 / 6, 60 - 60 / 6};
    // P(1->2): parameter (50000 - 60000) / (20000 - 60000) = 1/4.
    const TriangleVertex p12{200 - 100 / 4, 100 + 100 / 4, 50000, 120 - 120 / 4, 60 + 30 / 4};
    auto same = [](const TriangleVertex& a, const TriangleVertex& b) {
        return a.x == b.x && a.y == b.y && a.z == b.z && a.u == b.u && a.v == b.v;
    };
    EXPECT_TRUE(same(drawn[0].record.vertex[0], p10));
    EXPECT_TRUE(same(drawn[0].record.vertex[1], TriangleVertex{100, 200, 20000, 0, 90}));
    EXPECT_TRUE(same(drawn[0].record.vertex[2], TriangleVertex{100, 100, 0, 0, 0}));
    EXPECT_TRUE(same(drawn[1].record.vertex[0], p12));
    EXPECT_TRUE(same(drawn[1].record.vertex[1], TriangleVertex{100, 200, 20000, 0, 90}));
    EXPECT_TRUE(same(drawn[1].record.vertex[2], p10));
    for (const Drawn& d : drawn) {
        EXPECT_FALSE(d.clipped);
        EXPECT_EQ(winding(d.record) < 0, before < 0);
    }
}

TEST_F(DepthClip, TwoCornersBeyondKeepTheInsideCornerAndCornersOnlyOffScreenGoToRowClipping) {
    TriangleRecord r{{{100, 100, 70000, 0, 0}, {200, 100, 90000, 0, 0}, {100, 200, 10000, 0, 0}}};
    clip_and_draw_triangle(r);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].record.vertex[0].z, 10000);  // corner 2 first
    EXPECT_EQ(drawn[0].record.vertex[1].z, 50000);
    EXPECT_EQ(drawn[0].record.vertex[2].z, 50000);
    EXPECT_EQ(drawn[0].record.vertex[1].y, 200 - 100 * 40000 / 60000);

    drawn.clear();
    TriangleRecord off{{{-30, 100, 0, 0, 0}, {200, 100, 0, 0, 0}, {100, 300, 0, 0, 0}}};
    clip_and_draw_triangle(off);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_TRUE(drawn[0].clipped);

    drawn.clear();
    TriangleRecord gone{{{-30, 10, 60000, 0, 0}, {-20, 100, 60000, 0, 0}, {-10, 30, 70000, 0, 0}}};
    clip_and_draw_triangle(gone);
    EXPECT_TRUE(drawn.empty());
}

// A small shaded pyramid drawn by the real rasterizers; the hash pins the image
// (reviewed as a PNG when it was set).
TEST_F(MeshPipeline, GoldenFrameOfAShadedPyramid) {
    set_triangle_sink(nullptr);
    render_state.material_mode[0] = 2;
    // Lit faces use entries 2..17: spread the ramp over them.
    for (int i = 0; i < 64; ++i) {
        const int k = i < 17 ? i : 17;
        primary_ramp[i] = static_cast<uint16_t>((k * 31 / 17) << 11 | (k * 50 / 17) << 5 | (k * 12 / 17));
    }
    const int32_t s = 600;
    mesh_->vertices[1] = MeshVertex{0, s, 0, 0};
    mesh_->vertices[2] = MeshVertex{-s, -s, -s, 0};
    mesh_->vertices[3] = MeshVertex{s, -s, -s, 0};
    mesh_->vertices[4] = MeshVertex{s, -s, s, 0};
    mesh_->vertices[5] = MeshVertex{-s, -s, s, 0};
    mesh_->vertex_count = 5;
    add_face(1, 2, 3);
    add_face(1, 3, 4);
    add_face(1, 4, 5);
    add_face(1, 5, 2);
    add_face(2, 5, 4);
    add_face(2, 4, 3);
    matrix_from_angles(matrices_[0], 100, 60, 20);
    update_normals(*mesh_);
    test::Canvas canvas;
    canvas.target();
    draw_mesh(*mesh_, matrices_, 160, 120);
    uint32_t hash = 2166136261u;
    int lit = 0;
    for (uint16_t p : canvas.frame().pixels) {
        hash = (hash ^ p) * 16777619u;
        lit += p != 0;
    }
    EXPECT_TRUE(canvas.guards_intact());
    EXPECT_GT(lit, 3000);
    EXPECT_LT(lit, 30000);
#if !defined(KORVAX_BOARD_GP2X)  // the ARM build has no PNG writer
    if (const char* dump = std::getenv("KORVAX_DUMP_PNG")) {
        host::write_png_rgb565(dump, canvas.frame().pixels, 320, 240);
    }
#endif
    EXPECT_EQ(hash, 602888492u) << "lit " << lit;
}

}  // namespace
}  // namespace korvax
