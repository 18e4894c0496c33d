// korvax on a PC: the demo inside the host console.
#include <cstdio>

#include "app/app.h"
#include "app/box_app.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    korvax::host::Options options;
    bool help = false;
    std::string error;
    if (!korvax::host::parse_options(args, options, help, error)) {
        std::fprintf(stderr, "%s\n%s\n", error.c_str(), korvax::host::usage().c_str());
        return 2;
    }
    if (help) {
        std::printf("%s\n", korvax::host::usage().c_str());
        return 0;
    }
    if (!options.gp2x.empty()) return korvax::host::run_box(options);
    korvax::host::App app(options);
    return app.run(argv[0]);
}
