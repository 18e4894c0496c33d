// Building blocks of the model generators: closed surfaces made of rings of
// points (spheres, lathes, tubes), and orientation fixing.
#pragma once

#include <functional>
#include <optional>

#include "mesh.h"

namespace korvax::assetgen {

// Where a face of a ring surface lies: band -1 is the cap at the first pole,
// band R - 1 the cap at the last pole, band i (0 <= i < R - 1) lies between
// rings i and i + 1; segment j runs from point j to point j + 1 of the rings.
struct RingFace {
    int band = 0;
    int segment = 0;
    int half = 0;  // which triangle of a band quad (0 or 1); 0 for caps
};

struct RingSurface {
    int pole_first = -1, pole_last = -1;
    std::vector<std::vector<int>> rings;  // vertex numbers, ring by ring
    size_t face_begin = 0, face_end = 0;
    std::vector<RingFace> where;  // one per face, in face order
};

// Adds the vertices (first pole, rings in order, last pole) and faces (first
// cap, bands, last cap) of a closed tube of rings; the rings must all have the
// same number of points. Without a pole the end stays open. The faces are
// turned so that the surface faces outwards when it is closed.
RingSurface ring_surface(Mesh& m, const std::vector<std::vector<Vec3d>>& rings, std::optional<Vec3d> pole_first,
                         std::optional<Vec3d> pole_last, int group = 0, int material = 0);

// Point of a unit sphere at polar angle theta (from +axis) and azimuth phi,
// with the poles on the given axis (0 = x, 1 = y, 2 = z).
Vec3d sphere_point(double theta, double phi, int axis);

// Rings of a sphere-like surface: rings i = 1..rings at theta = i*pi/(rings+1),
// segments points per ring; shape(theta, phi) gives each point, and the poles
// are shape(0, 0) and shape(pi, 0).
struct SphereGrid {
    std::vector<std::vector<Vec3d>> rings;
    Vec3d pole_first, pole_last;
};
SphereGrid sphere_grid(int segments, int rings, const std::function<Vec3d(double, double)>& shape);

// Turns every face of [first, last) round when their enclosed volume is
// negative. Returns true when it flipped them.
bool orient_outward(Mesh& m, size_t first, size_t last);

// Flattens a sphere grid into the vertex order of ring_surface (first pole,
// rings, last pole).
std::vector<Vec3d> grid_positions(const SphereGrid& g);

}  // namespace korvax::assetgen
