// The seam's GP2X side: the MMSP2 through /dev/mem, OSS through /dev/dsp, and
// the menu program, all by the kernel's own calls (board/gp2x/syscalls.h).
// The register accessors are inline in the seam's header.
#include <stdint.h>

#include "board/gp2x/syscalls.h"
#include "board/gp2x/thread.h"
#include "board/board.h"

#if defined(KORVAX_GP2X_STAND_IN_DEVICES)
#include <stdlib.h>
#include <string.h>
#endif

namespace korvax {

using namespace gp2x;

namespace {

#if defined(KORVAX_GP2X_STAND_IN_DEVICES)
// Test builds only: every path the board names (the devices, the menu's
// folder and program) lies under the folder named by KORVAX_GP2X_DEVICE_ROOT.
// Without it nothing opens: a test must never reach the PC's own /dev/mem or
// /dev/dsp.
const char* board_path(const char* path, char* buffer, uint32_t size) {
    const char* root = getenv("KORVAX_GP2X_DEVICE_ROOT");
    if (root == nullptr || root[0] != '/' || strlen(root) + strlen(path) >= size) return nullptr;
    strcpy(buffer, root);
    strcat(buffer, path);
    return buffer;
}
#else
const char* board_path(const char* path, char*, uint32_t) { return path; }
#endif

int32_t open_device(const char* path, int32_t flags) {
    char buffer[512];
    const char* full = board_path(path, buffer, sizeof buffer);
    if (full == nullptr) return -1;
    int32_t fd = sys_open(full, flags, 0);
    return failed(fd) ? -1 : fd;
}

uint32_t oss_request(BoardSoundRequest request) {
    switch (request) {
        case BOARD_DSP_SPEED: return K_SNDCTL_DSP_SPEED;
        case BOARD_DSP_SETFMT: return K_SNDCTL_DSP_SETFMT;
        case BOARD_DSP_STEREO: return K_SNDCTL_DSP_STEREO;
        case BOARD_DSP_SETFRAGMENT: return K_SNDCTL_DSP_SETFRAGMENT;
    }
    return 0;
}

}  // namespace

// ---- memory device and physical windows -------------------------------------

// O_SYNC: the kernel maps the windows uncached, as the coprocessor and the
// display controller, which see memory past the ARM920T's caches, need.
int board_open_memory() { return open_device("/dev/mem", K_O_RDWR | K_O_SYNC); }

void board_close_memory(int fd) {
    if (fd >= 0) sys_close(fd);
}

void* board_map_physical(int fd, uint64_t phys, uint32_t length) {
    if (fd < 0 || (phys & ((1u << K_PAGE_SHIFT) - 1)) != 0) return nullptr;
    // mmap2 takes the offset in pages: 0xC0000000 does not fit a signed
    // 32-bit byte offset.
    const uint32_t page = static_cast<uint32_t>(phys >> K_PAGE_SHIFT);
    int32_t address = sys_mmap2(nullptr, length, K_PROT_READ | K_PROT_WRITE, K_MAP_SHARED, fd, page);
    if (failed(address)) return nullptr;
    return reinterpret_cast<void*>(static_cast<uintptr_t>(static_cast<uint32_t>(address)));
}

void board_unmap_physical(void* base, uint32_t length) {
    if (base != nullptr) sys_munmap(base, length);
}

// ---- time and threads ------------------------------------------------------------

void board_sleep_us(uint32_t microseconds) {
    KernelTimespec request = {static_cast<int32_t>(microseconds / 1000000u),
                              static_cast<int32_t>((microseconds % 1000000u) * 1000u)};
    KernelTimespec remaining = {0, 0};
    // A signal cuts the sleep short: sleep the rest.
    while (sys_nanosleep(&request, &remaining) == -K_EINTR) request = remaining;
}

int board_create_thread(void (*fn)(void*), void* arg) { return thread_start(fn, arg) == 0 ? 0 : -1; }

// ---- the sound device (OSS /dev/dsp) ---------------------------------------------

int board_sound_open() { return open_device("/dev/dsp", K_O_WRONLY); }

int board_sound_ioctl(int fd, BoardSoundRequest request, int value) {
    // The driver reads the value and writes back what it chose.
    int32_t r = sys_ioctl(fd, oss_request(request), &value);
    return failed(r) ? -1 : value;
}

int board_sound_write(int fd, const void* data, uint32_t length) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint32_t done = 0;
    while (done < length) {
        int32_t n = sys_write(fd, p + done, length - done);
        if (n == -K_EINTR) continue;
        if (failed(n) || n == 0) return -1;
        done += static_cast<uint32_t>(n);
    }
    return static_cast<int>(done);
}

void board_sound_close(int fd) {
    if (fd >= 0) sys_close(fd);
}

// ---- leaving for the menu --------------------------------------------------------

int board_change_directory(const char* path) {
    char buffer[512];
    const char* full = board_path(path, buffer, sizeof buffer);
    return full != nullptr && !failed(sys_chdir(full)) ? 0 : -1;
}

int board_replace_process(const char* path, char* const argv[], char* const envp[]) {
    // On 2.4 the other tasks of the process would live on in the old memory.
    char buffer[512];
    const char* full = board_path(path, buffer, sizeof buffer);
    if (full == nullptr) return -1;
    threads_end_all();
    sys_execve(full, argv, envp);
    return -1;
}

}  // namespace korvax
