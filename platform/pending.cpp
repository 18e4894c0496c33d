// Calls of the start-up and the frame loop into subsystems that are not built
// yet. Each is a no-op until its subsystem replaces it; remove an entry here
// when its real definition lands.
#include "platform/entry.h"
#include "sequence/scenes.h"
#include "sequence/timeline.h"

namespace korvax {

// Scenes.
void render_scene(FrameBuffer*) {}

}  // namespace korvax
