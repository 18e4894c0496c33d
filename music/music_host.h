// The main core's side of the music: coprocessor control, shared memory, the
// PCM output thread, volume and the music position.
//
// The coprocessor decodes the stream into the two PCM buffers of the
// AudioControlBlock; the output thread writes each full buffer to the sound
// device, whose blocking write paces the whole chain. The main thread only
// places the stream, raises the flags and reads the position.
#pragma once

#include <stdint.h>

#include "board/mmsp2.h"
#include "music/audio_control_block.h"

namespace korvax {

constexpr uint32_t MUSIC_START_VOLUME = 180;
constexpr uint32_t PCM_BUFFER_BYTES = PCM_BUFFER_SAMPLES * 2;  // 8,192
// load_music_file reads the file in pieces of at most this many bytes.
constexpr uint32_t MUSIC_FILE_PIECE_BYTES = 100000;

// ---- coprocessor control ------------------------------------------------------
// Writes ((hold & 1) << 7) | 3 to the control register: bank 3 puts the
// coprocessor's address 0 at physical 0x3000000.
void set_coprocessor_reset(uint32_t hold);
// Read-modify-write of bit 0 of the clock register.
void set_coprocessor_paused(uint32_t paused);
// Holds the core, clears its inter-core interrupts, copies the coprocessor
// image to shared memory offset 0 and releases it. Runs on the output thread.
void boot_coprocessor();
void halt_coprocessor();

// ---- the output thread and the stream --------------------------------------------
// Holds the coprocessor, maps the shared memory, starts the output thread and
// gives it 100 ms to open the device and initialise the block.
void start_music_thread();
// Asks the output thread to end, waits for it and unmaps the shared memory.
void stop_music_thread();
// Copies the embedded stream to data_offset and raises data_ready and restart.
void place_embedded_music();
// Places a stream read from a file instead; a file that cannot be opened or
// that does not fit the stream area (MUSIC_DATA_MAX_BYTES, which ends where the
// coprocessor's PCM ring begins) changes nothing.
void load_music_file(const char* path);

// ---- the operations of the rest of the system ----------------------------------------
void music_play();
void music_stop();
void music_restart();
// The volume word clamped to 0..255.
int32_t get_volume();
// Stores the low 8 bits.
void set_volume(int32_t volume);
// Samples delivered (two per stereo frame, 88,200 a second).
uint32_t music_position();
// Two steps up or down, clamped; both raise volume_bar_pending.
void volume_up();
void volume_down();
// Set by volume_up / volume_down, cleared once the frame loop drew the bar.
extern uint8_t volume_bar_pending;

// ---- host-side state -------------------------------------------------------------
// Base of the mapped shared memory; 0 while unmapped.
uint8_t* shared_memory_base();
// The block at base + 0x200000; 0 while unmapped.
AudioControlBlock* audio_control_block();
// 1 from the creation of the output thread until it has ended.
uint32_t music_thread_running();
// 1 once the output thread has opened the device and initialised the block;
// until then the stream has no valid place and is not copied.
uint32_t music_block_initialised();

}  // namespace korvax
