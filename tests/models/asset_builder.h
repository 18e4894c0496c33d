// Builds model assets and texture-coordinate tables in their stored byte
// layouts for the tests.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "models/mesh.h"
#include "models/model_loader.h"

namespace korvax::testing {

struct AssetVertex {
    int32_t x, y, z;
    uint32_t group;
};

struct AssetFace {
    int32_t a, b, c;  // vertex numbers from 0, -1 for vertex slot 0
    int32_t material;
};

inline void put_be16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

inline void put_be32(std::vector<uint8_t>& out, uint32_t v) {
    put_be16(out, v >> 16);
    put_be16(out, v & 0xFFFF);
}

// A well-formed asset: magic, L = 8 N, N = vertices + 1, the records, the zero
// record, the face count, the faces and the trailing zero byte.
inline std::vector<uint8_t> build_asset(const std::vector<AssetVertex>& vertices, const std::vector<AssetFace>& faces,
                                        uint32_t face_count_high = 0) {
    std::vector<uint8_t> out = {'K', 'O', 'R', 'V', 'A', 'X', '3', 'D'};
    const uint32_t records = uint32_t(vertices.size()) + 1;
    put_be32(out, 8 * records);
    put_be16(out, records);
    for (const AssetVertex& v : vertices) {
        put_be16(out, uint32_t(v.x) & 0xFFFF);
        put_be16(out, uint32_t(v.y) & 0xFFFF);
        put_be16(out, uint32_t(v.z) & 0xFFFF);
        put_be16(out, v.group & 0xFFFF);
    }
    for (int i = 0; i < 8; ++i) out.push_back(0);
    put_be32(out, (face_count_high << 16) | uint32_t(faces.size()));
    for (const AssetFace& f : faces) {
        put_be16(out, uint32_t(f.a) & 0xFFFF);
        put_be16(out, uint32_t(f.b) & 0xFFFF);
        put_be16(out, uint32_t(f.c) & 0xFFFF);
        put_be16(out, uint32_t(f.material) & 0xFFFF);
    }
    out.push_back(0);
    return out;
}

inline ModelAsset as_model(const std::vector<uint8_t>& bytes) { return {bytes.data(), uint32_t(bytes.size())}; }
inline UvTable as_table(const std::vector<uint8_t>& bytes) { return {bytes.data(), uint32_t(bytes.size())}; }

// Mesh records are far too large for the stack; these start all zero, as the
// static ones do.
inline std::unique_ptr<MeshObject> new_mesh() { return std::make_unique<MeshObject>(); }

}  // namespace korvax::testing
