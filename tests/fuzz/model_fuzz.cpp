// libFuzzer target: a model asset of any bytes through everything start-up and
// the scenes do with one. The input is loaded into a mesh; when it loads, the
// same bytes serve as a texture-coordinate table, the model is merged behind
// a copy of itself, deformed, its normals recomputed, and the mesh is drawn
// through the pipeline in the drawing modes and as a wire frame, with the
// asset's own bytes read as an edge list. Each run gets exactly its input's
// bytes in an allocation of their own, so the address sanitizer reports any
// read past the asset.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "math/fixed_math.h"
#include "runtime/tables.h"
#include "models/mesh.h"
#include "models/model_loader.h"
#include "runtime/runtime.h"
#include "render/draw2d.h"
#include "render/mesh_pipeline.h"
#include "render/render_state.h"

using namespace korvax;

namespace {

FrameBuffer frame;
uint16_t texture[TEXTURE_TEXELS];
Matrix4 matrices[16];

uint32_t mix(const uint8_t* data, size_t size) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < size && i < 64; ++i) h = (h ^ data[i]) * 16777619u;
    return h ^ static_cast<uint32_t>(size);
}

void set_up_once() {
    static bool done = false;
    if (done) return;
    done = true;
    build_reciprocal_table();
    build_cosine_table(COS_TABLE);
    for (int i = 0; i < TEXTURE_TEXELS; ++i) texture[i] = static_cast<uint16_t>(i * 2654435761u >> 16);
    for (int i = 0; i < 64; ++i) {
        primary_ramp[i] = static_cast<uint16_t>(0x0841 * (i >> 1));
        secondary_ramp[i] = static_cast<uint16_t>(0xF800 | i);
    }
    set_render_target(&frame);
    set_texture_map(texture);
    set_shade_ramp(primary_ramp);
    const int32_t x0 = 0, y0 = 0, x1 = 319, y1 = 239, low = -50000, high = 50000;
    set_clip_rect(x0, y0, x1, y1);
    set_depth_range(low, high);
}

// Materials 0..15 take the five drawing modes in turn from a place the seed
// chooses, so one draw of a mesh with varied materials uses all of them.
void draw_all_modes(const MeshObject& mesh, uint32_t seed) {
    for (int k = 0; k < 16; ++k) {
        matrix_from_angles(matrices[k], (seed >> (k & 7)) & 1023, (seed >> 10) & 1023, (seed >> 20) & 1023);
    }
    for (uint32_t material = 0; material < MATERIAL_COUNT; ++material) {
        set_material_mode(static_cast<int32_t>((seed + material) % 5), material);
    }
    draw_mesh(mesh, matrices, 160 + static_cast<int32_t>(seed & 63) - 32, 120);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    set_up_once();
    if (size > 0xFFFFFFFFu) return 0;
    // Exactly the input's bytes: nothing behind them is readable.
    std::vector<uint8_t> asset(data, data + size);
    const ModelAsset model{asset.empty() ? nullptr : asset.data(), static_cast<uint32_t>(asset.size())};
    const uint32_t seed = mix(data, size);

    MeshObject& mesh = meshes[12];
    if (load_model(mesh, model) == 0) return 0;

    apply_uv_table(mesh, UvTable{model.bytes, model.size});
    draw_all_modes(mesh, seed);
    // Edge pairs over the projected vertices of the mesh just drawn.
    if (size >= 4) {
        std::vector<int16_t> edges(size / 2);
        memcpy(edges.data(), data, edges.size() * 2);
        draw_mesh_edges(mesh, edges.data(), static_cast<int32_t>(edges.size() / 2), static_cast<int32_t>(seed & 3));
    }

    // The start-up steps of the scene meshes.
    MeshObject& merged = meshes[11];
    copy_mesh(merged, mesh);
    translate_mesh(merged, Vec3{0, -50, 0});
    scale_mesh(merged, static_cast<int32_t>(seed & 511));
    append_model(merged, model, static_cast<int32_t>(seed >> 16));
    translate_vertices(merged, 0, Vec3{0, -550, 0});
    scale_vertices(merged, 1, 360);
    set_vertex_group(merged, static_cast<int32_t>(seed & 3));
    // Smoothing compares every face with every other: kept to small meshes,
    // which reach all of its paths, so that a run stays fast.
    if (merged.face_count <= 400) compute_vertex_normals(merged);
    draw_all_modes(merged, seed * 2654435761u);

    // A morph frame written over the first vertices, as the updaters do.
    std::vector<int16_t> positions(3 * 64);
    for (size_t i = 0; i < positions.size(); ++i) positions[i] = static_cast<int16_t>(seed * (i + 1));
    set_vertex_positions(mesh, positions.data(), 64, 1);
    update_normals(mesh);
    draw_all_modes(mesh, seed ^ 0x5A5A5A5Au);
    return 0;
}
