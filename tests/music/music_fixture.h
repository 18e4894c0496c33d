// A host console under the music host, and a host thread that plays the
// coprocessor's part of the protocol on the control block.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/app.h"
#include "host/console.h"
#include "music/music_host.h"
#include "board/board.h"
#include "platform/entry.h"
#include "platform/hardware.h"
#include "render/render_state.h"
#include "tests/support/step_clock.h"

namespace korvax::test {

inline uint32_t load_word(uint32_t& word) {
    return std::atomic_ref<uint32_t>(word).load(std::memory_order_acquire);
}
inline void store_word(uint32_t& word, uint32_t value) {
    std::atomic_ref<uint32_t>(word).store(value, std::memory_order_release);
}

// Stands in for the coprocessor program once the host has released it (reset
// bit 7 of 0x3B48 clear, clock bit 0 of 0x0904 set): while play is set it
// fills each empty buffer with a recognisable pattern, counts the position and
// only then raises the buffer's fill flag.
//
// Buffer n (counting fills from 1) holds: sample 0 = 0x0A for A or 0x0B for B,
// sample 1 = n, sample i = n * 7 + i (as int16) for the rest.
class FakeCoprocessor {
public:
    // fill_b_first: the very first fill goes to buffer B, and A follows 20 ms later.
    FakeCoprocessor(host::Console& console, bool fill_b_first = false)
        : console_(console),
          block_(reinterpret_cast<AudioControlBlock*>(console.shared() + CONTROL_BLOCK_OFFSET)),
          fill_b_first_(fill_b_first),
          thread_([this] { run(); }) {}
    ~FakeCoprocessor() { stop(); }

    void stop() {
        quit_ = true;
        if (thread_.joinable()) thread_.join();
    }
    uint32_t fills() const { return fills_.load(); }

    static int16_t sample(uint32_t n, uint32_t i, bool b) {
        if (i == 0) return b ? 0x0B : 0x0A;
        if (i == 1) return static_cast<int16_t>(n);
        return static_cast<int16_t>(n * 7 + i);
    }

private:
    bool released() {
        return (console_.peek_register(REG_COPRO_CONTROL) & 0x80) == 0 &&
               (console_.peek_register(REG_COPRO_CLOCK) & 1) != 0;
    }

    void fill(bool b) {
        uint32_t n = ++fills_;
        int16_t* pcm = b ? block_->pcm_b : block_->pcm_a;
        for (uint32_t i = 0; i < PCM_BUFFER_SAMPLES; ++i) pcm[i] = sample(n, i, b);
        store_word(block_->position, load_word(block_->position) + PCM_BUFFER_SAMPLES);
        store_word(b ? block_->fill_b : block_->fill_a, 1);
    }

    void run() {
        bool first = true;
        bool started = false;
        while (!quit_) {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
            if (!released()) continue;
            if (!started) {
                // The program's start-up: the position counts from 0.
                store_word(block_->position, 0);
                started = true;
            }
            if (load_word(block_->play) == 0) continue;
            if (first && fill_b_first_) {
                fill(true);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            first = false;
            if (load_word(block_->fill_a) == 0) {
                fill(false);
                if (load_word(block_->fill_b) == 0) fill(true);
            } else if (load_word(block_->fill_b) == 0) {
                fill(true);
            }
        }
    }

    host::Console& console_;
    AudioControlBlock* block_;
    bool fill_b_first_;
    std::atomic<bool> quit_{false};
    std::atomic<uint32_t> fills_{0};
    std::thread thread_;
};

class RecordingSink : public host::SoundSink {
public:
    void take(const uint8_t* data, uint32_t length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        bytes_.insert(bytes_.end(), data, data + length);
    }
    std::vector<uint8_t> bytes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }
    size_t size() {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_.size();
    }

private:
    std::mutex mutex_;
    std::vector<uint8_t> bytes_;
};

// The console with its register window mapped as start_hardware leaves it,
// shared memory poisoned so that whatever the host does not write stands out.
class MusicHostTest : public ::testing::Test {
protected:
    static constexpr uint8_t POISON = 0xA5;
    static constexpr uint32_t POISON_WORD = 0xA5A5A5A5u;

    void SetUp() override {
        clock_ = new StepClock(1000000000ull);
        console_ = std::make_unique<host::Console>(host::system_console_config(), std::unique_ptr<host::Clock>(clock_));
        std::memset(console_->shared(), POISON, SHARED_WINDOW_BYTES);
        sink_ = std::make_shared<RecordingSink>();
        console_->sound().add_sink(sink_);
        host::set_active_console(console_.get());
        memory_fd = board_open_memory();
        register_window = board_map_physical(memory_fd, REGISTER_WINDOW_PHYS, REGISTER_WINDOW_BYTES);
        volume_bar_pending = 0;
        set_render_target(nullptr);
    }

    void TearDown() override {
        if (shared_memory_base() != nullptr || music_thread_running() != 0) {
            music_stop();
            stop_music_thread();
        }
        fake_.reset();
        console_->join_threads();
        board_unmap_physical(register_window, REGISTER_WINDOW_BYTES);
        register_window = nullptr;
        board_close_memory(memory_fd);
        memory_fd = -1;
        set_render_target(nullptr);
        host::set_active_console(nullptr);
        console_.reset();
    }

    AudioControlBlock& block() {
        return *reinterpret_cast<AudioControlBlock*>(console_->shared() + CONTROL_BLOCK_OFFSET);
    }

    // start_music_thread, then wait until the output thread has initialised
    // the block (or ended): the step clock's 100 ms pass at once.
    void start_and_wait() {
        start_music_thread();
        ASSERT_TRUE(eventually([] { return music_block_initialised() != 0 || music_thread_running() == 0; }));
    }

    void start_fake(bool fill_b_first = false) { fake_ = std::make_unique<FakeCoprocessor>(*console_, fill_b_first); }

    StepClock* clock_ = nullptr;  // owned by the console
    std::unique_ptr<host::Console> console_;
    std::shared_ptr<RecordingSink> sink_;
    std::unique_ptr<FakeCoprocessor> fake_;
};

}  // namespace korvax::test
