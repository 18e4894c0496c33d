// An MP4 capture decoded back with ffmpeg: it holds every captured frame at 60
// a second, and the sound as a listener of the console hears it: each write
// to the sound device starts to play once the device has played everything
// written before it (or at once, if it had run dry), on the video's time line.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/app.h"
#include "app/capture.h"

namespace korvax {
namespace {

std::vector<uint8_t> command_output(const std::string& command) {
    std::vector<uint8_t> out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.insert(out.end(), buffer, buffer + n);
    pclose(p);
    return out;
}

// Every write to the sound device with the console time it was made at.
struct WriteLog : host::SoundSink {
    host::Clock* clock = nullptr;
    std::vector<uint64_t> times;
    std::vector<std::vector<int16_t>> samples;
    void take(const uint8_t* data, uint32_t length) override {
        times.push_back(clock->now_ns());
        const int16_t* s = reinterpret_cast<const int16_t*>(data);
        samples.emplace_back(s, s + length / 2);
    }
};

TEST(Capture, AnMp4HoldsEveryFrameAndTheSoundWhenTheListenerHearsIt) {
    if (host::find_ffmpeg().empty()) GTEST_SKIP() << "no ffmpeg";
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("korvax_capture_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string video = (dir / "a.mp4").string();

    host::Options options;
    options.capture = video;
    options.virtual_time = true;
    options.frames = 60;
    host::App app(options);
    host::Clock& clock = app.console().clock();
    auto log = std::make_shared<WriteLog>();
    log->clock = &clock;
    app.console().sound().add_sink(log);
    // The observer runs inside the console's advance over an interval, while
    // the clock still reads its start: the scan-out is the interval's next
    // end of blanking.
    std::vector<uint64_t> scan_out_ns;
    std::vector<bool> lit;
    app.set_frame_observer([&](const uint16_t* pixels) {
        uint64_t after = scan_out_ns.empty() ? clock.now_ns() : std::max(clock.now_ns(), scan_out_ns.back());
        scan_out_ns.push_back(clock.next_scan_out(after));
        lit.push_back(std::any_of(pixels, pixels + host::WIDTH * host::HEIGHT, [](uint16_t p) { return p != 0; }));
    });
    ASSERT_EQ(app.run("korvax"), 0);
    const size_t frames = scan_out_ns.size();
    ASSERT_EQ(app.captured_frames(), frames);
    ASSERT_GT(log->times.size(), 4u);

    // Frames: every one captured, from the first scan-out of the console on.
    EXPECT_EQ(scan_out_ns[0], clock.next_scan_out(0));
    std::vector<uint8_t> gray = command_output("ffmpeg -v error -i '" + video + "' -f rawvideo -pix_fmt gray -");
    ASSERT_EQ(gray.size(), frames * host::WIDTH * host::HEIGHT);
    auto first_lit = [&](auto lit_at) {
        for (size_t i = 0; i < frames; ++i) {
            if (lit_at(i)) return i;
        }
        return frames;
    };
    size_t console_first = first_lit([&](size_t i) { return lit[i]; });
    size_t video_first = first_lit([&](size_t i) {
        auto f = gray.begin() + static_cast<std::ptrdiff_t>(i * host::WIDTH * host::HEIGHT);
        return *std::max_element(f, f + host::WIDTH * host::HEIGHT) > 16;
    });
    ASSERT_LT(console_first, frames);
    EXPECT_EQ(video_first, console_first);
    std::vector<uint8_t> duration = command_output("ffprobe -v error -show_entries format=duration -of csv=p=0 '" +
                                                   video + "'");
    EXPECT_NEAR(std::atof(std::string(duration.begin(), duration.end()).c_str()), frames / 60.0, 1.5 / 60.0);

    // The sound the listener hears, on the video's time line (stereo frames
    // from the first scan-out), built from the writes and their times.
    const uint64_t zero = scan_out_ns[0];
    const size_t length = frames * 735;
    std::vector<int16_t> heard(length * 2, 0);
    uint64_t end = 0;  // stereo frames written so far
    for (size_t w = 0; w < log->times.size(); ++w) {
        uint64_t due = log->times[w] > zero ? (log->times[w] - zero) * 44100 / 1000000000ull : 0;
        uint64_t at = std::max(end, due);
        for (size_t k = 0; k < log->samples[w].size() && at * 2 + k < heard.size(); ++k) heard[at * 2 + k] = log->samples[w][k];
        end = at + log->samples[w].size() / 2;
    }
    std::vector<uint8_t> pcm = command_output("ffmpeg -v error -i '" + video + "' -f s16le -ac 2 -ar 44100 -");
    std::vector<int16_t> decoded(pcm.size() / 2);
    std::memcpy(decoded.data(), pcm.data(), decoded.size() * 2);
    ASSERT_GE(decoded.size(), heard.size() - 2048);

    // The decoded sound matches the expected one best with no shift at all
    // (the AAC coding changes the samples, not their times).
    auto mismatch = [&](long shift) {
        double sum = 0;
        for (size_t i = 0; i < heard.size(); ++i) {
            long j = static_cast<long>(i) + shift * 2;
            double d = (j >= 0 && j < static_cast<long>(decoded.size())) ? decoded[static_cast<size_t>(j)] : 0;
            sum += (d - heard[i]) * (d - heard[i]);
        }
        return sum;
    };
    long best = 0;
    double best_mismatch = mismatch(0);
    for (long shift = -1200; shift <= 1200; shift += 1) {
        double m = mismatch(shift);
        if (m < best_mismatch) {
            best_mismatch = m;
            best = shift;
        }
    }
    EXPECT_EQ(best, 0) << "the decoded sound is " << best << " stereo frames off";
    double energy = 0;
    for (int16_t s : heard) energy += static_cast<double>(s) * s;
    ASSERT_GT(energy, 0);
    EXPECT_LT(best_mismatch / energy, 0.05);  // the same sound, not just aligned noise

    // The sound starts when the first write is made: the device had nothing before.
    const double first_write_ms = (log->times[0] - zero) / 1e6;
    const double first_frame_ms = console_first * 1000.0 / 60.0;
    RecordProperty("first_sound_ms", std::to_string(first_write_ms));
    RecordProperty("first_scene_frame_ms", std::to_string(first_frame_ms));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace korvax
