#include "render/draw2d.h"

#include "runtime/pixels.h"
#include "models/mesh.h"
#include "runtime/runtime.h"
#include "runtime/types.h"
#include "render/mesh_pipeline.h"
#include "render/render_state.h"

namespace korvax {

TunnelGrid tunnel_grid;

namespace {

constexpr int32_t ROW = SCREEN_WIDTH;

// A pixel of an anti-aliased line, given as an index into the frame. The
// lower pixel of a pair drawn on row 239 lies past the end of the buffer and
// is dropped, as is anything else off the buffer.
inline void plot(uint16_t* frame, int32_t index, uint16_t colour) {
    if (u32(index) < static_cast<uint32_t>(FRAME_PIXELS)) frame[index] = colour;
}

// Whether indices first .. first + n - 1 all lie on the frame.
inline bool row_on_frame(int32_t first, int32_t n) {
    return u32(first) < static_cast<uint32_t>(FRAME_PIXELS) &&
           u32(wrap_add(first, n - 1)) < static_cast<uint32_t>(FRAME_PIXELS) && first <= wrap_add(first, n - 1);
}

#if defined(__arm__)
// render/arm/lines.S: the wire frame of a mesh while the clip rectangle is the
// whole screen, and a run of one colour a store multiple at a time.
struct EdgeWork {
    const int16_t* edges;
    int32_t left;
    const uint32_t* pairs;  // entry k: ramp level k, level 63 - k in the top half
    const Vec3* vertices;
    uint16_t* frame;
    const uint8_t* codes;  // 0, or the outcode of every slot below coded
    const uint32_t* reciprocal;
    int32_t coded;
    const void* resume;  // the ARM code's own
};
static_assert(sizeof(Vec3) == 12 && MESH_SLOTS == 10385, "render/arm/lines.S: vertex size and slot limit");
extern "C" int32_t korvax_mesh_edges(EdgeWork* work);
extern "C" int32_t korvax_line_aa(EdgeWork* work, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
extern "C" void korvax_vertex_codes(uint8_t* codes, const Vec3* vertices, int32_t n);
extern "C" void korvax_fill_halfwords(uint16_t* p, int32_t n, uint32_t colour);
#endif

void fill_run(uint16_t* p, int32_t n, uint16_t colour) {
#if defined(__arm__)
    korvax_fill_halfwords(p, n, colour);
#else
    for (int32_t i = 0; i < n; ++i) p[i] = colour;
#endif
}

// A line on the screen has a major axis of at most 319 pixels.
constexpr int32_t LINE_RECIPROCALS = 320;

struct LineReciprocals {
    uint32_t m[LINE_RECIPROCALS];
};

constexpr LineReciprocals make_line_reciprocals() {
    LineReciprocals table{};
    for (uint32_t d = 1; d < LINE_RECIPROCALS; ++d) table.m[d] = 0xFFFFFFFFu / d;
    return table;
}

// Entry d = floor((2^32 - 1) / d), worked out by the compiler.
constexpr LineReciprocals LINE_RECIPROCAL = make_line_reciprocals();

// The slope of draw_line_aa: divide(num << 23, den << 12), both shifts
// wrapping, num >= 0 and den >= 1. For num < 256 neither shift wraps and the
// quotient is floor(num x 2,048 / den); for a den of the table it is found
// without a division: the high word of (num x 2,048) x m falls short of it by
// less than one plus (num x 2,048) / 2^32, so by at most one, and the
// remainder settles which.
int32_t line_slope(int32_t num, int32_t den) {
    if (num < 256 && den < LINE_RECIPROCALS) {
        const uint32_t n = static_cast<uint32_t>(num) << 11;
        uint32_t q = static_cast<uint32_t>((static_cast<uint64_t>(n) * LINE_RECIPROCAL.m[den]) >> 32);
        if (n - q * static_cast<uint32_t>(den) >= static_cast<uint32_t>(den)) ++q;
        return 2 * static_cast<int32_t>(q);
    }
    return 2 * divide(s32(u32(num) << 23), s32(u32(den) << 12));
}

}  // namespace

void build_colour_ramp(uint32_t a, uint32_t b, uint16_t* out) {
    // Accumulators hold 64 x the channel; each entry adds one 64th of the way.
    int32_t acc_r = red(a) << 6, acc_g = green(a) << 6, acc_b = blue(a) << 6;
    const int32_t step_r = red(b) - red(a), step_g = green(b) - green(a), step_b = blue(b) - blue(a);
    out[0] = static_cast<uint16_t>(a);
    for (int k = 1; k < 64; ++k) {
        acc_r += step_r;
        acc_g += step_g;
        acc_b += step_b;
        out[k] = static_cast<uint16_t>(((acc_r >> 6) << 11) | ((acc_g >> 6) << 5) | (acc_b >> 6));
    }
}

void draw_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    uint16_t* frame = target_pixels();
    const uint16_t colour = static_cast<uint16_t>(render_state.draw_colour);
    const int32_t dx = x1 - x0, dy = y1 - y0;
    const int32_t sx = dx >= 0 ? 1 : -1;
    const int32_t sy = dy >= 0 ? ROW : -ROW;
    const int32_t ax = dx >= 0 ? dx : -dx, ay = dy >= 0 ? dy : -dy;
    int32_t p = y0 * ROW + x0;
    frame[p] = colour;
    if (ax == 0) {
        for (int32_t n = ay; n != 0; --n) {
            p += sy;
            frame[p] = colour;
        }
    } else if (ay >= ax) {
        int32_t e = 2 * ax - ay;
        for (int32_t n = ay; n != 0; --n) {
            if (e >= 0) {
                p += sx;
                e -= 2 * ay;
            }
            p += sy;
            frame[p] = colour;
            e += 2 * ax;
        }
    } else {
        int32_t e = 2 * ay - ax;
        for (int32_t n = ax; n != 0; --n) {
            if (e >= 0) {
                p += sy;
                e -= 2 * ax;
            }
            p += sx;
            frame[p] = colour;
            e += 2 * ay;
        }
    }
}

void draw_line_aa(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (x1 < x0) {
        int32_t t = x0;
        x0 = x1;
        x1 = t;
        t = y0;
        y0 = y1;
        y1 = t;
    }
    uint16_t* frame = target_pixels();
    const uint16_t* ramp = render_state.shade_ramp;
    const int32_t dx = x1 - x0, dy = y1 - y0;
    const int32_t sy = dy >= 0 ? ROW : -ROW;
    const int32_t ady = dy >= 0 ? dy : -dy;
    int32_t p = y0 * ROW + x0;

    if (dx == 0) {
        if (dy == 0) {
            plot(frame, p, ramp[63]);
            return;
        }
        for (int32_t n = ady; n != 0; --n) {  // the start pixel is not drawn
            p += sy;
            plot(frame, p, ramp[63]);
        }
        return;
    }

    // h: the line's position across the pixel pair in 1/4096 of a pixel; its
    // top six fraction bits pick the ramp level, the pair sharing 63 levels.
    if (dx > ady) {
        // One column at a time; the pair is stacked vertically. Going down the
        // upper pixel takes 63 - i, going up the lower one does.
        const int32_t slope = line_slope(ady, dx);
        int32_t h = slope + 2048;
        int32_t i = (h >> 6) & 63;
        plot(frame, p, ramp[i]);
        plot(frame, p + ROW, ramp[63 - i]);
        const int32_t flip = dy >= 0 ? 63 : 0;
        if (dy == 0 && row_on_frame(p + 1, dx)) {
            // Level: the slope is 0 and h stays 2,048, so every later column
            // takes the same pair (levels 31 over 32). The upper run lies
            // wholly on the frame; the lower one too, or (on row 239) wholly
            // past its end, where every pixel is dropped.
            const bool lower_on_frame = row_on_frame(p + 1 + ROW, dx);
            if (lower_on_frame || p + 1 + ROW >= FRAME_PIXELS) {
                fill_run(frame + p + 1, dx, ramp[(h >> 6 & 63) ^ flip]);
                if (lower_on_frame) fill_run(frame + p + 1 + ROW, dx, ramp[(h >> 6 & 63) ^ flip ^ 63]);
                return;
            }
        }
        for (int32_t n = dx; n != 0; --n) {
            p += 1;
            if (h >= 4096) {
                h &= 4095;
                p += sy;
            }
            const int32_t upper = ((h >> 6) & 63) ^ flip;  // i or 63 - i
            plot(frame, p, ramp[upper]);
            plot(frame, p + ROW, ramp[upper ^ 63]);
            h += slope;
        }
    } else {
        // One row at a time; the pair sits side by side, the right pixel
        // only while it stays inside the clip rectangle.
        const int32_t slope = line_slope(dx, ady);
        const int32_t x_max = render_state.clip_rect.x_max;
        int32_t h = slope + 2048;
        int32_t i = (h >> 6) & 63;
        plot(frame, p, ramp[i]);
        plot(frame, p + ROW, ramp[63 - i]);
        int32_t x = x0;
        for (int32_t n = ady; n != 0; --n) {
            if (h >= 4096) {
                h &= 4095;
                x += 1;
                p += 1;
            }
            i = (h >> 6) & 63;
            p += sy;
            plot(frame, p, ramp[63 - i]);
            if (x < x_max) plot(frame, p + 1, ramp[i]);
            h += slope;
        }
    }
}

namespace {

int32_t line_outcode(int32_t x, int32_t y, const ClipRect& c) {
    int32_t code = 0;
    if (x < c.x_min) {
        code = 4;
    } else if (x > c.x_max) {
        code = 8;
    }
    if (y < c.y_min) {
        code |= 1;
    } else if (y > c.y_max) {
        code |= 2;
    }
    return code;
}

// a * b / d truncated toward zero. The product is formed in 64 bits: far-off
// endpoints (a mesh vertex close to the viewer) make it leave 32 bits, and a
// wrapped product would put the intersection anywhere. The quotient lies
// between 0 and b, so it fits; products that fit take the 32-bit division.
int32_t scaled(int32_t a, int32_t b, int32_t d) {
    const int64_t p = static_cast<int64_t>(a) * b;
    if (p >= INT32_MIN && p <= INT32_MAX) return divide(static_cast<int32_t>(p), d);
    return static_cast<int32_t>(p / d);
}

// Cohen-Sutherland: true with both ends moved into clip_rect, or false when
// no part of the line is inside.
bool clip_line(int32_t& x0, int32_t& y0, int32_t& x1, int32_t& y1) {
    const ClipRect c = render_state.clip_rect;
    int32_t c0 = line_outcode(x0, y0, c);
    int32_t c1 = line_outcode(x1, y1, c);
    for (;;) {
        if ((c0 | c1) == 0) return true;
        if ((c0 & c1) != 0) return false;
        // Move the second endpoint while it is outside, else the first, onto
        // the edge of the lowest set bit (1 top, 2 bottom, 4 left, 8 right).
        // The other endpoint is not beyond that edge, so the divisor is not 0.
        const int32_t code = c1 != 0 ? c1 : c0;
        int32_t x, y;
        if (code & 3) {
            y = (code & 1) ? c.y_min : c.y_max;
            x = wrap_add(x0, scaled(wrap_sub(y, y0), wrap_sub(x1, x0), wrap_sub(y1, y0)));
        } else {
            x = (code & 4) ? c.x_min : c.x_max;
            y = wrap_add(y0, scaled(wrap_sub(x, x0), wrap_sub(y1, y0), wrap_sub(x1, x0)));
        }
        if (c1 != 0) {
            x1 = x;
            y1 = y;
            c1 = line_outcode(x1, y1, c);
        } else {
            x0 = x;
            y0 = y;
            c0 = line_outcode(x0, y0, c);
        }
    }
}

}  // namespace

void draw_clipped_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (clip_line(x0, y0, x1, y1)) draw_line_aa(x0, y0, x1, y1);
}

namespace {

void draw_edge(const int16_t* pair, int32_t offset) {
    const uint16_t a = static_cast<uint16_t>(wrap_add(pair[0], offset));
    const uint16_t b = static_cast<uint16_t>(wrap_add(pair[1], offset));
    // A 16-bit slot number can name up to 65,535; the store has MESH_SLOTS.
    if (a >= MESH_SLOTS || b >= MESH_SLOTS) return;
    const Vec3& p = projected_vertices[a];
    const Vec3& q = projected_vertices[b];
    draw_clipped_line(p.x, p.y, q.x, q.y);
}

}  // namespace

void draw_mesh_edges(const MeshObject& mesh, const int16_t* edges, int32_t count, int32_t offset) {
    if (!mesh.ready) return;
#if defined(__arm__)
    const ClipRect& c = render_state.clip_rect;
    if (count > 0 && (offset & 0xFFFF) == 0 && c.x_min == 0 && c.y_min == 0 && c.x_max == SCREEN_WIDTH - 1 &&
        c.y_max == SCREEN_HEIGHT - 1) {
        // Both pixels of a pair from one table entry.
        uint32_t pairs[64];
        const uint16_t* ramp = render_state.shade_ramp;
        for (int32_t k = 0; k < 64; ++k) pairs[k] = ramp[k] | static_cast<uint32_t>(ramp[63 - k]) << 16;
        EdgeWork work{edges, count, pairs, projected_vertices, target_pixels(), nullptr, LINE_RECIPROCAL.m, 0, nullptr};
        // Where the pairs name each vertex four times or more on average, the
        // vertices' outcodes are worked out once each: most pairs of a large
        // mesh lie wholly off the screen, and two loads reject them.
        const int32_t slots = mesh.vertex_count < MESH_SLOTS ? mesh.vertex_count + 1 : MESH_SLOTS;
        if (count >= 2 * slots) {
            static uint8_t codes[MESH_SLOTS];
            korvax_vertex_codes(codes, projected_vertices, slots);
            work.codes = codes;
            work.coded = slots;
        }
        // The pairs the ARM code leaves (an end off the screen, or a slot
        // without an outcode) are clipped here, then drawn by the ARM code
        // (which writes the walk's place: kept here).
        while (korvax_mesh_edges(&work) != 0) {
            const int16_t* const pair = work.edges;
            const int32_t left = work.left;
            const uint16_t a = static_cast<uint16_t>(pair[0]), b = static_cast<uint16_t>(pair[1]);
            if (a < MESH_SLOTS && b < MESH_SLOTS) {
                int32_t x0 = projected_vertices[a].x, y0 = projected_vertices[a].y;
                int32_t x1 = projected_vertices[b].x, y1 = projected_vertices[b].y;
                if (clip_line(x0, y0, x1, y1) && korvax_line_aa(&work, x0, y0, x1, y1) != 0) {
                    draw_line_aa(x0, y0, x1, y1);
                }
            }
            work.edges = pair + 2;
            work.left = left - 1;
        }
        return;
    }
#endif
    for (int32_t i = 0; i < count; ++i) draw_edge(edges + 2 * i, offset);
}

#if defined(__arm__)
// render/arm/blit.S: four indices a word load, two pixels a word store.
extern "C" void korvax_blit_indexed(uint16_t* out, const uint8_t* image, const uint16_t* palette, uint32_t pixels);
extern "C" void korvax_blit_indexed_or(uint16_t* out, const uint8_t* image, const uint16_t* palette,
                                       uint32_t pixels);
extern "C" void korvax_stretch_row(uint16_t* out, const uint16_t* entries);
extern "C" void korvax_downscale_row(uint16_t* out, const uint16_t* src, uint32_t step_bytes, uint32_t n);
// render/arm/tunnel_block.S: one row of tunnel_fill_row's blocks, u and v in one register.
extern "C" void korvax_tunnel_row(uint16_t* out, const uint16_t* texture, const TunnelPoint* top);
extern "C" uint32_t korvax_sqrt(uint32_t x);
extern "C" void korvax_blit_indexed_or_odd(uint16_t* out, const uint8_t* image, const uint16_t* palette,
                                           uint32_t pixels);

namespace {
inline bool word_aligned(const void* p) { return (reinterpret_cast<uintptr_t>(p) & 3) == 0; }
}  // namespace
#endif

void blit_indexed(const uint8_t* image, const uint16_t* palette) {
    uint16_t* out = target_pixels();
#if defined(__arm__)
    if (word_aligned(image)) {
        korvax_blit_indexed(out, image, palette, FRAME_PIXELS);
        return;
    }
#endif
    for (int32_t i = 0; i < FRAME_PIXELS; ++i) out[i] = palette[image[i]];
}

void blit_indexed_or(const uint8_t* image, const uint16_t* palette) {
    uint16_t* out = target_pixels();
#if defined(__arm__)
    if (word_aligned(image)) {
        korvax_blit_indexed_or(out, image, palette, FRAME_PIXELS);
        return;
    }
#endif
    for (int32_t i = 0; i < FRAME_PIXELS; ++i) out[i] |= palette[image[i]];
}

void blit_window_or(const uint8_t* image, uint32_t row_length, uint32_t x, uint32_t y, const uint16_t* palette) {
    const uint32_t length = row_length & 0xFFFF;
    const uint8_t* row = image + (x & 0xFFFF) + length * (y & 0xFFFF);
    uint16_t* out = target_pixels();
    for (int32_t r = 0; r < SCREEN_HEIGHT; ++r) {
#if defined(__arm__)
        // The pixels before the image's next word boundary one by one, then
        // whole index words (the output then on a word boundary, or two bytes
        // past one when an odd number went first), then the rest.
        const int32_t lead = static_cast<int32_t>((0u - reinterpret_cast<uintptr_t>(row)) & 3);
        const int32_t words_end = lead + ((SCREEN_WIDTH - lead) & ~3);
        for (int32_t c = 0; c < lead; ++c) out[c] |= palette[row[c]];
        if (lead & 1) {
            korvax_blit_indexed_or_odd(out + lead, row + lead, palette, static_cast<uint32_t>(words_end - lead));
        } else {
            korvax_blit_indexed_or(out + lead, row + lead, palette, static_cast<uint32_t>(words_end - lead));
        }
        for (int32_t c = words_end; c < SCREEN_WIDTH; ++c) out[c] |= palette[row[c]];
#else
        for (int32_t c = 0; c < SCREEN_WIDTH; ++c) out[c] |= palette[row[c]];
#endif
        row += length;
        out += ROW;
    }
}

void blit_stretched(int32_t x0, int32_t y0, const uint16_t* source) {
    // Output pixel n shows entry (n + 1) / 4 of the region, 80 entries a row:
    // entry 0 three times, entries 1..79 four times, then entry 0 of the next
    // source row.
    uint16_t* out = target_pixels();
    const uint16_t* src = source + y0 * ROW + x0;
    for (int32_t r = 0; r < 160; ++r) {
        out[0] = out[1] = out[2] = src[0];
#if defined(__arm__)
        // Pixels 4 .. 315 in word pairs; pixel 3 and 316 .. 318 here.
        out[3] = src[1];
        korvax_stretch_row(out + 4, src);
        out[316] = out[317] = out[318] = src[79];
        out[SCREEN_WIDTH - 1] = src[ROW];
        src += ROW;
        out += ROW;
        continue;
#endif
        uint16_t* o = out + 3;
        for (int32_t k = 1; k < 80; ++k) {
            const uint16_t value = src[k];
            o[0] = value;
            o[1] = value;
            o[2] = value;
            o[3] = value;
            o += 4;
        }
        out[SCREEN_WIDTH - 1] = src[ROW];
        src += ROW;
        out += ROW;
    }
}

void copy_downscaled(const uint16_t* src, int32_t x, int32_t y, int32_t step, uint16_t* dst, int32_t dx, int32_t dy,
                     int32_t columns, int32_t rows, int32_t row_length) {
    // One destination row is gathered before it is written, so a copy of the
    // frame into itself reads the row's sources before any of them changes.
    static uint16_t row_values[SCREEN_WIDTH];
    const uint16_t* source_row = src + 2 * x + 2 * ROW * y;
    uint16_t* dest_row = dst + dy * row_length + dx;
    for (int32_t i = 0; i < rows; ++i) {
        // Rows wider than the screen go in screen-wide pieces.
        for (int32_t j0 = 0; j0 < columns; j0 += SCREEN_WIDTH) {
            const int32_t n = columns - j0 < SCREEN_WIDTH ? columns - j0 : SCREEN_WIDTH;
            const uint16_t* s = source_row + step * j0;
#if defined(__arm__)
            // A piece whose destination lies clear of every pixel it reads
            // goes straight across.
            const uintptr_t d_first = reinterpret_cast<uintptr_t>(dest_row + j0);
            const uintptr_t d_end = d_first + 2 * static_cast<uint32_t>(n);
            const uintptr_t s_first = reinterpret_cast<uintptr_t>(s);
            const uintptr_t s_end = s_first + 2 * static_cast<uint32_t>(step) * static_cast<uint32_t>(n - 1) + 2;
            if (step > 0 && (d_end <= s_first || s_end <= d_first)) {
                korvax_downscale_row(dest_row + j0, s, 2 * static_cast<uint32_t>(step), static_cast<uint32_t>(n));
                continue;
            }
#endif
            for (int32_t j = 0; j < n; ++j) {
                row_values[j] = static_cast<uint16_t>(*s + 8);
                s += step;
            }
            for (int32_t j = 0; j < n; ++j) dest_row[j0 + j] = row_values[j];
        }
        source_row += 2 * ROW;
        dest_row += row_length;
    }
}

namespace {

// 196,352 / (64 t) for t = 64 .. 1,024, worked out by the compiler. For a
// divisor b from 4,096 to 65,536 with t = b >> 6 the quotient is this or one
// less: 64 t <= b < 64 t + 64 moves 196,352 / b by less than 196,352 x 63 /
// (4,096 x 4,159) < 1.
struct TunnelQuotients {
    uint8_t q[1025];
};

constexpr TunnelQuotients make_tunnel_quotients() {
    TunnelQuotients table{};
    for (uint32_t t = 64; t <= 1024; ++t) table.q[t] = static_cast<uint8_t>(196352u / (64u * t));
    return table;
}

constexpr TunnelQuotients TUNNEL_QUOTIENTS = make_tunnel_quotients();

// 196,352 / b for b >= 1 (b is a distance from the axis plus 1, at most
// 65,536): the known divisors, else the table and one correction.
int32_t tunnel_inverse(int32_t b) {
    if (b < static_cast<int32_t>(KNOWN_DIVISORS)) return divide_quick(196352, b);
    if (b > 65536) return divide(196352, b);
    uint32_t q = TUNNEL_QUOTIENTS.q[static_cast<uint32_t>(b) >> 6];
    if (q * static_cast<uint32_t>(b) > 196352u) --q;
    return s32(q);
}

}  // namespace

void draw_tunnel(Matrix4 matrix, const uint16_t* texture, int32_t scroll, int32_t first_row) {
    set_texture_map(texture);

    // Grid: the viewing direction of each block corner, turned by the matrix.
    // k is the inverse distance from the tunnel's axis (x, y); u runs along
    // the axis (z * k) and scrolls, v grows with the square of y * k.
    // The corner (512 (20 - gc), 512 (12 - gr), 4800) turned as
    // matrix_transform does: each row's sum before the shift is linear in gc,
    // so along a grid row it steps by -512 times the matrix's first column
    // (mod 2^32, as the sums themselves wrap).
    const int32_t* m = matrix.m;
    const uint32_t step[3] = {u32(m[0]) * 512u, u32(m[4]) * 512u, u32(m[8]) * 512u};
    for (int gr = 0; gr < TUNNEL_GRID_ROWS; ++gr) {
        uint32_t sum_before_shift[3];
        for (int row = 0; row < 3; ++row) {
            const int32_t* e = &m[4 * row];
            sum_before_shift[row] =
                u32(wrap_add(wrap_add(wrap_mul(e[0], 512 * 20), wrap_mul(e[1], 512 * (12 - gr))), wrap_mul(e[2], 4800)));
        }
        for (int gc = 0; gc < TUNNEL_GRID_COLUMNS; ++gc) {
            const Vec3 d = {s32(sum_before_shift[0]) >> FIX8_SHIFT, s32(sum_before_shift[1]) >> FIX8_SHIFT,
                            s32(sum_before_shift[2]) >> FIX8_SHIFT};
            for (int row = 0; row < 3; ++row) sum_before_shift[row] -= step[row];
            const int32_t sum = wrap_add(wrap_add(wrap_mul(d.x, d.x), wrap_mul(d.y, d.y)), 1);
#if defined(__arm__)
            // isqrt is floor(sqrt) below 2^30; tunnel_block.S has it in 50 instructions.
            const int32_t radius = u32(sum) < (1u << 30) ? s32(korvax_sqrt(u32(sum))) : isqrt(sum);
#else
            const int32_t radius = isqrt(sum);
#endif
            const int32_t k = tunnel_inverse(radius + 1);
            const int32_t u = s32(u32(wrap_add(wrap_mul(d.z, k) >> 12, scroll)) << 8);
            const int32_t w = wrap_mul(d.y, k) >> 13;
            const int32_t v = s32(u32(wrap_mul(w, w) >> 3) << 8);
            tunnel_grid.point[gr][gc] = {u, v};
        }
    }

    uint16_t* frame = target_pixels() + first_row * ROW;
    for (int br = 0; br < TUNNEL_GRID_ROWS - 1; ++br) {
        tunnel_fill_row(frame + br * 8 * ROW, texture, tunnel_grid.point[br]);
    }
}

void tunnel_fill_row(uint16_t* out, const uint16_t* texture, const TunnelPoint* top) {
#if defined(__arm__)
    korvax_tunnel_row(out, texture, top);
#else
    // Each 8 x 8 block steps u along its top and bottom edges and down each
    // column; v steps along the top and then down by the left edge's step.
    const TunnelPoint* bottom = top + TUNNEL_GRID_COLUMNS;
    for (int bc = 0; bc < TUNNEL_GRID_COLUMNS - 1; ++bc) {
        const TunnelPoint p00 = top[bc];
        const TunnelPoint p01 = top[bc + 1];
        const TunnelPoint p10 = bottom[bc];
        const TunnelPoint p11 = bottom[bc + 1];
        const uint32_t du_top = u32(wrap_sub(p01.u, p00.u) >> 3);
        const uint32_t du_bottom = u32(wrap_sub(p11.u, p10.u) >> 3);
        const uint32_t dv_top = u32(wrap_sub(p01.v, p00.v) >> 3);
        const uint32_t dv_left = u32(wrap_sub(p10.v, p00.v) >> 3);
        uint32_t u[8], v[8], du[8];
        uint32_t u_top = u32(p00.u), v_top = u32(p00.v), u_bottom = u32(p10.u);
        for (int i = 0; i < 8; ++i) {
            u[i] = u_top;
            v[i] = v_top;
            du[i] = u32(s32(u_bottom - u_top) >> 3);
            u_top += du_top;
            v_top += dv_top;
            u_bottom += du_bottom;
        }
        uint16_t* block = out + bc * 8;
        for (int j = 0; j < 8; ++j) {
            uint16_t* line = block + j * ROW;
            for (int i = 0; i < 8; ++i) {
                line[i] = texture[(v[i] & 0xFF00u) + ((u[i] >> 8) & 0xFFu)];
                u[i] += du[i];
                v[i] += dv_left;
            }
        }
    }
#endif
}

}  // namespace korvax
