#include "render/render_state.h"

namespace korvax {

RenderState render_state = {
    nullptr,                   // render_target: none until a scene sets it
    0,                         // draw_colour
    0,                         // current_material
    primary_ramp,              // shade_ramp
    nullptr,                   // texture_map
    {0, 0, 319, 239},          // clip_rect
    {-50000, 50000},           // depth_range
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

uint16_t primary_ramp[64];
uint16_t secondary_ramp[64];

FrameBuffer* set_render_target(FrameBuffer* target) {
    render_state.render_target = target;
    return target;
}

void set_draw_colour(uint32_t colour) { render_state.draw_colour = colour & 0xFFFF; }

void set_current_material(uint32_t material) {
    render_state.current_material = static_cast<uint16_t>(material);
}

void set_shade_ramp(const uint16_t* ramp) { render_state.shade_ramp = ramp; }

void set_texture_map(const uint16_t* texels) { render_state.texture_map = texels; }

void set_clip_rect(const int32_t& x_min, const int32_t& y_min, const int32_t& x_max, const int32_t& y_max) {
    render_state.clip_rect = {x_min, y_min, x_max, y_max};
}

void set_depth_range(const int32_t& low, const int32_t& high) { render_state.depth_range = {low, high}; }

void set_material_mode(int32_t mode, uint32_t material) { render_state.material_mode[material] = mode; }

}  // namespace korvax
