// korvax on a PC: the demo inside the host console.
#include <string>
#include <vector>

#include "app/app.h"

int main(int argc, char** argv) {
    return korvax::host::run_program(std::vector<std::string>(argv + 1, argv + argc), argv[0]);
}
