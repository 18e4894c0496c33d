// The ten scene renderers.
#pragma once

#include "platform/types.h"

namespace korvax {

void render_scene(FrameBuffer* target);

}  // namespace korvax
