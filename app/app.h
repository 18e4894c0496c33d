// The korvax program on a PC: options, the host console, the system's entry on
// its own thread, and the front end (window or headless) on the main thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/capture.h"
#include "host/console.h"
#include "host/virtual_clock.h"

namespace korvax::host {

class Window;
class WavWriter;

// Exit statuses of the program.
constexpr int EXIT_COMPLETED = 0;
constexpr int EXIT_FAILED = 1;      // an output could not be written
constexpr int EXIT_USAGE = 2;       // the command line cannot be carried out as given
constexpr int EXIT_SIGNAL_BASE = 128;  // + the signal that ended the run

struct Options {
    int scale = 3;
    bool headless = false;
    int frames = -1;  // press exit after this many flips
    std::string screenshot;
    int vsync_mode = 1;
    std::string wav;        // record what is written to the sound device
    bool no_sound = false;  // the silent device even if a sound card exists
    bool virtual_time = false;  // --clock virtual: deterministic, as fast as the host allows
    bool clock_given = false;   // --clock was named on the command line
    std::string capture;        // every scanned-out frame: FOLDER of PNGs or FILE.mp4
    int capture_scale = 1;      // MP4 capture: pixels per console pixel, each way
    bool capture_scale_given = false;
    bool print_hash = false;    // --hash: print a digest of every frame and sound byte at exit
    bool version = false;
};

// A running FNV-1a digest of what the console showed and played (the hash
// only with --hash; the counts always).
struct RunDigest {
    uint64_t frames = 0;
    uint64_t sound_bytes = 0;
    uint64_t hash = 14695981039346656037ull;
    void add(const uint8_t* data, size_t n) {
        for (size_t i = 0; i < n; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
    }
};

// A console for the korvax system: the idle loop of the coprocessor program it
// carries polls the music's control block, where the program also counts the
// samples it put into its PCM buffers.
ConsoleConfig system_console_config();

// Parses the command line and checks that its options go together. On failure
// returns false with a one-line message. On --help returns true with help set.
bool parse_options(const std::vector<std::string>& args, Options& options, bool& help, std::string& error);
// The first line of the help: how the program is called.
std::string usage();
// Every option, the keys, the exit statuses and an example.
std::string help_text();
std::string version_text();

// The whole program: options, the display decision, the run; returns the exit status.
int run_program(const std::vector<std::string>& args, const std::string& program_name);

class App {
public:
    explicit App(const Options& options);
    ~App();
    // The window the console is shown in (real time only); without one the
    // front end runs headless.
    void set_window(std::unique_ptr<Window> window);
    // Runs the system to its end; returns the exit status: the entry point's
    // result, or the status of a failed output or of the signal that ended the run.
    int run(const std::string& program_name);
    Console& console() { return *console_; }
    // Frames handed to the capture (virtual time).
    uint64_t captured_frames() const { return captured_frames_; }
    const RunDigest& digest() const { return *digest_; }
    // Called in virtual time with every scanned-out frame (tests).
    void set_frame_observer(std::function<void(const uint16_t*)> observer) { observer_ = std::move(observer); }

private:
    int open_outputs();
    int run_front_end(const std::string& program_name);
    int finish_outputs(int result);
    // Why the run must stop early (a failed output), or empty.
    std::string output_failure();
    void show_progress(bool last);
    void report_keeping_up();

    Options options_;
    std::unique_ptr<Console> console_;
    VirtualClock* virtual_clock_ = nullptr;
    std::unique_ptr<Window> window_;
    uint64_t captured_frames_ = 0;
    std::shared_ptr<RunDigest> digest_ = std::make_shared<RunDigest>();
    std::atomic<uint64_t> frames_seen_{0};
    std::function<void(const uint16_t*)> observer_;

    // Outputs, written under temporary names until the run is over.
    StagedOutput wav_file_;
    std::shared_ptr<WavWriter> wav_;
    StagedOutput screenshot_file_;
    std::unique_ptr<FrameCapture> capture_;

    // How the run ended.
    int signal_ = 0;           // the signal that stopped it
    bool failed_ = false;      // an output failed while it ran (already reported)
    bool cut_short_ = false;   // the system did not stop in time: the process ends without it
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point last_progress_;
    int last_progress_tenth_ = 0;
    bool progress_shown_ = false;
};

}  // namespace korvax::host
