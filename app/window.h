// The SDL2 window of the host console: 320 x 240 scaled by an integer, aspect
// kept, F11 for fullscreen, keys mapped to the console's buttons.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace korvax::host {

class Console;

class Window {
public:
    // nullptr with a reason when no display is available.
    static std::unique_ptr<Window> open(int scale, std::string& why_not);
    ~Window();

    void show(const uint16_t* pixels);
    // Handles pending events: keys become buttons; closing the window presses exit.
    void poll(Console& console);
    // One frame of the real-time front end: the console scans its display
    // out, the window (if any) shows it and hands its events to the console.
    static void scan_out_and_show(Console& console, Window* window);

private:
    Window() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace korvax::host
