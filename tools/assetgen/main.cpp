// korvax-assetgen: writes every generated asset of the demo into a directory,
// one file per asset named after it (MODEL_0.bin, TEXTURE_IMAGE_3.bin, ...).
// The output depends on nothing but this program's source.
//
//   korvax-assetgen <output directory> [--only models|images]
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include "common.h"

using namespace korvax::assetgen;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output directory> [--only models|images]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    const std::string only = argc >= 4 && std::string(argv[2]) == "--only" ? argv[3] : "";
    try {
        OutputSet out;
        if (only.empty() || only == "models") build_models(out);
        if (only.empty() || only == "images") build_images(out);
        std::filesystem::create_directories(dir);
        for (const auto& [name, bytes] : out) {
            const std::filesystem::path path = dir / (name + ".bin");
            const std::filesystem::path tmp = dir / (name + ".bin.tmp");
            {
                std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
                f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
                if (!f) throw std::runtime_error("cannot write " + tmp.string());
            }
            std::filesystem::rename(tmp, path);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korvax-assetgen: %s\n", e.what());
        return 1;
    }
    return 0;
}
