// The textured models: the city (slot 0), the koi (slot 4), the lotus
// (slot 5) and the space station (slot 6), each with its per-face texture
// coordinates, and the koi's key shapes.
#include <algorithm>
#include <map>
#include <stdexcept>

#include "models_internal.h"

namespace korvax::assetgen {

namespace {

// Triangle (a, b, c), turned so that its normal points along dir.
Face& tri_facing(Mesh& m, int a, int b, int c, int material, Vec3d dir) {
    const Vec3d n = cross(m.pos(b) - m.pos(a), m.pos(c) - m.pos(a));
    if (dot(n, dir) < 0) std::swap(b, c);
    return m.tri(a, b, c, material);
}

void set_uv(Face& f, const std::array<double, 6>& uv) { f.uv = uv; }

// Texture coordinates of the corners of a ring surface's faces: fn(ring,
// segment) with ring -1 and R for the poles, and segment running 0..S so the
// faces at the seam take S rather than 0 on their far side.
void ring_uvs(Mesh& m, const RingSurface& s, const std::function<std::pair<double, double>(double, double)>& fn) {
    std::map<int, std::pair<int, int>> where;
    const int nrings = static_cast<int>(s.rings.size());
    const int segs = static_cast<int>(s.rings.front().size());
    for (int r = 0; r < nrings; ++r) {
        for (int j = 0; j < segs; ++j) where[s.rings[static_cast<size_t>(r)][static_cast<size_t>(j)]] = {r, j};
    }
    for (size_t f = s.face_begin; f < s.face_end; ++f) {
        const RingFace& w = s.where[f - s.face_begin];
        Face& face = m.faces[f];
        const int corners[3] = {face.a, face.b, face.c};
        for (int k = 0; k < 3; ++k) {
            double ring, seg;
            if (corners[k] == s.pole_first) {
                ring = -1;
                seg = w.segment + 0.5;
            } else if (corners[k] == s.pole_last) {
                ring = nrings;
                seg = w.segment + 0.5;
            } else {
                const auto& rs = where.at(corners[k]);
                ring = rs.first;
                seg = rs.second;
                if (rs.second < w.segment) seg = segs;  // far side of the seam
            }
            const auto uv = fn(ring, seg);
            face.uv[2 * k] = uv.first;
            face.uv[2 * k + 1] = uv.second;
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Slot 0: a city on a raised plaza, one closed surface. The plaza's top is a
// 12 x 10 grid of points whose cells alternate between building lots and
// streets; each building grows from its lot as a stack of extrusions
// (sidewalk inset, podium, floors, setbacks), some ending in a spire. Texture
// 2 holds the facades (rows 0..127), the neon facades of the lit floors
// (rows 128..191) and the ground tiles (rows 192..255).

namespace {

constexpr int CITY_NX = 12, CITY_NZ = 10;
constexpr double PLAZA_TOP = 30;
constexpr double CITY_SKYLINE = 1700;  // height of downtown's towers over the plaza, before the mast
constexpr double CITY_FLOOR = 150;     // planned height of a floor
constexpr double CITY_TOP = 4104;      // the mast's tip: the top of the model's range
constexpr double TEXEL = 16;  // model units per texel on walls

struct Step {
    bool inset;   // horizontal inset ring (sidewalk or setback)
    double size;  // inset distance or rise height
};

struct Lot {
    int i = 0, k = 0;
    double target = 0;
    int rises = 0;
    bool spire = false;
    double sidewalk = 0;
    std::vector<Step> steps;
};

std::vector<double> street_grid(int cells, double lo, double hi, double street) {
    const int blocks = (cells + 1) / 2, streets = cells / 2;
    const double block = (hi - lo - streets * street) / blocks;
    std::vector<double> out{lo};
    for (int c = 0; c < cells; ++c) out.push_back(out.back() + (c % 2 == 0 ? block : street));
    return out;
}

void plan_steps(Lot& lot, Rng& rng) {
    lot.steps.clear();
    lot.steps.push_back({true, lot.sidewalk});
    const double podium = rng.range(160, 260);
    lot.steps.push_back({false, podium});
    const int setbacks = (lot.rises >= 5 ? 1 : 0) + (lot.rises >= 9 ? 1 : 0);
    const double per = lot.rises > 1 ? std::max(70.0, (lot.target - podium) / (lot.rises - 1)) : 0;
    for (int r = 1; r < lot.rises; ++r) {
        if (setbacks >= 1 && r == 1) lot.steps.push_back({true, 0.12});
        if (setbacks >= 2 && r == (lot.rises * 3) / 5) lot.steps.push_back({true, 0.14});
        lot.steps.push_back({false, per});
    }
}

int step_count(const Lot& lot) {
    const int setbacks = (lot.rises >= 5 ? 1 : 0) + (lot.rises >= 9 ? 1 : 0);
    return 1 + lot.rises + setbacks;
}

// The plan of the city: the street grid, the plaza's points, the lots with
// their stacks of steps, which floors are lit and which roof is the helipad.
struct CityPlan {
    std::vector<double> xs, zs;
    int grid[CITY_NX][CITY_NZ];
    int b00, b10, b11, b01;  // the plaza's bottom corners
    std::vector<Lot> lots;
    std::vector<size_t> by_height;                  // lots, tallest first
    std::map<std::pair<size_t, size_t>, bool> lit;  // (lot, step) -> lit
    size_t helipad = 0;
};

// Planar coordinates over a box, into a tile of su x sv texels at (u0, v0);
// swap turns the tile a quarter (x along v).
std::pair<double, double> ground_uv(double x, double z, double x0, double x1, double z0, double z1, double u0,
                                    double v0, double su, double sv, bool swap) {
    double a = (x - x0) / (x1 - x0), b = (z - z0) / (z1 - z0);
    if (swap) std::swap(a, b);
    return {u0 + 1 + a * (su - 2), v0 + 1 + b * (sv - 2)};
}

// Lots on the block cells; heights fall off from downtown. The skyline stays
// low (scene 2 looks down on it from the camera path, and the sky, the sun
// and the glowing grid have to show above and around it); only the tallest
// tower's mast reaches the top of the model's range.
void plan_lots(CityPlan& c, Rng& rng) {
    for (int i = 0; i + 1 < CITY_NX; i += 2) {
        for (int k = 0; k + 1 < CITY_NZ; k += 2) {
            Lot lot;
            lot.i = i;
            lot.k = k;
            const double cx = (c.xs[i] + c.xs[i + 1]) / 2, cz = (c.zs[k] + c.zs[k + 1]) / 2;
            const double dx = (cx + 1400) / 1700, dz = (cz - 300) / 1500;
            const double fall = dexp(-(dx * dx + dz * dz));
            lot.target = 260 + CITY_SKYLINE * fall * rng.range(0.55, 1.0);
            lot.sidewalk = rng.range(70, 200);
            c.lots.push_back(lot);
        }
    }
    c.by_height.resize(c.lots.size());
    for (size_t i = 0; i < c.lots.size(); ++i) c.by_height[i] = i;
    std::stable_sort(c.by_height.begin(), c.by_height.end(),
                     [&](size_t a, size_t b) { return c.lots[a].target > c.lots[b].target; });
    for (size_t r = 0; r < 3; ++r) c.lots[c.by_height[r]].spire = true;

    // Vertex budget: 791 = plaza (124) + 4 per step + 1 per spire.
    const int spires = 3;
    const int step_budget = (791 - (CITY_NX * CITY_NZ + 4) - spires) / 4;
    require((791 - (CITY_NX * CITY_NZ + 4) - spires) % 4 == 0, "city budget");
    for (Lot& lot : c.lots) lot.rises = std::max(1, static_cast<int>(round_int(lot.target / CITY_FLOOR)));
    auto total_steps = [&]() {
        int t = 0;
        for (const Lot& lot : c.lots) t += step_count(lot);
        return t;
    };
    // Add floors to the tallest first, or take them from the tallest, until the
    // budget is met exactly.
    for (size_t round = 0; total_steps() != step_budget; ++round) {
        const int diff = step_budget - total_steps();
        Lot& lot = c.lots[c.by_height[round % c.by_height.size()]];
        if (diff > 0) {
            ++lot.rises;
            if (total_steps() > step_budget) --lot.rises;
        } else if (lot.rises > 1) {
            --lot.rises;
            if (total_steps() < step_budget) ++lot.rises;
        }
        require(round < 10000, "city budget not met");
    }
    for (Lot& lot : c.lots) plan_steps(lot, rng);

    // Lit floors: every other rise of the tallest buildings, 39 in all (8 faces
    // each), plus one roof (2 faces): 314 faces of material 3.
    int wanted = 39;
    for (size_t r = 0; r < c.by_height.size() && wanted > 0; ++r) {
        const Lot& lot = c.lots[c.by_height[r]];
        for (size_t st = lot.steps.size(); st-- > 2 && wanted > 0;) {
            if (!lot.steps[st].inset && (lot.steps.size() - st) % 2 == 1) {
                c.lit[{c.by_height[r], st}] = true;
                --wanted;
            }
        }
    }
    require(wanted == 0, "city lit floors");
    c.helipad = c.lots.size();
    for (size_t r : c.by_height) {
        if (!c.lots[r].spire) {
            c.helipad = r;
            break;
        }
    }
}

// The plaza's top: the street cells. Road tiles (64 x 32) have their lane
// marks along u; streets between lot columns run along z, so their tile turns.
// Then its sides (fans to the bottom corners) and bottom.
void build_plaza(Mesh& m, const CityPlan& c) {
    for (int i = 0; i + 1 < CITY_NX; ++i) {
        for (int k = 0; k + 1 < CITY_NZ; ++k) {
            if (i % 2 == 0 && k % 2 == 0) continue;  // a lot
            const int q[4] = {c.grid[i][k], c.grid[i][k + 1], c.grid[i + 1][k + 1], c.grid[i + 1][k]};
            const bool crossing = i % 2 == 1 && k % 2 == 1;
            std::array<double, 8> uv{};
            for (int n = 0; n < 4; ++n) {
                const Vec3d p = m.pos(q[n]);
                const auto t = ground_uv(p.x, p.z, c.xs[i], c.xs[i + 1], c.zs[k], c.zs[k + 1], 0, crossing ? 224 : 192,
                                         64, 32, i % 2 == 1 && !crossing);
                uv[2 * n] = t.first;
                uv[2 * n + 1] = t.second;
            }
            quad_uv(m, q[0], q[1], q[2], q[3], 0, uv);
        }
    }
    auto side = [&](std::vector<int> chain, int bstart, int bend, Vec3d out) {
        for (size_t n = 0; n + 1 < chain.size(); ++n) {
            set_uv(tri_facing(m, chain[n], chain[n + 1], bstart, 0, out), {2, 226, 60, 226, 2, 254});
        }
        set_uv(tri_facing(m, chain.back(), bend, bstart, 0, out), {60, 226, 60, 254, 2, 254});
    };
    std::vector<int> front, right, back, left;
    for (int i = 0; i < CITY_NX; ++i) front.push_back(c.grid[i][0]);
    for (int k = 0; k < CITY_NZ; ++k) right.push_back(c.grid[CITY_NX - 1][k]);
    for (int i = CITY_NX - 1; i >= 0; --i) back.push_back(c.grid[i][CITY_NZ - 1]);
    for (int k = CITY_NZ - 1; k >= 0; --k) left.push_back(c.grid[0][k]);
    side(front, c.b00, c.b10, {0, 0, -1});
    side(right, c.b10, c.b11, {1, 0, 0});
    side(back, c.b11, c.b01, {0, 0, 1});
    side(left, c.b01, c.b00, {-1, 0, 0});
    set_uv(tri_facing(m, c.b00, c.b10, c.b11, 0, {0, -1, 0}), {2, 226, 60, 226, 60, 254});
    set_uv(tri_facing(m, c.b00, c.b11, c.b01, 0, {0, -1, 0}), {2, 226, 60, 254, 2, 254});
}

// One building: its stack of steps from the lot (sidewalk and terrace rings
// paved, floors faced with facades or neon), then its roof: a flat roof tile,
// the helipad, or a spire (the tallest one a mast up to the top of the range).
void build_building(Mesh& m, const CityPlan& c, size_t li, Rng& rng) {
    const Lot& lot = c.lots[li];
    const int i = lot.i, k = lot.k;
    std::array<int, 4> ring = {c.grid[i][k], c.grid[i][k + 1], c.grid[i + 1][k + 1], c.grid[i + 1][k]};
    const double bx0 = c.xs[i], bx1 = c.xs[i + 1], bz0 = c.zs[k], bz1 = c.zs[k + 1];
    double x0 = bx0, x1 = bx1, z0 = bz0, z1 = bz1, y = PLAZA_TOP;
    int u_seed = static_cast<int>(rng.below(24));
    for (size_t st = 0; st < lot.steps.size(); ++st) {
        const Step& step = lot.steps[st];
        if (step.inset) {
            const double dx = st == 0 ? step.size : (x1 - x0) * step.size;
            const double dz = st == 0 ? step.size : (z1 - z0) * step.size;
            x0 += dx;
            x1 -= dx;
            z0 += dz;
            z1 -= dz;
        } else {
            y += step.size;
        }
        const std::array<int, 4> next = {m.add(x0, y, z0), m.add(x0, y, z1), m.add(x1, y, z1), m.add(x1, y, z0)};
        const bool is_lit = c.lit.count({li, st}) > 0;
        for (int sd = 0; sd < 4; ++sd) {
            const int p0 = ring[static_cast<size_t>(sd)], p1 = ring[static_cast<size_t>((sd + 1) % 4)];
            const int n1 = next[static_cast<size_t>((sd + 1) % 4)], n0 = next[static_cast<size_t>(sd)];
            std::array<double, 8> uv{};
            int material = 0;
            if (step.inset) {
                // Sidewalk or terrace: pavement tile, planar over the lot.
                const int cs[4] = {p0, p1, n1, n0};
                for (int n = 0; n < 4; ++n) {
                    const Vec3d p = m.pos(cs[n]);
                    const auto t = ground_uv(p.x, p.z, bx0, bx1, bz0, bz1, 64, 192, 64, 64, false);
                    uv[2 * n] = t.first;
                    uv[2 * n + 1] = t.second;
                }
            } else {
                const double w = length(m.pos(p1) - m.pos(p0));
                double du = std::min(w / TEXEL, 240.0);
                const double dv = std::min(step.size / TEXEL, is_lit ? 56.0 : 112.0);
                const double u0 = std::fmod(8.0 * (u_seed + 5 * sd + 3 * static_cast<int>(st)), 256.0 - du);
                const double v0 = is_lit ? 132 : 4 + std::fmod(8.0 * static_cast<double>(st), 120.0 - dv);
                uv = {u0, v0 + dv, u0 + du, v0 + dv, u0 + du, v0, u0, v0};
                material = is_lit ? 3 : 0;
            }
            quad_uv(m, p0, p1, n1, n0, material, uv);
        }
        ring = next;
        ++u_seed;
    }
    if (lot.spire) {
        const bool mast = li == c.by_height.front();
        const double top = mast ? CITY_TOP : y + 0.9 * std::min(x1 - x0, z1 - z0);
        const int apex = m.add((x0 + x1) / 2, top, (z0 + z1) / 2);
        for (int sd = 0; sd < 4; ++sd) {
            const int p0 = ring[static_cast<size_t>(sd)], p1 = ring[static_cast<size_t>((sd + 1) % 4)];
            Face& f = m.tri(p0, p1, apex, 0);
            f.uv = {8, 124, 56, 124, 32, 64};
        }
    } else {
        const bool pad = li == c.helipad;
        const double u0 = pad ? 192 : 128;
        std::array<double, 8> uv{};
        for (int n = 0; n < 4; ++n) {
            const Vec3d p = m.pos(ring[static_cast<size_t>(n)]);
            const auto t = ground_uv(p.x, p.z, x0, x1, z0, z1, u0, 192, 64, 64, false);
            uv[2 * n] = t.first;
            uv[2 * n + 1] = t.second;
        }
        quad_uv(m, ring[0], ring[1], ring[2], ring[3], pad ? 3 : 0, uv);
    }
}

}  // namespace

ModelSet make_city() {
    ModelSet s;
    Mesh& m = s.mesh;
    Rng rng(0xC17Eu);
    CityPlan c;
    c.xs = street_grid(CITY_NX - 1, -5624, 2904, 300);
    c.zs = street_grid(CITY_NZ - 1, -3480, 3496, 300);
    for (int i = 0; i < CITY_NX; ++i) {
        for (int k = 0; k < CITY_NZ; ++k) c.grid[i][k] = m.add(c.xs[i], PLAZA_TOP, c.zs[k]);
    }
    c.b00 = m.add(c.xs.front(), 0, c.zs.front());
    c.b10 = m.add(c.xs.back(), 0, c.zs.front());
    c.b11 = m.add(c.xs.back(), 0, c.zs.back());
    c.b01 = m.add(c.xs.front(), 0, c.zs.back());

    plan_lots(c, rng);
    build_plaza(m, c);
    for (size_t li = 0; li < c.lots.size(); ++li) build_building(m, c, li, rng);

    require(m.vertices.size() == 791, "city vertex count");
    require(check_closed(m, 0, m.faces.size()), "city");
    require(signed_volume(m, 0, m.faces.size()) > 0, "city orientation");
    apply_map(m, fit_map(bounds(m), {-5624, 0, -3480}, {2904, 4104, 3496}));
    return s;
}

// ---------------------------------------------------------------------------
// Slot 4: a koi, one closed surface: a body of revolution (17 segments, 17
// rings, nose and tail poles along z, nose forward at +z) whose last two rings
// and tail pole form the forked tail, and two pectoral fins extruded in five
// steps from the body's sides. Vertex order puts the tail (35 vertices) at
// 58..92 and the fins (20 each) at 284..303 and 304..323, the runs that the
// tail and fin animations rewrite.

namespace {

constexpr int KOI_SEGS = 17, KOI_RINGS = 17, KOI_FIN_STEPS = 5;
constexpr double KOI_Y = 400;

struct KoiPose {
    double sway = 0;  // body sway phase (radians); amplitude 0 when none
    double sway_amp = 0;
    double tail = 0;  // tail yaw (radians)
    double fin = 0;   // fin lift (radians), both fins mirrored
};

double koi_profile(double s) { return std::sqrt(s) * (1 - s) * (1 + 0.6 * s) / 0.47; }

// Every vertex in build order: nose pole, rings 0..16, tail pole, fin d
// (+x side), fin e (-x side).
std::vector<Vec3d> koi_points(const KoiPose& pose) {
    std::vector<Vec3d> pts;
    auto sway_x = [&](double s) {
        const double w = 1 - smoothstep(0.05, 0.45, s);
        return pose.sway_amp * w * dsin(pose.sway);
    };
    auto z_of = [](double s) { return 896 - 1600 * s; };
    pts.push_back({sway_x(0), KOI_Y - 20, 896});
    const double z_ped = z_of(15.0 / 16);
    auto tail_point = [&](Vec3d p, double bend) {
        // Yaw about the y axis through the peduncle.
        const double a = pose.tail * bend;
        const double dz = p.z - z_ped;
        return Vec3d{p.x * dcos(a) + dz * dsin(a), p.y, z_ped + dz * dcos(a) - p.x * dsin(a)};
    };
    for (int i = 0; i < KOI_RINGS; ++i) {
        for (int j = 0; j < KOI_SEGS; ++j) {
            const double a = TAU * j / KOI_SEGS;  // 0 at the top, pi/2 on the +x side
            const double sa = dsin(a), ca = dcos(a);
            if (i < 15) {
                const double s = (i + 1) / 16.0;
                const double p = koi_profile(s);
                const double h = 330 * p, w = 215 * p;
                const double hump = ca > 0 ? 1 + 0.12 * ca * (1 - s) : 1 - 0.05 * ca;
                pts.push_back({sway_x(s) + w * sa, KOI_Y + h * ca * hump - 25 * s, z_of(s)});
            } else if (i == 15) {
                pts.push_back(tail_point({22 * sa, KOI_Y - 18 + 235 * ca, -830}, 1.0));
            } else {
                const double fork = 130 * ca * ca;
                pts.push_back(tail_point({12 * sa, KOI_Y - 10 + 390 * ca, -990 - fork}, 1.35));
            }
        }
    }
    pts.push_back(tail_point({0, KOI_Y - 10, -930}, 1.35));

    // Fins: grown from the band between rings 4 and 5, segments 4..5 (+x) and
    // 12..13 (-x), outwards, down and back, thinning into a paddle.
    for (int side = 0; side < 2; ++side) {
        const double sgn = side == 0 ? 1 : -1;
        const int j0 = side == 0 ? 4 : 12;
        const size_t r4 = 1 + 4 * KOI_SEGS, r5 = 1 + 5 * KOI_SEGS;
        const Vec3d base = (pts[r4 + j0] + pts[r4 + j0 + 1] + pts[r5 + j0] + pts[r5 + j0 + 1]) * 0.25;
        for (int k = 1; k <= KOI_FIN_STEPS; ++k) {
            const double t = static_cast<double>(k) / KOI_FIN_STEPS;
            const double reach = 560 * t;
            const double chord = 120 + 260 * dsin(PI * (0.15 + 0.75 * t)) - 120 * t;
            const double thick = 90 * (1 - t) + 14;
            // Fin plane swept back and lifted by the pose about its root.
            const Vec3d centre{base.x + sgn * reach * dcos(pose.fin), base.y - 90 * t + reach * dsin(pose.fin),
                               base.z - 170 * t};
            // Corner order follows the body quad it grows from: on the +x side
            // front-top, front-bottom, back-bottom, back-top; on the -x side
            // the segments run bottom to top.
            const double ct = thick / 2, cc = chord / 2;
            const double up = side == 0 ? ct : -ct;
            const Vec3d corner[4] = {{0, up, cc}, {0, -up, cc}, {0, -up, -cc}, {0, up, -cc}};
            for (int c = 0; c < 4; ++c) {
                // Tilt the paddle's thickness with the lift so it stays flat.
                const double ty = corner[c].y * dcos(pose.fin);
                const double tx = -corner[c].y * dsin(pose.fin) * sgn;
                pts.push_back({centre.x + tx, centre.y + ty, centre.z + corner[c].z});
            }
        }
    }
    return pts;
}

}  // namespace

ModelSet make_koi() {
    ModelSet s;
    Mesh& m = s.mesh;
    const KoiPose rest;
    const std::vector<Vec3d> pts = koi_points(rest);

    // Body as a ring surface on the rest pose.
    std::vector<std::vector<Vec3d>> rings;
    for (int i = 0; i < KOI_RINGS; ++i) {
        rings.emplace_back(pts.begin() + 1 + i * KOI_SEGS, pts.begin() + 1 + (i + 1) * KOI_SEGS);
    }
    RingSurface body = ring_surface(m, rings, pts.front(), pts[1 + KOI_RINGS * KOI_SEGS]);
    const double body_u[KOI_RINGS + 2] = {2,   14,  26,  38,  50,  62,  74,  86,  98,  110,
                                          122, 134, 146, 158, 170, 188, 222, 250, 250};
    ring_uvs(m, body, [&](double ring, double seg) {
        const double u = ring < 0 ? 2 : body_u[static_cast<int>(ring) + 1];
        const double v = ring >= KOI_RINGS ? 127.5 : 1 + seg * (253.0 / KOI_SEGS);
        return std::pair<double, double>{u, v};
    });

    // Fins: replace the two body quads with five-step extrusions.
    std::vector<Face> kept;
    const int fin_seg[2] = {4, 12};
    for (size_t f = body.face_begin; f < body.face_end; ++f) {
        const RingFace& w = body.where[f - body.face_begin];
        if (w.band == 4 && (w.segment == fin_seg[0] || w.segment == fin_seg[1])) continue;
        kept.push_back(m.faces[f]);
    }
    m.faces = kept;
    for (int side = 0; side < 2; ++side) {
        const int j = fin_seg[side];
        const auto& r4 = body.rings[4];
        const auto& r5 = body.rings[5];
        // Outward order of the body quad (front-top, front-bottom, back-bottom, back-top).
        std::array<int, 4> ring = {r4[static_cast<size_t>(j)], r4[static_cast<size_t>(j + 1)],
                                   r5[static_cast<size_t>(j + 1)], r5[static_cast<size_t>(j)]};
        const Vec3d out{side == 0 ? 1.0 : -1.0, 0, 0};
        const Vec3d n = cross(m.pos(ring[1]) - m.pos(ring[0]), m.pos(ring[2]) - m.pos(ring[0]));
        const bool reversed = dot(n, out) < 0;
        if (reversed) std::swap(ring[1], ring[3]);
        const size_t first = 1 + KOI_RINGS * KOI_SEGS + 1 + static_cast<size_t>(side) * 4 * KOI_FIN_STEPS;
        for (int k = 0; k < KOI_FIN_STEPS; ++k) {
            std::array<int, 4> next;
            for (int c = 0; c < 4; ++c) next[static_cast<size_t>(c)] = m.add(pts[first + 4 * k + c]);
            if (reversed) std::swap(next[1], next[3]);
            for (int sd = 0; sd < 4; ++sd) {
                const double u0 = 184 + 14 * k, u1 = u0 + 14;
                const double v0 = 2 + 63 * sd, v1 = v0 + 60;
                quad_uv(m, ring[static_cast<size_t>(sd)], ring[static_cast<size_t>((sd + 1) % 4)],
                        next[static_cast<size_t>((sd + 1) % 4)], next[static_cast<size_t>(sd)], 0,
                        {u0, v0, u0, v1, u1, v1, u1, v0});
            }
            ring = next;
        }
        quad_uv(m, ring[0], ring[1], ring[2], ring[3], 0, {250, 70, 250, 120, 254, 120, 254, 70});
    }
    require(check_closed(m, 0, m.faces.size()), "koi");
    require(signed_volume(m, 0, m.faces.size()) > 0, "koi orientation");

    // Vertex order for the animations: body (58), tail (35), body (191),
    // fin d (20), fin e (20), body (7).
    const int tail_first = 1 + 15 * KOI_SEGS;  // rings 15, 16 and the tail pole
    std::vector<int> order;
    std::vector<int> body_ids;
    for (int v = 0; v < tail_first; ++v) body_ids.push_back(v);
    for (int v = 0; v < 58; ++v) order.push_back(body_ids[static_cast<size_t>(v)]);
    for (int v = tail_first; v < tail_first + 35; ++v) order.push_back(v);
    for (int v = 58; v < 249; ++v) order.push_back(body_ids[static_cast<size_t>(v)]);
    for (int v = 291; v < 331; ++v) order.push_back(v);
    for (int v = 249; v < 256; ++v) order.push_back(body_ids[static_cast<size_t>(v)]);
    require(order.size() == 331 && body_ids.size() == 256, "koi order");
    reorder_vertices(m, order);
    const AxisMap map = fit_map(bounds(m), {-920, 0, -1120}, {912, 800, 896});
    apply_map(m, map);

    auto posed = [&](const KoiPose& pose) {
        const std::vector<Vec3d> p = koi_points(pose);
        std::vector<Vec3d> out;
        for (int v : order) out.push_back(map.apply(p[static_cast<size_t>(v)]));
        return out;
    };
    auto run = [](const std::vector<Vec3d>& all, size_t first, size_t count) {
        return std::vector<Vec3d>(all.begin() + static_cast<long>(first), all.begin() + static_cast<long>(first + count));
    };
    for (int k = 0; k < 4; ++k) {
        KoiPose p;
        p.sway = TAU * k / 4;
        p.sway_amp = 38;
        std::vector<Vec3d> all = posed(p);
        if (k == 0) all = quantised_positions(m);  // frame 0 is the model itself
        s.keys.push_back({"KEY_B" + std::to_string(k), all, 3, {}});
    }
    for (int k = 0; k < 2; ++k) {
        KoiPose p;
        p.tail = k == 0 ? 0.42 : -0.42;
        s.keys.push_back({"KEY_C" + std::to_string(k), run(posed(p), 58, 38), 3, {}});
    }
    for (int k = 0; k < 2; ++k) {
        KoiPose p;
        p.fin = k == 0 ? 0.38 : -0.30;
        const std::vector<Vec3d> all = posed(p);
        s.keys.push_back({"KEY_D" + std::to_string(k), run(all, 284, 20), 3, {}});
        s.keys.push_back({"KEY_E" + std::to_string(k), run(all, 304, 20), 3, {}});
    }
    return s;
}

// ---------------------------------------------------------------------------
// Slot 5: a lotus on its pad. A body of revolution along y (13 segments, 19
// rings: the slender bud, the calyx, the stem and the pad it rises from;
// poles at the bud's tip and under the pad) and six double-sided petals of
// 4 x 5 points that open around it. The bud carries the live screen copy of
// texture 3 (columns 160..255, rows 3..78), the petals the petal gradient
// (columns 0..159), the stem and the pad the green strip (columns 160..255,
// rows 84..255).
//
// Scene 3 draws it around (100, 170), 100 pixels from the left edge and 170
// from the top, looking down on it from 20 to 50 degrees as the camera path
// turns about it. The bloom is kept within about 650 units of the axis (93
// pixels) and, but for the bud's slender tip, 900 units high, so it stays
// in the frame; the model's ranges are reached by the pad (at the foot,
// mostly below the frame) and by that tip.

Mesh make_lotus() {
    Mesh m;
    const int segs = 13;
    struct Ring {
        double y, r;
    };
    const Ring profile[19] = {
        {1560, 50},  {1300, 130}, {1060, 210}, {820, 270}, {600, 290}, {400, 270}, {230, 210},  // bud
        {110, 160},  {10, 110},   {-80, 80},                                                   // calyx
        {-190, 70},  {-370, 66},  {-540, 64},  {-700, 66},  {-860, 72}, {-1000, 84},            // stem
        {-1050, 480}, {-1085, 950}, {-1100, 1264}};                                           // pad
    std::vector<std::vector<Vec3d>> rings;
    for (const Ring& r : profile) {
        std::vector<Vec3d> ring;
        for (int j = 0; j < segs; ++j) {
            const double a = TAU * j / segs;
            // Ribs on the bud, a gentle lean on the stem.
            const double lean = r.y < 0 ? 0.04 * (-r.y) : 0;
            ring.push_back({r.r * dcos(a) + lean, r.y, r.r * dsin(a)});
        }
        rings.push_back(ring);
    }
    RingSurface body = ring_surface(m, rings, Vec3d{0, 1780, 0}, Vec3d{0, -1144, 0});
    ring_uvs(m, body, [&](double ring, double seg) {
        const double u = 161 + seg * (93.0 / segs);
        if (ring <= 6) return std::pair<double, double>{u, 4 + (ring + 1) * (73.0 / 7)};
        return std::pair<double, double>{u, 86 + (ring - 7) * (168.0 / 12)};
    });
    require(check_closed(m, 0, m.faces.size()), "lotus body");

    // Petals: root near the calyx, out and up, cupped across their width.
    const int across = 4, along = 5;
    for (int p = 0; p < 6; ++p) {
        const double az = TAU * p / 6 + 0.2;
        const Vec3d radial{dcos(az), 0, dsin(az)}, tangent{-dsin(az), 0, dcos(az)};
        std::vector<int> ids;
        for (int r = 0; r < along; ++r) {
            const double t = static_cast<double>(r) / (along - 1);
            const double rho = 230 + 420 * dsin(t * PI / 2);
            const double y = 60 + 420 * t + 340 * t * t;
            const double half = 80 + 270 * dsin(PI * (0.1 + 0.8 * t)) * (1 - 0.55 * t * t * t);
            for (int c = 0; c < across; ++c) {
                const double w = -1 + 2.0 * c / (across - 1);
                const double cup = 120 * w * w * (0.3 + t);
                const Vec3d pt = radial * (rho - cup) + tangent * (half * w) + Vec3d{0, y + 0.6 * cup, 0};
                ids.push_back(m.add(pt));
            }
        }
        auto at = [&](int r, int c) { return ids[static_cast<size_t>(r * across + c)]; };
        for (int r = 0; r + 1 < along; ++r) {
            for (int c = 0; c + 1 < across; ++c) {
                const double u0 = 6 + 148.0 * c / (across - 1), u1 = 6 + 148.0 * (c + 1) / (across - 1);
                const double v0 = 4 + 248.0 * r / (along - 1), v1 = 4 + 248.0 * (r + 1) / (along - 1);
                // Outer side, then the inner side with the opposite winding.
                quad_uv(m, at(r, c), at(r + 1, c), at(r + 1, c + 1), at(r, c + 1), 0, {u0, v0, u0, v1, u1, v1, u1, v0});
                quad_uv(m, at(r, c), at(r, c + 1), at(r + 1, c + 1), at(r + 1, c), 0, {u0, v0, u1, v0, u1, v1, u0, v1});
            }
        }
    }
    apply_map(m, fit_map(bounds(m), {-1264, -1144, -1264}, {1264, 1780, 1264}));
    return m;
}

// ---------------------------------------------------------------------------
// Slot 6: a space station around a core that sits at (0, 832, 0) (where the
// start-up translation puts the appended core sphere). Parts: a ring of 32 x
// 8 quads around the core, a tower of modules below it (12 segments, 14
// rings), an antenna dish above it (6 x 7) and four box spokes (two booms
// through the ring along x, a docking arm along -z, a short strut along +z).
// Material 3 (windows) covers 540 faces, material 0 the other 440; the
// ring's inner faces show the live screen copy of texture 5 (columns 2..139,
// rows 3..50).

Mesh make_space_station() {
    Mesh m;
    const Vec3d core{0, 832, 0};
    std::vector<double> score;  // per face: higher is lit first

    // Ring.
    const int nu = 32, nv = 8;
    const double major = 1540, minor = 276;
    const int ring_first = static_cast<int>(m.vertices.size());
    for (int i = 0; i < nu; ++i) {
        const double u = TAU * i / nu;
        for (int j = 0; j < nv; ++j) {
            const double v = TAU * j / nv;
            const double rr = major + minor * dcos(v);
            m.add(core + Vec3d{rr * dcos(u), minor * dsin(v), rr * dsin(u)});
        }
    }
    for (int i = 0; i < nu; ++i) {
        for (int j = 0; j < nv; ++j) {
            const int a = ring_first + i * nv + j, b = ring_first + ((i + 1) % nu) * nv + j;
            const int c = ring_first + ((i + 1) % nu) * nv + (j + 1) % nv, d = ring_first + i * nv + (j + 1) % nv;
            const bool outer = j <= 1 || j >= 6;  // the half that faces away from the core
            std::array<double, 8> uv;
            if (outer) {
                // Window rows along the ring.
                const double u0 = 2 + 63.0 * (i % 4), v0 = 162 + 22.0 * (j % 4);
                uv = {u0, v0, u0 + 62, v0, u0 + 62, v0 + 21, u0, v0 + 21};
            } else {
                // Four copies of the live screen image around the inner side.
                const double u0 = 2 + 138.0 * (i % 8) / 8, u1 = 2 + 138.0 * (i % 8 + 1) / 8;
                const double jj = j - 2;  // inner segments from the top
                const double v0 = 3 + 47.0 * (jj - 0) / 4, v1 = 3 + 47.0 * (jj + 1) / 4;
                uv = {u0, std::min(v0, 50.0), u1, std::min(v0, 50.0), u1, std::min(v1, 50.0), u0, std::min(v1, 50.0)};
            }
            quad_uv(m, a, b, c, d, 0, uv);
            score.push_back(outer ? 100 : 0);
            score.push_back(outer ? 100 : 0);
        }
    }
    const size_t ring_faces_end = m.faces.size();
    orient_outward(m, 0, ring_faces_end);

    // Tower below the core.
    struct Prof {
        double y, r;
    };
    const Prof tower[14] = {{140, 180}, {100, 300}, {40, 420}, {-80, 430},  {-200, 430}, {-300, 400}, {-350, 250},
                            {-400, 380}, {-520, 390}, {-640, 380}, {-690, 250}, {-730, 190}, {-780, 140}, {-810, 80}};
    {
        std::vector<std::vector<Vec3d>> rings;
        for (const Prof& p : tower) {
            std::vector<Vec3d> r;
            for (int j = 0; j < 12; ++j) {
                const double a = TAU * j / 12;
                r.push_back({p.r * dcos(a), p.y, p.r * dsin(a)});
            }
            rings.push_back(r);
        }
        RingSurface ts = ring_surface(m, rings, Vec3d{0, 160, 0}, Vec3d{0, -832, 0});
        require(check_closed(m, ts.face_begin, ts.face_end), "station tower");
        // The crown under the core (its cap and first two rings) shows the
        // core's glow, white-hot at the top; the rest is hull plating.
        ring_uvs(m, ts, [](double ring, double seg) {
            if (ring <= 1) return std::pair<double, double>{144 + seg * (108.0 / 12), 4 + (ring + 1) * 24};
            return std::pair<double, double>{2 + seg * (250.0 / 12), 60 + (ring + 1) * (92.0 / 15)};
        });
        for (size_t f = ts.face_begin; f < ts.face_end; ++f) {
            const RingFace& w = ts.where[f - ts.face_begin];
            // The module drums (bands 2..5 and 7..9) carry windows.
            const bool drum = (w.band >= 2 && w.band <= 5) || (w.band >= 7 && w.band <= 9);
            score.push_back(drum ? 80 - w.band : (w.band >= 0 && w.band < 13 ? 30 - w.band : 5));
            if (drum) {
                // Window strip texture for those bands (picked by material later).
                Face& face = m.faces[f];
                for (int k = 0; k < 3; ++k) face.uv[2 * k + 1] = 162 + (face.uv[2 * k + 1] - 60) * 0.9;
            }
        }
    }

    // Antenna dish above the core.
    const Prof dish[7] = {{1660, 60}, {1630, 150}, {1590, 230}, {1570, 150}, {1550, 70}, {1520, 60}, {1500, 55}};
    {
        std::vector<std::vector<Vec3d>> rings;
        for (const Prof& p : dish) {
            std::vector<Vec3d> r;
            for (int j = 0; j < 6; ++j) {
                const double a = TAU * j / 6;
                r.push_back({p.r * dcos(a), p.y, p.r * dsin(a)});
            }
            rings.push_back(r);
        }
        RingSurface ds = ring_surface(m, rings, Vec3d{0, 1672, 0}, Vec3d{0, 1490, 0});
        require(check_closed(m, ds.face_begin, ds.face_end), "station dish");
        ring_uvs(m, ds, [](double ring, double seg) {
            return std::pair<double, double>{130 + seg * 20, 60 + (ring + 1) * 10};
        });
        for (size_t f = ds.face_begin; f < ds.face_end; ++f) score.push_back(ds.where[f - ds.face_begin].band == 2 ? 60 : 2);
    }

    // Spokes: boxes from the core outwards.
    struct Spoke {
        Vec3d dir;
        double from, to;
    };
    const Spoke spokes[4] = {{{1, 0, 0}, 700, 2048}, {{-1, 0, 0}, 700, 2048}, {{0, 0, -1}, 700, 2152},
                             {{0, 0, 1}, 700, 1300}};
    for (const Spoke& sp : spokes) {
        const Vec3d side = cross(sp.dir, {0, 1, 0});
        const double hw = 60, hh = 75;
        int v[8];
        for (int e = 0; e < 2; ++e) {
            const Vec3d c = core + sp.dir * (e == 0 ? sp.from : sp.to);
            v[4 * e + 0] = m.add(c + side * hw + Vec3d{0, hh, 0});
            v[4 * e + 1] = m.add(c - side * hw + Vec3d{0, hh, 0});
            v[4 * e + 2] = m.add(c - side * hw - Vec3d{0, hh, 0});
            v[4 * e + 3] = m.add(c + side * hw - Vec3d{0, hh, 0});
        }
        const size_t before = m.faces.size();
        // The long sides carry the core's glow out along the spoke: white-hot
        // at the core, deep orange at the far end.
        const std::array<double, 8> hull{146, 4, 146, 54, 250, 54, 250, 4};
        const std::array<double, 8> end{130, 120, 150, 120, 150, 140, 130, 140};
        quad_uv(m, v[0], v[1], v[2], v[3], 0, end);      // inner end
        quad_uv(m, v[4], v[7], v[6], v[5], 0, end);      // outer end
        for (int sd = 0; sd < 4; ++sd) {
            quad_uv(m, v[sd], v[4 + sd], v[4 + (sd + 1) % 4], v[(sd + 1) % 4], 0, hull);
        }
        orient_outward(m, before, m.faces.size());
        require(check_closed(m, before, m.faces.size()), "station spoke");
        for (size_t f = before; f < m.faces.size(); ++f) score.push_back(f - before >= 4 ? 40 : 1);
    }
    require(m.vertices.size() == 502 && m.faces.size() == 980, "station counts");

    // The 540 best-scored faces become windows (ties broken by face order).
    std::vector<size_t> order(m.faces.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return score[a] > score[b]; });
    for (size_t r = 0; r < order.size(); ++r) m.faces[order[r]].material = r < 540 ? 3 : 0;

    // Each part is closed and faces outwards.
    require(check_closed(m, 0, ring_faces_end), "station ring");
    require(signed_volume(m, 0, ring_faces_end) > 0, "station ring orientation");
    apply_map(m, fit_map(bounds(m), {-2048, -832, -2152}, {2048, 1672, 1816}));
    return m;
}

}  // namespace korvax::assetgen
