// A console clock for tests: time stands still until someone sleeps, and a
// sleep jumps straight to its end. Every sleep's target is recorded.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "host/console.h"

namespace korvax::test {

class StepClock : public host::Clock {
public:
    explicit StepClock(uint64_t start_ns = 0) : now_(start_ns) {}

    uint64_t now_ns() override { return now_.load(); }

    void sleep_until_ns(uint64_t t) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            sleeps_.push_back(t);
        }
        uint64_t now = now_.load();
        while (now < t && !now_.compare_exchange_weak(now, t)) {
        }
        // Let the other threads of the test run: a polling loop on this clock
        // must not starve the thread it waits for.
        std::this_thread::sleep_for(std::chrono::microseconds(20));
    }

    void advance(uint64_t ns) { now_ += ns; }

    std::vector<uint64_t> sleeps() {
        std::lock_guard<std::mutex> lock(mutex_);
        return sleeps_;
    }
    size_t sleep_count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return sleeps_.size();
    }

private:
    std::atomic<uint64_t> now_;
    std::mutex mutex_;
    std::vector<uint64_t> sleeps_;
};

// Polls a condition in real time; false if it did not hold within the limit.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

}  // namespace korvax::test
