// The coprocessor image as built: ARMv4T code only (Unicorn's ARM946 would run
// ARMv5 instructions that the ARM940T rejects), and a memory map that leaves
// the stack its room below 1 MB.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "tests/coprocessor/support/coprocessor_rig.h"

namespace korvax::test {
namespace {

std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

bool starts_with(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }
bool bottom_or_top(char c) { return c == 'b' || c == 't'; }

// ARMv5 and later: exchange-branches with link, count leading zeros,
// doubleword transfers, preload, breakpoints, saturating arithmetic, the v5
// coprocessor forms, v6 extensions and exclusives, and the DSP multiplies
// (smulxy, smlaxy, smulwy, smlawy, smlalxy; not the v4 smull and smlal).
bool beyond_armv4t(const std::string& m) {
    static const char* const later[] = {"blx",  "clz",  "ldrd", "strd", "pld",  "bkpt",  "bxj",  "mcr2",  "mrc2",
                                        "mcrr", "mrrc", "ldc2", "stc2", "cdp2", "rev",   "sxt",  "uxt",   "ldrex",
                                        "strex", "cps", "srs",  "rfe",  "setend", "qadd", "qsub", "qdadd", "qdsub"};
    for (const char* p : later) {
        if (starts_with(m, p)) return true;
    }
    if ((starts_with(m, "smul") || starts_with(m, "smla")) && m.size() >= 6 && (bottom_or_top(m[4]) || m[4] == 'w') &&
        bottom_or_top(m[5])) {
        return true;
    }
    return starts_with(m, "smlal") && m.size() >= 7 && bottom_or_top(m[5]) && bottom_or_top(m[6]);
}

class Image : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(coprocessor_elf_path().empty()) << "the coprocessor image is not built";
    }
};

TEST_F(Image, IsArmv4tCodeThroughout) {
    std::string attributes = run(std::string(KORVAX_ARM_READELF) + " -A " + coprocessor_elf_path());
    EXPECT_NE(attributes.find("Tag_CPU_arch: v4T"), std::string::npos) << attributes;

    std::string listing = run(std::string(KORVAX_ARM_OBJDUMP) + " -d " + coprocessor_elf_path());
    ASSERT_GT(listing.size(), 100000u);
    std::istringstream lines(listing);
    std::string text;
    int instructions = 0;
    std::set<std::string> found;
    while (std::getline(lines, text)) {
        // "    1a4:\te59f3010 \tldr\tr3, [pc, #16]"
        std::istringstream fields(text);
        std::string address, word, mnemonic;
        if (!(fields >> address >> word >> mnemonic) || address.back() != ':' || word.size() != 8) continue;
        ++instructions;
        if (beyond_armv4t(mnemonic)) found.insert(text);
    }
    EXPECT_GT(instructions, 10000);
    EXPECT_TRUE(found.empty()) << found.size() << " instructions beyond ARMv4T, first: " << *found.begin();

    // No Thumb code at all: every block is counted as 4-byte instructions.
    std::string symbols = run(std::string(KORVAX_ARM_OBJDUMP) + " -t " + coprocessor_elf_path());
    EXPECT_EQ(symbols.find(" $t"), std::string::npos);
}

TEST_F(Image, FitsItsMemoryMapAndIsTheImageTheProgramEmbeds) {
    ImageSymbols symbols;
    ASSERT_TRUE(symbols.loaded());
    const uint32_t image_end = symbols["__image_end"];
    const uint32_t bss_end = symbols["__bss_end"];
    std::vector<uint8_t> image = coprocessor_image();
    EXPECT_EQ(image.size(), image_end);
    EXPECT_LE(image_end, symbols["__bss_start"]);
    // Variables end well below the stack's top, leaving it 256 KB at least.
    EXPECT_LE(bss_end + 0x40000u, 0x100000u);
    EXPECT_GE(symbols["korvax::coprocessor"], image_end);

    std::ifstream in(coprocessor_elf_path().substr(0, coprocessor_elf_path().size() - 4) + ".bin", std::ios::binary);
    std::vector<uint8_t> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(raw, image);

    // All eight vectors branch to the start-up routine at 0x20: B with an
    // offset of (0x20 - (vector + 8)) / 4.
    ASSERT_GE(image.size(), 0x40u);
    for (uint32_t v = 0; v < 8; ++v) {
        uint32_t word = image[v * 4] | image[v * 4 + 1] << 8 | image[v * 4 + 2] << 16 | uint32_t{image[v * 4 + 3]} << 24;
        int32_t offset = (0x20 - static_cast<int32_t>(v * 4 + 8)) / 4;
        EXPECT_EQ(word, 0xEA000000u | (static_cast<uint32_t>(offset) & 0xFFFFFFu)) << "vector " << v;
    }
}

}  // namespace
}  // namespace korvax::test
