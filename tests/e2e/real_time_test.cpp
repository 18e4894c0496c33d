#include <algorithm>

#include <gtest/gtest.h>

#include "app/app.h"
#include "music/audio_control_block.h"

namespace korvax {
namespace {

// A few hundred frames on the wall clock with every thread of the console
// running at once: the system's frame loop, the front end's scan-out at each
// vertical sync, the PCM output thread and the paced ARM940T. The thread
// sanitizer's build runs it (label "threads"): scan-out copies video memory
// while the frame loop writes it, the output thread and the coprocessor hand
// buffers over through the control block.
TEST(RealTime, ThreeHundredFramesWithEveryThreadRunning) {
    host::Options options;
    options.headless = true;
    options.no_sound = true;  // the silent device, paced by the clock
    options.frames = 300;
    host::App app(options);
    EXPECT_EQ(app.run("korvax"), 0);

    host::Console& console = app.console();
    // 300 frames of the loop and the two black frames.
    EXPECT_EQ(console.flips(), 302u);
    // The music ran: the coprocessor decoded and the position moved.
    const auto* block = reinterpret_cast<const AudioControlBlock*>(console.shared() + CONTROL_BLOCK_OFFSET);
    EXPECT_GT(block->position, 0u);
    // The last frame shown is the black one the program ends with.
    std::vector<uint16_t> shown = console.displayed_frame();
    EXPECT_TRUE(std::all_of(shown.begin(), shown.end(), [](uint16_t p) { return p == 0; }));
}

}  // namespace
}  // namespace korvax
