// The real coprocessor image on the emulated ARM940T, the test playing the
// host's part at the host's pace.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/coprocessor/support/coprocessor_rig.h"

namespace korvax::test {
namespace {

class EmulatedCoprocessor : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (coprocessor_elf_path().empty()) return;
        stream_ = new std::vector<uint8_t>(make_stream(3.0, 0.4));
        reference_ = new std::vector<int16_t>(reference_decode(*stream_));
    }
    static void TearDownTestSuite() {
        delete stream_;
        delete reference_;
        stream_ = nullptr;
        reference_ = nullptr;
    }
    void SetUp() override {
        if (coprocessor_elf_path().empty()) GTEST_SKIP() << "the coprocessor image is not built";
        ASSERT_FALSE(stream_->empty());
        ASSERT_GT(reference_->size(), 200000u);
    }
    // The reference sample n of the looping stream, as the coprocessor scales it.
    static int16_t expected(size_t n, uint32_t volume) {
        int32_t s = (*reference_)[n % reference_->size()];
        return static_cast<int16_t>((s * static_cast<int32_t>(volume)) >> 8);
    }

    static std::vector<uint8_t>* stream_;
    static std::vector<int16_t>* reference_;
    CoprocessorRig rig_;
};

std::vector<uint8_t>* EmulatedCoprocessor::stream_ = nullptr;
std::vector<int16_t>* EmulatedCoprocessor::reference_ = nullptr;

TEST_F(EmulatedCoprocessor, PlaysTheHostDecodeScaledByTheVolumeAndLoopsWithThePositionCounting) {
    rig_.init_block();
    rig_.boot();
    rig_.place(*stream_);
    rig_.set(rig_.block().play, 1);
    std::vector<int16_t> out;
    // One and a half passes: across the end of the stream and on.
    size_t want = reference_->size() * 3 / 2;
    ASSERT_TRUE(rig_.play_until(out, want));
    for (size_t i = 0; i < out.size(); ++i) {
        ASSERT_EQ(out[i], expected(i, 180)) << "sample " << i;
    }
    EXPECT_FALSE(rig_.core().faulted());
}

}  // namespace
}  // namespace korvax::test
