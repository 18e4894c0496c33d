// Test support for the coprocessor program: streams made with libvorbisenc,
// the host's own Tremor decode of them, the image's symbol table, and a rig
// that runs the real image on the emulated ARM940T while the test plays the
// host's part (control block, PCM buffers) deterministically.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "board/mmsp2.h"
#include "host/arm940t.h"
#include "music/audio_control_block.h"

namespace korvax::test {

// An Ogg Vorbis stream of synthetic tones, made by the make_test_stream helper
// (libvorbisenc). Empty when the encoder refused the settings.
std::vector<uint8_t> make_stream(double seconds, double quality, int channels = 2, long rate = 44100,
                                 unsigned seed = 1);

// Every sample of the stream as the host's libvorbisidec decodes it with
// ov_read (interleaved signed 16-bit).
std::vector<int16_t> reference_decode(const std::vector<uint8_t>& stream);

// The raw image as embedded in the program.
std::vector<uint8_t> coprocessor_image();
// Paths of the image's ELF file and symbol table; empty when not built.
std::string coprocessor_elf_path();

// The image's symbols (address by demangled name), read from the table the
// image build writes with nm.
class ImageSymbols {
public:
    ImageSymbols();
    bool loaded() const { return !addresses_.empty(); }
    // The address of a symbol; fails the current test when it is missing.
    uint32_t operator[](const std::string& name) const;

private:
    std::map<std::string, uint32_t> addresses_;
};

// The image's records as they lie in the coprocessor's memory (all 32-bit).
struct ArmProgram {
    uint32_t control, staging, ring, ring_read, ring_write, ring_primed, decoder_open, decoder_lost, out_of_memory;
};
struct ArmHeap {
    uint32_t start, limit, top, free_lists[5], large_list, in_use, peak, escape;
};

// Instructions of the 200 MHz core per PCM buffer of 4,096 samples (2,048
// stereo frames at 44,100 Hz): the pace at which the host empties buffers.
constexpr uint64_t INSTRUCTIONS_PER_BUFFER = host::Arm940t::CLOCK_HZ * 2048 / 44100;

class CoprocessorRig {
public:
    CoprocessorRig();
    ~CoprocessorRig();

    uint8_t* memory() { return memory_; }
    volatile AudioControlBlock& block() { return *block_; }
    host::Arm940t& core() { return *core_; }

    // What the output thread does before booting: the block's fields and both
    // PCM buffers. `pcm_fill` is what the buffers hold (0 on the console).
    void init_block(int16_t pcm_fill = 0);
    // Copies the image to address 0, holds and releases the core.
    void boot();
    // What place_embedded_music does, for any stream.
    void place(const std::vector<uint8_t>& stream);
    void run(uint64_t instructions) { core_->run_instructions(instructions); }

    // Host flags, written and read with the orders the host uses.
    void set(volatile uint32_t& field, uint32_t value);
    uint32_t get(const volatile uint32_t& field);

    // The output thread's loop for one buffer: when the current buffer is
    // full, appends its samples to `out`, clears its flag, makes the other one
    // current and returns true.
    bool drain(std::vector<int16_t>& out);
    // The next buffer to take is A again.
    void reset_drain_order() { current_b_ = false; }
    // Runs the core at the host's pace (one buffer period between drains)
    // until `count` samples have been drained into `out`; false when the core
    // stopped delivering (no buffer for `patience` periods).
    bool play_until(std::vector<int16_t>& out, size_t count, int patience = 40);

    // The image's records, read from the core's memory.
    ArmProgram program();
    ArmHeap heap();
    uint32_t ring_count();
    // Lowest stack address written since paint_stack (the stack grows down
    // from 0x100000 towards the variables).
    void paint_stack();
    uint32_t stack_low_water();

private:
    uint8_t* memory_;
    volatile AudioControlBlock* block_;
    std::unique_ptr<host::Arm940t> core_;
    ImageSymbols symbols_;
    bool current_b_ = false;
};

}  // namespace korvax::test
