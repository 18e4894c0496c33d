// The console's sound device: OSS-like behaviour, the silent output's pacing
// on the console clock, and the queue in front of a sound card.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "host/sound.h"
#include "tests/support/step_clock.h"

namespace korvax::host {
namespace {

using test::StepClock;

class Collect : public SoundSink {
public:
    void take(const uint8_t* data, uint32_t length) override { bytes.insert(bytes.end(), data, data + length); }
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> ramp(uint32_t n, uint8_t start) {
    std::vector<uint8_t> v(n);
    for (uint32_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(start + i * 3);
    return v;
}

// Console nanoseconds for a number of bytes at 176,400 bytes a second.
double seconds_for(uint64_t bytes) { return static_cast<double>(bytes) / (44100.0 * 4); }

TEST(SoundDevice, OpenIoctlWriteCloseLikeOss) {
    StepClock clock(5000);
    SoundDevice device(clock);
    auto sink = std::make_shared<Collect>();
    device.add_sink(sink);

    int fd = device.open();
    EXPECT_EQ(fd, SoundDevice::DEFAULT_DESCRIPTOR);
    EXPECT_EQ(device.open(), -1);  // one writer at a time
    EXPECT_EQ(device.ioctl(fd, 0, 44100), 44100);
    EXPECT_EQ(device.ioctl(fd, 3, 0x2000B), 0x2000B);
    EXPECT_EQ(device.ioctl(fd + 1, 1, 16), -1);
    EXPECT_EQ((device.ioctls()), (std::vector<std::pair<int, int>>{{0, 44100}, {3, 0x2000B}}));

    std::vector<uint8_t> a = ramp(1000, 1), b = ramp(3000, 7);
    EXPECT_EQ(device.write(fd, a.data(), 1000), 1000);
    EXPECT_EQ(device.write(fd + 1, b.data(), 3000), -1);
    EXPECT_EQ(device.write(fd, b.data(), 3000), 3000);
    EXPECT_EQ(device.bytes_written(), 4000u);
    std::vector<uint8_t> both = a;
    both.insert(both.end(), b.begin(), b.end());
    EXPECT_EQ(sink->bytes, both);

    device.close(fd);
    EXPECT_FALSE(device.is_open());
    EXPECT_EQ(device.write(fd, a.data(), 1000), -1);
    EXPECT_EQ(device.ioctl(fd, 0, 44100), -1);

    // Reopened: the ioctl record and the count start again.
    device.set_descriptor(0);
    EXPECT_EQ(device.open(), 0);
    EXPECT_TRUE(device.ioctls().empty());
    EXPECT_EQ(device.bytes_written(), 0u);
    EXPECT_EQ(device.write(0, a.data(), 1000), 1000);
    EXPECT_EQ(device.opens(), 2);
    device.close(0);

    device.set_present(false);
    EXPECT_EQ(device.open(), -1);
}

TEST(SoundDevice, SilentOutputConsumesAtTheDeviceRateOnTheConsoleClock) {
    StepClock clock(7000000);
    SoundDevice device(clock);
    int fd = device.open();
    std::vector<uint8_t> buffer(8192, 0);
    const uint64_t t0 = clock.now_ns() + 30000000;

    // The first two fragments fit the device: no wait. The time before the
    // first write is no gap in the sound.
    clock.advance(30000000);
    device.write(fd, buffer.data(), 4096);
    EXPECT_EQ(clock.sleep_count(), 0u);
    EXPECT_EQ(device.bytes_consumed(), 0u);

    // From then on a write returns once all but two fragments have been consumed.
    uint64_t written = 4096;
    for (int i = 0; i < 40; ++i) {
        device.write(fd, buffer.data(), 8192);
        written += 8192;
        uint64_t elapsed = clock.now_ns() - t0;
        EXPECT_NEAR(elapsed * 1e-9, seconds_for(written - 4096), 1e-6) << i;
        EXPECT_EQ(device.bytes_consumed(), written - 4096) << i;
    }

    // Between writes consumption follows the clock: 10 ms are 441 frames.
    uint64_t before = device.bytes_consumed();
    clock.advance(10000000);
    EXPECT_EQ(device.bytes_consumed(), before + 441 * 4);

    // It never runs ahead of what was written.
    clock.advance(5000000000ull);
    EXPECT_EQ(device.bytes_consumed(), written);

    // After the underrun the device starts again from the next write: it does
    // not count the silence as played, so the write waits as for a fresh start.
    uint64_t now = clock.now_ns();
    device.write(fd, buffer.data(), 8192);
    written += 8192;
    EXPECT_NEAR((clock.now_ns() - now) * 1e-9, seconds_for(8192 - 4096), 1e-6);
    EXPECT_EQ(device.bytes_consumed(), written - 4096);
    // That write is the one gap the listener heard.
    EXPECT_EQ(device.output().underruns(), 1u);
    device.close(fd);
}

TEST(SoundDevice, ReopeningRestartsThePacing) {
    StepClock clock(0);
    SoundDevice device(clock);
    std::vector<uint8_t> buffer(8192, 0);
    int fd = device.open();
    for (int i = 0; i < 5; ++i) device.write(fd, buffer.data(), 8192);
    device.close(fd);
    clock.advance(1000);
    size_t sleeps = clock.sleep_count();
    fd = device.open();
    device.write(fd, buffer.data(), 4096);
    EXPECT_EQ(clock.sleep_count(), sleeps);
    EXPECT_EQ(device.bytes_consumed(), 0u);
}

TEST(PcmFifo, PullTakesBytesInOrderAndFillsTheRestWithSilence) {
    PcmFifo fifo(16, std::chrono::milliseconds(1000));
    std::vector<uint8_t> in = ramp(10, 1);
    fifo.push(in.data(), 10);
    EXPECT_EQ(fifo.queued(), 10u);
    uint8_t out[12];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(fifo.pull(out, 6), 6u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), std::vector<uint8_t>(in.begin(), in.begin() + 6));
    // Wrap around the end of the ring.
    std::vector<uint8_t> more = ramp(10, 100);
    fifo.push(more.data(), 10);
    EXPECT_EQ(fifo.pull(out, 12), 12u);
    std::vector<uint8_t> want;
    for (int i = 6; i < 10; ++i) want.push_back(in[i]);
    for (int i = 0; i < 8; ++i) want.push_back(more[i]);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 12), want);
    // Two left: the rest is silence.
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(fifo.pull(out, 12), 2u);
    EXPECT_EQ(out[0], more[8]);
    EXPECT_EQ(out[1], more[9]);
    for (int i = 2; i < 12; ++i) EXPECT_EQ(out[i], 0) << i;
    EXPECT_EQ(fifo.pulled(), 20u);
    EXPECT_EQ(fifo.silence_bytes(), 10u);
}

TEST(PcmFifo, PushBlocksUntilTheConsumerHasTakenAllButTheCapacity) {
    const uint32_t capacity = 4096;
    PcmFifo fifo(capacity, std::chrono::milliseconds(10000));
    std::vector<uint8_t> in = ramp(3 * 8192, 5);
    std::atomic<int> returned{0};
    std::vector<uint64_t> pulled_at_return;
    std::thread writer([&] {
        for (int k = 0; k < 3; ++k) {
            fifo.push(in.data() + k * 8192, 8192);
            pulled_at_return.push_back(fifo.pulled());
            ++returned;
        }
    });
    std::vector<uint8_t> out;
    uint8_t chunk[1000];
    while (out.size() < in.size()) {
        uint32_t n = fifo.pull(chunk, sizeof chunk);
        out.insert(out.end(), chunk, chunk + n);
        if (n == 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    writer.join();
    EXPECT_EQ(out, in);
    ASSERT_EQ(pulled_at_return.size(), 3u);
    for (int k = 0; k < 3; ++k) EXPECT_GE(pulled_at_return[k] + capacity, (k + 1) * 8192u) << k;
    EXPECT_EQ(fifo.dropped_bytes(), 0u);
}

TEST(PcmFifo, AStalledConsumerDoesNotHangTheWriter) {
    PcmFifo fifo(100, std::chrono::milliseconds(5));
    std::vector<uint8_t> in = ramp(250, 0);
    fifo.push(in.data(), 250);  // nobody pulls
    EXPECT_EQ(fifo.dropped_bytes(), 200u);
    uint8_t out[50];
    EXPECT_EQ(fifo.pull(out, 50), 50u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 50), std::vector<uint8_t>(in.begin() + 200, in.end()));
}

// The SDL back end on SDL's dummy driver, which consumes in real time as a
// card would: every write returns with all but two fragments consumed.
TEST(SdlSound, WritesArePacedByWhatTheCardConsumed) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::string why;
    std::unique_ptr<SoundOutput> card = open_sdl_sound(why);
    unsetenv("SDL_AUDIODRIVER");
    if (!card) GTEST_SKIP() << "SDL dummy audio unavailable: " << why;
    StepClock clock(0);
    SoundDevice device(clock);
    device.set_output(std::move(card));
    int fd = device.open();
    std::vector<uint8_t> buffer(8192, 0);
    uint64_t written = 0;
    for (int i = 0; i < 3; ++i) {
        device.write(fd, buffer.data(), 8192);
        written += 8192;
        EXPECT_GE(device.bytes_consumed() + SOUND_BUFFER_BYTES, written) << i;
        EXPECT_LE(device.bytes_consumed(), written) << i;
    }
    EXPECT_EQ(clock.sleep_count(), 0u);  // paced by the card, not the clock
    // A writer that pauses longer than the queue lasts (23 ms) leaves a gap.
    uint64_t gaps = device.output().underruns();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    device.write(fd, buffer.data(), 8192);
    EXPECT_EQ(device.output().underruns(), gaps + 1);
    device.close(fd);
}

}  // namespace
}  // namespace korvax::host
