// Framing of the scenes' models on the 320 x 240 screen: the whole sequence
// runs from the real start-up with the music position advancing one video
// frame of sound per frame, and after each frame the screen extent of the
// model the scene draws is measured from the projected vertices. A model that
// grows or turns so that an edge of the screen cuts it in more frames than
// pinned here fails the test.
#include <algorithm>
#include <cstdio>
#include <vector>

#include <gtest/gtest.h>

#include "platform/startup.h"
#include "models/mesh.h"
#include "render/mesh_pipeline.h"
#include "render/rasterizer.h"
#include "render/render_state.h"
#include "sequence/animation.h"
#include "sequence/scenes.h"
#include "sequence/timeline.h"

namespace korvax {
namespace {

struct Box {
    int32_t x0, y0, x1, y1;
};

// Which vertex slots of the scene's mesh make up the part that must stay in view.
enum class Part {
    Faces,      // every vertex some face uses
    All,        // every vertex (a point set drawn as lines)
    Skyline,    // every vertex some face uses but the highest one (the city's mast or spire tip)
    Group1,     // every vertex some face uses in group 1 (the space station's core)
    Bloom,      // vertices whose loaded y lies in 150..1300: the lotus's petals and bud, not its
                // stem and pad below nor the bud's slender tip above
};

struct SceneFrames {
    int frames = 0;
    int cut = 0;         // frames whose box crosses an edge of the screen
    int cut_sides = 0;   // frames whose box crosses the left or right edge
    int cut_bottom = 0;  // frames whose box crosses the bottom edge
    int cut_top = 0;     // frames whose box crosses the top edge
    double mean_width = 0, mean_height = 0;
};

// The loaded positions of the meshes, before any per-frame animation.
std::vector<int32_t> loaded_y[MESH_COUNT];

std::vector<bool> part_of(const MeshObject& mesh, int slot, Part part) {
    std::vector<bool> in(static_cast<size_t>(mesh.vertex_count) + 1, false);
    if (part == Part::All) {
        std::fill(in.begin() + 1, in.end(), true);
        return in;
    }
    const int32_t highest = *std::max_element(loaded_y[slot].begin() + 1, loaded_y[slot].end());
    for (int f = 1; f <= mesh.face_count; ++f) {
        for (int32_t v : {mesh.faces[f].vertex_a, mesh.faces[f].vertex_b, mesh.faces[f].vertex_c}) {
            if (v < 1 || v > mesh.vertex_count) continue;
            if (part == Part::Group1 && mesh.vertices[v].group != 1) continue;
            if (part == Part::Skyline && loaded_y[slot][static_cast<size_t>(v)] == highest) continue;
            if (part == Part::Bloom && (loaded_y[slot][static_cast<size_t>(v)] <= 150 || loaded_y[slot][static_cast<size_t>(v)] >= 1300)) continue;
            in[static_cast<size_t>(v)] = true;
        }
    }
    return in;
}

Box extent(const std::vector<bool>& in) {
    Box b{1 << 30, 1 << 30, -(1 << 30), -(1 << 30)};
    for (size_t v = 1; v < in.size(); ++v) {
        if (!in[v]) continue;
        const Vec3& p = projected_vertices[v];
        b.x0 = std::min(b.x0, p.x);
        b.y0 = std::min(b.y0, p.y);
        b.x1 = std::max(b.x1, p.x);
        b.y1 = std::max(b.y1, p.y);
    }
    return b;
}

void no_triangles(TriangleRecord&, bool) {}

class SceneFraming : public ::testing::Test {
protected:
    // The run leaves the ramps, the render state and the animation state as
    // the last scene set them; later suites in this process start from the
    // values the run found.
    struct Saved {
        RenderState render;
        uint16_t primary[64], secondary[64];
        SpinState spins[OBJECT_MATRIX_COUNT];
        Matrix4 matrices[OBJECT_MATRIX_COUNT];
        uint8_t fade;
        uint16_t noise;
        int32_t tunnel, morph, morph_c, morph_d, morph_e, state;
        uint16_t overlay_x, overlay_y;
        uint8_t path;
        MeshObject* mesh;
    };
    static Saved& saved() {
        static Saved s;
        return s;
    }

    static void TearDownTestSuite() {
        const Saved& s = saved();
        render_state = s.render;
        std::copy(std::begin(s.primary), std::end(s.primary), primary_ramp);
        std::copy(std::begin(s.secondary), std::end(s.secondary), secondary_ramp);
        std::copy(std::begin(s.spins), std::end(s.spins), spin_state);
        std::copy(std::begin(s.matrices), std::end(s.matrices), object_matrices);
        fade_step = s.fade;
        noise_index = s.noise;
        tunnel_scroll = s.tunnel;
        morph_frame = s.morph;
        morph_frame_c = s.morph_c;
        morph_frame_d = s.morph_d;
        morph_frame_e = s.morph_e;
        overlay_x = s.overlay_x;
        overlay_y = s.overlay_y;
        SceneState = s.state;
        camera_path_active = s.path;
        current_mesh = s.mesh;
        sequence_finished = 0;
    }

    static void SetUpTestSuite() {
        Saved& was = saved();
        was.render = render_state;
        std::copy(primary_ramp, primary_ramp + 64, was.primary);
        std::copy(secondary_ramp, secondary_ramp + 64, was.secondary);
        std::copy(spin_state, spin_state + OBJECT_MATRIX_COUNT, was.spins);
        std::copy(object_matrices, object_matrices + OBJECT_MATRIX_COUNT, was.matrices);
        was.fade = fade_step;
        was.noise = noise_index;
        was.tunnel = tunnel_scroll;
        was.morph = morph_frame;
        was.morph_c = morph_frame_c;
        was.morph_d = morph_frame_d;
        was.morph_e = morph_frame_e;
        was.overlay_x = overlay_x;
        was.overlay_y = overlay_y;
        was.state = SceneState;
        was.path = camera_path_active;
        was.mesh = current_mesh;

        for (SpinState& s : spin_state) s = SpinState{};
        fade_step = 0;
        noise_index = 0;
        tunnel_scroll = 0;
        morph_frame = 0;
        morph_frame_c = 10;
        morph_frame_d = 6;
        morph_frame_e = 7;
        overlay_x = overlay_y = 0;
        sequence_finished = 0;
        start_system_offline();
        for (int k = 0; k < MESH_COUNT; ++k) {
            loaded_y[k].assign(static_cast<size_t>(meshes[k].vertex_count) + 1, 0);
            for (int v = 1; v <= meshes[k].vertex_count; ++v) loaded_y[k][static_cast<size_t>(v)] = meshes[k].vertices[v].y;
        }
        // Only the projection is measured: the triangles are not filled.
        set_triangle_sink(no_triangles);
        static FrameBuffer frame;
        const uint32_t per_frame = 88200 / 60;
        uint32_t position = 0;
        set_scene_state(1);
        while (!sequence_finished) {
            position += per_frame;
            render_scene(&frame);
            const int k = SceneState;
            const Plan& plan = PLANS[k];
            if (plan.mesh >= 0 && current_mesh == &meshes[plan.mesh]) {
                const Box b = extent(part_of(meshes[plan.mesh], plan.mesh, plan.part));
                SceneFrames& s = scenes_[k];
                ++s.frames;
                const bool sides = b.x0 < 0 || b.x1 > 319;
                const bool bottom = b.y1 > 239;
                s.cut += sides || bottom || b.y0 < 0;
                s.cut_sides += sides;
                s.cut_bottom += bottom;
                s.cut_top += b.y0 < 0;
                s.mean_width += b.x1 - b.x0;
                s.mean_height += b.y1 - b.y0;
            }
            advance_timeline(position);
        }
        set_triangle_sink(nullptr);
        for (int k = 1; k <= 10; ++k) {
            SceneFrames& s = scenes_[k];
            if (s.frames == 0) continue;
            s.mean_width /= s.frames;
            s.mean_height /= s.frames;
            std::printf("scene %d: %d frames, cut in %.1f %% (sides %.1f %%, top %.1f %%, bottom %.1f %%), mean extent %.0f x %.0f\n",
                        k, s.frames, 100.0 * s.cut / s.frames, 100.0 * s.cut_sides / s.frames,
                        100.0 * s.cut_top / s.frames, 100.0 * s.cut_bottom / s.frames, s.mean_width, s.mean_height);
        }
    }

    struct Plan {
        int mesh;
        Part part;
    };
    // Per scene state: the mesh drawn last in the frame and the part measured.
    static constexpr Plan PLANS[11] = {
        {-1, Part::Faces},       {10, Part::Faces}, {0, Part::Skyline}, {5, Part::Bloom}, {4, Part::Faces},
        {3, Part::All},          {6, Part::Group1}, {2, Part::Faces}, {11, Part::Faces},    {8, Part::Faces},
        {9, Part::Faces},
    };

    static double share_cut(int k) { return static_cast<double>(scenes_[k].cut) / scenes_[k].frames; }
    static double share_cut_sides(int k) { return static_cast<double>(scenes_[k].cut_sides) / scenes_[k].frames; }
    static double share_cut_bottom(int k) { return static_cast<double>(scenes_[k].cut_bottom) / scenes_[k].frames; }
    static double share_cut_top(int k) { return static_cast<double>(scenes_[k].cut_top) / scenes_[k].frames; }

    static SceneFrames scenes_[11];
};
SceneFrames SceneFraming::scenes_[11];

TEST_F(SceneFraming, EveryModelSceneIsMeasured) {
    for (int k = 1; k <= 10; ++k) EXPECT_GT(scenes_[k].frames, 300) << "scene " << k;
}

// Scene 2 looks down on the city from the camera path: its skyline (all but
// the mast's tip) stays below the top edge, so the sky and the sun show over
// it. The plaza fills the model's ranges and always reaches past the sides.
// (Before the second art pass the skyline left the top in 70 % of the frames.)
TEST_F(SceneFraming, CitySkylineStaysUnderTheTopEdge) { EXPECT_LT(share_cut_top(2), 0.15); }

// Scene 3: the lotus's bloom (its petals and bud, not the stem, the pad or
// the bud's slender tip) stays in the frame along the camera path (it was cut
// in every frame).
TEST_F(SceneFraming, LotusBloomStaysInTheFrame) { EXPECT_LT(share_cut(3), 0.15); }

// Scene 5: the helix's ribbons stay between the side edges; it runs off the
// top and bottom by design.
TEST_F(SceneFraming, HelixStaysBetweenTheSides) { EXPECT_EQ(share_cut_sides(5), 0.0); }

// Scene 6: the station's core stays whole on the screen.
TEST_F(SceneFraming, StationCoreStaysInTheFrame) { EXPECT_LT(share_cut(6), 0.05); }

// Scene 8: the gem stays clear of the edges, leaving the sky and the three
// reduced copies to be seen (the old sphere was cut in every frame).
TEST_F(SceneFraming, GemStaysInTheFrame) { EXPECT_LT(share_cut(8), 0.10); }

// Scene 9: the torus at (120, 190) never leaves by the sides (44 % of the
// frames before). At the size its ranges ask for it still reaches below the
// bottom edge whenever it faces the viewer; pinned below the old 100 %.
TEST_F(SceneFraming, TorusStaysBetweenTheSidesAndMostlyAboveTheBottom) {
    EXPECT_LT(share_cut_sides(9), 0.02);
    EXPECT_LT(share_cut(9), 0.96);
}

}  // namespace
}  // namespace korvax
