// libFuzzer target: the coprocessor program's stream path, built natively.
// The input is placed as the stream in a host buffer standing in for the
// coprocessor's memory, and the program's control loop runs over it: it opens
// the stream with Tremor and libogg (compiled from the same sources as the
// image, their allocations served by the program's own heap), decodes into
// the ring and fills the control block's buffers. Every byte of the window
// that the program does not own at that moment is poisoned for the address
// sanitizer: around the stream, the heap's free space, block headers and the
// slack behind each allocation (coprocessor/heap.cpp under
// KORVAX_HEAP_POISON), so a read past the stream or a heap block is reported.
#include <sanitizer/asan_interface.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "coprocessor/heap.h"
#include "coprocessor/memory_map.h"
#include "coprocessor/program.h"

using namespace korvax;

// The decoder's allocation functions: its sources are compiled with malloc,
// calloc, realloc and free renamed to these, the image links the same calls
// to the same heap (coprocessor/image/libc.cpp).
extern "C" {
void* korvax_decoder_malloc(size_t n) {
    if (n > 0xFFFFFFFFu) return heap_allocate(decoder_heap, 0xFFFFFFFFu);
    return heap_allocate(decoder_heap, static_cast<uint32_t>(n));
}
void* korvax_decoder_calloc(size_t count, size_t size) {
    if (count > 0xFFFFFFFFu || size > 0xFFFFFFFFu) return heap_allocate(decoder_heap, 0xFFFFFFFFu);
    return heap_allocate_zeroed(decoder_heap, static_cast<uint32_t>(count), static_cast<uint32_t>(size));
}
void* korvax_decoder_realloc(void* p, size_t n) {
    if (n > 0xFFFFFFFFu) return heap_allocate(decoder_heap, 0xFFFFFFFFu);
    return heap_resize(decoder_heap, p, static_cast<uint32_t>(n));
}
void korvax_decoder_free(void* p) { heap_release(decoder_heap, p); }
}

namespace {

// Steps of the control loop a run may take: opening is one, each decoded
// chunk (up to 1,024 samples) another.
constexpr int MAX_STEPS = 600;

uint8_t* window() {
    static uint8_t* w = [] {
        // Page-aligned, so that every address keeps its 8-byte granule of the
        // sanitizer's shadow as it has on the coprocessor.
        void* p = aligned_alloc(4096, WINDOW_BYTES);
        if (p == nullptr) abort();
        memset(p, 0, WINDOW_BYTES);
        return static_cast<uint8_t*>(p);
    }();
    return w;
}

void usable(uint32_t address, uint32_t bytes) { ASAN_UNPOISON_MEMORY_REGION(window() + address, bytes); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > MUSIC_DATA_MAX_BYTES) return 0;
    uint8_t* w = window();
    coprocessor_window = reinterpret_cast<uintptr_t>(w);

    // Nothing is readable but what the program owns: the control block, the
    // staging buffer, the ring, and the stream's own bytes.
    ASAN_POISON_MEMORY_REGION(w, WINDOW_BYTES);
    usable(CONTROL_ADDRESS, sizeof(AudioControlBlock));
    usable(STAGING_ADDRESS, STAGING_BYTES);
    usable(RING_ADDRESS, RING_SAMPLES * 2);
    usable(MUSIC_DATA_OFFSET, static_cast<uint32_t>(size));
    if (size > 0) memcpy(w + MUSIC_DATA_OFFSET, data, size);

    volatile AudioControlBlock* block = at_address<volatile AudioControlBlock>(CONTROL_ADDRESS);
    memset(const_cast<AudioControlBlock*>(block), 0, sizeof(AudioControlBlock));
    block->data_offset = MUSIC_DATA_OFFSET;
    block->data_length = static_cast<uint32_t>(size);
    block->volume = 180;
    block->play = 1;

    static CoprocessorProgram program;
    coprocessor_init(program);
    block->restart = 1;
    block->data_ready = 1;

    // Run until the stream has been opened and has ended once (or the step
    // budget is spent), taking each full buffer as the output thread would.
    bool opened = false;
    for (int step = 0; step < MAX_STEPS; ++step) {
        coprocessor_step(program);
        if (program.decoder_open) opened = true;
        if (block->fill_a) block->fill_a = 0;
        if (block->fill_b) block->fill_b = 0;
        if (opened && program.decoder_open == 0) break;
    }
    // The decoder instance still open is abandoned with its heap, as a
    // restart does on the coprocessor.
    coprocessor_window = 0;
    return 0;
}
