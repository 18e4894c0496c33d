// The console's emulated ARM940T on small hand-assembled programs: exact
// instruction accounting, the reset and clock lines, faults, idle spins, and
// the console's registers driving it.
#include <gtest/gtest.h>
#include <unicorn/unicorn.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "host/arm940t.h"
#include "host/console.h"

namespace korvax::host {
namespace {

constexpr uint32_t MEMORY = 0x10000;

// Counts in r0 and stores every count at 0x1000:
//   0x00 mov r1, #0x1000 / 0x04 mov r0, #0 / 0x08 add r0, r0, #1 /
//   0x0C str r0, [r1] / 0x10 b 0x08
// The first block runs 0x00..0x10 (5 instructions), then 0x08..0x10 (3).
const uint32_t COUNTER[] = {0xE3A01A01, 0xE3A00000, 0xE2800001, 0xE5810000, 0xEAFFFFFC};

// Waits for a non-zero word at 0x1000, copies it to 0x2000 and stops in a
// branch to itself:
//   0x00 mov r1, #0x1000 / 0x04 ldr r2, [r1] / 0x08 cmp r2, #0 /
//   0x0C beq 0x04 / 0x10 mov r3, #0x2000 / 0x14 str r2, [r3] / 0x18 b 0x18
const uint32_t WAITER[] = {0xE3A01A01, 0xE5912000, 0xE3520000, 0x0AFFFFFC, 0xE3A03A02, 0xE5832000, 0xEAFFFFFE};

class Memory {
public:
    Memory() : bytes_(static_cast<uint8_t*>(std::aligned_alloc(4096, MEMORY))) { std::memset(bytes_, 0, MEMORY); }
    ~Memory() { std::free(bytes_); }
    uint8_t* data() { return bytes_; }
    template <size_t N>
    void load(const uint32_t (&program)[N]) {
        std::memcpy(bytes_, program, sizeof(program));
    }
    uint32_t word(uint32_t address) {
        uint32_t w;
        std::memcpy(&w, bytes_ + address, 4);
        return w;
    }
    void set_word(uint32_t address, uint32_t w) { std::memcpy(bytes_ + address, &w, 4); }

private:
    uint8_t* bytes_;
};

void release(Arm940t& core) {
    core.set_reset(false);
    core.set_clock(true);
}

TEST(Arm940t, ExecutesWholeBlocksWithinTheBudgetAndCarriesTheRest) {
    Memory memory;
    memory.load(COUNTER);
    Arm940t core(memory.data(), MEMORY);
    release(core);

    EXPECT_EQ(core.run_instructions(1000), 1000u);
    // 5 + 331 * 3 = 998 executed; the next block (3) would pass 1000.
    EXPECT_EQ(core.executed_instructions(), 998u);
    EXPECT_EQ(memory.word(0x1000), 332u);
    // The 2 left over carry: a budget of 1 more makes 3, one more block.
    core.run_instructions(1);
    EXPECT_EQ(core.executed_instructions(), 1001u);
    EXPECT_EQ(memory.word(0x1000), 333u);
    EXPECT_EQ(core.instructions(), 1001u);
    // A loop that changes its registers every pass is work, not an idle spin.
    core.run_instructions(3000000);
    EXPECT_EQ(core.executed_instructions(), 3001001u);
    EXPECT_EQ(core.busy_instructions(), core.executed_instructions());
    EXPECT_FALSE(core.idle());
}

TEST(Arm940t, ConsoleTimeConvertsToInstructionsWithoutDrift) {
    Memory memory;
    memory.load(COUNTER);
    Arm940t core(memory.data(), MEMORY);
    release(core);
    uint64_t t = 0;
    for (uint64_t step : {7u, 6u, 3u, 1000003u, 16666667u, 2u}) {
        core.run_between_ns(t, t + step);
        t += step;
    }
    EXPECT_EQ(core.instructions(), t / 5);
}

TEST(Arm940t, RunsOnlyWhileReleasedAndClockedAndRestartsAtZeroOnEveryRelease) {
    Memory memory;
    memory.load(COUNTER);
    Arm940t core(memory.data(), MEMORY);
    EXPECT_EQ(core.run_instructions(100), 0u);  // held in reset since power-on
    core.set_clock(true);
    EXPECT_EQ(core.run_instructions(100), 0u);
    core.set_reset(false);
    EXPECT_TRUE(core.running());
    core.run_instructions(1000);
    EXPECT_EQ(memory.word(0x1000), 332u);

    core.set_clock(false);  // paused: keeps its state
    EXPECT_FALSE(core.running());
    EXPECT_EQ(core.run_instructions(1000), 0u);
    EXPECT_EQ(memory.word(0x1000), 332u);
    core.set_clock(true);
    core.run_instructions(1);
    EXPECT_EQ(memory.word(0x1000), 333u);  // went on where it was

    core.set_reset(true);
    EXPECT_EQ(core.run_instructions(1000), 0u);
    EXPECT_EQ(core.pc(), 0u);
    core.set_reset(false);  // a fresh core from address 0
    core.run_instructions(8);
    EXPECT_EQ(memory.word(0x1000), 2u);
    EXPECT_EQ(core.boots(), 2u);
}

TEST(Arm940t, StopsOnAFaultUntilTheNextRelease) {
    Memory memory;
    const uint32_t undefined[] = {0xE3A00000, 0xE7F000F0};  // mov r0, #0 / udf
    memory.load(undefined);
    Arm940t core(memory.data(), MEMORY);
    release(core);
    core.run_instructions(100);
    EXPECT_TRUE(core.faulted());
    EXPECT_EQ(core.fault_error(), UC_ERR_INSN_INVALID);
    EXPECT_FALSE(core.running());
    EXPECT_EQ(core.run_instructions(100), 0u);

    // A load outside the memory the core has.
    // mov r1, #0x10000000 / ldr r2, [r1] / b .
    const uint32_t unmapped[] = {0xE3A01201, 0xE5912000, 0xEAFFFFFE};
    memory.load(unmapped);
    core.set_reset(true);
    core.set_reset(false);
    EXPECT_FALSE(core.faulted());
    core.run_instructions(100);
    EXPECT_TRUE(core.faulted());
    EXPECT_EQ(core.fault_error(), UC_ERR_READ_UNMAPPED);
}

TEST(Arm940t, AnIdleSpinIsStoppedAndSkippedUntilTheWatchedMemoryChanges) {
    Memory memory;
    memory.load(WAITER);
    Arm940t core(memory.data(), MEMORY);
    core.set_idle_watch(0x1000, 4);
    release(core);

    core.run_instructions(Arm940t::SLICE_INSTRUCTIONS);
    EXPECT_TRUE(core.idle());
    uint64_t executed = core.executed_instructions();
    EXPECT_LT(executed, 20000u);  // found after some thousands, not the slice
    EXPECT_GT(executed - core.busy_instructions(), 0u);
    for (int i = 0; i < 5; ++i) core.run_instructions(Arm940t::SLICE_INSTRUCTIONS);
    EXPECT_EQ(core.executed_instructions(), executed);  // not emulated at all
    // Every 100 ms of the core's clock (6 slices) it is looked at again.
    for (int i = 0; i < 30; ++i) core.run_instructions(Arm940t::SLICE_INSTRUCTIONS);
    EXPECT_GT(core.executed_instructions(), executed);
    EXPECT_LT(core.executed_instructions(), 10 * executed);
    EXPECT_EQ(core.instructions(), 36 * Arm940t::SLICE_INSTRUCTIONS);

    memory.set_word(0x1000, 7);
    core.run_instructions(Arm940t::SLICE_INSTRUCTIONS);
    EXPECT_EQ(memory.word(0x2000), 7u);
    EXPECT_TRUE(core.idle());  // now spinning in its final branch to itself
}

TEST(Arm940t, WithoutAWatchAnIdleSpinIsStoppedAgainInEverySlice) {
    Memory memory;
    memory.load(WAITER);
    Arm940t core(memory.data(), MEMORY);
    release(core);
    core.run_instructions(Arm940t::SLICE_INSTRUCTIONS);
    uint64_t first = core.executed_instructions();
    core.run_instructions(Arm940t::SLICE_INSTRUCTIONS);
    uint64_t second = core.executed_instructions() - first;
    EXPECT_GT(second, 0u);
    EXPECT_LT(second, 20000u);
    memory.set_word(0x1000, 9);
    core.run_instructions(Arm940t::SLICE_INSTRUCTIONS);
    EXPECT_EQ(memory.word(0x2000), 9u);
}

TEST(Arm940t, TheConsoleRegistersHoldReleaseAndClockTheCore) {
    ConsoleConfig config;
    config.pace_coprocessor = false;
    Console console(config, std::make_unique<RealTimeClock>());
    std::memcpy(console.shared(), COUNTER, sizeof(COUNTER));
    Arm940t& core = console.coprocessor();
    void* regs = console.registers();

    console.write16(regs, 0x3B48, 0x83);                   // hold
    console.write16(regs, 0x0904, 0x0010);                 // clock off, another bit set
    console.write16(regs, 0x3B48, 0x03);                   // release
    EXPECT_FALSE(core.running());                          // not clocked yet
    console.write16(regs, 0x0904, 0x0011);                 // clock on
    EXPECT_TRUE(core.running());
    core.run_instructions(1000);
    uint32_t count;
    std::memcpy(&count, console.shared() + 0x1000, 4);
    EXPECT_EQ(count, 332u);

    console.write16(regs, 0x0904, 0x0010);
    EXPECT_FALSE(core.running());
    console.write16(regs, 0x0904, 0x0011);
    console.write16(regs, 0x3B48, 0x83);
    EXPECT_FALSE(core.running());
    console.write16(regs, 0x3B48, 0x03);
    EXPECT_TRUE(core.running());
    EXPECT_EQ(core.boots(), 2u);
}

TEST(Arm940t, UnderAnyOtherClockTheConsoleRunsTheCoreOnlyAsItsTimeAdvances) {
    Console console(ConsoleConfig{}, std::make_unique<ManualClock>());
    std::memcpy(console.shared(), COUNTER, sizeof(COUNTER));
    Arm940t& core = console.coprocessor();
    console.write16(console.registers(), 0x3B48, 0x03);
    console.write16(console.registers(), 0x0904, 0x0001);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(core.instructions(), 0u);  // no pacer: nothing runs by itself
    console.advance(0, 3 * Clock::FRAME_NS + 1000);
    console.advance(3 * Clock::FRAME_NS + 1000, 3 * Clock::FRAME_NS + 1012);
    EXPECT_EQ(core.instructions(), (3 * Clock::FRAME_NS + 1012) / 5);
    EXPECT_GT(core.executed_instructions(), 0u);
}

TEST(Arm940t, PacedInRealTimeAnIdleCoreCostsAlmostNoEmulation) {
    ConsoleConfig config;
    config.idle_watch_offset = 0x200000;  // a block the waiter does not poll
    config.idle_watch_bytes = 0x4000;
    Console console(config, std::make_unique<RealTimeClock>());
    std::memcpy(console.shared(), WAITER, sizeof(WAITER));
    Arm940t& core = console.coprocessor();
    console.write16(console.registers(), 0x3B48, 0x03);
    console.write16(console.registers(), 0x0904, 0x0001);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_GE(core.instructions(), Arm940t::SLICE_INSTRUCTIONS);
    EXPECT_LT(core.executed_instructions() * 100, core.instructions());

    // The waiter spins on a word outside the watched control block: the run
    // it gets every 100 ms of its clock sees the word.
    uint32_t flag = 5;
    std::memcpy(console.shared() + 0x1000, &flag, 4);
    uint32_t seen = 0;
    for (int i = 0; i < 200 && seen == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::memcpy(&seen, console.shared() + 0x2000, 4);
    }
    EXPECT_EQ(seen, 5u);
    console.write16(console.registers(), 0x3B48, 0x83);
    EXPECT_FALSE(core.running());
}

}  // namespace
}  // namespace korvax::host
