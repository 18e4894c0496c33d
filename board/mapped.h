// The hardware as mapped at start-up: the memory device's descriptor and the
// register and video windows. The hardware access maps them; the music host
// maps the shared window through the same descriptor and drives the
// coprocessor's registers through the same register window.
#pragma once

#include <stdint.h>

#include "board/board.h"

namespace korvax {

extern int memory_fd;          // -1 while closed
extern void* register_window;  // 0 while unmapped
extern void* video_window;     // 0 while unmapped

inline uint16_t read_register(uint32_t offset) { return board_read16(register_window, offset); }
inline void write_register(uint32_t offset, uint16_t value) { board_write16(register_window, offset, value); }

}  // namespace korvax
