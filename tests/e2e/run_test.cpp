#include <algorithm>

#include <gtest/gtest.h>

#include "app/app.h"
#include "music/music_host.h"
#include "platform/hardware.h"

namespace korvax {
namespace {

bool all_zero(const uint8_t* p, size_t n) {
    return std::all_of(p, p + n, [](uint8_t b) { return b == 0; });
}

// One run a process: the system's state is static and lives as long as the process.
TEST(Run, HeadlessFramesEndsBlackReleasesEverythingAndLeavesForTheMenu) {
    host::Options options;
    options.headless = true;
    options.frames = 30;
    host::App app(options);
    EXPECT_EQ(app.run("korvax"), 0);

    host::Console& console = app.console();
    // 30 frames of the loop, then the two black frames.
    EXPECT_EQ(console.flips(), 32u);
    EXPECT_TRUE(all_zero(console.video() + HW_BUFFER_A_OFFSET, FRAME_BYTES));
    EXPECT_TRUE(all_zero(console.video() + HW_BUFFER_B_OFFSET, FRAME_BYTES));
    std::vector<uint16_t> shown = console.displayed_frame();
    EXPECT_TRUE(std::all_of(shown.begin(), shown.end(), [](uint16_t p) { return p == 0; }));

    host::OsRecord os = console.os_record();
    EXPECT_EQ(os.memory_opens, 1);
    EXPECT_EQ(os.memory_closes, 1);
    EXPECT_EQ(os.mappings_live, 0);
    EXPECT_EQ(os.changed_directory, "/usr/gp2x");
    EXPECT_EQ(os.replaced_with, "/usr/gp2x/gp2xmenu");
    ASSERT_EQ(os.replace_argv.size(), 1u);
    EXPECT_EQ(os.replace_argv[0], "korvax");
    EXPECT_EQ(os.replace_envc, 0);
    EXPECT_EQ(console.peek_register(0x28DA), 0x04AB);
    EXPECT_EQ(console.peek_register(0x290C), 640);
}

TEST(Run, ExitHeldFromTheStartPresentsExactlyOneFrame) {
    host::Options options;
    options.headless = true;
    options.frames = 0;  // exit button down before the first frame
    host::App app(options);
    EXPECT_EQ(app.run("korvax"), 0);
    // One frame of the loop and the two black frames.
    EXPECT_EQ(app.console().flips(), 3u);
}

TEST(Options, ParsesAndRejects) {
    host::Options o;
    bool help = false;
    std::string error;
    EXPECT_TRUE(host::parse_options({"--scale", "2", "--headless", "--frames", "5", "--screenshot", "a.png"}, o,
                                    help, error));
    EXPECT_EQ(o.scale, 2);
    EXPECT_TRUE(o.headless);
    EXPECT_EQ(o.frames, 5);
    EXPECT_EQ(o.screenshot, "a.png");

    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
             {"--scale", "0"}, {"--scale", "x"}, {"--scale"}, {"--frames", "-1"}, {"--bogus"}, {"--vsync-mode", "2"}}) {
        host::Options fresh;
        error.clear();
        EXPECT_FALSE(host::parse_options(bad, fresh, help, error)) << bad[0];
        EXPECT_NE(error.find(bad[0]), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

}  // namespace
}  // namespace korvax

namespace korvax {
namespace {

// A volume key held from the start: the volume climbs 2 a frame to 255 and the
// bar appears on screen (back-buffer rows 190..200 land on screen rows 192..202).
TEST(Run, AHeldVolumeKeyMovesTheVolumeAndShowsTheBar) {
    host::Options options;
    options.virtual_time = true;
    options.frames = 240;
    host::App app(options);
    app.console().set_button(host::Button::VolumeUp, true);
    int bar_frames = 0;
    std::vector<int32_t> volumes;
    app.set_frame_observer([&](const uint16_t* pixels) {
        if (pixels[(192 + 5) * 320 + 100] == 0x0CCF && pixels[(192 + 5) * 320 + 22] == 0x0CCF) ++bar_frames;
        if (music_block_initialised()) volumes.push_back(get_volume());
    });
    EXPECT_EQ(app.run("korvax"), 0);
    ASSERT_GT(volumes.size(), 100u);
    EXPECT_EQ(volumes.front(), 180);
    EXPECT_TRUE(std::is_sorted(volumes.begin(), volumes.end()));
    EXPECT_EQ(volumes.back(), 255);
    EXPECT_GT(bar_frames, 100);
}

TEST(Run, BothVolumeKeysHeldOnlyLowerTheVolume) {
    host::Options options;
    options.virtual_time = true;
    options.frames = 120;
    host::App app(options);
    app.console().set_button(host::Button::VolumeUp, true);
    app.console().set_button(host::Button::VolumeDown, true);
    std::vector<int32_t> volumes;
    app.set_frame_observer([&](const uint16_t*) {
        if (music_block_initialised()) volumes.push_back(get_volume());
    });
    EXPECT_EQ(app.run("korvax"), 0);
    ASSERT_GT(volumes.size(), 100u);
    EXPECT_EQ(volumes.front(), 180);
    EXPECT_TRUE(std::is_sorted(volumes.rbegin(), volumes.rend()));
    EXPECT_EQ(volumes.back(), 0);
}

}  // namespace
}  // namespace korvax
