#include "render/rasterizer.h"

#include <cstddef>

#include "runtime/pixels.h"
#include "math/fixed_math.h"
#include "runtime/tables.h"
#include "runtime/runtime.h"
#include "runtime/types.h"
#include "render/render_state.h"

namespace korvax {

namespace {

// The target's registers wrap at 32 bits; C++ signed arithmetic must not, so
// every sum or product that can wrap goes through uint32_t (wrap_add, wrap_sub
// and wrap_mul, or the accumulators below held as uint32_t, u32 and s32).
constexpr int32_t LAST_COLUMN = SCREEN_WIDTH - 1;
constexpr int32_t ROW_PIXELS = SCREEN_WIDTH;

// A whole pixel coordinate as the 8.8 position of the pixel centre.
inline int32_t pixel_centre(int32_t c) { return s32((u32(c) << 8) + 128u); }

// 65,536 / h in 16.16. Heights outside the table (only triangles reaching far
// off the screen have them) are divided directly: the value the table would
// hold there.
inline int32_t edge_reciprocal(int32_t h) {
    if (h >= -2048 && h <= 2047) return reciprocal(h);
    return divide(65536, h);
}

// Per-row step of an edge in 8.8: (65,536 / h) * dx >> 16. The product needs
// more than 32 bits: a one-row edge 128 pixels wide is already 2^32.
inline int32_t edge_slope(int32_t h, int32_t dx) {
    return static_cast<int32_t>((static_cast<int64_t>(edge_reciprocal(h)) * dx) >> 16);
}

// Three compare-and-swaps on y; a swap exchanges x, y, u and v, so equal rows
// keep their order.
inline void swap_vertices(TriangleVertex& a, TriangleVertex& b) {
    TriangleVertex t = a;
    a.x = b.x; a.y = b.y; a.u = b.u; a.v = b.v;
    b.x = t.x; b.y = t.y; b.u = t.u; b.v = t.v;
}

[[gnu::always_inline]] inline void sort_by_row(TriangleVertex* v) {
    if (v[0].y > v[1].y) swap_vertices(v[0], v[1]);
    if (v[0].y > v[2].y) swap_vertices(v[0], v[2]);
    if (v[1].y > v[2].y) swap_vertices(v[1], v[2]);
}

// The corners in row order by reference, for the routines that leave the
// record as it is: the order the swaps of sort_by_row give (equal rows keep
// theirs), without copying or moving a corner (z, which the swaps leave in
// place, is not read through it).
struct RowOrder {
    const TriangleVertex* p[3];
    const TriangleVertex& operator[](int i) const { return *p[i]; }
};

[[gnu::always_inline]] inline RowOrder row_order(const TriangleVertex* v) {
    RowOrder o{{&v[0], &v[1], &v[2]}};
    const TriangleVertex* t;
    if (o.p[0]->y > o.p[1]->y) { t = o.p[0]; o.p[0] = o.p[1]; o.p[1] = t; }
    if (o.p[0]->y > o.p[2]->y) { t = o.p[0]; o.p[0] = o.p[2]; o.p[2] = t; }
    if (o.p[1]->y > o.p[2]->y) { t = o.p[1]; o.p[1] = o.p[2]; o.p[2] = t; }
    return o;
}

// Edges of a triangle sorted by row: 0->1 and 1->2 are the short edges, 0->2
// the long one. Positions and slopes in 8.8, heights in rows.
struct Edges {
    int32_t x0, x1, x2;
    int32_t h01, h12, h02;
    int32_t s01, s12, s02;
};

// Inlined into each fill: the edges then stay in registers instead of a
// record written by one function and read back by the other.
template <class Corners>
[[gnu::always_inline]] inline Edges edge_setup(const Corners& v) {
    Edges e;
    e.x0 = pixel_centre(v[0].x);
    e.x1 = pixel_centre(v[1].x);
    e.x2 = pixel_centre(v[2].x);
    e.h01 = wrap_sub(v[1].y, v[0].y);
    e.h12 = wrap_sub(v[2].y, v[1].y);
    e.h02 = wrap_sub(v[2].y, v[0].y);
    e.s01 = e.h01 > 0 ? edge_slope(e.h01, wrap_sub(e.x1, e.x0)) : 0;
    e.s12 = e.h12 > 0 ? edge_slope(e.h12, wrap_sub(e.x2, e.x1)) : 0;
    e.s02 = edge_slope(e.h02, wrap_sub(e.x2, e.x0));
    return e;
}

// Whether the short edges form the left side: for a flat top the second
// vertex lies left of the first, for a flat bottom left of the third,
// otherwise the upper short edge leans further left than the long one.
template <class Corners>
bool short_edges_left(const Corners& v, const Edges& e) {
    if (v[0].y == v[1].y) return e.x1 < e.x0;
    if (v[1].y == v[2].y) return e.x1 < e.x2;
    return e.s01 < e.s02;
}

// An edge being stepped row by row; positions wrap as the target's do.
struct EdgeWalk {
    uint32_t x;     // 8.8
    uint32_t step;  // 8.8 per row

    void next() { x += step; }
    void skip(uint32_t rows) { x += rows * step; }
    int32_t column() const { return s32(x) >> 8; }
};

#if defined(__arm__)
// render/arm/texture_rows.S: the rows of a textured part; a and b point at
// an EdgeWalk's position, followed by its step, walk at TextureFill::u.
extern "C" void korvax_texture_rows(uint16_t* line, int32_t rows, uint32_t* a, uint32_t* b, uint32_t* walk);
extern "C" void korvax_texture_rows_blend(uint16_t* line, int32_t rows, uint32_t* a, uint32_t* b, uint32_t* walk);
// render/arm/flat_rows.S: the rows of a flat part; a and b point at an
// EdgeWalk's position, followed by its step.
extern "C" void korvax_flat_rows(uint16_t* line, int32_t rows, uint32_t* a, uint32_t* b, uint32_t pair);
static_assert(sizeof(EdgeWalk) == 8, "flat_rows.S reads an edge's position and step as two words");
#endif

// ---- Pixel operations -------------------------------------------------------
// span (p, n, raised): write n >= 1 pixels from p on; raised is how many
// columns the span's left end was moved right to stay on the screen.

struct FlatFill {
    static constexpr bool ARM_ROWS = true;  // walked by flat_rows.S on ARM
    uint16_t colour;

#if defined(__arm__)
    void arm_rows(uint16_t* line, int32_t rows, EdgeWalk& a, EdgeWalk& b) {
        korvax_flat_rows(line, rows, &a.x, &b.x, colour * 0x10001u);
    }
#endif

    void start_edge(const TriangleVertex&, int32_t) {}
    void next_row() {}
    void skip_rows(uint32_t) {}
    void span(uint16_t* p, int32_t n, int32_t) const {
        for (int32_t i = 0; i < n; ++i) p[i] = colour;
    }
};

struct FlatOrFill {
    uint16_t colour;

    void skip_rows(uint32_t) {}
    void next_row() {}

    void span(uint16_t* p, int32_t n, int32_t) const {
        for (int32_t i = 0; i < n; ++i) p[i] |= colour;
    }
};

// Affine texturing: U and V in 16.16 follow the left edge and step along the
// span by du/dx and dv/dx; the texel index masks them to 8 bits each.
// The texel is ((v >> 8) & 0xFF00) | ((u >> 16) & 0xFF). The walk holds u
// and v, and every step, 8 bits higher (the same sums modulo 2^32, shifted):
// the texel's row and column are then the top bytes, one AND and one OR a
// pixel, and nothing is shifted per row.
template <bool BLEND>
struct TextureFill {
    static constexpr bool ARM_ROWS = true;  // walked by texture_rows.S on ARM
    // u .. texels in this order: texture_rows.S reads them as one block.
    uint32_t u, v;                        // at the left edge of the current row, shifted
    uint32_t step_u, step_v;              // per row along the current left edge, shifted
    uint32_t span_u, span_v;              // du_dx and dv_dx shifted
    const uint16_t* texels;
    uint32_t du_dx, du_dy, dv_dx, dv_dy;  // 16.16, not shifted

    // The left edge starts at vertex a with slope s (8.8 per row).
    void start_edge(const TriangleVertex& a, int32_t s) {
        u = u32(a.u) << 24;
        v = u32(a.v) << 24;
        step_u = (du_dy + u32(s32(du_dx * u32(s)) >> 8)) << 8;
        step_v = (dv_dy + u32(s32(dv_dx * u32(s)) >> 8)) << 8;
        span_u = du_dx << 8;
        span_v = dv_dx << 8;
    }
    void next_row() {
        u += step_u;
        v += step_v;
    }
    void skip_rows(uint32_t rows) {
        u += rows * step_u;
        v += rows * step_v;
    }
#if defined(__arm__)
    // Every row of a part at once (the walk_rows loop with this op's spans).
    void arm_rows(uint16_t* line, int32_t rows, EdgeWalk& a, EdgeWalk& b) {
        static_assert(offsetof(TextureFill, texels) == offsetof(TextureFill, u) + 24, "walk block of texture_rows.S");
        if (BLEND) {
            korvax_texture_rows_blend(line, rows, &a.x, &b.x, &u);
        } else {
            korvax_texture_rows(line, rows, &a.x, &b.x, &u);
        }
    }
#endif
    // A raised left end starts the walk as if the hidden columns had been drawn.
    void span(uint16_t* p, int32_t n, int32_t raised) const {
        uint32_t su = u, sv = v;
        if (raised != 0) {
            su += u32(raised) * span_u;
            sv += u32(raised) * span_v;
        }
        const uint32_t step_x = span_u, step_y = span_v;
        const uint16_t* tex = texels;
        do {
            uint16_t texel = tex[((sv >> 16) & 0xFF00u) | (su >> 24)];
            if (BLEND) texel = static_cast<uint16_t>(texel | ((*p >> 2) & 0x79E7));
            *p++ = texel;
            su += step_x;
            sv += step_y;
        } while (--n != 0);
    }
};

// ---- Scan conversion ----------------------------------------------------------

// One row's span from column left to column right, both inclusive, kept
// within columns 0..319: floor-rounded slopes let an edge drift a pixel or two
// past a vertex, and a column outside the row would land in the next or
// previous row.
template <class Op>
inline void draw_span(uint16_t* line, int32_t left, int32_t right, Op& op) {
    int32_t raised = 0;
    if (left < 0) {
        raised = -left;
        left = 0;
    }
    if (right > LAST_COLUMN) right = LAST_COLUMN;
    if (right >= left) op.span(line + left, right - left + 1, raised);
}

// Rows [row, row + count) restricted to the screen when clipping: the first
// `skipped` rows lie above row 0 and are stepped over without drawing, then
// `count` rows from `first` are drawn. Rows below 239 are simply not visited.
struct RowRange {
    uint32_t skipped;
    int32_t first;
    int32_t count;
};

template <bool CLIP>
inline RowRange visible_rows(int32_t row, int32_t count) {
    if (!CLIP) return {0, row, count};
    if (count <= 0) return {0, 0, 0};
    int64_t first = row;
    int64_t end = first + count;
    uint32_t skipped = 0;
    if (first < 0) {
        int64_t hidden = (end < 0 ? end : 0) - first;
        skipped = static_cast<uint32_t>(hidden);
        first += hidden;
    }
    if (end > SCREEN_HEIGHT) end = SCREEN_HEIGHT;
    if (first >= end) return {skipped, 0, 0};
    return {skipped, static_cast<int32_t>(first), static_cast<int32_t>(end - first)};
}

// ---- The row walker -------------------------------------------------------------
// Every part of a triangle is one loop over its rows between two edges. The
// policy says whether both edges step before a row is drawn (STEP_FIRST) or
// after it, and draws the row from the two edges' columns. Rows above the
// screen are stepped over in one multiplication, which gives the same wrapped
// positions as stepping them one by one.
template <bool CLIP, class Policy>
void walk_rows(uint16_t* frame, int32_t row, int32_t count, EdgeWalk& a, EdgeWalk& b, Policy& policy) {
    const RowRange r = visible_rows<CLIP>(row, count);
    a.skip(r.skipped);
    b.skip(r.skipped);
    policy.skip_rows(r.skipped);
    if (r.count <= 0) return;
    uint16_t* line = frame + r.first * ROW_PIXELS;
#if defined(__arm__)
    if constexpr (Policy::ARM_ROWS) {
        policy.arm_rows(line, r.count, a, b);
        return;
    }
#endif
    // The edges in locals: the pixel stores would otherwise make the compiler
    // reload them through the references every row.
    uint32_t xa = a.x, xb = b.x;
    const uint32_t sa = a.step, sb = b.step;
    for (int32_t n = r.count; n != 0; --n) {
        if (Policy::STEP_FIRST) {
            xa += sa;
            xb += sb;
        }
        policy.row(line, s32(xa) >> 8, s32(xb) >> 8);
        if (!Policy::STEP_FIRST) {
            xa += sa;
            xb += sb;
            policy.next_row();
        }
        line += ROW_PIXELS;
    }
    a.x = xa;
    b.x = xb;
}

// Draw the row from the left edge to the right one, then step the edges and
// the op's walk along the left edge (the flat and texture fills).
template <class Op>
struct DrawThenStep {
    static constexpr bool STEP_FIRST = false;
    static constexpr bool ARM_ROWS = Op::ARM_ROWS;  // the op walks all rows itself on ARM
    Op& op;

#if defined(__arm__)
    void arm_rows(uint16_t* line, int32_t rows, EdgeWalk& a, EdgeWalk& b) { op.arm_rows(line, rows, a, b); }
#endif

    void skip_rows(uint32_t rows) { op.skip_rows(rows); }
    void row(uint16_t* line, int32_t left, int32_t right) { draw_span(line, left, right, op); }
    void next_row() { op.next_row(); }
};

// The shared scheme: upper part rows y0..y1-1 between the long edge and edge
// 0->1, lower part rows y1..y2-1 with edge 1->2 restarting at vertex 1 while
// the long edge runs on. The row of the lowest vertex is never drawn.
template <bool CLIP, class Op, class Corners>
void scan_triangle(uint16_t* frame, const Corners& v, const Edges& e, Op& op) {
    EdgeWalk long_edge{u32(e.x0), u32(e.s02)};
    EdgeWalk short_edge{u32(e.x0), u32(e.s01)};
    DrawThenStep<Op> policy{op};
    if (short_edges_left(v, e)) {
        op.start_edge(v[0], e.s01);
        walk_rows<CLIP>(frame, v[0].y, e.h01, short_edge, long_edge, policy);
        short_edge = {u32(e.x1), u32(e.s12)};
        op.start_edge(v[1], e.s12);
        walk_rows<CLIP>(frame, v[1].y, e.h12, short_edge, long_edge, policy);
    } else {
        op.start_edge(v[0], e.s02);
        walk_rows<CLIP>(frame, v[0].y, e.h01, long_edge, short_edge, policy);
        short_edge = {u32(e.x1), u32(e.s12)};
        walk_rows<CLIP>(frame, v[1].y, e.h12, long_edge, short_edge, policy);
    }
}

// The flat routines leave the record sorted and in 8.8.
void convert_in_place(TriangleVertex* v) {
    for (int i = 0; i < 3; ++i) {
        v[i].x = pixel_centre(v[i].x);
        v[i].y = pixel_centre(v[i].y);
    }
}


template <bool CLIP>
void flat_fill(TriangleRecord& record) {
    TriangleVertex* v = record.vertex;
    sort_by_row(v);
    Edges e = edge_setup(v);
    FlatFill op{static_cast<uint16_t>(render_state.draw_colour)};
    scan_triangle<CLIP>(target_pixels(), v, e, op);
    convert_in_place(v);
}

// ---- Flat OR: edges stepped before each row is drawn ------------------------

// Upper part: both edges step first; the span runs between them, whichever is
// left on that row.
struct StepThenEitherSide {
    static constexpr bool STEP_FIRST = true;
    static constexpr bool ARM_ROWS = false;
    const FlatOrFill& op;

    void skip_rows(uint32_t) {}
    void row(uint16_t* line, int32_t a, int32_t b) {
        if (a <= b) {
            draw_span(line, a, b, op);
        } else {
            draw_span(line, b, a, op);
        }
    }
    void next_row() {}
};

// Lower part: both edges step first; the sides are fixed before the first
// row. Where rounding lets the edges cross, the unclipped routine still
// writes the left edge's pixel (if it lies on the row); the clipped one
// writes nothing.
template <bool CLIP>
struct StepThenFixedSides {
    static constexpr bool STEP_FIRST = true;
    static constexpr bool ARM_ROWS = false;
    const FlatOrFill& op;

    void skip_rows(uint32_t) {}
    void row(uint16_t* line, int32_t left, int32_t right) {
        if (right >= left) {
            draw_span(line, left, right, op);
        } else if (!CLIP && left >= 0 && left <= LAST_COLUMN) {
            op.span(line + left, 1, 0);
        }
    }
    void next_row() {}
};

// A single row from column a to column b in either order.
template <bool CLIP>
void or_single_row(uint16_t* frame, int32_t row, int32_t a, int32_t b, const FlatOrFill& op) {
    RowRange r = visible_rows<CLIP>(row, 1);
    if (r.count <= 0) return;
    uint16_t* line = frame + r.first * ROW_PIXELS;
    if (a <= b) {
        draw_span(line, a, b, op);
    } else {
        draw_span(line, b, a, op);
    }
}

template <bool CLIP>
void flat_or_fill(TriangleRecord& record) {
    TriangleVertex* v = record.vertex;
    sort_by_row(v);
    Edges e = edge_setup(v);
    FlatOrFill op{static_cast<uint16_t>(render_state.draw_colour)};
    uint16_t* frame = target_pixels();
    EdgeWalk long_edge{u32(e.x0), u32(e.s02)};
    if (v[0].y == v[2].y) {
        // One row: between the first two vertices, the third is ignored.
        or_single_row<CLIP>(frame, v[0].y, e.x0 >> 8, e.x1 >> 8, op);
    } else {
        int32_t lower_row = v[1].y;
        int32_t lower_count = e.h12;
        if (v[0].y == v[1].y) {
            // Flat top: the top row between vertices 0 and 1, then the rest
            // as the lower part.
            or_single_row<CLIP>(frame, v[0].y, e.x0 >> 8, e.x1 >> 8, op);
            lower_row = wrap_add(v[0].y, 1);
            lower_count = wrap_sub(e.h02, 1);
        } else {
            EdgeWalk upper_edge{u32(e.x0), u32(e.s01)};
            StepThenEitherSide upper{op};
            walk_rows<CLIP>(frame, v[0].y, e.h01, long_edge, upper_edge, upper);
        }
        EdgeWalk lower_edge{u32(e.x1), u32(e.s12)};
        StepThenFixedSides<CLIP> lower{op};
        if (s32(long_edge.x) < e.x1) {
            walk_rows<CLIP>(frame, lower_row, lower_count, long_edge, lower_edge, lower);
        } else {
            walk_rows<CLIP>(frame, lower_row, lower_count, lower_edge, long_edge, lower);
        }
    }
    convert_in_place(v);
}

// ---- Texture routines ---------------------------------------------------------

template <bool CLIP, bool BLEND>
void texture_fill(const TriangleRecord& record) {
    const RowOrder v = row_order(record.vertex);

    // Gradients in 16.16 from twice the signed area D: one division per
    // triangle, then 32-bit products shifted by 5 (2^21 / D * ... >> 5).
    // Corners all in one column or all on one row give D = 0: nothing drawn.
    int32_t dx1 = wrap_sub(v[1].x, v[0].x);
    int32_t dx2 = wrap_sub(v[2].x, v[0].x);
    int32_t dy1 = wrap_sub(v[1].y, v[0].y);
    int32_t dy2 = wrap_sub(v[2].y, v[0].y);
    int32_t d = wrap_sub(wrap_mul(dy1, dx2), wrap_mul(dy2, dx1));
    if (d == 0) return;
    int32_t w = divide_quick(2097152, d);
    int32_t du1 = wrap_sub(v[1].u, v[0].u);
    int32_t du2 = wrap_sub(v[2].u, v[0].u);
    int32_t dv1 = wrap_sub(v[1].v, v[0].v);
    int32_t dv2 = wrap_sub(v[2].v, v[0].v);

    TextureFill<BLEND> op;
    op.texels = render_state.texture_map;
    op.du_dx = u32(wrap_mul(wrap_sub(wrap_mul(du2, dy1), wrap_mul(du1, dy2)), w) >> 5);
    op.du_dy = u32(wrap_mul(wrap_sub(wrap_mul(du1, dx2), wrap_mul(du2, dx1)), w) >> 5);
    op.dv_dx = u32(wrap_mul(wrap_sub(wrap_mul(dv2, dy1), wrap_mul(dv1, dy2)), w) >> 5);
    op.dv_dy = u32(wrap_mul(wrap_sub(wrap_mul(dv1, dx2), wrap_mul(dv2, dx1)), w) >> 5);
    // u .. span_v are set by start_edge before the first row of each part.

    Edges e = edge_setup(v);
    scan_triangle<CLIP>(target_pixels(), v, e, op);
}

}  // namespace

void fill_flat(TriangleRecord& record) { flat_fill<false>(record); }
void fill_flat_clipped(TriangleRecord& record) { flat_fill<true>(record); }
void fill_flat_or(TriangleRecord& record) { flat_or_fill<false>(record); }
void fill_flat_or_clipped(TriangleRecord& record) { flat_or_fill<true>(record); }
void fill_textured(const TriangleRecord& record) { texture_fill<false, false>(record); }
void fill_textured_clipped(const TriangleRecord& record) { texture_fill<true, false>(record); }
void fill_textured_blend(const TriangleRecord& record) { texture_fill<false, true>(record); }
void fill_textured_blend_clipped(const TriangleRecord& record) { texture_fill<true, true>(record); }

void draw_triangle(TriangleRecord& record) {
    switch (material_mode_of(render_state.current_material)) {
        case MODE_FLAT_OR: fill_flat_or(record); break;
        case MODE_TEXTURED_BLEND: fill_textured_blend(record); break;
        case MODE_FLAT_LIT: fill_flat(record); break;
        default: fill_textured(record); break;
    }
}

void draw_triangle_clipped(TriangleRecord& record) {
    switch (material_mode_of(render_state.current_material)) {
        case MODE_FLAT_OR: fill_flat_or_clipped(record); break;
        case MODE_TEXTURED_BLEND: fill_textured_blend_clipped(record); break;
        case MODE_FLAT_LIT: fill_flat_clipped(record); break;
        default: fill_textured_clipped(record); break;
    }
}

}  // namespace korvax
