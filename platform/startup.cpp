#include "platform/startup.h"

#include "board/mapped.h"
#include "board/mmsp2.h"
#include "music/music_host.h"
#include "platform/entry.h"
#include "render/render_state.h"
#include "runtime/runtime.h"
#include "sequence/precompute.h"
#include "sequence/timeline.h"

namespace korvax {

void map_hardware() {
    memory_fd = board_open_memory();
    register_window = board_map_physical(memory_fd, REGISTER_WINDOW_PHYS, REGISTER_WINDOW_BYTES);
    video_window = board_map_physical(memory_fd, VIDEO_WINDOW_PHYS, VIDEO_WINDOW_BYTES);
}

void set_up_display() {
    uint8_t* video = static_cast<uint8_t*>(video_window);
    // 241 rows of 640 bytes from each hardware buffer.
    board_begin_video_write();
    zero_bytes(video + HW_BUFFER_A_OFFSET, 154240);
    zero_bytes(video + HW_BUFFER_B_OFFSET, 154240);
    board_end_video_write();
    write_register(REG_DISPLAY_CONTROL, 0x04AB);
    write_register(REG_LINE_STRIDE, 640);
}

void set_render_defaults() {
    const int32_t clip_min = 0, clip_max_x = 319, clip_max_y = 239;
    set_clip_rect(clip_min, clip_min, clip_max_x, clip_max_y);
    const int32_t depth_low = -50000, depth_high = 50000;
    set_depth_range(depth_low, depth_high);
}

void prepare_frame_data() {
    build_noise_table();
    set_render_defaults();
    precompute_assets();
}

void reset_sequence() {
    set_camera_path_active(0);
    volume_bar_pending = 0;
    set_scene_state(0);
}

void start_music() {
    start_music_thread();
    place_embedded_music();
    music_play();
    board_sleep_us(10000);
    set_scene_state(1);
}

void start_hardware() {
    map_hardware();
    set_up_display();
    prepare_frame_data();
    reset_sequence();
    start_music();
}

void stop_hardware() {
    music_stop();
    stop_music_thread();
    board_unmap_physical(video_window, VIDEO_WINDOW_BYTES);
    video_window = nullptr;
    board_unmap_physical(register_window, REGISTER_WINDOW_BYTES);
    register_window = nullptr;
    board_close_memory(memory_fd);
    memory_fd = -1;
}

void start_system_offline() {
    start_up_before_hardware();
    prepare_frame_data();
    reset_sequence();
    set_shade_ramp(primary_ramp);
}

}  // namespace korvax
