// Start-up of the animation state and the models: the object matrices and
// spin rates, the twelve models in their mesh slots, the first mesh and the
// camera path.
#include "assets/assets.h"
#include "math/fixed_math.h"
#include "models/mesh.h"
#include "models/model_loader.h"
#include "platform/entry.h"
#include "sequence/timeline.h"

namespace korvax {

namespace {

ModelAsset model(AssetId id) {
    Blob blob = embedded_asset(id);
    return {blob.data, blob.size};
}

UvTable uv_table(AssetId id) {
    Blob blob = embedded_asset(id);
    return {blob.data, blob.size};
}

}  // namespace

void init_animation_state() {
    scene_matrices = object_matrices;
    for (Matrix4& m : object_matrices) matrix_identity(m);
    set_camera_path_active(0);
    spin_state[0].angle_c = 128;
    spin_state[0].angle_a = 256;
    spin_state[0].angle_b = 128;
    // The accumulators as they stand, not shifted to angle steps.
    matrix_from_angles(object_matrices[0], 256, 128, 128);
    set_spin(0, 2, 13, 2);
    set_spin(1, 33, 20, 16);
}

void load_models() {
    MeshObject* m = meshes;

    load_model(m[0], model(AssetId::MODEL_0));
    apply_uv_table(m[0], uv_table(AssetId::UV_TABLE_0));
    scale_mesh(m[0], 100);

    load_model(m[1], model(AssetId::MODEL_1));

    load_model(m[2], model(AssetId::MODEL_2));

    load_model(m[3], model(AssetId::MODEL_3));
    scale_mesh(m[3], 80);
    set_vertex_group(m[3], 2);

    load_model(m[4], model(AssetId::MODEL_4));
    apply_uv_table(m[4], uv_table(AssetId::UV_TABLE_4));

    load_model(m[5], model(AssetId::MODEL_5));
    apply_uv_table(m[5], uv_table(AssetId::UV_TABLE_5));

    load_model(m[6], model(AssetId::MODEL_6));
    apply_uv_table(m[6], uv_table(AssetId::UV_TABLE_6));
    translate_mesh(m[6], Vec3{0, -50, 0});
    scale_mesh(m[6], 180);
    append_model(m[6], model(AssetId::MODEL_6_APPENDED), 1);
    translate_vertices(m[6], 0, Vec3{0, -550, 0});
    scale_vertices(m[6], 1, 360);

    append_model(m[7], model(AssetId::MODEL_7), 0);  // into the empty slot
    scale_vertices(m[7], 0, 5000);
    translate_vertices(m[7], 0, Vec3{0, -1, 0});
    scale_mesh(m[7], 180);

    load_model(m[8], model(AssetId::MODEL_8));
    scale_mesh(m[8], 512);
    compute_vertex_normals(m[8]);

    load_model(m[9], model(AssetId::MODEL_9));
    scale_mesh(m[9], 280);

    load_model(m[10], model(AssetId::MODEL_10));
    set_vertex_group(m[10], 1);

    load_model(m[11], model(AssetId::MODEL_11));
}

void select_start_mesh_and_path() {
    select_mesh(0);
    sampled_camera_path = &camera_path;
}

}  // namespace korvax
