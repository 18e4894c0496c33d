// The music host on the GP2X board, over the stand-in devices: the output
// thread is a raw-clone thread, the shared window a mapping of the stand-in
// memory file and the sound device a FIFO drained by a reader thread. The
// test plays the coprocessor's part by filling the PCM buffers.
#include <stdlib.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "assets/assets.h"
#include "board/board.h"
#include "board/gp2x/syscalls.h"
#include "board/gp2x/thread.h"
#include "board/mapped.h"
#include "board/mmsp2.h"
#include "music/music_host.h"

namespace korvax {
namespace {

using namespace gp2x;

std::string root() {
    const char* r = getenv("KORVAX_GP2X_DEVICE_ROOT");
    return r ? r : "";
}

constexpr uint32_t BUFFERS_READ = 4;

struct DspReader {
    uint8_t bytes[BUFFERS_READ * PCM_BUFFER_BYTES];
    volatile uint32_t total = 0;
    volatile uint32_t release = 0;
};
DspReader reader;

// Reads four buffers, then holds its end open without reading until released.
void read_four_buffers(void*) {
    const int fd = sys_open((root() + "/dev/dsp").c_str(), K_O_RDONLY, 0);
    if (fd < 0) return;
    while (reader.total < sizeof reader.bytes) {
        int32_t n = sys_read(fd, reader.bytes + reader.total, sizeof reader.bytes - reader.total);
        if (n <= 0) break;
        reader.total = reader.total + static_cast<uint32_t>(n);
    }
    while (reader.release == 0) board_sleep_us(1000);
    sys_close(fd);
}

template <typename F>
bool eventually(F condition) {
    for (int i = 0; i < 2000; ++i) {
        if (condition()) return true;
        board_sleep_us(2000);
    }
    return condition();
}

void fill(int16_t* pcm, int16_t tag) {
    for (uint32_t i = 0; i < PCM_BUFFER_SAMPLES; ++i) pcm[i] = static_cast<int16_t>(tag * 1000 + (i & 511));
}

int16_t tag_of(uint32_t buffer) {
    int16_t first;
    memcpy(&first, reader.bytes + buffer * PCM_BUFFER_BYTES, 2);
    return static_cast<int16_t>(first / 1000);
}

TEST(Gp2xMusicHost, TheOutputThreadWritesFullBuffersStrictlyInTurnAndEndsWhenAsked) {
    ASSERT_FALSE(root().empty());
    sys_mkdir(root().c_str(), 0755);
    sys_mkdir((root() + "/dev").c_str(), 0755);
    const std::string mem = root() + "/dev/mem";
    int fd = sys_open(mem.c_str(), K_O_RDWR | K_O_CREAT | K_O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    int64_t at = 0;
    ASSERT_EQ(sys_llseek(fd, REGISTER_WINDOW_PHYS + REGISTER_WINDOW_BYTES - 1, &at, 0), 0);
    ASSERT_EQ(sys_write(fd, "", 1), 1);
    sys_close(fd);
    sys_unlink((root() + "/dev/dsp").c_str());
    ASSERT_EQ(sys_mknod((root() + "/dev/dsp").c_str(), K_S_IFIFO | 0644, 0), 0);

    memory_fd = board_open_memory();
    ASSERT_GE(memory_fd, 0);
    register_window = board_map_physical(memory_fd, REGISTER_WINDOW_PHYS, REGISTER_WINDOW_BYTES);
    ASSERT_NE(register_window, nullptr);
    ASSERT_EQ(board_create_thread(read_four_buffers, nullptr), 0);

    start_music_thread();
    ASSERT_TRUE(eventually([] { return music_block_initialised() != 0; }));
    AudioControlBlock* block = audio_control_block();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(read_register(REG_COPRO_CONTROL), 3) << "released from reset, bank 3";
    const Blob image = embedded_asset(AssetId::COPROCESSOR_IMAGE);
    ASSERT_GT(image.size, 0u);
    EXPECT_EQ(memcmp(shared_memory_base(), image.data, image.size), 0) << "the image at the coprocessor's 0";
    EXPECT_EQ(get_volume(), static_cast<int32_t>(MUSIC_START_VOLUME));

    // Both full: A, then B.
    fill(block->pcm_a, 1);
    fill(block->pcm_b, 2);
    board_store_release(&block->fill_a, 1);
    board_store_release(&block->fill_b, 1);
    ASSERT_TRUE(eventually([&] { return board_load_acquire(&block->fill_b) == 0; }));
    EXPECT_EQ(board_load_acquire(&block->fill_a), 0u);
    // B filled out of turn waits for A.
    fill(block->pcm_b, 3);
    board_store_release(&block->fill_b, 1);
    board_sleep_us(50000);
    EXPECT_EQ(board_load_acquire(&block->fill_b), 1u) << "B was written before A";
    fill(block->pcm_a, 4);
    board_store_release(&block->fill_a, 1);
    ASSERT_TRUE(eventually([] { return reader.total == sizeof reader.bytes; }));
    EXPECT_EQ(tag_of(0), 1);
    EXPECT_EQ(tag_of(1), 2);
    EXPECT_EQ(tag_of(2), 4);
    EXPECT_EQ(tag_of(3), 3);

    board_store_release(&block->position, 88200);
    EXPECT_EQ(music_position(), 88200u);

    stop_music_thread();
    EXPECT_EQ(music_thread_running(), 0u);
    EXPECT_EQ(shared_memory_base(), nullptr);
    EXPECT_EQ(read_register(REG_COPRO_CONTROL), COPRO_RESET_BIT | 3) << "held in reset";
    reader.release = 1;
    ASSERT_TRUE(eventually([] { return threads_alive() == 0; }));
    board_unmap_physical(register_window, REGISTER_WINDOW_BYTES);
    register_window = nullptr;
    board_close_memory(memory_fd);
    memory_fd = -1;
}

}  // namespace
}  // namespace korvax
