// The coprocessor's memory map. Its address n is offset n of the memory shared
// with the main core (physical 0x3000000 + n); everything below 2 MB is cached
// on the ARM940T, everything above it uncached and so coherent with the host.
//
// The program's logic also builds for the host, where a host buffer stands in
// for the window: `coprocessor_window` is then that buffer's address; on the
// coprocessor it is the constant 0.
#pragma once

#include <stdint.h>

#include "music/audio_control_block.h"

namespace korvax {

constexpr uint32_t STACK_TOP = 0x100000;          // stack grows down from here
constexpr uint32_t HEAP_BASE = 0x14C000;          // decoder heap
constexpr uint32_t HEAP_LIMIT = 0x200000;         // the heap must not reach the control block
constexpr uint32_t CONTROL_ADDRESS = 0x200000;    // AudioControlBlock
constexpr uint32_t STAGING_ADDRESS = 0x3CC000;    // one ov_read's worth of PCM
constexpr uint32_t STAGING_BYTES = 2048;
constexpr uint32_t RING_ADDRESS = 0xE00000;       // pcm_ring
constexpr uint32_t RING_SAMPLES = 50000;          // signed 16-bit samples
constexpr uint32_t RING_LOW_WATER = 25000;        // primed at, and topped up below, this fill
constexpr uint32_t WINDOW_BYTES = 0xF80000;

// The host's stream area lies wholly below the ring.
static_assert(MUSIC_DATA_OFFSET + MUSIC_DATA_MAX_BYTES <= RING_ADDRESS, "the stream area overlaps the ring");

#if defined(KORVAX_COPROCESSOR_HOST)
extern uintptr_t coprocessor_window;
#else
constexpr uintptr_t coprocessor_window = 0;
#endif

// The object at coprocessor address `address`.
template <class T>
inline T* at_address(uint32_t address) {
    return reinterpret_cast<T*>(coprocessor_window + address);
}

// The coprocessor address of a pointer into the window.
inline uint32_t address_of(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p) - coprocessor_window);
}

}  // namespace korvax
