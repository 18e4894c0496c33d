// The test suite's own reading of the embedded bytes, written from the
// formats alone (independent of the generator's code).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "assets/assets.h"

namespace korvax::asset_test {

struct Bytes {
    const uint8_t* data = nullptr;
    size_t size = 0;
    uint8_t operator[](size_t i) const { return data[i]; }
};

inline Bytes bytes_of(AssetId id) {
    const Blob b = embedded_asset(id);
    return {b.data, b.size};
}

inline int be16s(const uint8_t* p) { return static_cast<int16_t>(static_cast<uint16_t>(p[0] << 8 | p[1])); }
inline unsigned be16u(const uint8_t* p) { return static_cast<unsigned>(p[0] << 8 | p[1]); }
inline uint32_t be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}
inline int le16s(const uint8_t* p) { return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8)); }

struct Vertex {
    int x, y, z;
    unsigned group;
};
struct Face {
    int a, b, c, material;  // 0-based vertex numbers as stored (-1 allowed)
};

struct Model {
    std::string problem;  // empty when the layout parsed
    std::array<uint8_t, 8> magic{};
    uint32_t block_length = 0;
    unsigned n = 0;
    std::vector<Vertex> vertices;  // the N - 1 loaded records
    std::array<int, 4> closing{};  // the last vertex record
    uint32_t face_word = 0;        // the whole 32-bit face count
    std::vector<Face> faces;
    size_t layout_size = 0;  // 18 + L + 8 x faces
};

inline Model read_model(Bytes b) {
    Model m;
    if (b.size < 18) {
        m.problem = "too short";
        return m;
    }
    for (int i = 0; i < 8; ++i) m.magic[static_cast<size_t>(i)] = b[static_cast<size_t>(i)];
    m.block_length = be32(b.data + 8);
    m.n = be16u(b.data + 12);
    if (m.n == 0 || 14 + static_cast<size_t>(m.block_length) + 4 > b.size) {
        m.problem = "vertex block does not fit";
        return m;
    }
    for (unsigned i = 0; i + 1 < m.n; ++i) {
        const uint8_t* r = b.data + 14 + 8 * i;
        m.vertices.push_back({be16s(r), be16s(r + 2), be16s(r + 4), be16u(r + 6)});
    }
    const uint8_t* last = b.data + 14 + 8 * (m.n - 1);
    m.closing = {be16s(last), be16s(last + 2), be16s(last + 4), static_cast<int>(be16u(last + 6))};
    m.face_word = be32(b.data + 14 + m.block_length);
    const size_t faces = m.face_word & 0xFFFF;
    m.layout_size = 18 + m.block_length + 8 * faces;
    if (m.layout_size > b.size) {
        m.problem = "face block does not fit";
        return m;
    }
    for (size_t f = 0; f < faces; ++f) {
        const uint8_t* r = b.data + 18 + m.block_length + 8 * f;
        m.faces.push_back({be16s(r), be16s(r + 2), be16s(r + 4), be16s(r + 6)});
    }
    return m;
}

struct Point {
    double x, y, z;
};

inline Point position(const Model& m, int v) {
    const Vertex& p = m.vertices[static_cast<size_t>(v)];
    return {static_cast<double>(p.x), static_cast<double>(p.y), static_cast<double>(p.z)};
}

// Six times the volume enclosed by the faces, with corner positions from
// pos (vertex number -> point).
template <typename PosFn>
double enclosed_volume(const std::vector<Face>& faces, PosFn pos) {
    double v = 0;
    for (const Face& f : faces) {
        const Point a = pos(f.a), b = pos(f.b), c = pos(f.c);
        v += a.x * (b.y * c.z - b.z * c.y) + a.y * (b.z * c.x - b.x * c.z) + a.z * (b.x * c.y - b.y * c.x);
    }
    return v;
}

// Every directed edge occurs once and meets its opposite once: the faces
// form closed surfaces whose windings agree.
inline bool closed_and_consistent(const std::vector<Face>& faces) {
    std::map<std::pair<int, int>, int> edges;
    for (const Face& f : faces) {
        if (f.a == f.b || f.b == f.c || f.a == f.c) return false;
        ++edges[{f.a, f.b}];
        ++edges[{f.b, f.c}];
        ++edges[{f.c, f.a}];
    }
    for (const auto& [e, n] : edges) {
        if (n != 1) return false;
        auto it = edges.find({e.second, e.first});
        if (it == edges.end() || it->second != 1) return false;
    }
    return true;
}

// Splits faces into groups joined by shared vertices.
inline std::vector<std::vector<Face>> components(const std::vector<Face>& faces, size_t vertex_count) {
    std::vector<int> parent(vertex_count);
    for (size_t i = 0; i < vertex_count; ++i) parent[i] = static_cast<int>(i);
    auto find = [&](int v) {
        while (parent[static_cast<size_t>(v)] != v) v = parent[static_cast<size_t>(v)] = parent[static_cast<size_t>(parent[static_cast<size_t>(v)])];
        return v;
    };
    for (const Face& f : faces) {
        parent[static_cast<size_t>(find(f.b))] = find(f.a);
        parent[static_cast<size_t>(find(f.c))] = find(f.a);
    }
    std::map<int, std::vector<Face>> groups;
    for (const Face& f : faces) groups[find(f.a)].push_back(f);
    std::vector<std::vector<Face>> out;
    for (auto& [root, fs] : groups) out.push_back(fs);
    return out;
}

// Key shape: records of four little-endian int16 up to and including the
// first all-zero record.
struct KeyShape {
    std::vector<std::array<int, 4>> records;  // before the terminator
    bool terminated = false;
    size_t terminator_at = 0;  // byte offset of the terminator
};

inline KeyShape read_key(Bytes b) {
    KeyShape k;
    for (size_t off = 0; off + 8 <= b.size; off += 8) {
        const std::array<int, 4> r = {le16s(b.data + off), le16s(b.data + off + 2), le16s(b.data + off + 4),
                                      le16s(b.data + off + 6)};
        if (r[0] == 0 && r[1] == 0 && r[2] == 0 && r[3] == 0) {
            k.terminated = true;
            k.terminator_at = off;
            break;
        }
        k.records.push_back(r);
    }
    return k;
}

}  // namespace korvax::asset_test
