// The embedded model format and its loaders.
//
// ModelAsset, all fields big-endian (offsets in bytes):
//   0   8      magic "KORVAX3D" (not examined)
//   8   4      L, byte length of the vertex records (8 * N)
//   12  2      N, number of vertex records; the model has N - 1 vertices
//   14  8 * N  vertex records: x, y, z (int16), group (uint16); the last is all zero
//   14 + L  4  face count (only the low 16 bits are used)
//   18 + L  8 * face count  face records: a, b, c, material (int16); a, b and c
//              count vertices from 0, and -1 names vertex slot 0
// UvTable: six bytes a face in face order (u, v of corner a, then b, then c).
//
// The camera key table, all fields little-endian int32: a key count K, then K
// records of position x, y, z and a rotation quaternion w, x, y, z of any length.
#pragma once

#include <stdint.h>

#include "math/fixed_math.h"
#include "models/mesh.h"

namespace korvax {

// An asset in place in the embedded data, with its length in bytes.
struct ModelAsset {
    const uint8_t* bytes;
    uint32_t size;
};

struct UvTable {
    const uint8_t* bytes;
    uint32_t size;
};

// Loads the asset into the mesh: vertices into slots 1..N-1, faces into slots
// 1..face count, then normals and projected texture coordinates. Returns 1.
// An asset that the record cannot hold or that breaks its own layout (too
// short for its counts, a vertex number outside -1..vertices-1) is refused
// before anything is written: the mesh is left empty and the result is 0.
int load_model(MeshObject& mesh, const ModelAsset& asset);
// Texture coordinates projected onto the x-z plane, repeating every 4096 units.
void compute_planar_uvs(MeshObject& mesh);
// Replaces the texture coordinates from the table: u shifted by 2 texels, v
// mirrored. Faces beyond the table's whole groups keep theirs. Returns 1.
int apply_uv_table(MeshObject& mesh, const UvTable& table);
// Merges the asset behind the mesh's vertices and faces, the new vertices'
// groups raised by group_offset (low 16 bits). Returns 1, or 0 when the merged
// vertices or faces would not fit: the mesh is then left empty.
int append_model(MeshObject& mesh, const ModelAsset& asset, int32_t group_offset);
// Loads the keys into the path, orientation first. At most 32 keys are taken,
// and only whole records inside size bytes.
void load_camera_path(const uint8_t* source, uint32_t size, CameraPath& path);

// The embedded camera key table (five keys).
extern const uint8_t CAMERA_KEY_TABLE[];
extern const uint32_t CAMERA_KEY_TABLE_SIZE;

}  // namespace korvax
