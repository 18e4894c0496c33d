// Start-up and shut-down of the hardware, as the named steps the entry point
// runs between the model set-up and the frame loop. Tools, tests and
// benchmarks that draw scenes without a console run the same steps short of
// the hardware and the music (start_system_offline).
#pragma once

namespace korvax {

// Opens the memory device and maps the register and video windows.
void map_hardware();
// Both hardware buffers black (241 rows each), the display's control word and
// a line stride of 640 bytes.
void set_up_display();
// The clip rectangle (0, 0, 319, 239) and depth range (-50,000, 50,000).
void set_render_defaults();
// What the scenes read besides the models: the noise table, the render-state
// defaults and the precomputed palettes, fade tables, textures and key frames.
void prepare_frame_data();
// The camera path off, no volume bar pending, SceneState 0.
void reset_sequence();
// The output thread and the coprocessor, the embedded stream placed and
// playing; after a 10 ms hand-over, SceneState 1.
void start_music();

// map_hardware, set_up_display, prepare_frame_data, reset_sequence, start_music.
void start_hardware();
// The music stopped, its thread and the coprocessor halted, the windows
// unmapped and the memory device closed.
void stop_hardware();

// The entry's start-up without the hardware or the music: the tables and the
// models, prepare_frame_data, reset_sequence, and the shade ramp the frame
// loop starts with.
void start_system_offline();

}  // namespace korvax
