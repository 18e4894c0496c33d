#include "shapes.h"

#include <stdexcept>
#include <utility>

namespace korvax::assetgen {

RingSurface ring_surface(Mesh& m, const std::vector<std::vector<Vec3d>>& rings, std::optional<Vec3d> pole_first,
                         std::optional<Vec3d> pole_last, int group, int material) {
    RingSurface s;
    const size_t n = rings.front().size();
    for (const auto& r : rings) {
        if (r.size() != n) throw std::runtime_error("ring_surface: uneven rings");
    }
    if (pole_first) s.pole_first = m.add(*pole_first, group);
    for (const auto& r : rings) {
        std::vector<int> ids;
        for (const Vec3d& p : r) ids.push_back(m.add(p, group));
        s.rings.push_back(ids);
    }
    if (pole_last) s.pole_last = m.add(*pole_last, group);

    s.face_begin = m.faces.size();
    const int segs = static_cast<int>(n);
    const int nrings = static_cast<int>(rings.size());
    auto at = [&](int ring, int j) { return s.rings[static_cast<size_t>(ring)][static_cast<size_t>(j % segs)]; };
    if (pole_first) {
        for (int j = 0; j < segs; ++j) {
            m.tri(s.pole_first, at(0, j + 1), at(0, j), material);
            s.where.push_back({-1, j, 0});
        }
    }
    for (int i = 0; i + 1 < nrings; ++i) {
        for (int j = 0; j < segs; ++j) {
            m.tri(at(i, j), at(i, j + 1), at(i + 1, j + 1), material);
            s.where.push_back({i, j, 0});
            m.tri(at(i, j), at(i + 1, j + 1), at(i + 1, j), material);
            s.where.push_back({i, j, 1});
        }
    }
    if (pole_last) {
        for (int j = 0; j < segs; ++j) {
            m.tri(s.pole_last, at(nrings - 1, j), at(nrings - 1, j + 1), material);
            s.where.push_back({nrings - 1, j, 0});
        }
    }
    s.face_end = m.faces.size();
    if (pole_first && pole_last) orient_outward(m, s.face_begin, s.face_end);
    return s;
}

Vec3d sphere_point(double theta, double phi, int axis) {
    const double st = dsin(theta), ct = dcos(theta);
    const double a = st * dcos(phi), b = st * dsin(phi);
    switch (axis) {
        case 0: return {ct, a, b};
        case 1: return {a, ct, b};
        default: return {a, b, ct};
    }
}

SphereGrid sphere_grid(int segments, int rings, const std::function<Vec3d(double, double)>& shape) {
    SphereGrid g;
    g.pole_first = shape(0.0, 0.0);
    g.pole_last = shape(PI, 0.0);
    for (int i = 1; i <= rings; ++i) {
        const double theta = PI * i / (rings + 1);
        std::vector<Vec3d> ring;
        for (int j = 0; j < segments; ++j) ring.push_back(shape(theta, TAU * j / segments));
        g.rings.push_back(ring);
    }
    return g;
}

bool orient_outward(Mesh& m, size_t first, size_t last) {
    if (signed_volume(m, first, last) >= 0) return false;
    for (size_t i = first; i < last; ++i) {
        Face& f = m.faces[i];
        std::swap(f.b, f.c);
        std::swap(f.uv[2], f.uv[4]);
        std::swap(f.uv[3], f.uv[5]);
    }
    return true;
}

std::vector<Vec3d> grid_positions(const SphereGrid& g) {
    std::vector<Vec3d> out{g.pole_first};
    for (const auto& r : g.rings) out.insert(out.end(), r.begin(), r.end());
    out.push_back(g.pole_last);
    return out;
}

}  // namespace korvax::assetgen
