#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/virtual_clock.h"

namespace korvax::host {
namespace {

// Two actors that sleep by different periods: the order of their turns is
// fixed by wake time, then by creation order, and the hook sees the skipped
// intervals back to back.
std::string run_schedule(std::vector<std::pair<uint64_t, uint64_t>>* intervals) {
    VirtualClock clock;
    std::mutex log_mutex;
    std::string log;
    clock.set_advance_hook([&](uint64_t from, uint64_t to) {
        if (intervals) intervals->push_back({from, to});
    });
    auto actor = [&](char name, uint64_t period, int turns) {
        return [&, name, period, turns] {
            for (int i = 0; i < turns; ++i) {
                {
                    std::lock_guard<std::mutex> lock(log_mutex);
                    log += name;
                    log += std::to_string(clock.now_ns());
                    log += ' ';
                }
                clock.sleep_until_ns(clock.now_ns() + period);
            }
        };
    };
    // Started by one actor, as the system starts its threads: both join the
    // schedule before either runs.
    std::thread a, b;
    std::thread root = clock.spawn([&] {
        a = clock.spawn(actor('a', 30, 4));
        b = clock.spawn(actor('b', 20, 5));
    });
    root.join();
    a.join();
    b.join();
    return log;
}

TEST(VirtualClock, ActorsTakeTurnsInWakeOrderAndTheHookCoversTime) {
    std::vector<std::pair<uint64_t, uint64_t>> intervals;
    std::string log = run_schedule(&intervals);
    EXPECT_EQ(log, "a0 b0 b20 a30 b40 a60 b60 b80 a90 ");
    ASSERT_FALSE(intervals.empty());
    EXPECT_EQ(intervals.front().first, 0u);
    for (size_t i = 1; i < intervals.size(); ++i) EXPECT_EQ(intervals[i].first, intervals[i - 1].second);
    EXPECT_EQ(intervals.back().second, 120u);  // a's last sleep ends at 120
    for (int run = 0; run < 20; ++run) EXPECT_EQ(run_schedule(nullptr), log);
}

TEST(VirtualClock, ActorsStartedByActorsJoinTheSchedule) {
    VirtualClock clock;
    std::string log;
    std::thread child;
    auto stamp = [&](char who) {
        log += who;
        log += std::to_string(clock.now_ns());
        log += ' ';
    };
    std::thread parent = clock.spawn([&] {
        log += "p ";
        child = clock.spawn([&] {
            stamp('c');
            clock.sleep_until_ns(5);
            stamp('c');
        });
        clock.sleep_until_ns(10);
        stamp('p');
    });
    parent.join();
    child.join();
    EXPECT_EQ(log, "p c0 c5 p10 ");
}

TEST(VirtualClock, WithoutActorsASleeperMovesTimeItself) {
    VirtualClock clock;
    uint64_t covered = 0;
    clock.set_advance_hook([&](uint64_t from, uint64_t to) { covered += to - from; });
    clock.sleep_until_ns(1000);
    clock.sleep_until_ns(500);  // the past: nothing happens
    EXPECT_EQ(clock.now_ns(), 1000u);
    EXPECT_EQ(covered, 1000u);
}

}  // namespace
}  // namespace korvax::host
