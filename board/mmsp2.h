// The MMSP2 as the main core sees it: the physical windows mapped through the
// memory device, and the 16-bit registers the system uses (byte offsets in the
// register window). The system, the GP2X board and the host console all read
// the hardware from this one map.
#pragma once

#include <stdint.h>

namespace korvax {

// ---- physical windows ----------------------------------------------------------

constexpr uint64_t REGISTER_WINDOW_PHYS = 0xC0000000ull;
constexpr uint32_t REGISTER_WINDOW_BYTES = 0x10000;
constexpr uint64_t VIDEO_WINDOW_PHYS = 0x2800000;
constexpr uint32_t VIDEO_WINDOW_BYTES = 0x700000;
// The two hardware frame buffers, as offsets in the video window.
constexpr uint32_t HW_BUFFER_A_OFFSET = 0x100000;  // physical 0x2900000
constexpr uint32_t HW_BUFFER_B_OFFSET = 0x180000;  // physical 0x2980000
// Memory shared with the ARM940T: its address n is physical 0x3000000 + n.
constexpr uint64_t SHARED_WINDOW_PHYS = 0x3000000;
constexpr uint32_t SHARED_WINDOW_BYTES = 0xF80000;

// ---- display, vertical sync and buttons ------------------------------------------

constexpr uint32_t REG_VSYNC_STATUS = 0x1182;  // bit 4: vertical sync
constexpr uint32_t REG_BUTTONS_LOW = 0x1184;   // bits 8..15, active low; bit 8 exit
constexpr uint32_t REG_BUTTONS_HIGH = 0x1186;  // bits 6 (vol -), 7 (vol +), 11
constexpr uint32_t REG_VSYNC_MODE = 0x2804;    // bit 0 selects the wait
constexpr uint32_t REG_DISPLAY_CONTROL = 0x28DA;
constexpr uint32_t REG_LINE_STRIDE = 0x290C;
// Two address pairs (low and high halves of a physical address); the display
// scans out the buffer the first pair names.
constexpr uint32_t REG_DISPLAY_ADDR1_LOW = 0x290E;
constexpr uint32_t REG_DISPLAY_ADDR1_HIGH = 0x2910;
constexpr uint32_t REG_DISPLAY_ADDR2_LOW = 0x2912;
constexpr uint32_t REG_DISPLAY_ADDR2_HIGH = 0x2914;

constexpr uint16_t VSYNC_BIT = 1u << 4;
constexpr uint16_t EXIT_BUTTON_BIT = 1u << 8;   // in REG_BUTTONS_LOW
constexpr uint16_t VOLUME_DOWN_LINE = 1u << 6;  // in REG_BUTTONS_HIGH
constexpr uint16_t VOLUME_UP_LINE = 1u << 7;    // in REG_BUTTONS_HIGH

// ---- the ARM940T coprocessor -----------------------------------------------------

constexpr uint32_t REG_COPRO_CLOCK = 0x0904;  // bit 0: 1 runs, 0 pauses
constexpr uint32_t REG_COPRO_IRQ_ENABLE_A = 0x3B40;
constexpr uint32_t REG_COPRO_IRQ_ENABLE_B = 0x3B42;
constexpr uint32_t REG_COPRO_IRQ_PENDING = 0x3B44;
constexpr uint32_t REG_COPRO_IRQ_CLEAR = 0x3B46;
constexpr uint32_t REG_COPRO_CONTROL = 0x3B48;  // bit 7 holds in reset, bits 0..1 bank
constexpr uint16_t COPRO_RESET_BIT = 1u << 7;

}  // namespace korvax
