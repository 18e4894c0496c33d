#include "tools/track/instruments.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "tools/track/dsp.h"

namespace korvax::track {
namespace {

constexpr double DT = 1.0 / SAMPLE_RATE;

// Voices that run for a fixed time after their start, gate or not.
class TimedVoice : public Voice {
protected:
    explicit TimedVoice(double seconds) : length_(static_cast<int64_t>(seconds * SAMPLE_RATE)) {}
    // Call once per sample; marks the voice finished at the end of its time.
    bool tick() {
        if (++age_ >= length_) {
            finished_ = true;
            return false;
        }
        return true;
    }
    double t() const { return static_cast<double>(age_) * DT; }
    // 1 until the last 30 ms of the voice, then down to 0: no step at the end.
    double fade() const { return std::min(1.0, static_cast<double>(length_ - age_) / (0.03 * SAMPLE_RATE)); }
    int64_t age_ = 0;
    int64_t length_;
};

// ---------------------------------------------------------------- drums

class KickVoice : public TimedVoice {
public:
    KickVoice(const NoteOn& n, bool boom)
        : TimedVoice(boom ? 2.6 : 0.55), vel_(n.velocity), boom_(boom), noise_(n.seed) {
        click_hp_.set(2500.0);
        body_lp_.set(boom ? 900.0 : 2500.0, 0.0);
    }
    void render(double* l, double* r, int n, const Params&) override {
        for (int i = 0; i < n && !finished_; ++i) {
            const double time = t();
            double f, env;
            if (boom_) {
                f = 34.0 + 70.0 * std::exp(-time / 0.09) + 260.0 * std::exp(-time / 0.008);
                env = time < 0.08 ? 1.0 : std::exp(-(time - 0.08) / 0.55);
            } else {
                f = 47.0 + 105.0 * std::exp(-time / 0.038) + 330.0 * std::exp(-time / 0.0055);
                env = time < 0.035 ? 1.0 : std::exp(-(time - 0.035) / 0.17);
            }
            const double attack = std::min(1.0, time / 0.0006);
            const double tail = std::min(1.0, (static_cast<double>(length_ - age_) * DT) / 0.02);
            double body = std::tanh(1.8 * osc_.sine(f) * env) / std::tanh(1.8);
            double click = click_hp_.high(noise_.next()) * std::exp(-time / 0.0018) * 0.35;
            double y = body_lp_.low(body + click) * attack * tail * vel_;
            l[i] += y;
            r[i] += y;
            tick();
        }
    }

private:
    double vel_;
    bool boom_;
    Noise noise_;
    Oscillator osc_;
    OnePole click_hp_;
    Svf body_lp_;
};

class SnareVoice : public TimedVoice {
public:
    explicit SnareVoice(const NoteOn& n) : TimedVoice(0.45), vel_(n.velocity), noise_l_(n.seed), noise_r_(n.seed * 7919u + 13u) {
        band_l_.set(2300.0, 0.15);
        band_r_.set(2500.0, 0.15);
        hp_l_.set(600.0);
        hp_r_.set(600.0);
    }
    void render(double* l, double* r, int n, const Params&) override {
        for (int i = 0; i < n && !finished_; ++i) {
            const double time = t();
            const double bend = 1.0 + 0.45 * std::exp(-time / 0.012);
            double tone = 0.55 * tone1_.sine(185.0 * bend) * std::exp(-time / 0.055) +
                          0.3 * tone2_.sine(328.0 * bend) * std::exp(-time / 0.035);
            const double nenv = std::exp(-time / 0.13) * std::min(1.0, time / 0.0008);
            Svf::Out ol = band_l_.process(noise_l_.next());
            Svf::Out or_ = band_r_.process(noise_r_.next());
            double nl = hp_l_.high(ol.band * 0.8 + ol.high * 0.5) * nenv;
            double nr = hp_r_.high(or_.band * 0.8 + or_.high * 0.5) * nenv;
            l[i] += (tone + nl) * vel_ * fade();
            r[i] += (tone + nr) * vel_ * fade();
            tick();
        }
    }

private:
    double vel_;
    Noise noise_l_, noise_r_;
    Oscillator tone1_, tone2_;
    Svf band_l_, band_r_;
    OnePole hp_l_, hp_r_;
};

class ClapVoice : public TimedVoice {
public:
    explicit ClapVoice(const NoteOn& n) : TimedVoice(0.55), vel_(n.velocity), noise_l_(n.seed), noise_r_(n.seed ^ 0xA5A5A5A5u) {
        band_l_.set(1150.0, 0.45);
        band_r_.set(1250.0, 0.45);
        hp_l_.set(700.0);
        hp_r_.set(700.0);
    }
    void render(double* l, double* r, int n, const Params&) override {
        for (int i = 0; i < n && !finished_; ++i) {
            const double time = t();
            double env = 0.0;
            for (int b = 0; b < 3; ++b) {
                double tb = time - 0.0085 * b;
                if (tb >= 0.0) env = std::max(env, std::exp(-tb / 0.0035));
            }
            const double tt = time - 0.0255;
            if (tt >= 0.0) env = std::max(env, std::exp(-tt / 0.10));
            double nl = hp_l_.high(band_l_.band(noise_l_.next())) * env * 2.2;
            double nr = hp_r_.high(band_r_.band(noise_r_.next())) * env * 2.2;
            l[i] += nl * vel_ * fade();
            r[i] += nr * vel_ * fade();
            tick();
        }
    }

private:
    double vel_;
    Noise noise_l_, noise_r_;
    Svf band_l_, band_r_;
    OnePole hp_l_, hp_r_;
};

class TomVoice : public TimedVoice {
public:
    explicit TomVoice(const NoteOn& n) : TimedVoice(0.6), vel_(n.velocity), base_(midi_to_hz(n.pitch)), noise_(n.seed) {
        lp_.set(3000.0, 0.0);
    }
    void render(double* l, double* r, int n, const Params&) override {
        for (int i = 0; i < n && !finished_; ++i) {
            const double time = t();
            double f = base_ * (1.0 + 0.5 * std::exp(-time / 0.04));
            double y = osc_.sine(f) * std::exp(-time / 0.22) + lp_.low(noise_.next()) * std::exp(-time / 0.01) * 0.4;
            y = std::tanh(1.4 * y) * vel_ * fade();
            l[i] += y;
            r[i] += y;
            tick();
        }
    }

private:
    double vel_, base_;
    Noise noise_;
    Oscillator osc_;
    Svf lp_;
};

// Six detuned square waves, the classic source of synthetic cymbals.
class MetalBank {
public:
    explicit MetalBank(double scale, uint32_t seed) : scale_(scale) {
        Noise n(seed);
        for (double& p : phase_) p = n.unit();
    }
    double next() {
        static const double F[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
        double s = 0.0;
        for (int i = 0; i < 6; ++i) {
            phase_[i] += F[i] * scale_ * DT;
            phase_[i] -= std::floor(phase_[i]);
            s += phase_[i] < 0.5 ? 1.0 : -1.0;
        }
        return s / 6.0;
    }

private:
    double scale_;
    std::array<double, 6> phase_{};
};

class HatVoice : public TimedVoice {
public:
    HatVoice(const NoteOn& n, bool open)
        : TimedVoice(open ? 0.9 : 0.2), vel_(n.velocity), decay_(open ? 0.2 : 0.032),
          metal_(1.45, n.seed), noise_(n.seed * 2654435761u + 1u) {
        band_.set(9500.0, 0.35);
        hp_.set(6500.0, 0.1);
    }
    void render(double* l, double* r, int n, const Params&) override {
        for (int i = 0; i < n && !finished_; ++i) {
            const double time = t();
            double src = band_.band(metal_.next()) * 1.4 + noise_.next() * 0.35;
            double y = hp_.high(src) * std::exp(-time / decay_) * std::min(1.0, time / 0.0005) * vel_ * fade();
            l[i] += y;
            r[i] += y;
            tick();
        }
    }

private:
    double vel_, decay_;
    MetalBank metal_;
    Noise noise_;
    Svf band_, hp_;
};

class CymbalVoice : public TimedVoice {
public:
    CymbalVoice(const NoteOn& n, bool ride)
        : TimedVoice(ride ? 1.6 : 4.0), vel_(n.velocity), ride_(ride), metal_(ride ? 2.3 : 1.7, n.seed),
          noise_l_(n.seed + 17u), noise_r_(n.seed + 91u) {
        hp_l_.set(ride ? 3500.0 : 4200.0, 0.1);
        hp_r_.set(ride ? 3600.0 : 4300.0, 0.1);
        bell_.set(ride ? 5200.0 : 7000.0, 0.5);
    }
    void render(double* l, double* r, int n, const Params&) override {
        for (int i = 0; i < n && !finished_; ++i) {
            const double time = t();
            double env = ride_ ? std::exp(-time / 0.45) * 0.6 + 0.4 * std::exp(-time / 0.06)
                               : std::exp(-time / 1.05) * 0.85 + 0.15 * std::exp(-time / 0.08);
            env *= std::min(1.0, time / 0.001) * fade();
            double m = bell_.band(metal_.next()) * (ride_ ? 1.4 : 0.9);
            double yl = hp_l_.high(m + noise_l_.next() * (ride_ ? 0.25 : 0.6)) * env * vel_;
            double yr = hp_r_.high(m + noise_r_.next() * (ride_ ? 0.25 : 0.6)) * env * vel_;
            l[i] += yl;
            r[i] += yr;
            tick();
        }
    }

private:
    double vel_;
    bool ride_;
    MetalBank metal_;
    Noise noise_l_, noise_r_;
    Svf hp_l_, hp_r_, bell_;
};

// Swells over the note's gate and stops dead at its end.
class ReverseCrashVoice : public TimedVoice {
public:
    explicit ReverseCrashVoice(const NoteOn& n)
        : TimedVoice(static_cast<double>(n.gate_frames) * DT), vel_(n.velocity), metal_(1.7, n.seed), noise_l_(n.seed + 3u),
          noise_r_(n.seed + 5u) {
        hp_l_.set(3800.0, 0.1);
        hp_r_.set(3900.0, 0.1);
    }
    void render(double* l, double* r, int n, const Params&) override {
        const double len = static_cast<double>(length_);
        for (int i = 0; i < n && !finished_; ++i) {
            double x = static_cast<double>(age_) / len;
            double env = x * x * x;
            double end = std::min(1.0, (len - static_cast<double>(age_)) / 200.0);
            double m = metal_.next() * 0.5;
            l[i] += hp_l_.high(m + noise_l_.next()) * env * end * vel_;
            r[i] += hp_r_.high(m + noise_r_.next()) * env * end * vel_;
            tick();
        }
    }

private:
    double vel_;
    MetalBank metal_;
    Noise noise_l_, noise_r_;
    Svf hp_l_, hp_r_;
};

// Noise through a band-pass whose centre climbs over the gate, plus a rising saw.
class RiserVoice : public TimedVoice {
public:
    explicit RiserVoice(const NoteOn& n)
        : TimedVoice(static_cast<double>(n.gate_frames) * DT + 0.05), vel_(n.velocity), gate_(static_cast<double>(n.gate_frames)),
          pitch_(n.pitch), noise_l_(n.seed + 1u), noise_r_(n.seed + 2u) {}
    void render(double* l, double* r, int n, const Params&) override {
        for (int i = 0; i < n && !finished_; ++i) {
            double x = std::min(1.0, static_cast<double>(age_) / gate_);
            if ((age_ & 7) == 0) {
                double fc = 250.0 * std::pow(9000.0 / 250.0, x);
                band_l_.set(fc, 0.55);
                band_r_.set(fc * 1.07, 0.55);
                saw_lp_.set(600.0 + 5000.0 * x * x, 0.2);
            }
            double env = x * x * std::min(1.0, (static_cast<double>(length_ - age_)) / 400.0);
            double pan = std::sin(TWO_PI * (2.0 * x + 6.0 * x * x));
            double s = saw_lp_.low(saw_.saw(midi_to_hz(pitch_ + 24.0 * x * x))) * 0.25;
            double nl = band_l_.band(noise_l_.next()) * 1.3;
            double nr = band_r_.band(noise_r_.next()) * 1.3;
            l[i] += (nl * (1.0 - 0.4 * pan) + s) * env * vel_;
            r[i] += (nr * (1.0 + 0.4 * pan) + s) * env * vel_;
            tick();
        }
    }

private:
    double vel_, gate_, pitch_;
    Noise noise_l_, noise_r_;
    Svf band_l_, band_r_, saw_lp_;
    Oscillator saw_;
};

class ImpactVoice : public TimedVoice {
public:
    explicit ImpactVoice(const NoteOn& n) : TimedVoice(3.0), vel_(n.velocity), noise_l_(n.seed), noise_r_(n.seed + 77u) {}
    void render(double* l, double* r, int n, const Params&) override {
        for (int i = 0; i < n && !finished_; ++i) {
            const double time = t();
            if ((age_ & 7) == 0) {
                double fc = 200.0 + 5000.0 * std::exp(-time / 0.25);
                lp_l_.set(fc, 0.1);
                lp_r_.set(fc, 0.1);
            }
            double f = 32.0 + 90.0 * std::exp(-time / 0.22);
            double sub = std::tanh(1.3 * osc_.sine(f)) * std::exp(-time / 0.75) * std::min(1.0, time / 0.002);
            double nenv = std::exp(-time / 0.35) * 0.5;
            double tail = std::min(1.0, static_cast<double>(length_ - age_) / 2000.0);
            l[i] += (sub + lp_l_.low(noise_l_.next()) * nenv) * vel_ * tail;
            r[i] += (sub + lp_r_.low(noise_r_.next()) * nenv) * vel_ * tail;
            tick();
        }
    }

private:
    double vel_;
    Noise noise_l_, noise_r_;
    Oscillator osc_;
    Svf lp_l_, lp_r_;
};

// ---------------------------------------------------------------- gated voices

// A voice held for its gate, then released until its envelope dies away.
class GatedVoice : public Voice {
protected:
    explicit GatedVoice(const NoteOn& n) : gate_(n.gate_frames) {}
    // Call once per sample before reading the envelope.
    void step_gate() {
        if (age_++ == gate_) amp_.release();
    }
    void check_done() {
        if (amp_.done()) finished_ = true;
    }
    double t() const { return static_cast<double>(age_) * DT; }
    int64_t gate_;
    int64_t age_ = 0;
    Adsr amp_;
};

class BassVoice : public GatedVoice {
public:
    explicit BassVoice(const NoteOn& n) : GatedVoice(n), vel_(n.velocity), freq_(midi_to_hz(n.pitch)) {
        amp_.set(0.003, 0.18, 0.75, 0.035);
        Noise s(n.seed);
        a_.set_phase(s.unit());
        b_.set_phase(s.unit());
    }
    void render(double* l, double* r, int n, const Params& p) override {
        for (int i = 0; i < n && !finished_; ++i) {
            step_gate();
            const double time = t();
            if ((age_ & 7) == 1) {
                double fenv = std::exp(-time / 0.11);
                lp_.set((140.0 + 1700.0 * fenv * vel_) * p.cutoff, 0.22 + p.resonance);
            }
            double src = 0.5 * (a_.saw(freq_ * 1.0035) + b_.saw(freq_ * 0.9965));
            double y = lp_.low(src) + 0.55 * sub_.sine(freq_);
            y = std::tanh(1.4 * y) * amp_.next() * vel_;
            l[i] += y;
            r[i] += y;
            check_done();
        }
    }

private:
    double vel_, freq_;
    Oscillator a_, b_, sub_;
    Svf lp_;
};

class SubBassVoice : public GatedVoice {
public:
    explicit SubBassVoice(const NoteOn& n) : GatedVoice(n), vel_(n.velocity), freq_(midi_to_hz(n.pitch)) {
        amp_.set(0.04, 0.5, 0.9, 0.35);
    }
    void render(double* l, double* r, int n, const Params&) override {
        for (int i = 0; i < n && !finished_; ++i) {
            step_gate();
            double y = std::tanh(1.2 * osc_.sine(freq_)) * amp_.next() * vel_;
            l[i] += y;
            r[i] += y;
            check_done();
        }
    }

private:
    double vel_, freq_;
    Oscillator osc_;
};

class AcidVoice : public GatedVoice {
public:
    explicit AcidVoice(const NoteOn& n)
        : GatedVoice(n), vel_(n.velocity), target_(n.pitch), from_(n.previous_pitch >= 0.0 ? n.previous_pitch : n.pitch),
          accent_(n.accent) {
        amp_.set(n.previous_pitch >= 0.0 ? 0.0005 : 0.002, 0.3, 0.85, 0.02);
    }
    void render(double* l, double* r, int n, const Params& p) override {
        for (int i = 0; i < n && !finished_; ++i) {
            step_gate();
            const double time = t();
            const double glide = std::exp(-time / 0.018);
            const double pitch = target_ + (from_ - target_) * glide;
            if ((age_ & 3) == 1) {
                double fenv = std::exp(-time / (accent_ ? 0.09 : 0.16));
                double fc = (180.0 + (accent_ ? 3200.0 : 1300.0) * fenv) * p.cutoff;
                lp_.set(fc, 0.78 + (accent_ ? 0.1 : 0.0) + p.resonance);
            }
            double y = lp_.low(osc_.saw(midi_to_hz(pitch)));
            y = std::tanh(2.2 * y) * amp_.next() * vel_ * (accent_ ? 1.0 : 0.8);
            l[i] += y;
            r[i] += y;
            check_done();
        }
    }

private:
    double vel_, target_, from_;
    bool accent_;
    Oscillator osc_;
    Svf lp_;
};

class SupersawVoice : public GatedVoice {
public:
    SupersawVoice(const NoteOn& n, bool stab) : GatedVoice(n), vel_(n.velocity), stab_(stab) {
        static const double DETUNE[7] = {-0.19, -0.115, -0.045, 0.0, 0.05, 0.11, 0.2};  // semitones
        static const double PAN[7] = {-0.95, 0.65, -0.35, 0.0, 0.35, -0.65, 0.95};
        Noise s(n.seed);
        for (int k = 0; k < 7; ++k) {
            freq_[k] = midi_to_hz(n.pitch + DETUNE[k]);
            osc_[k].set_phase(s.unit());
            pan_gains(PAN[k], gl_[k], gr_[k]);
        }
        sub_freq_ = midi_to_hz(n.pitch - 12.0);
        if (stab)
            amp_.set(0.003, 0.22, 0.35, 0.12);
        else
            amp_.set(0.55, 1.2, 0.85, 0.9);
    }
    void render(double* l, double* r, int n, const Params& p) override {
        for (int i = 0; i < n && !finished_; ++i) {
            step_gate();
            const double time = t();
            if ((age_ & 7) == 1) {
                double fc = stab_ ? (600.0 + 5200.0 * std::exp(-time / 0.16)) : 1800.0;
                lp_l_.set(fc * p.cutoff, 0.18 + p.resonance);
                lp_r_.set(fc * p.cutoff * 1.03, 0.18 + p.resonance);
            }
            double sl = 0.0, sr = 0.0;
            for (int k = 0; k < 7; ++k) {
                double v = osc_[k].saw(freq_[k]);
                sl += v * gl_[k];
                sr += v * gr_[k];
            }
            double sub = sub_.triangle(sub_freq_) * 0.6;
            double a = amp_.next() * vel_ * 0.3;
            l[i] += lp_l_.low(sl + sub) * a;
            r[i] += lp_r_.low(sr + sub) * a;
            check_done();
        }
    }

private:
    double vel_;
    bool stab_;
    Oscillator osc_[7], sub_;
    double freq_[7], gl_[7], gr_[7], sub_freq_;
    Svf lp_l_, lp_r_;
};

class LeadVoice : public GatedVoice {
public:
    explicit LeadVoice(const NoteOn& n)
        : GatedVoice(n), vel_(n.velocity), target_(n.pitch), from_(n.previous_pitch >= 0.0 ? n.previous_pitch : n.pitch) {
        amp_.set(0.004, 0.35, 0.72, 0.14);
        Noise s(n.seed);
        a_.set_phase(s.unit());
        b_.set_phase(s.unit());
        c_.set_phase(s.unit());
    }
    void render(double* l, double* r, int n, const Params& p) override {
        for (int i = 0; i < n && !finished_; ++i) {
            step_gate();
            const double time = t();
            const double glide = std::exp(-time / 0.03);
            const double vib_depth = 0.16 * std::min(1.0, std::max(0.0, (time - 0.22) / 0.3));
            const double pitch = target_ + (from_ - target_) * glide + vib_depth * std::sin(TWO_PI * 5.3 * time);
            const double f = midi_to_hz(pitch);
            if ((age_ & 7) == 1) {
                double fc = (1100.0 + 4800.0 * std::exp(-time / 0.28) * vel_) * p.cutoff;
                lp_l_.set(fc, 0.28 + p.resonance);
                lp_r_.set(fc * 1.04, 0.28 + p.resonance);
            }
            double sa = a_.saw(f * 1.004), sb = b_.saw(f * 0.996);
            double pu = c_.pulse(f * 0.5, 0.35) * 0.35;
            double a = amp_.next() * vel_ * 0.5;
            l[i] += lp_l_.low(sa * 0.8 + sb * 0.45 + pu) * a;
            r[i] += lp_r_.low(sb * 0.8 + sa * 0.45 + pu) * a;
            check_done();
        }
    }

private:
    double vel_, target_, from_;
    Oscillator a_, b_, c_;
    Svf lp_l_, lp_r_;
};

class PluckVoice : public GatedVoice {
public:
    explicit PluckVoice(const NoteOn& n) : GatedVoice(n), vel_(n.velocity), freq_(midi_to_hz(n.pitch)) {
        amp_.set(0.001, 0.2, 0.0, 0.08);
        Noise s(n.seed);
        a_.set_phase(s.unit());
        b_.set_phase(s.unit());
    }
    void render(double* l, double* r, int n, const Params& p) override {
        for (int i = 0; i < n && !finished_; ++i) {
            step_gate();
            const double time = t();
            if ((age_ & 7) == 1) {
                double fc = (350.0 + 4200.0 * std::exp(-time / 0.065) * vel_) * p.cutoff;
                lp_.set(fc, 0.35 + p.resonance);
            }
            double src = a_.saw(freq_ * 1.002) * 0.6 + b_.pulse(freq_ * 0.998, 0.42) * 0.5;
            double y = lp_.low(src) * amp_.next() * vel_ * 0.8;
            l[i] += y;
            r[i] += y;
            if (amp_.done() || time > 1.5) finished_ = true;
        }
    }

private:
    double vel_, freq_;
    Oscillator a_, b_;
    Svf lp_;
};

// Two-operator FM: a 1:1 modulator for the warm body and a brief 14:1 one for
// the tine's strike.
class BellVoice : public GatedVoice {
public:
    explicit BellVoice(const NoteOn& n) : GatedVoice(n), vel_(n.velocity), freq_(midi_to_hz(n.pitch)) {
        amp_.set(0.002, 2.2, 0.0, 0.5);
    }
    void render(double* l, double* r, int n, const Params&) override {
        for (int i = 0; i < n && !finished_; ++i) {
            step_gate();
            const double time = t();
            const double index = (1.3 * std::exp(-time / 0.45) + 0.25) * (0.6 + 0.4 * vel_);
            double mod = std::sin(TWO_PI * mod_phase_) * index + std::sin(TWO_PI * tine_phase_) * 0.35 * std::exp(-time / 0.02);
            double c = std::sin(TWO_PI * car_phase_ + mod);
            car_phase_ += freq_ * DT;
            mod_phase_ += freq_ * DT;
            tine_phase_ += freq_ * 14.0 * DT;
            car_phase_ -= std::floor(car_phase_);
            mod_phase_ -= std::floor(mod_phase_);
            tine_phase_ -= std::floor(tine_phase_);
            double trem = 1.0 + 0.12 * std::sin(TWO_PI * 4.2 * time);
            double y = c * amp_.next() * vel_ * 0.55;
            l[i] += y * trem;
            r[i] += y * (2.0 - trem);
            check_done();
        }
    }

private:
    double vel_, freq_;
    double car_phase_ = 0.0, mod_phase_ = 0.0, tine_phase_ = 0.0;
};

}  // namespace

std::unique_ptr<Voice> make_voice(Instrument instrument, const NoteOn& note) {
    switch (instrument) {
    case Instrument::Kick: return std::make_unique<KickVoice>(note, false);
    case Instrument::Boom: return std::make_unique<KickVoice>(note, true);
    case Instrument::Snare: return std::make_unique<SnareVoice>(note);
    case Instrument::Clap: return std::make_unique<ClapVoice>(note);
    case Instrument::Tom: return std::make_unique<TomVoice>(note);
    case Instrument::HatClosed: return std::make_unique<HatVoice>(note, false);
    case Instrument::HatOpen: return std::make_unique<HatVoice>(note, true);
    case Instrument::Ride: return std::make_unique<CymbalVoice>(note, true);
    case Instrument::Crash: return std::make_unique<CymbalVoice>(note, false);
    case Instrument::ReverseCrash: return std::make_unique<ReverseCrashVoice>(note);
    case Instrument::Riser: return std::make_unique<RiserVoice>(note);
    case Instrument::Impact: return std::make_unique<ImpactVoice>(note);
    case Instrument::Bass: return std::make_unique<BassVoice>(note);
    case Instrument::SubBass: return std::make_unique<SubBassVoice>(note);
    case Instrument::Acid: return std::make_unique<AcidVoice>(note);
    case Instrument::Pad: return std::make_unique<SupersawVoice>(note, false);
    case Instrument::Stab: return std::make_unique<SupersawVoice>(note, true);
    case Instrument::Lead: return std::make_unique<LeadVoice>(note);
    case Instrument::Pluck: return std::make_unique<PluckVoice>(note);
    case Instrument::Bell: return std::make_unique<BellVoice>(note);
    }
    return nullptr;
}

}  // namespace korvax::track
