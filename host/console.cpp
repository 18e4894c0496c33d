#include "host/console.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>


namespace korvax::host {

namespace {

constexpr int FAKE_MEMORY_FD = 3;

// Button lines: (register, bit). Active low on the bus.
struct ButtonLine {
    uint32_t reg;
    uint16_t bit;
};
ButtonLine line_of(Button b) {
    switch (b) {
        case Button::Exit: return {REG_BUTTONS_LOW, EXIT_BUTTON_BIT};
        case Button::VolumeUp: return {REG_BUTTONS_HIGH, VOLUME_UP_LINE};
        case Button::VolumeDown: return {REG_BUTTONS_HIGH, VOLUME_DOWN_LINE};
    }
    return {REG_BUTTONS_LOW, 0};
}

// The register a thread polled last: board_spin_hint uses it to know what the
// thread is waiting for.
thread_local uint32_t last_polled_register = 0xFFFFFFFFu;

Console* the_console = nullptr;

}  // namespace

uint64_t Clock::next_vsync_change(uint64_t t) const {
    uint64_t phase = t % FRAME_NS;
    uint64_t frame_start = t - phase;
    return phase < BLANK_NS ? frame_start + BLANK_NS : frame_start + FRAME_NS;
}

RealTimeClock::RealTimeClock() : start_(std::chrono::steady_clock::now()) {}

uint64_t RealTimeClock::now_ns() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start_).count());
}

void RealTimeClock::sleep_until_ns(uint64_t t) {
    std::this_thread::sleep_until(start_ + std::chrono::nanoseconds(t));
}

namespace {
ConsoleWindows windows_in(std::vector<uint8_t>& memory) {
    return {memory.data(), memory.data() + REGISTER_WINDOW_BYTES, memory.data() + REGISTER_WINDOW_BYTES + VIDEO_WINDOW_BYTES};
}
}  // namespace

Console::Console(const ConsoleConfig& config, std::unique_ptr<Clock> clock)
    : Console(config, std::move(clock), ConsoleWindows{}) {}

Console::Console(const ConsoleConfig& config, std::unique_ptr<Clock> clock, const ConsoleWindows& windows)
    : config_(config),
      clock_(std::move(clock)),
      own_memory_(windows.registers ? 0 : REGISTER_WINDOW_BYTES + VIDEO_WINDOW_BYTES + SHARED_WINDOW_BYTES, 0),
      registers_(windows.registers ? windows.registers : windows_in(own_memory_).registers),
      video_(windows.registers ? windows.video : windows_in(own_memory_).video),
      shared_(windows.registers ? windows.shared : windows_in(own_memory_).shared),
      sound_(*clock_),
      coprocessor_(shared_, SHARED_WINDOW_BYTES),
      displayed_(WIDTH * HEIGHT, 0) {
    // At power-on both display address pairs name the start of video memory,
    // which holds zeros: the screen is black until the first flip.
    poke_register(REG_DISPLAY_ADDR1_LOW, 0);
    poke_register(REG_DISPLAY_ADDR1_HIGH, static_cast<uint16_t>(VIDEO_WINDOW_PHYS >> 16));
    poke_register(REG_DISPLAY_ADDR2_LOW, 0);
    poke_register(REG_DISPLAY_ADDR2_HIGH, static_cast<uint16_t>(VIDEO_WINDOW_PHYS >> 16));
    poke_register(REG_VSYNC_MODE, config_.vsync_mode & 1);
    poke_register(REG_BUTTONS_LOW, 0xFF00);
    poke_register(REG_BUTTONS_HIGH, 0xFFFF);
    if (config_.exit_after_flips == 0) set_button(Button::Exit, true);
    // The coprocessor's control loop polls the control block when idle. It is
    // paced against the wall clock only; other clocks step it themselves.
    if (config_.idle_watch_bytes > 0) coprocessor_.set_idle_watch(config_.idle_watch_offset, config_.idle_watch_bytes);
    coprocessor_.set_share_percent(config_.coprocessor_percent);
    if (config_.pace_coprocessor && clock_->is_real_time()) coprocessor_.start_pacing(*clock_);
}

Console::~Console() {
    join_threads();
    if (the_console == this) the_console = nullptr;
}

Console* active_console() { return the_console; }
void set_active_console(Console* console) { the_console = console; }

// ---- memory -------------------------------------------------------------------

int Console::open_memory() {
    std::lock_guard<std::mutex> lock(os_mutex_);
    ++os_.memory_opens;
    return FAKE_MEMORY_FD;
}

void Console::close_memory(int fd) {
    std::lock_guard<std::mutex> lock(os_mutex_);
    if (fd == FAKE_MEMORY_FD) ++os_.memory_closes;
}

uint8_t* Console::window_of(uint64_t phys, uint32_t length) {
    struct Window {
        uint64_t phys;
        uint32_t bytes;
        uint8_t* memory;
    };
    const Window windows[] = {
        {REGISTER_WINDOW_PHYS, REGISTER_WINDOW_BYTES, registers_},
        {VIDEO_WINDOW_PHYS, VIDEO_WINDOW_BYTES, video_},
        {SHARED_WINDOW_PHYS, SHARED_WINDOW_BYTES, shared_},
    };
    for (const Window& w : windows) {
        if (phys >= w.phys && phys + length <= w.phys + w.bytes) return w.memory + (phys - w.phys);
    }
    return nullptr;
}

void* Console::map_physical(int fd, uint64_t phys, uint32_t length) {
    if (fd != FAKE_MEMORY_FD) return nullptr;
    uint8_t* p = window_of(phys, length);
    if (p) {
        std::lock_guard<std::mutex> lock(os_mutex_);
        ++os_.mappings_live;
    }
    return p;
}

void Console::unmap_physical(void* base, uint32_t) {
    if (!base) return;
    std::lock_guard<std::mutex> lock(os_mutex_);
    --os_.mappings_live;
}

// ---- registers -----------------------------------------------------------------

// Registers are single halfwords that the system's threads and the console's
// own parts (display, coprocessor) reach concurrently, as on the bus.
uint16_t Console::peek_register(uint32_t offset) const {
    auto* p = reinterpret_cast<uint16_t*>(registers_ + (offset & 0xFFFE));
    return std::atomic_ref<uint16_t>(*p).load(std::memory_order_acquire);
}

void Console::poke_register(uint32_t offset, uint16_t value) {
    auto* p = reinterpret_cast<uint16_t*>(registers_ + (offset & 0xFFFE));
    std::atomic_ref<uint16_t>(*p).store(value, std::memory_order_release);
}

uint16_t Console::read16(void* window, uint32_t offset) {
    if (window != registers_) {
        uint16_t v;
        std::memcpy(&v, static_cast<uint8_t*>(window) + offset, 2);
        return v;
    }
    last_polled_register = offset;
    return read_register(offset);
}

void Console::write16(void* window, uint32_t offset, uint16_t value) {
    if (window != registers_) {
        std::memcpy(static_cast<uint8_t*>(window) + offset, &value, 2);
        return;
    }
    write_register(offset, value);
    if (probing_.load(std::memory_order_relaxed)) {
        std::lock_guard<std::mutex> lock(probe_mutex_);
        if (register_probe_) register_probe_(offset, value);
    }
}

void Console::set_register_probe(std::function<void(uint32_t, uint16_t)> probe) {
    std::lock_guard<std::mutex> lock(probe_mutex_);
    register_probe_ = std::move(probe);
    probing_ = register_probe_ || store_probe_;
}

void Console::set_store_probe(std::function<void(const volatile uint32_t*, uint32_t)> probe) {
    std::lock_guard<std::mutex> lock(probe_mutex_);
    store_probe_ = std::move(probe);
    probing_ = register_probe_ || store_probe_;
}

void Console::note_store(const volatile uint32_t* word, uint32_t value) {
    if (!probing_.load(std::memory_order_relaxed)) return;
    std::lock_guard<std::mutex> lock(probe_mutex_);
    if (store_probe_) store_probe_(word, value);
}

uint16_t Console::read_register(uint32_t offset) { return bus_value(offset, peek_register(offset)); }

uint16_t Console::bus_value(uint32_t offset, uint16_t stored) {
    switch (offset) {
        case REG_VSYNC_STATUS:
            return static_cast<uint16_t>((stored & ~VSYNC_BIT) |
                                         (clock_->vsync_high(clock_->now_ns()) ? VSYNC_BIT : 0));
        case REG_BUTTONS_LOW:
        case REG_BUTTONS_HIGH: {
            uint16_t lines = stored;
            uint32_t down = buttons_down_.load();
            for (Button b : {Button::Exit, Button::VolumeUp, Button::VolumeDown}) {
                ButtonLine line = line_of(b);
                if (line.reg == offset && (down & (1u << static_cast<int>(b)))) lines &= ~line.bit;
            }
            return lines;
        }
        default:
            return stored;
    }
}

void Console::write_register(uint32_t offset, uint16_t value) {
    switch (offset) {
        case REG_VSYNC_STATUS:
        case REG_BUTTONS_LOW:
        case REG_BUTTONS_HIGH:
            return;  // read-only lines
        default:
            break;
    }
    poke_register(offset, value);
    register_written(offset, value);
}

void Console::register_written(uint32_t offset, uint16_t value) {
    if (offset == REG_COPRO_CLOCK) coprocessor_.set_clock(value & 1);
    if (offset == REG_COPRO_CONTROL) coprocessor_.set_reset(value & COPRO_RESET_BIT);
    if (offset == REG_DISPLAY_ADDR2_HIGH) {
        // The last write of a flip: both address pairs now name the new buffer.
        uint64_t n = ++flips_;
        if (config_.exit_after_flips >= 0 && n >= static_cast<uint64_t>(config_.exit_after_flips)) {
            set_button(Button::Exit, true);
        }
    }
}

void Console::set_button(Button button, bool down) {
    uint32_t bit = 1u << static_cast<int>(button);
    if (down) {
        buttons_down_.fetch_or(bit);
    } else {
        buttons_down_.fetch_and(~bit);
    }
}

void Console::spin_hint() {
    if (last_polled_register == REG_VSYNC_STATUS) {
        // Nothing can change before the vsync bit does: sleep until then.
        clock_->sleep_until_ns(clock_->next_vsync_change(clock_->now_ns()));
    } else {
        // A flag in shared memory: let the writer run.
        clock_->sleep_until_ns(clock_->now_ns() + 200000);
    }
    last_polled_register = 0xFFFFFFFFu;
}

void Console::sleep_us(uint32_t us) { clock_->sleep_until_ns(clock_->now_ns() + uint64_t{us} * 1000); }

int Console::create_thread(void (*fn)(void*), void* arg) {
    std::lock_guard<std::mutex> lock(os_mutex_);
    threads_.push_back(clock_->spawn([fn, arg] { fn(arg); }));
    return 0;
}

void Console::join_threads() {
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(os_mutex_);
        threads.swap(threads_);
    }
    for (std::thread& t : threads) {
        if (t.joinable()) t.join();
    }
}

int Console::change_directory(const char* path) {
    std::lock_guard<std::mutex> lock(os_mutex_);
    os_.changed_directory = path;
    errno = ENOENT;  // the host console has no menu directory
    return -1;
}

int Console::replace_process(const char* path, char* const argv[], char* const envp[]) {
    std::lock_guard<std::mutex> lock(os_mutex_);
    os_.replaced_with = path;
    os_.replace_argv.clear();
    for (int i = 0; argv && argv[i]; ++i) os_.replace_argv.emplace_back(argv[i]);
    os_.replace_envc = 0;
    for (int i = 0; envp && envp[i]; ++i) ++os_.replace_envc;
    errno = ENOENT;  // no menu program on a PC: the system's entry returns 0
    return -1;
}

OsRecord Console::os_record() {
    std::lock_guard<std::mutex> lock(os_mutex_);
    return os_;
}

// ---- sound ------------------------------------------------------------------------

int Console::sound_open() {
    int fd = sound_.open();
    if (fd >= 0) {
        std::lock_guard<std::mutex> lock(os_mutex_);
        pcm_.written = 0;
        pcm_.last_position = 0;
        pcm_.max_lag = 0;
    }
    return fd;
}

int Console::sound_write(int fd, const void* data, uint32_t length) {
    if (fd >= 0 && sound_.is_open()) note_pcm_write(length);
    return sound_.write(fd, data, length);
}

// A full buffer's fill field is raised only after all its samples were put in
// and counted, so when it is written the position covers every fresh sample
// written so far (and perhaps some of the next buffer): whatever was written
// beyond the position was stale, at least.
void Console::note_pcm_write(uint32_t length) {
    if (!config_.pcm_words) return;
    uint32_t play = shared_word(config_.pcm_play_offset);
    uint32_t position = shared_word(config_.pcm_position_offset);
    std::lock_guard<std::mutex> lock(os_mutex_);
    if (position < pcm_.last_position) {
        // A restart: the count begins again.
        pcm_.written = 0;
        pcm_.max_lag = 0;
    }
    pcm_.last_position = position;
    pcm_.written += length / 2;
    int64_t lag = static_cast<int64_t>(pcm_.written) - static_cast<int64_t>(position);
    if (lag > pcm_.max_lag) {
        // Once the music is stopped the buffer being filled keeps its tail: not a
        // sign of a slow machine.
        if (play != 0) {
            ++pcm_.stale_buffers;
            pcm_.stale_samples += static_cast<uint64_t>(lag - pcm_.max_lag);
        }
        pcm_.max_lag = lag;
    }
}

uint32_t Console::shared_word(uint32_t offset) {
    auto* word = reinterpret_cast<uint32_t*>(shared_ + offset);
    return std::atomic_ref<uint32_t>(*word).load(std::memory_order_acquire);
}

uint32_t Console::pcm_position_word() { return config_.pcm_words ? shared_word(config_.pcm_position_offset) : 0; }

KeepingUp Console::keeping_up() {
    KeepingUp k;
    k.sound_underruns = sound_.output().underruns();
    k.coprocessor_lost_ns = coprocessor_.lost_ns();
    std::lock_guard<std::mutex> lock(os_mutex_);
    k.stale_buffers = pcm_.stale_buffers;
    k.stale_samples = pcm_.stale_samples;
    return k;
}

// ---- display ----------------------------------------------------------------------

uint32_t Console::display_address() {
    return static_cast<uint32_t>(peek_register(REG_DISPLAY_ADDR1_HIGH)) << 16 | peek_register(REG_DISPLAY_ADDR1_LOW);
}

void Console::scan_out() {
    uint32_t address = display_address();
    std::lock_guard<std::mutex> lock(display_mutex_);
    const uint8_t* src = window_of(address, WIDTH * HEIGHT * 2);
    if (src) {
        std::lock_guard<std::mutex> video(video_mutex_);
        std::memcpy(displayed_.data(), src, WIDTH * HEIGHT * 2);
    } else {
        std::fill(displayed_.begin(), displayed_.end(), 0);  // nothing there: the panel shows black
    }
}

void Console::set_frame_listener(std::function<void(const uint16_t*)> listener) {
    std::lock_guard<std::mutex> lock(display_mutex_);
    frame_listener_ = std::move(listener);
}

void Console::advance(uint64_t from, uint64_t to) {
    uint64_t t = from;
    for (uint64_t edge = clock_->next_scan_out(t); edge <= to; edge = clock_->next_scan_out(t)) {
        run_coprocessor(t, edge);
        scan_out();
        {
            std::lock_guard<std::mutex> lock(display_mutex_);
            if (frame_listener_) frame_listener_(displayed_.data());
        }
        t = edge;
    }
    run_coprocessor(t, to);
}

// The ARM940T over a stretch of virtual time: its instructions of that
// interval, deterministically (the wall-clock pacer does not run then).
void Console::run_coprocessor(uint64_t from, uint64_t to) { coprocessor_.run_between_ns(from, to); }

std::vector<uint16_t> Console::displayed_frame() {
    std::lock_guard<std::mutex> lock(display_mutex_);
    return displayed_;
}

}  // namespace korvax::host
