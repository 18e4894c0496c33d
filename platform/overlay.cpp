#include "platform/overlay.h"

#include "music/music_host.h"
#include "render/draw2d.h"
#include "render/render_state.h"

namespace korvax {

void draw_volume_bar() {
    // Before the first scene nothing has named a target to draw into.
    if (render_state.render_target == nullptr) return;
    const int32_t volume = get_volume();
    const int32_t top = 190, bottom = 200;
    set_draw_colour(0x0CCF);
    for (int32_t x = 22; x <= 21 + volume; ++x) draw_line(x, top, x, bottom);
    set_draw_colour(0x0113);
    for (int32_t x = 22 + volume; x <= 277; ++x) draw_line(x, top, x, bottom);
}

}  // namespace korvax
