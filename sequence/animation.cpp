#include "sequence/animation.h"

#include "math/fixed_math.h"
#include "models/mesh.h"
#include "sequence/precompute.h"
#include "sequence/timeline.h"

namespace korvax {

uint8_t fade_step = 0;
uint16_t noise_index = 0;
int32_t tunnel_scroll = 0;
int32_t morph_frame = 0;
int32_t morph_frame_c = 10;
int32_t morph_frame_d = 6;
int32_t morph_frame_e = 7;
uint16_t overlay_x = 0;
uint16_t overlay_y = 0;

const uint32_t SCENE_THRESHOLDS[10] = {1980000, 3100000, 4213000, 5385000,  6492000,
                                       8725000, 9880000, 11000000, 12120000, 12800000};

namespace {

// Camera path: key 3 toward key 4, restarting every 400 steps of position >> 9.
constexpr int32_t CAMERA_KEY = 3;
constexpr uint32_t CAMERA_STEPS = 400;

void spin(int k) {
    SpinState& s = spin_state[k];
    s.angle_a = wrap_add(s.angle_a, s.rate_a);
    s.angle_b = wrap_add(s.angle_b, s.rate_b);
    s.angle_c = wrap_add(s.angle_c, s.rate_c);
    // Accumulators count eighths of an angle step.
    matrix_from_angles(object_matrices[k], static_cast<uint32_t>(s.angle_a >> 3),
                       static_cast<uint32_t>(s.angle_b >> 3), static_cast<uint32_t>(s.angle_c >> 3));
}

void update_matrices(uint32_t position) {
    if (camera_path_active == 0) {
        for (int k = 0; k < 3; ++k) spin(k);
        return;
    }
    spin(1);
    spin(2);
    Vec3 eye;
    sample_camera_path(eye, object_matrices[0], (position >> 9) % CAMERA_STEPS, CAMERA_KEY, *sampled_camera_path);
    Matrix4 combined;
    matrix_multiply(combined, object_matrices[0], object_matrices[1]);
    object_matrices[1] = combined;
}

// fade_step + 1 on 8 bits; back to `to` once the new value passes `above`.
void step_fade(int32_t above, uint8_t to) {
    fade_step = static_cast<uint8_t>(fade_step + 1);
    if (fade_step > above) fade_step = to;
}

// tunnel_scroll + step; 0 once the new value passes 255.
void step_tunnel(int32_t step) {
    tunnel_scroll += step;
    if (tunnel_scroll > 255) tunnel_scroll = 0;
}

// The noise and the tunnel of every state but 1.
void step_noise_and_tunnel() {
    noise_index = static_cast<uint16_t>(noise_index + 1);
    step_tunnel(2);
}

void step_common(int32_t fade_above, uint8_t fade_to) {
    step_fade(fade_above, fade_to);
    step_noise_and_tunnel();
}

// counter + step; 0 once the new value passes `above`.
void step_frame(int32_t& counter, int32_t step, int32_t above) {
    counter += step;
    if (counter > above) counter = 0;
}

// The store's frame `frame` into the mesh's vertex slots from `first_slot`.
void show_morph_frame(MeshObject& mesh, const MorphStore& store, int32_t frame, int32_t first_slot) {
    set_vertex_positions(mesh, morph_frame_triples(store, frame), store.vertices, first_slot);
}

void update_state(int32_t state) {
    switch (state) {
        case 1:
            step_tunnel(8);
            step_frame(morph_frame, 1, MORPH_F.frames - 1);
            show_morph_frame(meshes[10], MORPH_F, morph_frame, 1);
            break;
        case 2:
            // Counts up to 27, then cycles 16..27: only the value 28 wraps.
            fade_step = static_cast<uint8_t>(fade_step + 1);
            if (fade_step == 28) fade_step = 16;
            step_noise_and_tunnel();
            break;
        case 3:
        case 5:
        case 6:
        case 9:
        case 10:
            step_common(23, 20);
            break;
        case 4:
            select_mesh(4);
            step_common(13, 1);
            overlay_x = static_cast<uint16_t>(overlay_x + 1);
            if (overlay_x > 12) overlay_x = 0;
            overlay_y = static_cast<uint16_t>(overlay_y + 1);
            if (overlay_y > 12) overlay_y = 0;
            step_frame(morph_frame, 3, MORPH_B.frames - 1);
            step_frame(morph_frame_c, 1, MORPH_C.frames - 1);
            step_frame(morph_frame_d, 1, MORPH_D.frames - 1);
            step_frame(morph_frame_e, 1, MORPH_E.frames - 1);
            show_morph_frame(*current_mesh, MORPH_B, morph_frame, 1);
            show_morph_frame(*current_mesh, MORPH_C, morph_frame_c, 59);
            show_morph_frame(*current_mesh, MORPH_D, morph_frame_d, 285);
            show_morph_frame(*current_mesh, MORPH_E, morph_frame_e, 305);
            break;
        case 7:
            step_common(25, 22);
            step_frame(morph_frame, 3, MORPH_A.frames - 1);
            show_morph_frame(*current_mesh, MORPH_A, morph_frame, 43);
            break;
        case 8:
            step_common(23, 20);
            step_frame(morph_frame, 5, MORPH_G.frames - 1);
            show_morph_frame(*current_mesh, MORPH_G, morph_frame, 1);
            break;
        default:
            break;
    }
}

}  // namespace

uint32_t advance_timeline(uint32_t position) {
    update_matrices(position);
    update_state(SceneState);
    if (SceneState >= 1 && SceneState <= 10 && position > SCENE_THRESHOLDS[SceneState - 1]) {
        if (SceneState == 10) {
            sequence_finished = 1;
        } else {
            ++SceneState;
        }
    }
    return position;
}

}  // namespace korvax
