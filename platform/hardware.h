// The main core's hardware: the register and video windows, double buffering
// with a copy from the back buffer, vertical sync, the buttons, and the start-up
// and shut-down sequences that bracket the frame loop.
#pragma once

#include <stdint.h>

#include "platform/types.h"

namespace korvax {

// Physical windows.
constexpr uint64_t REGISTER_WINDOW_PHYS = 0xC0000000ull;
constexpr uint32_t REGISTER_WINDOW_BYTES = 0x10000;
constexpr uint64_t VIDEO_WINDOW_PHYS = 0x2800000;
constexpr uint32_t VIDEO_WINDOW_BYTES = 0x700000;
constexpr uint32_t HW_BUFFER_A_OFFSET = 0x100000;  // physical 0x2900000
constexpr uint32_t HW_BUFFER_B_OFFSET = 0x180000;  // physical 0x2980000

// Registers (byte offsets in the register window, 16 bits each).
constexpr uint32_t REG_VSYNC_STATUS = 0x1182;  // bit 4: vertical sync
constexpr uint32_t REG_BUTTONS_LOW = 0x1184;   // bits 8..15, active low; bit 8 exit
constexpr uint32_t REG_BUTTONS_HIGH = 0x1186;  // bits 6 (vol -), 7 (vol +), 11
constexpr uint32_t REG_VSYNC_MODE = 0x2804;    // bit 0 selects the wait
constexpr uint32_t REG_DISPLAY_CONTROL = 0x28DA;
constexpr uint32_t REG_LINE_STRIDE = 0x290C;
constexpr uint32_t REG_DISPLAY_ADDR1_LOW = 0x290E;
constexpr uint32_t REG_DISPLAY_ADDR1_HIGH = 0x2910;
constexpr uint32_t REG_DISPLAY_ADDR2_LOW = 0x2912;
constexpr uint32_t REG_DISPLAY_ADDR2_HIGH = 0x2914;

constexpr uint16_t VSYNC_BIT = 1u << 4;
constexpr uint16_t EXIT_BUTTON_BIT = 1u << 8;
constexpr uint16_t VOLUME_DOWN_LINE = 1u << 6;
constexpr uint16_t VOLUME_UP_LINE = 1u << 7;

// Descriptor of the memory device, shared with the music host.
extern int memory_fd;
extern void* register_window;  // 0 while unmapped
extern void* video_window;
extern uint8_t front_is_a;
// 65,536 values 0..63, built at start-up, read by the scenes for flicker.
extern uint8_t noise_table[65536];

void start_hardware();
void stop_hardware();
void set_back_buffer(FrameBuffer* frame);
FrameBuffer* back_buffer();
uint16_t* hidden_buffer();
void present_frame();
void flip_frame();
void wait_vsync();
uint32_t read_buttons();
int exit_pressed();
void build_noise_table();
// The clip rectangle (0, 0, 319, 239) and depth range (-50,000, 50,000) that
// start-up gives the render state.
void set_render_defaults();

}  // namespace korvax
