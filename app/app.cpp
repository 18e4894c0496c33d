#include "app/app.h"

#include "app/box_app.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/png.h"
#include "host/wav.h"
#include "app/window.h"
#include "music/audio_control_block.h"
#include "platform/entry.h"

namespace korvax::host {

namespace {

// The timeline ends the sequence when the music reaches this position
// (16-bit samples, 88,200 a second): the measure of a whole run's progress.
constexpr uint32_t SEQUENCE_END_POSITION = 12800000;
// A run asked to stop (a signal, a failed output) that has not ended after
// this long is cut short: its outputs are finished and the process leaves.
constexpr auto STOP_GRACE = std::chrono::milliseconds(1000);
constexpr const char* FALLBACK_CAPTURE = "korvax.mp4";

std::atomic<int> caught_signal{0};

void on_signal(int sig) { caught_signal.store(sig); }

// Whole decimal numbers only: no sign, no spaces.
bool parse_int(const std::string& text, int low, int high, int& out) {
    if (text.empty() || text.size() > 9) return false;
    long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

std::string minutes(double seconds) {
    if (seconds < 0) seconds = 0;
    long s = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

std::string absolute(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// The signals that end a run cleanly; restored when the run is over.
class SignalGuard {
public:
    SignalGuard() {
        caught_signal = 0;
        struct sigaction sa {};
        sa.sa_handler = on_signal;
        sigemptyset(&sa.sa_mask);
        for (int i = 0; i < 3; ++i) sigaction(STOPPING[i], &sa, &old_[i]);
        // Writes to an encoder that has gone, or beyond a file size limit,
        // fail as writes instead of ending the process.
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &old_pipe_);
        sigaction(SIGXFSZ, &ignore, &old_fsize_);
    }
    ~SignalGuard() {
        for (int i = 0; i < 3; ++i) sigaction(STOPPING[i], &old_[i], nullptr);
        sigaction(SIGPIPE, &old_pipe_, nullptr);
        sigaction(SIGXFSZ, &old_fsize_, nullptr);
    }

private:
    static constexpr int STOPPING[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction old_[3] {};
    struct sigaction old_pipe_ {};
    struct sigaction old_fsize_ {};
};

// Every byte written to the sound device goes into the run's digest.
struct DigestSink : SoundSink {
    std::shared_ptr<RunDigest> digest;
    bool hash = false;
    void take(const uint8_t* data, uint32_t length) override {
        if (hash) digest->add(data, length);
        digest->sound_bytes += length;
    }
};

}  // namespace

// ---- options -------------------------------------------------------------------------

std::string usage() {
    return "usage: korvax [--scale N] [--headless] [--frames N] [--screenshot FILE.png] [--vsync-mode 0|1]"
           " [--wav FILE.wav] [--no-sound] [--clock real|virtual] [--capture FOLDER|FILE.mp4]"
           " [--capture-scale N] [--hash] [--gp2x [FILE.gpe] [--watch ADDRESS]] [--help] [--version]";
}

std::string help_text() {
    return usage() + R"(

Plays the korvax demo for the GP2X in a window, in step with its music, and
leaves at its end (about 2.5 minutes). Without a display it renders the demo to
korvax.mp4 in the current folder instead.

Options:
  --scale N              window size: 320x240 times N, 1..16 (default 3)
  --headless             no window: the console runs in real time unseen
  --frames N             press the exit button after N flips (scripts, tests)
  --screenshot FILE.png  write the last displayed frame as a PNG at exit
  --vsync-mode 0|1       the vertical-sync wait the hardware register selects (default 1)
  --wav FILE.wav         record exactly what the system writes to the sound device
  --no-sound             a silent sound device, paced by the clock, even with a sound card
  --clock real|virtual   virtual: a deterministic schedule, as fast as the PC allows,
                         no window and no sound card (default real)
  --capture FOLDER       in virtual time, every displayed frame as a PNG file in a new
                         or empty folder
  --capture FILE.mp4     in virtual time, a video of every displayed frame with its
                         sound, in step as a listener hears it (needs ffmpeg)
  --capture-scale N      MP4 pixels per console pixel each way, 1..8 (default 1: 320x240,
                         the player scales it up)
  --hash                 in virtual time, print a digest of every displayed frame and
                         sound byte at exit (two runs agree)
  --gp2x [FILE.gpe]      play the GP2X build's program (default build-gp2x/korvax.gpe)
                         unchanged under qemu-arm, its hardware served by the console
                         (the box); --frames, --screenshot, --wav, --no-sound,
                         --headless, --scale and the keys work as above
  --watch ADDRESS        with --gp2x: read that word of the program's memory at every
                         flip and list its values at exit
  --help                 this text
  --version              the program's version

Keys in the window:
  Escape, or closing the window   leave
  + or = (keypad +)               volume up (the volume bar appears)
  - (keypad -)                    volume down
  F11                             fullscreen on and off

Exit status:
  0    the demo ran to its end, or was left with Escape
  1    an output could not be written (nothing incomplete is left at its path)
  2    the command line cannot be carried out: an unknown option, a bad value,
       options that do not go together, an output path of the wrong kind, no ffmpeg
  129, 130, 143  ended by SIGHUP, SIGINT (Ctrl-C) or SIGTERM, after a clean
       shut-down: the outputs hold everything up to that moment

Example:
  korvax --capture demo.mp4      render the whole demo to a video file
)";
}

std::string version_text() { return "korvax 1.0"; }

bool parse_options(const std::vector<std::string>& args, Options& options, bool& help, std::string& error) {
    help = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = "korvax: option " + a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto file_name = [&](std::string& out) {
            std::string v;
            if (!value(v)) return false;
            if (v.empty()) {
                error = "korvax: bad value for " + a + ": empty file name";
                return false;
            }
            out = v;
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            help = true;
        } else if (a == "--version") {
            options.version = true;
        } else if (a == "--headless") {
            options.headless = true;
        } else if (a == "--scale") {
            if (!value(v)) return false;
            if (!parse_int(v, 1, 16, options.scale)) {
                error = "korvax: bad value for --scale: '" + v + "' (1..16)";
                return false;
            }
        } else if (a == "--capture-scale") {
            if (!value(v)) return false;
            if (!parse_int(v, 1, 8, options.capture_scale)) {
                error = "korvax: bad value for --capture-scale: '" + v + "' (1..8)";
                return false;
            }
            options.capture_scale_given = true;
        } else if (a == "--frames") {
            if (!value(v)) return false;
            if (!parse_int(v, 0, 1 << 30, options.frames)) {
                error = "korvax: bad value for --frames: '" + v + "' (a count of flips)";
                return false;
            }
        } else if (a == "--screenshot") {
            if (!file_name(options.screenshot)) return false;
        } else if (a == "--no-sound") {
            options.no_sound = true;
        } else if (a == "--wav") {
            if (!file_name(options.wav)) return false;
        } else if (a == "--hash") {
            options.print_hash = true;
        } else if (a == "--clock") {
            if (!value(v)) return false;
            if (v != "real" && v != "virtual") {
                error = "korvax: bad value for --clock: '" + v + "' (real or virtual)";
                return false;
            }
            options.virtual_time = v == "virtual";
            options.clock_given = true;
        } else if (a == "--capture") {
            if (!file_name(options.capture)) return false;
        } else if (a == "--gp2x") {
            // The GP2X build's program, by default where ./run builds it.
            options.gp2x = "build-gp2x/korvax.gpe";
            if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) options.gp2x = args[++i];
        } else if (a == "--watch") {
            if (!value(v)) return false;
            char* end = nullptr;
            unsigned long address = std::strtoul(v.c_str(), &end, 0);
            if (v.empty() || *end != '\0' || address == 0 || address > 0xFFFFFFFCul || address % 4 != 0) {
                error = "korvax: bad value for --watch: '" + v + "' (a word's address in the GP2X program)";
                return false;
            }
            options.watch_address = static_cast<uint32_t>(address);
        } else if (a == "--vsync-mode") {
            if (!value(v)) return false;
            if (!parse_int(v, 0, 1, options.vsync_mode)) {
                error = "korvax: bad value for --vsync-mode: '" + v + "' (0 or 1)";
                return false;
            }
        } else {
            error = "korvax: unknown option '" + a + "'";
            return false;
        }
    }
    if (!options.gp2x.empty() && (options.virtual_time || !options.capture.empty() || options.print_hash)) {
        error = "korvax: --gp2x runs the GP2X program in real time: it cannot be combined with --clock virtual, "
                "--capture or --hash";
        return false;
    }
    if (options.watch_address != 0 && options.gp2x.empty()) {
        error = "korvax: --watch reads the memory of a GP2X program: it needs --gp2x";
        return false;
    }
    // A capture and a digest need every frame, which only virtual time delivers.
    if (!options.capture.empty() || options.print_hash) {
        if (options.clock_given && !options.virtual_time) {
            error = std::string("korvax: ") + (options.capture.empty() ? "--hash" : "--capture") +
                    " runs in virtual time: it cannot be combined with --clock real";
            return false;
        }
        options.virtual_time = true;
    }
    if (options.capture_scale_given && !options.capture.empty() && !is_mp4_target(options.capture)) {
        error = "korvax: --capture-scale applies to an MP4 capture, not to a folder of PNG files";
        return false;
    }
    return true;
}

// ---- the program ---------------------------------------------------------------------

int run_program(const std::vector<std::string>& args, const std::string& program_name) {
    Options options;
    bool help = false;
    std::string error;
    if (!parse_options(args, options, help, error)) {
        std::fprintf(stderr, "%s\n%s\n", error.c_str(), usage().c_str());
        return EXIT_USAGE;
    }
    if (help || options.version) {
        std::string text = help ? help_text() : version_text() + "\n";
        if (std::fputs(text.c_str(), stdout) == EOF || std::fflush(stdout) != 0) return EXIT_FAILED;
        return EXIT_COMPLETED;
    }

    // The GP2X build's program goes into the box.
    if (!options.gp2x.empty()) return run_box(options);

    // A real display shows the demo; without one the useful thing is a video.
    std::unique_ptr<Window> window;
    if (!options.headless && !options.virtual_time) {
        std::string why;
        window = Window::open(options.scale, why);
        if (!window) {
            if (find_ffmpeg().empty()) {
                std::fprintf(stderr,
                             "korvax: no display available (%s), and no ffmpeg to render the demo to a video "
                             "instead: install ffmpeg, or run with --headless or --capture FOLDER\n",
                             why.c_str());
                return EXIT_USAGE;
            }
            std::fprintf(stderr, "korvax: no display available (%s): rendering the demo to %s instead\n",
                         why.c_str(), FALLBACK_CAPTURE);
            options.capture = FALLBACK_CAPTURE;
            options.virtual_time = true;
        }
    }
    App app(options);
    app.set_window(std::move(window));
    return app.run(program_name);
}

// ---- the application -------------------------------------------------------------------

ConsoleConfig system_console_config() {
    ConsoleConfig config;
    config.idle_watch_offset = CONTROL_BLOCK_OFFSET;
    config.idle_watch_bytes = sizeof(AudioControlBlock);
    config.pcm_words = true;
    config.pcm_position_offset = CONTROL_BLOCK_OFFSET + offsetof(AudioControlBlock, position);
    config.pcm_play_offset = CONTROL_BLOCK_OFFSET + offsetof(AudioControlBlock, play);
    return config;
}

App::App(const Options& options) : options_(options) {
    ConsoleConfig config = system_console_config();
    config.exit_after_flips = options.frames;
    config.vsync_mode = static_cast<uint16_t>(options.vsync_mode);
    // Tests starve the emulated coprocessor through the environment, as a
    // machine too busy to run it would.
    if (const char* share = std::getenv("KORVAX_TEST_COPROCESSOR_PERCENT")) {
        int percent = 100;
        if (parse_int(share, 1, 100, percent)) config.coprocessor_percent = static_cast<uint32_t>(percent);
    }
    if (options.virtual_time) {
        auto clock = std::make_unique<VirtualClock>();
        virtual_clock_ = clock.get();
        console_ = std::make_unique<Console>(config, std::move(clock));
        Console* console = console_.get();
        virtual_clock_->set_advance_hook([console](uint64_t from, uint64_t to) { console->advance(from, to); });
    } else {
        console_ = std::make_unique<Console>(config, std::make_unique<RealTimeClock>());
    }
}

App::~App() = default;

void App::set_window(std::unique_ptr<Window> window) { window_ = std::move(window); }

int App::run(const std::string& program_name) {
    int status = open_outputs();
    if (status != EXIT_COMPLETED) return status;
    int result = run_front_end(program_name);
    status = finish_outputs(result);
    if (cut_short_) {
        // The system's threads are still inside the console: leave without them.
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(status);
    }
    return status;
}

// Everything that can be checked is checked before the run starts; every
// output is opened under a temporary name.
int App::open_outputs() {
    std::string error;
    int status = EXIT_COMPLETED;
    auto refuse = [&](const std::string& message, int code) {
        std::fprintf(stderr, "%s\n", message.c_str());
        if (capture_) capture_->abandon();
        capture_.reset();
        wav_.reset();
        wav_file_.discard();
        screenshot_file_.discard();
        return code;
    };
    if (options_.print_hash && fcntl(STDOUT_FILENO, F_GETFL) < 0) {
        return refuse("korvax: cannot write the digest: standard output is closed", EXIT_FAILED);
    }
    if (!options_.screenshot.empty() &&
        !screenshot_file_.prepare(options_.screenshot, StagedOutput::Kind::File, error, status)) {
        return refuse(error, status);
    }
    if (!options_.wav.empty()) {
        if (!wav_file_.prepare(options_.wav, StagedOutput::Kind::File, error, status)) return refuse(error, status);
        std::string why;
        wav_ = WavWriter::create(wav_file_.work(), why);
        if (!wav_) return refuse(cannot_write(options_.wav, why), EXIT_FAILED);
        console_->sound().add_sink(wav_);
    }
    if (!options_.capture.empty()) {
        CaptureSettings settings;
        settings.scale = options_.capture_scale;
        settings.clock = &console_->clock();
        capture_ = open_capture(options_.capture, settings, error, status);
        if (!capture_) return refuse(error, status);
        if (auto sink = capture_->sound_sink()) console_->sound().add_sink(sink);
    }
    // Every byte written to the sound device and every frame scanned out go
    // into the run's digest: two virtual-time runs must agree on it.
    auto digest_sink = std::make_shared<DigestSink>();
    digest_sink->digest = digest_;
    digest_sink->hash = options_.print_hash;
    console_->sound().add_sink(digest_sink);
    console_->set_frame_listener([this](const uint16_t* pixels) {
        // The digest of the pixels costs a twentieth of a virtual-time run:
        // only when it is asked for.
        if (options_.print_hash) digest_->add(reinterpret_cast<const uint8_t*>(pixels), WIDTH * HEIGHT * 2);
        ++digest_->frames;
        ++frames_seen_;
        if (capture_) capture_->frame(pixels);
        if (observer_) observer_(pixels);
    });
    // The sound device: the card if there is one, else silent and paced by
    // the clock. In virtual time the sound goes nowhere but into the
    // recordings: a card plays in real time.
    if (!options_.no_sound && !options_.virtual_time) {
        std::string why;
        std::unique_ptr<SoundOutput> card = open_sdl_sound(why);
        if (card) {
            console_->sound().set_output(std::move(card));
        } else {
            std::fprintf(stderr, "korvax: no sound card (%s), the sound is silent\n", why.c_str());
        }
    }
    return EXIT_COMPLETED;
}

std::string App::output_failure() {
    if (capture_ && capture_->failed()) return capture_->error();
    if (wav_ && wav_->failed()) return cannot_write(options_.wav, std::strerror(wav_->error_number()));
    return "";
}

// The system's entry runs on its own thread; the front end keeps the
// process's main thread, where the window system wants to be. It stops the
// run early on a signal or a failed output, by the exit button as a user would.
int App::run_front_end(const std::string& program_name) {
    Console& console = *console_;
    set_active_console(&console);
    SignalGuard signals;
    started_ = last_progress_ = std::chrono::steady_clock::now();

    // Shared with the system's thread, which may outlive this call when the
    // run is cut short.
    struct Ending {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        int result = 0;
    };
    auto ending = std::make_shared<Ending>();
    Clock& clock = console.clock();
    std::thread system = clock.spawn([ending, name = program_name] {
        std::vector<char> arg0(name.begin(), name.end());
        arg0.push_back('\0');
        char* argv[] = {arg0.data(), nullptr};
        int r = korvax_main(1, argv);
        std::lock_guard<std::mutex> lock(ending->mutex);
        ending->result = r;
        ending->done = true;
        ending->cv.notify_all();
    });

    bool stopping = false;
    std::chrono::steady_clock::time_point deadline;
    for (;;) {
        if (clock.is_real_time()) {
            // The front end scans the display out as every frame starts.
            clock.sleep_until_ns(clock.next_scan_out(clock.now_ns()));
            Window::scan_out_and_show(console, window_.get());
            std::lock_guard<std::mutex> lock(ending->mutex);
            if (ending->done) break;
        } else {
            // In virtual time the console runs itself between the system's
            // turns (scan-out and capture included); the main thread watches.
            std::unique_lock<std::mutex> lock(ending->mutex);
            if (ending->cv.wait_for(lock, std::chrono::milliseconds(20), [&] { return ending->done; })) break;
        }
        if (!stopping) {
            std::string failure = output_failure();
            if (!failure.empty()) {
                std::fprintf(stderr, "%s%s\n", progress_shown_ ? "\n" : "", failure.c_str());
                progress_shown_ = false;
                failed_ = true;
            }
            signal_ = caught_signal.load();
            if (failed_ || signal_ != 0) {
                stopping = true;
                deadline = std::chrono::steady_clock::now() + STOP_GRACE;
                console.set_button(Button::Exit, true);
            }
        } else if (std::chrono::steady_clock::now() > deadline) {
            cut_short_ = true;
            break;
        }
        if (capture_) show_progress(false);
    }
    if (signal_ == 0) signal_ = caught_signal.load();
    if (cut_short_) {
        // Nothing more reaches the outputs; the system's threads end with the process.
        console.set_frame_listener(nullptr);
        system.detach();
        return 0;
    }
    system.join();
    console.join_threads();
    console.scan_out();  // the last flip is what the panel shows at the end
    console.set_frame_listener(nullptr);
    if (capture_ && !failed_) show_progress(true);
    return ending->result;
}

void App::show_progress(bool last) {
    auto now = std::chrono::steady_clock::now();
    double elapsed = std::chrono::duration<double>(now - started_).count();
    uint64_t frames = frames_seen_.load();
    double done;
    if (options_.frames >= 0) {
        // The loop's frames and the two black ones.
        done = static_cast<double>(console_->flips()) / (options_.frames + 2);
    } else {
        done = static_cast<double>(console_->pcm_position_word()) / SEQUENCE_END_POSITION;
    }
    // 100% only once the run is over, and not when it was stopped early.
    if (done > 0.99) done = 0.99;
    if (last && signal_ == 0 && !failed_) done = 1;
    int percent = static_cast<int>(done * 100);
    bool terminal = isatty(STDERR_FILENO) != 0;
    if (terminal) {
        if (!last && now - last_progress_ < std::chrono::milliseconds(500)) return;
    } else {
        // Into a file or a pipe: a line at every tenth.
        if (!last && percent / 10 <= last_progress_tenth_) return;
        if (last && last_progress_tenth_ >= 10) return;
        last_progress_tenth_ = percent / 10;
    }
    last_progress_ = now;
    std::string line = "korvax: " + options_.capture + " " + std::to_string(percent) + "% (" +
                       std::to_string(frames) + " frames, " + minutes(frames / 60.0) + " of the demo), " +
                       minutes(elapsed) + " elapsed";
    if (!last && done > 0.02) line += ", about " + minutes(elapsed * (1 - done) / done) + " left";
    if (terminal) {
        std::fprintf(stderr, "\r%s\033[K%s", line.c_str(), last ? "\n" : "");
        progress_shown_ = !last;
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

std::string keeping_up_text(const KeepingUp& k) {
    if (!k.any()) return {};
    std::vector<std::string> parts;
    char number[128];
    if (k.sound_underruns) {
        std::snprintf(number, sizeof number, "%llu", static_cast<unsigned long long>(k.sound_underruns));
        parts.push_back(std::string(number) + (k.sound_underruns == 1 ? " gap" : " gaps") +
                        " in the sound (the device ran dry)");
    }
    if (k.stale_buffers) {
        std::snprintf(number, sizeof number, "%llu sound buffers played again in part (%.2f s of old sound)",
                      static_cast<unsigned long long>(k.stale_buffers), k.stale_samples / 88200.0);
        parts.push_back(number);
    }
    if (k.coprocessor_lost_ns) {
        std::snprintf(number, sizeof number, "the music's coprocessor fell %.1f s behind", k.coprocessor_lost_ns / 1e9);
        parts.push_back(number);
    }
    std::string line = "korvax: this machine did not keep up with the console:";
    for (size_t i = 0; i < parts.size(); ++i) {
        line += i == 0 ? " " : ", ";
        line += parts[i];
    }
    return line;
}

void App::report_keeping_up() {
    std::string line = keeping_up_text(console_->keeping_up());
    if (!line.empty()) std::fprintf(stderr, "%s\n", line.c_str());
}

// Puts every output in place, or none of them: an output that cannot be
// completed is an error and is removed, and a failed run leaves nothing new.
int App::finish_outputs(int result) {
    bool ok = !failed_;
    auto fail = [&](const std::string& message) {
        std::fprintf(stderr, "%s\n", message.c_str());
        ok = false;
    };
    if (ok && !options_.screenshot.empty()) {
        std::vector<uint16_t> frame = console_->displayed_frame();
        std::string why;
        if (!write_png_rgb565(screenshot_file_.work(), frame.data(), WIDTH, HEIGHT, &why)) {
            fail(cannot_write(options_.screenshot, why));
        }
    }
    if (wav_) {
        bool finished = wav_->finish();
        if (ok && !finished) fail(cannot_write(options_.wav, std::strerror(wav_->error_number())));
    }
    if (capture_) {
        captured_frames_ = capture_->frames();
        std::string error;
        if (!ok) {
            capture_->abandon();
        } else if (!capture_->finish(error)) {
            fail(error);
        }
    }
    std::string error;
    if (ok && wav_ && !wav_file_.commit(error)) fail(error);
    if (ok && !options_.screenshot.empty() && !screenshot_file_.commit(error)) fail(error);
    if (!ok) {
        wav_file_.discard();
        screenshot_file_.discard();
    } else if (capture_) {
        if (is_mp4_target(options_.capture)) {
            std::fprintf(stderr, "korvax: the video is in %s (%llu frames, %s)\n", absolute(options_.capture).c_str(),
                         static_cast<unsigned long long>(captured_frames_), minutes(captured_frames_ / 60.0).c_str());
        } else {
            std::fprintf(stderr, "korvax: %llu frames are in %s\n", static_cast<unsigned long long>(captured_frames_),
                         absolute(options_.capture).c_str());
        }
    }

    KeepingUp k = console_->keeping_up();
    report_keeping_up();
    if (options_.print_hash) {
        std::string line = "korvax: " + std::to_string(digest_->frames) + " frames, " +
                           std::to_string(digest_->sound_bytes) + " sound bytes";
        char digest[32];
        std::snprintf(digest, sizeof digest, "%016llx", static_cast<unsigned long long>(digest_->hash));
        line += std::string(", digest ") + digest;
        if (k.sound_underruns) line += ", " + std::to_string(k.sound_underruns) + " sound gaps";
        if (k.stale_buffers) line += ", " + std::to_string(k.stale_buffers) + " stale sound buffers";
        errno = 0;
        if (std::printf("%s\n", line.c_str()) < 0 || std::fflush(stdout) != 0) {
            fail(std::string("korvax: cannot write the digest to standard output: ") +
                 std::strerror(errno != 0 ? errno : EIO));
        }
    }
    if (!cut_short_) set_active_console(nullptr);
    window_.reset();
    if (!ok) return EXIT_FAILED;
    if (signal_ != 0) return EXIT_SIGNAL_BASE + signal_;
    return result;
}

}  // namespace korvax::host
