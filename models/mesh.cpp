#include "models/mesh.h"

namespace korvax {

MeshObject meshes[MESH_COUNT];
MeshObject staging_mesh;
VertexFaces vertex_face_table[MESH_SLOTS];

namespace {

// A record whose counts the static arrays cannot hold is left alone by every
// operation below.
bool vertices_in_capacity(const MeshObject& mesh) {
    return mesh.vertex_count != 0 && mesh.vertex_count <= MAX_MESH_VERTICES;
}

bool counts_in_capacity(const MeshObject& mesh) {
    return mesh.vertex_count <= MAX_MESH_VERTICES && mesh.face_count <= MAX_MESH_FACES;
}

bool corner_in_record(int32_t corner) { return corner >= 0 && corner < MESH_SLOTS; }

Vec3 position(const MeshVertex& v) { return {v.x, v.y, v.z}; }

// The one rule of the vertex transforms: nothing for an empty or over-full
// record; otherwise every vertex in slot order whose group matches (a negative
// group selects all) has its position replaced by move(position).
template <typename Move>
void move_selected(MeshObject& mesh, int32_t group, Move move) {
    if (!vertices_in_capacity(mesh)) return;
    for (int i = 1; i <= mesh.vertex_count; ++i) {
        MeshVertex& v = mesh.vertices[i];
        if (group >= 0 && group != v.group) continue;
        Vec3 p = position(v);
        move(p);
        v.x = p.x;
        v.y = p.y;
        v.z = p.z;
    }
}

bool has_corner(const MeshFace& face, int32_t v) {
    return face.vertex_a == v || face.vertex_b == v || face.vertex_c == v;
}

// How many of a's three corner values occur among b's corners, each of a's
// corners counted on its own.
int shared_corners(const MeshFace& a, const MeshFace& b) {
    return int(has_corner(b, a.vertex_a)) + int(has_corner(b, a.vertex_b)) + int(has_corner(b, a.vertex_c));
}

}  // namespace

void clear_mesh(MeshObject& mesh) {
    mesh.vertex_count = 0;
    mesh.face_count = 0;
}

void copy_mesh(MeshObject& dst, const MeshObject& src) {
    clear_mesh(dst);
    if (src.vertex_count > MAX_MESH_VERTICES || src.face_count > MAX_MESH_FACES) return;
    dst.vertex_count = src.vertex_count;
    for (int i = 1; i <= src.vertex_count; ++i) dst.vertices[i] = src.vertices[i];
    dst.face_count = src.face_count;
    for (int f = 1; f <= src.face_count; ++f) dst.faces[f] = src.faces[f];
}

void set_vertex_group(MeshObject& mesh, int32_t group) {
    if (!vertices_in_capacity(mesh)) return;
    const uint16_t g = static_cast<uint16_t>(group & 0xFFFF);
    for (int i = 1; i <= mesh.vertex_count; ++i) mesh.vertices[i].group = g;
}

void set_vertex_positions(MeshObject& mesh, const int16_t* positions, uint16_t count, uint16_t first) {
    if (first >= mesh.vertex_count || count == 0) return;
    // The run stops at the last vertex (and never leaves the record).
    int32_t last = first + count - 1;
    if (last > mesh.vertex_count) last = mesh.vertex_count;
    if (last > MESH_SLOTS - 1) last = MESH_SLOTS - 1;
    for (int32_t slot = first; slot <= last; ++slot) {
        const int16_t* p = positions + 3 * (slot - first);
        mesh.vertices[slot].x = p[0];
        mesh.vertices[slot].y = p[1];
        mesh.vertices[slot].z = p[2];
    }
}

void scale_vertices(MeshObject& mesh, int32_t group, int32_t factor) {
    move_selected(mesh, group, [factor](Vec3& p) { vec3_scale(p, p, factor); });
}

void scale_mesh(MeshObject& mesh, int32_t factor) { scale_vertices(mesh, -1, factor); }

void translate_vertices(MeshObject& mesh, int32_t group, const Vec3& offset) {
    move_selected(mesh, group, [&offset](Vec3& p) { vec3_add(p, p, offset); });
}

void translate_mesh(MeshObject& mesh, const Vec3& offset) {
    const Vec3 copy = offset;
    translate_vertices(mesh, -1, copy);
}

void update_normals(MeshObject& mesh) {
    if (mesh.vertex_count == 0) return;
    if (!counts_in_capacity(mesh)) return;
    mesh.ready = true;
    if (mesh.face_count == 0) return;
    for (int f = 1; f <= mesh.face_count; ++f) compute_face_normal(mesh, f);
    smooth_face_normals(mesh);
    compute_vertex_normals(mesh);
}

void compute_face_normal(MeshObject& mesh, int32_t face) {
    if (face < 1 || face > MAX_MESH_FACES) return;
    MeshFace& fc = mesh.faces[face];
    if (!corner_in_record(fc.vertex_a) || !corner_in_record(fc.vertex_b) || !corner_in_record(fc.vertex_c)) {
        fc.normal = {0, 0, 0};
        return;
    }
    const Vec3 p0 = position(mesh.vertices[fc.vertex_a]);
    const Vec3 p1 = position(mesh.vertices[fc.vertex_b]);
    const Vec3 p2 = position(mesh.vertices[fc.vertex_c]);
    Vec3 e1, e2;
    vec3_sub(e1, p1, p0);
    vec3_sub(e2, p2, p0);
    const int32_t cx = wrap_sub(wrap_mul(e1.y, e2.z), wrap_mul(e1.z, e2.y));
    const int32_t cy = wrap_sub(wrap_mul(e1.z, e2.x), wrap_mul(e1.x, e2.z));
    const int32_t cz = wrap_sub(wrap_mul(e1.x, e2.y), wrap_mul(e1.y, e2.x));

    // The length test and the normalisation use 64-bit sums of squares: the
    // cross products of large faces reach squared lengths beyond 2^31, where
    // 32-bit sums would wrap and point the normal elsewhere. Below 2^30 the
    // results equal those of the 32-bit operations.
    Vec3 n{cx >> 3, cy >> 3, cz >> 3};
    const int64_t sx = n.x, sy = n.y, sz = n.z;
    const int64_t squared = sx * sx + sy * sy + sz * sz;
    if (squared < 16 * 16) {
        // Short cross product (length 15 or less after the shift): use it
        // unshifted and scaled by 256 to keep its direction.
        n = {wrap_mul(cx, FIX8_ONE), wrap_mul(cy, FIX8_ONE), wrap_mul(cz, FIX8_ONE)};
    }
    vec3_normalise_wide(n);
    fc.normal = n;
}

void smooth_face_normals(MeshObject& mesh) {
    if (!counts_in_capacity(mesh)) return;
    const int32_t count = mesh.face_count;
    for (int32_t i = 1; i <= count; ++i) {
        MeshFace& fi = mesh.faces[i];
        const Vec3 n = fi.normal;  // i's normal as its pass began
        for (int32_t j = i + 1; j <= count; ++j) {
            MeshFace& fj = mesh.faces[j];
            if (shared_corners(fi, fj) < 2) continue;
            if (vec3_dot(n, fj.normal) <= 8) continue;
            Vec3 m;
            vec3_add(m, n, fj.normal);
            vec3_scale(m, m, 128);
            fi.normal = m;
            fj.normal = m;
        }
    }
}

void compute_vertex_normals(MeshObject& mesh) {
    if (mesh.face_count == 0) return;
    if (!counts_in_capacity(mesh)) return;
    const int32_t vertex_count = mesh.vertex_count;
    const int32_t face_count = mesh.face_count;

    for (int32_t v = 0; v <= vertex_count; ++v) vertex_face_table[v].count = 0;
    for (int32_t f = 1; f <= face_count; ++f) {
        const MeshFace& face = mesh.faces[f];
        const int32_t corners[3] = {face.vertex_a, face.vertex_b, face.vertex_c};
        for (int32_t corner : corners) {
            if (!corner_in_record(corner)) continue;
            VertexFaces& entry = vertex_face_table[corner];
            // A face with a repeated corner is recorded once per occurrence.
            if (entry.count < VERTEX_FACE_LIMIT) entry.faces[entry.count++] = f;
        }
    }

    for (int32_t v = 1; v <= vertex_count; ++v) {
        const VertexFaces& entry = vertex_face_table[v];
        Vec3 sum{127, 127, 0};
        if (entry.count == 0) {
            mesh.vertex_normals[v] = sum;
            continue;
        }
        for (int32_t r = 0; r < entry.count; ++r) {
            const MeshFace& face = mesh.faces[entry.faces[r]];
            if (has_corner(face, v)) vec3_add(sum, sum, face.normal);
        }
        if (entry.count == VERTEX_FACE_LIMIT) {
            // The list is full: the faces beyond its last entry are scanned.
            for (int32_t f = entry.faces[VERTEX_FACE_LIMIT - 1] + 1; f <= face_count; ++f) {
                const MeshFace& face = mesh.faces[f];
                if (has_corner(face, v)) vec3_add(sum, sum, face.normal);
            }
        }
        vec3_normalise(sum);
        mesh.vertex_normals[v] = sum;
    }
}

}  // namespace korvax
