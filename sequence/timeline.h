// The scene state machine and the per-frame animation driven by the music position.
#pragma once

#include <stdint.h>

namespace korvax {

extern int32_t SceneState;
extern uint8_t sequence_finished;
extern uint8_t camera_path_active;

void set_scene_state(int32_t state);
void set_camera_path_active(uint8_t flag);
uint32_t advance_timeline(uint32_t position);

}  // namespace korvax
