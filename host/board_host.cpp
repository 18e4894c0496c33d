// The seam's host implementation: every call goes to the active host console.
#include <atomic>

#include "host/console.h"
#include "board/board.h"

namespace korvax {

using host::active_console;

int board_open_memory() { return active_console()->open_memory(); }
void board_close_memory(int fd) { active_console()->close_memory(fd); }
void* board_map_physical(int fd, uint64_t phys, uint32_t length) {
    return active_console()->map_physical(fd, phys, length);
}
void board_unmap_physical(void* base, uint32_t length) { active_console()->unmap_physical(base, length); }

uint16_t board_read16(void* regs, uint32_t offset) { return active_console()->read16(regs, offset); }
void board_write16(void* regs, uint32_t offset, uint16_t value) { active_console()->write16(regs, offset, value); }
void board_spin_hint() { active_console()->spin_hint(); }

uint32_t board_load_acquire(volatile uint32_t* word) {
    return std::atomic_ref<uint32_t>(*const_cast<uint32_t*>(word)).load(std::memory_order_acquire);
}
void board_store_release(volatile uint32_t* word, uint32_t value) {
    std::atomic_ref<uint32_t>(*const_cast<uint32_t*>(word)).store(value, std::memory_order_release);
    if (host::Console* console = active_console()) console->note_store(word, value);
}

// Without a console nothing scans out, so offline drawing (tools, benchmarks,
// the meter's host side) has no one to keep out.
void board_begin_video_write() {
    if (host::Console* console = active_console()) console->begin_video_write();
}
void board_end_video_write() {
    if (host::Console* console = active_console()) console->end_video_write();
}

void board_sleep_us(uint32_t microseconds) { active_console()->sleep_us(microseconds); }
int board_create_thread(void (*fn)(void*), void* arg) { return active_console()->create_thread(fn, arg); }

int board_sound_open() { return active_console()->sound_open(); }
int board_sound_ioctl(int fd, BoardSoundRequest request, int value) {
    return active_console()->sound_ioctl(fd, static_cast<int>(request), value);
}
int board_sound_write(int fd, const void* data, uint32_t length) {
    return active_console()->sound_write(fd, data, length);
}
void board_sound_close(int fd) { active_console()->sound_close(fd); }

int board_change_directory(const char* path) { return active_console()->change_directory(path); }
int board_replace_process(const char* path, char* const argv[], char* const envp[]) {
    return active_console()->replace_process(path, argv, envp);
}

}  // namespace korvax
