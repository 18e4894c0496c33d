// The geometric models: spheres, blobs, the torus, the helix, the grid, the
// orb with its moon and the tiered tower, with the key shapes of the morphing
// ones and the two edge lists.
#include <algorithm>
#include <stdexcept>

#include "models_internal.h"

namespace korvax::assetgen {

void require(const std::string& problem, const char* what) {
    if (!problem.empty()) throw std::runtime_error(std::string(what) + ": " + problem);
}
void require(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string(what) + ": check failed");
}

namespace {

Vec3d rotate_about_y(Vec3d p, double a) {
    const double c = dcos(a), s = dsin(a);
    return {c * p.x + s * p.z, p.y, -s * p.x + c * p.z};
}
Vec3d rotate_about_x(Vec3d p, double a) {
    const double c = dcos(a), s = dsin(a);
    return {p.x, c * p.y - s * p.z, s * p.y + c * p.z};
}
Vec3d rotate_about_z(Vec3d p, double a) {
    const double c = dcos(a), s = dsin(a);
    return {c * p.x - s * p.y, s * p.x + c * p.y, p.z};
}

// Rounded cube: the sphere direction pulled towards the cube that encloses it.
Vec3d rounded_cube(Vec3d d, double amount) {
    const double inf = std::max({std::fabs(d.x), std::fabs(d.y), std::fabs(d.z)});
    return d * (1.0 / lerp(1.0, inf, amount));
}

}  // namespace

// Slot 11: a lobed gem of 30 segments and 40 rings with its poles on the z
// axis (30 faces meet at each pole): five deep pleats around the axis, crossed
// by three softer bands, so that many of its faces turn well away from the
// view and the flat lighting shows it as a solid. It pulses between three key
// shapes that keep the pleats where they are (the lighting keeps the normals
// of the loaded shape): the gem, the gem with its pleats twisted, and the gem
// drawn out along its axis with deeper pleats.
//
// Scene 8 draws it around (100, 170) with a spin that turns every axis to
// the screen: within 480 units of the centre (69 pixels) it stays clear of the
// bottom edge, the sky behind it and the three reduced copies. The asset
// itself is the same gem 2.9 times larger, as the model inventory's ranges
// ask; the key shapes overwrite it from the scene's second frame on.
namespace {
constexpr double GEM_SCALE = 1.0 / 2.9;  // key shapes : asset

Vec3d lobed_gem(double t, double p, double twist, double stretch, double depth) {
    const double st = dsin(t);
    const double lobes = 0.5 + 0.5 * dcos(5 * (p + twist * dcos(t)));
    const double bands = 0.5 + 0.5 * dcos(3 * t * 2);
    const double r = 0.72 + depth * lobes * lobes * st + 0.08 * bands * st;
    const Vec3d d = sphere_point(t, p, 2);
    return Vec3d{r * d.x, r * d.y, stretch * (0.55 + 0.1 * lobes) * d.z};
}
}  // namespace

ModelSet make_lobed_sphere() {
    ModelSet s;
    const SphereGrid g = sphere_grid(30, 40, [](double t, double p) { return lobed_gem(t, p, 0.0, 1.0, 0.34); });
    ring_surface(s.mesh, g.rings, g.pole_first, g.pole_last);
    const AxisMap map = fit_map(bounds(s.mesh), {-1248, -1248, -792}, {1256, 1248, 792});
    apply_map(s.mesh, map);
    require(check_closed(s.mesh, 0, s.mesh.faces.size()), "lobed sphere");

    auto key = [&](const SphereGrid& shape) {
        std::vector<Vec3d> out;
        for (const Vec3d& p : grid_positions(shape)) out.push_back(map.apply(p) * GEM_SCALE);
        return out;
    };
    const SphereGrid twisted = sphere_grid(30, 40, [](double t, double p) { return lobed_gem(t, p, 0.45, 1.0, 0.34); });
    const SphereGrid drawn = sphere_grid(30, 40, [](double t, double p) { return lobed_gem(t, p, -0.2, 1.3, 0.42); });
    s.keys.push_back({"KEY_G0", key(g), 0, {}});
    s.keys.push_back({"KEY_G1", key(twisted), 0, {}});
    s.keys.push_back({"KEY_G2", key(drawn), 0, {}});
    return s;
}

// Slot 10: a lumpy drop of 16 segments and 12 rings, poles on the y axis; it
// swells into a larger lumpy shape and back like a drop of liquid metal.
ModelSet make_liquid_drop() {
    ModelSet s;
    const SphereGrid g = sphere_grid(16, 12, [](double t, double p) {
        const double st = dsin(t);
        const double r = 1.0 + 0.13 * dsin(2 * p + 0.5) * st * st + 0.09 * dcos(3 * t) + 0.06 * dsin(3 * p) * st;
        return sphere_point(t, p, 1) * r;
    });
    ring_surface(s.mesh, g.rings, g.pole_first, g.pole_last);
    apply_map(s.mesh, fit_map(bounds(s.mesh), {-192, -304, -264}, {168, 352, 368}));
    require(check_closed(s.mesh, 0, s.mesh.faces.size()), "model 10");

    const Bounds b = bounds(s.mesh);
    const Vec3d centre = (b.lo + b.hi) * 0.5;
    const SphereGrid wobble = sphere_grid(16, 12, [centre](double t, double p) {
        const double st = dsin(t);
        const double r = 1.0 + 0.17 * dsin(3 * p + 1.7 * dcos(t)) * st + 0.08 * dcos(2 * t + 1.0);
        const Vec3d d = sphere_point(t, p, 1) * r;
        return centre + Vec3d{330 * d.x, 390 * d.y, 400 * d.z};
    });
    s.keys.push_back({"KEY_F0", quantised_positions(s.mesh), 0, {}});
    s.keys.push_back({"KEY_F1", grid_positions(wobble), 0, {}});
    return s;
}

// Slot 9: a faceted disc-like sphere, 30 segments and 10 rings, poles on the
// z axis. The last face repeats the first (so one pole belongs to 31 faces).
Mesh make_faceted_disc() {
    Mesh m;
    const SphereGrid g = sphere_grid(30, 10, [](double t, double p) { return sphere_point(t, p, 2); });
    ring_surface(m, g.rings, g.pole_first, g.pole_last);
    apply_map(m, fit_map(bounds(m), {-1544, -1544, -1112}, {1552, 1544, 1112}));
    require(check_closed(m, 0, m.faces.size()), "model 9");
    const Face first = m.faces.front();
    m.faces.push_back(first);
    return m;
}

// Slot 8: a torus of 24 x 24 quads. Scene 9 draws it at twice its size around
// (120, 190), only 50 pixels above the bottom edge, and spins it about every
// axis. The model's ranges ask for a reach of at least about 330 units along
// each axis; a torus whose axis leans equally towards all three reaches that
// with the smallest ring, and a tube a third of the ring's radius leaves a
// hole that reads whenever it faces the viewer. Its centre sits where the
// ranges put the middle of the box.
Mesh make_torus() {
    Mesh m;
    const int n = 24;
    const double major = 300, minor = 99;
    const Vec3d centre{-28, 32, -52};
    const Vec3d axis = normalised(Vec3d{-0.53, 0.57, -0.63});
    const Vec3d e1 = normalised(cross(axis, Vec3d{0, 0, 1}));
    const Vec3d e2 = cross(axis, e1);
    for (int i = 0; i < n; ++i) {
        const double u = TAU * i / n;
        for (int j = 0; j < n; ++j) {
            const double v = TAU * j / n;
            const double rr = major + minor * dcos(v);
            m.add(centre + (e1 * dcos(u) + e2 * dsin(u)) * rr + axis * (minor * dsin(v)));
        }
    }
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const int a = i * n + j, b = ((i + 1) % n) * n + j;
            const int c = ((i + 1) % n) * n + (j + 1) % n, d = i * n + (j + 1) % n;
            m.quad(a, b, c, d);
        }
    }
    orient_outward(m, 0, m.faces.size());
    const Bounds box = bounds(m);
    require(box.lo.x >= -440 && box.hi.x <= 384 && box.lo.y >= -392 && box.hi.y <= 456 && box.lo.z >= -448 &&
                box.hi.z <= 344,
            "torus inside its ranges");
    require(check_closed(m, 0, m.faces.size()), "torus");
    return m;
}

// Slot 6, appended part: the station's core, a 12 x 9 sphere of material 2
// cut into a crystal: every other point of the grid stands out at the full
// radius, the rest sit at half of it, so that its facets turn every way and
// the flat lighting breaks it into bright and dark planes instead of one flat
// disc. The tower's crown under it and the spokes out of it show its glow
// (texture 5).
Mesh make_station_core() {
    Mesh m;
    const SphereGrid g = sphere_grid(12, 9, [](double t, double p) {
        const long ring = round_int(t / (PI / 10)), segment = round_int(p / (TAU / 12));
        const double r = (ring + segment) % 2 == 0 ? 1.0 : 0.5;
        return sphere_point(t, p, 1) * r;
    });
    ring_surface(m, g.rings, g.pole_first, g.pole_last, 0, 2);
    apply_map(m, fit_map(bounds(m), {-320, -336, -256}, {320, 336, 304}));
    require(check_closed(m, 0, m.faces.size()), "station core");
    return m;
}

// Slot 3: two helical ribbons of 286 points each along the y axis, three
// turns, the second strand 144 degrees behind the first. No faces: it is drawn
// as lines (edge list 5). Each strand zig-zags between the two edges of a band
// HELIX_RIBBON units tall at the full radius, so that its lines hatch the band
// and the strand keeps a body against the brightest frames of its backdrop.
namespace {
constexpr int HELIX_POINTS = 286;
constexpr int HELIX_RUNGS = 44;
constexpr double HELIX_RIBBON = 420;
int helix_rung(int k) { return 12 + 6 * k; }  // even: on the lower edge
}  // namespace

Mesh make_helix_points() {
    Mesh m;
    for (int strand = 0; strand < 2; ++strand) {
        for (int i = 0; i < HELIX_POINTS; ++i) {
            const double t = static_cast<double>(i / 2) / (HELIX_POINTS / 2 - 1);
            const double a = TAU * 3.0 * t + strand * 0.8 * PI;
            const double y = -4008 + (8016 - HELIX_RIBBON) * t + (i % 2 == 1 ? HELIX_RIBBON : 0);
            m.add(1400 * dcos(a), y, 1400 * dsin(a));
        }
    }
    apply_map(m, fit_map(bounds(m), {-1400, -4008, -1400}, {1400, 4008, 1400}));
    return m;
}

static void put_pair(Bytes& out, int a, int b) {
    for (int v : {a, b}) {
        const uint16_t u = static_cast<uint16_t>(v);
        out.push_back(static_cast<uint8_t>(u & 0xFF));
        out.push_back(static_cast<uint8_t>(u >> 8));
    }
}

// Edge list 5: each strand as a zig-zag polyline across its ribbon (285 +
// 285 edges), then 44 rungs between the strands' lower edges. Vertex slots
// are asset vertex numbers + 1.
Bytes make_helix_edges() {
    Bytes out;
    for (int strand = 0; strand < 2; ++strand) {
        for (int i = 0; i + 1 < HELIX_POINTS; ++i) {
            put_pair(out, strand * HELIX_POINTS + i + 1, strand * HELIX_POINTS + i + 2);
        }
    }
    for (int k = 0; k < HELIX_RUNGS; ++k) put_pair(out, helix_rung(k) + 1, HELIX_POINTS + helix_rung(k) + 1);
    put_pair(out, 0, 0);
    return out;
}

// Slot 7: 33 x 33 points, spacing 16, in the plane y = 0, row by row along x;
// its only face names the empty slot three times.
Mesh make_floor_grid() {
    Mesh m;
    for (int r = 0; r < 33; ++r) {
        for (int c = 0; c < 33; ++c) m.add(-256 + 16 * c, 0, -256 + 16 * r);
    }
    m.tri(-1, -1, -1, 0);
    return m;
}

// Edge list 2: the rows of the grid, its columns, then one diagonal per cell.
Bytes make_grid_edges() {
    Bytes out;
    auto slot = [](int r, int c) { return r * 33 + c + 1; };
    for (int r = 0; r < 33; ++r) {
        for (int c = 0; c < 32; ++c) put_pair(out, slot(r, c), slot(r, c + 1));
    }
    for (int c = 0; c < 33; ++c) {
        for (int r = 0; r < 32; ++r) put_pair(out, slot(r, c), slot(r + 1, c));
    }
    for (int r = 0; r < 32; ++r) {
        for (int c = 0; c < 32; ++c) put_pair(out, slot(r, c), slot(r + 1, c + 1));
    }
    put_pair(out, 0, 0);
    return out;
}

// Slot 2: an orb (group 0, 16 segments x 7 rings, poles on y) that morphs
// through four shapes, and a small moon (group 1, 6 x 7, poles on z) that
// circles it at a distance. Vertex order: the moon's rings, the orb (the 114
// vertices the morph rewrites, slots 43..156), the moon's poles.
ModelSet make_orb_and_moon() {
    ModelSet s;
    Mesh orb;
    const SphereGrid og = sphere_grid(16, 7, [](double t, double p) { return sphere_point(t, p, 1); });
    RingSurface os = ring_surface(orb, og.rings, og.pole_first, og.pole_last, 0, 0);
    apply_map(orb, fit_map(bounds(orb), {-548, -548, -528}, {548, 548, 528}));
    // A glowing belt (the two bands beside the equator) and the top cap.
    for (size_t f = os.face_begin; f < os.face_end; ++f) {
        const RingFace& w = os.where[f - os.face_begin];
        if (w.band == 2 || w.band == 3 || w.band == -1) orb.faces[f].material = 2;
    }

    Mesh moon;
    const SphereGrid mg = sphere_grid(6, 7, [](double t, double p) {
        const Vec3d d = sphere_point(t, p, 2);
        return Vec3d{125 * d.x, 125 * d.y, 675 + 125 * d.z};
    });
    RingSurface ms = ring_surface(moon, mg.rings, mg.pole_first, mg.pole_last, 1, 3);
    for (size_t f = ms.face_begin; f < ms.face_end; ++f) {
        const RingFace& w = ms.where[f - ms.face_begin];
        if (w.band == -1 || w.band == 6) moon.faces[f].material = 0;
    }

    // Assemble: moon rings (42), orb (114), moon poles (2).
    Mesh& m = s.mesh;
    std::vector<int> moon_index(moon.vertices.size()), orb_index(orb.vertices.size());
    for (size_t r = 0; r < ms.rings.size(); ++r) {
        for (int v : ms.rings[r]) moon_index[static_cast<size_t>(v)] = m.add(moon.pos(v), 1);
    }
    for (size_t v = 0; v < orb.vertices.size(); ++v) orb_index[v] = m.add(orb.vertices[v].p, 0);
    moon_index[static_cast<size_t>(ms.pole_first)] = m.add(moon.pos(ms.pole_first), 1);
    moon_index[static_cast<size_t>(ms.pole_last)] = m.add(moon.pos(ms.pole_last), 1);
    for (const Face& f : orb.faces) {
        m.tri(orb_index[static_cast<size_t>(f.a)], orb_index[static_cast<size_t>(f.b)],
              orb_index[static_cast<size_t>(f.c)], f.material);
    }
    for (const Face& f : moon.faces) {
        m.tri(moon_index[static_cast<size_t>(f.a)], moon_index[static_cast<size_t>(f.b)],
              moon_index[static_cast<size_t>(f.c)], f.material);
    }
    require(check_closed(m, 0, orb.faces.size()), "model 2 orb");
    require(check_closed(m, orb.faces.size(), m.faces.size()), "model 2 moon");
    require(signed_volume(m, orb.faces.size(), m.faces.size()) > 0, "model 2 moon orientation");

    // The orb's key shapes, stored as (p - (0, 0, 655)) << 2. They stay within
    // 548 of the centre so the moon (at least 550 away) never cuts them.
    std::vector<Vec3d> a0;
    for (int v = 42; v < 156; ++v) {
        const auto q = quantise(m.pos(v));
        a0.push_back({static_cast<double>(q[0]), static_cast<double>(q[1]), static_cast<double>(q[2])});
    }
    const SphereGrid star = sphere_grid(16, 7, [](double t, double p) {
        const double st = dsin(t);
        const double r = 0.72 + 0.28 * dcos(4 * p) * st * st * st;
        return sphere_point(t, p, 1) * (545 * r);
    });
    const SphereGrid cube = sphere_grid(16, 7, [](double t, double p) {
        Vec3d c = rounded_cube(sphere_point(t, p, 1), 0.75);
        c = rotate_about_y(c, 0.6 * c.y) * 420.0;
        const double l = length(c);
        return l > 545 ? c * (545 / l) : c;
    });
    const SphereGrid bell = sphere_grid(16, 7, [](double t, double p) {
        // A bell: wide skirt, narrow crown, with a soft twist.
        const Vec3d d = sphere_point(t, p + 0.35 * dcos(t), 1);
        const double r = 0.55 + 0.45 * smoothstep(-0.9, 0.6, -d.y);
        return Vec3d{540 * r * d.x, 470 * d.y + 40, 540 * r * d.z};
    });
    const Vec3d offset{0, 0, 655};
    s.keys.push_back({"KEY_A0", a0, 2, offset});
    s.keys.push_back({"KEY_A1", grid_positions(star), 2, offset});
    s.keys.push_back({"KEY_A2", grid_positions(cube), 2, offset});
    s.keys.push_back({"KEY_A3", grid_positions(bell), 2, offset});
    return s;
}

// Slot 1: a five-tier tower along z, one material per tier (0, 41, 82, 123,
// 164). Each tier is a 12-sided tube of 13 rings; every quad of its wall is
// stored as two triangles and a sliver with a repeated corner. The tiers'
// end caps fan to the empty vertex slot (the base centre) except the top
// one, which ends in a spire point. Fourteen markers on the axis close the
// vertex list.
ModelSet make_tiered_tower() {
    ModelSet s;
    Mesh& m = s.mesh;
    const int segs = 12, rings = 13, tiers = 5;
    const double tier_z[tiers + 1] = {0, 900, 1680, 2400, 3060, 3640};
    const double tier_r[tiers] = {2500, 2080, 1680, 1300, 920};
    std::vector<std::vector<std::vector<int>>> tier_rings(tiers);
    for (int k = 0; k < tiers; ++k) {
        for (int i = 0; i < rings; ++i) {
            const double t = static_cast<double>(i) / (rings - 1);
            const double z = lerp(tier_z[k], tier_z[k + 1] - 40, t);
            // Flared eaves at the foot of each tier, then a slightly bowed wall.
            const double flare = 1.0 + 0.22 * (1 - smoothstep(0.0, 0.25, t));
            const double r = tier_r[k] * flare * (1.0 - 0.12 * t);
            std::vector<int> ids;
            for (int j = 0; j < segs; ++j) {
                const double a = TAU * j / segs + (k % 2) * PI / segs;
                ids.push_back(m.add(r * dcos(a), 0.97 * r * dsin(a), z));
            }
            tier_rings[static_cast<size_t>(k)].push_back(ids);
        }
    }
    const int spire = m.add(0, 0, 4112);
    for (int i = 0; i < 14; ++i) m.add(0, 0, 260.0 * (i + 1));

    for (int k = 0; k < tiers; ++k) {
        const int mat = 41 * k;
        const auto& rr = tier_rings[static_cast<size_t>(k)];
        auto at = [&](int i, int j) { return rr[static_cast<size_t>(i)][static_cast<size_t>(j % segs)]; };
        for (int j = 0; j < segs; ++j) m.tri(-1, at(0, j + 1), at(0, j), mat);
        for (int i = 0; i + 1 < rings; ++i) {
            for (int j = 0; j < segs; ++j) {
                m.tri(at(i, j), at(i, j + 1), at(i + 1, j + 1), mat);
                m.tri(at(i, j), at(i + 1, j + 1), at(i + 1, j), mat);
                m.tri(at(i, j), at(i + 1, j + 1), at(i + 1, j + 1), mat);
            }
        }
        const int top = k == tiers - 1 ? spire : -1;
        for (int j = 0; j < segs; ++j) m.tri(top, at(rings - 1, j), at(rings - 1, j + 1), mat);
    }
    apply_map(m, fit_map(bounds(m), {-2520, -2712, 0}, {2600, 2312, 4112}));
    return s;
}

}  // namespace korvax::assetgen
