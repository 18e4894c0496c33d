// The single global render state that every drawing operation reads.
#pragma once

#include <stdint.h>

#include "runtime/types.h"

namespace korvax {

struct ClipRect {
    int32_t x_min, y_min, x_max, y_max;  // inclusive
};

struct DepthRange {
    int32_t low, high;  // limits of projected depth
};

constexpr int MATERIAL_COUNT = 16;

// Drawing modes stored in material_mode.
enum : int32_t {
    MODE_TEXTURED = 0,       // affine texture mapping, texel replaces pixel
    MODE_ENVIRONMENT = 1,    // as 0, coordinates from the environment map
    MODE_FLAT_LIT = 2,       // flat fill, colour from the lit face normal
    MODE_FLAT_OR = 3,        // flat fill, pixel | colour
    MODE_TEXTURED_BLEND = 4  // texel | (pixel darkened to a quarter)
};

struct RenderState {
    FrameBuffer* render_target;
    uint32_t draw_colour;  // RGB565 in the low 16 bits, upper 16 bits 0
    uint16_t current_material;
    const uint16_t* shade_ramp;   // 64 RGB565 entries
    const uint16_t* texture_map;  // 256 x 256 RGB565 texels
    ClipRect clip_rect;
    DepthRange depth_range;
    int32_t material_mode[MATERIAL_COUNT];
};

extern RenderState render_state;
extern uint16_t primary_ramp[64];
extern uint16_t secondary_ramp[64];

// The drawing mode of a material. Only materials 0..15 have an entry; any
// other number (mesh 1 carries 41, 82, 123 and 164) draws as mode 0.
inline int32_t material_mode_of(int32_t material) {
    return material >= 0 && material < MATERIAL_COUNT ? render_state.material_mode[material] : MODE_TEXTURED;
}

FrameBuffer* set_render_target(FrameBuffer* target);
void set_draw_colour(uint32_t colour);
void set_current_material(uint32_t material);
void set_shade_ramp(const uint16_t* ramp);
void set_texture_map(const uint16_t* texels);
void set_clip_rect(const int32_t& x_min, const int32_t& y_min, const int32_t& x_max, const int32_t& y_max);
void set_depth_range(const int32_t& low, const int32_t& high);
void set_material_mode(int32_t mode, uint32_t material);

}  // namespace korvax
