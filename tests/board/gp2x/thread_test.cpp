// Threads made by the raw clone, and the swp-based atomics, under qemu's
// strict ARMv4T model with real host threads underneath.
#include <atomic>

#include <gtest/gtest.h>

#include "board/gp2x/syscalls.h"
#include "board/gp2x/thread.h"

namespace korvax::gp2x {
namespace {

void sleep_ms(int32_t ms) {
    KernelTimespec t = {ms / 1000, (ms % 1000) * 1000000};
    sys_nanosleep(&t, nullptr);
}

// Waits up to about five seconds for the condition.
template <typename F>
bool eventually(F condition) {
    for (int i = 0; i < 1000; ++i) {
        if (condition()) return true;
        sleep_ms(5);
    }
    return condition();
}

struct Shared {
    uint32_t input[64];
    uint32_t output[64];
    uintptr_t thread_stack;
    volatile uint32_t done;
};

void square_all(void* p) {
    Shared* s = static_cast<Shared*>(p);
    uint32_t local = 0;
    s->thread_stack = reinterpret_cast<uintptr_t>(&local);
    for (int i = 0; i < 64; ++i) s->output[i] = s->input[i] * s->input[i];
    s->done = 1;
}

TEST(Gp2xThread, RunsOnItsOwnStackSharesMemoryAndEnds) {
    static Shared shared;
    for (uint32_t i = 0; i < 64; ++i) shared.input[i] = i + 3;
    ASSERT_EQ(thread_start(square_all, &shared), 0);
    ASSERT_TRUE(eventually([] { return threads_alive() == 0; })) << "the thread never ended";
    EXPECT_EQ(shared.done, 1u);
    for (uint32_t i = 0; i < 64; ++i) EXPECT_EQ(shared.output[i], (i + 3) * (i + 3));
    uint32_t here = 0;
    const uintptr_t main_stack = reinterpret_cast<uintptr_t>(&here);
    const uintptr_t distance = shared.thread_stack > main_stack ? shared.thread_stack - main_stack
                                                                : main_stack - shared.thread_stack;
    EXPECT_GT(distance, THREAD_STACK_BYTES) << "the thread ran on the creator's stack";
}

volatile uint32_t release_waiters = 0;
void wait_for_release(void*) {
    while (release_waiters == 0) sys_sched_yield();
}

TEST(Gp2xThread, EverySlotInUseIsRefusedAndAnEndedThreadFreesItsSlot) {
    release_waiters = 0;
    for (int i = 0; i < THREAD_SLOTS; ++i) ASSERT_EQ(thread_start(wait_for_release, nullptr), 0);
    EXPECT_EQ(threads_alive(), THREAD_SLOTS);
    EXPECT_EQ(thread_start(wait_for_release, nullptr), -K_EAGAIN);
    release_waiters = 1;
    ASSERT_TRUE(eventually([] { return threads_alive() == 0; }));
    static Shared shared;
    shared.input[5] = 9;
    ASSERT_EQ(thread_start(square_all, &shared), 0);
    ASSERT_TRUE(eventually([] { return threads_alive() == 0; }));
    EXPECT_EQ(shared.output[5], 81u);
}

std::atomic<uint32_t> counter{0};
std::atomic<uint64_t> wide{0};
std::atomic<uint32_t> cas_counter{0};
constexpr int ROUNDS = 20000;

void hammer(void*) {
    for (int i = 0; i < ROUNDS; ++i) {
        counter.fetch_add(1);
        wide.fetch_add(0x100000001ull);
        uint32_t seen = cas_counter.load();
        while (!cas_counter.compare_exchange_weak(seen, seen + 1)) {
        }
    }
}

TEST(Gp2xAtomics, ReadModifyWritesFromThreeThreadsLoseNothing) {
    counter = 0;
    wide = 0;
    cas_counter = 0;
    ASSERT_EQ(thread_start(hammer, nullptr), 0);
    ASSERT_EQ(thread_start(hammer, nullptr), 0);
    hammer(nullptr);
    ASSERT_TRUE(eventually([] { return threads_alive() == 0; }));
    EXPECT_EQ(counter.load(), 3u * ROUNDS);
    EXPECT_EQ(wide.load(), 3ull * ROUNDS * 0x100000001ull);
    EXPECT_EQ(cas_counter.load(), 3u * ROUNDS);
    EXPECT_EQ(counter.exchange(7), 3u * ROUNDS);
    EXPECT_EQ(counter.fetch_sub(8), 7u);
    EXPECT_EQ(counter.load(), 0xFFFFFFFFu) << "unsigned atomics wrap";
}

int pipe_fds[2];
volatile uint32_t reader_started = 0;
void read_forever(void*) {
    reader_started = 1;
    uint8_t byte;
    sys_read(pipe_fds[0], &byte, 1);  // nobody ever writes
}

TEST(Gp2xThread, EndingAllThreadsWakesOneBlockedInACallAndKeepsTheCallersMask) {
    ASSERT_EQ(sys_pipe(pipe_fds), 0);
    reader_started = 0;
    ASSERT_EQ(thread_start(read_forever, nullptr), 0);
    ASSERT_TRUE(eventually([] { return reader_started != 0; }));
    sleep_ms(50);
    EXPECT_EQ(threads_alive(), 1);
    threads_end_all();
    EXPECT_EQ(threads_alive(), 0);
    uint32_t mask[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};
    ASSERT_EQ(sys_rt_sigprocmask(K_SIG_BLOCK, nullptr, mask), 0);
    EXPECT_EQ(mask[0] & (1u << (K_SIGUSR1 - 1)), 0u) << "the quit signal stayed blocked";
    sys_close(pipe_fds[0]);
    sys_close(pipe_fds[1]);
}

}  // namespace
}  // namespace korvax::gp2x
