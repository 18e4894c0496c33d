// The coprocessor program's control loop, run natively over a host buffer
// standing in for its memory, with a scripted decoder in place of Tremor (and
// once with the host's own Tremor).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "coprocessor/heap.h"
#include "coprocessor/memory_map.h"
#include "coprocessor/program.h"
#include "tests/coprocessor/support/coprocessor_rig.h"

namespace korvax {
namespace {

// A decoder whose k-th sample after an open is known, and whose failures
// and appetite for memory the test chooses.
struct FakeDecoder {
    uint32_t samples = 100000;    // per pass through the stream
    bool fail_reads = false;
    uint32_t allocate_per_read = 0;
    uint32_t allocate_at_open = 0;
    int opens = 0;
    int reads = 0;
    int clears = 0;
    uint32_t produced = 0;        // samples since the last open
    bool saw_stream_start = false;
    long stream_length = -1;
};
FakeDecoder fake;

int16_t fake_sample(uint32_t k) { return static_cast<int16_t>((k * 2654435761u) >> 16); }

int fake_open(void* source, OggVorbis_File*, const char*, long, ov_callbacks callbacks) {
    ++fake.opens;
    fake.produced = 0;
    char head[4] = {};
    fake.saw_stream_start = callbacks.read_func(head, 1, 4, source) == 4 && std::memcmp(head, "OggS", 4) == 0;
    callbacks.seek_func(source, 0, SEEK_END);
    fake.stream_length = callbacks.tell_func(source);
    callbacks.seek_func(source, 0, SEEK_SET);
    if (fake.allocate_at_open) heap_allocate(decoder_heap, fake.allocate_at_open);
    return 0;
}

long fake_read(OggVorbis_File*, char* buffer, int length, int*) {
    ++fake.reads;
    if (fake.fail_reads) return OV_EREAD;
    if (fake.allocate_per_read) heap_allocate(decoder_heap, fake.allocate_per_read);
    uint32_t n = std::min(static_cast<uint32_t>(length) / 2, fake.samples - fake.produced);
    for (uint32_t i = 0; i < n; ++i) {
        int16_t s = fake_sample(fake.produced + i);
        std::memcpy(buffer + 2 * i, &s, 2);
    }
    fake.produced += n;
    return static_cast<long>(n * 2);
}

int fake_clear(OggVorbis_File*) {
    ++fake.clears;
    return 0;
}

int16_t scaled(int16_t s, uint32_t volume) { return static_cast<int16_t>((s * static_cast<int32_t>(volume)) >> 8); }

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_.assign(WINDOW_BYTES, 0);
        coprocessor_window = reinterpret_cast<uintptr_t>(window_.data());
        saved_calls_ = decoder_calls;
        decoder_calls = {fake_open, fake_read, fake_clear};
        fake = FakeDecoder{};
        block_ = at_address<volatile AudioControlBlock>(CONTROL_ADDRESS);
        block_->data_offset = MUSIC_DATA_OFFSET;
        block_->volume = 180;
        std::memcpy(window_.data() + MUSIC_DATA_OFFSET, "OggS-not-really-a-stream", 24);
        block_->data_length = 24;
        coprocessor_init(program_);
    }
    void TearDown() override {
        decoder_calls = saved_calls_;
        coprocessor_window = 0;
    }

    void steps(int n) {
        for (int i = 0; i < n; ++i) coprocessor_step(program_);
    }
    // Steps like the coprocessor and, every 8 steps (a step decodes at most
    // 1,024 samples, so the ring keeps up), takes a full buffer like the
    // output thread, A and B strictly alternating, until `count` samples.
    std::vector<int16_t> play(size_t count, int limit = 100000) {
        std::vector<int16_t> out;
        for (int step = 1; out.size() < count && step < limit; ++step) {
            coprocessor_step(program_);
            volatile uint32_t& fill = next_b_ ? block_->fill_b : block_->fill_a;
            if (step % 8 != 0 || fill == 0) continue;
            volatile int16_t* pcm = next_b_ ? block_->pcm_b : block_->pcm_a;
            for (uint32_t i = 0; i < PCM_BUFFER_SAMPLES; ++i) out.push_back(static_cast<int16_t>(pcm[i]));
            fill = 0;
            next_b_ = !next_b_;
            // Every buffer taken was filled whole.
            EXPECT_EQ(block_->position, out.size() + pending());
        }
        return out;
    }
    uint32_t pending() { return (block_->fill_a ? 4096u : 0u) + (block_->fill_b ? 4096u : 0u); }
    const int16_t* ring() { return at_address<const int16_t>(RING_ADDRESS); }
    void raise_stream() {
        block_->data_ready = 1;
        block_->restart = 1;
    }

    std::vector<uint8_t> window_;
    DecoderCalls saved_calls_{};
    volatile AudioControlBlock* block_ = nullptr;
    CoprocessorProgram program_{};
    bool next_b_ = false;
};

TEST_F(ProgramTest, OpensOnlyOnceDataIsReadyAndFillsOnlyOnceTheRingHasPrimed) {
    block_->restart = 1;
    block_->play = 1;
    steps(10);
    EXPECT_EQ(block_->restart, 0u);
    EXPECT_EQ(fake.opens, 0);  // data_ready is 0: the stream is being written

    block_->data_ready = 1;
    steps(1);
    EXPECT_EQ(fake.opens, 1);
    EXPECT_EQ(fake.reads, 0);  // opening is a step of its own
    EXPECT_TRUE(fake.saw_stream_start);
    EXPECT_EQ(fake.stream_length, 24);

    // 1,024 samples a chunk: 25 chunks pass the 25,000 mark, then a step
    // that only notes the ring is primed, then a step that fills A and B.
    for (int i = 0; i < 26; ++i) {
        steps(1);
        ASSERT_EQ(block_->fill_a, 0u);
        ASSERT_EQ(block_->position, 0u);
    }
    EXPECT_EQ(fake.reads, 25);
    EXPECT_EQ(program_.ring_primed, 1u);
    EXPECT_EQ(ring_count(program_), 25600u);
    steps(1);
    ASSERT_EQ(block_->fill_a, 1u);
    ASSERT_EQ(block_->fill_b, 1u);
    EXPECT_EQ(block_->position, 8192u);
    for (uint32_t i = 0; i < 4096; ++i) {
        ASSERT_EQ(block_->pcm_a[i], scaled(fake_sample(i), 180)) << i;
        ASSERT_EQ(block_->pcm_b[i], scaled(fake_sample(4096 + i), 180)) << i;
    }
}

TEST_F(ProgramTest, WithoutPlayDecodingStopsAtTheLowWaterMark) {
    raise_stream();
    steps(200);
    EXPECT_EQ(fake.reads, 25);
    EXPECT_EQ(ring_count(program_), 25600u);
    EXPECT_EQ(block_->fill_a, 0u);
    EXPECT_EQ(block_->fill_b, 0u);
    EXPECT_EQ(block_->position, 0u);
}

TEST_F(ProgramTest, TheEndOfTheStreamReopensItAndThePositionRunsOnAcrossTheLoopAndTheRingsWrap) {
    fake.samples = 10000;
    raise_stream();
    block_->play = 1;
    block_->volume = 77;
    std::vector<int16_t> out = play(130000);
    ASSERT_GE(out.size(), 130000u);
    for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], scaled(fake_sample(i % 10000), 77)) << i;
    EXPECT_EQ(block_->position, out.size() + pending());
    EXPECT_GE(fake.opens, 13);
    EXPECT_EQ(fake.clears, fake.opens - 1);  // every finished instance was cleared
}

TEST_F(ProgramTest, RestartEmptiesTheRingAndAbandonsTheInstanceWithoutClearingIt) {
    raise_stream();
    block_->play = 1;
    std::vector<int16_t> first = play(3 * 4096);
    ASSERT_EQ(first.size(), 3u * 4096);
    block_->fill_a = 0;
    block_->fill_b = 0;
    next_b_ = false;

    block_->restart = 1;
    steps(1);
    EXPECT_EQ(block_->restart, 0u);
    EXPECT_EQ(block_->position, 0u);
    EXPECT_EQ(ring_count(program_), 0u);
    EXPECT_EQ(program_.ring_primed, 0u);
    EXPECT_EQ(fake.clears, 0);
    EXPECT_EQ(fake.opens, 2);  // the same step reopened: data_ready is still 1
    EXPECT_EQ(decoder_heap.top, HEAP_BASE);

    std::vector<int16_t> again = play(4096);
    ASSERT_EQ(again.size(), 4096u);
    for (uint32_t i = 0; i < 4096; ++i) ASSERT_EQ(again[i], scaled(fake_sample(i), 180)) << i;
}

TEST_F(ProgramTest, AFailingDecoderIsClearedAndReopenedWithoutEverFilling) {
    fake.fail_reads = true;
    raise_stream();
    block_->play = 1;
    steps(20);
    EXPECT_EQ(fake.opens, 10);  // open, fail, open, fail...
    EXPECT_EQ(fake.reads, 10);
    EXPECT_EQ(fake.clears, 10);
    EXPECT_EQ(ring_count(program_), 0u);
    EXPECT_EQ(block_->fill_a, 0u);
    EXPECT_EQ(block_->position, 0u);
}

TEST_F(ProgramTest, ADecoderThatExhaustsTheHeapIsAbandonedAndTheStreamReopened) {
    fake.allocate_per_read = 100000;  // seven reads fit below the control block
    raise_stream();
    steps(1 + 7);
    EXPECT_EQ(ring_count(program_), 7u * 1024);
    steps(1);  // the eighth read runs out of memory
    EXPECT_EQ(program_.out_of_memory, 1u);
    EXPECT_EQ(fake.clears, 0);  // a lost instance is not cleared
    EXPECT_EQ(program_.decoder_open, 0u);
    EXPECT_EQ(decoder_heap.top, HEAP_BASE);
    EXPECT_EQ(block_->volume, 180u);  // the control block after the heap is intact
    EXPECT_EQ(block_->data_offset, MUSIC_DATA_OFFSET);
    steps(2);  // reopen, read: the new instance starts the stream over
    EXPECT_EQ(fake.opens, 2);
    EXPECT_EQ(ring()[7 * 1024], fake_sample(0));
    EXPECT_EQ(ring()[7 * 1024 - 1], fake_sample(7 * 1024 - 1));

    // Running out while opening: the instance is not read, not cleared, and
    // opened again a step later.
    fake = FakeDecoder{};
    fake.allocate_at_open = 800000;
    block_->restart = 1;
    steps(6);
    EXPECT_EQ(fake.opens, 3);
    EXPECT_EQ(fake.reads, 0);
    EXPECT_EQ(fake.clears, 0);
    EXPECT_EQ(program_.out_of_memory, 1u + 3u);
    EXPECT_LE(decoder_heap.top, HEAP_LIMIT);
}

// A length that reaches the ring (0xE00000) or an offset outside the stream
// area is cut back to the area: the decoder never reads the ring as stream.
TEST_F(ProgramTest, TheStreamIsReadOnlyInsideTheStreamAreaBelowTheRing) {
    block_->data_length = 0x800000;  // 0x700000 + 0x800000 passes 0xE00000
    raise_stream();
    steps(1);
    ASSERT_EQ(fake.opens, 1);
    EXPECT_EQ(fake.stream_length, 0xE00000 - 0x700000);

    block_->data_offset = MUSIC_DATA_OFFSET + 0x100;
    block_->data_length = 0x700000;
    raise_stream();
    steps(1);
    ASSERT_EQ(fake.opens, 2);
    EXPECT_EQ(fake.stream_length, 0xE00000 - 0x700000 - 0x100);

    block_->data_offset = RING_ADDRESS + 0x10;
    block_->data_length = 100;
    raise_stream();
    steps(1);
    ASSERT_EQ(fake.opens, 3);
    EXPECT_EQ(fake.stream_length, 0);
    EXPECT_FALSE(fake.saw_stream_start);
}

TEST_F(ProgramTest, TheStreamCallbacksStayWithinTheStream) {
    std::memcpy(window_.data() + MUSIC_DATA_OFFSET, "abcdefghij", 10);
    stream_cursor = {MUSIC_DATA_OFFSET, 10, 0};
    char buffer[16] = {};
    EXPECT_EQ(stream_read(buffer, 1, 4, nullptr), 4u);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_EQ(stream_read(buffer, 2, 4, nullptr), 6u);  // 8 asked, 6 left
    EXPECT_EQ(std::string(buffer, 6), "efghij");
    EXPECT_EQ(stream_read(buffer, 1, 4, nullptr), 0u);
    EXPECT_EQ(stream_seek(nullptr, 3, SEEK_SET), 3);
    EXPECT_EQ(stream_tell(nullptr), 3);
    EXPECT_EQ(stream_read(buffer, 1, 1, nullptr), 1u);
    EXPECT_EQ(buffer[0], 'd');
    EXPECT_EQ(stream_seek(nullptr, -10, SEEK_CUR), 0);
    EXPECT_EQ(stream_seek(nullptr, 100, SEEK_CUR), 10);
    EXPECT_EQ(stream_seek(nullptr, -5, SEEK_END), 10);  // the offset is not used
    EXPECT_EQ(stream_seek(nullptr, 20, SEEK_SET), 20);
    EXPECT_EQ(stream_read(buffer, 1, 4, nullptr), 0u);
    EXPECT_EQ(stream_close(nullptr), 0);
}

TEST_F(ProgramTest, WithTheHostsTremorThePCMIsItsDecodeScaledByTheVolume) {
    decoder_calls = saved_calls_;  // the host's libvorbisidec
    std::vector<uint8_t> stream = test::make_stream(1.0, 0.2);
    ASSERT_FALSE(stream.empty());
    std::vector<int16_t> reference = test::reference_decode(stream);
    std::memcpy(window_.data() + MUSIC_DATA_OFFSET, stream.data(), stream.size());
    block_->data_length = static_cast<uint32_t>(stream.size());
    raise_stream();
    block_->play = 1;
    std::vector<int16_t> out = play(reference.size() + 8192);
    ASSERT_GE(out.size(), reference.size() + 8192);
    for (size_t i = 0; i < out.size(); ++i) {
        ASSERT_EQ(out[i], scaled(reference[i % reference.size()], 180)) << i;
    }
}

}  // namespace
}  // namespace korvax
