#include "app/box_app.h"

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "host/box.h"
#include "app/png.h"
#include "host/wav.h"
#include "app/window.h"

namespace korvax::host {

namespace {

std::atomic<int> interrupts{0};

void on_signal(int) { ++interrupts; }

// A program that does not react to the exit button within this time (counted
// from its first flip after the press) is ended.
constexpr double EXIT_GRACE_S = 30.0;

// The ARM940T's decoder stays at most about 0.14 s ahead of the sound (its
// ring's low-water mark): its thread must not wait longer than that for a CPU.
constexpr int CONSOLE_NICENESS = -10;


// The stand-in menu program is built beside korvax.
std::string menu_stand_in() {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (ec ? std::filesystem::path(".") : self.parent_path()).append("korvax-gp2xmenu").string();
}

std::string signal_name(int sig) {
    const char* name = sigdescr_np(sig);
    return std::to_string(sig) + (name ? std::string(" (") + name + ")" : std::string());
}

double share(double cpu, double wall) { return wall > 0 ? 100.0 * cpu / wall : 0.0; }

}  // namespace

int run_box(const Options& options) {
    if (options.virtual_time || !options.capture.empty() || options.print_hash) {
        std::fprintf(stderr, "korvax: --gp2x runs in real time: --clock virtual, --capture and --hash do not apply\n");
        return 2;
    }
    BoxConfig box_config;
    box_config.program = options.gp2x;
    box_config.menu = menu_stand_in();
    box_config.watch_address = options.watch_address;
    std::string why;
    std::unique_ptr<Box> box = Box::create(box_config, why);
    if (!box) {
        std::fprintf(stderr, "korvax: %s\n", why.c_str());
        return 1;
    }

    // The console stands in for hardware that never waits for a CPU: where it
    // may (as root), its hardware threads (the ARM940T, the register pump, the
    // sound device; created below, they inherit this thread's niceness) come
    // before the PC's ordinary work. This thread, the front end, goes back to
    // its own niceness once they run; the program keeps the PC's ordinary one.
    errno = 0;
    const int front_end_niceness = getpriority(PRIO_PROCESS, 0);
    const bool raised = geteuid() == 0 && errno == 0 && setpriority(PRIO_PROCESS, 0, CONSOLE_NICENESS) == 0;

    ConsoleConfig config = system_console_config();
    config.exit_after_flips = options.frames;
    config.vsync_mode = static_cast<uint16_t>(options.vsync_mode);
    // Declared after the box: the console (and its ARM940T on the shared
    // window) goes first.
    Console console(config, std::make_unique<RealTimeClock>(), box->windows());

    std::shared_ptr<WavWriter> wav;
    if (!options.wav.empty()) {
        wav = WavWriter::create(options.wav, why);
        if (!wav) {
            std::fprintf(stderr, "korvax: cannot write %s: %s\n", options.wav.c_str(), why.c_str());
            return 1;
        }
        console.sound().add_sink(wav);
    }
    if (!options.no_sound) {
        std::unique_ptr<SoundOutput> card = open_sdl_sound(why);
        if (card) {
            console.sound().set_output(std::move(card));
        } else {
            std::fprintf(stderr, "korvax: no sound card (%s), the sound is silent\n", why.c_str());
        }
    }
    std::unique_ptr<Window> window;
    if (!options.headless) {
        window = Window::open(options.scale, why);
        if (!window) std::fprintf(stderr, "korvax: no display available (%s), running headless\n", why.c_str());
    }

    interrupts = 0;
    auto old_int = std::signal(SIGINT, on_signal);
    auto old_term = std::signal(SIGTERM, on_signal);

    bool started = box->start(console, why);
    if (raised) setpriority(PRIO_PROCESS, 0, front_end_niceness);
    if (!started) {
        std::fprintf(stderr, "korvax: %s\n", why.c_str());
        std::signal(SIGINT, old_int);
        std::signal(SIGTERM, old_term);
        return 1;
    }

    // The front end: scan-out as every frame starts (the end of blanking), keys to buttons.
    Clock& clock = console.clock();
    bool exit_pressed = false;
    uint64_t flips_at_press = 0;
    double exit_seen_at = -1;
    bool gave_up = false;
    while (!box->finished()) {
        clock.sleep_until_ns(clock.next_scan_out(clock.now_ns()));
        Window::scan_out_and_show(console, window.get());
        int n = interrupts.load();
        if (n == 1) console.set_button(Button::Exit, true);
        if (n >= 2 && !gave_up) {
            gave_up = true;
            box->kill_program();
        }
        if ((console.peek_register(REG_BUTTONS_LOW) & EXIT_BUTTON_BIT) == 0 && !gave_up) {
            // The program reads the buttons in its frame loop only: the time
            // allowed counts from its first flip after the press.
            uint64_t flips = box->frames().flips;
            if (!exit_pressed) {
                exit_pressed = true;
                flips_at_press = flips;
            }
            if (exit_seen_at < 0 && flips > flips_at_press) exit_seen_at = box->elapsed_s();
            if (exit_seen_at >= 0 && box->elapsed_s() - exit_seen_at > EXIT_GRACE_S) {
                std::fprintf(stderr, "korvax: the GP2X program did not leave within %.0f s of the exit button\n",
                             EXIT_GRACE_S);
                gave_up = true;
                box->kill_program();
            }
        }
    }
    BoxEnd end = box->end();
    BoxFrames frames = box->frames();
    console.scan_out();  // the last flip is what the panel shows at the end
    std::signal(SIGINT, old_int);
    std::signal(SIGTERM, old_term);

    int status = 0;
    if (wav && !wav->finish()) {
        std::fprintf(stderr, "korvax: cannot write %s\n", options.wav.c_str());
        status = 1;
    }
    if (!options.screenshot.empty()) {
        std::vector<uint16_t> frame = console.displayed_frame();
        if (!write_png_rgb565(options.screenshot, frame.data(), WIDTH, HEIGHT)) {
            std::fprintf(stderr, "korvax: cannot write %s\n", options.screenshot.c_str());
            status = 1;
        }
    }
    window.reset();

    // What the box saw.
    double playing_s = frames.last_flip_s - frames.first_flip_s;
    std::printf("korvax: %llu frames flipped, %llu of them pictures (the first at flip %llu, %.1f s after the "
                "start), the last %llu black\n",
                static_cast<unsigned long long>(frames.flips), static_cast<unsigned long long>(frames.pictures),
                static_cast<unsigned long long>(frames.first_picture_flip), frames.first_picture_s,
                static_cast<unsigned long long>(frames.trailing_black));
    if (frames.flips >= 3 && playing_s >= 0.5) {
        double per_frame = 1000.0 / static_cast<double>(frames.flips - 1);
        double program_cpu = frames.program_cpu_last - frames.program_cpu_first;
        double console_cpu = frames.console_cpu_last - frames.console_cpu_first;
        std::printf("korvax: %.1f frames/s on this PC over %.1f s; host CPU while playing: program (qemu) %.0f%% of a "
                    "core (%.1f ms a frame), console %.0f%% (%.1f ms a frame)\n",
                    static_cast<double>(frames.flips - 1) / playing_s, playing_s, share(program_cpu, playing_s),
                    program_cpu * per_frame, share(console_cpu, playing_s), console_cpu * per_frame);
    }
    std::printf("korvax: %llu sound bytes; in all %.1f s, CPU %.1f s (program) + %.1f s (console)\n",
                static_cast<unsigned long long>(box->sound_bytes()), box->elapsed_s(), box->program_cpu_s(),
                box->console_cpu_s());
    const Arm940t& core = console.coprocessor();
    if (core.boots() > 0) {
        std::printf("korvax: the ARM940T: %llu of its clock's %llu instructions emulated, %llu of them work "
                    "(%.1f%% of its clock)\n",
                    static_cast<unsigned long long>(core.executed_instructions()),
                    static_cast<unsigned long long>(core.instructions()),
                    static_cast<unsigned long long>(core.busy_instructions()),
                    core.instructions() ? 100.0 * static_cast<double>(core.busy_instructions()) /
                                              static_cast<double>(core.instructions())
                                        : 0.0);
    }
    // Buffers the coprocessor had to send before its decoder caught up, sound
    // gaps, time the emulated ARM940T lost: the PC, not the program, fell
    // behind (on the handheld its ARM940T has time to spare).
    std::string behind = keeping_up_text(console.keeping_up());
    if (!behind.empty()) std::printf("%s\n", behind.c_str());
    if (options.watch_address != 0) {
        std::printf("korvax: word at 0x%08x:", options.watch_address);
        for (const BoxWatch& w : box->watched()) {
            std::printf(" %u@%llu", w.value, static_cast<unsigned long long>(w.flip));
        }
        std::printf("\n");
    }
    if (end.menu_started) {
        std::printf("korvax: the GP2X program left for %s (arguments:", end.menu_path.c_str());
        for (const std::string& a : end.menu_argv) std::printf(" %s", a.c_str());
        std::printf("; directory %s; %d environment strings)\n", end.menu_directory.c_str(), end.menu_envc);
    }
    std::fflush(stdout);

    if (end.signal != 0) {
        std::fprintf(stderr, "korvax: the GP2X program was ended by signal %s\n", signal_name(end.signal).c_str());
        return 1;
    }
    if (!end.menu_started) {
        std::fprintf(stderr,
                     "korvax: the GP2X program ended with status %d without starting the menu "
                     "(a GP2X would be left without it)\n",
                     end.exit_status);
        return end.exit_status != 0 ? end.exit_status : 1;
    }
    if (end.exit_status != 0) {
        std::fprintf(stderr, "korvax: the menu stand-in failed (status %d)\n", end.exit_status);
        return 1;
    }
    return status;
}

}  // namespace korvax::host
