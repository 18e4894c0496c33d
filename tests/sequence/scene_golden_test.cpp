#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "host/offline.h"
#include "host/png.h"
#include "math/fixed_math.h"
#include "math/tables.h"
#include "models/mesh.h"
#include "platform/entry.h"
#include "platform/hardware.h"
#include "platform/runtime.h"
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

const uint32_t GOLDEN[11] = {0,          2167625235u, 418043983u,  2130138239u, 3734935271u, 28131977u,
                              3163602831u, 1665734451u, 4016658074u, 3886323694u, 2124123968u};

TEST_P(SceneGolden, FrameFromFixedCountersAndMatrices) {
    const int32_t scene = GetParam();
    host::start_system_offline();

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
    if (const char* dir = std::getenv("KORVAX_DUMP_SCENES")) {
        host::write_png_rgb565(std::string(dir) + "/scene_" + std::to_string(scene) + ".png", frame.pixels, 320,
                               240);
    }
    EXPECT_EQ(frame_hash(frame), GOLDEN[scene]) << "scene " << scene << " hash " << frame_hash(frame);
}

INSTANTIATE_TEST_SUITE_P(Scenes, SceneGolden, ::testing::Range(1, 11));

}  // namespace
}  // namespace korvax
