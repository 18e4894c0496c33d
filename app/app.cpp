#include "app/app.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/capture.h"
#include "app/png.h"
#include "host/wav.h"
#include "app/window.h"
#include "music/audio_control_block.h"
#include "platform/entry.h"

namespace korvax::host {

namespace {

std::atomic<bool> interrupted{false};

void on_signal(int) { interrupted = true; }

bool parse_int(const std::string& text, int low, int high, int& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace

std::string usage() {
    return "usage: korvax [--scale N] [--headless] [--frames N] [--screenshot FILE.png] [--vsync-mode 0|1]"
           " [--wav FILE.wav] [--no-sound] [--clock real|virtual] [--capture FOLDER|FILE.mp4] [--hash]"
           " [--gp2x [FILE.gpe] [--watch ADDRESS]]";
}

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
        std::string v;
        if (a == "--help" || a == "-h") {
            help = true;
        } else if (a == "--headless") {
            options.headless = true;
        } else if (a == "--scale") {
            if (!value(v)) return false;
            if (!parse_int(v, 1, 16, options.scale)) {
                error = "korvax: bad value for --scale: '" + v + "' (1..16)";
                return false;
            }
        } else if (a == "--frames") {
            if (!value(v)) return false;
            if (!parse_int(v, 0, 1 << 30, options.frames)) {
                error = "korvax: bad value for --frames: '" + v + "' (a count of flips)";
                return false;
            }
        } else if (a == "--screenshot") {
            if (!value(v)) return false;
            if (v.empty()) {
                error = "korvax: bad value for --screenshot: empty file name";
                return false;
            }
            options.screenshot = v;
        } else if (a == "--no-sound") {
            options.no_sound = true;
        } else if (a == "--wav") {
            if (!value(v)) return false;
            if (v.empty()) {
                error = "korvax: bad value for --wav: empty file name";
                return false;
            }
            options.wav = v;
        } else if (a == "--hash") {
            options.print_hash = true;
        } else if (a == "--clock") {
            if (!value(v)) return false;
            if (v != "real" && v != "virtual") {
                error = "korvax: bad value for --clock: '" + v + "' (real or virtual)";
                return false;
            }
            options.virtual_time = v == "virtual";
        } else if (a == "--capture") {
            if (!value(v)) return false;
            if (v.empty()) {
                error = "korvax: bad value for --capture: empty name";
                return false;
            }
            options.capture = v;
            options.virtual_time = true;
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
    if (options.watch_address != 0 && options.gp2x.empty()) {
        error = "korvax: --watch reads the memory of a GP2X program: it needs --gp2x";
        return false;
    }
    return true;
}

ConsoleConfig system_console_config() {
    ConsoleConfig config;
    config.idle_watch_offset = CONTROL_BLOCK_OFFSET;
    config.idle_watch_bytes = sizeof(AudioControlBlock);
    return config;
}

App::App(const Options& options) : options_(options) {
    ConsoleConfig config = system_console_config();
    config.exit_after_flips = options.frames;
    config.vsync_mode = static_cast<uint16_t>(options.vsync_mode);
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

int App::run(const std::string& program_name) {
    Console& console = *console_;

    // The sound device: the card if there is one, else silent and paced by
    // the clock; the WAV recorder listens to either.
    // In virtual time the sound goes nowhere but into the recording: a card
    // plays in real time. An MP4 capture records it beside the video.
    std::string wav_path = options_.wav;
    bool mp4 = is_mp4_target(options_.capture);
    bool temporary_wav = mp4 && wav_path.empty();
    if (temporary_wav) wav_path = options_.capture + ".sound.wav";
    std::shared_ptr<WavWriter> wav;
    if (!wav_path.empty()) {
        std::string why;
        wav = WavWriter::create(wav_path, why);
        if (!wav) {
            std::fprintf(stderr, "korvax: cannot write %s: %s\n", wav_path.c_str(), why.c_str());
            return 1;
        }
        console.sound().add_sink(wav);
    }
    std::unique_ptr<FrameCapture> capture;
    if (!options_.capture.empty()) {
        std::string why;
        capture = open_capture(options_.capture, mp4 ? wav_path : std::string(), why);
        if (!capture) {
            std::fprintf(stderr, "%s\n", why.c_str());
            return 1;
        }
    }
    // Every byte written to the sound device and every frame scanned out go
    // into the run's digest: two virtual-time runs must agree on it.
    struct DigestSink : SoundSink {
        std::shared_ptr<RunDigest> digest;
        void take(const uint8_t* data, uint32_t length) override {
            digest->add(data, length);
            digest->sound_bytes += length;
        }
    };
    auto digest_sink = std::make_shared<DigestSink>();
    digest_sink->digest = digest_;
    console.sound().add_sink(digest_sink);
    console.set_frame_listener([this, &capture](const uint16_t* pixels) {
        digest_->add(reinterpret_cast<const uint8_t*>(pixels), WIDTH * HEIGHT * 2);
        ++digest_->frames;
        if (capture) capture->frame(pixels);
        if (observer_) observer_(pixels);
    });
    if (!options_.no_sound && !options_.virtual_time) {
        std::string why;
        std::unique_ptr<SoundOutput> card = open_sdl_sound(why);
        if (card) {
            console.sound().set_output(std::move(card));
        } else {
            std::fprintf(stderr, "korvax: no sound card (%s), the sound is silent\n", why.c_str());
        }
    }

    set_active_console(&console);

    std::unique_ptr<Window> window;
    if (!options_.headless && !options_.virtual_time) {
        std::string why;
        window = Window::open(options_.scale, why);
        if (!window) std::fprintf(stderr, "korvax: no display available (%s), running headless\n", why.c_str());
    }

    interrupted = false;
    auto old_int = std::signal(SIGINT, on_signal);
    auto old_term = std::signal(SIGTERM, on_signal);

    // The system's entry runs on its own thread; the front end keeps the
    // process's main thread, where the window system wants to be.
    std::atomic<bool> done{false};
    int result = 0;
    std::string name = program_name;
    Clock& clock = console.clock();
    std::thread system = clock.spawn([&] {
        std::vector<char> arg0(name.begin(), name.end());
        arg0.push_back('\0');
        char* argv[] = {arg0.data(), nullptr};
        result = korvax_main(1, argv);
        done = true;
    });

    // In virtual time the console runs itself between the system's turns
    // (scan-out and capture included); the main thread only waits.
    while (!done && !options_.virtual_time) {
        clock.sleep_until_ns(clock.next_vsync_start(clock.now_ns()));
        console.scan_out();
        if (window) {
            std::vector<uint16_t> frame = console.displayed_frame();
            window->show(frame.data());
            window->poll(console);
        }
        if (interrupted) console.set_button(Button::Exit, true);
    }
    system.join();
    console.join_threads();
    console.scan_out();  // the last flip is what the panel shows at the end

    std::signal(SIGINT, old_int);
    std::signal(SIGTERM, old_term);

    if (wav && !wav->finish()) {
        std::fprintf(stderr, "korvax: cannot write %s\n", wav_path.c_str());
        if (result == 0) result = 1;
    }
    console.set_frame_listener(nullptr);
    if (options_.print_hash) {
        std::printf("korvax: %llu frames, %llu sound bytes, digest %016llx\n",
                    static_cast<unsigned long long>(digest_->frames),
                    static_cast<unsigned long long>(digest_->sound_bytes),
                    static_cast<unsigned long long>(digest_->hash));
    }
    if (capture) {
        captured_frames_ = capture->frames();
        std::string why;
        if (!capture->finish(why)) {
            std::fprintf(stderr, "%s\n", why.c_str());
            if (result == 0) result = 1;
        }
    }
    if (temporary_wav) std::remove(wav_path.c_str());
    if (!options_.screenshot.empty()) {
        std::vector<uint16_t> frame = console.displayed_frame();
        if (!write_png_rgb565(options_.screenshot, frame.data(), WIDTH, HEIGHT)) {
            std::fprintf(stderr, "korvax: cannot write %s\n", options_.screenshot.c_str());
        }
    }
    window.reset();
    set_active_console(nullptr);
    return result;
}

}  // namespace korvax::host
