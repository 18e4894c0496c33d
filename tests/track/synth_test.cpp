// The track generator's parts: tempo map, score, instruments, limiter, and the
// determinism of rendering and encoding.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "tools/track/dsp.h"
#include "tools/track/instruments.h"
#include "tools/track/render.h"
#include "tools/track/score.h"

namespace korvax::track {
namespace {

const Score& the_score() {
    static const Score score = compose();
    return score;
}

TEST(TempoMap, EverySectionStartsOnTheFrameOfItsSceneChange) {
    const Score& s = the_score();
    for (int k = 1; k <= 9; ++k)
        EXPECT_NEAR(s.tempo.frame_of(s.section_beat[k]), static_cast<double>(SECTION_FRAMES[k - 1]), 0.5) << "section " << k;
    // The last hit comes inside the last scene, early enough for its decay.
    EXPECT_GT(s.tempo.frame_of(s.section_beat[10]), static_cast<double>(SECTION_FRAMES[8]));
    EXPECT_LT(s.tempo.frame_of(s.section_beat[10]), static_cast<double>(SILENT_FROM_FRAME) - 2.0 * SAMPLE_RATE);
    // Beats before the first downbeat reach back to frame 0.
    EXPECT_LE(s.tempo.frame_of(s.tempo.beat_of(0.0)), 0.5);
}

TEST(TempoMap, HoldsTheTempoWithinTwoPercentUntilTheRitardando) {
    const Score& s = the_score();
    const int ritardando = static_cast<int>(s.section_beat[10]) - 3;
    for (int b = 0; b < ritardando; ++b) {
        const double len = s.tempo.frame_of(b + 1) - s.tempo.frame_of(b);
        EXPECT_NEAR(len, 17500.0, 17500.0 * 0.02) << "beat " << b;
    }
    // The sections that last eight bars exactly run at 151.2 beats per minute.
    for (int k : {1, 7, 8})
        for (double b = s.section_beat[k]; b < s.section_beat[k + 1]; b += 1.0)
            EXPECT_NEAR(s.tempo.frame_of(b + 1) - s.tempo.frame_of(b), 17500.0, 1e-6);
    // The ritardando only slows down.
    for (int b = ritardando; b < ritardando + 3; ++b)
        EXPECT_GT(s.tempo.frame_of(b + 1) - s.tempo.frame_of(b), s.tempo.frame_of(b) - s.tempo.frame_of(b - 1));
}

TEST(TempoMap, BeatAndFrameConvertBothWays) {
    const TempoMap& t = the_score().tempo;
    for (double b : {-0.3, 0.0, 55.5, 56.0, 120.25, 249.9, 357.0, 358.0, 368.7}) EXPECT_NEAR(t.beat_of(t.frame_of(b)), b, 1e-9);
}

TEST(Score, StaysInAMinorWithItsDominantOnlyInTheAcidSection) {
    const Score& s = the_score();
    const std::set<int> a_minor = {9, 11, 0, 2, 4, 5, 7};
    int pitched = 0;
    for (const Track& t : s.tracks) {
        switch (t.instrument) {
        case Instrument::Bass: case Instrument::SubBass: case Instrument::Acid: case Instrument::Pad:
        case Instrument::Stab: case Instrument::Lead: case Instrument::Pluck: case Instrument::Bell:
            break;
        default:
            continue;
        }
        for (const Note& n : t.notes) {
            ++pitched;
            const int pc = static_cast<int>(std::lround(n.pitch)) % 12;
            const bool acid = n.beat >= s.section_beat[4] && n.beat < s.section_beat[5];
            EXPECT_TRUE(a_minor.count(pc) || (acid && pc == 8)) << t.name << " pitch " << n.pitch << " at beat " << n.beat;
            EXPECT_GE(n.pitch, 24.0);
            EXPECT_LE(n.pitch, 96.0);
        }
    }
    EXPECT_GT(pitched, 1000);
}

TEST(Score, NothingStartsAfterTheLastHitAndSomethingPlaysIt) {
    const Score& s = the_score();
    const double first = s.tempo.beat_of(0.0);
    double last = -1e9;
    for (const Track& t : s.tracks)
        for (const Note& n : t.notes) {
            EXPECT_GE(n.beat, first - 1e-9) << t.name;
            EXPECT_GT(n.length, 0.0) << t.name;
            EXPECT_GT(n.velocity, 0.0) << t.name;
            EXPECT_LE(n.velocity, 1.0) << t.name;
            last = std::max(last, n.beat);
        }
    EXPECT_DOUBLE_EQ(last, s.section_beat[10]);
}

// Renders one voice for at most `seconds`; returns the samples of both channels.
std::vector<double> play(Instrument inst, const NoteOn& on, double seconds, bool& finished) {
    auto voice = make_voice(inst, on);
    std::vector<double> out;
    double l[64], r[64];
    const int blocks = static_cast<int>(seconds * SAMPLE_RATE / 64);
    Params p;
    finished = false;
    for (int b = 0; b < blocks && !finished; ++b) {
        std::fill(l, l + 64, 0.0);
        std::fill(r, r + 64, 0.0);
        voice->render(l, r, 64, p);
        for (int i = 0; i < 64; ++i) {
            out.push_back(l[i]);
            out.push_back(r[i]);
        }
        finished = voice->finished();
    }
    return out;
}

TEST(Instruments, EveryVoiceSoundsStaysBoundedAndDiesAway) {
    const Instrument all[] = {Instrument::Kick, Instrument::Boom, Instrument::Snare, Instrument::Clap, Instrument::Tom,
                              Instrument::HatClosed, Instrument::HatOpen, Instrument::Ride, Instrument::Crash,
                              Instrument::ReverseCrash, Instrument::Riser, Instrument::Impact, Instrument::Bass,
                              Instrument::SubBass, Instrument::Acid, Instrument::Pad, Instrument::Stab, Instrument::Lead,
                              Instrument::Pluck, Instrument::Bell};
    for (Instrument inst : all) {
        for (double pitch : {33.0, 69.0, 84.0}) {
            // One beat of gate, a loud accented note gliding from an octave below.
            const NoteOn on{pitch, 1.0, 17500, pitch - 12.0, true, 12345u, 17500.0};
            bool finished = false;
            const std::vector<double> out = play(inst, on, 12.0, finished);
            EXPECT_TRUE(finished) << "instrument " << static_cast<int>(inst) << " never stops";
            double peak = 0.0, energy = 0.0;
            for (double v : out) {
                ASSERT_TRUE(std::isfinite(v)) << "instrument " << static_cast<int>(inst);
                peak = std::max(peak, std::fabs(v));
                energy += v * v;
            }
            EXPECT_LT(peak, 3.0) << "instrument " << static_cast<int>(inst);
            EXPECT_GT(std::sqrt(energy / out.size()), 1e-3) << "instrument " << static_cast<int>(inst) << " is silent";
            // The voice ends in silence, not on a step.
            const double tail = std::max(std::fabs(out[out.size() - 1]), std::fabs(out[out.size() - 2]));
            EXPECT_LT(tail, 0.02) << "instrument " << static_cast<int>(inst);
        }
    }
}

// Magnitude of one frequency in a signal (Goertzel).
double magnitude_at(const std::vector<double>& x, double freq) {
    const double w = 2.0 * PI * freq / SAMPLE_RATE;
    double s1 = 0.0, s2 = 0.0;
    for (double v : x) {
        const double s = v + 2.0 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return std::sqrt(s1 * s1 + s2 * s2 - 2.0 * std::cos(w) * s1 * s2) / static_cast<double>(x.size());
}

TEST(Oscillator, SawIsBandLimited) {
    // A 3,150 Hz saw (14 samples per period): its 8th harmonic at 25,200 Hz
    // folds back to 18,900 Hz in a naive saw.
    const double f = 3150.0, alias = SAMPLE_RATE - 8.0 * f;
    Oscillator osc;
    std::vector<double> blep, naive;
    double phase = 0.0;
    for (int i = 0; i < 44100; ++i) {
        blep.push_back(osc.saw(f));
        naive.push_back(2.0 * phase - 1.0);
        phase += f / SAMPLE_RATE;
        phase -= std::floor(phase);
    }
    const double fundamental = magnitude_at(blep, f);
    EXPECT_NEAR(fundamental, magnitude_at(naive, f), 0.1 * fundamental);
    EXPECT_LT(magnitude_at(blep, alias), magnitude_at(naive, alias) * 0.3);
    EXPECT_LT(magnitude_at(blep, alias), fundamental * 0.06);
}

TEST(Svf, LowPassPassesTheBandAndCutsAboveIt) {
    auto through = [](double freq) {
        Svf f;
        f.set(500.0, 0.0);
        std::vector<double> in, out;
        for (int i = 0; i < 44100; ++i) {
            const double x = std::sin(2.0 * PI * freq * i / SAMPLE_RATE);
            const double y = f.low(x);
            if (i > 4410) {
                in.push_back(x);
                out.push_back(y);
            }
        }
        return magnitude_at(out, freq) / magnitude_at(in, freq);
    };
    EXPECT_NEAR(through(100.0), 1.0, 0.12);
    EXPECT_LT(through(8000.0), 0.01);  // two poles: 12 dB per octave, four octaves up
}

TEST(Limiter, KeepsEverySampleUnderTheCeilingAndLeavesQuietPassagesAlone) {
    Noise noise(7);
    const size_t n = 44100;
    std::vector<double> l(n), r(n);
    for (size_t i = 0; i < n; ++i) {
        l[i] = 0.3 * noise.next();
        r[i] = 0.3 * noise.next();
    }
    // Isolated spikes, one of them on a single channel, and a loud burst.
    l[1000] = 3.0;
    r[20000] = -2.5;
    for (size_t i = 30000; i < 30500; ++i) l[i] = 1.6 * noise.next();
    const std::vector<double> l0 = l, r0 = r;
    limit_peaks(l, r, MASTER_CEILING);
    for (size_t i = 0; i < n; ++i) {
        ASSERT_LE(std::fabs(l[i]), MASTER_CEILING + 1e-12) << i;
        ASSERT_LE(std::fabs(r[i]), MASTER_CEILING + 1e-12) << i;
    }
    // Both channels are turned down together at a spike on one of them.
    EXPECT_NEAR(r[20000] / r0[20000], l[20000] / l0[20000], 1e-9);
    // Well before the first spike nothing changes; half a second after the
    // last one the gain has recovered.
    for (size_t i = 0; i < 800; ++i) EXPECT_EQ(l[i], l0[i]);
    for (size_t i = 30500 + 22050; i < n; ++i) EXPECT_NEAR(l[i], l0[i], 0.01 * std::fabs(l0[i]) + 1e-12);
}

TEST(Render, IsDeterministicAndIndependentOfTheLengthAsked) {
    const int64_t frames = 22050;
    const std::vector<float> a = render(the_score(), frames);
    const std::vector<float> b = render(the_score(), frames);
    const std::vector<float> longer = render(the_score(), 2 * frames);
    ASSERT_EQ(a.size(), static_cast<size_t>(2 * frames));
    EXPECT_EQ(a, b);
    // Only the limiter's look-ahead at the end of the shorter render may differ.
    EXPECT_TRUE(std::equal(a.begin(), a.end() - 2 * 100, longer.begin()));
    float peak = 0.0f;
    for (float v : a) peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.0f);
}

TEST(Encode, SameSamplesGiveTheSameBytesWithAFixedSerial) {
    // The opening seconds, through the same path the build uses.
    std::vector<float> pcm = render(the_score(), 3 * SAMPLE_RATE);
    std::vector<float> copy = pcm;
    const std::vector<uint8_t> one = encode_stream(pcm);
    const std::vector<uint8_t> two = encode_stream(copy);
    ASSERT_GT(one.size(), 28u);
    EXPECT_EQ(one, two);
    EXPECT_EQ(pcm, copy);
    // Ogg page header: capture pattern, then the serial number at byte 14.
    EXPECT_EQ(0, std::memcmp(one.data(), "OggS", 4));
    const uint32_t serial = one[14] | one[15] << 8 | one[16] << 16 | static_cast<uint32_t>(one[17]) << 24;
    EXPECT_EQ(serial, STREAM_SERIAL);
}

TEST(Encode, DipsTheSamplesWhereTheCodecOvershootsUntilTheDecodedPeakFits) {
    // Noise bursts and a saw pushed to 0.97: the codec's overshoot must be
    // taken back locally, leaving the rest of the samples untouched.
    const int64_t frames = 2 * SAMPLE_RATE;
    std::vector<float> pcm(2 * frames);
    Noise noise(99);
    Oscillator osc;
    for (int64_t f = 0; f < frames; ++f) {
        const bool burst = (f / 4410) % 4 == 0;
        const double v = burst ? noise.next() : osc.saw(110.0);
        pcm[2 * f] = static_cast<float>(0.97 * v);
        pcm[2 * f + 1] = static_cast<float>(0.97 * (burst ? noise.next() : v));
    }
    const std::vector<float> original = pcm;
    const std::vector<uint8_t> ogg = encode_stream(pcm);
    DecodedStream decoded;
    ASSERT_TRUE(decode_vorbis(ogg.data(), ogg.size(), decoded));
    EXPECT_EQ(decoded.frames(), frames);
    EXPECT_EQ(decoded.declared_frames, frames);
    float peak = 0.0f;
    for (float v : decoded.samples) peak = std::max(peak, std::fabs(v));
    EXPECT_LE(peak, STREAM_PEAK_LIMIT);
    size_t changed = 0;
    for (size_t i = 0; i < pcm.size(); ++i) {
        EXPECT_LE(std::fabs(pcm[i]), std::fabs(original[i]) + 1e-7f);
        if (pcm[i] != original[i]) ++changed;
    }
    EXPECT_GT(changed, 0u);
    EXPECT_LT(changed, pcm.size());
}

}  // namespace
}  // namespace korvax::track
