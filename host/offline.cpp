#include "host/offline.h"

#include "math/tables.h"
#include "platform/entry.h"
#include "platform/hardware.h"
#include "platform/runtime.h"
#include "render/render_state.h"
#include "sequence/precompute.h"

namespace korvax::host {

void start_system_offline() {
    build_reciprocal_table();
    build_cosine_table(COS_TABLE);
    init_animation_state();
    load_models();
    select_start_mesh_and_path();
    set_start_material_modes();
    build_noise_table();
    const int32_t x_min = 0, y_min = 0, x_max = 319, y_max = 239;
    set_clip_rect(x_min, y_min, x_max, y_max);
    const int32_t low = -50000, high = 50000;
    set_depth_range(low, high);
    precompute_assets();
    set_shade_ramp(primary_ramp);
}

}  // namespace korvax::host
