// The main core's side of the music: coprocessor control, shared memory, the
// PCM output thread, volume and the music position.
#pragma once

#include <stdint.h>

namespace korvax {

void start_music_thread();
void place_embedded_music();
void music_play();
void music_stop();
void stop_music_thread();
// Samples delivered (two per stereo frame, 88,200 a second).
uint32_t music_position();
void volume_up();
void volume_down();
void draw_volume_bar();

}  // namespace korvax
