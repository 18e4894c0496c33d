#include "platform/hardware.h"

#include "runtime/runtime.h"

namespace korvax {

uint8_t front_is_a = 0;

namespace {

FrameBuffer* registered_back_buffer = nullptr;

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
    write_register(REG_DISPLAY_ADDR1_LOW, 0);
    write_register(REG_DISPLAY_ADDR2_LOW, 0);
    write_register(REG_DISPLAY_ADDR1_HIGH, high);
    write_register(REG_DISPLAY_ADDR2_HIGH, high);
}

void wait_vsync() {
    if (read_register(REG_VSYNC_MODE) & 1) {
        // Wait for the rising edge of bit 4.
        while (read_register(REG_VSYNC_STATUS) & VSYNC_BIT) board_spin_hint();
        while (!(read_register(REG_VSYNC_STATUS) & VSYNC_BIT)) board_spin_hint();
    } else {
        // Ends as soon as bit 4 reads 1, without waiting for a change.
        while (!(read_register(REG_VSYNC_STATUS) & VSYNC_BIT)) board_spin_hint();
    }
}

uint32_t read_buttons() {
    uint32_t lines = (static_cast<uint32_t>(read_register(REG_BUTTONS_LOW)) & 0xFF00u) |
                     (static_cast<uint32_t>(read_register(REG_BUTTONS_HIGH)) << 16);
    return ~lines & 0x08C0FF00u;
}

int exit_pressed() { return (read_register(REG_BUTTONS_LOW) & EXIT_BUTTON_BIT) == 0 ? 1 : 0; }

}  // namespace korvax
