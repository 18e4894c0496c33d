#include "platform/hardware.h"

#include "music/music_host.h"
#include "platform/board.h"
#include "platform/entry.h"
#include "platform/runtime.h"
#include "render/render_state.h"
#include "sequence/precompute.h"
#include "sequence/timeline.h"

namespace korvax {

int memory_fd = -1;
void* register_window = nullptr;
void* video_window = nullptr;
uint8_t front_is_a = 0;
uint8_t noise_table[65536];

namespace {

FrameBuffer* registered_back_buffer = nullptr;

uint16_t reg(uint32_t offset) { return board_read16(register_window, offset); }
void set_reg(uint32_t offset, uint16_t value) { board_write16(register_window, offset, value); }

uint16_t* video_at(uint32_t offset) {
    return reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(video_window) + offset);
}

}  // namespace

void set_back_buffer(FrameBuffer* frame) { registered_back_buffer = frame; }

FrameBuffer* back_buffer() { return registered_back_buffer; }

uint16_t* hidden_buffer() {
    return video_at(front_is_a == 0 ? HW_BUFFER_A_OFFSET : HW_BUFFER_B_OFFSET);
}

void present_frame() {
    // Back-buffer rows 0..235 land on screen rows 2..237 (1,280 bytes in).
    board_begin_video_write();
    copy_frame_bytes(reinterpret_cast<uint8_t*>(hidden_buffer()) + 1280, registered_back_buffer->pixels);
    board_end_video_write();
}

void flip_frame() {
    uint16_t high;
    if (front_is_a == 0) {
        front_is_a = 1;
        high = 0x0290;  // buffer A at 0x02900000
    } else {
        front_is_a = 0;
        high = 0x0298;  // buffer B at 0x02980000
    }
    set_reg(REG_DISPLAY_ADDR1_LOW, 0);
    set_reg(REG_DISPLAY_ADDR2_LOW, 0);
    set_reg(REG_DISPLAY_ADDR1_HIGH, high);
    set_reg(REG_DISPLAY_ADDR2_HIGH, high);
}

void wait_vsync() {
    if (reg(REG_VSYNC_MODE) & 1) {
        // Wait for the rising edge of bit 4.
        while (reg(REG_VSYNC_STATUS) & VSYNC_BIT) board_spin_hint();
        while (!(reg(REG_VSYNC_STATUS) & VSYNC_BIT)) board_spin_hint();
    } else {
        // Ends as soon as bit 4 reads 1, without waiting for a change.
        while (!(reg(REG_VSYNC_STATUS) & VSYNC_BIT)) board_spin_hint();
    }
}

uint32_t read_buttons() {
    uint32_t lines = (static_cast<uint32_t>(reg(REG_BUTTONS_LOW)) & 0xFF00u) |
                     (static_cast<uint32_t>(reg(REG_BUTTONS_HIGH)) << 16);
    return ~lines & 0x08C0FF00u;
}

int exit_pressed() { return (reg(REG_BUTTONS_LOW) & EXIT_BUTTON_BIT) == 0 ? 1 : 0; }

void build_noise_table() {
    seed_random(33333);
    for (uint32_t i = 0; i < 65536; ++i) noise_table[i] = static_cast<uint8_t>(random16());
    // Three in-place smoothing passes: T[i-1] is already new, T[i+1] and
    // T[i+256] are still old. After the first pass every value is 0..63.
    for (int pass = 0; pass < 3; ++pass) {
        for (uint32_t i = 0; i < 65536; ++i) {
            uint32_t sum = noise_table[i] + noise_table[(i + 1) & 0xFFFF] + noise_table[(i - 1) & 0xFFFF] +
                           noise_table[(i + 256) & 0xFFFF];
            noise_table[i] = static_cast<uint8_t>((sum & 0xFF) >> 2);
        }
    }
}

void set_render_defaults() {
    const int32_t clip_min = 0, clip_max_x = 319, clip_max_y = 239;
    set_clip_rect(clip_min, clip_min, clip_max_x, clip_max_y);
    const int32_t depth_low = -50000, depth_high = 50000;
    set_depth_range(depth_low, depth_high);
}

void start_hardware() {
    memory_fd = board_open_memory();
    register_window = board_map_physical(memory_fd, REGISTER_WINDOW_PHYS, REGISTER_WINDOW_BYTES);
    video_window = board_map_physical(memory_fd, VIDEO_WINDOW_PHYS, VIDEO_WINDOW_BYTES);

    // 241 rows of 640 bytes from each hardware buffer.
    board_begin_video_write();
    zero_bytes(video_at(HW_BUFFER_A_OFFSET), 154240);
    zero_bytes(video_at(HW_BUFFER_B_OFFSET), 154240);
    board_end_video_write();

    set_reg(REG_DISPLAY_CONTROL, 0x04AB);
    set_reg(REG_LINE_STRIDE, 640);

    build_noise_table();

    set_render_defaults();

    precompute_assets();

    set_camera_path_active(0);
    volume_bar_pending = 0;

    set_scene_state(0);

    start_music_thread();
    place_embedded_music();
    music_play();
    board_sleep_us(10000);

    set_scene_state(1);
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

}  // namespace korvax
