#include "sequence/scenes.h"

#include "assets/assets.h"
#include "math/fixed_math.h"
#include "runtime/runtime.h"
#include "runtime/tables.h"
#include "render/draw2d.h"
#include "render/mesh_pipeline.h"
#include "render/render_state.h"
#include "sequence/animation.h"
#include "sequence/precompute.h"
#include "sequence/timeline.h"

namespace korvax {

namespace {

// A full-screen indexed image: 320 x 240 bytes (the asset tests check every
// image's size).
const uint8_t* image(AssetId id) { return embedded_asset(id).data; }

void backdrop(const uint8_t* indices, const uint16_t* palette) { blit_indexed(indices, palette); }

// The flickering background palette: fade_step plus the noise at noise_index.
int32_t flicker() { return fade_step + noise_table[noise_index]; }

void draw_current_mesh(int32_t centre_x, int32_t centre_y) {
    draw_mesh(*current_mesh, scene_matrices, centre_x, centre_y);
}

// An edge list of `pairs` int16 vertex-slot pairs.
void draw_edges(AssetId id, int32_t pairs) {
    draw_mesh_edges(*current_mesh, reinterpret_cast<const int16_t*>(embedded_asset(id).data), pairs, 0);
}

}  // namespace

const uint16_t* fade_palette(int32_t table, int32_t n) { return fade_tables[64 * table + n]; }

void enter_scene_once(int32_t k) {
    if (k == 0 || k > 10 || scene_entered[k] == 1) return;
    for (int i = 0; i < 15; ++i) matrix_from_angles(object_matrices[i], 0, 0, 0);
    if (k == 5) set_camera_path_active(0);
    if (k == 9) {
        set_camera_path_active(0);
        select_mesh(8);
        set_spin(0, 30, 20, 10);
        set_material_mode(1, 0);
        build_colour_ramp(0x2800, 0xFF3B, primary_ramp);
        set_shade_ramp(primary_ramp);
    }
    scene_entered[k] = 1;
}

void render_scene_1(FrameBuffer* target) {
    set_camera_path_active(0);
    set_render_target(target);
    // Letterbox bars, anti-aliased lines from the current ramp.
    for (int32_t i = 219; i <= 241; ++i) {
        draw_clipped_line(0, i - 219, 319, i - 219);
        if (i <= 239) draw_clipped_line(0, i, 319, i);
    }
    const int32_t borders[] = {23, 24, 217, 218};
    for (int32_t row : borders) draw_clipped_line(0, row, 319, row);
    draw_tunnel(object_matrices[0], textures[1], tunnel_scroll, 25);

    select_mesh(10);
    set_spin(0, 5, 2, -7);
    // Entry 1 from entry 0's accumulators, whole and negated.
    Matrix4 ta, tb, tc, tac;
    matrix_from_angles(ta, 0, 0u - static_cast<uint32_t>(spin_state[0].angle_a), 0);
    matrix_from_angles(tb, 0u - static_cast<uint32_t>(spin_state[0].angle_b), 0, 0);
    matrix_from_angles(tc, 0, 0, 0u - static_cast<uint32_t>(spin_state[0].angle_c));
    matrix_multiply(tac, ta, tc);
    matrix_multiply(object_matrices[1], tac, tb);
    set_material_mode(1, 0);
    draw_current_mesh(128, 110);
}

void render_scene_2(FrameBuffer* target) {
    set_camera_path_active(1);
    set_render_target(target);
    set_material_mode(0, 0);
    // Slow flicker: a quarter of the noise.
    backdrop(image(AssetId::BACKDROP_2), fade_palette(3, (noise_table[noise_index] + fade_step + 7) >> 2));
    build_colour_ramp(0x2800, 0xFF3B, primary_ramp);
    set_shade_ramp(primary_ramp);
    set_texture_map(textures[2]);
    select_mesh(7);
    draw_current_mesh(100, 170);
    draw_edges(AssetId::EDGE_LIST_2, 3136);
    select_mesh(0);
    draw_current_mesh(100, 170);
}

void render_scene_3(FrameBuffer* target) {
    set_camera_path_active(1);
    select_mesh(5);
    set_render_target(target);
    backdrop(image(AssetId::BACKDROP_3), fade_palette(4, flicker()));
    set_texture_map(textures[3]);
    draw_current_mesh(100, 170);
    // Every third pixel of every second row from row 25 on, into the texture the
    // mesh wears: each frame's mesh carries a reduced copy of the last frame.
    copy_downscaled(target->pixels, 160, 12, 3, textures[3], 160, 3, 96, 76, 256);
}

void render_scene_4(FrameBuffer* target) {
    set_camera_path_active(1);
    set_render_target(target);
    clear_frame(target);
    draw_tunnel(object_matrices[0], textures[0], tunnel_scroll, 0);
    set_texture_map(textures[4]);
    draw_current_mesh(100, 170);
    blit_window_or(embedded_asset(AssetId::OVERLAY_4).data, 640, overlay_x, overlay_y, fade_palette(7, fade_step));
}

void render_scene_5(FrameBuffer* target) {
    set_camera_path_active(0);
    enter_scene_once(5);
    select_mesh(3);
    set_spin(2, 27, 0, 0);
    set_render_target(target);
    backdrop(image(AssetId::BACKDROP_5), fade_palette(5, flicker()));
    set_texture_map(textures[1]);
    draw_current_mesh(100, 150);
    build_colour_ramp(0x4A01, 0xF705, primary_ramp);
    set_shade_ramp(primary_ramp);
    draw_edges(AssetId::EDGE_LIST_5, 614);
}

void render_scene_6(FrameBuffer* target) {
    set_camera_path_active(1);
    select_mesh(6);
    build_colour_ramp(0xA246, 0xFD1C, primary_ramp);
    build_colour_ramp(0x2041, 0xFA8C, secondary_ramp);
    set_render_target(target);
    backdrop(backdrop_6_screen, fade_palette(2, flicker()));
    set_texture_map(textures[5]);
    draw_current_mesh(100, 120);
    copy_downscaled(target->pixels, 20, 16, 2, textures[5], 2, 3, 138, 48, 256);
}

void render_scene_7(FrameBuffer* target) {
    set_camera_path_active(0);
    set_spin(0, 24, 20, 12);
    set_spin(1, 4, 20, 12);
    select_mesh(2);
    set_material_mode(0, 1);
    set_material_mode(2, 2);
    set_material_mode(1, 0);
    set_render_target(target);
    build_colour_ramp(0xA246, 0xFD1C, secondary_ramp);
    backdrop(image(AssetId::BACKDROP_7), fade_palette(1, flicker()));
    set_texture_map(textures[1]);
    draw_current_mesh(225, 100);
}

void render_scene_8(FrameBuffer* target) {
    set_camera_path_active(0);
    set_spin(0, 36, 2, 22);
    select_mesh(11);
    set_material_mode(2, 0);
    build_colour_ramp(0x0821, 0xB256, primary_ramp);
    set_shade_ramp(primary_ramp);
    set_render_target(target);
    clear_frame(target);
    blit_stretched(64, 64, textures[0]);
    set_texture_map(textures[1]);
    draw_current_mesh(100, 170);
    // Reduced copies of the frame into itself; each copy reads its source rows
    // before writing them.
    copy_downscaled(target->pixels, 24, 92, 3, target->pixels, 230, 166, 64, 26, 320);
    copy_downscaled(target->pixels, 14, 92, 3, target->pixels, 170, 97, 64, 26, 320);
    copy_downscaled(target->pixels, 8, 92, 3, target->pixels, 220, 16, 64, 26, 320);
}

void render_scene_9(FrameBuffer* target) {
    enter_scene_once(9);
    set_camera_path_active(0);
    set_render_target(target);
    backdrop(image(AssetId::BACKDROP_9), fade_palette(6, flicker()));
    set_texture_map(textures[0]);
    set_material_mode(1, 0);
    draw_current_mesh(120, 190);
}

void render_scene_10(FrameBuffer* target) {
    set_camera_path_active(0);
    select_mesh(9);
    set_spin(0, 30, 20, 10);
    build_colour_ramp(0x0821, 0x610C, primary_ramp);
    set_shade_ramp(primary_ramp);
    set_material_mode(2, 0);
    set_render_target(target);
    clear_frame(target);
    set_texture_map(textures[1]);
    draw_current_mesh(100, 170);
    blit_indexed_or(image(AssetId::BACKDROP_10), fade_palette(0, fade_step));
}

void render_scene(FrameBuffer* target) {
    switch (SceneState) {
        case 1: render_scene_1(target); break;
        case 2: render_scene_2(target); break;
        case 3: render_scene_3(target); break;
        case 4: render_scene_4(target); break;
        case 5: render_scene_5(target); break;
        case 6: render_scene_6(target); break;
        case 7: render_scene_7(target); break;
        case 8: render_scene_8(target); break;
        case 9: render_scene_9(target); break;
        case 10: render_scene_10(target); break;
        default: break;
    }
}

}  // namespace korvax
