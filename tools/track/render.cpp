#include "tools/track/render.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>

#include "tools/track/dsp.h"

namespace korvax::track {
namespace {

constexpr int BLOCK = 64;

// Side-chain shape under a kick: a fast dip, a short hold, then a recovery over
// about half a beat.
double duck_shape(double t) {
    if (t < 0.0) return 0.0;
    if (t < 0.003) return t / 0.003;
    if (t < 0.02) return 1.0;
    const double x = (t - 0.02) / 0.21;
    return x < 1.0 ? (1.0 - x) * (1.0 - x) : 0.0;
}

class Chorus {
public:
    Chorus() : l_(2048), r_(2048) {}
    void process(double& l, double& r) {
        const double t = static_cast<double>(n_++) / SAMPLE_RATE;
        l_.write(l);
        r_.write(r);
        const double dl = (0.011 + 0.0028 * std::sin(TWO_PI * 0.31 * t)) * SAMPLE_RATE;
        const double dr = (0.013 + 0.0028 * std::sin(TWO_PI * 0.27 * t + 1.7)) * SAMPLE_RATE;
        const double wl = l_.read(dl), wr = r_.read(dr);
        l = 0.75 * l + 0.55 * wr;
        r = 0.75 * r + 0.55 * wl;
    }

private:
    DelayLine l_, r_;
    int64_t n_ = 0;
};

struct ScheduledNote {
    int64_t start;
    NoteOn on;
};

struct TrackState {
    std::vector<ScheduledNote> notes;
    size_t next = 0;
    struct Active {
        std::unique_ptr<Voice> voice;
        int64_t start;
    };
    std::vector<Active> voices;
    double gain_l = 1.0, gain_r = 1.0;
    double level = 0.0;  // smoothed track level
    std::unique_ptr<Chorus> chorus;
};

uint32_t note_seed(size_t track, size_t note) {
    uint32_t h = static_cast<uint32_t>(track) * 0x9E3779B1u ^ static_cast<uint32_t>(note) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h ? h : 1u;
}

}  // namespace

// The gain at each sample is the average, over the look-ahead window, of a
// held-and-released minimum of the gains the coming peaks need; every sample of
// a window lies at or below the need of the peak it covers, so no output sample
// exceeds the ceiling.
void limit_peaks(std::vector<double>& l, std::vector<double>& r, double ceiling) {
    const size_t frames = std::min(l.size(), r.size());
    const size_t LOOK = 88;  // 2 ms
    const double release = std::exp(-1.0 / (0.12 * SAMPLE_RATE));
    const size_t total = frames + LOOK;
    std::vector<double> need(total, 1.0);
    for (size_t i = 0; i < frames; ++i) {
        const double peak = std::max(std::fabs(l[i]), std::fabs(r[i]));
        need[i] = peak > ceiling ? ceiling / peak : 1.0;
    }
    // Sliding minimum of need over [i, i + LOOK).
    std::vector<double> held(total, 1.0);
    std::deque<size_t> window;
    for (size_t i = total; i-- > 0;) {
        while (!window.empty() && need[window.back()] >= need[i]) window.pop_back();
        window.push_back(i);
        while (window.front() >= i + LOOK) window.pop_front();
        held[i] = need[window.front()];
    }
    // Instant attack, slow release.
    double g = 1.0;
    for (size_t i = 0; i < total; ++i) {
        g = std::min(held[i], 1.0 - (1.0 - g) * release);
        held[i] = g;
    }
    // Moving average over the LOOK samples ending at i.
    double sum = 0.0;
    for (size_t i = 0; i < frames; ++i) {
        sum += held[i];
        if (i >= LOOK) sum -= held[i - LOOK];
        const double gain = sum / static_cast<double>(std::min(i + 1, LOOK));
        l[i] *= gain;
        r[i] *= gain;
        // The average of the first few samples covers a shorter window; clamp
        // so that rounding can never let a sample past the ceiling.
        l[i] = std::clamp(l[i], -ceiling, ceiling);
        r[i] = std::clamp(r[i], -ceiling, ceiling);
    }
}


namespace {

// Every note of every track scheduled at its frame, with the track's pan and chorus.
std::vector<TrackState> schedule(const Score& score) {
    const TempoMap& tempo = score.tempo;
    std::vector<TrackState> state(score.tracks.size());
    for (size_t t = 0; t < score.tracks.size(); ++t) {
        const Track& tr = score.tracks[t];
        TrackState& st = state[t];
        double previous_pitch = -1.0;
        for (size_t k = 0; k < tr.notes.size(); ++k) {
            const Note& n = tr.notes[k];
            const int64_t start = std::llround(tempo.frame_of(n.beat));
            const int64_t end = std::llround(tempo.frame_of(n.beat + n.length));
            NoteOn on{n.pitch, n.velocity, std::max<int64_t>(1, end - start), n.slide ? previous_pitch : -1.0,
                      n.accent, note_seed(t, k), tempo.beat_frames_at(n.beat)};
            st.notes.push_back({start, on});
            previous_pitch = n.pitch;
        }
        pan_gains(tr.pan, st.gain_l, st.gain_r);
        // Equal-power pan at the centre is -3 dB on each side; restore unity there.
        st.gain_l *= std::sqrt(2.0);
        st.gain_r *= std::sqrt(2.0);
        if (tr.chorus) st.chorus = std::make_unique<Chorus>();
    }
    return state;
}

// The side-chain: how deep the tracks dip at each frame, from the kicks.
class SideChain {
public:
    explicit SideChain(const TrackState* kick_track) {
        if (!kick_track) return;
        for (const ScheduledNote& n : kick_track->notes) {
            kicks_.push_back(n.start);
            velocity_.push_back(n.on.velocity);
        }
    }
    double depth_at(int64_t f) {
        while (next_ < kicks_.size() && kicks_[next_] <= f) {
            last_ = kicks_[next_];
            last_velocity_ = velocity_[next_];
            ++next_;
        }
        return duck_shape(static_cast<double>(f - last_) / SAMPLE_RATE) * last_velocity_;
    }

private:
    std::vector<int64_t> kicks_;
    std::vector<double> velocity_;
    size_t next_ = 0;
    int64_t last_ = -1000000;
    double last_velocity_ = 0.0;
};

// One block of the mix: the dry sum and the two effect sends.
struct Block {
    int n = 0;
    double dry_l[BLOCK], dry_r[BLOCK], reverb_l[BLOCK], reverb_r[BLOCK], echo_l[BLOCK], echo_r[BLOCK];
    double duck[BLOCK], beat[BLOCK];
};

// Plays every track into the block: starts the notes due, renders the voices,
// applies level, side-chain and pan, and feeds the sends.
void mix_tracks(const Score& score, std::vector<TrackState>& state, int64_t b0, Block& block,
                std::vector<double>& track_energy) {
    const double level_smooth = std::exp(-1.0 / (0.003 * SAMPLE_RATE));
    const int n = block.n;
    double tl[BLOCK], tr_[BLOCK];
    for (size_t t = 0; t < score.tracks.size(); ++t) {
        const Track& tr = score.tracks[t];
        TrackState& st = state[t];
        while (st.next < st.notes.size() && st.notes[st.next].start < b0 + n) {
            const ScheduledNote& sn = st.notes[st.next++];
            st.voices.push_back({make_voice(tr.instrument, sn.on), sn.start});
        }
        if (st.voices.empty() && st.level == 0.0 && !st.chorus) continue;
        Params params;
        if (tr.automate) tr.automate(block.beat[0], params);
        std::fill(tl, tl + n, 0.0);
        std::fill(tr_, tr_ + n, 0.0);
        for (auto& a : st.voices) {
            const int off = static_cast<int>(std::max<int64_t>(0, a.start - b0));
            if (off < n) a.voice->render(tl + off, tr_ + off, n - off, params);
        }
        st.voices.erase(std::remove_if(st.voices.begin(), st.voices.end(),
                                       [](const TrackState::Active& a) { return a.voice->finished(); }),
                        st.voices.end());
        for (int i = 0; i < n; ++i) {
            const double target = tr.level ? tr.level(block.beat[i]) : 1.0;
            st.level = target + (st.level - target) * level_smooth;
            if (std::fabs(st.level) < 1e-9 && target == 0.0) st.level = 0.0;
            double l = tl[i], r = tr_[i];
            if (st.chorus) st.chorus->process(l, r);
            const double g = tr.gain * st.level * (1.0 - tr.duck * block.duck[i]);
            l *= g * st.gain_l;
            r *= g * st.gain_r;
            block.dry_l[i] += l;
            block.dry_r[i] += r;
            track_energy[t] += l * l + r * r;
            block.reverb_l[i] += l * tr.reverb_send;
            block.reverb_r[i] += r * tr.reverb_send;
            block.echo_l[i] += l * tr.delay_send;
            block.echo_r[i] += r * tr.delay_send;
        }
    }
}

// The shared effects and the master: a ping-pong echo on a dotted eighth, a
// reverb with a 15 ms pre-delay fed by its send and a little of the echo, and
// a DC-blocking high-pass on the sum.
class Master {
public:
    Master() : reverb_(0.84, 0.5, 1.0), predelay_l_(2048), predelay_r_(2048), echo_l_(16384), echo_r_(16384) {
        rev_hp_l_.set(220.0, 0.0);
        rev_hp_r_.set(220.0, 0.0);
        rev_lp_l_.set(7000.0, 0.0);
        rev_lp_r_.set(7000.0, 0.0);
        echo_hp_l_.set(300.0, 0.0);
        echo_hp_r_.set(300.0, 0.0);
        echo_lp_l_.set(4500.0, 0.0);
        echo_lp_r_.set(4500.0, 0.0);
        dc_l_.set(22.0, 0.0);
        dc_r_.set(22.0, 0.0);
    }

    void process(const Block& block, double* out_l, double* out_r) {
        const double echo_frames = 0.75 * 17500.0;  // dotted eighth at 151.2 beats per minute
        const double MASTER_GAIN = 0.8;
        for (int i = 0; i < block.n; ++i) {
            // Ping-pong echo: the mono send enters on the left and crosses sides.
            const double yl = echo_l_.read(echo_frames), yr = echo_r_.read(echo_frames);
            const double fl = echo_lp_l_.low(echo_hp_l_.high(yr));
            const double fr = echo_lp_r_.low(echo_hp_r_.high(yl));
            echo_l_.write(0.5 * (block.echo_l[i] + block.echo_r[i]) + 0.42 * fl);
            echo_r_.write(0.42 * fr);
            const double echo_gain = 0.55 * (1.0 - 0.3 * block.duck[i]);
            predelay_l_.write(block.reverb_l[i] + 0.25 * yl);
            predelay_r_.write(block.reverb_r[i] + 0.25 * yr);
            const double pl = rev_lp_l_.low(rev_hp_l_.high(predelay_l_.read(660.0)));
            const double pr = rev_lp_r_.low(rev_hp_r_.high(predelay_r_.read(660.0)));
            double wl, wr;
            reverb_.process(pl, pr, wl, wr);
            const double rev_gain = 1.6 * (1.0 - 0.25 * block.duck[i]);
            const double l = block.dry_l[i] + yl * echo_gain + wl * rev_gain;
            const double r = block.dry_r[i] + yr * echo_gain + wr * rev_gain;
            out_l[i] = dc_l_.high(l) * MASTER_GAIN;
            out_r[i] = dc_r_.high(r) * MASTER_GAIN;
        }
    }

private:
    Reverb reverb_;
    DelayLine predelay_l_, predelay_r_, echo_l_, echo_r_;
    Svf rev_hp_l_, rev_hp_r_, rev_lp_l_, rev_lp_r_, echo_hp_l_, echo_hp_r_, echo_lp_l_, echo_lp_r_, dc_l_, dc_r_;
};

void measure(const Score& score, const std::vector<double>& out_l, const std::vector<double>& out_r,
             const std::vector<double>& track_energy, RenderStats& stats) {
    const int64_t frames = static_cast<int64_t>(out_l.size());
    stats.peak_before_limiter = 0.0;
    stats.limited_frames = 0;
    for (int64_t f = 0; f < frames; ++f) {
        const double a = std::max(std::fabs(out_l[f]), std::fabs(out_r[f]));
        stats.peak_before_limiter = std::max(stats.peak_before_limiter, a);
        if (a > MASTER_CEILING) ++stats.limited_frames;
    }
    stats.track_rms.clear();
    for (size_t t = 0; t < score.tracks.size(); ++t)
        stats.track_rms.push_back(
            {score.tracks[t].name, std::sqrt(track_energy[t] / (2.0 * static_cast<double>(frames)))});
}

}  // namespace

double final_fade_gain(int64_t frame) {
    const double end = static_cast<double>(SILENT_FROM_FRAME), start = end - FINAL_FADE_SECONDS * SAMPLE_RATE;
    if (frame <= start) return 1.0;
    if (frame >= end) return 0.0;
    return 0.5 * (1.0 + std::cos(PI * (static_cast<double>(frame) - start) / (end - start)));
}

std::vector<float> render(const Score& score, int64_t frames, RenderStats* stats) {
    const TempoMap& tempo = score.tempo;
    std::vector<TrackState> state = schedule(score);
    SideChain side_chain(score.kick_track >= 0 ? &state[static_cast<size_t>(score.kick_track)] : nullptr);
    Master master;

    std::vector<double> track_energy(score.tracks.size(), 0.0);
    std::vector<double> out_l(static_cast<size_t>(frames)), out_r(static_cast<size_t>(frames));
    Block block;
    for (int64_t b0 = 0; b0 < frames; b0 += BLOCK) {
        block.n = static_cast<int>(std::min<int64_t>(BLOCK, frames - b0));
        const double beat0 = tempo.beat_of(static_cast<double>(b0));
        const double beat1 = tempo.beat_of(static_cast<double>(b0 + BLOCK));
        for (int i = 0; i < block.n; ++i) {
            block.beat[i] = beat0 + (beat1 - beat0) * i / BLOCK;
            block.duck[i] = side_chain.depth_at(b0 + i);
        }
        for (double* a : {block.dry_l, block.dry_r, block.reverb_l, block.reverb_r, block.echo_l, block.echo_r})
            std::fill(a, a + block.n, 0.0);
        mix_tracks(score, state, b0, block, track_energy);
        master.process(block, out_l.data() + b0, out_r.data() + b0);
    }

    if (stats) measure(score, out_l, out_r, track_energy, *stats);
    limit_peaks(out_l, out_r, MASTER_CEILING);

    // The final hit decays, and the whole mix (its reverb and echo included)
    // fades to exact silence a little before the sequence ends.
    std::vector<float> pcm(static_cast<size_t>(frames) * 2);
    for (int64_t f = 0; f < frames; ++f) {
        const double g = final_fade_gain(f);
        pcm[2 * f] = static_cast<float>(out_l[f] * g);
        pcm[2 * f + 1] = static_cast<float>(out_r[f] * g);
    }
    return pcm;
}

}  // namespace korvax::track
