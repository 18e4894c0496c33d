#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/startup.h"
#if !defined(KORVAX_BOARD_GP2X)  // the ARM build has no PNG writer
#include "app/png.h"
#endif
#include "math/fixed_math.h"
#include "runtime/tables.h"
#include "models/mesh.h"
#include "platform/entry.h"
#include "platform/hardware.h"
#include "runtime/runtime.h"
#include "render/render_state.h"
#include "sequence/animation.h"
#include "sequence/precompute.h"
#include "sequence/scenes.h"
#include "sequence/timeline.h"

namespace korvax {
namespace {

// Each scene drawn once from the real start-up and the embedded assets, with
// fixed counters and matrices. The hashes pin every pixel; they were set after
// looking at the frames (KORVAX_DUMP_SCENES=folder writes them as PNG files).
class SceneGolden : public ::testing::TestWithParam<int32_t> {};

uint32_t frame_hash(const FrameBuffer& frame) {
    uint32_t h = 2166136261u;
    for (uint16_t p : frame.pixels) h = (h ^ p) * 16777619u;
    return h;
}

const uint32_t GOLDEN[11] = {0,          1616231339u, 3727835374u,  3048348202u, 3734935271u, 930902240u,
                              3303037186u, 920700946u,  4149014680u, 3085267390u, 2124123968u};

const uint32_t NOISE_TABLE_HASH = 370957740u;

TEST_P(SceneGolden, FrameFromFixedCountersAndMatrices) {
    const int32_t scene = GetParam();
    start_system_offline();

    fade_step = 21;
    noise_index = 1000;
    tunnel_scroll = 96;
    overlay_x = overlay_y = 5;
    for (int k = 0; k < 3; ++k) {
        spin_state[k].angle_a = 1000 + 300 * k;
        spin_state[k].angle_b = 2000 + 500 * k;
        spin_state[k].angle_c = 3000 + 700 * k;
        matrix_from_angles(object_matrices[k], spin_state[k].angle_a >> 3, spin_state[k].angle_b >> 3,
                           spin_state[k].angle_c >> 3);
    }
    if (scene == 4) select_mesh(4);

    static FrameBuffer frame;
    set_scene_state(scene);
    render_scene(&frame);

    int lit = 0;
    for (uint16_t p : frame.pixels) lit += p != 0;
    EXPECT_GT(lit, FRAME_PIXELS / 4) << "scene " << scene << " is mostly black";
#if !defined(KORVAX_BOARD_GP2X)  // the ARM build has no PNG writer
    if (const char* dir = std::getenv("KORVAX_DUMP_SCENES")) {
        host::write_png_rgb565(std::string(dir) + "/scene_" + std::to_string(scene) + ".png", frame.pixels, 320,
                               240);
    }
#endif
    EXPECT_EQ(frame_hash(frame), GOLDEN[scene]) << "scene " << scene << " hash " << frame_hash(frame);
}

INSTANTIATE_TEST_SUITE_P(Scenes, SceneGolden, ::testing::Range<int32_t>(1, 11));

// The flicker noise the scenes read, pinned as the frames are: the ARM build
// runs this same suite and must build the same table.
TEST(NoiseTable, SameTableInEveryBuild) {
    build_noise_table();
    uint32_t h = 2166136261u;
    for (uint8_t v : noise_table) h = (h ^ v) * 16777619u;
    EXPECT_EQ(h, NOISE_TABLE_HASH) << "hash " << h;
}

}  // namespace
}  // namespace korvax
