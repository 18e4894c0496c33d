#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "host/console.h"
#include "board/board.h"
#include "platform/hardware.h"
#include "runtime/runtime.h"

namespace korvax {
namespace {

using host::Button;
using host::Clock;
using host::Console;
using host::ConsoleConfig;
using host::ManualClock;

struct RegisterWrite {
    uint32_t offset;
    uint16_t value;
};

// Maps the windows the way start_hardware does, on a console with a manual clock.
class HardwareTest : public ::testing::Test {
protected:
    void SetUp() override { make_console(1); }
    void TearDown() override {
        register_window = nullptr;
        video_window = nullptr;
        host::set_active_console(nullptr);
    }

    void make_console(uint16_t vsync_mode) {
        ConsoleConfig config;
        config.vsync_mode = vsync_mode;
        auto clock = std::make_unique<ManualClock>();
        clock_ = clock.get();
        console_ = std::make_unique<Console>(config, std::move(clock));
        host::set_active_console(console_.get());
        writes_.clear();
        console_->set_register_probe([this](uint32_t offset, uint16_t value) { writes_.push_back({offset, value}); });
        memory_fd = board_open_memory();
        register_window = board_map_physical(memory_fd, REGISTER_WINDOW_PHYS, REGISTER_WINDOW_BYTES);
        video_window = board_map_physical(memory_fd, VIDEO_WINDOW_PHYS, VIDEO_WINDOW_BYTES);
        ASSERT_NE(register_window, nullptr);
        ASSERT_NE(video_window, nullptr);
    }

    std::unique_ptr<Console> console_;
    ManualClock* clock_ = nullptr;
    std::vector<RegisterWrite> writes_;  // every register write, in order
};

TEST_F(HardwareTest, FlipsAlternateStartingWithBufferAWithTheExactWrites) {
    front_is_a = 0;
    uint16_t* first_hidden = hidden_buffer();
    EXPECT_EQ(reinterpret_cast<uint8_t*>(first_hidden), console_->video() + HW_BUFFER_A_OFFSET);

    flip_frame();
    EXPECT_EQ(console_->display_address(), 0x02900000u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(hidden_buffer()), console_->video() + HW_BUFFER_B_OFFSET);
    flip_frame();
    EXPECT_EQ(console_->display_address(), 0x02980000u);
    flip_frame();
    EXPECT_EQ(console_->display_address(), 0x02900000u);

    const std::vector<RegisterWrite>& writes = writes_;
    const RegisterWrite expected[] = {
        {0x290E, 0}, {0x2912, 0}, {0x2910, 0x0290}, {0x2914, 0x0290},
        {0x290E, 0}, {0x2912, 0}, {0x2910, 0x0298}, {0x2914, 0x0298},
        {0x290E, 0}, {0x2912, 0}, {0x2910, 0x0290}, {0x2914, 0x0290},
    };
    ASSERT_EQ(writes.size(), std::size(expected));
    for (size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i].offset, expected[i].offset) << i;
        EXPECT_EQ(writes[i].value, expected[i].value) << i;
    }
    EXPECT_EQ(console_->flips(), 3u);
}

TEST_F(HardwareTest, PresentCopiesTheBackBufferFromScreenRowTwo) {
    static FrameBuffer frame;
    for (int i = 0; i < FRAME_PIXELS; ++i) frame.pixels[i] = static_cast<uint16_t>(i | 1);
    set_back_buffer(&frame);
    front_is_a = 0;
    std::memset(console_->video() + HW_BUFFER_A_OFFSET, 0xAB, FRAME_BYTES);
    present_frame();
    const uint16_t* screen = reinterpret_cast<const uint16_t*>(console_->video() + HW_BUFFER_A_OFFSET);
    EXPECT_EQ(screen[0], 0xABAB);
    EXPECT_EQ(screen[2 * 320 - 1], 0xABAB);
    for (int row = 0; row < 236; ++row) {
        ASSERT_EQ(screen[(row + 2) * 320], frame.pixels[row * 320]) << row;
        ASSERT_EQ(screen[(row + 2) * 320 + 319], frame.pixels[row * 320 + 319]) << row;
    }
    EXPECT_EQ(screen[238 * 320], 0xABAB);
    EXPECT_EQ(screen[239 * 320 + 319], 0xABAB);
}

TEST_F(HardwareTest, ButtonWordIsActiveLowWithOnlyItsBits) {
    EXPECT_EQ(read_buttons(), 0u);
    EXPECT_EQ(exit_pressed(), 0);

    console_->set_button(Button::Exit, true);
    EXPECT_EQ(read_buttons(), 0x100u);
    EXPECT_EQ(exit_pressed(), 1);
    console_->set_button(Button::Exit, false);

    console_->set_button(Button::VolumeDown, true);
    EXPECT_EQ(read_buttons(), 0x400000u);
    console_->set_button(Button::VolumeUp, true);
    EXPECT_EQ(read_buttons(), 0xC00000u);
    EXPECT_EQ(exit_pressed(), 0);

    // Lines pulled low on the bus that the word does not carry stay out of it;
    // a released line (1) never sets a bit.
    console_->poke_register(REG_BUTTONS_LOW, 0x00FF);    // every button line low, bits 0..7 high
    console_->poke_register(REG_BUTTONS_HIGH, 0x0000);   // every line low
    EXPECT_EQ(read_buttons(), 0x08C0FF00u);
    EXPECT_EQ(read_buttons() & 0xFFu, 0u);
}

TEST_F(HardwareTest, WaitVsyncEdgeModeEndsAtTheRisingEdge) {
    // Mode 1 in the middle of a blank: first the blank must end, then the next one begin.
    clock_->set(Clock::BLANK_NS / 2);
    wait_vsync();
    EXPECT_EQ(clock_->now_ns(), Clock::FRAME_NS);
    // Outside the blank it ends at the next frame start.
    clock_->set(Clock::FRAME_NS + Clock::BLANK_NS + 5);
    wait_vsync();
    EXPECT_EQ(clock_->now_ns(), 2 * Clock::FRAME_NS);
}

TEST_F(HardwareTest, WaitVsyncLevelModeReturnsAtOnceWhileTheBitIsHigh) {
    make_console(0);
    clock_->set(Clock::FRAME_NS + 10);  // inside a blank
    wait_vsync();
    EXPECT_EQ(clock_->now_ns(), Clock::FRAME_NS + 10);
    clock_->set(Clock::FRAME_NS + Clock::BLANK_NS);  // just after it
    wait_vsync();
    EXPECT_EQ(clock_->now_ns(), 2 * Clock::FRAME_NS);
}

}  // namespace
}  // namespace korvax
