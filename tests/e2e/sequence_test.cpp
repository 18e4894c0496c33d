#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "app/app.h"
#include "music/music_host.h"
#include "platform/hardware.h"
#include "sequence/animation.h"
#include "sequence/timeline.h"

namespace korvax {
namespace {

// The whole sequence in virtual time: it plays from scene 1 to 10 in step with
// the music, ends by itself and leaves the screen black.
TEST(Sequence, PlaysEverySceneInOrderInStepWithTheMusicAndEndsByItself) {
    host::Options options;
    options.headless = true;
    options.virtual_time = true;
    host::App app(options);
    std::vector<int32_t> state_at_frame;
    app.set_frame_observer([&](const uint16_t*) { state_at_frame.push_back(SceneState); });
    EXPECT_EQ(app.run("korvax"), 0);

    // Each state appears, in order, and never goes back.
    std::vector<int32_t> seen;
    for (int32_t s : state_at_frame) {
        if (seen.empty() || seen.back() != s) seen.push_back(s);
    }
    ASSERT_GE(seen.size(), 10u);
    std::vector<int32_t> scenes(seen.end() - 10, seen.end());
    EXPECT_EQ(scenes, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(sequence_finished, 1);

    // A state's first frame comes within a few frames of the moment the music
    // passes its threshold (88,200 samples a second, 60 frames a second).
    const double thresholds[] = {1980000, 3100000, 4213000, 5385000, 6492000, 8725000, 9880000, 11000000, 12120000};
    size_t first_scene_frame = 0;
    while (first_scene_frame < state_at_frame.size() && state_at_frame[first_scene_frame] != 1) ++first_scene_frame;
    for (int k = 0; k < 9; ++k) {
        size_t frame = first_scene_frame;
        while (frame < state_at_frame.size() && state_at_frame[frame] != k + 2) ++frame;
        ASSERT_LT(frame, state_at_frame.size());
        const double expected = thresholds[k] / 88200.0 * 60.0;
        EXPECT_NEAR(static_cast<double>(frame - first_scene_frame), expected, 12.0) << "state " << k + 2;
    }
    // The run lasts the music's 145.125 s, give or take the start-up.
    EXPECT_NEAR(static_cast<double>(state_at_frame.size()) / 60.0, 145.3, 1.0);

    host::Console& console = app.console();
    const uint8_t* a = console.video() + HW_BUFFER_A_OFFSET;
    const uint8_t* b = console.video() + HW_BUFFER_B_OFFSET;
    EXPECT_TRUE(std::all_of(a, a + FRAME_BYTES, [](uint8_t v) { return v == 0; }));
    EXPECT_TRUE(std::all_of(b, b + FRAME_BYTES, [](uint8_t v) { return v == 0; }));
    host::OsRecord os = console.os_record();
    EXPECT_EQ(os.mappings_live, 0);
    EXPECT_EQ(os.memory_closes, 1);
    EXPECT_FALSE(console.sound().is_open());
    // The sound delivered covers the sequence: 4 bytes a stereo frame.
    EXPECT_GE(app.digest().sound_bytes, 12800000ull * 2);
}

}  // namespace
}  // namespace korvax
