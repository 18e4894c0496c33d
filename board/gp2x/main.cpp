// The GP2X program: the system's entry point, over the board's real side.
#include "platform/entry.h"

int main(int argc, char** argv) { return korvax::korvax_main(argc, argv); }
