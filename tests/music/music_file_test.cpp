// Placing a stream from a file in shared memory.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/music/music_fixture.h"

namespace korvax::test {
namespace {

class MusicFileTest : public MusicHostTest {
protected:
    void SetUp() override {
        MusicHostTest::SetUp();
        dir_ = std::filesystem::temp_directory_path() /
               ("korvax_music_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        start_and_wait();
        ASSERT_EQ(music_block_initialised(), 1u);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir_);
        MusicHostTest::TearDown();
    }

    std::string write_file(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::string path = (dir_ / name).string();
        std::FILE* f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return path;
    }

    static std::vector<uint8_t> pattern(size_t n, uint32_t seed) {
        std::vector<uint8_t> v(n);
        uint32_t x = seed;
        for (size_t i = 0; i < n; ++i) {
            x = x * 1103515245u + 12345u;
            v[i] = static_cast<uint8_t>(x >> 16);
        }
        return v;
    }

    uint8_t* area() { return console_->shared() + MUSIC_DATA_OFFSET; }

    // A placed stream that the coprocessor has taken (restart cleared).
    std::vector<uint8_t> place_baseline() {
        std::vector<uint8_t> bytes = pattern(250001, 1);
        load_music_file(write_file("baseline.ogg", bytes).c_str());
        store_word(block().restart, 0);
        return bytes;
    }

    void expect_baseline_intact(const std::vector<uint8_t>& bytes) {
        EXPECT_EQ(block().data_ready, 1u);
        EXPECT_EQ(block().data_length, bytes.size());
        EXPECT_EQ(block().restart, 0u);
        EXPECT_EQ(std::memcmp(area(), bytes.data(), bytes.size()), 0);
        // Beyond the baseline the area still holds what it held.
        for (size_t i = bytes.size(); i < bytes.size() + 200000; i += 997) ASSERT_EQ(area()[i], POISON) << i;
    }

    std::filesystem::path dir_;
};

TEST_F(MusicFileTest, AFileIsPlacedWholeAcrossPiecesAndRaisesReadyAndRestart) {
    std::vector<uint8_t> bytes = pattern(250001, 7);  // three pieces, the last one short
    load_music_file(write_file("a.ogg", bytes).c_str());
    EXPECT_EQ(block().data_ready, 1u);
    EXPECT_EQ(block().data_length, 250001u);
    EXPECT_EQ(block().restart, 1u);
    EXPECT_EQ(std::memcmp(area(), bytes.data(), bytes.size()), 0);
    EXPECT_EQ(area()[250001], POISON);
}

TEST_F(MusicFileTest, AMissingFileChangesNothing) {
    std::vector<uint8_t> baseline = place_baseline();
    load_music_file((dir_ / "no_such_file.ogg").string().c_str());
    expect_baseline_intact(baseline);
}

// The coprocessor's PCM ring: 50,000 samples at its address 0xE00000.
constexpr uint32_t RING_OFFSET = 0xE00000;
constexpr uint32_t RING_BYTES = 100000;
constexpr uint32_t ROOM_BELOW_RING = RING_OFFSET - MUSIC_DATA_OFFSET;  // 7 MiB

TEST_F(MusicFileTest, AFileReachingIntoTheRingIsRefusedAndChangesNothing) {
    std::vector<uint8_t> baseline = place_baseline();
    std::vector<uint8_t> big = pattern(ROOM_BELOW_RING + 1, 3);
    load_music_file(write_file("big.ogg", big).c_str());
    expect_baseline_intact(baseline);
    const uint8_t* ring = console_->shared() + RING_OFFSET;
    for (uint32_t i = 0; i < RING_BYTES; ++i) ASSERT_EQ(ring[i], POISON) << i;
}

TEST_F(MusicFileTest, AFileFillingTheRoomBelowTheRingExactlyFitsAndLeavesTheRing) {
    std::vector<uint8_t> full = pattern(ROOM_BELOW_RING, 5);
    load_music_file(write_file("full.ogg", full).c_str());
    EXPECT_EQ(block().data_length, ROOM_BELOW_RING);
    EXPECT_EQ(block().data_ready, 1u);
    EXPECT_EQ(block().restart, 1u);
    EXPECT_EQ(MUSIC_DATA_MAX_BYTES, ROOM_BELOW_RING);
    EXPECT_EQ(std::memcmp(area(), full.data(), full.size()), 0);
    const uint8_t* ring = console_->shared() + RING_OFFSET;
    for (uint32_t i = 0; i < RING_BYTES; ++i) ASSERT_EQ(ring[i], POISON) << i;
}

TEST_F(MusicFileTest, AnEmptyFileIsAnEmptyStream) {
    place_baseline();
    load_music_file(write_file("empty.ogg", {}).c_str());
    EXPECT_EQ(block().data_ready, 1u);
    EXPECT_EQ(block().data_length, 0u);
    EXPECT_EQ(block().restart, 1u);
}

TEST_F(MusicFileTest, WithoutAnInitialisedBlockNothingIsPlaced) {
    std::vector<uint8_t> baseline = place_baseline();
    stop_music_thread();
    // A new run whose device cannot be opened: the old block is left as it was.
    console_->sound().set_present(false);
    start_and_wait();
    ASSERT_EQ(music_block_initialised(), 0u);
    load_music_file(write_file("b.ogg", pattern(1000, 9)).c_str());
    expect_baseline_intact(baseline);
}

}  // namespace
}  // namespace korvax::test
