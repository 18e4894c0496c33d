#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "canvas.h"
#include "runtime/runtime.h"
#include "render/rasterizer.h"
#include "render/render_state.h"

namespace korvax {
namespace {

using test::Canvas;

constexpr uint16_t BACKGROUND = 0x0000;
constexpr uint16_t COLOUR = 0x1234;

// Texel (u, v) holds u in its low byte, v's low 7 bits above and bit 15 set:
// a pixel tells which texel it came from, and none equals the zero background.
std::vector<uint16_t> make_index_texture() {
    std::vector<uint16_t> t(TEXTURE_TEXELS);
    for (int i = 0; i < TEXTURE_TEXELS; ++i) t[i] = static_cast<uint16_t>(i | 0x8000);
    return t;
}
const std::vector<uint16_t> INDEX_TEXTURE = make_index_texture();

struct Routine {
    const char* name;
    void (*fill)(TriangleRecord&);
    bool textured;
    bool flat_or;
    bool clipped;
};

const Routine ROUTINES[] = {
    {"fill_flat", fill_flat, false, false, false},
    {"fill_flat_clipped", fill_flat_clipped, false, false, true},
    {"fill_flat_or", fill_flat_or, false, true, false},
    {"fill_flat_or_clipped", fill_flat_or_clipped, false, true, true},
    {"fill_textured", [](TriangleRecord& r) { fill_textured(r); }, true, false, false},
    {"fill_textured_clipped", [](TriangleRecord& r) { fill_textured_clipped(r); }, true, false, true},
    {"fill_textured_blend", [](TriangleRecord& r) { fill_textured_blend(r); }, true, false, false},
    {"fill_textured_blend_clipped", [](TriangleRecord& r) { fill_textured_blend_clipped(r); }, true, false, true},
};

// Vertices with texture coordinates u = 4x + 2, v = 4y + 2: four texels a
// pixel, sampled mid-way, so rounding of the walk cannot reach a neighbour.
TriangleRecord mapped(std::array<int, 6> p) {
    TriangleRecord r{};
    for (int i = 0; i < 3; ++i) {
        int x = p[2 * i], y = p[2 * i + 1];
        r.vertex[i] = {x, y, 0, 4 * x + 2, 4 * y + 2};
    }
    return r;
}

class Raster : public ::testing::Test {
protected:
    void SetUp() override {
        build_reciprocal_table();
        set_texture_map(INDEX_TEXTURE.data());
        set_draw_colour(COLOUR);
        canvas.fill(BACKGROUND);
        canvas.target();
    }
    // The rows expect[y] = {first, last} are written, every other row is not.
    void expect_spans(const std::vector<std::array<int, 3>>& spans, const char* what) {
        std::vector<std::array<int, 2>> want(SCREEN_HEIGHT, {-1, -1});
        for (auto& s : spans) want[s[0]] = {s[1], s[2]};
        for (int y = 0; y < SCREEN_HEIGHT; ++y) {
            test::RowWrites r = canvas.row(y);
            EXPECT_TRUE(r.contiguous()) << what << " row " << y;
            EXPECT_EQ(r.first, want[y][0]) << what << " row " << y;
            EXPECT_EQ(r.last, want[y][1]) << what << " row " << y;
        }
        EXPECT_TRUE(canvas.guards_intact()) << what;
    }
    // Every written pixel shows the texel of u = 4x + 2, v = 4y + 2 (v to 7 bits).
    void expect_mapped_texels(const char* what) {
        for (int y = 0; y < SCREEN_HEIGHT; ++y)
            for (int x = 0; x < SCREEN_WIDTH; ++x) {
                if (!canvas.written(x, y)) continue;
                uint16_t p = canvas.at(x, y);
                ASSERT_EQ((p & 0xFF) >> 2, x & 63) << what << " at " << x << "," << y;
                ASSERT_EQ((p >> 10) & 31, y & 31) << what << " at " << x << "," << y;
            }
    }
    Canvas canvas;
};

// The hypotenuse x + y = 30: rows 10..19, row r from column 10 to 30 - r.
TEST_F(Raster, RightTriangleInEveryVertexOrder) {
    std::vector<std::array<int, 3>> spans;
    for (int y = 10; y < 20; ++y) spans.push_back({y, 10, 30 - y});
    const std::array<int, 2> corners[3] = {{10, 10}, {20, 10}, {10, 20}};
    for (const Routine& routine : ROUTINES) {
        std::array<int, 3> order = {0, 1, 2};
        do {
            canvas.fill(BACKGROUND);
            auto& a = corners[order[0]];
            auto& b = corners[order[1]];
            auto& c = corners[order[2]];
            TriangleRecord r = mapped({a[0], a[1], b[0], b[1], c[0], c[1]});
            routine.fill(r);
            expect_spans(spans, routine.name);
            if (routine.textured) {
                expect_mapped_texels(routine.name);
            } else {
                // Flat routines leave the record sorted by row and in 8.8.
                EXPECT_LE(r.vertex[0].y, r.vertex[1].y);
                EXPECT_LE(r.vertex[1].y, r.vertex[2].y);
                EXPECT_EQ(r.vertex[2].y, 20 * 256 + 128);
                EXPECT_EQ(r.vertex[2].x, 10 * 256 + 128);
                EXPECT_EQ(r.vertex[2].u, 4 * 10 + 2);  // moved with its vertex
            }
        } while (std::next_permutation(order.begin(), order.end()));
    }
}

// A flat top puts the short edges left when the second vertex lies left of
// the first, whatever the slopes say; a flat bottom compares the second and
// third vertices. Edges of 1 and 2 pixels a row step exactly here.
TEST_F(Raster, FlatTopAndFlatBottomSides) {
    struct Case {
        std::array<int, 6> tri;
        int first_row, rows;
        int l0, dl, r0, dr;  // row first_row + k spans l0 + k*dl .. r0 + k*dr
    };
    const Case cases[] = {
        {{10, 10, 20, 10, 30, 20}, 10, 10, 10, 2, 20, 1},   // flat top, long edge left
        {{20, 10, 10, 10, 0, 20}, 10, 10, 10, -1, 20, -2},  // flat top, short edges left
        {{10, 10, 0, 20, 20, 20}, 10, 10, 10, -1, 10, 1},   // flat bottom, second vertex left
        {{10, 10, 20, 20, 0, 20}, 10, 10, 10, -1, 10, 1},   // flat bottom, second vertex right
    };
    for (const Routine& routine : ROUTINES) {
        if (routine.flat_or) continue;
        for (const Case& c : cases) {
            canvas.fill(BACKGROUND);
            TriangleRecord r = mapped(c.tri);
            routine.fill(r);
            std::vector<std::array<int, 3>> spans;
            for (int k = 0; k < c.rows; ++k) spans.push_back({c.first_row + k, c.l0 + k * c.dl, c.r0 + k * c.dr});
            expect_spans(spans, routine.name);
            if (routine.textured) expect_mapped_texels(routine.name);
        }
    }
}

TEST_F(Raster, FlatOrStepsEdgesBeforeEachRow) {
    for (auto fill : {fill_flat_or, fill_flat_or_clipped}) {
        // A single top vertex: row 10 already uses the edges one row down.
        canvas.fill(BACKGROUND);
        TriangleRecord r = mapped({10, 10, 0, 20, 20, 20});
        fill(r);
        std::vector<std::array<int, 3>> spans;
        for (int k = 0; k < 10; ++k) spans.push_back({10 + k, 9 - k, 11 + k});
        expect_spans(spans, "top vertex");

        // Upper part left of the vertical long edge, then the lower part with
        // the sides fixed: edge 1->2 is left and starts one step down.
        canvas.fill(BACKGROUND);
        r = mapped({10, 10, 5, 15, 10, 20});
        fill(r);
        spans.clear();
        for (int k = 0; k < 5; ++k) spans.push_back({10 + k, 9 - k, 10});
        for (int m = 0; m < 5; ++m) spans.push_back({15 + m, 6 + m, 10});
        expect_spans(spans, "two parts");

        // All on one row: only between the first two vertices, either order.
        canvas.fill(BACKGROUND);
        r = mapped({15, 7, 5, 7, 30, 7});
        fill(r);
        expect_spans({{7, 5, 15}}, "one row");

        // ORed into what is there.
        canvas.fill(0x8001);
        r = mapped({15, 7, 5, 7, 30, 7});
        fill(r);
        EXPECT_EQ(canvas.at(10, 7), 0x8001 | COLOUR);
    }
    // The plain fill draws nothing for a single row.
    canvas.fill(BACKGROUND);
    TriangleRecord r = mapped({15, 7, 5, 7, 30, 7});
    fill_flat(r);
    EXPECT_EQ(canvas.written_count(), 0);
}

TEST_F(Raster, TexturedRejectsDegenerateTriangles) {
    const std::array<int, 6> degenerate[] = {
        {5, 0, 5, 10, 5, 30},     // vertical sliver
        {0, 8, 40, 8, 90, 8},     // horizontal sliver
        {0, 0, 10, 10, 30, 30},   // collinear, D = 0
        {7, 3, 7, 3, 7, 3},       // a point
    };
    for (const Routine& routine : ROUTINES) {
        if (!routine.textured) continue;
        for (auto& tri : degenerate) {
            TriangleRecord r = mapped(tri);
            routine.fill(r);
            EXPECT_EQ(canvas.written_count(), 0) << routine.name;
        }
    }
}

TEST_F(Raster, TextureCoordinatesWrapPastEitherEnd) {
    // u runs 2..514 (past 255) on rows starting at u = 2, or -2..-514 (below 0).
    for (int sign : {1, -1}) {
        canvas.fill(BACKGROUND);
        TriangleRecord r{};
        r.vertex[0] = {0, 0, 0, sign * 2, 2};
        r.vertex[1] = {128, 0, 0, sign * (4 * 128 + 2), 2};
        r.vertex[2] = {0, 64, 0, sign * 2, 4 * 64 + 2};
        fill_textured(r);
        int checked = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 128; ++x) {
                if (!canvas.written(x, y)) continue;
                int u = canvas.at(x, y) & 0xFF;
                int expected = (sign * (4 * x + 2)) & 0xFF;
                EXPECT_EQ(u >> 2, expected >> 2) << x << "," << y;
                ++checked;
            }
        EXPECT_GT(checked, 3000);
    }
}

TEST_F(Raster, BlendOrsTexelOverQuarterBackground) {
    std::vector<uint16_t> texels(TEXTURE_TEXELS, 0x0000);
    set_texture_map(texels.data());
    canvas.fill(0xFFFF);
    TriangleRecord r = mapped({10, 10, 60, 10, 10, 60});
    fill_textured_blend(r);
    EXPECT_EQ(canvas.at(12, 12), 0x39E7);  // black texel over white
    canvas.fill(0x0841);                   // each channel 1 or 2: nothing survives >> 2
    fill_textured_blend(r);
    EXPECT_EQ(canvas.at(12, 12), 0x0000);
    // A lit texel under the same background: texel | 0x39E7.
    for (auto& t : texels) t = 0x8410;
    canvas.fill(0xFFFF);
    fill_textured_blend(r);
    EXPECT_EQ(canvas.at(30, 20), 0x8410 | 0x39E7);
}

TEST_F(Raster, DispatchByMaterialMode) {
    struct Want {
        int32_t mode;
        uint16_t pixel;  // at (12, 12)
    };
    std::vector<uint16_t> texels(TEXTURE_TEXELS, 0x0020);
    set_texture_map(texels.data());
    const uint16_t under = 0x8000;
    const Want wants[] = {
        {0, 0x0020}, {1, 0x0020}, {5, 0x0020}, {2, COLOUR}, {3, under | COLOUR}, {4, 0x0020 | 0x2000},
    };
    for (bool clipped : {false, true}) {
        for (const Want& w : wants) {
            canvas.fill(under);
            set_material_mode(w.mode, 7);
            set_current_material(7);
            TriangleRecord r = mapped({10, 10, 60, 10, 10, 60});
            if (clipped) {
                draw_triangle_clipped(r);
            } else {
                draw_triangle(r);
            }
            EXPECT_EQ(canvas.at(12, 12), w.pixel) << "mode " << w.mode;
        }
    }
    set_material_mode(0, 7);
    set_current_material(0);
}

std::array<int, 6> random_triangle(std::mt19937& rng, int lo_x, int hi_x, int lo_y, int hi_y) {
    std::uniform_int_distribution<int> dx(lo_x, hi_x), dy(lo_y, hi_y);
    return {dx(rng), dy(rng), dx(rng), dy(rng), dx(rng), dy(rng)};
}

// On the screen, a third of the columns within two pixels of a screen edge,
// and every fourth triangle with a tall, nearly vertical edge ending in
// column 0 or 1: where a drifting edge would leave its row.
std::array<int, 6> screen_triangle(std::mt19937& rng) {
    std::array<int, 6> t = random_triangle(rng, 0, 319, 0, 239);
    if (rng() % 4 == 0) {
        t[0] = static_cast<int>(rng() % 2);
        t[1] = static_cast<int>(rng() % 60);
        t[2] = static_cast<int>(rng() % 2);
        t[3] = 180 + static_cast<int>(rng() % 60);
        return t;
    }
    for (int i = 0; i < 6; i += 2) {
        int pick = static_cast<int>(rng() % 6);
        if (pick == 0) t[i] = static_cast<int>(rng() % 3);
        if (pick == 1) t[i] = 319 - static_cast<int>(rng() % 3);
    }
    return t;
}

// Inside the screen a clipped routine draws what its twin draws. Flat OR is
// the one exception: on a lower-part row where rounding crossed the edges the
// unclipped routine still writes the left edge's pixel and the clipped one
// nothing.
TEST_F(Raster, ClippedTwinsMatchInsideTheScreen) {
    std::mt19937 rng(1234);
    Canvas other;
    int crossed_rows = 0;
    for (int n = 0; n < 600; ++n) {
        std::array<int, 6> tri = screen_triangle(rng);
        for (int i = 0; i < 8; i += 2) {
            const Routine& plain = ROUTINES[i];
            const Routine& clipped = ROUTINES[i + 1];
            canvas.fill(0x0421);
            other.fill(0x0421);
            TriangleRecord a = mapped(tri), b = mapped(tri);
            canvas.target();
            plain.fill(a);
            other.target();
            clipped.fill(b);
            if (!plain.flat_or) {
                ASSERT_TRUE(canvas.same_pixels(other)) << plain.name << " triangle " << n;
                continue;
            }
            for (int y = 0; y < SCREEN_HEIGHT; ++y) {
                test::RowWrites p = canvas.row(y), c = other.row(y);
                if (p.count == 1 && c.count == 0) {
                    ++crossed_rows;
                    continue;
                }
                for (int x = 0; x < SCREEN_WIDTH; ++x)
                    ASSERT_EQ(canvas.at(x, y), other.at(x, y)) << "triangle " << n << " row " << y;
            }
        }
    }
    canvas.target();
    EXPECT_GT(crossed_rows, 0);  // the exception does occur
}

// Shifting a triangle by whole pixels shifts its spans and keeps its texture
// walk, so the part of a triangle right of column 0 must match the same
// triangle drawn 64 columns further right.
TEST_F(Raster, LeftVertexOffScreenTexturedAsIfWhole) {
    Canvas whole;
    for (auto fill : {fill_textured_clipped, fill_textured_blend_clipped}) {
        TriangleRecord cut{}, shifted{};
        cut.vertex[0] = {-40, 10, 0, 7, 300};
        cut.vertex[1] = {150, 40, 0, 260, -30};
        cut.vertex[2] = {-35, 200, 0, -90, 45};
        shifted = cut;
        for (auto& v : shifted.vertex) v.x += 64;
        canvas.fill(0x4208);
        whole.fill(0x4208);
        canvas.target();
        fill(cut);
        whole.target();
        fill(shifted);
        canvas.target();
        int visible = 0;
        for (int y = 0; y < SCREEN_HEIGHT; ++y) {
            for (int x = 0; x + 64 < SCREEN_WIDTH; ++x) {
                ASSERT_EQ(canvas.at(x, y), whole.at(x + 64, y)) << x << "," << y;
                visible += canvas.written(x, y);
            }
            for (int x = SCREEN_WIDTH - 64; x < SCREEN_WIDTH; ++x) ASSERT_FALSE(canvas.written(x, y));
        }
        EXPECT_GT(visible, 10000);
        EXPECT_GT(canvas.row(100).count, 0);
        EXPECT_EQ(canvas.row(100).first, 0);
        EXPECT_TRUE(canvas.guards_intact());
    }
}

TEST_F(Raster, OffScreenTrianglesWriteNothing) {
    const std::array<int, 6> away[] = {
        {-50, -90, 400, -1, 100, -300},    // above row 0
        {-50, 240, 400, 500, 100, 241},    // from row 240 down
        {-400, -50, -1, 100, -90, 300},    // left of column 0
        {320, -50, 900, 100, 321, 300},    // right of column 319
        {-100000, -90000, 100000, -80000, 5, -100},
    };
    for (const Routine& routine : ROUTINES) {
        if (!routine.clipped) continue;
        for (auto& tri : away) {
            TriangleRecord r = mapped(tri);
            routine.fill(r);
            EXPECT_EQ(canvas.written_count(), 0) << routine.name;
            EXPECT_TRUE(canvas.guards_intact()) << routine.name;
        }
    }
}

// An edge one row tall and 200 pixels wide has 65,536 * 51,200 as its slope
// product, past 32 bits; so has a two-row edge 300 pixels wide.
TEST_F(Raster, WideShallowEdgesKeepTheirSlope) {
    for (const Routine& routine : ROUTINES) {
        if (routine.flat_or) continue;
        canvas.fill(BACKGROUND);
        TriangleRecord r = mapped({0, 0, 200, 1, 0, 2});
        routine.fill(r);
        expect_spans({{0, 0, 0}, {1, 0, 200}}, routine.name);

        canvas.fill(BACKGROUND);
        r = mapped({0, 0, 300, 2, 0, 4});
        routine.fill(r);
        expect_spans({{0, 0, 0}, {1, 0, 150}, {2, 0, 300}, {3, 0, 150}}, routine.name);
    }
    // Flat OR steps first: row 0 already reaches the far vertex.
    for (auto fill : {fill_flat_or, fill_flat_or_clipped}) {
        canvas.fill(BACKGROUND);
        TriangleRecord r = mapped({0, 0, 200, 1, 0, 2});
        fill(r);
        expect_spans({{0, 0, 200}, {1, 0, 0}}, "flat or");
    }
}

// (1,0), (0,239), (50,100): the long edge steps -2 (floor of -1.07) a row and
// reaches column -1 on rows 193..238, which would be column 319 of the row above.
TEST_F(Raster, SpansNeverLeaveTheirRow) {
    for (const Routine& routine : ROUTINES) {
        canvas.fill(BACKGROUND);
        TriangleRecord r = mapped({1, 0, 0, 239, 50, 100});
        routine.fill(r);
        for (int y = 0; y < SCREEN_HEIGHT; ++y) EXPECT_FALSE(canvas.written(319, y)) << routine.name << " row " << y;
        for (int y = 193; y <= 238; ++y) EXPECT_EQ(canvas.row(y).first, 0) << routine.name << " row " << y;
        EXPECT_TRUE(canvas.guards_intact());
    }
    // The visible texels of the raised rows are those of the whole span.
    Canvas clipped;
    TriangleRecord r = mapped({1, 0, 0, 239, 50, 100});
    canvas.fill(BACKGROUND);
    fill_textured(r);
    clipped.target();
    clipped.fill(BACKGROUND);
    fill_textured_clipped(r);
    canvas.target();
    EXPECT_TRUE(canvas.same_pixels(clipped));
}

// Rows far above the screen give heights past the reciprocal table. With
// 65,536 / 3,200 = 20 the long edge to (300, 200) steps 20 * 76,800 >> 16 =
// 23 a row from 128 at row -3,000, so row y ends at (128 + 23 (y + 3000)) >> 8.
TEST_F(Raster, HeightsPastTheReciprocalTable) {
    for (const Routine& routine : ROUTINES) {
        if (!routine.clipped) continue;
        canvas.fill(BACKGROUND);
        TriangleRecord r = mapped({0, -3000, 0, 200, 300, 200});
        routine.fill(r);
        std::vector<std::array<int, 3>> spans;
        int step = routine.flat_or ? 1 : 0;  // flat OR steps before drawing
        for (int y = 0; y < 200; ++y) spans.push_back({y, 0, (128 + 23 * (y + 3000 + step)) >> 8});
        expect_spans(spans, routine.name);
    }
}

// Random triangles anywhere within +-100,000 through the clipped routines and
// on the screen through the unclipped ones: every written pixel lies in the
// frame, each row is one run within the rows and columns the vertices span.
// Floor-rounded slopes let a left edge drift at most one 8.8 unit a row (h
// rows: h / 256 columns) and the pixel of the flooring, so a margin of
// h / 256 + 2 columns on the left.
TEST_F(Raster, RandomTrianglesStayInTheirRowsAndTheFrame) {
    std::mt19937 rng(99);
    canvas.fill(0);
    for (const Routine& routine : ROUTINES) {
        int drawn = 0;
        for (int n = 0; n < (routine.clipped ? 1500 : 500); ++n) {
            std::array<int, 6> tri;
            if (!routine.clipped) {
                tri = screen_triangle(rng);
            } else if (n % 3 == 0) {
                tri = random_triangle(rng, -100000, 100000, -100000, 100000);
            } else if (n % 3 == 1) {
                tri = random_triangle(rng, -2000, 2000, -2000, 2000);
            } else {
                tri = random_triangle(rng, -300, 600, -300, 500);
            }
            TriangleRecord r{};
            for (int i = 0; i < 3; ++i) r.vertex[i] = {tri[2 * i], tri[2 * i + 1], 0, int(rng()), int(rng())};
            set_texture_map(INDEX_TEXTURE.data());
            routine.fill(r);
            int y_lo = std::min({tri[1], tri[3], tri[5]}), y_hi = std::max({tri[1], tri[3], tri[5]});
            int x_lo = std::min({tri[0], tri[2], tri[4]}) - (y_hi - y_lo) / 256 - 2;
            int x_hi = std::max({tri[0], tri[2], tri[4]});
            ASSERT_TRUE(canvas.guards_intact()) << routine.name << " triangle " << n;
            bool any = false;
            for (int y = 0; y < SCREEN_HEIGHT; ++y) {
                test::RowWrites w = canvas.row(y);
                if (w.count == 0) continue;
                any = true;
                ASSERT_TRUE(w.contiguous()) << routine.name << " triangle " << n << " row " << y;
                ASSERT_TRUE(y >= y_lo && y < y_hi) << routine.name << " triangle " << n << " row " << y;
                ASSERT_TRUE(w.first >= x_lo && w.last <= x_hi) << routine.name << " triangle " << n << " row " << y;
            }
            drawn += any;
            if (any) canvas.fill(0);
        }
        EXPECT_GT(drawn, routine.clipped ? 300 : 400) << routine.name;
    }
}

}  // namespace
}  // namespace korvax
