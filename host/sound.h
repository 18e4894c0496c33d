// The console's sound device: stands in for the OSS /dev/dsp with its semantics
// (44,100 Hz, 16-bit little-endian, stereo, two fragments of 2,048 bytes,
// blocking writes that pace the audio chain).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace korvax::host {

class Clock;

// Where the bytes written to the device go. The device does the pacing; a sink
// only receives what has been written.
class SoundSink {
public:
    virtual ~SoundSink() = default;
    virtual void take(const uint8_t* data, uint32_t length) = 0;
};

class SoundDevice {
public:
    static constexpr uint32_t BYTES_PER_SECOND = 44100 * 4;
    static constexpr uint32_t FRAGMENT_BYTES = 2048;
    static constexpr uint32_t FRAGMENTS = 2;

    explicit SoundDevice(Clock& clock);
    ~SoundDevice();

    // Sinks receive every byte written, in order. None: a silent device.
    void add_sink(std::shared_ptr<SoundSink> sink);
    // false: no device at all (open fails like a missing /dev/dsp).
    void set_present(bool present) { present_ = present; }

    int open();
    int ioctl(int fd, int request, int value);
    // Blocks until the device has room for all but its own buffer's worth.
    int write(int fd, const void* data, uint32_t length);
    void close(int fd);

    uint64_t bytes_written() const { return written_; }
    bool is_open() const { return open_; }

private:
    Clock& clock_;
    bool present_ = true;
    bool open_ = false;
    std::mutex mutex_;
    std::vector<std::shared_ptr<SoundSink>> sinks_;
    uint64_t written_ = 0;
    // Console time at which the device would have played byte 0; moves on
    // after an underrun so that playback resumes from the next write.
    uint64_t play_origin_ns_ = 0;
};

}  // namespace korvax::host
