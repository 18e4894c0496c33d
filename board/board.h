// The seam: every call through which the system reaches the operating system and
// the hardware. Above this header the code is the same in every build; below it
// lie either the real Linux 2.4 calls of the GP2X (board/gp2x/board_gp2x.cpp) or the
// host console (host/), which stands in for the MMSP2 on a PC.
#pragma once

#include <stdint.h>

#if defined(KORVAX_BOARD_GP2X)
#include <atomic>
#endif

namespace korvax {

// ---- memory device and physical windows -------------------------------------

// Opens the physical-memory device ("/dev/mem") read-write; a descriptor >= 0.
int board_open_memory();
void board_close_memory(int fd);
// Maps length bytes of physical memory at phys (readable, writable, shared).
// The offset is 64-bit: the register window lies at 0xC0000000.
void* board_map_physical(int fd, uint64_t phys, uint32_t length);
void board_unmap_physical(void* base, uint32_t length);

// ---- registers ---------------------------------------------------------------

// One 16-bit access at a byte offset of the mapped register window. On the GP2X
// a single volatile halfword load or store; on the host the console sees every
// access, which is how vertical sync, the buttons, display flips and the
// coprocessor's reset and clock take effect.
#if defined(KORVAX_BOARD_GP2X)
inline uint16_t board_read16(void* regs, uint32_t offset) {
    return *reinterpret_cast<volatile uint16_t*>(static_cast<uint8_t*>(regs) + offset);
}
inline void board_write16(void* regs, uint32_t offset, uint16_t value) {
    *reinterpret_cast<volatile uint16_t*>(static_cast<uint8_t*>(regs) + offset) = value;
}
inline void board_spin_hint() {}
#else
uint16_t board_read16(void* regs, uint32_t offset);
void board_write16(void* regs, uint32_t offset, uint16_t value);
// Called inside every polling loop. The host console uses it to block the
// spinning thread until the polled state can have changed.
void board_spin_hint();
#endif

// ---- shared-memory flags ---------------------------------------------------------

// 32-bit words of the block shared with the coprocessor. A writer publishes data
// and then its flag with release order; a reader reads the flag with acquire order
// before the data. The coprocessor side reaches them uncached.
#if defined(KORVAX_BOARD_GP2X)
inline uint32_t board_load_acquire(volatile uint32_t* word) {
    uint32_t v = *word;
    std::atomic_signal_fence(std::memory_order_acquire);
    return v;
}
inline void board_store_release(volatile uint32_t* word, uint32_t value) {
    std::atomic_signal_fence(std::memory_order_release);
    *word = value;
}
#else
uint32_t board_load_acquire(volatile uint32_t* word);
void board_store_release(volatile uint32_t* word, uint32_t value);
#endif

// ---- video memory ----------------------------------------------------------------

// Brackets every write of the main core into the mapped video window. The
// display controller reads the same memory by DMA at every scan-out, whatever
// the core is writing at that moment; on the GP2X nothing needs to be done. The
// host console scans out on a thread of its own and copies the frame under a
// lock that these take, so that the two never touch the memory at once.
#if defined(KORVAX_BOARD_GP2X)
inline void board_begin_video_write() {}
inline void board_end_video_write() {}
#else
void board_begin_video_write();
void board_end_video_write();
#endif

// ---- time and threads ------------------------------------------------------------

void board_sleep_us(uint32_t microseconds);
// Starts fn(arg) on a new thread; 0 on success.
int board_create_thread(void (*fn)(void*), void* arg);

// ---- the sound device (OSS /dev/dsp) ---------------------------------------------

enum BoardSoundRequest {
    BOARD_DSP_SPEED,        // SNDCTL_DSP_SPEED
    BOARD_DSP_SETFMT,       // SNDCTL_DSP_SETFMT (16 = AFMT_S16_LE)
    BOARD_DSP_STEREO,       // SNDCTL_DSP_STEREO
    BOARD_DSP_SETFRAGMENT,  // SNDCTL_DSP_SETFRAGMENT (0xMMMMSSSS)
};

// Opens "/dev/dsp" for writing only; the descriptor, negative on failure.
int board_sound_open();
int board_sound_ioctl(int fd, BoardSoundRequest request, int value);
// Blocking write: returns once the device has taken the bytes.
int board_sound_write(int fd, const void* data, uint32_t length);
void board_sound_close(int fd);

// ---- leaving for the menu --------------------------------------------------------

int board_change_directory(const char* path);
// Replaces the process; returns only on failure.
int board_replace_process(const char* path, char* const argv[], char* const envp[]);

}  // namespace korvax
