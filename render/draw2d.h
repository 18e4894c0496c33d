// 2D drawing and full-screen image operations: colour ramps, plain and
// anti-aliased lines with clipping, palette-mapped images, a window of a wider
// image, a stretched texture, reduced copies of a screen region and the
// tunnel effect. Everything draws into render_state.render_target, pixel
// (x, y) at entry 320 * y + x.
#pragma once

#include <stdint.h>

#include "math/fixed_math.h"

namespace korvax {

struct MeshObject;

// 64 entries from colour a towards colour b (low 16 bits of each used):
// entry k has each RGB565 channel a + floor(k * (b - a) / 64), so entry 63
// stops one step short of b.
void build_colour_ramp(uint32_t a, uint32_t b, uint16_t* out);

// Bresenham line in draw_colour, both ends included, no clipping: the caller
// keeps both ends on the screen.
void draw_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1);

// A two-pixel-wide anti-aliased line whose pixel pairs share the 64 levels of
// shade_ramp (entry 63 is a fully covered pixel). Both ends must lie inside
// clip_rect. A pair's lower pixel below row 239 is not written.
void draw_line_aa(int32_t x0, int32_t y0, int32_t x1, int32_t y1);

// Cohen-Sutherland clipping against clip_rect, then draw_line_aa.
void draw_clipped_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1);

// The wire frame of the mesh last drawn: for each of count pairs of the edge
// list, draw_clipped_line between the projected_vertices of slots
// edges[2i] + offset and edges[2i + 1] + offset (16-bit sums). Nothing is
// drawn for a mesh that is not ready, nor for a pair naming a slot past the
// store.
void draw_mesh_edges(const MeshObject& mesh, const int16_t* edges, int32_t count, int32_t offset);

// Every pixel = palette[image[i]] for the 76,800 indices of a full screen.
void blit_indexed(const uint8_t* image, const uint16_t* palette);
// Every pixel |= palette[image[i]].
void blit_indexed_or(const uint8_t* image, const uint16_t* palette);
// ORs a 320 x 240 window of an image row_length pixels wide, starting at
// column x of row y (x, y and row_length taken as unsigned 16-bit values).
void blit_window_or(const uint8_t* image, uint32_t row_length, uint32_t x, uint32_t y, const uint16_t* palette);

// Rows 0..159 from the 80-entry-wide region at (x0, y0) of a source 320
// entries a row, each entry stretched to four pixels; the first entry of a row
// fills three, so every output row ends with the first entry of the next
// source row.
void blit_stretched(int32_t x0, int32_t y0, const uint16_t* source);

// A reduced copy: dst[(dy + i) * row_length + dx + j] =
// src[2x + 640y + 640i + step * j] + 8 (mod 65,536), every step-th pixel of
// every second row of a 320-wide source. x and y are in units of two pixels.
// Rows go top to bottom, and all reads of a row happen before its writes, so
// the frame may be copied into itself.
void copy_downscaled(const uint16_t* src, int32_t x, int32_t y, int32_t step, uint16_t* dst, int32_t dx, int32_t dy,
                     int32_t columns, int32_t rows, int32_t row_length);

// Working store of draw_tunnel: texture coordinates in 8.8 at the corners of
// its 8 x 8 pixel blocks, row 0 the top of the effect, column 0 its left edge.
constexpr int TUNNEL_GRID_ROWS = 25;
constexpr int TUNNEL_GRID_COLUMNS = 41;

struct TunnelPoint {
    int32_t u, v;
};

struct TunnelGrid {
    TunnelPoint point[TUNNEL_GRID_ROWS][TUNNEL_GRID_COLUMNS];
};

extern TunnelGrid tunnel_grid;

// One row of the tunnel's 8 x 8 blocks from grid row top (and the row below
// it) into the 320-wide frame at out: in each block u steps along the top and
// bottom edges and down each column, v along the top and down by the left
// edge's step; the texel is texture[(v & 0xFF00) + (u >> 8 & 0xFF)]. The
// grid's u and v are multiples of 256.
void tunnel_fill_row(uint16_t* out, const uint16_t* texture, const TunnelPoint* top);

// The tunnel effect over rows first_row .. first_row + 191: the grid of
// viewing directions is turned by the matrix and mapped to texture
// coordinates (depth along u, plus scroll; distance from the axis along v),
// then each 8 x 8 block is filled by constant steps. Sets texture_map.
void draw_tunnel(Matrix4 matrix, const uint16_t* texture, int32_t scroll, int32_t first_row);

}  // namespace korvax
