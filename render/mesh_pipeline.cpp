#include "render/mesh_pipeline.h"

#include <stddef.h>

#include "runtime/pixels.h"
#include "runtime/runtime.h"
#include "render/render_state.h"

namespace korvax {

Vec3 projected_vertices[MESH_SLOTS];
uint16_t environment_coords[MESH_SLOTS];
DrawListEntry draw_list[MESH_SLOTS - 1];

namespace {

TriangleRecord face_record;
// Outcodes of the vertex slots the last vertex pass projected (1..vertex_count).
int32_t vertex_outcodes[MESH_SLOTS];

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

// Row `row` of M * (x, y, z), as matrix_transform forms it.
inline int32_t transform_row(const int32_t* e, int32_t x, int32_t y, int32_t z) {
    return wrap_add(wrap_add(wrap_mul(e[0], x), wrap_mul(e[1], y)), wrap_mul(e[2], z)) >> FIX8_SHIFT;
}

// l = 2 (2,200,000 / d) + 1 for d >= 1. Depths around the camera distance give
// quotients 0..4, found by comparing d with 2,200,000 / k (the quotient is at
// least k exactly when d <= floor(2,200,000 / k)); only nearer points divide.
inline uint32_t projection_divisor(int32_t d) {
    if (d > 733333) return d > 1100000 ? (d > 2200000 ? 1u : 3u) : 5u;
    if (d > 440000) return d > 550000 ? 7u : 9u;
    return 2u * u32(divide(PROJECTION_SCALE, d)) + 1u;
}

// divide(a, d) for 1 <= d < KNOWN_DIVISORS with m = known_divisor_m.m[d]:
// |a| < 2^32 and d * m > 2^32 - 1 - d, so |a| * m / 2^32 falls short of
// |a| / d by less than 1 and the high word is the quotient or one less; one
// comparison of the remainder settles it (divide_by's loop never runs twice
// here). The sign is applied as (q ^ s) - s with s = 0 or all ones.
inline int32_t divide_small(int32_t a, uint32_t d, uint32_t m) {
    const uint32_t s = u32(a >> 31);
    const uint32_t n = (u32(a) ^ s) - s;
    uint32_t q = static_cast<uint32_t>((static_cast<uint64_t>(n) * m) >> 32);
    if (n - q * d >= d) ++q;
    return s32((q ^ s) - s);
}

// outcode() with the clip rectangle and depth range held in locals.
inline int32_t outcode_within(const ClipRect& r, const DepthRange& depth, int32_t x, int32_t y, int32_t z) {
    int32_t code = 0;
    if (x < r.x_min) {
        code = 4;
    } else if (x > r.x_max) {
        code = 8;
    }
    if (y < r.y_min) {
        code |= 1;
    } else if (y > r.y_max) {
        code |= 2;
    }
    if (z < depth.low) {
        code |= 16;
    } else if (z > depth.high) {
        code |= 32;
    }
    return code;
}

// One vertex of the run: position transformed and projected, its outcode,
// and the environment coordinates from the x and y rows of its transformed
// normal (the z row is not needed).
void project_vertex(VertexRun& run) {
    const MeshVertex* vertex = run.vertex;
    const int32_t* e = matrix_of(run.matrices, vertex->group).m;
    const int32_t x = vertex->x, y = vertex->y, z = vertex->z;
    const int32_t px = transform_row(e, x, y, z);
    const int32_t py = transform_row(e + 4, x, y, z);
    const int32_t pz = transform_row(e + 8, x, y, z);

    int32_t d = wrap_add(pz, CAMERA_DISTANCE);
    if (d < 1) d = 1;
    const Divisor by_l = make_divisor(projection_divisor(d));
    int32_t qx, qy, qz;
    if (by_l.d < KNOWN_DIVISORS) {
        qx = wrap_add(divide_small(wrap_neg(px), by_l.d, by_l.m), run.centre_x);
        qy = wrap_add(divide_small(wrap_neg(py), by_l.d, by_l.m), run.centre_y);
        qz = divide_small(pz, by_l.d, by_l.m);
    } else {
        qx = wrap_add(divide_by(wrap_neg(px), by_l), run.centre_x);
        qy = wrap_add(divide_by(wrap_neg(py), by_l), run.centre_y);
        qz = divide_by(pz, by_l);
    }

    *run.projected++ = Vec3{qx, qy, qz};
    if (run.code != nullptr) *run.code++ = outcode_within(run.clip, run.depth, qx, qy, qz);

    // After the stores: the matrix is read again rather than kept in
    // registers the projection needs.
    const Vec3* normal = run.normal++;
    const int32_t ex = transform_row(e, normal->x, normal->y, normal->z);
    const int32_t ey = transform_row(e + 4, normal->x, normal->y, normal->z);
    *run.environment++ =
        static_cast<uint16_t>((((ex >> 1) - 128) & 255) + ((((ey >> 1) - 128) & 255) << 8));
    run.vertex = vertex + 1;
}

#if defined(__arm__)
// render/arm/vertex_pass.S: project_vertex for every vertex of the run up to
// the first that needs a division (d <= 440,000), where it stops.
extern "C" void korvax_vertex_run(VertexRun* run);
static_assert(sizeof(MeshVertex) == 16 && sizeof(Vec3) == 12, "vertex_pass.S strides");
static_assert(offsetof(VertexRun, centre_x) == 24 && offsetof(VertexRun, vertex) == 32 &&
                  offsetof(VertexRun, matrices) == 56,
              "vertex_pass.S offsets");
#endif

}  // namespace

void project_vertices(VertexRun& run) {
#if defined(__arm__)
    for (;;) {
        korvax_vertex_run(&run);
        if (run.vertex == run.end) return;
        project_vertex(run);
    }
#else
    while (run.vertex != run.end) project_vertex(run);
#endif
}

namespace {

// Every vertex of the mesh once, its outcode only with `codes`.
void vertex_pass(const MeshObject& mesh, const Matrix4* matrices, int32_t centre_x, int32_t centre_y, bool codes) {
    VertexRun run{render_state.clip_rect,
                  render_state.depth_range,
                  centre_x,
                  centre_y,
                  &mesh.vertices[1],
                  &mesh.vertices[1] + mesh.vertex_count,
                  &mesh.vertex_normals[1],
                  &projected_vertices[1],
                  codes ? &vertex_outcodes[1] : nullptr,
                  &environment_coords[1],
                  matrices};
    project_vertices(run);
}

// Front-facing in screen space (the y axis grows downward); zero area is rejected.
[[maybe_unused]] bool faces_viewer(const Vec3& a, const Vec3& b, const Vec3& c) {
    return wrap_sub(wrap_mul(wrap_sub(c.y, a.y), wrap_sub(a.x, b.x)),
                    wrap_mul(wrap_sub(a.x, c.x), wrap_sub(b.y, a.y))) < 0;
}

// The numbers of the faces the last face pass found facing the viewer.
uint16_t front_face_numbers[MESH_SLOTS];

#if defined(__arm__)
// render/arm/front_faces.S: front_faces.
extern "C" int32_t korvax_front_faces(uint16_t* numbers, const MeshFace* faces, int32_t count,
                                      const Vec3* projected);
static_assert(sizeof(MeshFace) == 52, "front_faces.S stride");
#endif

}  // namespace

int32_t front_faces(uint16_t* numbers, const MeshFace* faces, int32_t count, const Vec3* projected) {
#if defined(__arm__)
    return korvax_front_faces(numbers, faces, count, projected);
#else
    int32_t n = 0;
    for (int32_t f = 1; f <= count; ++f) {
        const MeshFace& face = faces[f];
        if (faces_viewer(projected[face.vertex_a], projected[face.vertex_b], projected[face.vertex_c])) {
            numbers[n++] = static_cast<uint16_t>(f);
        }
    }
    return n;
#endif
}

namespace {

// Shade step of a flat-lit face: its normal turned by M, lit along the view
// axis. The dot product with (0, 0, 256) is (n.z * 256) >> 8 (the x and y
// terms are 0), so only the z row of M * normal is formed.
int32_t lit_shade(const Vec3& normal, const Matrix4& m) {
    const int32_t nz = transform_row(&m.m[8], normal.x, normal.y, normal.z);
    const int32_t s = fix8_mul(nz, 256);
    const int32_t c = (s > 0 ? s >> 3 : 0) + 2;
    return c > 63 ? 63 : c;
}

// The outcode of a face corner: from the vertex pass for the slots 1..coded,
// worked out for any other slot (slot 0, one the mesh does not use, whose
// projected position is whatever an earlier mesh left there, or every slot
// when the vertex pass left the outcodes to the faces).
inline int32_t corner_outcode(uint32_t coded, int32_t slot, const Vec3& p) {
    if (u32(slot) - 1u < coded) return vertex_outcodes[slot];
    return outcode(p.x, p.y, p.z);
}

// Every face: culled, coloured and entered in the draw list. The shade ramp
// of the last face entered is left in render_state, as setting it for each
// face would leave it.
// The lowest and highest key entered are left in lowest and highest.
int32_t face_pass(const MeshObject& mesh, const Matrix4* matrices, uint32_t coded, int32_t& lowest,
                  int32_t& highest) {
    int32_t count = 0;
    int32_t low = INT32_MAX, high = INT32_MIN;
    const uint16_t* ramp = nullptr;
    // The back faces first, in one tight loop; then the rest of the tests and
    // the list entries for the faces that remain.
    const int32_t front = front_faces(front_face_numbers, mesh.faces, mesh.face_count, projected_vertices);
    for (int32_t i = 0; i < front; ++i) {
        const int32_t f = front_face_numbers[i];
        const MeshFace* face = &mesh.faces[f];
        const int32_t sa = face->vertex_a, sb = face->vertex_b, sc = face->vertex_c;
        const Vec3& a = projected_vertices[sa];
        const Vec3& b = projected_vertices[sb];
        const Vec3& c = projected_vertices[sc];
        const int32_t oa = corner_outcode(coded, sa, a), ob = corner_outcode(coded, sb, b),
                      oc = corner_outcode(coded, sc, c);
        if (oa & ob & oc) continue;
        const int32_t material = face->material;
        int32_t shade = 2;
        if (material_mode_of(material) == MODE_FLAT_LIT) {
            shade = lit_shade(face->normal, matrix_of(matrices, mesh.vertices[sa].group));
        }
        ramp = material == 2 ? secondary_ramp : primary_ramp;
        const uint32_t clip = (oa | ob | oc) != 0 ? CLIP_BIT : 0u;
        const int32_t key = wrap_add(wrap_add(a.z, b.z), c.z) >> 3;
        if (key < low) low = key;
        if (key > high) high = key;
        draw_list[count].key = key;
        draw_list[count].word = ramp[shade] | static_cast<uint32_t>(f) << 16 | clip;
        ++count;
    }
    if (ramp != nullptr) set_shade_ramp(ramp);
    lowest = low;
    highest = high;
    return count;
}

// The record's corner: the projected vertex and its texture coordinates.
inline void set_corner(TriangleVertex& corner, const Vec3& p, int32_t u, int32_t v) {
    corner = TriangleVertex{p.x, p.y, p.z, u, v};
}

#if defined(__arm__)
// render/arm/face_corners.S: face_corners with and without the environment.
extern "C" void korvax_face_corners(TriangleVertex* corners, const MeshFace* face, const Vec3* projected);
extern "C" void korvax_face_corners_environment(TriangleVertex* corners, const MeshFace* face,
                                                const Vec3* projected, const uint16_t* environment);
static_assert(sizeof(TriangleVertex) == 20 && offsetof(MeshFace, uv_a) == 16 && offsetof(MeshFace, uv_c) == 32,
              "face_corners.S layout");
#endif

}  // namespace

void face_corners(TriangleVertex* corners, const MeshFace& face, const Vec3* projected,
                  const uint16_t* environment) {
#if defined(__arm__)
    if (environment != nullptr) {
        korvax_face_corners_environment(corners, &face, projected, environment);
    } else {
        korvax_face_corners(corners, &face, projected);
    }
#else
    const int32_t sa = face.vertex_a, sb = face.vertex_b, sc = face.vertex_c;
    if (environment != nullptr) {
        const uint32_t ea = environment[sa], eb = environment[sb], ec = environment[sc];
        set_corner(corners[0], projected[sa], s32(ea & 0xFF), s32(ea >> 8));
        set_corner(corners[1], projected[sb], s32(eb & 0xFF), s32(eb >> 8));
        set_corner(corners[2], projected[sc], s32(ec & 0xFF), s32(ec >> 8));
    } else {
        set_corner(corners[0], projected[sa], face.uv_a.u, face.uv_a.v);
        set_corner(corners[1], projected[sb], face.uv_b.u, face.uv_b.v);
        set_corner(corners[2], projected[sc], face.uv_c.u, face.uv_c.v);
    }
#endif
}

namespace {

void draw_pass(const MeshObject& mesh, int32_t count) {
    const TriangleSink sink = triangle_sink;
    const MeshFace* const faces = mesh.faces;
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t word = draw_list[i].word;
        const MeshFace& face = faces[(word >> 16) & 0x7FFF];
        const int32_t material = face.material;
        const int32_t mode = material_mode_of(material);
        face_corners(face_record.vertex, face, projected_vertices,
                     mode == MODE_ENVIRONMENT ? environment_coords : nullptr);
        render_state.draw_colour = word & 0xFFFF;
        render_state.current_material = static_cast<uint16_t>(material);
        if (word & CLIP_BIT) {
            clip_and_draw_triangle(face_record);
        } else if (sink == rasterize) {
            // draw_triangle's choice, from the mode already at hand.
            switch (mode) {
                case MODE_FLAT_OR: fill_flat_or(face_record); break;
                case MODE_TEXTURED_BLEND: fill_textured_blend(face_record); break;
                case MODE_FLAT_LIT: fill_flat(face_record); break;
                default: fill_textured(face_record); break;
            }
        } else {
            sink(face_record, false);
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
    return outcode_within(render_state.clip_rect, render_state.depth_range, x, y, z);
}

namespace {

// Scratch of sort_draw_list: the list between two counting passes, and the
// bucket counts of one pass.
DrawListEntry sort_scratch[MESH_SLOTS - 1];
constexpr int32_t WIDE_BUCKETS = 16384;  // one pass when the keys span fewer
constexpr int32_t DIGIT_BITS = 11;       // otherwise passes of 11 bits
uint32_t bucket_end[WIDE_BUCKETS];

void insertion_sort(DrawListEntry* list, int32_t count) {
    for (int32_t i = 1; i < count; ++i) {
        const DrawListEntry entry = list[i];
        int32_t j = i - 1;
        while (j >= 0 && list[j].key > entry.key) {
            list[j + 1] = list[j];
            --j;
        }
        list[j + 1] = entry;
    }
}

// One stable counting pass over the digit (key - low) >> shift & mask, which
// is below `buckets`: the entries of each bucket keep their order.
void counting_pass(const DrawListEntry* src, DrawListEntry* dst, int32_t count, uint32_t low, uint32_t shift,
                   uint32_t mask, uint32_t buckets) {
    for (uint32_t b = 0; b < buckets; ++b) bucket_end[b] = 0;
    for (int32_t i = 0; i < count; ++i) ++bucket_end[((u32(src[i].key) - low) >> shift) & mask];
    uint32_t sum = 0;
    for (uint32_t b = 0; b < buckets; ++b) {
        const uint32_t n = bucket_end[b];
        bucket_end[b] = sum;
        sum += n;
    }
    for (int32_t i = 0; i < count; ++i) {
        const DrawListEntry e = src[i];
        dst[bucket_end[((u32(e.key) - low) >> shift) & mask]++] = e;
    }
}

}  // namespace

namespace {

// The one counting pass of keys spanning `buckets` values from `low`: the
// list to the scratch, then each entry back to the slot its bucket has
// reached (the passes below with no shift and no mask, in fewer steps).
void counting_sort_once(int32_t count, uint32_t low, uint32_t buckets) {
    for (uint32_t b = 0; b < buckets; ++b) bucket_end[b] = 0;
    const DrawListEntry* const end = sort_scratch + count;
    for (int32_t i = 0; i < count; ++i) sort_scratch[i] = draw_list[i];
    for (const DrawListEntry* e = sort_scratch; e != end; ++e) ++bucket_end[u32(e->key) - low];
    uint32_t sum = 0;
    for (uint32_t b = 0; b < buckets; ++b) {
        const uint32_t n = bucket_end[b];
        bucket_end[b] = sum;
        sum += n;
    }
    for (const DrawListEntry* e = sort_scratch; e != end; ++e) draw_list[bucket_end[u32(e->key) - low]++] = *e;
}

// sort_draw_list with the lowest and highest key known.
void sort_keys_between(int32_t count, int32_t lowest, int32_t highest) {
    const uint32_t low = u32(lowest);
    const uint32_t span = u32(highest) - low;
    if (span < static_cast<uint32_t>(WIDE_BUCKETS) && span <= 8 * u32(count)) {
        counting_sort_once(count, low, span + 1);
        return;
    }
    DrawListEntry* src = draw_list;
    DrawListEntry* dst = sort_scratch;
    constexpr uint32_t mask = (1u << DIGIT_BITS) - 1;
    for (uint32_t shift = 0; shift < 32; shift += DIGIT_BITS) {
        counting_pass(src, dst, count, low, shift, mask, mask + 1);
        DrawListEntry* t = src;
        src = dst;
        dst = t;
        if (shift + DIGIT_BITS >= 32 || (span >> (shift + DIGIT_BITS)) == 0) break;
    }
    if (src != draw_list) {
        for (int32_t i = 0; i < count; ++i) draw_list[i] = src[i];
    }
}

}  // namespace

// Stable: equal keys keep their face order, exactly as an insertion sort
// leaves them. Short lists are insertion-sorted; longer ones are sorted by
// counting passes over key - lowest key (which orders as the signed keys do),
// one pass when the keys span fewer than 16,384 values and not many more than
// there are entries, otherwise 11 bits a pass.
void sort_draw_list(int32_t count) {
    if (count < 2) return;
    if (count <= 32) {
        insertion_sort(draw_list, count);
        return;
    }
    int32_t lowest = draw_list[0].key, highest = lowest;
    for (int32_t i = 1; i < count; ++i) {
        const int32_t k = draw_list[i].key;
        if (k < lowest) lowest = k;
        if (k > highest) highest = k;
    }
    sort_keys_between(count, lowest, highest);
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
    // The outcodes serve only the front faces' corners: a mesh with fewer
    // faces than half its vertices (a wire-frame's points, a lone face) has
    // its corners' outcodes worked out by the face pass instead.
    const bool codes = 2 * mesh.face_count >= mesh.vertex_count;
    vertex_pass(mesh, matrices, centre_x, centre_y, codes);
    const uint32_t coded = codes ? mesh.vertex_count : 0u;
    int32_t lowest, highest;
    const int32_t count = face_pass(mesh, matrices, coded, lowest, highest);
    // sort_draw_list, with the key range the face pass found.
    if (count > 32) {
        sort_keys_between(count, lowest, highest);
    } else {
        sort_draw_list(count);
    }
    draw_pass(mesh, count);
}

}  // namespace korvax
