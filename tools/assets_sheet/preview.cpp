#include "preview.h"

#include <algorithm>
#include <cmath>

namespace korvax::assets_sheet {

namespace {

int be16(const uint8_t* p) { return static_cast<int16_t>(static_cast<uint16_t>(p[0] << 8 | p[1])); }
uint32_t be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

}  // namespace

PreviewMesh parse_model(const uint8_t* asset, const uint8_t* uv_table) {
    PreviewMesh m;
    const uint32_t length = be32(asset + 8);
    const int n = static_cast<uint16_t>(be16(asset + 12));
    for (int i = 0; i + 1 < n; ++i) {
        const uint8_t* r = asset + 14 + 8 * i;
        m.vertices.push_back({static_cast<double>(be16(r)), static_cast<double>(be16(r + 2)),
                              static_cast<double>(be16(r + 4))});
        m.groups.push_back(static_cast<uint16_t>(be16(r + 6)));
    }
    const uint32_t faces = be32(asset + 14 + length) & 0xFFFF;
    for (uint32_t f = 0; f < faces; ++f) {
        const uint8_t* r = asset + 18 + length + 8 * f;
        PreviewFace face{be16(r) + 1, be16(r + 2) + 1, be16(r + 4) + 1, be16(r + 6), {}};
        const int corners[3] = {face.a, face.b, face.c};
        for (int k = 0; k < 3; ++k) {
            const auto& p = m.vertices[static_cast<size_t>(corners[k])];
            face.uv[2 * k] = (static_cast<int>(p[0]) >> 4) & 0xFF;
            face.uv[2 * k + 1] = (static_cast<int>(p[2]) >> 4) & 0xFF;
            if (uv_table) {
                face.uv[2 * k] = (uv_table[6 * f + 2 * k] + 2) & 0xFF;
                face.uv[2 * k + 1] = (0 - uv_table[6 * f + 2 * k + 1]) & 0xFF;
            }
        }
        m.faces.push_back(face);
    }
    return m;
}

void append_mesh(PreviewMesh& dst, const PreviewMesh& src, int group_offset) {
    const int base = static_cast<int>(dst.vertices.size()) - 1;
    for (size_t i = 1; i < src.vertices.size(); ++i) {
        dst.vertices.push_back(src.vertices[i]);
        dst.groups.push_back(src.groups[i] + group_offset);
    }
    for (PreviewFace f : src.faces) {
        f.a += base;
        f.b += base;
        f.c += base;
        dst.faces.push_back(f);
    }
}

void scale(PreviewMesh& m, int group, double factor) {
    for (size_t i = 1; i < m.vertices.size(); ++i) {
        if (group >= 0 && m.groups[i] != group) continue;
        for (double& c : m.vertices[i]) c *= factor;
    }
}

void translate(PreviewMesh& m, int group, double x, double y, double z) {
    for (size_t i = 1; i < m.vertices.size(); ++i) {
        if (group >= 0 && m.groups[i] != group) continue;
        m.vertices[i][0] += x;
        m.vertices[i][1] += y;
        m.vertices[i][2] += z;
    }
}

void apply_key(PreviewMesh& m, const uint8_t* key, int count, int first, int shift, std::array<int, 3> offset) {
    for (int i = 0; i < count; ++i) {
        const uint8_t* r = key + 8 * i;
        for (int c = 0; c < 3; ++c) {
            const int v = static_cast<int16_t>(static_cast<uint16_t>(r[2 * c] | r[2 * c + 1] << 8));
            m.vertices[static_cast<size_t>(first + i)][static_cast<size_t>(c)] = offset[static_cast<size_t>(c)] + (v >> shift);
        }
    }
}

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix d{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            d[3 * r + c] = a[3 * r] * b[c] + a[3 * r + 1] * b[3 + c] + a[3 * r + 2] * b[6 + c];
        }
    }
    return d;
}

Matrix rotation_from_angles(double a, double b, double c) {
    const double k = 2 * M_PI / 1024;
    const double ca = std::cos(a * k), sa = std::sin(a * k), cb = std::cos(b * k), sb = std::sin(b * k);
    const double cc = std::cos(c * k), sc = std::sin(c * k);
    const Matrix ry{ca, 0, sa, 0, 1, 0, -sa, 0, ca};
    const Matrix rx{1, 0, 0, 0, cb, -sb, 0, sb, cb};
    const Matrix rz{cc, -sc, 0, sc, cc, 0, 0, 0, 1};
    return multiply(multiply(ry, rx), rz);
}

Matrix camera_view(double t) {
    // Orientations of keys 3 and 4 as loaded (w, x, y, z).
    const double q3[4] = {-181, 66, 142, 88}, q4[4] = {-149, 18, -198, -59};
    const double s = t * 250.0 / 256.0;
    double q[4], len = 0;
    for (int i = 0; i < 4; ++i) {
        q[i] = q3[i] + (q4[i] - q3[i]) * s;
        len += q[i] * q[i];
    }
    len = std::sqrt(len);
    const double w = q[0] / len, x = q[1] / len, y = q[2] / len, z = q[3] / len;
    const Matrix r{1 - 2 * (y * y + z * z), 2 * (x * y - w * z),     2 * (x * z + w * y),
                   2 * (x * y + w * z),     1 - 2 * (x * x + z * z), 2 * (y * z - w * x),
                   2 * (x * z - w * y),     2 * (y * z + w * x),     1 - 2 * (x * x + y * y)};
    return {r[0], r[3], r[6], r[1], r[4], r[7], r[2], r[5], r[8]};  // the transpose
}

namespace {

struct Projected {
    double x, y, z;
    double nx, ny;  // transformed vertex normal (for the environment map)
};

uint16_t ramp_colour(uint16_t a, uint16_t b, int level) {
    auto ch = [&](int shift, int mask) {
        const int ca = (a >> shift) & mask, cb = (b >> shift) & mask;
        return (ca + (cb - ca) * level / 64) & mask;
    };
    return static_cast<uint16_t>(ch(11, 31) << 11 | ch(5, 63) << 5 | ch(0, 31));
}

}  // namespace

void render(Canvas& canvas, const PreviewMesh& mesh, const std::vector<Matrix>& group_matrices, int cx, int cy,
            const std::array<Material, 16>& materials, const uint16_t* texture, bool skip_empty_slot) {
    const size_t nv = mesh.vertices.size();
    // Vertex normals: sum of the face normals around each vertex.
    std::vector<std::array<double, 3>> normals(nv, {0, 0, 0});
    std::vector<std::array<double, 3>> face_normals;
    for (const PreviewFace& f : mesh.faces) {
        const auto& a = mesh.vertices[static_cast<size_t>(f.a)];
        const auto& b = mesh.vertices[static_cast<size_t>(f.b)];
        const auto& c = mesh.vertices[static_cast<size_t>(f.c)];
        const double e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const double e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        std::array<double, 3> n{e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                e1[0] * e2[1] - e1[1] * e2[0]};
        const double l = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (l > 0) {
            for (double& x : n) x /= l;
        }
        face_normals.push_back(n);
        for (int v : {f.a, f.b, f.c}) {
            for (int k = 0; k < 3; ++k) normals[static_cast<size_t>(v)][static_cast<size_t>(k)] += n[static_cast<size_t>(k)];
        }
    }
    auto matrix_of = [&](size_t v) -> const Matrix& {
        const size_t g = static_cast<size_t>(mesh.groups[v]);
        return group_matrices[std::min(g, group_matrices.size() - 1)];
    };
    auto apply = [](const Matrix& m, const std::array<double, 3>& p) {
        return std::array<double, 3>{m[0] * p[0] + m[1] * p[1] + m[2] * p[2], m[3] * p[0] + m[4] * p[1] + m[5] * p[2],
                                     m[6] * p[0] + m[7] * p[1] + m[8] * p[2]};
    };
    std::vector<Projected> proj(nv);
    for (size_t v = 1; v < nv; ++v) {
        const auto p = apply(matrix_of(v), mesh.vertices[v]);
        double d = p[2] + 670000;
        if (d < 1) d = 1;
        const double l = 2 * std::floor(2200000 / d) + 1;
        auto n = apply(matrix_of(v), normals[v]);
        const double nl = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (nl > 0) {
            for (double& x : n) x /= nl;
        }
        proj[v] = {-p[0] / l + cx, -p[1] / l + cy, p[2] / l, n[0], n[1]};
    }
    proj[0] = {0, 0, 0, 0, 0};

    struct Entry {
        double key;
        size_t face;
    };
    std::vector<Entry> list;
    for (size_t f = 0; f < mesh.faces.size(); ++f) {
        const PreviewFace& face = mesh.faces[f];
        const Projected &a = proj[static_cast<size_t>(face.a)], &b = proj[static_cast<size_t>(face.b)],
                        &c = proj[static_cast<size_t>(face.c)];
        const double cull = (c.y - a.y) * (a.x - b.x) - (a.x - c.x) * (b.y - a.y);
        if (cull >= 0) continue;
        if (skip_empty_slot && (face.a == 0 || face.b == 0 || face.c == 0)) continue;
        list.push_back({a.z + b.z + c.z, f});
    }
    std::stable_sort(list.begin(), list.end(), [](const Entry& x, const Entry& y) { return x.key < y.key; });

    for (const Entry& e : list) {
        const PreviewFace& face = mesh.faces[e.face];
        const Material& mat = materials[static_cast<size_t>(face.material & 15)];
        const int ids[3] = {face.a, face.b, face.c};
        double u[3], v[3];
        for (int k = 0; k < 3; ++k) {
            const Projected& p = proj[static_cast<size_t>(ids[k])];
            if (mat.mode == 1) {
                u[k] = 128 + 64 * p.nx;
                v[k] = 128 + 64 * p.ny;
            } else {
                u[k] = face.uv[2 * k];
                v[k] = face.uv[2 * k + 1];
            }
        }
        uint16_t flat = 0;
        if (mat.mode == 2) {
            // Stored normals have length 256 with each component clamped to
            // -128..127, so a face turned to the viewer reaches level 17 or so.
            std::array<double, 3> stored = face_normals[e.face];
            for (double& x : stored) x = std::clamp(std::floor(x * 256), -128.0, 127.0);
            const auto n = apply(matrix_of(static_cast<size_t>(face.a)), stored);
            const double s = n[2];
            int level = (s > 0 ? static_cast<int>(s) >> 3 : 0) + 2;
            level = std::min(level, 63);
            flat = ramp_colour(mat.ramp_from, mat.ramp_to, level);
        }
        const Projected &a = proj[static_cast<size_t>(ids[0])], &b = proj[static_cast<size_t>(ids[1])],
                        &c = proj[static_cast<size_t>(ids[2])];
        const double area = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
        if (std::fabs(area) < 1e-9) continue;
        const int x0 = std::max(0, static_cast<int>(std::floor(std::min({a.x, b.x, c.x}))));
        const int x1 = std::min(canvas.width - 1, static_cast<int>(std::ceil(std::max({a.x, b.x, c.x}))));
        const int y0 = std::max(0, static_cast<int>(std::floor(std::min({a.y, b.y, c.y}))));
        const int y1 = std::min(canvas.height - 1, static_cast<int>(std::ceil(std::max({a.y, b.y, c.y}))));
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                const double px = x + 0.5, py = y + 0.5;
                const double w0 = ((b.x - px) * (c.y - py) - (c.x - px) * (b.y - py)) / area;
                const double w1 = ((c.x - px) * (a.y - py) - (a.x - px) * (c.y - py)) / area;
                const double w2 = 1 - w0 - w1;
                if (w0 < 0 || w1 < 0 || w2 < 0) continue;
                uint16_t& dst = canvas.pixels[static_cast<size_t>(y * canvas.width + x)];
                if (mat.mode == 2) {
                    dst = flat;
                    continue;
                }
                const int tu = static_cast<int>(std::floor(w0 * u[0] + w1 * u[1] + w2 * u[2])) & 255;
                const int tv = static_cast<int>(std::floor(w0 * v[0] + w1 * v[1] + w2 * v[2])) & 255;
                const uint16_t texel = texture[tv * 256 + tu];
                dst = mat.mode == 4 ? static_cast<uint16_t>(texel | ((dst >> 2) & 0x79E7)) : texel;
            }
        }
    }
}

}  // namespace korvax::assets_sheet
