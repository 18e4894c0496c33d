// The mesh pipeline: transforms and projects every vertex of a mesh, rejects
// faces that look away or lie wholly outside the screen or the depth limits,
// colours the rest (lit from the face normal for the flat-lit mode), orders
// them back to front by a depth key and hands each to a rasterizer, through
// the depth clipper where a corner lies outside. There is no depth buffer.
#pragma once

#include <stdint.h>

#include "math/fixed_math.h"
#include "models/mesh.h"
#include "render/rasterizer.h"
#include "render/render_state.h"

namespace korvax {

// key: (Va.z + Vb.z + Vc.z) >> 3. word: bits 0-15 the face colour, 16-30 the
// face number, bit 31 set when a corner lies outside the clip rectangle or
// the depth range.
struct DrawListEntry {
    int32_t key;
    uint32_t word;
};

// Screen x, screen y and projected depth of every vertex slot of the last mesh
// drawn; the wire-frame lines of the 2D operations read them.
extern Vec3 projected_vertices[MESH_SLOTS];
// Environment-map coordinates from the vertex normals: low byte u, high byte v.
extern uint16_t environment_coords[MESH_SLOTS];
extern DrawListEntry draw_list[MESH_SLOTS - 1];

// Draws the mesh into render_target with its vertices transformed by
// matrices[group]; centre_x, centre_y are added to every projected vertex.
void draw_mesh(const MeshObject& mesh, const Matrix4* matrices, int32_t centre_x, int32_t centre_y);
// Stable sort of the first count entries by ascending key: entries with equal
// keys keep their order.
void sort_draw_list(int32_t count);
// Cuts the triangle at the depth limits and draws the pieces.
void clip_and_draw_triangle(TriangleRecord& record);

// Where the pipeline hands its triangles: draw_triangle / draw_triangle_clipped
// unless a test observes them (nullptr restores the rasterizers).
using TriangleSink = void (*)(TriangleRecord& record, bool clipped);
void set_triangle_sink(TriangleSink sink);

// A run of the vertex pass: every vertex from `vertex` up to `end` transformed
// by matrices[group & 15], projected around the centre, its outcode (against
// clip and depth) written when `code` is not null, and its environment
// coordinates from its normal. Every pointer advances by the vertices done.
struct VertexRun {
    ClipRect clip;
    DepthRange depth;
    int32_t centre_x, centre_y;
    const MeshVertex* vertex;
    const MeshVertex* end;
    const Vec3* normal;
    Vec3* projected;
    int32_t* code;
    uint16_t* environment;
    const Matrix4* matrices;
};
void project_vertices(VertexRun& run);

// Writes the number f of every face faces[f], f = 1..count, whose projected
// corners face the viewer (clockwise on the screen, whose y grows downward;
// zero area is not), in order; returns how many it wrote.
int32_t front_faces(uint16_t* numbers, const MeshFace* faces, int32_t count, const Vec3* projected);

// The corners of a face's triangle: the projected vertices of its slots with
// the face's texture coordinates, or with the slots' environment coordinates
// (low byte u, high byte v) when `environment` is not null.
void face_corners(TriangleVertex* corners, const MeshFace& face, const Vec3* projected,
                  const uint16_t* environment);

// Outcode of a projected point: 4 left of / 8 right of the clip rectangle,
// 1 above / 2 below it, 16 nearer than / 32 beyond the depth range.
int32_t outcode(int32_t x, int32_t y, int32_t z);

}  // namespace korvax
