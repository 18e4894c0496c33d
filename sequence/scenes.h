// The ten scene renderers: each lays down a background, draws the current mesh
// through the mesh pipeline and adds its 2D overlays, reading every moving
// value from the timeline's counters and matrices.
#pragma once

#include <stdint.h>

#include "runtime/types.h"

namespace korvax {

// Draws the scene of SceneState into target; a state outside 1..10 draws nothing.
void render_scene(FrameBuffer* target);
// One-time set-up of scene k (only 5 and 9 call it); acts once per scene.
void enter_scene_once(int32_t k);
// Palette n of fade table t; n past 63 continues into the next table.
const uint16_t* fade_palette(int32_t table, int32_t n);

void render_scene_1(FrameBuffer* target);
void render_scene_2(FrameBuffer* target);
void render_scene_3(FrameBuffer* target);
void render_scene_4(FrameBuffer* target);
void render_scene_5(FrameBuffer* target);
void render_scene_6(FrameBuffer* target);
void render_scene_7(FrameBuffer* target);
void render_scene_8(FrameBuffer* target);
void render_scene_9(FrameBuffer* target);
void render_scene_10(FrameBuffer* target);

}  // namespace korvax
