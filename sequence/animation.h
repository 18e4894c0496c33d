// The per-frame animation counters of the timeline. They advance once per
// drawn frame, whatever the frame rate; only the scene changes and the camera
// path follow the music position.
#pragma once

#include <stdint.h>

namespace korvax {

extern uint8_t fade_step;       // background palette step
extern uint16_t noise_index;    // index into noise_table, wraps at 65,536
extern int32_t tunnel_scroll;   // 0..255
extern int32_t morph_frame;     // frame of the state's morph store
extern int32_t morph_frame_c;   // frames of the fin and tail stores of scene 4
extern int32_t morph_frame_d;
extern int32_t morph_frame_e;
extern uint16_t overlay_x;      // window offset of the scene-4 overlay, 0..12
extern uint16_t overlay_y;

// Position thresholds: state k advances once the position is greater than
// SCENE_THRESHOLDS[k - 1]; past the last one the sequence is finished.
extern const uint32_t SCENE_THRESHOLDS[10];

}  // namespace korvax
