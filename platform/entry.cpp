#include "platform/entry.h"

#include "runtime/tables.h"
#include "music/music_host.h"
#include "board/board.h"
#include "platform/hardware.h"
#include "platform/overlay.h"
#include "platform/startup.h"
#include "runtime/runtime.h"
#include "render/render_state.h"
#include "sequence/scenes.h"
#include "sequence/timeline.h"

namespace korvax {

FrameBuffer main_back_buffer;

void set_start_material_modes() {
    set_material_mode(0, 0);
    set_material_mode(2, 2);
    set_material_mode(4, 3);
    set_material_mode(1, 1);
    set_material_mode(4, 9);
}

void start_up_before_hardware() {
    build_reciprocal_table();
    build_cosine_table(COS_TABLE);
    init_animation_state();
    load_models();
    select_start_mesh_and_path();
    set_start_material_modes();
}

namespace {

void start_up() {
    start_up_before_hardware();
    start_hardware();
    set_back_buffer(&main_back_buffer);
    set_shade_ramp(primary_ramp);
}

void frame_loop() {
    for (;;) {
        if (music_position() != 0) render_scene(&main_back_buffer);
        if (volume_bar_pending) {
            draw_volume_bar();
            volume_bar_pending = 0;
        }
        present_frame();
        uint32_t buttons = read_buttons();
        advance_timeline(music_position());
        wait_vsync();
        flip_frame();
        if (buttons & BUTTON_VOLUME_DOWN) {
            volume_down();
        } else if (buttons & BUTTON_VOLUME_UP) {
            volume_up();
        }
        if (exit_pressed() || sequence_finished != 0) break;
    }
}

void blank_screen() {
    for (int i = 0; i < 2; ++i) {
        clear_frame(&main_back_buffer);
        present_frame();
        wait_vsync();
        flip_frame();
    }
}

}  // namespace

int korvax_main(int argc, char** argv) {
    (void)argc;
    start_up();
    frame_loop();
    blank_screen();
    stop_hardware();
    board_change_directory("/usr/gp2x");
    char* empty_environment[] = {nullptr};
    board_replace_process("/usr/gp2x/gp2xmenu", argv, empty_environment);
    return 0;
}

}  // namespace korvax
