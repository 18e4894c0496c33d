#include "sequence/timeline.h"

namespace korvax {

int32_t SceneState = 0;
uint8_t sequence_finished = 0;
uint8_t camera_path_active = 0;

Matrix4 object_matrices[OBJECT_MATRIX_COUNT];
Matrix4* scene_matrices = nullptr;
SpinState spin_state[OBJECT_MATRIX_COUNT];
MeshObject* current_mesh = &meshes[0];

namespace {

constexpr CameraPath unit_keys() {
    CameraPath path{};
    for (CameraKey& key : path.keys) key.orientation = {FIX8_ONE, 0, 0, 0};
    return path;
}

}  // namespace

CameraPath camera_path = unit_keys();
const CameraPath* sampled_camera_path = &camera_path;

void set_scene_state(int32_t state) { SceneState = state; }

void set_camera_path_active(uint8_t flag) { camera_path_active = flag; }

void set_spin(int32_t k, int32_t a, int32_t b, int32_t c) {
    if (k < 0 || k >= OBJECT_MATRIX_COUNT) return;
    spin_state[k].rate_a = wrap_mul(2, a);
    spin_state[k].rate_b = wrap_mul(2, b);
    spin_state[k].rate_c = wrap_mul(2, c);
}

void select_mesh(uint32_t k) { current_mesh = &meshes[k < MESH_COUNT ? k : 0]; }

}  // namespace korvax
