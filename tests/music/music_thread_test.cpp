// The output thread against the host console and a stand-in coprocessor.
#include <algorithm>
#include <cstring>

#include "tests/music/music_fixture.h"

namespace korvax::test {
namespace {

struct Event {
    bool store;      // true: a word of the block; false: a register write
    uint32_t where;  // offset in the block, or register offset
    uint32_t value;
    size_t ioctls;   // ioctls the device had seen by then
    bool pcm_a_zero, pcm_b_zero;
};

bool all_zero(const int16_t* pcm) {
    return std::all_of(pcm, pcm + PCM_BUFFER_SAMPLES, [](int16_t s) { return s == 0; });
}

TEST_F(MusicHostTest, OutputThreadInitialisesTheBlockInOrderBeforeBooting) {
    // Other bits of the clock register must survive the read-modify-writes.
    console_->poke_register(REG_COPRO_CLOCK, 0xABC2);
    std::mutex mutex;
    std::vector<Event> events;
    uint8_t* block_start = console_->shared() + CONTROL_BLOCK_OFFSET;
    auto snapshot = [&](bool store, uint32_t where, uint32_t value) {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back({store, where, value, console_->sound().ioctls().size(), all_zero(block().pcm_a),
                          all_zero(block().pcm_b)});
    };
    console_->set_store_probe([&](const volatile uint32_t* word, uint32_t value) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(const_cast<const uint32_t*>(word));
        if (p >= block_start && p < block_start + sizeof(AudioControlBlock)) {
            snapshot(true, static_cast<uint32_t>(p - block_start), value);
        }
    });
    console_->set_register_probe([&](uint32_t offset, uint16_t value) { snapshot(false, offset, value); });

    start_and_wait();
    // Until the clock register has been written the last time (0xABC3).
    ASSERT_TRUE(eventually([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return !events.empty() && events.back().value == 0xABC3;
    }));
    console_->set_store_probe(nullptr);
    console_->set_register_probe(nullptr);

    std::vector<std::pair<int, int>> ioctls = console_->sound().ioctls();
    std::vector<std::pair<int, int>> expected_ioctls = {
        {BOARD_DSP_SPEED, 44100}, {BOARD_DSP_SETFMT, 16}, {BOARD_DSP_STEREO, 1}, {BOARD_DSP_SETFRAGMENT, 0x2000B}};
    EXPECT_EQ(ioctls, expected_ioctls);

    // start_music_thread holds the coprocessor before anything else happens.
    ASSERT_GE(events.size(), 2u);
    EXPECT_FALSE(events[0].store);
    EXPECT_EQ(events[0].where, REG_COPRO_CONTROL);
    EXPECT_EQ(events[0].value, 0x83u);
    EXPECT_EQ(events[1].where, REG_COPRO_CLOCK);
    EXPECT_EQ(events[1].value, 0xABC2u);

    // Then the output thread: the block's words in this order, after the ioctls.
    const std::vector<std::pair<uint32_t, uint32_t>> words = {
        {24, 0x700000}, {8228, 0}, {16, 180}, {0, 0}, {4, 0}, {8, 0}, {12, 0}, {28, 0}, {32, 0}};
    ASSERT_GE(events.size(), 2 + words.size() + 8);
    for (size_t i = 0; i < words.size(); ++i) {
        const Event& e = events[2 + i];
        EXPECT_TRUE(e.store) << i;
        EXPECT_EQ(e.where, words[i].first) << i;
        EXPECT_EQ(e.value, words[i].second) << i;
        EXPECT_EQ(e.ioctls, 4u) << i;
        // The PCM buffers are cleared only after the words.
        EXPECT_FALSE(e.pcm_a_zero) << i;
        EXPECT_FALSE(e.pcm_b_zero) << i;
    }

    // Then the boot: both buffers already zero when the coprocessor is held.
    const std::vector<std::pair<uint32_t, uint32_t>> boot = {
        {REG_COPRO_CONTROL, 0x83}, {REG_COPRO_CLOCK, 0xABC2}, {REG_COPRO_IRQ_CLEAR, 0xFFFF},
        {REG_COPRO_IRQ_ENABLE_A, 0}, {REG_COPRO_IRQ_ENABLE_B, 0}, {REG_COPRO_IRQ_PENDING, 0xFFFF},
        {REG_COPRO_CONTROL, 0x03}, {REG_COPRO_CLOCK, 0xABC3}};
    for (size_t i = 0; i < boot.size(); ++i) {
        const Event& e = events[2 + words.size() + i];
        EXPECT_FALSE(e.store) << i;
        EXPECT_EQ(e.where, boot[i].first) << i;
        EXPECT_EQ(e.value, boot[i].second) << i;
        EXPECT_TRUE(e.pcm_a_zero && e.pcm_b_zero) << i;
    }
    EXPECT_EQ(events.size(), 2 + words.size() + boot.size());
    EXPECT_EQ(get_volume(), 180);
    EXPECT_EQ(music_thread_running(), 1u);
}

TEST_F(MusicHostTest, BuffersGoOutStrictlyAlternatingFromAEvenWhenBWasFilledFirst) {
    start_and_wait();
    ASSERT_EQ(music_block_initialised(), 1u);
    start_fake(/*fill_b_first=*/true);
    music_play();

    const size_t buffers = 8;
    ASSERT_TRUE(eventually([&] { return sink_->size() >= buffers * PCM_BUFFER_BYTES; }));
    std::vector<uint8_t> bytes = sink_->bytes();
    std::vector<uint32_t> seen;
    for (size_t k = 0; k < buffers; ++k) {
        const int16_t* pcm = reinterpret_cast<const int16_t*>(bytes.data() + k * PCM_BUFFER_BYTES);
        const bool b = (k % 2) == 1;
        ASSERT_EQ(pcm[0], b ? 0x0B : 0x0A) << "buffer " << k << " out of turn";
        const uint32_t n = static_cast<uint16_t>(pcm[1]);
        for (uint32_t i = 0; i < PCM_BUFFER_SAMPLES; ++i) {
            ASSERT_EQ(pcm[i], FakeCoprocessor::sample(n, i, b)) << "buffer " << k << " sample " << i;
        }
        seen.push_back(n);
    }
    // B was filled first (fill 1), yet A (fill 2) went out first.
    EXPECT_EQ(seen[0], 2u);
    EXPECT_EQ(seen[1], 1u);
    // Every fill went out once: a buffer is released only after it was written.
    std::vector<uint32_t> sorted = seen;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_TRUE(std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end());

    // The position is what the coprocessor counted.
    uint32_t position = music_position();
    EXPECT_GE(position, buffers * PCM_BUFFER_SAMPLES);
    EXPECT_EQ(position % PCM_BUFFER_SAMPLES, 0u);
}

TEST_F(MusicHostTest, DescriptorZeroIsAWorkingDevice) {
    console_->sound().set_descriptor(0);
    start_and_wait();
    EXPECT_EQ(music_block_initialised(), 1u);
    EXPECT_EQ(music_thread_running(), 1u);
    EXPECT_TRUE(eventually([&] { return console_->peek_register(REG_COPRO_CONTROL) == 0x03; }));
    start_fake();
    music_play();
    EXPECT_TRUE(eventually([&] { return sink_->size() >= 2 * PCM_BUFFER_BYTES; }));
    EXPECT_EQ(console_->sound().ioctls().size(), 4u);
}

TEST_F(MusicHostTest, StopEndsTheThreadClosesTheDeviceHaltsTheCoprocessorAndUnmaps) {
    start_and_wait();
    start_fake();
    music_play();
    ASSERT_TRUE(eventually([&] { return sink_->size() >= 2 * PCM_BUFFER_BYTES; }));
    int mappings = console_->os_record().mappings_live;

    music_stop();
    EXPECT_EQ(load_word(block().play), 0u);
    stop_music_thread();

    EXPECT_EQ(music_thread_running(), 0u);
    EXPECT_FALSE(console_->sound().is_open());
    EXPECT_EQ(console_->peek_register(REG_COPRO_CONTROL), 0x83);
    EXPECT_EQ(console_->peek_register(REG_COPRO_CLOCK) & 1, 0);
    EXPECT_EQ(console_->os_record().mappings_live, mappings - 1);
    EXPECT_EQ(shared_memory_base(), nullptr);
    EXPECT_EQ(audio_control_block(), nullptr);
    // Nothing of the unmapped block is read any more.
    EXPECT_EQ(music_position(), 0u);
}

TEST_F(MusicHostTest, MissingDeviceLeavesEverythingAloneAndStopUnmapsAtOnce) {
    console_->sound().set_present(false);
    int mappings_before = console_->os_record().mappings_live;
    start_and_wait();
    ASSERT_EQ(music_thread_running(), 0u);
    EXPECT_EQ(console_->os_record().mappings_live, mappings_before + 1);

    // Never booted, the block never initialised: the stale position of the
    // memory is not taken for music.
    EXPECT_EQ(console_->peek_register(REG_COPRO_CONTROL), 0x83);
    EXPECT_EQ(console_->peek_register(REG_COPRO_CLOCK) & 1, 0);
    EXPECT_EQ(block().data_offset, POISON_WORD);
    EXPECT_EQ(block().position, POISON_WORD);
    EXPECT_EQ(music_position(), 0u);

    // data_offset holds no valid value: the stream is not placed.
    place_embedded_music();
    EXPECT_EQ(block().data_ready, POISON_WORD);
    EXPECT_EQ(block().data_length, POISON_WORD);
    EXPECT_EQ(block().restart, POISON_WORD);

    size_t sleeps = clock_->sleep_count();
    stop_music_thread();
    EXPECT_EQ(clock_->sleep_count(), sleeps);  // no 10 ms wait
    EXPECT_EQ(shared_memory_base(), nullptr);
    EXPECT_EQ(console_->os_record().mappings_live, mappings_before);
}

}  // namespace
}  // namespace korvax::test
