// Virtual time: a deterministic schedule for the whole console.
//
// The threads of the system (its main thread and the threads it creates) are
// actors: exactly one runs at a time, and time stands still while it runs.
// When an actor sleeps until some time (a sleep, a vsync wait, a blocking sound
// write, a polling loop's spin hint), the next actor in order of wake time
// (ties by creation order) is given the turn, and the clock jumps to its wake
// time. Before each jump the advance hook runs the rest of the console over
// the skipped interval: the coprocessor's instructions, scan-out at every
// vertical sync, capture. Every run of the same program therefore produces the
// same frames and the same sound, as fast as the host allows.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "host/console.h"

namespace korvax::host {

class VirtualClock : public Clock {
public:
    VirtualClock();
    ~VirtualClock() override;

    uint64_t now_ns() override;
    void sleep_until_ns(uint64_t t) override;
    std::thread spawn(std::function<void()> body) override;

    // Runs the console from `from` to `to` (from < to). Called with the turn
    // held by the scheduler, so no actor runs meanwhile.
    using AdvanceHook = std::function<void(uint64_t from, uint64_t to)>;
    void set_advance_hook(AdvanceHook hook);

private:
    struct Actor {
        uint64_t id;
        uint64_t wake = 0;
        bool has_turn = false;
        std::condition_variable cv;
    };

    Actor* enter();                                 // the calling thread becomes an actor
    void leave(Actor* self);                        // the actor's thread ends
    void wait_turn(std::unique_lock<std::mutex>& lock, Actor* self);
    void dispatch(std::unique_lock<std::mutex>& lock);  // gives the turn to the next actor

    std::mutex mutex_;
    std::condition_variable idle_;  // non-actor sleepers wait here
    std::atomic<uint64_t> now_{0};
    uint64_t next_id_ = 0;
    std::vector<Actor*> actors_;
    Actor* running_ = nullptr;
    AdvanceHook hook_;
};

}  // namespace korvax::host
