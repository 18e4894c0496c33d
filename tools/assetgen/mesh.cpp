#include "mesh.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <stdexcept>

namespace korvax::assetgen {

void quad_uv(Mesh& m, int a, int b, int c, int d, int material, const std::array<double, 8>& uv) {
    Face& f1 = m.tri(a, b, c, material);
    f1.uv = {uv[0], uv[1], uv[2], uv[3], uv[4], uv[5]};
    Face& f2 = m.tri(a, c, d, material);
    f2.uv = {uv[0], uv[1], uv[4], uv[5], uv[6], uv[7]};
}

Bounds bounds(const std::vector<Vec3d>& points) {
    Bounds b{points.front(), points.front()};
    for (const Vec3d& p : points) {
        b.lo = {std::min(b.lo.x, p.x), std::min(b.lo.y, p.y), std::min(b.lo.z, p.z)};
        b.hi = {std::max(b.hi.x, p.x), std::max(b.hi.y, p.y), std::max(b.hi.z, p.z)};
    }
    return b;
}

Bounds bounds(const Mesh& m) {
    std::vector<Vec3d> pts;
    pts.reserve(m.vertices.size());
    for (const Vertex& v : m.vertices) pts.push_back(v.p);
    return bounds(pts);
}

AxisMap fit_map(const Bounds& from, Vec3d lo, Vec3d hi) {
    AxisMap map;
    auto axis = [](double f0, double f1, double t0, double t1, double& scale, double& offset) {
        if (f1 - f0 <= 0) {
            scale = 1;
            offset = (t0 + t1) / 2 - f0;
            return;
        }
        scale = (t1 - t0) / (f1 - f0);
        offset = t0 - f0 * scale;
    };
    axis(from.lo.x, from.hi.x, lo.x, hi.x, map.scale.x, map.offset.x);
    axis(from.lo.y, from.hi.y, lo.y, hi.y, map.scale.y, map.offset.y);
    axis(from.lo.z, from.hi.z, lo.z, hi.z, map.scale.z, map.offset.z);
    return map;
}

void apply_map(Mesh& m, const AxisMap& map) {
    for (Vertex& v : m.vertices) v.p = map.apply(v.p);
}

void reorder_vertices(Mesh& m, const std::vector<int>& order) {
    if (order.size() != m.vertices.size()) throw std::runtime_error("reorder: size");
    std::vector<int> new_index(order.size(), -1);
    std::vector<Vertex> moved(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        if (new_index[static_cast<size_t>(order[i])] != -1) throw std::runtime_error("reorder: not a permutation");
        new_index[static_cast<size_t>(order[i])] = static_cast<int>(i);
        moved[i] = m.vertices[static_cast<size_t>(order[i])];
    }
    m.vertices = std::move(moved);
    auto remap = [&](int c) { return c < 0 ? c : new_index[static_cast<size_t>(c)]; };
    for (Face& f : m.faces) {
        f.a = remap(f.a);
        f.b = remap(f.b);
        f.c = remap(f.c);
    }
}

static int16_t to_int16(double v) {
    const long r = round_int(v);
    if (r < -32768 || r > 32767) throw std::runtime_error("coordinate outside int16");
    return static_cast<int16_t>(r);
}

std::array<int16_t, 3> quantise(Vec3d p) { return {to_int16(p.x), to_int16(p.y), to_int16(p.z)}; }

std::vector<Vec3d> quantised_positions(const Mesh& m) {
    std::vector<Vec3d> out;
    out.reserve(m.vertices.size());
    for (const Vertex& v : m.vertices) {
        const auto q = quantise(v.p);
        out.push_back({static_cast<double>(q[0]), static_cast<double>(q[1]), static_cast<double>(q[2])});
    }
    return out;
}

static void put16(Bytes& out, int v) {
    const uint16_t u = static_cast<uint16_t>(v);
    out.push_back(static_cast<uint8_t>(u >> 8));
    out.push_back(static_cast<uint8_t>(u & 0xFF));
}

static void put32(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

Bytes encode_model(const Mesh& m) {
    const size_t n = m.vertices.size() + 1;
    if (n > 65535 || m.faces.size() > 65535) throw std::runtime_error("model too large");
    Bytes out;
    for (char c : std::string("KORVAX3D")) out.push_back(static_cast<uint8_t>(c));
    put32(out, static_cast<uint32_t>(8 * n));
    put16(out, static_cast<int>(n));
    for (const Vertex& v : m.vertices) {
        const auto q = quantise(v.p);
        put16(out, q[0]);
        put16(out, q[1]);
        put16(out, q[2]);
        put16(out, v.group);
    }
    for (int i = 0; i < 4; ++i) put16(out, 0);  // the closing all-zero record
    put32(out, static_cast<uint32_t>(m.faces.size()));
    const int vcount = static_cast<int>(m.vertices.size());
    for (const Face& f : m.faces) {
        for (int c : {f.a, f.b, f.c}) {
            if (c < -1 || c >= vcount) throw std::runtime_error("face corner out of range");
            put16(out, c);
        }
        put16(out, f.material);
    }
    out.push_back(0);  // every embedded asset is followed by a zero byte
    return out;
}

Bytes encode_uv_table(const Mesh& m) {
    Bytes out;
    out.reserve(m.faces.size() * 6);
    for (const Face& f : m.faces) {
        for (int k = 0; k < 3; ++k) {
            const long u = round_int(clampd(f.uv[2 * k], 0, 255));
            const long v = round_int(clampd(f.uv[2 * k + 1], 0, 255));
            out.push_back(static_cast<uint8_t>((u - 2) & 0xFF));
            out.push_back(static_cast<uint8_t>((-v) & 0xFF));
        }
    }
    return out;
}

Bytes encode_key(const std::vector<Vec3d>& positions, int shift, Vec3d offset) {
    Bytes out;
    auto put = [&](long v) {
        if (v < -32768 || v > 32767) throw std::runtime_error("key value outside int16");
        const uint16_t u = static_cast<uint16_t>(static_cast<int16_t>(v));
        out.push_back(static_cast<uint8_t>(u & 0xFF));
        out.push_back(static_cast<uint8_t>(u >> 8));
    };
    const long scale = 1L << shift;
    for (const Vec3d& p : positions) {
        const auto q = quantise(p);
        long x = (q[0] - round_int(offset.x)) * scale;
        long y = (q[1] - round_int(offset.y)) * scale;
        long z = (q[2] - round_int(offset.z)) * scale;
        if (x == 0 && y == 0 && z == 0) x = scale;  // never a record that reads as the terminator
        put(x);
        put(y);
        put(z);
        put(0);
    }
    for (int i = 0; i < 4; ++i) put(0);
    return out;
}

std::string check_closed(const Mesh& m, size_t first, size_t last) {
    std::map<std::pair<int, int>, int> edges;
    for (size_t i = first; i < last; ++i) {
        const Face& f = m.faces[i];
        if (f.a == f.b || f.b == f.c || f.a == f.c || f.a < 0 || f.b < 0 || f.c < 0) {
            return "face " + std::to_string(i) + " is not a proper triangle";
        }
        const Vec3d n = cross(m.pos(f.b) - m.pos(f.a), m.pos(f.c) - m.pos(f.a));
        if (length(n) == 0) return "face " + std::to_string(i) + " has no area";
        ++edges[{f.a, f.b}];
        ++edges[{f.b, f.c}];
        ++edges[{f.c, f.a}];
    }
    for (const auto& [e, count] : edges) {
        if (count != 1) return "edge " + std::to_string(e.first) + "-" + std::to_string(e.second) + " used " +
                               std::to_string(count) + " times";
        auto it = edges.find({e.second, e.first});
        if (it == edges.end()) {
            return "edge " + std::to_string(e.first) + "-" + std::to_string(e.second) + " has no opposite";
        }
    }
    return {};
}

double signed_volume(const Mesh& m, size_t first, size_t last) {
    double v = 0;
    for (size_t i = first; i < last; ++i) {
        const Face& f = m.faces[i];
        v += dot(m.pos(f.a), cross(m.pos(f.b), m.pos(f.c)));
    }
    return v;
}

}  // namespace korvax::assetgen
