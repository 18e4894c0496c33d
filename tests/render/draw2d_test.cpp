#include <array>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "canvas.h"
#include "math/fixed_math.h"
#include "models/mesh.h"
#include "runtime/runtime.h"
#include "render/draw2d.h"
#include "render/mesh_pipeline.h"
#include "render/render_state.h"

namespace korvax {
namespace {

using test::Canvas;
using Pixel = std::pair<int, int>;

// Ramp entry i is 0x8000 + i: a pixel tells the level it was drawn with.
std::array<uint16_t, 64> level_ramp() {
    std::array<uint16_t, 64> r;
    for (int i = 0; i < 64; ++i) r[i] = static_cast<uint16_t>(0x8000 + i);
    return r;
}
const std::array<uint16_t, 64> LEVELS = level_ramp();

class Draw2d : public ::testing::Test {
protected:
    void SetUp() override {
        canvas.fill(0);
        canvas.target();
        set_shade_ramp(LEVELS.data());
        set_draw_colour(0x0CCF);
    }
    std::set<Pixel> written() const {
        std::set<Pixel> s;
        for (int y = 0; y < SCREEN_HEIGHT; ++y)
            for (int x = 0; x < SCREEN_WIDTH; ++x)
                if (canvas.written(x, y)) s.insert({x, y});
        return s;
    }
    int level(int x, int y) const { return canvas.at(x, y) - 0x8000; }
    Canvas canvas;
};

TEST_F(Draw2d, ColourRampSteps) {
    uint16_t ramp[64];
    build_colour_ramp(0x2800, 0xFF3B, ramp);
    EXPECT_EQ(ramp[0], 0x2800);
    EXPECT_EQ(ramp[1], 0x2800);
    EXPECT_EQ(ramp[32], 0x938D);
    EXPECT_EQ(ramp[63], 0xF71A);
    build_colour_ramp(0x1FFFF, 0x10000, ramp);  // only the low 16 bits count
    EXPECT_EQ(ramp[0], 0xFFFF);
    EXPECT_EQ(ramp[1], 0xF7DE);
    EXPECT_EQ(ramp[63], 0x0000);
    build_colour_ramp(0x4A01, 0x4A01, ramp);
    for (uint16_t e : ramp) EXPECT_EQ(e, 0x4A01);
}

TEST_F(Draw2d, BresenhamLines) {
    draw_line(5, 5, 5, 5);
    EXPECT_EQ(written(), (std::set<Pixel>{{5, 5}}));
    EXPECT_EQ(canvas.at(5, 5), 0x0CCF);
    // (0,0)-(5,2) by hand: e = -1, 3, -3, 1, -5.
    const std::set<Pixel> shallow = {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}};
    for (auto ends : {std::array<int, 4>{0, 0, 5, 2}, std::array<int, 4>{5, 2, 0, 0}}) {
        canvas.fill(0);
        draw_line(ends[0], ends[1], ends[2], ends[3]);
        EXPECT_EQ(written(), shallow);
    }
    // The same line mirrored about the diagonal takes the steep branch.
    canvas.fill(0);
    draw_line(0, 0, 2, 5);
    EXPECT_EQ(written(), (std::set<Pixel>{{0, 0}, {0, 1}, {1, 2}, {1, 3}, {2, 4}, {2, 5}}));
    // Vertical lines include both ends, in either direction.
    canvas.fill(0);
    draw_line(22, 190, 22, 200);
    draw_line(30, 200, 30, 190);
    for (int y = 190; y <= 200; ++y) {
        EXPECT_TRUE(canvas.written(22, y));
        EXPECT_TRUE(canvas.written(30, y));
    }
    EXPECT_EQ(canvas.written_count(), 22);
}

TEST_F(Draw2d, AntiAliasedPointsAndVerticals) {
    draw_line_aa(7, 9, 7, 9);
    EXPECT_EQ(written(), (std::set<Pixel>{{7, 9}}));
    EXPECT_EQ(level(7, 9), 63);
    canvas.fill(0);
    draw_line_aa(10, 20, 10, 25);  // the start pixel stays unplotted
    for (int y = 21; y <= 25; ++y) EXPECT_EQ(level(10, y), 63);
    EXPECT_EQ(canvas.written_count(), 5);
    canvas.fill(0);
    draw_line_aa(10, 25, 10, 20);
    for (int y = 20; y <= 24; ++y) EXPECT_EQ(level(10, y), 63);
    EXPECT_EQ(canvas.written_count(), 5);
}

TEST_F(Draw2d, AntiAliasedHorizontalAndSloped) {
    // Horizontal: the start pair 32 over 31, then 31 over 32; ends swapped first.
    for (auto ends : {std::array<int, 4>{0, 20, 10, 20}, std::array<int, 4>{10, 20, 0, 20}}) {
        canvas.fill(0);
        draw_line_aa(ends[0], ends[1], ends[2], ends[3]);
        EXPECT_EQ(level(0, 20), 32);
        EXPECT_EQ(level(0, 21), 31);
        for (int x = 1; x <= 10; ++x) {
            EXPECT_EQ(level(x, 20), 31);
            EXPECT_EQ(level(x, 21), 32);
        }
        EXPECT_EQ(canvas.written_count(), 22);
    }
    // (0,0)-(20,5): slope 1,024, h from 3,072; the row advances at x = 2, 6,
    // 10, 14, 18, and each column's pair shares 63 levels.
    canvas.fill(0);
    draw_line_aa(0, 0, 20, 5);
    EXPECT_EQ(level(0, 0), 48);
    EXPECT_EQ(level(0, 1), 15);
    EXPECT_EQ(level(1, 0), 15);
    EXPECT_EQ(level(1, 1), 48);
    EXPECT_EQ(level(2, 1), 63);
    EXPECT_EQ(level(2, 2), 0);
    EXPECT_EQ(level(3, 1), 47);
    EXPECT_EQ(level(3, 2), 16);
    for (int x = 0; x <= 20; ++x) {
        int row = (x + 2) / 4;
        ASSERT_TRUE(canvas.written(x, row) && canvas.written(x, row + 1)) << x;
        ASSERT_EQ(level(x, row) + level(x, row + 1), 63) << x;
    }
    EXPECT_EQ(canvas.written_count(), 42);  // two pixels a column
    // Going up, the levels of each pair swap places.
    canvas.fill(0);
    draw_line_aa(0, 5, 20, 0);
    EXPECT_EQ(level(1, 5), 48);
    EXPECT_EQ(level(1, 6), 15);
    EXPECT_EQ(level(2, 4), 0);
    EXPECT_EQ(level(2, 5), 63);
    // 45 degrees, mostly-vertical branch: 31 on the line, 32 right of it.
    canvas.fill(0);
    draw_line_aa(0, 0, 10, 10);
    EXPECT_EQ(level(0, 0), 32);
    EXPECT_EQ(level(0, 1), 31);
    for (int k = 1; k <= 10; ++k) {
        EXPECT_EQ(level(k, k), 31) << k;
        EXPECT_EQ(level(k + 1, k), 32) << k;
    }
    // The right pixel is dropped in the clip rectangle's last column.
    canvas.fill(0);
    draw_line_aa(318, 0, 319, 10);
    for (int y = 0; y < 12; ++y) EXPECT_FALSE(canvas.written(0, y)) << y;  // column 320 wraps to 0
    EXPECT_TRUE(canvas.written(319, 10));
}

// Along the bottom row, and steep lines starting on it, the lower pixel of a
// pair would fall on row 240, past the end of the frame.
TEST_F(Draw2d, AntiAliasedLinesStayInTheFrame) {
    draw_line_aa(0, 239, 319, 239);
    EXPECT_EQ(canvas.row(239).count, 320);
    EXPECT_EQ(level(0, 239), 32);  // the upper pixels as on any other row
    for (int x = 1; x < SCREEN_WIDTH; ++x) ASSERT_EQ(level(x, 239), 31) << x;
    draw_line_aa(5, 239, 7, 200);
    draw_line_aa(300, 239, 300, 230);
    draw_clipped_line(-50, 239, 400, 239);
    EXPECT_TRUE(canvas.guards_intact());
}

TEST_F(Draw2d, CohenSutherlandClipping) {
    Canvas direct;
    auto same_as = [&](std::array<int, 4> clipped, std::array<int, 4> drawn) {
        canvas.fill(0);
        direct.fill(0);
        canvas.target();
        draw_clipped_line(clipped[0], clipped[1], clipped[2], clipped[3]);
        direct.target();
        draw_line_aa(drawn[0], drawn[1], drawn[2], drawn[3]);
        canvas.target();
        EXPECT_TRUE(canvas.same_pixels(direct)) << clipped[0] << "," << clipped[1] << " " << clipped[2] << ","
                                                << clipped[3];
        EXPECT_GT(canvas.written_count(), 0);
    };
    same_as({-10, 5, 10, 5}, {0, 5, 10, 5});
    same_as({20, 30, 200, 100}, {20, 30, 200, 100});  // inside: untouched
    same_as({-10, -10, 20, 20}, {0, 0, 20, 20});
    // Bottom first (y = 100 + 139*100/200 gives x = 369), then right: y = 100 + 19*139/69 = 138.
    same_as({300, 100, 400, 300}, {300, 100, 319, 138});
    same_as({400, 300, 300, 100}, {319, 138, 300, 100});

    canvas.fill(0);
    draw_clipped_line(-20, 5, -3, 200);  // both left of the rectangle
    draw_clipped_line(10, 250, 300, 260);  // both below
    EXPECT_EQ(canvas.written_count(), 0);
}

// (-100000, -20000)-(100000, 20000): moving the second end onto row 239 takes
// 20,239 * 200,000, past 32 bits. Exactly: x = 1,195, then column 319 at
// y = 63, then the first end onto row 0 at x = 3.
TEST_F(Draw2d, FarEndpointsClipOntoTheTrueLine) {
    Canvas direct;
    draw_clipped_line(-100000, -20000, 100000, 20000);
    direct.target();
    draw_line_aa(3, 0, 319, 63);
    canvas.target();
    EXPECT_TRUE(canvas.same_pixels(direct));
    EXPECT_GT(canvas.written_count(), 600);
}

TEST_F(Draw2d, MeshEdgesJoinProjectedVertices) {
    auto mesh = std::make_unique<MeshObject>();
    projected_vertices[5] = {10, 10, 0};
    projected_vertices[17] = {-30, 100, 0};  // clipped at column 0
    projected_vertices[18] = {200, 50, 0};
    // Slots -5 + 10 and 7 + 10, then 8 + 10 and 7 + 10; the offset counts to 16 bits.
    const int16_t edges[] = {-5, 7, 8, 7};
    Canvas direct;
    direct.target();
    draw_clipped_line(10, 10, -30, 100);
    draw_clipped_line(200, 50, -30, 100);
    canvas.target();

    draw_mesh_edges(*mesh, edges, 2, 10);  // not ready: nothing
    EXPECT_EQ(canvas.written_count(), 0);
    mesh->ready = true;
    draw_mesh_edges(*mesh, edges, 2, 10 + 0x10000);
    EXPECT_TRUE(canvas.same_pixels(direct));
    EXPECT_GT(canvas.written_count(), 200);

    // A slot past the store (16-bit sums reach 65,535) draws nothing.
    canvas.fill(0);
    projected_vertices[MESH_SLOTS - 1] = {100, 100, 0};
    const int16_t far[] = {5, 17, 17, 5};
    draw_mesh_edges(*mesh, far, 2, MESH_SLOTS - 6);
    EXPECT_EQ(canvas.written_count(), 0);
}

TEST_F(Draw2d, IndexedBlits) {
    std::vector<uint8_t> image(FRAME_PIXELS);
    for (int i = 0; i < FRAME_PIXELS; ++i) image[i] = static_cast<uint8_t>(i * 7 + i / 320);
    std::array<uint16_t, 256> palette;
    for (int i = 0; i < 256; ++i) palette[i] = static_cast<uint16_t>(i * 0x0101 & 0x7FFF);
    canvas.fill(0x8000);
    blit_indexed(image.data(), palette.data());
    for (int i = 0; i < FRAME_PIXELS; i += 37) ASSERT_EQ(canvas.frame().pixels[i], palette[image[i]]);
    canvas.fill(0x8000);
    blit_indexed_or(image.data(), palette.data());
    for (int i = 0; i < FRAME_PIXELS; i += 37) ASSERT_EQ(canvas.frame().pixels[i], 0x8000 | palette[image[i]]);
    EXPECT_TRUE(canvas.guards_intact());
}

TEST_F(Draw2d, WindowBlitReadsFromItsOffset) {
    // 640 entries a row; x = y = 12 starts at entry 7,692. Entry values repeat
    // with period 251, so each pixel tells its entry's residue.
    std::vector<uint8_t> image(640 * 260);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i % 251);
    std::array<uint16_t, 256> palette;
    for (int i = 0; i < 256; ++i) palette[i] = static_cast<uint16_t>(i + 1);
    canvas.fill(0x4000);
    blit_window_or(image.data(), 640 + 0x10000, 12, 12 + 0x30000, palette.data());  // 16-bit values
    for (int r = 0; r < SCREEN_HEIGHT; ++r)
        for (int c = 0; c < SCREEN_WIDTH; ++c)
            ASSERT_EQ(canvas.at(c, r), 0x4000 | ((7692 + 640 * r + c) % 251 + 1)) << c << "," << r;
    EXPECT_TRUE(canvas.guards_intact());
}

TEST_F(Draw2d, StretchedBlitRepeatsEachEntryFourTimes) {
    // Source entry i holds i + 1 (never 0), two textures' worth.
    std::vector<uint16_t> source(2 * TEXTURE_TEXELS);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint16_t>(i + 1);
    auto entry = [](int x, int y) { return static_cast<uint16_t>(y * 320 + x + 1); };
    blit_stretched(64, 64, source.data());
    for (int n = 0; n < 3; ++n) EXPECT_EQ(canvas.frame().pixels[n], entry(64, 64));
    for (int n = 3; n < 7; ++n) EXPECT_EQ(canvas.frame().pixels[n], entry(65, 64));
    EXPECT_EQ(canvas.at(318, 0), entry(64 + 79, 64));
    EXPECT_EQ(canvas.at(319, 0), entry(64, 65));
    EXPECT_EQ(canvas.at(0, 1), entry(64, 65));
    EXPECT_EQ(canvas.at(319, 159), entry(64, 224));  // read from the second texture
    for (int y = 0; y < SCREEN_HEIGHT; ++y) EXPECT_EQ(canvas.row(y).count, y < 160 ? 320 : 0) << y;
}

TEST_F(Draw2d, DownscaledCopies) {
    uint16_t* frame = canvas.frame().pixels;
    for (int i = 0; i < FRAME_PIXELS; ++i) frame[i] = static_cast<uint16_t>(i * 3);
    std::vector<uint16_t> original(frame, frame + FRAME_PIXELS);

    // Into a texture: origin (160, 12) is frame pixel 8,000, the start of row 25.
    std::vector<uint16_t> texture(TEXTURE_TEXELS, 0);
    copy_downscaled(frame, 160, 12, 3, texture.data(), 160, 3, 96, 76, 256);
    for (int i = 0; i < 76; ++i)
        for (int j = 0; j < 96; ++j)
            ASSERT_EQ(texture[(3 + i) * 256 + 160 + j], static_cast<uint16_t>(original[8000 + 640 * i + 3 * j] + 8));
    int touched = 0;
    for (uint16_t t : texture) touched += t != 0;
    EXPECT_EQ(touched, 76 * 96);

    // 0xFFF8 + 8 wraps to 0; rows <= 0 copy nothing.
    frame[0] = 0xFFF8;
    copy_downscaled(frame, 0, 0, 1, texture.data(), 0, 0, 1, 1, 256);
    EXPECT_EQ(texture[0], 0x0000);
    texture[0] = 0x1234;
    copy_downscaled(frame, 0, 0, 1, texture.data(), 0, 0, 5, 0, 256);
    copy_downscaled(frame, 0, 0, 1, texture.data(), 0, 0, 5, -3, 256);
    EXPECT_EQ(texture[0], 0x1234);

    // Into the frame itself, one pixel right and two rows down: each row is
    // read whole before it is written, and the second row reads frame row 2,
    // which the first row has just written.
    for (int i = 0; i < FRAME_PIXELS; ++i) frame[i] = static_cast<uint16_t>(i * 3);
    copy_downscaled(frame, 0, 0, 1, frame, 1, 2, 10, 2, 320);
    for (int j = 0; j < 10; ++j) {
        EXPECT_EQ(canvas.at(1 + j, 2), original[j] + 8) << j;
        EXPECT_EQ(canvas.at(1 + j, 3), (j == 0 ? original[640] : original[j - 1] + 8) + 8) << j;
    }
    EXPECT_EQ(canvas.at(0, 2), original[640]);
    EXPECT_EQ(canvas.at(11, 2), original[640 + 11]);
}

TEST_F(Draw2d, TunnelGridAndBlocks) {
    build_reciprocal_table();
    std::vector<uint16_t> texture(TEXTURE_TEXELS);
    for (int i = 0; i < TEXTURE_TEXELS; ++i) texture[i] = static_cast<uint16_t>(i | 0x8000);  // texel index, never 0
    Matrix4 identity;
    matrix_identity(identity);
    for (int first_row : {25, 0}) {
        canvas.fill(0);
        draw_tunnel(identity, texture.data(), 7, first_row);
        EXPECT_EQ(render_state.texture_map, texture.data());
        for (int y = 0; y < SCREEN_HEIGHT; ++y) {
            bool inside = y >= first_row && y < first_row + 192;
            ASSERT_EQ(canvas.row(y).count, inside ? 320 : 0) << y;
        }
        EXPECT_TRUE(canvas.guards_intact());
        // Grid corners worked by hand with the identity: the axis point gives
        // k = 196,352 / 2 and u = (4,800 k >> 12) + 7; (10,240, 0) gives k = 19;
        // (0, 6,144) gives k = 31, w = 23, v = (529 >> 3) << 8.
        EXPECT_EQ(tunnel_grid.point[12][20].u, (115050 + 7) << 8);
        EXPECT_EQ(tunnel_grid.point[12][20].v, 0);
        EXPECT_EQ(tunnel_grid.point[12][0].u, (22 + 7) << 8);
        EXPECT_EQ(tunnel_grid.point[12][0].v, 0);
        EXPECT_EQ(tunnel_grid.point[0][20].u, (36 + 7) << 8);
        EXPECT_EQ(tunnel_grid.point[0][20].v, 66 << 8);
        // Each block's top-left pixel is the texel of its grid corner.
        for (int br = 0; br < 24; ++br)
            for (int bc = 0; bc < 40; ++bc) {
                TunnelPoint p = tunnel_grid.point[br][bc];
                int texel = (p.v & 0xFF00) + ((p.u >> 8) & 0xFF);
                ASSERT_EQ(canvas.at(8 * bc, first_row + 8 * br), texel | 0x8000) << br << "," << bc;
            }
    }
}

}  // namespace
}  // namespace korvax
