// The main core's hardware: double buffering with a copy from the back buffer
// into the video window, the display flip, vertical sync and the buttons.
#pragma once

#include <stdint.h>

#include "board/mapped.h"
#include "board/mmsp2.h"
#include "runtime/types.h"

namespace korvax {

extern uint8_t front_is_a;

void set_back_buffer(FrameBuffer* frame);
FrameBuffer* back_buffer();
uint16_t* hidden_buffer();
void present_frame();
void flip_frame();
void wait_vsync();
uint32_t read_buttons();
int exit_pressed();

}  // namespace korvax
