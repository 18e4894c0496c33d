// The real coprocessor image on the emulated ARM940T, the test playing the
// host's part at the host's pace: the PCM it delivers against the host's own
// libvorbisidec decode of the same stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/coprocessor/support/coprocessor_rig.h"

namespace korvax::test {
namespace {

constexpr uint32_t BUFFER = PCM_BUFFER_SAMPLES;

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
        ASSERT_FALSE(coprocessor_elf_path().empty()) << "the coprocessor image is not built";
        ASSERT_FALSE(stream_->empty());
        ASSERT_GT(reference_->size(), 200000u);  // 3 s of stereo
    }

    // Sample n of the endlessly looping stream as the coprocessor scales it.
    static int16_t expected(size_t n, uint32_t volume) {
        int32_t s = (*reference_)[n % reference_->size()];
        return static_cast<int16_t>((s * static_cast<int32_t>(volume)) >> 8);
    }
    // Samples that went into buffers the host has not taken yet.
    uint32_t pending() {
        return (rig_.get(rig_.block().fill_a) ? BUFFER : 0) + (rig_.get(rig_.block().fill_b) ? BUFFER : 0);
    }
    void start(uint32_t play) {
        rig_.init_block();
        rig_.boot();
        rig_.place(*stream_);
        rig_.set(rig_.block().play, play);
    }

    static std::vector<uint8_t>* stream_;
    static std::vector<int16_t>* reference_;
    CoprocessorRig rig_;
};

std::vector<uint8_t>* EmulatedCoprocessor::stream_ = nullptr;
std::vector<int16_t>* EmulatedCoprocessor::reference_ = nullptr;

TEST_F(EmulatedCoprocessor, PlaysTheHostDecodeScaledByTheVolumeAndLoopsWithThePositionCounting) {
    rig_.paint_stack();
    start(1);
    std::vector<int16_t> out;
    // One and a half passes: across the end of the stream and on.
    const size_t want = reference_->size() * 3 / 2;
    while (out.size() < want) {
        ASSERT_TRUE(rig_.play_until(out, out.size() + BUFFER)) << "the core stopped delivering";
        ASSERT_EQ(rig_.get(rig_.block().position), out.size() + pending());
    }
    for (size_t i = 0; i < out.size(); ++i) {
        ASSERT_EQ(out[i], expected(i, 180)) << "sample " << i;
    }
    EXPECT_GT(rig_.get(rig_.block().position), reference_->size());
    EXPECT_FALSE(rig_.core().faulted());
    // Stack and heap stayed within their parts of the memory map.
    ImageSymbols symbols;
    EXPECT_GT(rig_.stack_low_water(), symbols["__bss_end"]);
    ArmHeap heap = rig_.heap();
    EXPECT_EQ(heap.start, 0x14C000u);
    EXPECT_GT(heap.top, heap.start);
    EXPECT_LE(heap.top, 0x200000u);
}

TEST_F(EmulatedCoprocessor, RestartReturnsThePositionToZeroAndRefillsOnlyOnceTheRingPrimesAgain) {
    start(1);
    std::vector<int16_t> out;
    ASSERT_TRUE(rig_.play_until(out, 5 * BUFFER));

    rig_.place(*stream_);  // a new stream: restart raised
    while (rig_.get(rig_.block().restart) != 0) rig_.run(10000);
    EXPECT_EQ(rig_.get(rig_.block().position), 0u);
    // Buffers the core filled before it saw the restart hold the old stream:
    // the host plays them out.
    rig_.set(rig_.block().fill_a, 0);
    rig_.set(rig_.block().fill_b, 0);
    rig_.reset_drain_order();

    // Until the ring holds its low-water mark again nothing is filled and
    // the position stays 0.
    int polls = 0;
    while (rig_.program().ring_primed == 0) {
        ASSERT_EQ(rig_.get(rig_.block().position), 0u);
        ASSERT_EQ(rig_.get(rig_.block().fill_a), 0u);
        ASSERT_EQ(rig_.get(rig_.block().fill_b), 0u);
        ASSERT_LT(++polls, 10000) << "the ring never primed after the restart";
        rig_.run(20000);
    }
    EXPECT_GT(polls, 10);  // priming took its time
    EXPECT_GE(rig_.ring_count() + rig_.get(rig_.block().position), 25000u);

    std::vector<int16_t> again;
    ASSERT_TRUE(rig_.play_until(again, 3 * BUFFER));
    for (size_t i = 0; i < again.size(); ++i) ASSERT_EQ(again[i], expected(i, 180)) << "sample " << i;
}

TEST_F(EmulatedCoprocessor, WithoutPlayNothingIsFilledButTheRingIsDecodedUpToItsLowWaterMark) {
    rig_.init_block(0x1234);
    rig_.boot();
    rig_.place(*stream_);
    for (int i = 0; i < 20; ++i) {
        rig_.run(INSTRUCTIONS_PER_BUFFER);
        ASSERT_EQ(rig_.get(rig_.block().fill_a), 0u);
        ASSERT_EQ(rig_.get(rig_.block().fill_b), 0u);
        ASSERT_EQ(rig_.get(rig_.block().position), 0u);
    }
    ArmProgram p = rig_.program();
    EXPECT_EQ(p.ring_primed, 1u);
    EXPECT_GE(rig_.ring_count(), 25000u);
    EXPECT_LT(rig_.ring_count(), 25000u + 1024u);  // one chunk at most past the mark
    EXPECT_EQ(rig_.block().pcm_a[0], 0x1234);
    EXPECT_EQ(rig_.block().pcm_b[BUFFER - 1], 0x1234);

    // Decoding has stopped: the core only spins, and is hardly emulated.
    uint64_t executed = rig_.core().executed_instructions();
    rig_.run(50 * INSTRUCTIONS_PER_BUFFER);
    EXPECT_LT(rig_.core().executed_instructions() - executed, 50 * INSTRUCTIONS_PER_BUFFER / 100);
    EXPECT_EQ(rig_.program().ring_write, p.ring_write);

    rig_.set(rig_.block().play, 1);
    std::vector<int16_t> out;
    ASSERT_TRUE(rig_.play_until(out, 2 * BUFFER));
    for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], expected(i, 180)) << "sample " << i;
}

TEST_F(EmulatedCoprocessor, VolumeZeroFillsZerosWhileThePositionAdvances) {
    rig_.init_block(0x1234);
    rig_.boot();
    rig_.place(*stream_);
    rig_.set(rig_.block().volume, 0);
    rig_.set(rig_.block().play, 1);
    std::vector<int16_t> out;
    ASSERT_TRUE(rig_.play_until(out, 3 * BUFFER));
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t s) { return s == 0; }));
    EXPECT_EQ(rig_.get(rig_.block().position), out.size() + pending());

    // Full volume: (s * 255) >> 8. Buffers filled before the change keep
    // volume 0; the one being filled at the change may mix both, since the
    // volume is read for every sample.
    const uint32_t before = pending();
    const size_t from = out.size();
    rig_.set(rig_.block().volume, 255);
    std::vector<int16_t> loud;
    ASSERT_TRUE(rig_.play_until(loud, before + 3 * BUFFER));
    for (size_t i = 0; i < loud.size(); ++i) {
        int16_t full = expected(from + i, 255);
        if (i < before) {
            ASSERT_EQ(loud[i], 0) << "sample " << from + i;
        } else if (i < before + BUFFER) {
            ASSERT_TRUE(loud[i] == 0 || loud[i] == full) << "sample " << from + i;
        } else {
            ASSERT_EQ(loud[i], full) << "sample " << from + i;
        }
    }
}

TEST_F(EmulatedCoprocessor, WithoutDataReadyDecodingStopsButFillingFromTheRingGoesOn) {
    start(1);
    std::vector<int16_t> out;
    ASSERT_TRUE(rig_.play_until(out, 2 * BUFFER));
    rig_.set(rig_.block().data_ready, 0);
    rig_.run(INSTRUCTIONS_PER_BUFFER);  // a chunk under way when the flag fell ends
    const uint32_t ring_write = rig_.program().ring_write;
    const uint32_t decoded = rig_.get(rig_.block().position) + rig_.ring_count();

    // The host keeps taking buffers: every decoded sample still comes out, in
    // order, and then the position stops.
    for (int period = 0; period < 30; ++period) {
        rig_.run(INSTRUCTIONS_PER_BUFFER);
        rig_.drain(out);
        ASSERT_EQ(rig_.program().ring_write, ring_write) << "decoded without data_ready";
    }
    EXPECT_EQ(rig_.get(rig_.block().position), decoded);
    EXPECT_EQ(rig_.ring_count(), 0u);
    ASSERT_GE(out.size(), decoded);
    for (size_t i = 0; i < decoded; ++i) ASSERT_EQ(out[i], expected(i, 180)) << "sample " << i;
    // The buffer that ran dry holds what the ring had, then its old samples.
    size_t dry = decoded / BUFFER * BUFFER;
    size_t served = decoded - dry;
    for (size_t i = served; i < BUFFER; ++i) {
        ASSERT_EQ(out[dry + i], out[dry + i - 2 * BUFFER]) << "slot " << i << " of the buffer that ran dry";
    }

    // The instance stayed open: with data_ready back, decoding continues the
    // stream where it stopped instead of starting it again.
    rig_.set(rig_.block().data_ready, 1);
    rig_.run(INSTRUCTIONS_PER_BUFFER);
    ArmProgram p = rig_.program();
    ASSERT_NE(p.ring_write, ring_write);
    const int16_t* ring = reinterpret_cast<const int16_t*>(rig_.memory() + p.ring);
    for (uint32_t k = 0; k < 64; ++k) {
        ASSERT_EQ(ring[(ring_write + k) % 50000], (*reference_)[(decoded + k) % reference_->size()]) << k;
    }
}

TEST_F(EmulatedCoprocessor, AnEmptyStreamFailsOverAndOverAtLittleCostToTheEmulator) {
    // What the console runs while no music is embedded: data_ready with no
    // bytes. Every step opens the stream, fails to read it and clears it; the
    // cycle is recognised and not emulated again until the block changes.
    rig_.init_block();
    rig_.boot();
    rig_.place({});
    rig_.set(rig_.block().play, 1);
    rig_.run(INSTRUCTIONS_PER_BUFFER);
    uint64_t executed = rig_.core().executed_instructions();
    rig_.run(50 * INSTRUCTIONS_PER_BUFFER);
    EXPECT_LT(rig_.core().executed_instructions() - executed, 50 * INSTRUCTIONS_PER_BUFFER / 100);
    EXPECT_EQ(rig_.get(rig_.block().fill_a), 0u);
    EXPECT_EQ(rig_.get(rig_.block().position), 0u);
    EXPECT_FALSE(rig_.core().faulted());

    // A stream placed later plays.
    rig_.place(*stream_);
    std::vector<int16_t> out;
    ASSERT_TRUE(rig_.play_until(out, 2 * BUFFER));
    for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], expected(i, 180)) << "sample " << i;
}

TEST_F(EmulatedCoprocessor, AStreamThatNeedsMoreHeapThanThereIsFailsWithoutTouchingOtherMemory) {
    // 32 channels: a valid stream (the host decodes it) whose decoder state
    // does not fit the 720 KB between the heap base and the control block.
    std::vector<uint8_t> big = make_stream(1.0, 0.0, 32);
    ASSERT_FALSE(big.empty());
    ASSERT_FALSE(reference_decode(big).empty());

    rig_.init_block();
    rig_.boot();
    std::vector<uint8_t> image = coprocessor_image();
    rig_.place(big);
    rig_.set(rig_.block().play, 1);
    for (int i = 0; i < 10; ++i) {
        rig_.run(INSTRUCTIONS_PER_BUFFER);
        ASSERT_EQ(rig_.get(rig_.block().fill_a), 0u);
        ArmHeap heap = rig_.heap();
        ASSERT_LE(heap.top, 0x200000u);
    }
    EXPECT_GT(rig_.program().out_of_memory, 1u);  // failed, and failed again on every reopen
    EXPECT_EQ(rig_.get(rig_.block().position), 0u);
    EXPECT_FALSE(rig_.core().faulted());
    EXPECT_EQ(std::memcmp(rig_.memory(), image.data(), image.size()), 0) << "the program's own code was written";
    EXPECT_EQ(rig_.get(rig_.block().volume), 180u);
    EXPECT_EQ(rig_.get(rig_.block().data_offset), MUSIC_DATA_OFFSET);

    // A stream that fits plays as usual afterwards.
    rig_.place(*stream_);
    std::vector<int16_t> out;
    ASSERT_TRUE(rig_.play_until(out, 2 * BUFFER));
    for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], expected(i, 180)) << "sample " << i;
}

}  // namespace
}  // namespace korvax::test
