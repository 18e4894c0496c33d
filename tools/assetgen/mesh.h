// Triangle meshes as the model generators build them, and their encodings:
// the big-endian model asset, the per-face texture-coordinate table and the
// little-endian key shapes of vertex animation.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common.h"

namespace korvax::assetgen {

struct Vec3d {
    double x = 0, y = 0, z = 0;
};

inline Vec3d operator+(Vec3d a, Vec3d b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3d operator-(Vec3d a, Vec3d b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3d operator*(Vec3d a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(Vec3d a, Vec3d b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3d cross(Vec3d a, Vec3d b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double length(Vec3d a) { return std::sqrt(dot(a, a)); }
inline Vec3d normalised(Vec3d a) {
    const double l = length(a);
    return l > 0 ? a * (1.0 / l) : Vec3d{};
}

struct Vertex {
    Vec3d p;
    int group = 0;
};

// Corners a, b, c are 0-based vertex numbers (-1 names the empty vertex slot
// 0 of the loaded mesh). The outward side is the one (b - a) x (c - a) points
// to. uv holds the texture coordinates the rasterizer is to see at a, b, c,
// in texels (0..255); only meshes with a texture-coordinate table use them.
struct Face {
    int a = 0, b = 0, c = 0;
    int material = 0;
    std::array<double, 6> uv{};
};

struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<Face> faces;

    int add(double x, double y, double z, int group = 0) {
        vertices.push_back({{x, y, z}, group});
        return static_cast<int>(vertices.size()) - 1;
    }
    int add(Vec3d p, int group = 0) { return add(p.x, p.y, p.z, group); }
    Face& tri(int a, int b, int c, int material = 0) {
        faces.push_back({a, b, c, material, {}});
        return faces.back();
    }
    // Two triangles (a, b, c) and (a, c, d) of the quad a-b-c-d.
    void quad(int a, int b, int c, int d, int material = 0) {
        tri(a, b, c, material);
        tri(a, c, d, material);
    }
    Vec3d pos(int i) const { return vertices[static_cast<size_t>(i)].p; }
};

// Quad with texture coordinates per corner (u, v pairs for a, b, c, d).
void quad_uv(Mesh& m, int a, int b, int c, int d, int material, const std::array<double, 8>& uv);

struct Bounds {
    Vec3d lo, hi;
};
Bounds bounds(const Mesh& m);
Bounds bounds(const std::vector<Vec3d>& points);

// Per-axis linear map; apply() to positions.
struct AxisMap {
    Vec3d scale{1, 1, 1}, offset{0, 0, 0};
    Vec3d apply(Vec3d p) const {
        return {p.x * scale.x + offset.x, p.y * scale.y + offset.y, p.z * scale.z + offset.z};
    }
};
// The map that sends the mesh's bounding box exactly onto [lo, hi] per axis.
AxisMap fit_map(const Bounds& from, Vec3d lo, Vec3d hi);
void apply_map(Mesh& m, const AxisMap& map);

// Moves vertex order[i] to position i (order is a permutation) and renumbers
// the face corners.
void reorder_vertices(Mesh& m, const std::vector<int>& order);

// Rounded integer coordinates as the asset stores them.
std::array<int16_t, 3> quantise(Vec3d p);
std::vector<Vec3d> quantised_positions(const Mesh& m);

// Model asset: magic, vertex block length, N, N vertex records (the last all
// zero), face count, face records; big-endian; followed by one zero byte.
Bytes encode_model(const Mesh& m);
// One group of six bytes per face: u, v of a, b, c as the loader reads them
// (it adds 2 to u and negates v).
Bytes encode_uv_table(const Mesh& m);
// Key shape: records (x, y, z, 0) of little-endian int16, ended by an
// all-zero record. Each position is stored as (p - offset) << shift.
Bytes encode_key(const std::vector<Vec3d>& positions, int shift, Vec3d offset);

// Checks used while generating; each returns an empty string when it holds.
// Every face in [first, last) is a proper triangle and every directed edge
// among them is matched by exactly one opposite edge: a closed surface whose
// faces agree on their orientation.
std::string check_closed(const Mesh& m, size_t first, size_t last);
// Six times the enclosed volume of faces [first, last); positive when the
// faces point outwards.
double signed_volume(const Mesh& m, size_t first, size_t last);

}  // namespace korvax::assetgen
