#include "models/model_loader.h"

namespace korvax {

namespace {

uint32_t read_be16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }

uint32_t read_be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

int32_t read_be_int16(const uint8_t* p) { return static_cast<int16_t>(static_cast<uint16_t>(read_be16(p))); }

int32_t read_le_int32(const uint8_t* p) {
    return static_cast<int32_t>(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
                                (uint32_t(p[3]) << 24));
}

constexpr uint32_t HEADER_BYTES = 14;  // magic, L, N
constexpr uint32_t RECORD_BYTES = 8;   // vertex and face records alike

// Where the parts of an asset lie, once they are known to lie inside it.
struct AssetLayout {
    uint32_t vertex_count;
    uint32_t face_count;
    const uint8_t* vertex_records;
    const uint8_t* face_records;
};

// Checks every count and offset against the asset's length and the record's
// capacity, and every vertex number against the asset's own vertices.
bool read_layout(const ModelAsset& asset, AssetLayout& layout) {
    if (asset.bytes == nullptr || asset.size < HEADER_BYTES) return false;
    const uint64_t size = asset.size;
    const uint32_t records = read_be16(asset.bytes + 12);
    const uint32_t vertex_count = (records - 1) & 0xFFFF;  // N = 0 wraps to 65,535
    if (vertex_count > uint32_t(MAX_MESH_VERTICES)) return false;
    if (HEADER_BYTES + uint64_t(RECORD_BYTES) * records > size) return false;

    const uint64_t face_block = HEADER_BYTES + uint64_t(read_be32(asset.bytes + 8));
    if (face_block + 4 > size) return false;
    const uint32_t face_count = read_be32(asset.bytes + face_block) & 0xFFFF;
    if (face_count > uint32_t(MAX_MESH_FACES)) return false;
    if (face_block + 4 + uint64_t(RECORD_BYTES) * face_count > size) return false;

    const uint8_t* faces = asset.bytes + face_block + 4;
    const int32_t last_vertex = int32_t(vertex_count) - 1;
    for (uint32_t f = 0; f < face_count; ++f) {
        const uint8_t* record = faces + RECORD_BYTES * f;
        for (int corner = 0; corner < 3; ++corner) {
            int32_t n = read_be_int16(record + 2 * corner);
            if (n < -1 || n > last_vertex) return false;
        }
    }
    layout = {vertex_count, face_count, asset.bytes + HEADER_BYTES, faces};
    return true;
}

TexCoord planar_uv(const MeshVertex& v) { return {(v.x >> 4) & 0xFF, (v.z >> 4) & 0xFF}; }

TexCoord table_uv(const uint8_t* pair) { return {(pair[0] + 2) & 0xFF, (0 - pair[1]) & 0xFF}; }

bool corner_in_record(int32_t corner) { return corner >= 0 && corner < MESH_SLOTS; }

}  // namespace

int load_model(MeshObject& mesh, const ModelAsset& asset) {
    AssetLayout layout;
    if (!read_layout(asset, layout)) {
        clear_mesh(mesh);
        return 0;
    }
    // Vertex slot 0 is not written: the corners numbered -1 use it.
    for (uint32_t i = 0; i < layout.vertex_count; ++i) {
        const uint8_t* record = layout.vertex_records + RECORD_BYTES * i;
        MeshVertex& v = mesh.vertices[i + 1];
        v.x = read_be_int16(record);
        v.y = read_be_int16(record + 2);
        v.z = read_be_int16(record + 4);
        v.group = static_cast<uint16_t>(read_be16(record + 6));
    }
    for (uint32_t f = 1; f <= layout.face_count; ++f) {
        const uint8_t* record = layout.face_records + RECORD_BYTES * (f - 1);
        MeshFace& face = mesh.faces[f];
        face.vertex_a = read_be_int16(record) + 1;
        face.vertex_b = read_be_int16(record + 2) + 1;
        face.vertex_c = read_be_int16(record + 4) + 1;
        face.material = read_be_int16(record + 6);
    }
    mesh.vertex_count = static_cast<uint16_t>(layout.vertex_count);
    mesh.face_count = static_cast<uint16_t>(layout.face_count);
    update_normals(mesh);
    compute_planar_uvs(mesh);
    return 1;
}

void compute_planar_uvs(MeshObject& mesh) {
    if (mesh.face_count > MAX_MESH_FACES) return;
    for (int f = 1; f <= mesh.face_count; ++f) {
        MeshFace& face = mesh.faces[f];
        if (!corner_in_record(face.vertex_a) || !corner_in_record(face.vertex_b) ||
            !corner_in_record(face.vertex_c))
            continue;
        face.uv_a = planar_uv(mesh.vertices[face.vertex_a]);
        face.uv_b = planar_uv(mesh.vertices[face.vertex_b]);
        face.uv_c = planar_uv(mesh.vertices[face.vertex_c]);
    }
}

int apply_uv_table(MeshObject& mesh, const UvTable& table) {
    uint32_t groups = table.bytes == nullptr ? 0 : table.size / 6;
    uint32_t faces = mesh.face_count > MAX_MESH_FACES ? 0 : mesh.face_count;
    if (groups > faces) groups = faces;
    for (uint32_t f = 1; f <= groups; ++f) {
        const uint8_t* group = table.bytes + 6 * (f - 1);
        MeshFace& face = mesh.faces[f];
        face.uv_a = table_uv(group);
        face.uv_b = table_uv(group + 2);
        face.uv_c = table_uv(group + 4);
    }
    return 1;
}

int append_model(MeshObject& mesh, const ModelAsset& asset, int32_t group_offset) {
    copy_mesh(staging_mesh, mesh);
    load_model(mesh, asset);  // the mesh now holds the new model alone
    const int32_t sv = staging_mesh.vertex_count, sf = staging_mesh.face_count;
    const int32_t nv = mesh.vertex_count, nf = mesh.face_count;

    if (sv + nv > MAX_MESH_VERTICES || sf + nf > MAX_MESH_FACES) {
        clear_mesh(mesh);
        return 0;
    }
    for (int32_t i = 1; i <= nv; ++i) {
        MeshVertex& v = staging_mesh.vertices[sv + i];
        v = mesh.vertices[i];
        v.group = static_cast<uint16_t>((v.group + group_offset) & 0xFFFF);
    }
    for (int32_t f = 1; f <= nf; ++f) {
        MeshFace& face = staging_mesh.faces[sf + f];
        face = mesh.faces[f];
        face.vertex_a += sv;
        face.vertex_b += sv;
        face.vertex_c += sv;
    }
    staging_mesh.vertex_count = static_cast<uint16_t>(sv + nv);
    staging_mesh.face_count = static_cast<uint16_t>(sf + nf);

    mesh.vertex_count = static_cast<uint16_t>(sv + nv);
    mesh.vertices[0].x = 0;
    mesh.vertices[0].y = 0;
    mesh.vertices[0].z = 0;
    for (int32_t i = 1; i <= sv + nv; ++i) mesh.vertices[i] = staging_mesh.vertices[i];
    mesh.face_count = static_cast<uint16_t>(sf + nf);
    for (int32_t f = 1; f <= sf + nf; ++f) mesh.faces[f] = staging_mesh.faces[f];
    update_normals(mesh);
    return 1;
}

void load_camera_path(const uint8_t* source, uint32_t size, CameraPath& path) {
    constexpr uint32_t KEY_BYTES = 7 * 4;
    if (source == nullptr || size < 4) {
        path.count = 0;
        return;
    }
    int32_t count = read_le_int32(source);
    if (count < 0) count = 0;
    if (count > CAMERA_PATH_KEYS) count = CAMERA_PATH_KEYS;
    const uint32_t whole_keys = (size - 4) / KEY_BYTES;
    if (uint32_t(count) > whole_keys) count = static_cast<int32_t>(whole_keys);
    path.count = count;

    // The stored rotation is turned half a turn about z (w 0, z 256) and
    // normalised once more: the product need not come out at length 256 exactly.
    const Quat turn{0, 0, 0, FIX8_ONE};
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* record = source + 4 + KEY_BYTES * uint32_t(i);
        int32_t s[7];
        for (int w = 0; w < 7; ++w) s[w] = read_le_int32(record + 4 * w);
        CameraKey& key = path.keys[i];
        key.position = {s[0], s[1], s[2]};
        quat_multiply(key.orientation, turn, Quat{s[3], s[4], s[5], s[6]});
        quat_normalise(key.orientation);
    }
}

}  // namespace korvax
