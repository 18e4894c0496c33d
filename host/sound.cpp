#include "host/sound.h"

#include "host/console.h"

namespace korvax::host {

namespace {
constexpr int SOUND_FD = 4;

uint64_t ns_for_bytes(uint64_t bytes) { return bytes * 1000000000ull / SoundDevice::BYTES_PER_SECOND; }
}  // namespace

SoundDevice::SoundDevice(Clock& clock) : clock_(clock) {}
SoundDevice::~SoundDevice() = default;

void SoundDevice::add_sink(std::shared_ptr<SoundSink> sink) {
    std::lock_guard<std::mutex> lock(mutex_);
    sinks_.push_back(std::move(sink));
}

int SoundDevice::open() {
    if (!present_ || open_) return -1;
    open_ = true;
    written_ = 0;
    play_origin_ns_ = clock_.now_ns();
    return SOUND_FD;
}

int SoundDevice::ioctl(int fd, int, int value) {
    // Rate, format, channels and fragments are fixed: the device always runs
    // at 44,100 Hz, 16-bit little-endian stereo with two 2,048-byte fragments.
    return fd == SOUND_FD && open_ ? value : -1;
}

int SoundDevice::write(int fd, const void* data, uint32_t length) {
    if (fd != SOUND_FD || !open_) return -1;
    uint64_t now = clock_.now_ns();
    // Played so far at the device rate; after an underrun the device restarts.
    if (play_origin_ns_ + ns_for_bytes(written_) < now) play_origin_ns_ = now - ns_for_bytes(written_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& sink : sinks_) sink->take(static_cast<const uint8_t*>(data), length);
    }
    written_ += length;
    // The write returns once everything but the device's own buffer has played.
    const uint64_t buffer = FRAGMENT_BYTES * FRAGMENTS;
    if (written_ > buffer) {
        uint64_t ready = play_origin_ns_ + ns_for_bytes(written_ - buffer);
        if (ready > now) clock_.sleep_until_ns(ready);
    }
    return static_cast<int>(length);
}

void SoundDevice::close(int fd) {
    if (fd == SOUND_FD) open_ = false;
}

}  // namespace korvax::host
