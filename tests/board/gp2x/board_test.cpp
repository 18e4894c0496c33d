// The GP2X board over stand-ins of its devices under $KORVAX_GP2X_DEVICE_ROOT:
// a sparse file as /dev/mem (mapped at the MMSP2's physical addresses, as
// qemu maps it), a file or a FIFO as /dev/dsp.
#include <stdlib.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "board/gp2x/syscalls.h"
#include "board/gp2x/thread.h"
#include "board/board.h"
#include "board/mmsp2.h"

namespace korvax {
namespace {

using namespace gp2x;

constexpr uint64_t MEMORY_FILE_BYTES = 0xC0010000ull;  // up to the end of the register window

std::string root() {
    const char* r = getenv("KORVAX_GP2X_DEVICE_ROOT");
    return r ? r : "";
}

int32_t open_under_root(const char* path, int32_t flags) {
    return sys_open((root() + path).c_str(), flags, 0644);
}

void put_bytes(int fd, uint64_t offset, const void* data, uint32_t n) {
    int64_t at = 0;
    ASSERT_EQ(sys_llseek(fd, offset, &at, 0), 0);
    ASSERT_EQ(sys_write(fd, data, n), static_cast<int32_t>(n));
}

void get_bytes(int fd, uint64_t offset, void* data, uint32_t n) {
    int64_t at = 0;
    ASSERT_EQ(sys_llseek(fd, offset, &at, 0), 0);
    ASSERT_EQ(sys_read(fd, data, n), static_cast<int32_t>(n));
}

class Gp2xBoard : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(root().empty()) << "KORVAX_GP2X_DEVICE_ROOT is not set";
        sys_mkdir(root().c_str(), 0755);
        sys_mkdir((root() + "/dev").c_str(), 0755);
        // A sparse stand-in for physical memory: only written pages take room.
        int fd = open_under_root("/dev/mem", K_O_RDWR | K_O_CREAT | K_O_TRUNC);
        ASSERT_GE(fd, 0);
        const uint8_t zero = 0;
        put_bytes(fd, MEMORY_FILE_BYTES - 1, &zero, 1);
        sys_close(fd);
        sys_unlink((root() + "/dev/dsp").c_str());
    }
};

TEST_F(Gp2xBoard, WindowsMapThePhysicalAddressesAndTheRegistersAreHalfwords) {
    const int fd = board_open_memory();
    ASSERT_GE(fd, 0);
    void* regs = board_map_physical(fd, REGISTER_WINDOW_PHYS, REGISTER_WINDOW_BYTES);
    void* video = board_map_physical(fd, VIDEO_WINDOW_PHYS, VIDEO_WINDOW_BYTES);
    void* shared = board_map_physical(fd, SHARED_WINDOW_PHYS, SHARED_WINDOW_BYTES);
    ASSERT_NE(regs, nullptr);
    ASSERT_NE(video, nullptr);
    ASSERT_NE(shared, nullptr);

    const int file = open_under_root("/dev/mem", K_O_RDWR);
    ASSERT_GE(file, 0);
    // Stores through the windows land at the physical addresses.
    board_write16(regs, REG_DISPLAY_ADDR1_HIGH, 0x0298);
    board_write16(regs, REG_DISPLAY_ADDR1_HIGH + 2, 0xBEEF);  // the neighbour is untouched by the first
    static_cast<uint16_t*>(video)[HW_BUFFER_A_OFFSET / 2] = 0xF800;
    static_cast<uint8_t*>(shared)[SHARED_WINDOW_BYTES - 1] = 0x5A;
    uint8_t got[4] = {};
    get_bytes(file, REGISTER_WINDOW_PHYS + REG_DISPLAY_ADDR1_HIGH, got, 4);
    EXPECT_EQ(got[0], 0x98);
    EXPECT_EQ(got[1], 0x02);
    EXPECT_EQ(got[2], 0xEF);
    EXPECT_EQ(got[3], 0xBE);
    get_bytes(file, 0x2900000, got, 2);
    EXPECT_EQ(got[0], 0x00);
    EXPECT_EQ(got[1], 0xF8);
    get_bytes(file, 0x3F7FFFF, got, 1);
    EXPECT_EQ(got[0], 0x5A);

    // And what the hardware changes is read back through them.
    const uint8_t vsync[2] = {0x10, 0x00};
    put_bytes(file, REGISTER_WINDOW_PHYS + REG_VSYNC_STATUS, vsync, 2);
    EXPECT_EQ(board_read16(regs, REG_VSYNC_STATUS), VSYNC_BIT);

    sys_close(file);
    board_unmap_physical(shared, SHARED_WINDOW_BYTES);
    board_unmap_physical(video, VIDEO_WINDOW_BYTES);
    board_unmap_physical(regs, REGISTER_WINDOW_BYTES);
    board_close_memory(fd);
}

TEST_F(Gp2xBoard, MappingsThatCannotBeMadeGiveNull) {
    const int fd = board_open_memory();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(board_map_physical(fd, REGISTER_WINDOW_PHYS + 2, 4096), nullptr) << "not on a page";
    EXPECT_EQ(board_map_physical(-1, REGISTER_WINDOW_PHYS, 4096), nullptr);
    board_close_memory(fd);
}

TEST_F(Gp2xBoard, WithoutTheStandInRootNoDeviceOpens) {
    const std::string saved = root();
    unsetenv("KORVAX_GP2X_DEVICE_ROOT");
    EXPECT_LT(board_open_memory(), 0);
    EXPECT_LT(board_sound_open(), 0);
    EXPECT_NE(board_change_directory("/"), 0);
    setenv("KORVAX_GP2X_DEVICE_ROOT", saved.c_str(), 1);
    const int fd = board_open_memory();
    EXPECT_GE(fd, 0);
    board_close_memory(fd);
}

TEST_F(Gp2xBoard, SoundWritesReachTheDeviceWholeAndIoctlsOnAFileFail) {
    const int create = open_under_root("/dev/dsp", K_O_WRONLY | K_O_CREAT | K_O_TRUNC);
    ASSERT_GE(create, 0);
    sys_close(create);
    const int fd = board_sound_open();
    ASSERT_GE(fd, 0);
    // A plain file is no sound card: the program plays on regardless.
    EXPECT_EQ(board_sound_ioctl(fd, BOARD_DSP_SPEED, 44100), -1);
    static uint8_t block[8192];
    for (int b = 0; b < 3; ++b) {
        for (uint32_t i = 0; i < sizeof block; ++i) block[i] = static_cast<uint8_t>(i * 7 + b);
        EXPECT_EQ(board_sound_write(fd, block, sizeof block), 8192);
    }
    board_sound_close(fd);
    const int file = open_under_root("/dev/dsp", K_O_RDONLY);
    ASSERT_GE(file, 0);
    static uint8_t back[3 * 8192 + 1];
    EXPECT_EQ(sys_read(file, back, sizeof back), 3 * 8192);
    for (int b = 0; b < 3; ++b) {
        for (uint32_t i = 0; i < 8192; i += 97) ASSERT_EQ(back[b * 8192 + i], static_cast<uint8_t>(i * 7 + b));
    }
    sys_close(file);
}

// A FIFO takes 64 KiB at most before a write blocks; the reader drains it.
struct FifoReader {
    uint32_t total = 0;
    uint32_t mismatches = 0;
};

void drain_fifo(void* p) {
    FifoReader* reader = static_cast<FifoReader*>(p);
    const int fd = open_under_root("/dev/dsp", K_O_RDONLY);
    if (fd < 0) return;
    static uint8_t piece[3000];
    for (;;) {
        int32_t n = sys_read(fd, piece, sizeof piece);
        if (n <= 0) break;
        for (int32_t i = 0; i < n; ++i) {
            if (piece[i] != static_cast<uint8_t>((reader->total + i) * 13 >> 8)) ++reader->mismatches;
        }
        reader->total += static_cast<uint32_t>(n);
    }
    sys_close(fd);
}

TEST_F(Gp2xBoard, BlockingSoundWritesIntoAFifoArriveInOrder) {
    ASSERT_EQ(sys_mknod((root() + "/dev/dsp").c_str(), K_S_IFIFO | 0644, 0), 0);
    static FifoReader reader;
    ASSERT_EQ(board_create_thread(drain_fifo, &reader), 0);
    const int fd = board_sound_open();  // waits for the reader to open its end
    ASSERT_GE(fd, 0);
    static uint8_t block[8192];
    uint32_t written = 0;
    for (int b = 0; b < 12; ++b) {
        for (uint32_t i = 0; i < sizeof block; ++i) block[i] = static_cast<uint8_t>((written + i) * 13 >> 8);
        ASSERT_EQ(board_sound_write(fd, block, sizeof block), 8192);
        written += sizeof block;
    }
    board_sound_close(fd);
    for (int i = 0; i < 1000 && threads_alive() != 0; ++i) board_sleep_us(5000);
    EXPECT_EQ(threads_alive(), 0);
    EXPECT_EQ(reader.total, 12u * 8192u);
    EXPECT_EQ(reader.mismatches, 0u);
}

TEST_F(Gp2xBoard, SleepLastsAtLeastTheTimeAsked) {
    KernelTimeval before, after;
    sys_gettimeofday(&before);
    board_sleep_us(30000);
    sys_gettimeofday(&after);
    const int64_t elapsed = (static_cast<int64_t>(after.tv_sec) - before.tv_sec) * 1000000 + after.tv_usec - before.tv_usec;
    EXPECT_GE(elapsed, 30000);
}

TEST_F(Gp2xBoard, TheMenuFolderAndProgramLieUnderTheRootAndAMissingOneFails) {
    EXPECT_EQ(board_change_directory("/dev"), 0);
    const int fd = sys_open("mem", K_O_RDONLY, 0);  // relative to the new directory
    EXPECT_GE(fd, 0);
    sys_close(fd);
    EXPECT_EQ(board_change_directory("/no-such-folder"), -1);
    char arg0[] = "gp2xmenu";
    char* argv[] = {arg0, nullptr};
    char* envp[] = {nullptr};
    EXPECT_EQ(board_replace_process("/usr/gp2x/gp2xmenu", argv, envp), -1);
}

}  // namespace
}  // namespace korvax
