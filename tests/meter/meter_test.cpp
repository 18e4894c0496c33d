// The instruction meter's core and image: the counting is exact, the core is
// a strict ARMv4T, and the ARM build draws the very frames the host build does.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/pixels.h"
#include "runtime/runtime.h"
#include "models/mesh.h"
#include "render/draw2d.h"
#include "render/mesh_pipeline.h"
#include "render/rasterizer.h"
#include "render/render_state.h"
#include "tools/meter/emulator.h"
#include "tools/meter/image/frame_work.h"

namespace korvax::meter {
namespace {

ArmCore& core() {
    static ArmCore c(KORVAX_METER_IMAGE);
    return c;
}

TEST(MeterCore, CountsEveryInstructionOfALoopOfKnownLength) {
    ASSERT_TRUE(core().ok()) << core().error();
    // mov, then n turns of subs and bne, then bx lr.
    for (uint32_t n : {1u, 2u, 1000u, 123457u}) {
        const CallResult r = core().call("meter_count_loop", {n});
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.instructions, 2ull * n + 2) << "n = " << n;
        EXPECT_EQ(r.r0, 0u);
    }
    // The per-address profile holds the same instructions as the totals.
    const std::vector<uint64_t> before = core().per_address();
    const CallResult r = core().call("meter_count_loop", {50});
    uint64_t profiled = 0;
    for (size_t i = 0; i < before.size(); ++i) profiled += core().per_address()[i] - before[i];
    EXPECT_EQ(profiled, r.instructions);
    const auto functions = core().by_function(core().per_address());
    bool listed = false;
    for (const auto& f : functions) listed |= f.name == "meter_count_loop";
    EXPECT_TRUE(listed);
}

// The library's division has a zero-size alias at its address: the profile
// still credits every instruction of a division to the routine.
TEST(MeterCore, CreditsARoutineWithAnAliasToTheRoutine) {
    ASSERT_TRUE(core().ok()) << core().error();
    const std::vector<uint64_t> before = core().per_address();
    const CallResult r = core().call("__udivsi3", {1000003, 7});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.r0, 1000003u / 7);
    std::vector<uint64_t> spent(before.size());
    for (size_t i = 0; i < before.size(); ++i) spent[i] = core().per_address()[i] - before[i];
    const auto functions = core().by_function(spent);
    ASSERT_FALSE(functions.empty());
    EXPECT_EQ(functions[0].name, "__udivsi3");
    EXPECT_EQ(functions[0].instructions, r.instructions);
}

TEST(MeterCore, RefusesAnArmV5Instruction) {
    ASSERT_TRUE(core().ok()) << core().error();
    const CallResult r = core().call("meter_armv5_probe", {1});
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("INSN_INVALID"), std::string::npos) << r.error;
    // The core still runs afterwards.
    EXPECT_TRUE(core().call("meter_count_loop", {3}).ok);
}

// Random words, the same on every run.
std::vector<uint32_t> random_words(size_t n, uint32_t seed) {
    std::vector<uint32_t> w(n);
    for (uint32_t& x : w) {
        seed = seed * 1664525u + 1013904223u;
        x = seed;
    }
    return w;
}

// The ARM block moves (runtime/arm/block_moves.S) move exactly turns x 128
// bytes: the words before and after stay.
TEST(MeterArmCode, BlockMovesCopyAndClearWholeGroupsOnly) {
    ASSERT_TRUE(core().ok()) << core().error();
    const uint32_t src = core().free_memory(), dst = src + 0x40000;
    for (uint32_t turns : {1u, 3u, 1180u}) {
        const size_t words = turns * 32;
        const std::vector<uint32_t> from = random_words(words, turns);
        std::vector<uint32_t> to = random_words(words + 16, turns + 7);
        ASSERT_TRUE(core().write(src, from.data(), words * 4));
        ASSERT_TRUE(core().write(dst - 32, to.data(), to.size() * 4));
        ASSERT_TRUE(core().call("korvax_copy_groups", {dst, src, turns}).ok);
        std::vector<uint32_t> got(to.size());
        ASSERT_TRUE(core().read(dst - 32, got.data(), got.size() * 4));
        for (size_t i = 0; i < words; ++i) to[8 + i] = from[i];
        EXPECT_EQ(got, to) << turns << " turns copied";

        ASSERT_TRUE(core().call("korvax_clear_groups", {dst, turns}).ok);
        ASSERT_TRUE(core().read(dst - 32, got.data(), got.size() * 4));
        for (size_t i = 0; i < words; ++i) to[8 + i] = 0;
        EXPECT_EQ(got, to) << turns << " turns cleared";
    }
}

// The ARM palette blits (render/arm/blit.S) against the portable loops on
// random indices, palettes and backgrounds, at every alignment they accept.
TEST(MeterArmCode, PaletteBlitsEqualThePortableLoops) {
    ASSERT_TRUE(core().ok()) << core().error();
    const uint32_t out = core().free_memory(), image = out + 0x40000, palette = out + 0x80000;
    constexpr uint32_t PIXELS = 320 * 4;
    const std::vector<uint32_t> pal_words = random_words(128, 5);
    std::vector<uint16_t> pal(256);
    std::memcpy(pal.data(), pal_words.data(), 512);
    ASSERT_TRUE(core().write(palette, pal.data(), 512));
    const std::vector<uint32_t> index_words = random_words(PIXELS / 4 + 2, 6);
    std::vector<uint8_t> indices(PIXELS + 8);
    std::memcpy(indices.data(), index_words.data(), indices.size());
    ASSERT_TRUE(core().write(image, indices.data(), indices.size()));
    const std::vector<uint32_t> background_words = random_words(PIXELS / 2 + 4, 8);
    std::vector<uint16_t> background(PIXELS + 8);
    std::memcpy(background.data(), background_words.data(), background.size() * 2);

    struct Case {
        const char* name;
        uint32_t offset;     // of the image, bytes (every length left over after 16-pixel turns)
        uint32_t out_shift;  // pixels past the word-aligned output
        uint32_t pixels;
        bool or_in;
    };
    for (const Case& c : {Case{"korvax_blit_indexed", 0, 0, PIXELS, false},
                          Case{"korvax_blit_indexed_or", 0, 0, PIXELS, true},
                          Case{"korvax_blit_indexed_or", 4, 2, PIXELS - 4, true},
                          Case{"korvax_blit_indexed_or", 8, 0, 4, true},
                          Case{"korvax_blit_indexed_or", 0, 0, PIXELS - 8, true},
                          Case{"korvax_blit_indexed_or_odd", 4, 1, PIXELS - 8, true},
                          Case{"korvax_blit_indexed_or_odd", 8, 1, PIXELS - 12, true},
                          Case{"korvax_blit_indexed_or_odd", 0, 1, PIXELS, true},
                          Case{"korvax_blit_indexed_or_odd", 4, 1, PIXELS - 4, true},
                          Case{"korvax_blit_indexed_or_odd", 8, 3, 4, true},
                          Case{"korvax_blit_indexed_or_odd", 12, 3, 12, true}}) {
        // Four guard pixels on either side stay; for the odd output the words
        // at either end hold one pixel outside the span each, which stays too.
        ASSERT_TRUE(core().write(out, background.data(), background.size() * 2));
        ASSERT_TRUE(core().call(c.name, {out + 8 + 2 * c.out_shift, image + c.offset, palette, c.pixels}).ok)
            << c.name;
        std::vector<uint16_t> got(background.size());
        ASSERT_TRUE(core().read(out, got.data(), got.size() * 2));
        std::vector<uint16_t> want = background;
        for (uint32_t i = 0; i < c.pixels; ++i) {
            const uint16_t texel = pal[indices[c.offset + i]];
            uint16_t& w = want[4 + c.out_shift + i];
            w = c.or_in ? static_cast<uint16_t>(w | texel) : texel;
        }
        EXPECT_EQ(got, want) << c.name << " at offset " << c.offset << ", " << c.pixels << " pixels";
    }
}

// The ARM middle of a stretched row (render/arm/blit.S): pixel n of the
// row, for n = 4 .. 315, shows entry (n + 1) / 4 of random entries; the
// pixels either side stay.
TEST(MeterArmCode, StretchedRowEqualsThePortableFormula) {
    ASSERT_TRUE(core().ok()) << core().error();
    const uint32_t out = core().free_memory(), entries = out + 0x40000;
    for (uint32_t seed : {81u, 82u}) {
        const std::vector<uint32_t> entry_words = random_words(40, seed);
        std::vector<uint16_t> source(80);
        std::memcpy(source.data(), entry_words.data(), source.size() * 2);
        ASSERT_TRUE(core().write(entries, source.data(), source.size() * 2));
        const std::vector<uint32_t> background = random_words(160, seed + 10);
        std::vector<uint16_t> want(320);
        std::memcpy(want.data(), background.data(), want.size() * 2);
        ASSERT_TRUE(core().write(out, want.data(), want.size() * 2));
        ASSERT_TRUE(core().call("korvax_stretch_row", {out + 8, entries}).ok);
        std::vector<uint16_t> got(want.size());
        ASSERT_TRUE(core().read(out, got.data(), got.size() * 2));
        for (uint32_t n = 4; n <= 315; ++n) want[n] = source[(n + 1) / 4];
        EXPECT_EQ(got, want) << "seed " << seed;
    }
}

// The ARM row of copy_downscaled (render/arm/blit.S) against the portable
// formula: every step-th source pixel plus 8, wrapping at 16 bits, for the
// lengths around its four-pixel turns; the pixels either side stay.
TEST(MeterArmCode, DownscaledRowEqualsThePortableCopy) {
    ASSERT_TRUE(core().ok()) << core().error();
    const uint32_t out = core().free_memory(), src = out + 0x40000;
    const std::vector<uint32_t> src_words = random_words(1024, 71);
    std::vector<uint16_t> source(2048);
    std::memcpy(source.data(), src_words.data(), source.size() * 2);
    source[0] = 0xFFFC;  // wraps
    ASSERT_TRUE(core().write(src, source.data(), source.size() * 2));
    for (uint32_t step : {1u, 2u, 3u}) {
        for (uint32_t n : {1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 64u, 138u, 320u}) {
            std::vector<uint16_t> want(n + 4);
            const std::vector<uint32_t> background = random_words(want.size() / 2 + 1, n * 3 + step);
            std::memcpy(want.data(), background.data(), want.size() * 2);
            ASSERT_TRUE(core().write(out, want.data(), want.size() * 2));
            ASSERT_TRUE(core().call("korvax_downscale_row", {out + 4, src, 2 * step, n}).ok);
            std::vector<uint16_t> got(want.size());
            ASSERT_TRUE(core().read(out, got.data(), got.size() * 2));
            for (uint32_t j = 0; j < n; ++j) want[2 + j] = static_cast<uint16_t>(source[j * step] + 8);
            EXPECT_EQ(got, want) << "step " << step << ", " << n << " pixels";
        }
    }
}

// The ARM rows of the textured and flat fills (render/arm/texture_rows.S,
// flat_rows.S) against the host's portable rasterizer: random triangles, on
// the screen and far across its edges, over a random background and texture,
// plain, blended and flat in random colours.
TEST(MeterArmCode, FilledTrianglesEqualTheHostRasterizer) {
    ASSERT_TRUE(core().ok()) << core().error();
    const uint32_t frame = core().free_memory(), texture = frame + 0x40000, record = frame + 0x80000;
    ASSERT_TRUE(core().call("_ZN6korvax22build_reciprocal_tableEv").ok);
    ASSERT_TRUE(core().call("_ZN6korvax17set_render_targetEPNS_11FrameBufferE", {frame}).ok);
    ASSERT_TRUE(core().call("_ZN6korvax15set_texture_mapEPKt", {texture}).ok);
    ASSERT_TRUE(core().call("_ZN6korvax20set_current_materialEm", {0}).ok);
    build_reciprocal_table();
    static FrameBuffer host_frame;
    std::vector<uint16_t> texels(256 * 256);
    const std::vector<uint32_t> texel_words = random_words(texels.size() / 2, 21);
    std::memcpy(texels.data(), texel_words.data(), texels.size() * 2);
    ASSERT_TRUE(core().write(texture, texels.data(), texels.size() * 2));
    set_render_target(&host_frame);
    set_texture_map(texels.data());
    set_current_material(0);

    uint32_t seed = 77;
    auto next = [&seed](int32_t lo, int32_t hi) {
        seed = seed * 1664525u + 1013904223u;
        return lo + static_cast<int32_t>((seed >> 8) % static_cast<uint32_t>(hi - lo + 1));
    };
    std::vector<uint16_t> arm(FRAME_PIXELS);
    for (int32_t mode : {MODE_TEXTURED, MODE_TEXTURED_BLEND, MODE_FLAT_LIT}) {
        set_material_mode(mode, 0);
        ASSERT_TRUE(core().call("_ZN6korvax17set_material_modeElm", {static_cast<uint32_t>(mode), 0}).ok);
        for (bool clipped : {false, true}) {
            const std::vector<uint32_t> background = random_words(FRAME_PIXELS / 2, mode * 2 + clipped);
            std::memcpy(host_frame.pixels, background.data(), FRAME_BYTES);
            ASSERT_TRUE(core().write(frame, background.data(), FRAME_BYTES));
            for (int t = 0; t < 300; ++t) {
                TriangleRecord r;
                for (TriangleVertex& v : r.vertex) {
                    v.x = clipped ? next(-400, 720) : next(0, 319);
                    v.y = clipped ? next(-300, 540) : next(0, 239);
                    v.z = 0;
                    v.u = next(-300, 555);
                    v.v = next(-300, 555);
                }
                if (t % 5 == 1 && !clipped) {  // spans of every length from 1 to 24 pixels
                    const int32_t w = next(1, 23);
                    r.vertex[0].x = std::min(r.vertex[0].x, 319 - w);
                    r.vertex[1].x = r.vertex[0].x + w;
                    r.vertex[1].y = r.vertex[0].y;
                    r.vertex[2].x = r.vertex[0].x + next(0, w);
                    r.vertex[2].y = std::min(r.vertex[0].y + next(1, 30), 239);
                } else if (t % 3 == 0) {  // small ones, as most of a mesh's faces are
                    for (int k = 1; k < 3; ++k) {
                        r.vertex[k].x = r.vertex[0].x + next(-12, 12);
                        r.vertex[k].y = r.vertex[0].y + next(-12, 12);
                        if (!clipped) {
                            r.vertex[k].x = std::clamp(r.vertex[k].x, 0, 319);
                            r.vertex[k].y = std::clamp(r.vertex[k].y, 0, 239);
                        }
                    }
                }
                const uint32_t colour = static_cast<uint32_t>(next(0, 0xFFFF));
                set_draw_colour(colour);
                ASSERT_TRUE(core().call("_ZN6korvax15set_draw_colourEm", {colour}).ok);
                ASSERT_TRUE(core().write(record, &r, sizeof r));
                const char* name = clipped ? "_ZN6korvax21draw_triangle_clippedERNS_14TriangleRecordE"
                                           : "_ZN6korvax13draw_triangleERNS_14TriangleRecordE";
                const CallResult c = core().call(name, {record});
                ASSERT_TRUE(c.ok) << c.error;
                if (clipped) {
                    draw_triangle_clipped(r);
                } else {
                    draw_triangle(r);
                }
            }
            ASSERT_TRUE(core().read(frame, arm.data(), FRAME_BYTES));
            size_t differing = 0;
            for (int i = 0; i < FRAME_PIXELS; ++i) differing += arm[i] != host_frame.pixels[i];
            EXPECT_EQ(differing, 0u) << "mode " << mode << (clipped ? " clipped" : "");
        }
    }
}

// The ARM wire frame (render/arm/lines.S, through draw_mesh_edges) and the
// level runs of draw_line_aa against the portable code: random vertices on
// the screen, on its first and last rows and columns, just off it and far
// off it; pairs of near neighbours (steep, shallow, diagonal, vertical, level
// and single-pixel lines), pairs sharing an end and pairs naming a slot past
// the store; over a random background and ramp.
TEST(MeterArmCode, WireFramesEqualThePortableLines) {
    ASSERT_TRUE(core().ok()) << core().error();
    const uint32_t frame = core().free_memory(), ramp_at = frame + 0x40000, edge_at = frame + 0x41000;
    const uint32_t vertices_at = core().address_of("_ZN6korvax18projected_verticesE");
    const uint32_t mesh_at = core().address_of("_ZN6korvax6meshesE");
    ASSERT_NE(vertices_at, 0u);
    ASSERT_NE(mesh_at, 0u);
    const uint8_t ready = 1;
    ASSERT_TRUE(core().write(mesh_at + offsetof(MeshObject, ready), &ready, 1));
    meshes[0].ready = true;
    static FrameBuffer host_frame;
    uint16_t ramp[64];
    const std::vector<uint32_t> ramp_words = random_words(32, 41);
    std::memcpy(ramp, ramp_words.data(), sizeof ramp);
    ASSERT_TRUE(core().write(ramp_at, ramp, sizeof ramp));
    ASSERT_TRUE(core().call("_ZN6korvax17set_render_targetEPNS_11FrameBufferE", {frame}).ok);
    ASSERT_TRUE(core().call("_ZN6korvax14set_shade_rampEPKt", {ramp_at}).ok);
    set_render_target(&host_frame);
    set_shade_ramp(ramp);

    uint32_t seed = 91;
    auto next = [&seed](int32_t lo, int32_t hi) {
        seed = seed * 1664525u + 1013904223u;
        return lo + static_cast<int32_t>((seed >> 8) % static_cast<uint32_t>(hi - lo + 1));
    };
    auto pick = [&next](std::initializer_list<int32_t> values) {
        return values.begin()[next(0, static_cast<int32_t>(values.size()) - 1)];
    };
    constexpr int32_t VERTICES = 500, PAIRS = 700;
    std::vector<uint16_t> arm(FRAME_PIXELS);
    for (int32_t round = 0; round < 8; ++round) {
        for (int32_t i = 1; i <= VERTICES; ++i) {
            Vec3& v = projected_vertices[i];
            const Vec3 last = projected_vertices[i - 1];
            switch (next(0, 9)) {
                case 0:
                case 1: v = {next(0, 319), next(0, 239), 0}; break;
                case 2: v = {pick({0, 1, 318, 319, next(0, 319)}), pick({0, 1, 238, 239, next(0, 239)}), 0}; break;
                case 3:
                case 4: {  // a short step from the last vertex, kept on the screen
                    const int32_t k = next(-9, 9);
                    const int32_t dx = pick({k, k, 0, next(-30, 30)}), dy = pick({k, -k, 0, next(-30, 30)});
                    v = {std::clamp(last.x + dx, 0, 319), std::clamp(last.y + dy, 0, 239), 0};
                    break;
                }
                case 5: v = {pick({last.x, next(0, 319)}), pick({last.y, next(0, 239)}), 0}; break;
                case 6:
                case 7: v = {next(-400, 720), next(-300, 540), 0}; break;
                case 8: v = {next(-2000000, 2000000), next(-2000000, 2000000), 0}; break;
                default: v = {next(-1, 320), next(-1, 240), 0}; break;
            }
        }
        ASSERT_TRUE(core().write(vertices_at, projected_vertices, sizeof(Vec3) * (VERTICES + 1)));
        std::vector<int16_t> edges(2 * PAIRS);
        for (int32_t e = 0; e < PAIRS; ++e) {
            int32_t a = next(1, VERTICES - 1);
            int32_t b = pick({a + 1, a + 1, a, next(1, VERTICES), next(1, VERTICES), 30000, -3});
            if (e % 2) std::swap(a, b);
            edges[2 * e] = static_cast<int16_t>(a);
            edges[2 * e + 1] = static_cast<int16_t>(b);
        }
        ASSERT_TRUE(core().write(edge_at, edges.data(), edges.size() * 2));
        // Offsets that move no slot in 16 bits, and one that moves them all.
        const int32_t offset = pick({0, 65536, -65536, 1});
        // Meshes small enough for the outcodes once per vertex (some pairs
        // then naming slots past the mesh), and one too large for them.
        constexpr uint16_t VERTEX_COUNTS[4] = {300, VERTICES, 349, 0};
        const uint16_t vertex_count = VERTEX_COUNTS[round % 4];
        meshes[0].vertex_count = vertex_count;
        ASSERT_TRUE(core().write(mesh_at + offsetof(MeshObject, vertex_count), &vertex_count, 2));
        const std::vector<uint32_t> background = random_words(FRAME_PIXELS / 2, 60 + round);
        std::memcpy(host_frame.pixels, background.data(), FRAME_BYTES);
        ASSERT_TRUE(core().write(frame, background.data(), FRAME_BYTES));
        // Two rows past the frame, where the lower pixel of a pair on row
        // 239 would land: they must stay.
        const std::vector<uint32_t> guard = random_words(320, 90 + round);
        ASSERT_TRUE(core().write(frame + FRAME_BYTES, guard.data(), guard.size() * 4));
        const CallResult c = core().call("_ZN6korvax15draw_mesh_edgesERKNS_10MeshObjectEPKsll",
                                         {mesh_at, edge_at, static_cast<uint32_t>(PAIRS), static_cast<uint32_t>(offset)});
        ASSERT_TRUE(c.ok) << c.error;
        draw_mesh_edges(meshes[0], edges.data(), PAIRS, offset);
        // Level lines of every length and alignment (runs filled a store
        // multiple at a time), the last row's among them.
        for (int32_t l = 0; l < 40; ++l) {
            const int32_t y = pick({0, 238, 239, next(0, 239)});
            const int32_t x0 = next(0, 319), x1 = pick({next(0, 319), x0, 0, 319});
            const uint32_t args[4] = {static_cast<uint32_t>(x0), static_cast<uint32_t>(y), static_cast<uint32_t>(x1),
                                      static_cast<uint32_t>(y)};
            ASSERT_TRUE(core().call("_ZN6korvax12draw_line_aaEllll", {args[0], args[1], args[2], args[3]}).ok);
            draw_line_aa(x0, y, x1, y);
        }
        ASSERT_TRUE(core().read(frame, arm.data(), FRAME_BYTES));
        std::vector<uint32_t> past(guard.size());
        ASSERT_TRUE(core().read(frame + FRAME_BYTES, past.data(), past.size() * 4));
        EXPECT_EQ(past, guard) << "round " << round << ": written past the frame";
        size_t differing = 0, drawn = 0;
        for (int i = 0; i < FRAME_PIXELS; ++i) {
            differing += arm[i] != host_frame.pixels[i];
            drawn += host_frame.pixels[i] != static_cast<uint16_t>(background[i / 2] >> (16 * (i & 1)));
        }
        EXPECT_EQ(differing, 0u) << "round " << round << ", offset " << offset;
        EXPECT_GT(drawn, 5000u) << "round " << round;  // the lines did draw
    }
    meshes[0].ready = false;
    meshes[0].vertex_count = 0;
}

// The ARM tunnel blocks (render/arm/tunnel_block.S, u and v packed into one
// register) against the portable fill: random grid rows whose u and v wrap
// anywhere in 32 bits (multiples of 256, as the grid's are), steep and flat
// steps, into a random background that stays outside the 8 rows.
TEST(MeterArmCode, TunnelBlocksEqualThePortableFill) {
    ASSERT_TRUE(core().ok()) << core().error();
    const uint32_t frame = core().free_memory(), texture = frame + 0x40000, grid = frame + 0x80000;
    std::vector<uint16_t> texels(256 * 256);
    const std::vector<uint32_t> texel_words = random_words(texels.size() / 2, 31);
    std::memcpy(texels.data(), texel_words.data(), texels.size() * 2);
    ASSERT_TRUE(core().write(texture, texels.data(), texels.size() * 2));
    constexpr size_t PIXELS = 320 * 10;  // a row above and below the block row
    for (uint32_t trial = 0; trial < 12; ++trial) {
        TunnelPoint points[2 * TUNNEL_GRID_COLUMNS];
        const std::vector<uint32_t> r = random_words(4 * TUNNEL_GRID_COLUMNS, 40 + trial);
        for (int i = 0; i < 2 * TUNNEL_GRID_COLUMNS; ++i) {
            // Early trials: small steps (a smooth tunnel); later ones: any.
            const uint32_t spread = trial < 4 ? 0x3FFFu : trial < 8 ? 0xFFFFFu : 0xFFFFFFFFu;
            const uint32_t base_u = trial * 0x9E3779B1u, base_v = trial * 0x7F4A7C15u;
            points[i].u = static_cast<int32_t>((base_u + (r[2 * i] & spread) * (i % 41 + 1)) & ~0xFFu);
            points[i].v = static_cast<int32_t>((base_v + (r[2 * i + 1] & spread) * (i / 41 + 1)) & ~0xFFu);
        }
        ASSERT_TRUE(core().write(grid, points, sizeof points));
        const std::vector<uint32_t> background_words = random_words(PIXELS / 2, 50 + trial);
        std::vector<uint16_t> want(PIXELS);
        std::memcpy(want.data(), background_words.data(), PIXELS * 2);
        ASSERT_TRUE(core().write(frame, want.data(), PIXELS * 2));
        ASSERT_TRUE(core().call("korvax_tunnel_row", {frame + 640, texture, grid}).ok);
        std::vector<uint16_t> got(PIXELS);
        ASSERT_TRUE(core().read(frame, got.data(), PIXELS * 2));
        tunnel_fill_row(want.data() + 320, texels.data(), points);
        EXPECT_EQ(got, want) << "trial " << trial;
    }
}

// The ARM square root of the tunnel grid (render/arm/tunnel_block.S) is
// isqrt's floor(sqrt(x)) for every x below 2^30: squares, their neighbours,
// powers of two and random values.
TEST(MeterArmCode, SquareRootEqualsIsqrtBelowTwoToThe30) {
    ASSERT_TRUE(core().ok()) << core().error();
    std::vector<uint32_t> xs = {0, 1, 2, 3, (1u << 30) - 1};
    for (uint32_t r = 1; r < 32768; r += 97) xs.insert(xs.end(), {r * r - 1, r * r, r * r + 1});
    for (uint32_t b = 0; b < 30; ++b) xs.insert(xs.end(), {1u << b, (1u << b) - 1});
    for (uint32_t w : random_words(3000, 61)) xs.push_back(w >> 2);
    for (uint32_t x : xs) {
        const CallResult r = core().call("korvax_sqrt", {x});
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_EQ(r.r0, static_cast<uint32_t>(isqrt(static_cast<int32_t>(x)))) << "x = " << x;
    }
}

// The ARM vertex pass (render/arm/vertex_pass.S) against the portable one:
// random vertices through random group matrices (products that wrap
// included), depths on both sides of every divisor threshold, with and
// without outcodes. The routine must stop at exactly the vertices that need a
// division (d <= 440,000, d < 1 among them), leave their outputs alone, and
// equal the portable pass on all the others.
TEST(MeterArmCode, VertexRunsEqualThePortablePass) {
    ASSERT_TRUE(core().ok()) << core().error();
    constexpr uint32_t N = 600;
    const uint32_t base = core().free_memory();
    const uint32_t a_vertices = base, a_normals = base + 0x4000, a_matrices = base + 0x8000,
                   a_projected = base + 0x9000, a_codes = base + 0xD000, a_environment = base + 0xF000,
                   a_run = base + 0x10000;

    uint32_t seed = 4242;
    auto next = [&seed](int32_t lo, int32_t hi) {
        seed = seed * 1664525u + 1013904223u;
        return lo + static_cast<int32_t>((seed >> 4) % static_cast<uint32_t>(hi - lo + 1));
    };
    auto word = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed;
    };
    // Group 0 is the identity, so a vertex's depth is its z; the others turn
    // and scale, and group 15 holds full-range words.
    std::vector<Matrix4> matrices(16);
    for (int g = 0; g < 16; ++g) {
        for (int i = 0; i < 16; ++i) {
            matrices[g].m[i] = g == 0 ? (i % 5 == 0 ? 256 : 0) : g == 15 ? static_cast<int32_t>(word()) : next(-300, 300);
        }
    }
    // d = z + 670,000 at and around each threshold of the divisor choice.
    const int32_t edges[] = {0, 1, 440000, 550000, 733333, 1100000, 2200000};
    std::vector<MeshVertex> vertices(N);
    std::vector<Vec3> normals(N);
    for (uint32_t i = 0; i < N; ++i) {
        MeshVertex& v = vertices[i];
        std::memset(&v, 0, sizeof v);
        const uint16_t group = static_cast<uint16_t>(word());  // only the low 4 bits count
        v.x = next(-4000, 4000);
        v.y = next(-4000, 4000);
        if (i % 3 == 0) {
            v.group = static_cast<uint16_t>(group & 0xFFF0);  // the identity
            v.z = edges[next(0, 6)] + next(-2, 2) - 670000;
        } else {
            v.group = group;
            v.z = next(-300000, 300000);
        }
        if (i % 17 == 0) {
            v.x = static_cast<int32_t>(word());
            v.y = static_cast<int32_t>(word());
            v.z = static_cast<int32_t>(word());
        }
        normals[i] = i % 11 == 0 ? Vec3{static_cast<int32_t>(word()), static_cast<int32_t>(word()),
                                        static_cast<int32_t>(word())}
                                 : Vec3{next(-128, 127), next(-128, 127), next(-128, 127)};
    }
    ASSERT_TRUE(core().write(a_matrices, matrices.data(), 16 * sizeof(Matrix4)));
    // The padding after the group is not read as part of it.
    std::vector<uint32_t> vertex_words(N * 4);
    std::memcpy(vertex_words.data(), vertices.data(), N * sizeof(MeshVertex));
    for (uint32_t i = 0; i < N; ++i) vertex_words[4 * i + 3] |= word() & 0xFFFF0000u;
    ASSERT_TRUE(core().write(a_vertices, vertex_words.data(), N * 16));
    ASSERT_TRUE(core().write(a_normals, normals.data(), N * sizeof(Vec3)));

    auto depth_of = [&](uint32_t i) {
        const MeshVertex& v = vertices[i];
        const int32_t* e = matrices[v.group & 15].m + 8;
        const uint32_t sum = u32(e[0]) * u32(v.x) + u32(e[1]) * u32(v.y) + u32(e[2]) * u32(v.z);
        return static_cast<int32_t>(u32(static_cast<int32_t>(sum) >> 8) + 670000u);
    };

    for (bool codes : {true, false}) {
        const ClipRect clip{next(-20, 20), next(-20, 20), next(300, 340), next(220, 260)};
        const DepthRange depth{next(-60000, -10000), next(10000, 60000)};
        const int32_t centre_x = next(100, 200), centre_y = next(80, 160);

        std::vector<Vec3> want_projected(N);
        std::vector<int32_t> want_codes(N, 0);
        std::vector<uint16_t> want_environment(N);
        VertexRun host{clip, depth, centre_x, centre_y, vertices.data(), vertices.data() + N, normals.data(),
                       want_projected.data(), codes ? want_codes.data() : nullptr, want_environment.data(),
                       matrices.data()};
        project_vertices(host);

        const std::vector<uint32_t> sentinel(N * 3, 0xA5A5A5A5u);
        ASSERT_TRUE(core().write(a_projected, sentinel.data(), N * 12));
        ASSERT_TRUE(core().write(a_codes, sentinel.data(), N * 4));
        ASSERT_TRUE(core().write(a_environment, sentinel.data(), N * 2));
        uint32_t run[15] = {u32(clip.x_min), u32(clip.y_min), u32(clip.x_max), u32(clip.y_max),
                            u32(depth.low),  u32(depth.high), u32(centre_x),  u32(centre_y),
                            a_vertices,      a_vertices + N * 16, a_normals, a_projected,
                            codes ? a_codes : 0u, a_environment, a_matrices};
        std::vector<bool> stopped(N, false);
        for (;;) {
            ASSERT_TRUE(core().write(a_run, run, sizeof run));
            const CallResult r = core().call("korvax_vertex_run", {a_run});
            ASSERT_TRUE(r.ok) << r.error;
            ASSERT_TRUE(core().read(a_run, run, sizeof run));
            const uint32_t i = (run[8] - a_vertices) / 16;
            ASSERT_EQ(run[10], a_normals + 12 * i);
            ASSERT_EQ(run[11], a_projected + 12 * i);
            ASSERT_EQ(run[12], codes ? a_codes + 4 * i : 0u);
            ASSERT_EQ(run[13], a_environment + 2 * i);
            if (i == N) break;
            // Stopped in front of a vertex: it must be one that needs a division.
            EXPECT_LE(depth_of(i), 440000) << "vertex " << i;
            stopped[i] = true;
            run[8] += 16;
            run[10] += 12;
            run[11] += 12;
            if (codes) run[12] += 4;
            run[13] += 2;
        }
        std::vector<Vec3> got_projected(N);
        std::vector<int32_t> got_codes(N);
        std::vector<uint16_t> got_environment(N);
        ASSERT_TRUE(core().read(a_projected, got_projected.data(), N * 12));
        ASSERT_TRUE(core().read(a_codes, got_codes.data(), N * 4));
        ASSERT_TRUE(core().read(a_environment, got_environment.data(), N * 2));
        uint32_t done = 0, left = 0;
        for (uint32_t i = 0; i < N; ++i) {
            if (stopped[i]) {
                ++left;
                EXPECT_EQ(got_environment[i], 0xA5A5u) << "vertex " << i << " left alone";
                continue;
            }
            EXPECT_LE(440001, depth_of(i)) << "vertex " << i << " needs a division";
            ++done;
            EXPECT_EQ(got_projected[i].x, want_projected[i].x) << "vertex " << i;
            EXPECT_EQ(got_projected[i].y, want_projected[i].y) << "vertex " << i;
            EXPECT_EQ(got_projected[i].z, want_projected[i].z) << "vertex " << i;
            EXPECT_EQ(got_codes[i], codes ? want_codes[i] : static_cast<int32_t>(0xA5A5A5A5u)) << "vertex " << i;
            EXPECT_EQ(got_environment[i], want_environment[i]) << "vertex " << i;
        }
        EXPECT_GT(left, 20u);
        EXPECT_GT(done, 400u);
    }
}

// The ARM face corners (render/arm/face_corners.S) against the portable
// ones: random faces over random projected vertices, with the face's texture
// coordinates and with the environment's, slot 0 and the last slot included.
TEST(MeterArmCode, FaceCornersEqualThePortableOnes) {
    ASSERT_TRUE(core().ok()) << core().error();
    constexpr uint32_t SLOTS = 300;
    const uint32_t a_projected = core().free_memory(), a_environment = a_projected + 0x1000,
                   a_face = a_projected + 0x2000, a_corners = a_projected + 0x3000;
    const std::vector<uint32_t> projected_words = random_words(SLOTS * 3, 31);
    std::vector<Vec3> projected(SLOTS);
    std::memcpy(projected.data(), projected_words.data(), SLOTS * sizeof(Vec3));
    const std::vector<uint32_t> environment_words = random_words(SLOTS / 2, 32);
    std::vector<uint16_t> environment(SLOTS);
    std::memcpy(environment.data(), environment_words.data(), SLOTS * 2);
    ASSERT_TRUE(core().write(a_projected, projected.data(), SLOTS * sizeof(Vec3)));
    ASSERT_TRUE(core().write(a_environment, environment.data(), SLOTS * 2));

    uint32_t seed = 33;
    for (int t = 0; t < 200; ++t) {
        const std::vector<uint32_t> face_words = random_words(sizeof(MeshFace) / 4, seed++);
        MeshFace face;
        std::memcpy(&face, face_words.data(), sizeof face);
        face.vertex_a = t == 0 ? 0 : static_cast<int32_t>(face_words[0] % SLOTS);
        face.vertex_b = t == 0 ? static_cast<int32_t>(SLOTS - 1) : static_cast<int32_t>(face_words[1] % SLOTS);
        face.vertex_c = static_cast<int32_t>(face_words[2] % SLOTS);
        ASSERT_TRUE(core().write(a_face, &face, sizeof face));
        for (bool mapped : {false, true}) {
            TriangleVertex want[4], got[4];
            std::memset(want, 0x5A, sizeof want);
            ASSERT_TRUE(core().write(a_corners, want, sizeof want));  // the fourth stays
            face_corners(want, face, projected.data(), mapped ? environment.data() : nullptr);
            const CallResult r = mapped ? core().call("korvax_face_corners_environment",
                                                      {a_corners, a_face, a_projected, a_environment})
                                        : core().call("korvax_face_corners", {a_corners, a_face, a_projected});
            ASSERT_TRUE(r.ok) << r.error;
            ASSERT_TRUE(core().read(a_corners, got, sizeof got));
            EXPECT_EQ(std::memcmp(got, want, sizeof got), 0) << "face " << t << (mapped ? " mapped" : "");
        }
    }
}

// The ARM back-face test (render/arm/front_faces.S) against the portable one:
// random faces over random projected vertices, small screen coordinates
// (zero areas and both windings) and full-range ones (products that wrap).
TEST(MeterArmCode, FrontFacesEqualThePortableTest) {
    ASSERT_TRUE(core().ok()) << core().error();
    constexpr uint32_t SLOTS = 200, FACES = 700;
    const uint32_t a_projected = core().free_memory(), a_faces = a_projected + 0x1000,
                   a_numbers = a_projected + 0x10000;
    for (bool wide : {false, true}) {
        // Coordinates from a Mersenne twister: the words of one linear
        // congruential sequence are too regular here (every wrapped area
        // came out with the same sign).
        std::mt19937 twister(wide ? 41 : 42);
        std::vector<Vec3> projected(SLOTS);
        for (Vec3& p : projected) {
            const uint32_t x = twister(), y = twister();
            p = wide ? Vec3{static_cast<int32_t>(x), static_cast<int32_t>(y), 0}
                     : Vec3{static_cast<int32_t>(x % 9), static_cast<int32_t>(y % 9), 0};
        }
        const std::vector<uint32_t> face_words = random_words((FACES + 1) * sizeof(MeshFace) / 4, wide ? 43 : 44);
        std::vector<MeshFace> faces(FACES + 1);
        std::memcpy(faces.data(), face_words.data(), faces.size() * sizeof(MeshFace));
        for (MeshFace& f : faces) {
            f.vertex_a = static_cast<int32_t>(u32(f.vertex_a) % SLOTS);
            f.vertex_b = static_cast<int32_t>(u32(f.vertex_b) % SLOTS);
            f.vertex_c = static_cast<int32_t>(u32(f.vertex_c) % SLOTS);
        }
        ASSERT_TRUE(core().write(a_projected, projected.data(), SLOTS * sizeof(Vec3)));
        ASSERT_TRUE(core().write(a_faces, faces.data(), faces.size() * sizeof(MeshFace)));
        for (uint32_t count : {0u, 1u, FACES}) {
            std::vector<uint16_t> want(FACES + 1, 0xEEEE), got(FACES + 1, 0xEEEE);
            ASSERT_TRUE(core().write(a_numbers, got.data(), got.size() * 2));
            const int32_t n = front_faces(want.data(), faces.data(), static_cast<int32_t>(count), projected.data());
            const CallResult r = core().call("korvax_front_faces", {a_numbers, a_faces, count, a_projected});
            ASSERT_TRUE(r.ok) << r.error;
            ASSERT_TRUE(core().read(a_numbers, got.data(), got.size() * 2));
            EXPECT_EQ(static_cast<int32_t>(r.r0), n) << count << (wide ? " wide" : "");
            EXPECT_EQ(got, want) << count << (wide ? " wide" : "");
            if (count == FACES) {
                EXPECT_GT(n, 100);
                EXPECT_LT(n, 600);
            }
        }
    }
}

uint32_t hash_pixels(const uint16_t* p, size_t n) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
    return h;
}

// Three frames of every scene, each entered directly a second into its part
// of the music, on the emulated ARM920T and natively: equal pixels.
TEST(MeterImage, DrawsTheFramesOfTheHostBuild) {
    ASSERT_TRUE(core().ok()) << core().error();
    ASSERT_TRUE(core().call("meter_init").ok);
    const CallResult start = core().call("meter_start_up");
    ASSERT_TRUE(start.ok) << start.error;
    meter_start_up();
    const uint32_t back_buffer = core().call("meter_back_buffer").r0;
    ASSERT_NE(back_buffer, 0u);

    const uint32_t position[11] = {0,       88200,   2068200, 3188200, 4301200, 5473200,
                                   6580200, 8813200, 9968200, 11088200, 12208200};
    constexpr size_t PIXELS = 320 * 240;
    std::vector<uint16_t> arm(PIXELS);
    for (int32_t scene = 1; scene <= 10; ++scene) {
        ASSERT_TRUE(core().call("meter_enter_scene", {static_cast<uint32_t>(scene)}).ok);
        meter_enter_scene(scene);
        for (uint32_t f = 0; f < 3; ++f) {
            const uint32_t at = position[scene] + f * METER_SAMPLES_PER_FRAME;
            const CallResult r = core().call("meter_frame", {at});
            ASSERT_TRUE(r.ok) << r.error;
            const uint32_t drawn = meter_frame(at);
            EXPECT_EQ(r.r0, drawn);
            EXPECT_EQ(r.r0 & 0xFF, static_cast<uint32_t>(scene));
            ASSERT_TRUE(core().read(back_buffer, arm.data(), PIXELS * 2));
            EXPECT_EQ(hash_pixels(arm.data(), PIXELS), hash_pixels(meter_back_buffer(), PIXELS))
                << "scene " << scene << " frame " << f;
        }
    }
}

}  // namespace
}  // namespace korvax::meter
