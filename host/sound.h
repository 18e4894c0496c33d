// The console's sound device: stands in for the OSS /dev/dsp with its semantics
// (44,100 Hz, 16-bit little-endian, stereo, two fragments of 2,048 bytes,
// blocking writes that pace the audio chain).
//
// The device hands every byte written to its sinks (the WAV recorder) and to
// one output, which plays the bytes and does the pacing: the SDL sound card
// when there is one, otherwise a silent output that consumes the bytes at the
// device rate on the console clock.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace korvax::host {

class Clock;

constexpr uint32_t SOUND_RATE = 44100;
constexpr uint32_t SOUND_BYTES_PER_FRAME = 4;  // 16-bit stereo
constexpr uint32_t SOUND_BYTES_PER_SECOND = SOUND_RATE * SOUND_BYTES_PER_FRAME;
constexpr uint32_t SOUND_FRAGMENT_BYTES = 2048;
constexpr uint32_t SOUND_FRAGMENTS = 2;
// What the device holds beyond what it has consumed: two fragments.
constexpr uint32_t SOUND_BUFFER_BYTES = SOUND_FRAGMENT_BYTES * SOUND_FRAGMENTS;

// Receives every byte written to the device, in order. The device does the
// pacing; a sink only records.
class SoundSink {
public:
    virtual ~SoundSink() = default;
    virtual void take(const uint8_t* data, uint32_t length) = 0;
};

// Plays the bytes and paces the writer: play() returns once everything but
// the device's buffer (SOUND_BUFFER_BYTES) has been consumed.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // The device was opened: playback starts from nothing.
    virtual void start() = 0;
    virtual void play(const uint8_t* data, uint32_t length) = 0;
    // The device was closed: whatever was not played yet is dropped.
    virtual void stop() = 0;
    // Bytes consumed since start().
    virtual uint64_t consumed_bytes() = 0;
    // Writes that came after everything written before had been played: the
    // listener heard a gap. Counted over the output's life.
    virtual uint64_t underruns() { return 0; }
};

// No sound card: the bytes are consumed at the device rate on the console
// clock, so the position still advances and the writer is paced as by a card.
class ClockPacedOutput : public SoundOutput {
public:
    explicit ClockPacedOutput(Clock& clock) : clock_(clock) {}
    void start() override;
    void play(const uint8_t* data, uint32_t length) override;
    void stop() override {}
    uint64_t consumed_bytes() override;
    uint64_t underruns() override { return underruns_.load(); }

private:
    Clock& clock_;
    std::mutex mutex_;
    std::atomic<uint64_t> underruns_{0};
    uint64_t written_ = 0;
    // Console time at which byte 0 would have been consumed; moved on after
    // an underrun so that playback resumes with the next write.
    uint64_t origin_ns_ = 0;
};

// Console nanoseconds that the device takes to consume the given bytes.
uint64_t sound_ns_for_bytes(uint64_t bytes);

// A bounded byte queue between the writer and a consumer that pulls at its
// own pace (the sound card's callback).
class PcmFifo {
public:
    // stall: how long push() waits without any pull before it decides the
    // consumer is gone and drops what is queued, so the writer never hangs.
    PcmFifo(uint32_t capacity, std::chrono::milliseconds stall);
    // Blocks until every byte is queued.
    void push(const uint8_t* data, uint32_t length);
    // Never blocks: fills out with queued bytes and the rest with silence;
    // returns the bytes taken from the queue.
    uint32_t pull(uint8_t* out, uint32_t length);
    void clear();
    uint64_t pulled() const { return pulled_.load(); }
    uint64_t silence_bytes() const { return silence_.load(); }
    uint64_t dropped_bytes() const { return dropped_.load(); }
    uint32_t queued();

private:
    const uint32_t capacity_;
    const std::chrono::milliseconds stall_;
    std::mutex mutex_;
    std::condition_variable room_;
    std::vector<uint8_t> ring_;
    uint32_t head_ = 0;  // oldest queued byte
    uint32_t size_ = 0;
    std::atomic<uint64_t> pulled_{0};
    std::atomic<uint64_t> silence_{0};
    std::atomic<uint64_t> dropped_{0};
};

class SoundDevice {
public:
    static constexpr int DEFAULT_DESCRIPTOR = 4;

    explicit SoundDevice(Clock& clock);
    ~SoundDevice();

    // Replaces the output (before the system opens the device).
    void set_output(std::unique_ptr<SoundOutput> output);
    SoundOutput& output() { return *output_; }
    // Sinks receive every byte written, in order.
    void add_sink(std::shared_ptr<SoundSink> sink);
    // false: no device at all (open fails like a missing /dev/dsp).
    void set_present(bool present) { present_ = present; }
    // The descriptor open() hands out.
    void set_descriptor(int fd) { descriptor_ = fd; }

    int open();
    int ioctl(int fd, int request, int value);
    // Blocks until all but the device's buffer has been consumed.
    int write(int fd, const void* data, uint32_t length);
    void close(int fd);

    uint64_t bytes_written() const { return written_.load(); }
    uint64_t bytes_consumed() { return output_->consumed_bytes(); }
    bool is_open() const { return open_.load(); }
    int opens() const { return opens_.load(); }
    // The (request, value) pairs of every ioctl since the last open, in order.
    std::vector<std::pair<int, int>> ioctls();

private:
    std::unique_ptr<SoundOutput> output_;
    std::atomic<bool> present_{true};
    std::atomic<int> descriptor_{DEFAULT_DESCRIPTOR};
    std::atomic<bool> open_{false};
    std::atomic<int> opens_{0};
    std::atomic<uint64_t> written_{0};
    std::mutex mutex_;
    std::vector<std::shared_ptr<SoundSink>> sinks_;
    std::vector<std::pair<int, int>> ioctls_;
};

// The SDL2 sound card as an output, or nullptr with a reason when there is
// none (not an error: the caller falls back to the silent output).
std::unique_ptr<SoundOutput> open_sdl_sound(std::string& why_not);

}  // namespace korvax::host
