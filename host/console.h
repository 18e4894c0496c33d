// The host console: our stand-in for the GP2X hardware under the seam.
//
// It owns the three physical windows the system maps (registers, video memory,
// the memory shared with the coprocessor) as host buffers, gives the registers
// their behaviour (vertical sync from the console clock, buttons from the front
// end, display scan-out from the address registers), and records what the
// system does to the operating system (mappings, the menu program) so that
// tests can check it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "board/mmsp2.h"
#include "host/arm940t.h"
#include "host/sound.h"

namespace korvax::host {

constexpr int WIDTH = 320;
constexpr int HEIGHT = 240;

enum class Button { Exit, VolumeUp, VolumeDown };

// The console clock. Real time follows the wall clock; vertical sync is a
// 60 Hz square wave whose high phase (register 0x1182 bit 4) is the blanking
// interval at the start of every frame period.
class Clock {
public:
    virtual ~Clock() = default;
    // Nanoseconds since the console started.
    virtual uint64_t now_ns() = 0;
    // Blocks the calling thread until the given console time.
    virtual void sleep_until_ns(uint64_t t) = 0;
    // Starts a thread of the system. A virtual clock schedules it.
    virtual std::thread spawn(std::function<void()> body) { return std::thread(std::move(body)); }
    // True when the clock follows the wall clock: the console's own parts
    // (the coprocessor) then run from threads of their own, paced against it.
    virtual bool is_real_time() const { return false; }

    static constexpr uint64_t FRAME_NS = 1000000000ull / 60;  // 16,666,666 ns
    static constexpr uint64_t BLANK_NS = FRAME_NS * 22 / 262;  // 22 of 262 lines
    bool vsync_high(uint64_t t) const { return t % FRAME_NS < BLANK_NS; }
    // The next time the vsync bit changes after t.
    uint64_t next_vsync_change(uint64_t t) const;
    // The start of the next frame period after t.
    uint64_t next_vsync_start(uint64_t t) const { return (t / FRAME_NS + 1) * FRAME_NS; }
    // The next end of the blanking interval after t: the panel starts to show
    // a frame then, from the buffer the display address names at that moment
    // (a flip made during the blanking is what that frame shows).
    uint64_t next_scan_out(uint64_t t) const {
        uint64_t s = t / FRAME_NS * FRAME_NS + BLANK_NS;
        return s > t ? s : s + FRAME_NS;
    }
};

class RealTimeClock : public Clock {
public:
    RealTimeClock();
    uint64_t now_ns() override;
    void sleep_until_ns(uint64_t t) override;
    bool is_real_time() const override { return true; }

private:
    std::chrono::steady_clock::time_point start_;
};

// A clock that only moves when a thread sleeps: sleeping until t sets the time
// to t. Deterministic; used by tests (one thread at a time).
class ManualClock : public Clock {
public:
    uint64_t now_ns() override { return now_.load(); }
    void sleep_until_ns(uint64_t t) override {
        uint64_t cur = now_.load();
        while (t > cur && !now_.compare_exchange_weak(cur, t)) {
        }
    }
    void set(uint64_t t) { now_ = t; }

private:
    std::atomic<uint64_t> now_{0};
};

struct ConsoleConfig {
    int exit_after_flips = -1;  // --frames N: press the exit button after N flips
    uint16_t vsync_mode = 1;    // register 0x2804 bit 0
    // With the real-time clock the ARM940T runs from a pacer thread; false, or
    // any other clock: only when its owner calls coprocessor().run_instructions
    // (deterministic tests, a virtual clock's advance hook).
    bool pace_coprocessor = true;
    // The shared-memory words the coprocessor program's idle loop polls
    // (offset, bytes): while they and the core's registers hold still, its
    // spinning is skipped. The program that runs there names them; none by
    // default.
    uint32_t idle_watch_offset = 0;
    uint32_t idle_watch_bytes = 0;
    // The shared-memory words (offsets, 32-bit) where the coprocessor program
    // counts the sound samples it has put into its PCM buffers and where the
    // system says whether the music plays: against them the console counts the
    // samples written to the sound device that were left over from a buffer's
    // last use. The program names them; none by default (nothing is counted).
    bool pcm_words = false;
    uint32_t pcm_position_offset = 0;
    uint32_t pcm_play_offset = 0;
    // Percent of its instructions the emulated coprocessor is given: below
    // 100 it falls behind as on a machine too busy to run it (tests).
    uint32_t coprocessor_percent = 100;
};

// How well the machine kept up with the console, counted since it started.
struct KeepingUp {
    // Writes that found the sound device run dry: a gap of silence was heard.
    uint64_t sound_underruns = 0;
    // PCM buffers handed to the device with samples left over from their
    // previous use (the coprocessor's decoder fell behind), and those samples.
    uint64_t stale_buffers = 0;
    uint64_t stale_samples = 0;
    // Time the real-time pacer gave up on when the coprocessor fell behind.
    uint64_t coprocessor_lost_ns = 0;
    bool any() const { return sound_underruns || stale_buffers || coprocessor_lost_ns; }
};

// The three physical windows when they live outside the console (a program in
// another process maps the same memory): registers (REGISTER_WINDOW_BYTES), video
// memory (VIDEO_WINDOW_BYTES) and the memory shared with the coprocessor
// (SHARED_WINDOW_BYTES). The console does not own them; they must outlive it.
struct ConsoleWindows {
    uint8_t* registers = nullptr;
    uint8_t* video = nullptr;
    uint8_t* shared = nullptr;
};

// What the system did to the operating system, for tests.
struct OsRecord {
    int memory_opens = 0;
    int memory_closes = 0;
    int mappings_live = 0;
    std::string changed_directory;
    std::string replaced_with;
    std::vector<std::string> replace_argv;
    int replace_envc = -1;
};

class Console {
public:
    explicit Console(const ConsoleConfig& config, std::unique_ptr<Clock> clock);
    // A console over windows it does not own, left as they are but for the
    // power-on values of the registers with behaviour.
    Console(const ConsoleConfig& config, std::unique_ptr<Clock> clock, const ConsoleWindows& windows);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    uint8_t* registers() { return registers_; }
    uint8_t* video() { return video_; }
    uint8_t* shared() { return shared_; }
    Clock& clock() { return *clock_; }

    // ---- the seam -----------------------------------------------------------
    int open_memory();
    void close_memory(int fd);
    void* map_physical(int fd, uint64_t phys, uint32_t length);
    void unmap_physical(void* base, uint32_t length);
    uint16_t read16(void* window, uint32_t offset);
    void write16(void* window, uint32_t offset, uint16_t value);
    void spin_hint();
    void sleep_us(uint32_t us);
    int create_thread(void (*fn)(void*), void* arg);
    int sound_open();
    int sound_ioctl(int fd, int request, int value) { return sound_.ioctl(fd, request, value); }
    int sound_write(int fd, const void* data, uint32_t length);
    void sound_close(int fd) { sound_.close(fd); }
    SoundDevice& sound() { return sound_; }
    Arm940t& coprocessor() { return coprocessor_; }
    int change_directory(const char* path);
    int replace_process(const char* path, char* const argv[], char* const envp[]);

    // ---- buttons --------------------------------------------------------------
    void set_button(Button button, bool down);

    // ---- display ----------------------------------------------------------------
    // The main core writes video memory between these two (see
    // board_begin_video_write); scan-out never copies the memory meanwhile.
    void begin_video_write() { video_mutex_.lock(); }
    void end_video_write() { video_mutex_.unlock(); }
    // Latches the buffer named by the first display address pair into the
    // displayed frame; the front end calls it at the end of every blanking
    // interval (Clock::next_scan_out).
    void scan_out();
    // A copy of the frame last latched by scan_out (RGB565, 320 x 240).
    std::vector<uint16_t> displayed_frame();
    // Called with every frame scan_out latches while the console runs itself
    // (virtual time), for capture.
    void set_frame_listener(std::function<void(const uint16_t*)> listener);

    // Runs the console's own parts over the console time [from, to): the
    // coprocessor's instructions, and scan-out at the end of every blanking
    // interval in (from, to]. A virtual clock calls it between actor turns.
    void advance(uint64_t from, uint64_t to);
    // Physical address held by the first display address pair.
    uint32_t display_address();
    uint64_t flips() const { return flips_.load(); }

    // ---- direct register access (the hardware's own view, for tests) ---------
    uint16_t peek_register(uint32_t offset) const;
    void poke_register(uint32_t offset, uint16_t value);

    // ---- a program the console does not see access the registers --------------
    // What the bus reads at offset when the register holds `stored`: the
    // vertical-sync bit from the clock, the button lines pulled low.
    uint16_t bus_value(uint32_t offset, uint16_t stored);
    // The effects of a write that has already reached the register: the
    // coprocessor's clock and reset, the count of flips (and the exit button
    // after --frames N flips).
    void register_written(uint32_t offset, uint16_t value);

    // ---- probes for tests ----------------------------------------------------------
    // Called on the writing thread after every register write through the seam.
    // Setting a probe waits for a call in progress to finish.
    void set_register_probe(std::function<void(uint32_t offset, uint16_t value)> probe);
    // Called on the writing thread after every release-store of a
    // shared-memory word through the seam.
    void set_store_probe(std::function<void(const volatile uint32_t* word, uint32_t value)> probe);
    void note_store(const volatile uint32_t* word, uint32_t value);

    OsRecord os_record();
    KeepingUp keeping_up();
    // The coprocessor program's count of samples put into its PCM buffers
    // (ConsoleConfig::pcm_position_offset; 0 before it ran or when not named),
    // for a front end's progress.
    uint32_t pcm_position_word();
    // Joins every thread the system created.
    void join_threads();

private:
    void run_coprocessor(uint64_t from, uint64_t to);
    void note_pcm_write(uint32_t length);
    uint32_t shared_word(uint32_t offset);
    uint16_t read_register(uint32_t offset);
    void write_register(uint32_t offset, uint16_t value);
    uint8_t* window_of(uint64_t phys, uint32_t length);

    ConsoleConfig config_;
    std::unique_ptr<Clock> clock_;
    // The console's own memory, empty when the windows live outside.
    std::vector<uint8_t> own_memory_;
    uint8_t* registers_;
    uint8_t* video_;
    uint8_t* shared_;

    SoundDevice sound_;
    Arm940t coprocessor_;
    std::atomic<uint32_t> buttons_down_{0};
    std::atomic<uint64_t> flips_{0};

    std::mutex display_mutex_;
    // Held by scan-out while it copies video memory and by the main core while
    // it writes there: the display's DMA and the core's stores, one at a time.
    std::mutex video_mutex_;
    std::vector<uint16_t> displayed_;
    std::function<void(const uint16_t*)> frame_listener_;


    std::atomic<bool> probing_{false};
    std::mutex probe_mutex_;
    std::function<void(uint32_t, uint16_t)> register_probe_;
    std::function<void(const volatile uint32_t*, uint32_t)> store_probe_;

    std::mutex os_mutex_;
    OsRecord os_;

    // The music position against the samples written since the device opened:
    // more written than the coprocessor put into its buffers means stale ones.
    struct PcmCount {
        uint64_t written = 0;  // 16-bit samples since the last open or restart
        uint32_t last_position = 0;
        int64_t max_lag = 0;
        uint64_t stale_buffers = 0;
        uint64_t stale_samples = 0;
    };
    PcmCount pcm_;  // under os_mutex_
    std::vector<std::thread> threads_;
};

// The console the seam talks to. Exactly one is active while the system runs.
Console* active_console();
void set_active_console(Console* console);

}  // namespace korvax::host
