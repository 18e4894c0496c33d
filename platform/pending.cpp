// Calls of the start-up and the frame loop into subsystems that are not built
// yet. Each is a no-op until its subsystem replaces it; remove an entry here
// when its real definition lands.
#include "music/music_host.h"
#include "platform/entry.h"
#include "sequence/scenes.h"
#include "sequence/timeline.h"

namespace korvax {

// Scenes.
void render_scene(FrameBuffer*) {}

// Music host: no coprocessor program yet, so the position stays 0.
void start_music_thread() {}
void place_embedded_music() {}
void music_play() {}
void music_stop() {}
void stop_music_thread() {}
uint32_t music_position() { return 0; }
void volume_up() {}
void volume_down() {}
void draw_volume_bar() {}

}  // namespace korvax
