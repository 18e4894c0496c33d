// Polygon rasterizers: one screen-space triangle into pixels of the current
// render target. Vertices are sorted by row, edges stepped in 8.8 fixed point
// with RECIP_TABLE instead of divisions, spans written left to right. The
// clipped routines clip each row against the 320 x 240 screen; the unclipped
// ones expect every vertex on the screen.
//
// RECIP_TABLE must be built (build_reciprocal_table) before any of these run.
#pragma once

#include <stdint.h>

namespace korvax {

struct TriangleVertex {
    int32_t x;  // screen column, whole pixels
    int32_t y;  // screen row, whole pixels, growing downward
    int32_t z;  // projected depth (not read here)
    int32_t u;  // texture column in texels, wraps modulo 256
    int32_t v;  // texture row in texels, wraps modulo 256
};

struct TriangleRecord {
    TriangleVertex vertex[3];
};

// Picks the fill routine by material_mode[current_material]: 3 flat OR,
// 4 textured over the darkened background, 2 flat, anything else textured.
// The flat routines leave the record's x and y sorted by row and in 8.8.
void draw_triangle(TriangleRecord& record);
void draw_triangle_clipped(TriangleRecord& record);

// Flat fill with draw_colour. Sorts the record by y and converts x and y in
// place to 8.8 pixel centres (x * 256 + 128, y * 256 + 128).
void fill_flat(TriangleRecord& record);
void fill_flat_clipped(TriangleRecord& record);
// pixel |= draw_colour, with its own row stepping (edges stepped before each
// row). Sorts and converts the record in place as fill_flat does.
void fill_flat_or(TriangleRecord& record);
void fill_flat_or_clipped(TriangleRecord& record);
// Affine texture mapping from texture_map; degenerate triangles draw nothing.
void fill_textured(const TriangleRecord& record);
void fill_textured_clipped(const TriangleRecord& record);
// texel | ((pixel >> 2) & 0x79E7): the texture over a background darkened to a quarter.
void fill_textured_blend(const TriangleRecord& record);
void fill_textured_blend_clipped(const TriangleRecord& record);

}  // namespace korvax
