#include "music/music_host.h"

#include <stdio.h>
#include <string.h>

#include "assets/assets.h"
#include "board/board.h"
#include "board/mapped.h"
#include "board/mmsp2.h"

namespace korvax {

uint8_t volume_bar_pending = 0;

namespace {

uint8_t* shared_base = nullptr;
AudioControlBlock* control = nullptr;

// Flags between the main thread and the output thread, handed over with the
// same release/acquire order as the words of the block.
uint32_t thread_running = 0;
uint32_t stop_request = 0;
uint32_t block_initialised = 0;

// Scratch for measuring a music file before anything of it is placed.
uint8_t measure_piece[16384];

uint32_t load(uint32_t& word) { return board_load_acquire(&word); }
void store(uint32_t& word, uint32_t value) { board_store_release(&word, value); }


// The stream area is usable only once the output thread has initialised the
// block: before that data_offset holds no valid value, and the initialisation
// would wipe data_ready, data_length and restart anyway.
bool stream_area_ready() { return control != nullptr && load(block_initialised) != 0; }

uint8_t* stream_area() { return shared_base + load(control->data_offset); }

// The words of the block in this order, then both PCM buffers zeroed: the
// coprocessor is still held in reset and finds a clean block when released.
void initialise_block() {
    store(control->data_offset, MUSIC_DATA_OFFSET);
    store(control->fill_b, 0);
    store(control->volume, MUSIC_START_VOLUME);
    store(control->quit, 0);
    store(control->play, 0);
    store(control->restart, 0);
    store(control->data_ready, 0);
    store(control->data_length, 0);
    store(control->fill_a, 0);
    memset(control->pcm_a, 0, sizeof control->pcm_a);
    memset(control->pcm_b, 0, sizeof control->pcm_b);
}

void end_output_thread() { store(thread_running, 0); }

// Moves full PCM buffers from the block to the sound device, A then B then A,
// strictly alternating: a buffer the coprocessor filled out of turn waits.
void pcm_output_thread(void*) {
    store(thread_running, 1);
    const int fd = board_sound_open();
    if (fd < 0) {
        // No device: no music, the coprocessor stays in reset, the position
        // stays 0. Descriptor 0 is a valid descriptor.
        end_output_thread();
        return;
    }
    board_sound_ioctl(fd, BOARD_DSP_SPEED, 44100);
    board_sound_ioctl(fd, BOARD_DSP_SETFMT, 16);  // AFMT_S16_LE
    board_sound_ioctl(fd, BOARD_DSP_STEREO, 1);
    board_sound_ioctl(fd, BOARD_DSP_SETFRAGMENT, 0x2000B);  // 2 fragments of 2^11 bytes

    initialise_block();
    store(block_initialised, 1);
    boot_coprocessor();

    uint32_t* fill = &control->fill_a;
    const int16_t* pcm = control->pcm_a;
    for (;;) {
        if (load(stop_request) != 0) {
            board_sound_close(fd);
            halt_coprocessor();
            end_output_thread();
            return;
        }
        if (load(*fill) == 0) {
            board_spin_hint();
            continue;
        }
        // The fill flag was read with acquire order: the samples are complete.
        board_sound_write(fd, pcm, PCM_BUFFER_BYTES);
        store(*fill, 0);
        if (fill == &control->fill_a) {
            fill = &control->fill_b;
            pcm = control->pcm_b;
        } else {
            fill = &control->fill_a;
            pcm = control->pcm_a;
        }
    }
}

void place_stream_bytes(const uint8_t* data, uint32_t length) {
    store(control->data_ready, 0);
    if (length > 0) memcpy(stream_area(), data, length);
    store(control->data_ready, 1);
    store(control->data_length, length);
    store(control->restart, 1);
}

}  // namespace

// ---- coprocessor control ------------------------------------------------------

void set_coprocessor_reset(uint32_t hold) {
    write_register(REG_COPRO_CONTROL, static_cast<uint16_t>(((hold & 1) << 7) | 3));
}

void set_coprocessor_paused(uint32_t paused) {
    uint16_t clock = read_register(REG_COPRO_CLOCK);
    clock = paused ? static_cast<uint16_t>(clock & ~1u) : static_cast<uint16_t>(clock | 1u);
    write_register(REG_COPRO_CLOCK, clock);
}

void boot_coprocessor() {
    set_coprocessor_reset(1);
    set_coprocessor_paused(1);
    write_register(REG_COPRO_IRQ_CLEAR, 0xFFFF);
    write_register(REG_COPRO_IRQ_ENABLE_A, 0);
    write_register(REG_COPRO_IRQ_ENABLE_B, 0);
    write_register(REG_COPRO_IRQ_PENDING, 0xFFFF);
    // The image runs from its address 0; it never reaches the control block.
    Blob image = embedded_asset(AssetId::COPROCESSOR_IMAGE);
    uint32_t length = image.size < CONTROL_BLOCK_OFFSET ? image.size : CONTROL_BLOCK_OFFSET;
    if (length > 0) memcpy(shared_base, image.data, length);
    set_coprocessor_reset(0);
    set_coprocessor_paused(0);
    board_sleep_us(10000);
}

void halt_coprocessor() {
    set_coprocessor_reset(1);
    set_coprocessor_paused(1);
}

// ---- the output thread and the stream --------------------------------------------

void start_music_thread() {
    set_coprocessor_reset(1);
    set_coprocessor_paused(1);
    shared_base = static_cast<uint8_t*>(board_map_physical(memory_fd, SHARED_WINDOW_PHYS, SHARED_WINDOW_BYTES));
    if (shared_base == nullptr) return;  // no shared memory: no music, position 0
    control = reinterpret_cast<AudioControlBlock*>(shared_base + CONTROL_BLOCK_OFFSET);
    store(stop_request, 0);
    store(block_initialised, 0);
    // Raised here as well as by the thread: stop_music_thread must wait for a
    // thread that has been created but not yet scheduled.
    store(thread_running, 1);
    if (board_create_thread(pcm_output_thread, nullptr) != 0) end_output_thread();
    board_sleep_us(100000);
}

void stop_music_thread() {
    store(stop_request, 1);
    while (load(thread_running) != 0) board_sleep_us(10000);
    if (shared_base != nullptr) {
        board_unmap_physical(shared_base, SHARED_WINDOW_BYTES);
        shared_base = nullptr;
        control = nullptr;
        store(block_initialised, 0);
    }
}

void place_embedded_music() {
    if (!stream_area_ready()) return;
    Blob stream = embedded_asset(AssetId::MUSIC_STREAM);
    if (stream.size > MUSIC_DATA_MAX_BYTES) return;
    place_stream_bytes(stream.data, stream.size);
}

void load_music_file(const char* path) {
    if (!stream_area_ready()) return;

    // Measure first: a file that does not fit between data_offset and the
    // coprocessor's PCM ring is refused before anything has changed.
    FILE* file = fopen(path, "r");
    if (file == nullptr) return;
    uint32_t total = 0;
    for (;;) {
        size_t n = fread(measure_piece, 1, sizeof measure_piece, file);
        if (n == 0) break;
        total += static_cast<uint32_t>(n);
        if (total > MUSIC_DATA_MAX_BYTES) break;
    }
    fclose(file);
    if (total > MUSIC_DATA_MAX_BYTES) return;

    file = fopen(path, "r");
    if (file == nullptr) return;
    store(control->data_ready, 0);
    uint8_t* area = stream_area();
    uint32_t placed = 0;
    // Bounded again: the file may have grown since it was measured.
    while (placed < MUSIC_DATA_MAX_BYTES) {
        uint32_t want = MUSIC_DATA_MAX_BYTES - placed;
        if (want > MUSIC_FILE_PIECE_BYTES) want = MUSIC_FILE_PIECE_BYTES;
        size_t n = fread(area + placed, 1, want, file);
        if (n == 0) break;
        placed += static_cast<uint32_t>(n);
    }
    fclose(file);
    store(control->data_ready, 1);
    store(control->data_length, placed);
    store(control->restart, 1);
}

// ---- the operations of the rest of the system ----------------------------------------

void music_play() {
    if (control != nullptr) store(control->play, 1);
}

void music_stop() {
    if (control != nullptr) store(control->play, 0);
}

void music_restart() {
    if (control != nullptr) store(control->restart, 1);
}

int32_t get_volume() {
    if (control == nullptr) return 0;
    int32_t volume = static_cast<int32_t>(load(control->volume));
    if (volume < 0) return 0;
    if (volume > 255) return 255;
    return volume;
}

void set_volume(int32_t volume) {
    if (control != nullptr) store(control->volume, static_cast<uint32_t>(volume) & 0xFF);
}

// Until the output thread has initialised the block the word holds whatever
// the memory held before (a previous run's position on the console).
uint32_t music_position() { return stream_area_ready() ? load(control->position) : 0; }

void volume_up() {
    volume_bar_pending = 1;
    int32_t volume = get_volume() + 2;
    set_volume(volume > 255 ? 255 : volume);
}

void volume_down() {
    volume_bar_pending = 1;
    int32_t volume = get_volume() - 2;
    set_volume(volume < 0 ? 0 : volume);
}

// ---- host-side state -------------------------------------------------------------

uint8_t* shared_memory_base() { return shared_base; }
AudioControlBlock* audio_control_block() { return control; }
uint32_t music_thread_running() { return load(thread_running); }
uint32_t music_block_initialised() { return load(block_initialised); }

}  // namespace korvax
