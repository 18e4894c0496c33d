// Mesh objects: the in-memory form of a model, a fixed-capacity array of
// vertices and of triangular faces with one normal per face and per vertex.
// Vertex and face slots count from 1; slot 0 of both arrays holds no vertex or
// face, and a face corner of 0 names vertex slot 0 at (0, 0, 0).
#pragma once

#include <stdint.h>

#include "math/fixed_math.h"

namespace korvax {

constexpr int MESH_SLOTS = 10385;         // per array, slot 0 unused
constexpr int MAX_MESH_VERTICES = 10383;  // largest vertex_count the vertex operations accept
constexpr int MAX_MESH_FACES = MESH_SLOTS - 1;
constexpr int VERTEX_FACE_LIMIT = 21;     // faces remembered per vertex
constexpr int MESH_COUNT = 13;

struct MeshVertex {
    int32_t x, y, z;
    uint16_t group;  // index 0..15 of the group matrix applied at render time
};

struct TexCoord {
    int32_t u, v;  // 0..255
};

struct MeshFace {
    int32_t vertex_a, vertex_b, vertex_c;  // corner order fixes the normal's direction
    int32_t material;
    TexCoord uv_a, uv_b, uv_c;
    Vec3 normal;  // direction of length about 256, components in -128..127
};

struct MeshObject {
    MeshVertex vertices[MESH_SLOTS];
    MeshFace faces[MESH_SLOTS];
    Vec3 vertex_normals[MESH_SLOTS];
    bool ready;  // set by the first update_normals while the mesh holds vertices
    uint16_t vertex_count;
    uint16_t face_count;
};

// Scratch of compute_vertex_normals: for each vertex slot, the first faces
// that use it, in increasing order.
struct VertexFaces {
    int32_t count;
    int32_t faces[VERTEX_FACE_LIMIT];
};

// All zero at static initialisation: empty, not ready, every normal (0, 0, 0).
extern MeshObject meshes[MESH_COUNT];
extern MeshObject staging_mesh;
extern VertexFaces vertex_face_table[MESH_SLOTS];

// Counts to 0; slots, normals and ready stay.
void clear_mesh(MeshObject& mesh);
// Vertices (x, y, z, group) and faces (all fields); dst's vertex normals and
// ready stay. A source above MAX_MESH_VERTICES leaves dst empty.
void copy_mesh(MeshObject& dst, const MeshObject& src);
// Every vertex gets group & 0xFFFF.
void set_vertex_group(MeshObject& mesh, int32_t group);
// Writes count int16 (x, y, z) triples into the vertex slots from first on.
// Nothing happens when first >= vertex_count or count is 0; a run reaching
// past vertex_count stops at vertex_count.
void set_vertex_positions(MeshObject& mesh, const int16_t* positions, uint16_t count, uint16_t first);
// Selected vertices (group < 0: all) scaled by factor / 256.
void scale_vertices(MeshObject& mesh, int32_t group, int32_t factor);
void scale_mesh(MeshObject& mesh, int32_t factor);
void translate_vertices(MeshObject& mesh, int32_t group, const Vec3& offset);
void translate_mesh(MeshObject& mesh, const Vec3& offset);

// Face normals, their smoothing, vertex normals; marks the mesh ready.
void update_normals(MeshObject& mesh);
void compute_face_normal(MeshObject& mesh, int32_t face);
void smooth_face_normals(MeshObject& mesh);
void compute_vertex_normals(MeshObject& mesh);

}  // namespace korvax
