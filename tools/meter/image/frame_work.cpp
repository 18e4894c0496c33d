#include "tools/meter/image/frame_work.h"

#include "board/mapped.h"
#include "board/mmsp2.h"
#include "platform/entry.h"
#include "platform/hardware.h"
#include "platform/startup.h"
#include "render/render_state.h"
#include "sequence/scenes.h"
#include "sequence/timeline.h"

namespace {

// Room for both hardware buffers, so present_frame's copy lands where it does
// on the handheld (relative to the video window).
constexpr uint32_t VIDEO_BYTES = korvax::HW_BUFFER_B_OFFSET + 241 * 640;
alignas(32) uint8_t meter_video[VIDEO_BYTES];

}  // namespace

extern "C" {

void meter_start_up() {
    using namespace korvax;
    start_up_before_hardware();
    video_window = meter_video;
    prepare_frame_data();
    reset_sequence();
    set_scene_state(1);
    set_back_buffer(&main_back_buffer);
    set_shade_ramp(primary_ramp);
}

uint32_t meter_frame(uint32_t position) {
    using namespace korvax;
    const uint32_t drawn = static_cast<uint32_t>(SceneState);
    if (position != 0) render_scene(&main_back_buffer);
    present_frame();
    advance_timeline(position);
    return drawn | (sequence_finished != 0 ? 256u : 0u);
}

void meter_enter_scene(int32_t k) { korvax::set_scene_state(k); }

const uint16_t* meter_back_buffer() { return korvax::main_back_buffer.pixels; }

}
