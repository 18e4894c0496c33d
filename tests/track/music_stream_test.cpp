// The embedded music stream, decoded as a whole: its format, its level, and
// whether its sections change where the scenes do.
#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "assets/assets.h"
#include "tools/track/render.h"
#include "tools/track/score.h"

namespace korvax::track {
namespace {

constexpr double RATE = 44100.0;

double to_db(double power) { return 10.0 * std::log10(power + 1e-20); }

// In-place radix-2 FFT.
void fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double ang = -2.0 * 3.14159265358979323846 / static_cast<double>(len);
        const std::complex<double> wl(std::cos(ang), std::sin(ang));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0, 0.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const auto u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= wl;
            }
        }
    }
}

struct Decoded {
    Blob blob{};
    bool ok = false;
    DecodedStream stream;
    Score score;
};

class MusicStream : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        d_ = std::make_unique<Decoded>();
        d_->blob = embedded_asset(AssetId::MUSIC_STREAM);
        if (d_->blob.data && d_->blob.size) d_->ok = decode_vorbis(d_->blob.data, d_->blob.size, d_->stream);
        d_->score = compose();
    }
    static void TearDownTestSuite() { d_.reset(); }

    void SetUp() override {
        ASSERT_TRUE(d_->ok) << "the embedded stream does not decode";
        ASSERT_EQ(d_->stream.channels, 2);
    }
    static const std::vector<float>& pcm() { return d_->stream.samples; }
    static int64_t frames() { return d_->stream.frames(); }

    // Mean power of both channels over [a, b) seconds.
    static double power(double a, double b) {
        const int64_t f0 = std::max<int64_t>(0, std::llround(a * RATE));
        const int64_t f1 = std::min<int64_t>(frames(), std::llround(b * RATE));
        double sum = 0.0;
        for (int64_t f = f0; f < f1; ++f) sum += pcm()[2 * f] * pcm()[2 * f] + pcm()[2 * f + 1] * pcm()[2 * f + 1];
        return sum / (2.0 * static_cast<double>(std::max<int64_t>(1, f1 - f0)));
    }
    static double seconds(int64_t frame) { return static_cast<double>(frame) / RATE; }

    static std::unique_ptr<Decoded> d_;
};
std::unique_ptr<Decoded> MusicStream::d_;

TEST_F(MusicStream, DecodesToTheTrackLengthInStereoAt44100HzBelowMinusOneDbfs) {
    EXPECT_EQ(d_->stream.rate, 44100);
    EXPECT_EQ(d_->stream.declared_frames, 6456896);
    EXPECT_EQ(frames(), 6456896);
    EXPECT_LE(d_->blob.size, 0x880000u);  // the room the stream has in shared memory
    const double kbits = d_->blob.size * 8.0 / (6456896.0 / RATE) / 1000.0;
    EXPECT_GT(kbits, 96.0);
    EXPECT_LT(kbits, 150.0);

    float peak = 0.0f;
    for (float v : pcm()) peak = std::max(peak, std::fabs(v));
    EXPECT_LE(peak, 0.8913f);
    EXPECT_GT(peak, 0.7f);
    EXPECT_GT(to_db(power(99.0, 137.0)), -16.0);  // the drops are full-bodied
}

TEST_F(MusicStream, LevelsFollowTheArrangement) {
    // Out of silence and back into it, with no hole in between: the music
    // plays on until a second after the last hit.
    EXPECT_LT(to_db(power(0.0, 0.02)), -50.0);
    const double last_hit = seconds(std::llround(d_->score.tempo.frame_of(d_->score.section_beat[10])));
    for (double t = 1.0; t + 0.5 <= last_hit + 1.0; t += 0.5)
        EXPECT_GT(to_db(power(t, t + 0.5)), -36.0) << "silence at " << t << " s";
    const double end = seconds(TRACK_FRAMES);
    EXPECT_LT(to_db(power(end - 0.05, end)), -60.0);
    EXPECT_LT(std::fabs(pcm()[pcm().size() - 1]), 1e-3f);

    // The intro and the breakdown (first half of the sixth scene) sit well
    // below the drops.
    const double drops = to_db(power(seconds(SECTION_FRAMES[5]), seconds(SECTION_FRAMES[8])));
    const double intro = to_db(power(0.0, 10.0));
    const double breakdown = to_db(power(seconds(SECTION_FRAMES[4]) + 0.5, 0.5 * seconds(SECTION_FRAMES[4] + SECTION_FRAMES[5])));
    EXPECT_LT(intro, drops - 5.0);
    EXPECT_LT(breakdown, drops - 3.0);

    // The bass (below 150 Hz) carries a good share of every groove section.
    for (int k : {1, 2, 3, 4, 6, 7, 8}) {
        const int64_t f0 = SECTION_FRAMES[k - 1], f1 = SECTION_FRAMES[k];
        const size_t N = 8192;
        std::vector<std::complex<double>> buf(N);
        double low = 0.0, all = 0.0;
        for (int64_t start = f0; start + static_cast<int64_t>(N) <= f1; start += N) {
            for (size_t i = 0; i < N; ++i) buf[i] = 0.5 * (pcm()[2 * (start + i)] + pcm()[2 * (start + i) + 1]);
            fft(buf);
            for (size_t b = 1; b < N / 2; ++b) {
                const double p = std::norm(buf[b]);
                all += p;
                if (b * RATE / N < 150.0) low += p;
            }
        }
        EXPECT_GT(low / all, 0.25) << "scene " << k + 1;
    }
}

// Per sixteenth note of the score's beat grid: the power spectrum of the mid
// (L+R) and side (L-R) signals, summed into bands.
class Analysis {
public:
    static constexpr int MID_BANDS = 20;
    static constexpr int SIDE_BANDS = 5;
    static constexpr int GROUPS = 4;  // bass, low mids, mids, highs: for rhythm profiles

    Analysis(const std::vector<float>& pcm, const TempoMap& tempo, int beats) {
        const size_t N = 4096;
        std::vector<double> window(N);
        for (size_t i = 0; i < N; ++i) window[i] = 0.5 - 0.5 * std::cos(2.0 * 3.14159265358979323846 * i / N);
        std::vector<int> mid_band(N / 2, -1), side_band(N / 2, -1), group(N / 2, -1);
        for (size_t k = 1; k < N / 2; ++k) {
            const double f = k * RATE / N;
            if (f >= 40.0 && f < 16000.0) {
                mid_band[k] = static_cast<int>(std::log(f / 40.0) / std::log(16000.0 / 40.0) * MID_BANDS);
                side_band[k] = mid_band[k] * SIDE_BANDS / MID_BANDS;
            }
            group[k] = f < 30.0 ? -1 : f < 150.0 ? 0 : f < 600.0 ? 1 : f < 2500.0 ? 2 : f < 16000.0 ? 3 : -1;
        }
        const int64_t frames = static_cast<int64_t>(pcm.size() / 2);
        std::vector<std::complex<double>> mid(N), side(N);
        for (int step = 0; step < beats * 4; ++step) {
            const int64_t start = std::llround(tempo.frame_of(step * 0.25));
            std::vector<double> m(MID_BANDS, 0.0), s(SIDE_BANDS, 0.0), g(GROUPS, 0.0);
            for (size_t i = 0; i < N; ++i) {
                const int64_t f = std::min<int64_t>(frames - 1, start + static_cast<int64_t>(i));
                const double l = pcm[2 * f], r = pcm[2 * f + 1];
                mid[i] = 0.5 * (l + r) * window[i];
                side[i] = 0.5 * (l - r) * window[i];
            }
            fft(mid);
            fft(side);
            for (size_t k = 1; k < N / 2; ++k) {
                const double pm = std::norm(mid[k]), ps = std::norm(side[k]);
                if (mid_band[k] >= 0) m[mid_band[k]] += pm;
                if (side_band[k] >= 0) s[side_band[k]] += ps;
                if (group[k] >= 0) g[group[k]] += pm;
            }
            std::vector<double> feature = m;
            feature.insert(feature.end(), s.begin(), s.end());
            spectra_.push_back(feature);
            groups_.push_back(g);
        }
    }

    // Spectral change: band levels of the eight beats after `beat` against the
    // eight before, each leaving out the beat next to the boundary (crashes
    // and fills belong to the transition, not to either side).
    double spectral_change(int beat) const {
        const std::vector<double> a = mean_levels(beat - 9, beat - 1), b = mean_levels(beat + 1, beat + 9);
        double sum = 0.0;
        for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
        return std::sqrt(sum / static_cast<double>(a.size()));
    }
    // Rhythmic change: the per-sixteenth level profile of two bars after
    // `beat` against the two bars before.
    double rhythm_change(int beat) const {
        const std::vector<double> a = profile(beat - 8), b = profile(beat);
        double sum = 0.0;
        for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
        return std::sqrt(sum / static_cast<double>(a.size()));
    }
    double change(int beat) const { return std::hypot(spectral_change(beat), rhythm_change(beat)); }

private:
    std::vector<double> mean_levels(int b0, int b1) const {
        std::vector<double> sum(MID_BANDS + SIDE_BANDS, 0.0);
        for (int step = b0 * 4; step < b1 * 4; ++step)
            for (size_t i = 0; i < sum.size(); ++i) sum[i] += spectra_[step][i];
        for (double& v : sum) v = to_db(v / ((b1 - b0) * 4));
        return sum;
    }
    // 16 positions x GROUPS levels over the two bars from `beat`, each group's
    // mean level removed.
    std::vector<double> profile(int beat) const {
        std::vector<double> p(16 * GROUPS, 0.0);
        for (int step = 0; step < 32; ++step)
            for (int g = 0; g < GROUPS; ++g) p[(step % 16) * GROUPS + g] += groups_[beat * 4 + step][g];
        for (double& v : p) v = to_db(v / 2.0);
        for (int g = 0; g < GROUPS; ++g) {
            double mean = 0.0;
            for (int s = 0; s < 16; ++s) mean += p[s * GROUPS + g];
            mean /= 16.0;
            for (int s = 0; s < 16; ++s) p[s * GROUPS + g] -= mean;
        }
        return p;
    }
    std::vector<std::vector<double>> spectra_, groups_;
};

TEST_F(MusicStream, EverySceneChangeIsAClearSectionChange) {
    const Score& score = d_->score;
    const Analysis analysis(pcm(), score.tempo, static_cast<int>(score.section_beat[10]));

    // Reference: the same measure halfway through each steady eight-bar section,
    // where the chords change but the arrangement does not.
    double steady = 0.0;
    for (int k : {1, 2, 3, 4, 6, 7, 8}) steady = std::max(steady, analysis.change(static_cast<int>(score.section_beat[k]) + 16));
    EXPECT_GT(steady, 0.5);  // the measure does see chord changes

    for (int k = 1; k <= 9; ++k) {
        const int beat = static_cast<int>(score.section_beat[k]);
        const double change = analysis.change(beat);
        EXPECT_GT(change, 1.3 * steady) << "scene " << k + 1 << " at " << seconds(SECTION_FRAMES[k - 1]) << " s";
        EXPECT_GT(change, 3.0) << "scene " << k + 1;
    }

    // The last hit stands well above the beat before it.
    const double hit = seconds(std::llround(score.tempo.frame_of(score.section_beat[10])));
    EXPECT_GT(to_db(power(hit, hit + 0.3)), to_db(power(hit - 0.3, hit)) + 3.0);
}

// The sequence stops the sound where its last threshold passes: the last hit
// and its decay must be over by then, or the listener hears it cut off.
TEST_F(MusicStream, TheDecayIsOverBeforeTheSequenceEnds) {
    const int64_t end = SECTION_FRAMES[9];
    const Score& score = d_->score;
    const double hit = seconds(std::llround(score.tempo.frame_of(score.section_beat[10])));
    EXPECT_LT(hit, seconds(end) - 2.5) << "no room for the decay";

    // The last 20 ms before the end: below -40 dBFS, sample by sample.
    float peak = 0.0f;
    for (int64_t f = end - 882; f < end; ++f) peak = std::max({peak, std::fabs(pcm()[2 * f]), std::fabs(pcm()[2 * f + 1])});
    EXPECT_LT(20.0 * std::log10(peak + 1e-12), -40.0);

    // The decay is heard: a second after the hit the chord still sounds, and
    // it dies away steadily (each half second quieter than the one before).
    EXPECT_GT(to_db(power(hit + 1.0, hit + 1.2)), -30.0);
    double previous = to_db(power(hit + 1.0, hit + 1.5));
    for (double t = hit + 1.5; t + 0.5 <= seconds(end); t += 0.5) {
        const double level = to_db(power(t, t + 0.5));
        EXPECT_LT(level, previous) << "at " << t << " s";
        previous = level;
    }
}

// The drop follows a beat with nothing in the bass: its first kick must start
// on the very frame of its scene change, which ties the whole beat grid of the
// decoded stream to the scene thresholds.
TEST_F(MusicStream, TheDropLandsOnItsSceneChange) {
    const int64_t t = SECTION_FRAMES[5];
    // The bass band through two one-pole low-passes at 120 Hz.
    const double a = std::exp(-2.0 * 3.14159265358979323846 * 120.0 / RATE);
    double z1 = 0.0, z2 = 0.0;
    const int64_t from = t - 44100;
    std::vector<double> low;
    for (int64_t f = from; f < t + 4410; ++f) {
        const double x = 0.5 * (pcm()[2 * f] + pcm()[2 * f + 1]);
        z1 = x + (z1 - x) * a;
        z2 = z1 + (z2 - z1) * a;
        low.push_back(z2);
    }
    // Onset: the largest rise of power from one 5 ms window to the next.
    const int W = 220;
    double best = 0.0;
    int64_t best_at = 0;
    for (int64_t c = t - 882; c <= t + 882; ++c) {
        double before = 0.0, after = 0.0;
        for (int i = 0; i < W; ++i) {
            before += low[c - from - W + i] * low[c - from - W + i];
            after += low[c - from + i] * low[c - from + i];
        }
        const double rise = (after + 1e-12) / (before + 1e-12);
        if (rise > best) best = rise, best_at = c;
    }
    EXPECT_GT(best, 30.0);
    EXPECT_LE(std::llabs(best_at - t), 88) << "onset " << (best_at - t) << " frames from the scene change";
}

}  // namespace
}  // namespace korvax::track
