#include "host/sound.h"

#include <algorithm>
#include <cstring>

#include "host/console.h"

namespace korvax::host {

// Rounded up: at that time the bytes have been consumed, not one frame less.
uint64_t sound_ns_for_bytes(uint64_t bytes) {
    return (bytes * 1000000000ull + SOUND_BYTES_PER_SECOND - 1) / SOUND_BYTES_PER_SECOND;
}

namespace {
uint64_t bytes_for_ns(uint64_t ns) {
    // Whole stereo frames only.
    uint64_t frames = ns * SOUND_RATE / 1000000000ull;
    return frames * SOUND_BYTES_PER_FRAME;
}
}  // namespace

// ---- the silent output paced by the clock ---------------------------------------

void ClockPacedOutput::start() {
    std::lock_guard<std::mutex> lock(mutex_);
    written_ = 0;
    origin_ns_ = clock_.now_ns();
}

void ClockPacedOutput::play(const uint8_t*, uint32_t length) {
    uint64_t ready;
    uint64_t now = clock_.now_ns();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // Everything written so far has been consumed before now: an underrun.
        // The device restarts from this write.
        if (origin_ns_ + sound_ns_for_bytes(written_) < now) {
            origin_ns_ = now - sound_ns_for_bytes(written_);
            if (written_ > 0) ++underruns_;
        }
        written_ += length;
        if (written_ <= SOUND_BUFFER_BYTES) return;
        ready = origin_ns_ + sound_ns_for_bytes(written_ - SOUND_BUFFER_BYTES);
    }
    if (ready > now) clock_.sleep_until_ns(ready);
}

uint64_t ClockPacedOutput::consumed_bytes() {
    uint64_t now = clock_.now_ns();
    std::lock_guard<std::mutex> lock(mutex_);
    if (now <= origin_ns_) return 0;
    return std::min(written_, bytes_for_ns(now - origin_ns_));
}

// ---- the queue in front of a sound card -------------------------------------------

PcmFifo::PcmFifo(uint32_t capacity, std::chrono::milliseconds stall)
    : capacity_(capacity), stall_(stall), ring_(capacity, 0) {}

void PcmFifo::push(const uint8_t* data, uint32_t length) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (length > 0) {
        if (!room_.wait_for(lock, stall_, [&] { return size_ < capacity_; })) {
            // Nothing was pulled for the whole stall time: the card is gone.
            dropped_ += size_;
            head_ = 0;
            size_ = 0;
        }
        uint32_t n = std::min(length, capacity_ - size_);
        uint32_t tail = (head_ + size_) % capacity_;
        uint32_t first = std::min(n, capacity_ - tail);
        std::memcpy(ring_.data() + tail, data, first);
        std::memcpy(ring_.data(), data + first, n - first);
        size_ += n;
        data += n;
        length -= n;
    }
}

uint32_t PcmFifo::pull(uint8_t* out, uint32_t length) {
    uint32_t n;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        n = std::min(length, size_);
        uint32_t first = std::min(n, capacity_ - head_);
        std::memcpy(out, ring_.data() + head_, first);
        std::memcpy(out + first, ring_.data(), n - first);
        head_ = (head_ + n) % capacity_;
        size_ -= n;
    }
    std::memset(out + n, 0, length - n);
    pulled_ += n;
    silence_ += length - n;
    room_.notify_all();
    return n;
}

void PcmFifo::clear() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        head_ = 0;
        size_ = 0;
    }
    room_.notify_all();
}

uint32_t PcmFifo::queued() {
    std::lock_guard<std::mutex> lock(mutex_);
    return size_;
}

// ---- the device ---------------------------------------------------------------------

SoundDevice::SoundDevice(Clock& clock) : output_(std::make_unique<ClockPacedOutput>(clock)) {}
SoundDevice::~SoundDevice() = default;

void SoundDevice::set_output(std::unique_ptr<SoundOutput> output) { output_ = std::move(output); }

void SoundDevice::add_sink(std::shared_ptr<SoundSink> sink) {
    std::lock_guard<std::mutex> lock(mutex_);
    sinks_.push_back(std::move(sink));
}

int SoundDevice::open() {
    if (!present_ || open_) return -1;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ioctls_.clear();
    }
    written_ = 0;
    output_->start();
    open_ = true;
    ++opens_;
    return descriptor_;
}

int SoundDevice::ioctl(int fd, int request, int value) {
    if (fd != descriptor_ || !open_) return -1;
    std::lock_guard<std::mutex> lock(mutex_);
    ioctls_.emplace_back(request, value);
    // Rate, format, channels and fragments are fixed: the device always runs
    // at 44,100 Hz, 16-bit little-endian stereo with two 2,048-byte fragments.
    return value;
}

std::vector<std::pair<int, int>> SoundDevice::ioctls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ioctls_;
}

int SoundDevice::write(int fd, const void* data, uint32_t length) {
    if (fd != descriptor_ || !open_) return -1;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& sink : sinks_) sink->take(bytes, length);
    }
    written_ += length;
    output_->play(bytes, length);
    return static_cast<int>(length);
}

void SoundDevice::close(int fd) {
    if (fd != descriptor_ || !open_) return;
    open_ = false;
    output_->stop();
}

}  // namespace korvax::host
