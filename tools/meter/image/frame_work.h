// The frame loop's work without the hardware, as the meter runs it on the
// emulated ARM920T and the tests run it natively: the start-up short of the
// devices and the music, then one frame at a time at a given music position.
// The hidden hardware buffer that present_frame copies into is a variable
// here (meter_video), not the video memory.
#pragma once

#include <stdint.h>

extern "C" {

// Everything the entry point does before the first frame, in its order, but
// the memory device, the registers and the music: the tables, the animation
// state and models, the noise table, the render defaults, the precomputation;
// scene 1, the back buffer and the shade ramp.
void meter_start_up();

// One turn of the frame loop at music position `position` (samples, 88,200 a
// second): the scene drawn into the back buffer unless the position is 0, the
// copy into the hidden buffer, the timeline advanced. Returns the scene drawn
// (SceneState before the timeline moved), plus 256 once the sequence is over.
uint32_t meter_frame(uint32_t position);

// Jumps to scene k (1..10) without playing the ones before it.
void meter_enter_scene(int32_t k);

// The back buffer the scenes draw into.
const uint16_t* meter_back_buffer();

// Music samples per frame at 60 frames a second.
constexpr uint32_t METER_SAMPLES_PER_FRAME = 1470;
}
