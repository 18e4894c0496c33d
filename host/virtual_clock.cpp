#include "host/virtual_clock.h"

#include <algorithm>

namespace korvax::host {

namespace {

struct ActorSeat {
    const void* clock = nullptr;
    void* actor = nullptr;
};
thread_local ActorSeat seat;

}  // namespace

VirtualClock::VirtualClock() = default;
VirtualClock::~VirtualClock() = default;

uint64_t VirtualClock::now_ns() { return now_.load(); }

void VirtualClock::set_advance_hook(AdvanceHook hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    hook_ = std::move(hook);
}

void VirtualClock::dispatch(std::unique_lock<std::mutex>&) {
    running_ = nullptr;
    if (actors_.empty()) {
        idle_.notify_all();
        return;
    }
    Actor* next = *std::min_element(actors_.begin(), actors_.end(), [](const Actor* a, const Actor* b) {
        return a->wake != b->wake ? a->wake < b->wake : a->id < b->id;
    });
    uint64_t now = now_.load();
    if (next->wake > now) {
        if (hook_) hook_(now, next->wake);
        now_ = next->wake;
    }
    running_ = next;
    next->has_turn = true;
    next->cv.notify_one();
}

void VirtualClock::wait_turn(std::unique_lock<std::mutex>& lock, Actor* self) {
    self->cv.wait(lock, [self] { return self->has_turn; });
}

void VirtualClock::sleep_until_ns(uint64_t t) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (seat.clock == this) {
        Actor* self = static_cast<Actor*>(seat.actor);
        self->wake = std::max(t, now_.load());
        self->has_turn = false;
        dispatch(lock);
        wait_turn(lock, self);
        return;
    }
    // A thread outside the schedule: with no actors it moves time itself,
    // otherwise it waits for the actors to get there.
    if (actors_.empty()) {
        uint64_t now = now_.load();
        if (t > now) {
            if (hook_) hook_(now, t);
            now_ = t;
        }
        return;
    }
    idle_.wait(lock, [&] { return now_.load() >= t || actors_.empty(); });
}

VirtualClock::Actor* VirtualClock::enter() {
    auto* actor = new Actor;
    actor->id = next_id_++;
    actor->wake = now_.load();
    actors_.push_back(actor);
    return actor;
}

void VirtualClock::leave(Actor* self) {
    std::unique_lock<std::mutex> lock(mutex_);
    actors_.erase(std::find(actors_.begin(), actors_.end(), self));
    delete self;
    dispatch(lock);
}

std::thread VirtualClock::spawn(std::function<void()> body) {
    Actor* actor;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        actor = enter();
        // Started from outside the schedule with nobody running: it may go at once.
        if (running_ == nullptr && seat.clock != this) dispatch(lock);
    }
    return std::thread([this, actor, body = std::move(body)] {
        seat = {this, actor};
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wait_turn(lock, actor);
        }
        body();
        seat = {};
        leave(actor);
    });
}

}  // namespace korvax::host
