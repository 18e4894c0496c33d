// The console over windows it does not own (the box's memory file): the
// memory it serves is the caller's, the registers with behaviour read as on
// the bus over any stored value, and writes seen after the fact have their
// effects.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/console.h"

namespace korvax::host {
namespace {

struct Outside {
    std::vector<uint8_t> registers = std::vector<uint8_t>(REGISTER_WINDOW_BYTES, 0xEE);
    std::vector<uint8_t> video = std::vector<uint8_t>(VIDEO_WINDOW_BYTES, 0);
    std::vector<uint8_t> shared = std::vector<uint8_t>(SHARED_WINDOW_BYTES, 0);
    ConsoleWindows windows() { return {registers.data(), video.data(), shared.data()}; }
};

std::unique_ptr<Console> console_over(Outside& outside, ManualClock*& clock, int exit_after_flips = -1) {
    ConsoleConfig config;
    config.exit_after_flips = exit_after_flips;
    auto owned = std::make_unique<ManualClock>();
    clock = owned.get();
    return std::make_unique<Console>(config, std::move(owned), outside.windows());
}

TEST(ConsoleWindows, ServesTheCallersMemoryWithPowerOnRegisters) {
    Outside outside;
    ManualClock* clock = nullptr;
    auto console = console_over(outside, clock);
    EXPECT_EQ(console->registers(), outside.registers.data());
    EXPECT_EQ(console->video(), outside.video.data());
    EXPECT_EQ(console->shared(), outside.shared.data());

    // Power-on values land in the caller's register memory; the rest is left.
    auto halfword = [&](uint32_t offset) {
        return static_cast<uint16_t>(outside.registers[offset] | outside.registers[offset + 1] << 8);
    };
    EXPECT_EQ(halfword(REG_BUTTONS_LOW), 0xFF00);
    EXPECT_EQ(halfword(REG_BUTTONS_HIGH), 0xFFFF);
    EXPECT_EQ(halfword(0x2910), VIDEO_WINDOW_PHYS >> 16);
    EXPECT_EQ(halfword(0x0100), 0xEEEE);

    // What another process stores is what the console sees, and scans out.
    int fd = console->open_memory();
    auto* video = static_cast<uint16_t*>(console->map_physical(fd, VIDEO_WINDOW_PHYS, VIDEO_WINDOW_BYTES));
    ASSERT_EQ(reinterpret_cast<uint8_t*>(video), outside.video.data());
    outside.video[0] = 0x34;
    outside.video[1] = 0x12;
    console->scan_out();
    EXPECT_EQ(console->displayed_frame()[0], 0x1234);
}

TEST(ConsoleWindows, BusValuesOverAnyStoredValue) {
    Outside outside;
    ManualClock* clock = nullptr;
    auto console = console_over(outside, clock);

    // The vertical-sync bit follows the clock; the other bits are the stored ones.
    clock->set(0);
    EXPECT_EQ(console->bus_value(REG_VSYNC_STATUS, 0x0003), 0x0013);
    clock->set(Clock::BLANK_NS);
    EXPECT_EQ(console->bus_value(REG_VSYNC_STATUS, 0x0013), 0x0003);

    // Buttons pull their lines low over the value at rest, and let go again.
    console->set_button(Button::Exit, true);
    console->set_button(Button::VolumeDown, true);
    EXPECT_EQ(console->bus_value(REG_BUTTONS_LOW, 0xFF00), 0xFE00);
    EXPECT_EQ(console->bus_value(REG_BUTTONS_HIGH, 0xFFFF), 0xFFBF);
    console->set_button(Button::Exit, false);
    console->set_button(Button::VolumeDown, false);
    EXPECT_EQ(console->bus_value(REG_BUTTONS_LOW, 0xFF00), 0xFF00);
    EXPECT_EQ(console->bus_value(REG_BUTTONS_HIGH, 0xFFFF), 0xFFFF);

    // Registers without behaviour read as stored.
    EXPECT_EQ(console->bus_value(0x2804, 0x1234), 0x1234);
}

TEST(ConsoleWindows, WritesSeenAfterTheFactHaveTheirEffects) {
    Outside outside;
    ManualClock* clock = nullptr;
    auto console = console_over(outside, clock, 2);

    // Flips are counted, and the exit button goes down at the second.
    console->register_written(REG_DISPLAY_ADDR2_HIGH, 0x0290);
    EXPECT_EQ(console->flips(), 1u);
    EXPECT_EQ(console->bus_value(REG_BUTTONS_LOW, 0xFF00) & 0x100, 0x100);
    console->register_written(REG_DISPLAY_ADDR2_HIGH, 0x0298);
    EXPECT_EQ(console->flips(), 2u);
    EXPECT_EQ(console->bus_value(REG_BUTTONS_LOW, 0xFF00) & 0x100, 0);

    // Released from reset and clocked, the ARM940T runs what the shared
    // memory holds at 0: a loop of two instructions here.
    const uint32_t loop[] = {0xE2800001 /* add r0, r0, #1 */, 0xEAFFFFFD /* b 0 */};
    std::memcpy(outside.shared.data(), loop, sizeof loop);
    console->register_written(REG_COPRO_CONTROL, 0x83);
    console->register_written(REG_COPRO_CLOCK, 1);
    EXPECT_FALSE(console->coprocessor().running());
    console->register_written(REG_COPRO_CONTROL, 0x03);
    EXPECT_TRUE(console->coprocessor().running());
    EXPECT_EQ(console->coprocessor().run_instructions(1000), 1000u);
    console->register_written(REG_COPRO_CLOCK, 0);
    EXPECT_FALSE(console->coprocessor().running());
    EXPECT_EQ(console->coprocessor().run_instructions(1000), 0u);
}

}  // namespace
}  // namespace korvax::host
