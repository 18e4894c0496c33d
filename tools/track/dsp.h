// Signal-processing building blocks of the track synthesizer: band-limited
// oscillators, a state-variable filter, envelopes, a deterministic noise
// source, delay lines and a stereo reverb. Everything runs in double precision
// at SAMPLE_RATE; nothing here depends on time or on the machine's state, so the
// same calls always produce the same samples.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace korvax::track {

constexpr int SAMPLE_RATE = 44100;
constexpr double PI = 3.14159265358979323846;
constexpr double TWO_PI = 2.0 * PI;

inline double midi_to_hz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }
inline double db_to_gain(double db) { return std::pow(10.0, db / 20.0); }

// Small values in recursive state are flushed to zero so that decaying tails
// never reach the slow subnormal range.
inline double flush(double x) { return std::fabs(x) < 1e-20 ? 0.0 : x; }

// xorshift32: a fixed, seedable noise source.
class Noise {
public:
    explicit Noise(uint32_t seed = 0x9E3779B9u) : state_(seed ? seed : 0x9E3779B9u) {}
    uint32_t next_u32() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    // Uniform in [-1, 1).
    double next() { return static_cast<double>(next_u32()) * (2.0 / 4294967296.0) - 1.0; }
    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next_u32()) * (1.0 / 4294967296.0); }

private:
    uint32_t state_;
};

// Residual of the band-limited step (two-sample polynomial), t the phase in
// [0, 1), dt the phase increment per sample.
inline double poly_blep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

// A phase accumulator with PolyBLEP saw, square and pulse outputs, plus sine.
class Oscillator {
public:
    void set_phase(double p) { phase_ = p - std::floor(p); }
    double phase() const { return phase_; }

    // Each call returns the current sample and advances by freq.
    double saw(double freq) {
        const double dt = freq / SAMPLE_RATE;
        double v = 2.0 * phase_ - 1.0 - poly_blep(phase_, dt);
        advance(dt);
        return v;
    }
    double pulse(double freq, double width = 0.5) {
        const double dt = freq / SAMPLE_RATE;
        double v = phase_ < width ? 1.0 : -1.0;
        v += poly_blep(phase_, dt);
        double t2 = phase_ + (1.0 - width);
        t2 -= std::floor(t2);
        v -= poly_blep(t2, dt);
        advance(dt);
        return v;
    }
    double sine(double freq) {
        double v = std::sin(TWO_PI * phase_);
        advance(freq / SAMPLE_RATE);
        return v;
    }
    double triangle(double freq) {
        double v = phase_ < 0.5 ? 4.0 * phase_ - 1.0 : 3.0 - 4.0 * phase_;
        advance(freq / SAMPLE_RATE);
        return v;
    }

private:
    void advance(double dt) {
        phase_ += dt;
        if (phase_ >= 1.0) phase_ -= std::floor(phase_);
    }
    double phase_ = 0.0;
};

// Trapezoidal (zero-delay feedback) state-variable filter: low, band and high
// outputs at once. resonance 0..1 (1 = self-oscillation edge).
class Svf {
public:
    struct Out {
        double low, band, high;
    };
    void set(double cutoff_hz, double resonance) {
        double fc = std::fmin(std::fmax(cutoff_hz, 10.0), SAMPLE_RATE * 0.45);
        g_ = std::tan(PI * fc / SAMPLE_RATE);
        k_ = 2.0 - 2.0 * std::fmin(std::fmax(resonance, 0.0), 0.995);
        a1_ = 1.0 / (1.0 + g_ * (g_ + k_));
        a2_ = g_ * a1_;
        a3_ = g_ * a2_;
    }
    Out process(double v0) {
        double v3 = v0 - ic2_;
        double v1 = a1_ * ic1_ + a2_ * v3;
        double v2 = ic2_ + a2_ * ic1_ + a3_ * v3;
        ic1_ = flush(2.0 * v1 - ic1_);
        ic2_ = flush(2.0 * v2 - ic2_);
        return {v2, v1, v0 - k_ * v1 - v2};
    }
    double low(double v) { return process(v).low; }
    double band(double v) { return process(v).band; }
    double high(double v) { return process(v).high; }
    void reset() { ic1_ = ic2_ = 0.0; }

private:
    double g_ = 0.0, k_ = 2.0, a1_ = 1.0, a2_ = 0.0, a3_ = 0.0;
    double ic1_ = 0.0, ic2_ = 0.0;
};

// One-pole low-pass / high-pass (for smoothing and DC removal).
class OnePole {
public:
    void set(double cutoff_hz) { a_ = std::exp(-TWO_PI * cutoff_hz / SAMPLE_RATE); }
    double low(double x) {
        z_ = flush(x + (z_ - x) * a_);
        return z_;
    }
    double high(double x) { return x - low(x); }

private:
    double a_ = 0.0, z_ = 0.0;
};

// Attack (linear), decay and release (exponential) envelope with a gate.
class Adsr {
public:
    void set(double attack_s, double decay_s, double sustain, double release_s) {
        attack_step_ = 1.0 / std::fmax(1.0, attack_s * SAMPLE_RATE);
        decay_coef_ = std::exp(-1.0 / std::fmax(1.0, decay_s * SAMPLE_RATE));
        release_coef_ = std::exp(-1.0 / std::fmax(1.0, release_s * SAMPLE_RATE));
        sustain_ = sustain;
    }
    void release() { stage_ = Stage::Release; }
    bool done() const { return stage_ == Stage::Release && value_ < 1e-5; }
    double next() {
        switch (stage_) {
        case Stage::Attack:
            value_ += attack_step_;
            if (value_ >= 1.0) {
                value_ = 1.0;
                stage_ = Stage::Decay;
            }
            break;
        case Stage::Decay:
            value_ = sustain_ + (value_ - sustain_) * decay_coef_;
            break;
        case Stage::Release:
            value_ *= release_coef_;
            break;
        }
        return value_;
    }

private:
    enum class Stage { Attack, Decay, Release };
    Stage stage_ = Stage::Attack;
    double value_ = 0.0;
    double attack_step_ = 1.0, decay_coef_ = 0.0, release_coef_ = 0.0, sustain_ = 1.0;
};

// A delay line read at fractional positions (linear interpolation).
class DelayLine {
public:
    explicit DelayLine(size_t capacity = 1) : buf_(capacity, 0.0) {}
    void write(double x) {
        buf_[pos_] = x;
        pos_ = pos_ + 1 == buf_.size() ? 0 : pos_ + 1;
    }
    // The sample written `delay` samples before the most recent one, 1 <= delay < capacity.
    double read(double delay) const {
        double p = static_cast<double>(pos_) - delay;
        while (p < 0.0) p += static_cast<double>(buf_.size());
        size_t i0 = static_cast<size_t>(p);
        double f = p - static_cast<double>(i0);
        size_t i1 = i0 + 1 == buf_.size() ? 0 : i0 + 1;
        return buf_[i0] + (buf_[i1] - buf_[i0]) * f;
    }

private:
    std::vector<double> buf_;
    size_t pos_ = 0;
};

// A stereo reverb of eight damped combs and four allpasses per side, the right
// side's delays spread a little longer for width.
class Reverb {
public:
    Reverb(double room, double damping, double width);
    void process(double in_l, double in_r, double& out_l, double& out_r);

private:
    struct Comb {
        std::vector<double> buf;
        size_t pos = 0;
        double store = 0.0;
        double run(double x, double feedback, double damp) {
            double y = buf[pos];
            store = flush(y * (1.0 - damp) + store * damp);
            buf[pos] = x + store * feedback;
            if (++pos == buf.size()) pos = 0;
            return y;
        }
    };
    struct Allpass {
        std::vector<double> buf;
        size_t pos = 0;
        double run(double x) {
            double b = buf[pos];
            buf[pos] = flush(x + b * 0.5);
            if (++pos == buf.size()) pos = 0;
            return b - x;
        }
    };
    Comb comb_l_[8], comb_r_[8];
    Allpass ap_l_[4], ap_r_[4];
    double feedback_, damp_, wet1_, wet2_;
};

inline Reverb::Reverb(double room, double damping, double width) {
    static const int COMBS[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static const int ALLPASSES[4] = {556, 441, 341, 225};
    const int spread = 23;
    for (int i = 0; i < 8; ++i) {
        comb_l_[i].buf.assign(COMBS[i], 0.0);
        comb_r_[i].buf.assign(COMBS[i] + spread, 0.0);
    }
    for (int i = 0; i < 4; ++i) {
        ap_l_[i].buf.assign(ALLPASSES[i], 0.0);
        ap_r_[i].buf.assign(ALLPASSES[i] + spread, 0.0);
    }
    feedback_ = room * 0.28 + 0.7;
    damp_ = damping * 0.4;
    wet1_ = 0.5 * (1.0 + width);
    wet2_ = 0.5 * (1.0 - width);
}

inline void Reverb::process(double in_l, double in_r, double& out_l, double& out_r) {
    const double in = (in_l + in_r) * 0.015;
    double l = 0.0, r = 0.0;
    for (int i = 0; i < 8; ++i) {
        l += comb_l_[i].run(in, feedback_, damp_);
        r += comb_r_[i].run(in, feedback_, damp_);
    }
    for (int i = 0; i < 4; ++i) {
        l = ap_l_[i].run(l);
        r = ap_r_[i].run(r);
    }
    out_l = l * wet1_ + r * wet2_;
    out_r = r * wet1_ + l * wet2_;
}

// Equal-power pan, pan in [-1, 1].
inline void pan_gains(double pan, double& gl, double& gr) {
    double a = (pan + 1.0) * 0.25 * PI;
    gl = std::cos(a);
    gr = std::sin(a);
}

}  // namespace korvax::track
