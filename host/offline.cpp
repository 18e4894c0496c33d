#include "host/offline.h"

#include "platform/entry.h"
#include "platform/hardware.h"
#include "render/render_state.h"
#include "sequence/precompute.h"

namespace korvax::host {

void start_system_offline() {
    start_up_before_hardware();
    build_noise_table();
    set_render_defaults();
    precompute_assets();
    set_shade_ramp(primary_ramp);
}

}  // namespace korvax::host
