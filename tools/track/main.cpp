// korvax_track: composes, renders and encodes the demo's music track.
//
//   korvax_track OUT.ogg [--frames N] [--wav OUT.wav] [--stats]
//
// Without --frames the whole track (6,456,896 frames) is written. --wav also
// writes the rendered PCM (16-bit) for inspection; --stats prints the levels
// of the mix.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/track/dsp.h"
#include "tools/track/render.h"

namespace track = korvax::track;

namespace {

bool write_file(const std::string& path, const void* data, size_t size) {
    const std::string tmp = path + ".part";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !ok) return false;
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

void put16(std::string& s, uint32_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

bool write_wav(const std::string& path, const std::vector<float>& pcm) {
    std::string s = "RIFF";
    const uint32_t bytes = static_cast<uint32_t>(pcm.size() * 2);
    put32(s, 36 + bytes);
    s += "WAVEfmt ";
    put32(s, 16);
    put16(s, 1);
    put16(s, 2);
    put32(s, track::SAMPLE_RATE);
    put32(s, track::SAMPLE_RATE * 4);
    put16(s, 4);
    put16(s, 16);
    s += "data";
    put32(s, bytes);
    for (float v : pcm) {
        long q = std::lround(static_cast<double>(v) * 32767.0);
        q = std::max(-32768L, std::min(32767L, q));
        put16(s, static_cast<uint32_t>(static_cast<uint16_t>(static_cast<int16_t>(q))));
    }
    return write_file(path, s.data(), s.size());
}

}  // namespace

int main(int argc, char** argv) {
    std::string out, wav;
    bool show_stats = false;
    int64_t frames = track::TRACK_FRAMES;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--frames") && i + 1 < argc)
            frames = std::strtoll(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--wav") && i + 1 < argc)
            wav = argv[++i];
        else if (!std::strcmp(argv[i], "--stats"))
            show_stats = true;
        else if (argv[i][0] != '-' && out.empty())
            out = argv[i];
        else {
            std::fprintf(stderr, "usage: %s OUT.ogg [--frames N] [--wav OUT.wav] [--stats]\n", argv[0]);
            return 2;
        }
    }
    if (out.empty() || frames <= 0 || frames > track::TRACK_FRAMES) {
        std::fprintf(stderr, "usage: %s OUT.ogg [--frames N (1..%lld)] [--wav OUT.wav]\n", argv[0],
                     static_cast<long long>(track::TRACK_FRAMES));
        return 2;
    }

    using clock = std::chrono::steady_clock;
    const auto t0 = clock::now();
    track::RenderStats stats;
    std::vector<float> pcm = track::render(track::compose(), frames, &stats);
    const auto t1 = clock::now();
    int passes = 0;
    const std::vector<uint8_t> ogg = track::encode_stream(pcm, &passes);
    const auto t2 = clock::now();
    // The stream must decode to exactly the frames rendered, in stereo at
    // 44,100 Hz, and stay below -1 dBFS after the codec's overshoot.
    track::DecodedStream check;
    if (ogg.empty() || !track::decode_vorbis(ogg.data(), ogg.size(), check) || check.channels != 2 ||
        check.rate != track::SAMPLE_RATE || check.frames() != frames || check.declared_frames != frames) {
        std::fprintf(stderr, "korvax_track: the encoded stream does not decode to %lld stereo frames\n",
                     static_cast<long long>(frames));
        return 1;
    }
    float peak = 0.0f;
    for (float v : check.samples) peak = std::max(peak, std::fabs(v));
    if (peak > track::STREAM_PEAK_LIMIT) {
        std::fprintf(stderr, "korvax_track: decoded peak %.4f exceeds %.4f\n", peak, track::STREAM_PEAK_LIMIT);
        return 1;
    }
    if (!write_file(out, ogg.data(), ogg.size())) {
        std::fprintf(stderr, "korvax_track: cannot write %s\n", out.c_str());
        return 1;
    }
    if (!wav.empty() && !write_wav(wav, pcm)) {
        std::fprintf(stderr, "korvax_track: cannot write %s\n", wav.c_str());
        return 1;
    }
    if (show_stats) {
        std::printf("peak before the limiter %.2f dBFS, %lld frames limited\n", 20.0 * std::log10(stats.peak_before_limiter),
                    static_cast<long long>(stats.limited_frames));
        for (const auto& [name, rms] : stats.track_rms) std::printf("  %-14s %6.1f dB RMS\n", name.c_str(), 20.0 * std::log10(rms + 1e-12));
    }
    const double seconds = static_cast<double>(frames) / track::SAMPLE_RATE;
    std::printf("korvax_track: %lld frames (%.3f s), %zu bytes, %.1f kbit/s, decoded peak %.2f dBFS; render %.1f s, encode %.1f s (%d passes)\n",
                static_cast<long long>(frames), seconds, ogg.size(), ogg.size() * 8.0 / seconds / 1000.0, 20.0 * std::log10(peak),
                std::chrono::duration<double>(t1 - t0).count(), std::chrono::duration<double>(t2 - t1).count(), passes);
    return 0;
}
