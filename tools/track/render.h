// Mixing and mastering: plays a Score through its instruments into stereo PCM,
// and encodes PCM as Ogg Vorbis.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/track/score.h"

namespace korvax::track {

// Highest sample magnitude the master limiter lets through (-1.5 dBFS), so that
// the decoded stream, which overshoots a little, stays below -1 dBFS.
constexpr double MASTER_CEILING = 0.8414;

// The end of the track: from SILENT_FROM_FRAME on, a quarter of a second before
// the sequence ends, the track is exact silence, so that nothing is cut off
// when the sequence stops; the mix fades out over the FINAL_FADE_SECONDS
// before it, while the last hit's chord dies away.
constexpr int64_t SILENT_FROM_FRAME = SECTION_FRAMES[9] - 11025;
constexpr double FINAL_FADE_SECONDS = 1.7;
// The gain of that fade at a frame: 1 before it, 0 from SILENT_FROM_FRAME on.
double final_fade_gain(int64_t frame);

// Renders the first `frames` stereo frames of the score: interleaved left/right
// samples in [-MASTER_CEILING, MASTER_CEILING]. The result for a frame does not
// depend on how many frames are asked for beyond the limiter's short look-ahead.
std::vector<float> render(const Score& score, int64_t frames, struct RenderStats* stats = nullptr);

// Mixing figures for tuning the balance: the master's peak before the limiter,
// how many frames the limiter had to turn down, and each track's RMS level.
struct RenderStats {
    double peak_before_limiter = 0.0;
    int64_t limited_frames = 0;
    std::vector<std::pair<std::string, double>> track_rms;
};

// Look-ahead peak limiter (2 ms): scales both channels together so that no
// sample exceeds `ceiling`, with an instant attack and a 120 ms release.
void limit_peaks(std::vector<double>& left, std::vector<double>& right, double ceiling);

// Encodes interleaved stereo 44,100 Hz samples as an Ogg Vorbis stream at the
// given VBR quality. The logical stream's serial number is fixed, so the same
// samples always give the same bytes.
std::vector<uint8_t> encode_vorbis(const std::vector<float>& interleaved, float quality);

// Encodes at STREAM_QUALITY so that the decoded stream stays within
// STREAM_PEAK_LIMIT: where the codec's overshoot pushes a decoded peak past it,
// the PCM is dipped smoothly around that spot and encoded again. `pcm` is
// updated with the dips; `passes` receives the number of encodings made.
// Returns the last stream made (empty if encoding failed).
std::vector<uint8_t> encode_stream(std::vector<float>& pcm, int* passes = nullptr);

// A decoded Ogg Vorbis stream: interleaved samples in [-1, 1].
struct DecodedStream {
    int channels = 0;
    long rate = 0;
    int64_t declared_frames = -1;  // the length the stream's last granule position declares
    std::vector<float> samples;
    int64_t frames() const { return channels ? static_cast<int64_t>(samples.size()) / channels : 0; }
};

// Decodes a whole stream held in memory (libvorbisfile). False if it is not a
// readable Vorbis stream or decoding stops on an error.
bool decode_vorbis(const uint8_t* data, size_t size, DecodedStream& out);

// The serial number of the stream encode_vorbis writes ("KRVX").
constexpr uint32_t STREAM_SERIAL = 0x4B525658u;

// The highest sample magnitude the decoded stream may reach: -1 dBFS.
constexpr float STREAM_PEAK_LIMIT = 0.8913f;

// VBR quality of the embedded stream: about 120 kbit/s for this material.
constexpr float STREAM_QUALITY = 0.4f;

}  // namespace korvax::track
