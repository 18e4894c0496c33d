// The generator gives the same bytes on every run, and the bytes this build
// embeds are the ones a fresh run gives (none is stale or missing).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "asset_reader.h"

using namespace korvax;

namespace {

namespace fs = std::filesystem;

std::map<std::string, std::vector<uint8_t>> run_generator(const fs::path& dir) {
    const std::string cmd = std::string("\"") + KORVAX_ASSETGEN_PATH + "\" \"" + dir.string() + "\"";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        std::ifstream f(entry.path(), std::ios::binary);
        files[entry.path().stem().string()] =
            std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    return files;
}

// FNV-1a, to report which file changed in a readable way.
uint64_t checksum(const std::vector<uint8_t>& bytes) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (uint8_t b : bytes) h = (h ^ b) * 0x100000001B3ull;
    return h;
}

}  // namespace

TEST(Generator, SameBytesEveryRunAndAsEmbedded) {
    const fs::path base = fs::temp_directory_path() / ("korvax_assetgen_" + std::to_string(getpid()));
    const auto first = run_generator(base / "first");
    const auto second = run_generator(base / "second");
    fs::remove_all(base);

    const std::map<std::string, AssetId> ids = {
#define KORVAX_ASSET_NAME(n) {#n, AssetId::n},
        KORVAX_ASSET_LIST(KORVAX_ASSET_NAME)
#undef KORVAX_ASSET_NAME
    };
    ASSERT_EQ(first.size(), 66u) << "every generated asset of the catalogue";
    ASSERT_EQ(second.size(), first.size());
    for (const auto& [name, bytes] : first) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(ids.count(name)) << "a file that is not an asset of the catalogue";
        ASSERT_TRUE(second.count(name));
        EXPECT_EQ(checksum(second.at(name)), checksum(bytes));
        const Blob embedded = embedded_asset(ids.at(name));
        ASSERT_EQ(embedded.size, bytes.size());
        EXPECT_EQ(checksum(std::vector<uint8_t>(embedded.data, embedded.data + embedded.size)), checksum(bytes));
    }
}
