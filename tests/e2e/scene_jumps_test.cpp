#include <atomic>
#include <vector>

#include <gtest/gtest.h>

#include "app/app.h"
#include "music/audio_control_block.h"
#include "sequence/animation.h"
#include "sequence/timeline.h"

namespace korvax {
namespace {

// Every scene of the running program from its first frames and from the
// middle of its music, in virtual time, by moving the music position forward
// in the control block: the coprocessor counts on from whatever position the
// block holds, and the frame loop follows it. The whole sequence (Sequence.*,
// label "long") covers the same code frame by frame but takes minutes under
// the sanitizers; this takes a few hundred frames.
TEST(SceneJumps, EverySceneDrawsItsFirstAndMiddleFramesWhenTheMusicJumps) {
    constexpr int HOLD = 32;  // frames drawn at each place
    host::Options options;
    options.headless = true;
    options.virtual_time = true;
    host::App app(options);

    struct Plan {
        int32_t scene = 1;
        int phase = 0;          // 0: first frames, 1: middle frames
        int held = 0;
        uint32_t floor = 0;     // the position is kept at least this
        std::vector<int32_t> frames_of_scene = std::vector<int32_t>(11, 0);
        int frames = 0;
    } plan;

    app.set_frame_observer([&](const uint16_t*) {
        ++plan.frames;
        uint32_t& position = reinterpret_cast<AudioControlBlock*>(app.console().shared() + CONTROL_BLOCK_OFFSET)->position;
        std::atomic_ref<uint32_t> word(position);
        // A jump lands once the coprocessor is between two buffers: until
        // then it may still store the count it had.
        if (word.load() < plan.floor) word.store(plan.floor);
        const int32_t state = SceneState;
        if (state >= 1 && state <= 10) ++plan.frames_of_scene[state];
        if (state != plan.scene || sequence_finished) return;
        if (++plan.held < HOLD) return;
        plan.held = 0;
        const uint32_t start = plan.scene == 1 ? 0 : SCENE_THRESHOLDS[plan.scene - 2];
        const uint32_t end = SCENE_THRESHOLDS[plan.scene - 1];
        if (plan.phase == 0) {
            plan.floor = start + (end - start) / 2;
            plan.phase = 1;
        } else {
            plan.floor = end + 1;  // the next frame moves on to the next scene
            plan.phase = 0;
            ++plan.scene;
        }
    });
    EXPECT_EQ(app.run("korvax"), 0);

    EXPECT_EQ(sequence_finished, 1);
    EXPECT_EQ(plan.scene, 11);
    for (int32_t s = 1; s <= 10; ++s) EXPECT_GE(plan.frames_of_scene[s], 2 * HOLD) << "scene " << s;
    EXPECT_LT(plan.frames, 40 * HOLD) << "the jumps did not shorten the run";
}

}  // namespace
}  // namespace korvax
