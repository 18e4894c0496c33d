// The console's count of sound buffers handed to the device with samples left
// over from their last use: more samples written than the coprocessor put
// into its buffers (its music position) means the decoder fell behind.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "host/console.h"
#include "music/audio_control_block.h"
#include "tests/support/step_clock.h"

namespace korvax::host {
namespace {

void set_word(Console& console, size_t field, uint32_t value) {
    std::memcpy(console.shared() + CONTROL_BLOCK_OFFSET + field, &value, 4);
}

TEST(KeepingUp, BuffersWrittenBeyondTheMusicPositionAreStaleWhileTheMusicPlays) {
    ConsoleConfig config;
    config.pace_coprocessor = false;
    config.pcm_words = true;
    config.pcm_position_offset = CONTROL_BLOCK_OFFSET + offsetof(AudioControlBlock, position);
    config.pcm_play_offset = CONTROL_BLOCK_OFFSET + offsetof(AudioControlBlock, play);
    Console console(config, std::make_unique<test::StepClock>(0));
    std::vector<uint8_t> buffer(8192, 1);  // 4,096 samples
    set_word(console, offsetof(AudioControlBlock, play), 1);
    int fd = console.sound_open();
    ASSERT_GE(fd, 0);

    // The coprocessor is a buffer ahead: nothing stale.
    set_word(console, offsetof(AudioControlBlock, position), 8192);
    console.sound_write(fd, buffer.data(), 8192);
    console.sound_write(fd, buffer.data(), 8192);
    EXPECT_FALSE(console.keeping_up().any());

    // The third buffer got only 1,000 fresh samples before its flag went up.
    set_word(console, offsetof(AudioControlBlock, position), 8192 + 1000);
    console.sound_write(fd, buffer.data(), 8192);
    KeepingUp k = console.keeping_up();
    EXPECT_EQ(k.stale_buffers, 1u);
    EXPECT_EQ(k.stale_samples, 3096u);

    // Caught up again: the old lag is not counted twice.
    set_word(console, offsetof(AudioControlBlock, position), 4 * 4096 + 1000);
    console.sound_write(fd, buffer.data(), 8192);
    EXPECT_EQ(console.keeping_up().stale_buffers, 1u);

    // The music stopped: the buffer being filled keeps its tail, which is no
    // sign of a slow machine.
    set_word(console, offsetof(AudioControlBlock, play), 0);
    console.sound_write(fd, buffer.data(), 8192);
    console.sound_write(fd, buffer.data(), 8192);
    EXPECT_EQ(console.keeping_up().stale_buffers, 1u);
    EXPECT_EQ(console.keeping_up().stale_samples, 3096u);

    // A restart counts from the new stream's start.
    console.sound_close(fd);
    set_word(console, offsetof(AudioControlBlock, play), 1);
    set_word(console, offsetof(AudioControlBlock, position), 0);
    fd = console.sound_open();
    set_word(console, offsetof(AudioControlBlock, position), 4096);
    console.sound_write(fd, buffer.data(), 8192);
    EXPECT_EQ(console.keeping_up().stale_buffers, 1u);
    console.sound_close(fd);
}

}  // namespace
}  // namespace korvax::host
