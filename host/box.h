// The box: a GP2X program (the gp2x build's korvax.gpe, an ARMv4T Linux 2.4
// binary) running whole in another process on the PC under qemu-arm, its
// hardware served by the host console.
//
// The box is a small root file system in a private directory of /dev/shm:
//
//   /dev/mem             the physical memory: one sparse file of 0xC0010000
//                        bytes; the program maps its windows (video memory,
//                        shared memory, registers at 0xC0000000) from it and
//                        the console maps the same windows, so both see every
//                        store
//   /dev/dsp             a FIFO whose reader is the console's sound device: it
//                        drains at 44,100 Hz and so paces the program's
//                        blocking writes; the pipe holds one page, the two
//                        2,048-byte fragments of the real device
//   /usr/gp2x/gp2xmenu   a stand-in for the menu program: it records the path,
//                        arguments, directory and environment it was started
//                        with in /var/box/menu and exits 0
//   /mnt/sd/korvax.gpe   a copy of the program under its own file name, run
//                        from /mnt/sd
//
// The program runs under qemu-arm-static (-cpu ti925t, a strict ARMv4T model)
// chrooted into that root, as an unprivileged user without capabilities (the
// user "nobody"; a user namespace when the console itself is not root). The
// PC's /dev/mem and sound devices are not in the box, and the program could
// not open them if they were: a missing or failed redirection ends the run
// with a fault instead of reaching the PC's physical memory.
//
// The program's loads and stores reach the register page without the console
// seeing them. The console keeps the page alive from its side: a pump thread
// wakes at every change of the vertical-sync bit and otherwise every
// millisecond (a bounded rate: about 1,100 wake-ups a second; the console's
// whole serving side, pump, sound and front end, takes 2-5 % of a core), writes the vertical-sync bit and the button lines, and
// compares the registers whose writes have effects (the ARM940T's clock and
// reset, the display address of a flip) with what it saw last, handing each
// change to the console. A change that is undone within the millisecond (a
// reset pulse that short) is not seen; the program holds the coprocessor in
// reset for at least 100 ms and flips at most once per vertical sync in its
// default mode.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

#include "host/console.h"

namespace korvax::host {

// The size of the box's physical memory file: up to the end of the register window.
constexpr uint64_t BOX_MEMORY_BYTES = REGISTER_WINDOW_PHYS + REGISTER_WINDOW_BYTES;

struct BoxConfig {
    std::string program;  // the GP2X program on the PC
    std::string qemu;     // qemu-arm-static; empty: looked up in PATH
    std::string menu;     // the stand-in menu program (a static x86-64 program)
    // A guest address whose 32-bit word is read at every flip (0: none); the
    // program then runs with a fixed guest base so that the console can read
    // its memory.
    uint32_t watch_address = 0;
};

// How the program ended.
struct BoxEnd {
    bool ended = false;
    int exit_status = -1;  // when it exited
    int signal = 0;        // when a signal ended it
    bool menu_started = false;
    std::string menu_path;  // the path the program started
    std::vector<std::string> menu_argv;
    std::string menu_directory;  // its working directory then
    int menu_envc = -1;
};

// What the console saw of the program's frames.
struct BoxFrames {
    uint64_t flips = 0;
    uint64_t pictures = 0;        // flips that showed anything but an all-black frame
    uint64_t trailing_black = 0;  // flips at the end that showed an all-black frame
    uint64_t first_picture_flip = 0;  // 1-based; 0 while every flip was black
    double first_picture_s = 0;  // seconds after the start of the program
    double first_flip_s = 0;
    double last_flip_s = 0;
    // CPU seconds at the first and the last flip: the program (qemu) and the console.
    double program_cpu_first = 0, program_cpu_last = 0;
    double console_cpu_first = 0, console_cpu_last = 0;
};

struct BoxWatch {
    uint64_t flip;
    uint32_t value;
};

class Box {
public:
    // Makes the root and maps the memory. nullptr with a one-line reason.
    static std::unique_ptr<Box> create(const BoxConfig& config, std::string& why_not);
    ~Box();
    Box(const Box&) = delete;
    Box& operator=(const Box&) = delete;

    // The windows the console serves: the box's memory file.
    ConsoleWindows windows() const;

    // Starts serving the console (register pump, sound channel), then the
    // program. false with a reason if the program could not be started.
    bool start(Console& console, std::string& why_not);
    // Non-blocking: true once the program (or the menu it started) has ended;
    // the serving threads have then stopped.
    bool finished();
    // Waits for the end. Valid once finished().
    BoxEnd end();
    // Ends the program at once (SIGKILL).
    void kill_program();
    pid_t program_pid() const { return pid_; }

    BoxFrames frames();
    std::vector<BoxWatch> watched();
    // Seconds since start().
    double elapsed_s();
    // CPU seconds of the program's process and of the console until now (the
    // program's total once it has ended).
    double program_cpu_s();
    double console_cpu_s();
    // Bytes the program wrote to its /dev/dsp.
    uint64_t sound_bytes() const { return sound_bytes_.load(); }

private:
    Box() = default;
    bool make_root(const BoxConfig& config, std::string& why_not);
    void pump();
    void on_flip(uint64_t now_ns);
    void drain_sound();
    void reap(bool wait);
    bool read_guest(uint32_t address, void* out, size_t length);

    BoxConfig config_;
    std::string root_;
    std::string qemu_path_;
    std::string program_in_box_;
    int memory_fd_ = -1;
    uint8_t* registers_ = nullptr;
    uint8_t* video_ = nullptr;
    uint8_t* shared_ = nullptr;
    int dsp_fd_ = -1;
    uid_t box_uid_ = 65534;
    gid_t box_gid_ = 65534;

    Console* console_ = nullptr;
    pid_t pid_ = -1;
    int proc_mem_fd_ = -1;
    uint64_t start_ns_ = 0;
    std::atomic<bool> stop_{false};
    std::thread pump_thread_;
    std::thread sound_thread_;
    std::atomic<uint64_t> sound_bytes_{0};

    std::mutex mutex_;  // the state below
    bool reaped_ = false;
    int wait_status_ = 0;
    double program_cpu_final_ = -1;
    BoxFrames frames_;
    std::vector<BoxWatch> watched_;
};

// The guest base the program runs at when its memory is watched.
constexpr uint64_t BOX_GUEST_BASE = 0x100000000ull;

}  // namespace korvax::host
