// The system's start-up as its entry point runs it, short of the hardware and
// the music, for tools, tests and benchmarks that draw scenes without the
// console running.
#pragma once

namespace korvax::host {

// Tables, animation state, models, material modes, the noise table, the
// render-state defaults and the precomputation; the shade ramp as the frame
// loop starts with it.
void start_system_offline();

}  // namespace korvax::host
