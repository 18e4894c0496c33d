// korvax --gp2x PROGRAM: the GP2X build's program played whole in the box
// (host/box.h), with the console's window, sound, capture of the sound and
// screenshot as for the host build.
#pragma once

#include "app/app.h"

namespace korvax::host {

// Runs the program to its end; the process's exit status: 0 once the program
// has left for the menu.
int run_box(const Options& options);

}  // namespace korvax::host
