// The korvax program on a PC: options, the host console, the system's entry on
// its own thread, and the front end (window or headless) on the main thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/console.h"
#include "host/virtual_clock.h"

namespace korvax::host {

struct Options {
    int scale = 3;
    bool headless = false;
    int frames = -1;  // press exit after this many flips
    std::string screenshot;
    int vsync_mode = 1;
    std::string wav;        // record what is written to the sound device
    bool no_sound = false;  // the silent device even if a sound card exists
    bool virtual_time = false;  // --clock virtual: deterministic, as fast as the host allows
    std::string capture;        // every scanned-out frame: FOLDER of PNGs or FILE.mp4
    bool print_hash = false;    // --hash: print a digest of every frame and sound byte at exit
    std::string gp2x;           // --gp2x [FILE]: the GP2X build's program, played in the box
    uint32_t watch_address = 0; // --watch ADDRESS: a word of that program read at every flip
};

// A running FNV-1a digest of what the console showed and played.
struct RunDigest {
    uint64_t frames = 0;
    uint64_t sound_bytes = 0;
    uint64_t hash = 14695981039346656037ull;
    void add(const uint8_t* data, size_t n) {
        for (size_t i = 0; i < n; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
    }
};

// A console for the korvax system: the idle loop of the coprocessor program it
// carries polls the music's control block.
ConsoleConfig system_console_config();

// Parses the command line. On failure returns false with a one-line message.
// On --help returns true with help set.
bool parse_options(const std::vector<std::string>& args, Options& options, bool& help, std::string& error);
std::string usage();

class App {
public:
    explicit App(const Options& options);
    ~App();
    // Runs the system to its end; returns the entry point's result.
    int run(const std::string& program_name);
    Console& console() { return *console_; }
    // Frames handed to the capture (virtual time).
    uint64_t captured_frames() const { return captured_frames_; }
    const RunDigest& digest() const { return *digest_; }
    // Called in virtual time with every scanned-out frame (tests).
    void set_frame_observer(std::function<void(const uint16_t*)> observer) { observer_ = std::move(observer); }

private:
    Options options_;
    std::unique_ptr<Console> console_;
    VirtualClock* virtual_clock_ = nullptr;
    uint64_t captured_frames_ = 0;
    std::shared_ptr<RunDigest> digest_ = std::make_shared<RunDigest>();
    std::function<void(const uint16_t*)> observer_;
};

}  // namespace korvax::host
