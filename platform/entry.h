// The program's entry: start-up, the frame loop, two black frames, shut-down
// and the replacement of the process by the console's menu program.
#pragma once

#include <stdint.h>

#include "runtime/types.h"

namespace korvax {

constexpr uint32_t BUTTON_VOLUME_DOWN = 0x400000;  // bit 22
constexpr uint32_t BUTTON_VOLUME_UP = 0x800000;    // bit 23

// The back buffer every scene draws into; all zero at start.
extern FrameBuffer main_back_buffer;

// Returns 0, and only when the menu program fails to start.
int korvax_main(int argc, char** argv);

// Start-up up to the hardware: the reciprocal and cosine tables, then the
// four steps below, in order.
void start_up_before_hardware();

// The object matrices and spin state; the twelve models in their mesh slots;
// the first mesh and the camera path; the material modes.
void init_animation_state();
void load_models();
void select_start_mesh_and_path();
void set_start_material_modes();

}  // namespace korvax
