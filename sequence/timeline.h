// The scene state machine and the per-frame animation driven by the music position.
#pragma once

#include <stdint.h>

#include "math/fixed_math.h"
#include "models/mesh.h"

namespace korvax {

constexpr int OBJECT_MATRIX_COUNT = 16;

// The current scene, 1..10 while frames are drawn (0 while the hardware starts).
extern int32_t SceneState;
// Set once the last scene is over; ends the frame loop.
extern uint8_t sequence_finished;
// 1 while entry 0 of object_matrices follows the camera path instead of spinning.
extern uint8_t camera_path_active;

// The group matrices of the mesh being drawn; entries 0..2 are animated.
extern Matrix4 object_matrices[OBJECT_MATRIX_COUNT];
// The matrix set the scenes hand to the mesh pipeline (object_matrices once
// start-up has run).
extern Matrix4* scene_matrices;

// Angles in eighths of an angle step (8 * 1,024 a turn); rates added once a frame.
struct SpinState {
    int32_t angle_a, angle_b, angle_c;
    int32_t rate_a, rate_b, rate_c;
};
extern SpinState spin_state[OBJECT_MATRIX_COUNT];

// The mesh the scenes draw and the updaters deform.
extern MeshObject* current_mesh;

// The camera keys (room for 32, each orientation (256, 0, 0, 0) at position 0
// until loaded) and the path the timeline samples.
extern CameraPath camera_path;
extern const CameraPath* sampled_camera_path;

void set_scene_state(int32_t state);
void set_camera_path_active(uint8_t flag);
// Rates of entry k, stored doubled; the angles are untouched.
void set_spin(int32_t k, int32_t a, int32_t b, int32_t c);
// meshes[k] for k <= 12, meshes[0] otherwise.
void select_mesh(uint32_t k);
uint32_t advance_timeline(uint32_t position);

}  // namespace korvax
