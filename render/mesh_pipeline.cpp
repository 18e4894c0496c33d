#include "render/mesh_pipeline.h"

#include "runtime/runtime.h"
#include "render/render_state.h"

namespace korvax {

Vec3 projected_vertices[MESH_SLOTS];
uint16_t environment_coords[MESH_SLOTS];
DrawListEntry draw_list[MESH_SLOTS - 1];

namespace {

TriangleRecord face_record;

void rasterize(TriangleRecord& record, bool clipped) {
    if (clipped) {
        draw_triangle_clipped(record);
    } else {
        draw_triangle(record);
    }
}
TriangleSink triangle_sink = rasterize;

constexpr int32_t CAMERA_DISTANCE = 670000;
constexpr int32_t PROJECTION_SCALE = 2200000;
constexpr uint32_t CLIP_BIT = 0x80000000u;


const Matrix4& matrix_of(const Matrix4* matrices, uint16_t group) { return matrices[group & 15]; }

void vertex_pass(const MeshObject& mesh, const Matrix4* matrices, int32_t centre_x, int32_t centre_y) {
    for (int32_t j = 1; j <= mesh.vertex_count; ++j) {
        const MeshVertex& vertex = mesh.vertices[j];
        const Matrix4& m = matrix_of(matrices, vertex.group);
        Vec3 p;
        matrix_transform(p, Vec3{vertex.x, vertex.y, vertex.z}, m);

        // l = 2 (2,200,000 / d) + 1: 7 at p.z = 0, 1 from p.z = 1,530,001 on.
        int32_t d = wrap_add(p.z, CAMERA_DISTANCE);
        if (d < 1) d = 1;
        const int32_t l = 2 * divide(PROJECTION_SCALE, d) + 1;
        projected_vertices[j] = Vec3{wrap_add(divide(wrap_neg(p.x), l), centre_x),
                                     wrap_add(divide(wrap_neg(p.y), l), centre_y), divide(p.z, l)};

        Vec3 n;
        matrix_transform(n, mesh.vertex_normals[j], m);
        environment_coords[j] =
            static_cast<uint16_t>((((n.x >> 1) - 128) & 255) + ((((n.y >> 1) - 128) & 255) << 8));
    }
}

// Front-facing in screen space (the y axis grows downward); zero area is rejected.
bool faces_viewer(const Vec3& a, const Vec3& b, const Vec3& c) {
    return wrap_sub(wrap_mul(wrap_sub(c.y, a.y), wrap_sub(a.x, b.x)),
                    wrap_mul(wrap_sub(a.x, c.x), wrap_sub(b.y, a.y))) < 0;
}

uint16_t face_colour(const MeshFace& face, const Matrix4& m) {
    int32_t c = 2;
    if (material_mode_of(face.material) == MODE_FLAT_LIT) {
        Vec3 n;
        matrix_transform(n, face.normal, m);
        // Light along the view axis: the dot product with (0, 0, 256) is n.z.
        const int32_t s = vec3_dot(n, Vec3{0, 0, 256});
        c = (s > 0 ? s >> 3 : 0) + 2;
        if (c > 63) c = 63;
    }
    set_shade_ramp(face.material == 2 ? secondary_ramp : primary_ramp);
    return render_state.shade_ramp[c];
}

int32_t face_pass(const MeshObject& mesh, const Matrix4* matrices) {
    int32_t count = 0;
    for (int32_t f = 1; f <= mesh.face_count; ++f) {
        const MeshFace& face = mesh.faces[f];
        const Vec3& a = projected_vertices[face.vertex_a];
        const Vec3& b = projected_vertices[face.vertex_b];
        const Vec3& c = projected_vertices[face.vertex_c];
        if (!faces_viewer(a, b, c)) continue;
        const int32_t oa = outcode(a.x, a.y, a.z), ob = outcode(b.x, b.y, b.z), oc = outcode(c.x, c.y, c.z);
        if (oa & ob & oc) continue;
        const uint16_t colour = face_colour(face, matrix_of(matrices, mesh.vertices[face.vertex_a].group));
        const uint32_t clip = (oa | ob | oc) != 0 ? CLIP_BIT : 0u;
        draw_list[count].key = wrap_add(wrap_add(a.z, b.z), c.z) >> 3;
        draw_list[count].word = colour | static_cast<uint32_t>(f) << 16 | clip;
        ++count;
    }
    return count;
}

void set_corner(TriangleVertex& corner, int32_t vertex_slot, int32_t u, int32_t v) {
    const Vec3& p = projected_vertices[vertex_slot];
    corner = TriangleVertex{p.x, p.y, p.z, u, v};
}

void draw_pass(const MeshObject& mesh, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t word = draw_list[i].word;
        const MeshFace& face = mesh.faces[(word >> 16) & 0x7FFF];
        const int32_t slots[3] = {face.vertex_a, face.vertex_b, face.vertex_c};
        const TexCoord* uvs[3] = {&face.uv_a, &face.uv_b, &face.uv_c};
        const bool environment = material_mode_of(face.material) == MODE_ENVIRONMENT;
        for (int k = 0; k < 3; ++k) {
            if (environment) {
                const uint16_t e = environment_coords[slots[k]];
                set_corner(face_record.vertex[k], slots[k], e & 0xFF, e >> 8);
            } else {
                set_corner(face_record.vertex[k], slots[k], uvs[k]->u, uvs[k]->v);
            }
        }
        set_draw_colour(word & 0xFFFF);
        set_current_material(static_cast<uint32_t>(face.material));
        if (word & CLIP_BIT) {
            clip_and_draw_triangle(face_record);
        } else {
            triangle_sink(face_record, false);
        }
    }
}

// ---- depth clipping ---------------------------------------------------------------

int32_t outcode_of(const TriangleVertex& v) { return outcode(v.x, v.y, v.z); }

// a + (b - a) * num / den, the products in 64 bits (screen spans times depth
// spans leave 32 bits for large triangles), truncating toward zero.
int32_t lerp(int32_t a, int32_t b, int64_t num, int64_t den) {
    if (den == 0) return a;
    return static_cast<int32_t>(a + (static_cast<int64_t>(b) - a) * num / den);
}

// The point where the edge from corner a toward corner b reaches depth zp:
// x, y, u and v all move with the same parameter (zp - z_a) / (z_b - z_a).
// The rasterizers map textures affinely in screen space, so the pieces of a
// cut triangle show the very texels the whole triangle would have shown there.
// (Dividing u by the projected depth instead would blow up where that depth
// crosses 0: p.z / l is no homogeneous coordinate, it changes sign with p.z.)
// Corners on opposite sides of a limit never share a depth, so den is never 0.
TriangleVertex depth_point(const TriangleVertex& a, const TriangleVertex& b, int32_t zp) {
    const int64_t num = static_cast<int64_t>(zp) - a.z;
    const int64_t den = static_cast<int64_t>(b.z) - a.z;
    return TriangleVertex{lerp(a.x, b.x, num, den), lerp(a.y, b.y, num, den), zp, lerp(a.u, b.u, num, den),
                          lerp(a.v, b.v, num, den)};
}

// The depth limit that the depth bits of an outcode name: low for bit 16, else
// high for bit 32; false when it has neither. For two corners beyond the same
// limit, pass the AND of their outcodes.
bool depth_limit(int32_t code, int32_t& limit) {
    if (code & 16) {
        limit = render_state.depth_range.low;
        return true;
    }
    if (code & 32) {
        limit = render_state.depth_range.high;
        return true;
    }
    return false;
}

}  // namespace

int32_t outcode(int32_t x, int32_t y, int32_t z) {
    const ClipRect& r = render_state.clip_rect;
    const DepthRange& d = render_state.depth_range;
    int32_t code = 0;
    if (x < r.x_min) {
        code |= 4;
    } else if (x > r.x_max) {
        code |= 8;
    }
    if (y < r.y_min) {
        code |= 1;
    } else if (y > r.y_max) {
        code |= 2;
    }
    if (z < d.low) {
        code |= 16;
    } else if (z > d.high) {
        code |= 32;
    }
    return code;
}

void sort_draw_list(int32_t count) {
    for (int32_t i = 1; i < count; ++i) {
        const DrawListEntry entry = draw_list[i];
        int32_t j = i - 1;
        while (j >= 0 && draw_list[j].key > entry.key) {
            draw_list[j + 1] = draw_list[j];
            --j;
        }
        draw_list[j + 1] = entry;
    }
}

void clip_and_draw_triangle(TriangleRecord& record) {
    for (;;) {
        TriangleVertex* c = record.vertex;
        const int32_t o0 = outcode_of(c[0]), o1 = outcode_of(c[1]), o2 = outcode_of(c[2]);
        if ((o0 | o1 | o2) == 0) {
            triangle_sink(record, false);
            return;
        }
        if ((o0 & o1 & o2) != 0) return;

        int32_t limit = 0;
        // Two corners outside: keep the inside corner and the two points where
        // its edges reach the limit.
        if (o0 != 0 && o1 != 0) {
            if (!depth_limit(o0 & o1, limit)) break;
            const TriangleVertex base = c[2];
            record = TriangleRecord{{base, depth_point(base, c[0], limit), depth_point(base, c[1], limit)}};
            continue;
        }
        if (o1 != 0 && o2 != 0) {
            if (!depth_limit(o1 & o2, limit)) break;
            const TriangleVertex base = c[0];
            record = TriangleRecord{{base, depth_point(base, c[1], limit), depth_point(base, c[2], limit)}};
            continue;
        }
        if (o0 != 0 && o2 != 0) {
            if (!depth_limit(o0 & o2, limit)) break;
            const TriangleVertex base = c[1];
            record = TriangleRecord{{base, depth_point(base, c[2], limit), depth_point(base, c[0], limit)}};
            continue;
        }

        // One corner k outside: two triangles, both keeping the winding.
        const int32_t k = o0 != 0 ? 0 : (o1 != 0 ? 1 : 2);
        if (!depth_limit(k == 0 ? o0 : (k == 1 ? o1 : o2), limit)) break;
        const TriangleVertex outside = c[k];
        const TriangleVertex next = c[(k + 1) % 3];
        const TriangleVertex previous = c[(k + 2) % 3];
        const TriangleVertex toward_previous = depth_point(outside, previous, limit);
        const TriangleVertex toward_next = depth_point(outside, next, limit);
        TriangleRecord first{{toward_previous, next, previous}};
        clip_and_draw_triangle(first);
        record = TriangleRecord{{toward_next, next, toward_previous}};
    }
    // Corners outside only beyond screen edges: the rasterizer clips per row.
    triangle_sink(record, true);
}

void set_triangle_sink(TriangleSink sink) { triangle_sink = sink ? sink : rasterize; }

void draw_mesh(const MeshObject& mesh, const Matrix4* matrices, int32_t centre_x, int32_t centre_y) {
    if (!mesh.ready) return;
    vertex_pass(mesh, matrices, centre_x, centre_y);
    const int32_t count = face_pass(mesh, matrices);
    sort_draw_list(count);
    draw_pass(mesh, count);
}

}  // namespace korvax
