#include "tools/track/score.h"

#include <algorithm>
#include <cmath>

#include "tools/track/dsp.h"

namespace korvax::track {

// ---------------------------------------------------------------- tempo map

void TempoMap::add_beats(int count, double frames_per_beat) {
    const double base = starts_.back();
    for (int k = 1; k <= count; ++k) starts_.push_back(base + frames_per_beat * k);
}

double TempoMap::frame_of(double beat) const {
    const int last = beats();
    if (beat < 0.0) return starts_[0] + beat * (starts_[1] - starts_[0]);
    if (beat >= last) return starts_[last] + (beat - last) * (starts_[last] - starts_[last - 1]);
    const int k = static_cast<int>(beat);
    return starts_[k] + (beat - k) * (starts_[k + 1] - starts_[k]);
}

double TempoMap::beat_of(double frame) const {
    const int last = beats();
    if (frame < starts_[0]) return (frame - starts_[0]) / (starts_[1] - starts_[0]);
    if (frame >= starts_[last]) return last + (frame - starts_[last]) / (starts_[last] - starts_[last - 1]);
    const auto it = std::upper_bound(starts_.begin(), starts_.end(), frame);
    const int k = static_cast<int>(it - starts_.begin()) - 1;
    return k + (frame - starts_[k]) / (starts_[k + 1] - starts_[k]);
}

double TempoMap::beat_frames_at(double beat) const {
    const int last = beats();
    int k = static_cast<int>(std::floor(beat));
    k = std::clamp(k, 0, last - 1);
    return starts_[k + 1] - starts_[k];
}

namespace {

// ---------------------------------------------------------------- harmony

struct Chord {
    int root;      // bass note (MIDI)
    int tones[4];  // pad voicing (MIDI)
};

// A natural minor, with E major for the cadence of the acid section.
const Chord AM = {33, {57, 60, 64, 67}};
const Chord FM = {29, {53, 57, 60, 64}};
const Chord CM = {36, {55, 60, 64, 67}};
const Chord GM = {31, {55, 59, 62, 67}};
const Chord EM = {28, {55, 59, 64, 67}};
const Chord EMAJ = {28, {56, 59, 64, 68}};

// Each chord lasts two bars (eight beats).
const Chord P_MAIN[4] = {AM, FM, CM, GM};
const Chord P_LIFT[4] = {FM, GM, EM, AM};
const Chord P_ACID[4] = {AM, GM, FM, EMAJ};
const Chord P_INTRO[7] = {AM, FM, CM, GM, AM, FM, GM};

struct MelodyNote {
    int bar, step, pitch, steps;  // 16 steps to the bar
};

// The main theme, over Am | F | C | G.
const MelodyNote THEME[] = {
    {0, 0, 76, 3}, {0, 3, 76, 3}, {0, 6, 74, 2}, {0, 8, 72, 3}, {0, 11, 74, 3}, {0, 14, 76, 2},
    {1, 0, 69, 6}, {1, 6, 67, 2}, {1, 8, 69, 4}, {1, 12, 72, 4},
    {2, 0, 77, 3}, {2, 3, 76, 3}, {2, 6, 72, 2}, {2, 8, 69, 3}, {2, 11, 72, 3}, {2, 14, 76, 2},
    {3, 0, 76, 6}, {3, 6, 74, 2}, {3, 8, 72, 4}, {3, 12, 69, 4},
    {4, 0, 79, 3}, {4, 3, 76, 3}, {4, 6, 72, 2}, {4, 8, 76, 3}, {4, 11, 79, 3}, {4, 14, 81, 2},
    {5, 0, 79, 6}, {5, 6, 76, 2}, {5, 8, 74, 4}, {5, 12, 72, 4},
    {6, 0, 74, 3}, {6, 3, 71, 3}, {6, 6, 67, 2}, {6, 8, 71, 3}, {6, 11, 74, 3}, {6, 14, 79, 2},
    {7, 0, 71, 4}, {7, 4, 72, 4}, {7, 8, 74, 6}, {7, 14, 76, 2},
};

// The anthem, over F | G | Em | Am.
const MelodyNote ANTHEM[] = {
    {0, 0, 81, 6}, {0, 6, 79, 2}, {0, 8, 77, 4}, {0, 12, 76, 4},
    {1, 0, 77, 8}, {1, 8, 72, 4}, {1, 12, 77, 4},
    {2, 0, 79, 6}, {2, 6, 77, 2}, {2, 8, 76, 4}, {2, 12, 74, 4},
    {3, 0, 74, 8}, {3, 8, 71, 4}, {3, 12, 74, 4},
    {4, 0, 76, 6}, {4, 6, 79, 2}, {4, 8, 83, 4}, {4, 12, 79, 4},
    {5, 0, 76, 8}, {5, 8, 74, 4}, {5, 12, 76, 4},
    {6, 0, 72, 6}, {6, 6, 76, 2}, {6, 8, 81, 8},
    {7, 0, 81, 4}, {7, 4, 79, 4}, {7, 8, 76, 8},
};

// Arpeggio orders over the chord's four tones (0..3) and their octave (4..7).
const int ARP_UP[16] = {0, 1, 2, 3, 4, 5, 6, 7, 6, 5, 4, 3, 2, 1, 2, 3};
const int ARP_WEAVE[16] = {0, 2, 4, 1, 3, 5, 2, 4, 6, 3, 5, 7, 4, 6, 3, 5};
const int ARP_LEAP[16] = {4, 0, 5, 1, 6, 2, 7, 3, 4, 0, 5, 1, 6, 2, 7, 3};

// The note `steps` degrees of A minor above `from` (a note of the scale);
// `leading_tone` raises G to G#.
int scale_step(int from, int steps, bool leading_tone) {
    static const int SCALE[7] = {0, 2, 3, 5, 7, 8, 10};  // A B C D E F G, from A
    const int rel = ((from - 9) % 12 + 12) % 12;
    int degree = 0;
    while (SCALE[degree] != rel) ++degree;
    const int target = degree + steps;
    int note = from - rel + SCALE[target % 7] + 12 * (target / 7);
    if (leading_tone && (note % 12) == 7) ++note;
    return note;
}

double clamp01(double x) { return std::clamp(x, 0.0, 1.0); }
double ramp(double beat, double b0, double b1, double v0, double v1) {
    return v0 + (v1 - v0) * clamp01((beat - b0) / (b1 - b0));
}
// Exponential glide between two positive values.
double eramp(double beat, double b0, double b1, double v0, double v1) {
    return v0 * std::pow(v1 / v0, clamp01((beat - b0) / (b1 - b0)));
}

// Section starts in beats: intro, groove, drive, theme, acid, breakdown and
// build, drop, second drop, anthem, outro, and the final hit.
enum Section { S_INTRO, S_GROOVE, S_DRIVE, S_THEME, S_ACID, S_BREAK, S_DROP, S_DROP2, S_ANTHEM, S_OUTRO, S_END };
constexpr int SECTION_BEAT[11] = {0, 56, 88, 120, 154, 186, 250, 283, 315, 347, 366};
constexpr int BUILD_BEAT = 218;  // the second half of the breakdown section builds up

class Composer {
public:
    explicit Composer(Score& s) : s_(s) {}

    int add(const std::string& name, Instrument inst, double gain, double pan = 0.0, double reverb = 0.0,
            double delay = 0.0, double duck = 0.0) {
        Track t;
        t.name = name;
        t.instrument = inst;
        t.gain = gain;
        t.pan = pan;
        t.reverb_send = reverb;
        t.delay_send = delay;
        t.duck = duck;
        s_.tracks.push_back(std::move(t));
        return static_cast<int>(s_.tracks.size()) - 1;
    }
    Track& track(int id) { return s_.tracks[id]; }

    void note(int id, double beat, double length, double pitch, double vel, bool slide = false, bool accent = false) {
        Note n{beat, length, pitch, vel, slide, accent};
        s_.tracks[id].notes.push_back(n);
    }
    void chord(int id, const Chord& c, double beat, double length, double vel, int transpose = 0) {
        for (int k = 0; k < 4; ++k) note(id, beat, length, c.tones[k] + transpose, vel);
    }
    void melody(int id, const MelodyNote* m, size_t count, double start, double vel, int transpose = 0,
                double gap = 0.04) {
        for (size_t i = 0; i < count; ++i) {
            const double beat = start + m[i].bar * 4.0 + m[i].step * 0.25;
            note(id, beat, m[i].steps * 0.25 - gap, m[i].pitch + transpose, vel * (m[i].step % 4 == 0 ? 1.0 : 0.9));
        }
    }
    void arpeggio(int id, const Chord* prog, double start, double end, const int* order, double vel, int transpose = 0) {
        for (double b = start; b < end - 1e-9; b += 0.25) {
            const int step = static_cast<int>(std::lround((b - start) * 4.0));
            const Chord& c = prog[(step / 32) % 4];
            const int idx = order[step % 16];
            const int pitch = c.tones[idx % 4] + (idx >= 4 ? 12 : 0) + transpose;
            note(id, b, 0.2, pitch, vel * (step % 2 == 0 ? 1.0 : 0.7));
        }
    }

private:
    Score& s_;
};

}  // namespace

Score compose() {
    Score s;

    // Tempo: the beats of each section fill it exactly. The first chord swells
    // in for 10,000 frames before the first beat.
    {
        double frame = 10000.0;
        s.tempo = TempoMap(frame);
        for (int k = 0; k < 10; ++k) {
            const int count = SECTION_BEAT[k + 1] - SECTION_BEAT[k];
            if (k == S_OUTRO) {
                // Four bars in tempo, then a ritardando of three beats onto the last hit.
                s.tempo.add_beats(16, 17500.0);
                s.tempo.add_beats(1, 18000.0);
                s.tempo.add_beats(1, 20000.0);
                s.tempo.add_beats(1, 22000.0);
            } else {
                s.tempo.add_beats(count, (static_cast<double>(SECTION_FRAMES[k]) - frame) / count);
            }
            frame = static_cast<double>(SECTION_FRAMES[k]);
        }
        s.tempo.add_beats(8, 22000.0);  // the decay after the last hit
        for (int k = 0; k <= 10; ++k) s.section_beat[k] = SECTION_BEAT[k];
    }

    Composer c(s);
    const int kick = c.add("kick", Instrument::Kick, 0.40);
    const int boom = c.add("boom", Instrument::Boom, 0.6, 0.0, 0.15);
    const int snare = c.add("snare", Instrument::Snare, 0.55, 0.05, 0.18);
    const int clap = c.add("clap", Instrument::Clap, 0.75, -0.05, 0.22);
    const int tom = c.add("tom", Instrument::Tom, 0.35, -0.2, 0.15);
    const int hat = c.add("hat", Instrument::HatClosed, 0.55, 0.3, 0.03);
    const int ohat = c.add("open hat", Instrument::HatOpen, 0.40, -0.25, 0.06);
    const int ride = c.add("ride", Instrument::Ride, 0.35, 0.35, 0.08);
    const int crash = c.add("crash", Instrument::Crash, 0.45, 0.0, 0.2);
    const int rcrash = c.add("reverse crash", Instrument::ReverseCrash, 0.35, 0.0, 0.2);
    const int riser = c.add("riser", Instrument::Riser, 0.25, 0.0, 0.35, 0.1);
    const int impact = c.add("impact", Instrument::Impact, 0.35, 0.0, 0.3);
    const int bass = c.add("bass", Instrument::Bass, 0.30, 0.0, 0.0, 0.0, 0.7);
    const int sub = c.add("sub", Instrument::SubBass, 0.30, 0.0, 0.0, 0.0, 0.6);
    const int acid = c.add("acid", Instrument::Acid, 0.42, 0.0, 0.05, 0.18, 0.35);
    const int pad = c.add("pad", Instrument::Pad, 0.38, 0.0, 0.35, 0.0, 0.55);
    const int stab = c.add("stab", Instrument::Stab, 0.50, 0.0, 0.25, 0.12, 0.5);
    const int lead = c.add("lead", Instrument::Lead, 0.60, 0.05, 0.22, 0.25, 0.15);
    const int lead2 = c.add("lead double", Instrument::Lead, 0.28, -0.15, 0.25, 0.2, 0.15);
    const int arp = c.add("arp", Instrument::Pluck, 0.38, -0.2, 0.18, 0.35, 0.35);
    const int bell = c.add("bell", Instrument::Bell, 0.50, 0.15, 0.45, 0.3);
    s.kick_track = kick;
    c.track(pad).chorus = true;
    c.track(stab).chorus = true;

    const double B1 = SECTION_BEAT[S_GROOVE], B2 = SECTION_BEAT[S_DRIVE], B3 = SECTION_BEAT[S_THEME],
                 B4 = SECTION_BEAT[S_ACID], B5 = SECTION_BEAT[S_BREAK], B6 = SECTION_BEAT[S_DROP],
                 B7 = SECTION_BEAT[S_DROP2], B8 = SECTION_BEAT[S_ANTHEM], B9 = SECTION_BEAT[S_OUTRO],
                 BE = SECTION_BEAT[S_END], BB = BUILD_BEAT;
    const double first_beat = s.tempo.beat_of(0.0);

    // Drum patterns, per beat.
    auto four_on_floor = [&](double from, double to, double vel) {
        for (double b = from; b < to - 1e-9; b += 1.0) c.note(kick, b, 0.1, 36, vel);
    };
    auto backbeat = [&](double from, double to, double vel) {
        for (double b = from + 1.0; b < to - 1e-9; b += 2.0) {
            c.note(clap, b, 0.1, 60, vel);
            c.note(snare, b, 0.1, 60, vel * 0.55);
        }
    };
    auto hats16 = [&](double from, double to, double vel) {
        static const double ACC[4] = {0.5, 0.28, 0.85, 0.33};
        for (double b = from; b < to - 1e-9; b += 0.25) {
            const int k = static_cast<int>(std::lround((b - from) * 4.0)) % 4;
            c.note(hat, b, 0.05, 60, vel * ACC[k]);
        }
    };
    auto offbeat_open = [&](double from, double to, double vel) {
        for (double b = from + 0.5; b < to - 1e-9; b += 1.0) c.note(ohat, b, 0.2, 60, vel);
    };
    auto offbeat_bass = [&](const Chord* prog, double from, double to, double vel) {
        for (double b = from; b < to - 1e-9; b += 1.0) {
            const int beat = static_cast<int>(b - from);
            const Chord& ch = prog[(beat / 8) % 4];
            c.note(bass, b + 0.5, 0.42, ch.root + (beat % 4 == 2 ? 12 : 0), vel);
        }
    };
    auto rolling_bass = [&](const Chord* prog, double from, double to, double vel) {
        for (double b = from; b < to - 1e-9; b += 1.0) {
            const int beat = static_cast<int>(b - from);
            const Chord& ch = prog[(beat / 8) % 4];
            for (int k = 1; k < 4; ++k)
                c.note(bass, b + 0.25 * k, 0.2, ch.root + (k == 3 && beat % 2 == 1 ? 12 : 0), vel * (0.75 + 0.1 * k));
        }
    };
    auto pads = [&](const Chord* prog, double from, double to, double vel) {
        for (double b = from; b < to - 1e-9; b += 8.0) {
            const Chord& ch = prog[static_cast<int>((b - from) / 8.0) % 4];
            c.chord(pad, ch, b, std::min(8.0, to - b), vel);
        }
    };
    auto crash_at = [&](double b, double vel, bool with_impact) {
        c.note(crash, b, 0.5, 60, vel);
        if (with_impact) c.note(impact, b, 0.5, 36, vel);
    };
    auto snare_roll = [&](double from, double to, double step, double v0, double v1) {
        for (double b = from; b < to - 1e-9; b += step) c.note(snare, b, 0.1, 60, ramp(b, from, to, v0, v1));
    };

    // ---- Intro: a lone pad opening up, a bell line, then the arpeggio and hats stir.
    for (int k = 0; k < 7; ++k) {
        const double b = k * 8.0;
        c.chord(pad, P_INTRO[k], k == 0 ? first_beat : b, k == 0 ? 8.0 - first_beat : 8.0, 0.7);
        if (k >= 2) {
            // A falling figure over the chord's tones, an octave above the pad.
            static const int BELL_TONE[5] = {3, 2, 1, 2, 0};
            static const double BELL_AT[5] = {0.0, 1.5, 3.0, 5.0, 6.5};
            for (int i = 0; i < 5; ++i)
                c.note(bell, b + BELL_AT[i], 1.4, P_INTRO[k].tones[BELL_TONE[i]] + 12, i == 0 ? 0.75 : 0.55);
            c.note(sub, b, 7.8, P_INTRO[k].root + 12, 0.45);
        }
    }
    for (double b = 32.0; b < B1; b += 8.0) {
        const Chord* one = &P_INTRO[static_cast<int>(b / 8.0)];
        const Chord prog[4] = {*one, *one, *one, *one};
        c.arpeggio(arp, prog, b, b + 8.0, ARP_UP, ramp(b, 32.0, 48.0, 0.5, 0.75));
    }
    for (double b = 40.5; b < B1; b += 1.0) c.note(hat, b, 0.05, 60, ramp(b, 40.0, 56.0, 0.3, 0.6));
    c.note(riser, 48.0, 8.0, 48, 0.8);
    c.note(rcrash, 54.0, 2.0, 60, 0.7);

    // ---- Groove: kick, offbeat bass, open hats.
    crash_at(B1, 0.9, true);
    four_on_floor(B1, B2, 1.0);
    offbeat_bass(P_MAIN, B1, B2, 0.9);
    offbeat_open(B1, B2, 0.55);
    pads(P_MAIN, B1, B2, 0.7);
    c.arpeggio(arp, P_MAIN, B1, B2, ARP_UP, 0.6);
    for (double b = B2 - 2.0; b < B2 - 1e-9; b += 0.25) c.note(snare, b, 0.1, 60, ramp(b, B2 - 2.0, B2, 0.25, 0.8));

    // ---- Drive: claps, sixteenth hats, rolling bass.
    crash_at(B2, 0.8, false);
    four_on_floor(B2, B3, 1.0);
    backbeat(B2, B3, 0.9);
    hats16(B2, B3, 0.85);
    offbeat_open(B2, B3, 0.45);
    rolling_bass(P_MAIN, B2, B3, 0.85);
    pads(P_MAIN, B2, B3, 0.6);
    c.arpeggio(arp, P_MAIN, B2, B3, ARP_WEAVE, 0.7);
    c.note(riser, B3 - 8.0, 8.0, 48, 0.7);
    c.note(rcrash, B3 - 2.0, 2.0, 60, 0.6);

    // ---- Theme: the lead states the main theme over pads alone; a two-beat fill closes it.
    crash_at(B3, 1.0, true);
    four_on_floor(B3, B3 + 32.0, 1.0);
    backbeat(B3, B3 + 32.0, 0.9);
    hats16(B3, B3 + 32.0, 0.9);
    offbeat_open(B3, B3 + 32.0, 0.5);
    offbeat_bass(P_MAIN, B3, B3 + 32.0, 0.9);
    pads(P_MAIN, B3, B3 + 34.0, 0.75);
    c.melody(lead, THEME, std::size(THEME), B3, 0.85);
    snare_roll(B3 + 32.0, B3 + 33.0, 0.25, 0.45, 0.8);
    {
        static const int TOMS[4] = {50, 47, 43, 40};
        for (int k = 0; k < 4; ++k) c.note(tom, B3 + 33.0 + 0.25 * k, 0.1, TOMS[k], 0.7 + 0.08 * k);
    }

    // ---- Acid: half-time drums, a squelching line over Am | G | F | E, chord stabs.
    crash_at(B4, 0.8, false);
    {
        static const int KICK_STEPS[3] = {0, 6, 11};
        static const struct {
            int degree;  // scale steps above the chord's root, or -1 for a rest
            bool accent, slide;
        } ACID_LINE[16] = {{0, true, false},  {0, false, false}, {7, false, true}, {0, false, false},
                           {-1, false, false}, {0, false, false}, {6, true, false}, {7, false, true},
                           {0, false, false},  {-1, false, false}, {0, true, false}, {2, false, false},
                           {3, false, true},   {0, false, false}, {4, true, false},  {-1, false, false}};
        double previous = -1.0;
        for (int bar = 0; bar < 8; ++bar) {
            const double b = B4 + bar * 4.0;
            const Chord& ch = P_ACID[bar / 2];
            const bool last_bar = bar == 7;
            for (int k : KICK_STEPS)
                if (!(last_bar && k > 8)) c.note(kick, b + k * 0.25, 0.1, 36, 1.0);
            c.note(snare, b + 2.0, 0.1, 60, 0.85);
            c.note(clap, b + 2.0, 0.1, 60, 0.6);
            if (!last_bar) c.note(snare, b + 3.75, 0.1, 60, 0.25);
            for (int k = 0; k < 16; ++k) {
                if (last_bar && k >= 12) break;
                c.note(hat, b + k * 0.25, 0.05, 60, (k % 2 == 0 ? 0.55 : 0.3) * (k % 4 == 2 ? 1.3 : 1.0));
            }
            c.note(ohat, b + 3.5, 0.2, 60, 0.4);
            for (int k = 0; k < 16; ++k) {
                const auto& st = ACID_LINE[k];
                if (st.degree < 0) {
                    previous = -1.0;
                    continue;
                }
                // Over E the line takes the leading tone G# (harmonic minor).
                const double pitch = scale_step(ch.root + 12, st.degree, ch.root % 12 == 4);
                const bool slide = st.slide && previous >= 0.0;
                // A slid note is tied to the next step.
                c.note(acid, b + k * 0.25, st.slide ? 0.25 : 0.17, pitch, 0.9, slide, st.accent);
                previous = pitch;
            }
            if (bar % 2 == 0) c.note(sub, b, 7.9, ch.root, 0.5);
            if (bar % 2 == 1) {
                c.chord(stab, ch, b + 0.75, 0.3, 0.6, 12);
                c.chord(stab, ch, b + 2.5, 0.3, 0.5, 12);
            }
        }
        for (int k = 0; k < 4; ++k) c.note(tom, B4 + 31.0 + 0.25 * k, 0.1, 52 - 3 * k, 0.6 + 0.1 * k);
    }

    // ---- Breakdown: pads over F | G | Em | Am, the anthem on the bell, sub bass.
    crash_at(B5, 0.6, true);
    pads(P_LIFT, B5, BB, 0.4);
    c.melody(bell, ANTHEM, std::size(ANTHEM), B5, 0.75, 0, 0.0);
    for (int k = 0; k < 4; ++k) c.note(sub, B5 + 8.0 * k, 7.8, P_LIFT[k].root + 12, 0.35);
    c.arpeggio(arp, P_LIFT, B5 + 16.0, BB, ARP_UP, 0.35);

    // ---- Build: filtered supersaw eighths open up over the main chords, the
    // theme enters muted, a snare roll tightens and the last beat is held silent.
    pads(P_MAIN, BB, B6 - 1.0, 0.35);
    for (double b = BB; b < B6 - 1.0 - 1e-9; b += 0.5) {
        const Chord& ch = P_MAIN[static_cast<int>((b - BB) / 8.0) % 4];
        c.chord(stab, ch, b, 0.35, ramp(b, BB, B6, 0.55, 0.85));
    }
    c.melody(lead, THEME, std::size(THEME), BB, 0.6);
    // The build's last beat is silent: drop the theme's final notes that would sound in it.
    {
        auto& n = c.track(lead).notes;
        n.erase(std::remove_if(n.begin(), n.end(), [&](const Note& x) { return x.beat >= B6 - 1.0 - 1e-9; }), n.end());
        for (auto& x : n)
            if (x.beat >= BB && x.beat + x.length > B6 - 1.0) x.length = B6 - 1.0 - x.beat;
    }
    snare_roll(BB, BB + 16.0, 1.0, 0.25, 0.45);
    snare_roll(BB + 16.0, BB + 24.0, 0.5, 0.45, 0.6);
    snare_roll(BB + 24.0, BB + 28.0, 0.25, 0.6, 0.8);
    snare_roll(BB + 28.0, B6 - 1.0, 0.125, 0.8, 1.0);
    four_on_floor(BB + 16.0, B6 - 1.0, 0.85);
    c.note(riser, BB, B6 - 1.0 - BB, 45, 0.9);
    c.note(rcrash, B6 - 2.0, 2.0, 60, 0.8);

    // ---- Drop: everything, the theme on the full lead; a one-beat fill at its end.
    crash_at(B6, 1.0, true);
    four_on_floor(B6, B6 + 32.0, 1.0);
    backbeat(B6, B6 + 32.0, 1.0);
    hats16(B6, B6 + 32.0, 1.0);
    offbeat_open(B6, B6 + 32.0, 0.6);
    offbeat_bass(P_MAIN, B6, B6 + 32.0, 1.0);
    pads(P_MAIN, B6, B7, 0.7);
    c.melody(lead, THEME, std::size(THEME), B6, 1.0);
    snare_roll(B6 + 32.0, B7, 0.25, 0.6, 1.0);
    c.note(tom, B6 + 32.5, 0.1, 43, 0.8);
    c.note(tom, B6 + 32.75, 0.1, 40, 0.9);

    // ---- Second drop: broken beat, ride, rolling bass, offbeat stabs, a bright
    // arpeggio, and the theme doubled an octave up.
    crash_at(B7, 1.0, false);
    for (double bar = B7; bar < B8 - 1e-9; bar += 4.0) {
        const bool last = bar + 4.0 >= B8 - 1e-9;
        for (int k : {0, 6, 10}) c.note(kick, bar + k * 0.25, 0.1, 36, 1.0);
        if (static_cast<int>((bar - B7) / 4.0) % 2 == 1) c.note(kick, bar + 3.5, 0.1, 36, 0.8);
        c.note(clap, bar + 1.0, 0.1, 60, 1.0);
        c.note(snare, bar + 1.0, 0.1, 60, 0.6);
        if (!last) {
            c.note(clap, bar + 3.0, 0.1, 60, 1.0);
            c.note(snare, bar + 3.0, 0.1, 60, 0.6);
            c.note(snare, bar + 1.75, 0.1, 60, 0.2);
            c.note(snare, bar + 2.25, 0.1, 60, 0.15);
            c.note(snare, bar + 3.75, 0.1, 60, 0.22);
        }
        for (double b = bar; b < bar + (last ? 3.0 : 4.0) - 1e-9; b += 0.5) c.note(ride, b, 0.1, 60, b == bar ? 0.8 : 0.6);
    }
    hats16(B7, B8 - 1.0, 0.6);
    rolling_bass(P_MAIN, B7, B8, 0.95);
    for (double b = B7 + 0.5; b < B8 - 1e-9; b += 1.0) {
        const Chord& ch = P_MAIN[static_cast<int>((b - B7) / 8.0) % 4];
        c.chord(stab, ch, b, 0.25, 0.6);
    }
    c.melody(lead, THEME, std::size(THEME), B7, 1.0);
    c.melody(lead2, THEME, std::size(THEME), B7, 1.0, 12);
    c.arpeggio(arp, P_MAIN, B7, B8, ARP_LEAP, 0.75, 12);
    snare_roll(B8 - 1.0, B8, 0.25, 0.5, 0.9);
    c.note(rcrash, B8 - 1.0, 1.0, 60, 0.6);

    // ---- Anthem: F | G | Em | Am, a wall of gated supersaw chords, the anthem on
    // the lead doubled an octave down, open hats only.
    crash_at(B8, 1.0, true);
    four_on_floor(B8, B9, 1.0);
    backbeat(B8, B9, 1.0);
    offbeat_open(B8, B9, 0.8);
    offbeat_bass(P_LIFT, B8, B9, 1.0);
    pads(P_LIFT, B8, B9, 0.6);
    for (double b = B8; b < B9 - 1e-9; b += 8.0) c.chord(stab, P_LIFT[static_cast<int>((b - B8) / 8.0) % 4], b, 7.9, 0.75);
    c.melody(lead, ANTHEM, std::size(ANTHEM), B8, 1.0);
    c.melody(lead2, ANTHEM, std::size(ANTHEM), B8, 0.9, -12);
    c.note(rcrash, B9 - 2.0, 2.0, 60, 0.6);

    // ---- Outro: Am and F thin out, the theme's echo on the bell, a ritardando onto the last chord.
    crash_at(B9, 0.7, true);
    for (double b = B9; b < B9 + 12.0 - 1e-9; b += 1.0) c.note(kick, b, 0.1, 36, ramp(b, B9, B9 + 12.0, 0.95, 0.6));
    hats16(B9, B9 + 8.0, 0.6);
    for (double b = B9 + 8.5; b < B9 + 16.0 - 1e-9; b += 1.0) c.note(hat, b, 0.05, 60, 0.35);
    {
        const Chord prog[4] = {AM, FM, AM, FM};
        offbeat_bass(prog, B9, B9 + 8.0, 0.8);
        c.note(sub, B9 + 8.0, 7.8, FM.root + 12, 0.5);
        pads(prog, B9, B9 + 16.0, 0.7);
        c.arpeggio(arp, prog, B9, B9 + 16.0, ARP_UP, 0.5);
        for (const MelodyNote& m : THEME)
            if (m.bar == 2 || m.bar == 3) c.note(bell, B9 + 8.0 + (m.bar - 2) * 4.0 + m.step * 0.25, m.steps * 0.25, m.pitch, 0.6);
    }
    const double R = B9 + 16.0;  // ritardando: three slowing beats on G
    c.chord(pad, GM, R, 3.0, 0.75);
    c.chord(stab, GM, R, 2.9, 0.5, 12);
    c.note(sub, R, 2.9, GM.root + 12, 0.55);
    for (int k = 0; k < 3; ++k) {
        c.note(kick, R + k, 0.1, 36, 0.75 + 0.1 * k);
        c.note(snare, R + k, 0.1, 60, 0.55 + 0.15 * k);
        c.note(tom, R + k + 0.5, 0.1, 47 - 4 * k, 0.5 + 0.1 * k);
    }
    c.note(rcrash, BE - 1.0, 1.0, 60, 0.7);
    // The last hit: boom, crash, and the tonic chord left to ring out.
    c.note(boom, BE, 0.1, 36, 0.75);
    c.note(crash, BE, 0.5, 60, 1.0);
    c.chord(pad, AM, BE, 1.5, 0.9);
    c.chord(stab, AM, BE, 1.5, 0.55, 12);
    c.note(bell, BE, 2.0, 69, 0.7);
    c.note(bell, BE, 2.0, 76, 0.5);
    c.note(sub, BE, 1.5, AM.root, 0.4);

    // ---- Automation.
    c.track(pad).automate = [=](double b, Params& p) {
        if (b < B1)
            p.cutoff = eramp(b, first_beat, B1, 0.16, 1.1);
        else if (b < B5)
            p.cutoff = 1.0;
        else if (b < BB)
            p.cutoff = ramp(b, B5, BB, 0.55, 1.0);
        else if (b < B6)
            p.cutoff = eramp(b, BB, B6, 0.35, 1.4);
        else if (b < B9)
            p.cutoff = 1.3;
        else if (b < BE)
            p.cutoff = eramp(b, B9, BE, 1.1, 0.4);
        else
            p.cutoff = 0.9;
    };
    c.track(pad).level = [=](double b) { return clamp01((b - first_beat) / 6.0); };
    c.track(arp).automate = [=](double b, Params& p) {
        if (b < B1)
            p.cutoff = eramp(b, 32.0, B1, 0.22, 0.6);
        else if (b < B2)
            p.cutoff = 0.55;
        else if (b < B3)
            p.cutoff = ramp(b, B2, B3, 0.7, 1.0);
        else if (b < B5)
            p.cutoff = 0.75;
        else if (b < B6)
            p.cutoff = 0.35;
        else if (b < B8)
            p.cutoff = 1.4;
        else if (b < B9)
            p.cutoff = 1.1;
        else
            p.cutoff = eramp(b, B9, B9 + 16.0, 0.9, 0.25);
    };
    c.track(stab).automate = [=](double b, Params& p) {
        if (b >= BB && b < B6)
            p.cutoff = eramp(b, BB, B6 - 1.0, 0.1, 1.5), p.resonance = ramp(b, BB, B6, 0.1, 0.35);
        else if (b >= B8 && b < B9)
            p.cutoff = 1.2;
        else
            p.cutoff = 0.9;
    };
    // Trance gate on the anthem's sustained chords.
    c.track(stab).level = [=](double b) {
        if (b < B8 || b >= B9) return 1.0;
        static const bool GATE[16] = {1, 0, 1, 1, 0, 1, 1, 0, 1, 0, 1, 1, 0, 1, 1, 1};
        const double x = (b - B8) * 4.0;
        const int step = static_cast<int>(x) % 16;
        const double frac = x - std::floor(x);
        return GATE[step] && frac < 0.7 ? 1.3 : 0.1;
    };
    c.track(lead).automate = [=](double b, Params& p) {
        if (b < B5)
            p.cutoff = 0.75;
        else if (b < B6)
            p.cutoff = eramp(b, BB, B6, 0.3, 0.9);
        else if (b < B7)
            p.cutoff = 1.0;
        else
            p.cutoff = 1.15;
    };
    c.track(lead2).automate = c.track(lead).automate;
    c.track(acid).automate = [=](double b, Params& p) {
        const double x = (b - B4) / 32.0;
        p.cutoff = 0.55 + 1.1 * x + 0.45 * std::sin(2.0 * PI * (b - B4) / 16.0);
        p.resonance = 0.05 * x;
    };
    c.track(bass).automate = [=](double b, Params& p) {
        if (b < B2)
            p.cutoff = 0.8;
        else if (b >= B9)
            p.cutoff = eramp(b, B9, B9 + 8.0, 1.0, 0.5);
    };

    // Notes in onset order, per track.
    for (Track& t : s.tracks)
        std::stable_sort(t.notes.begin(), t.notes.end(), [](const Note& a, const Note& b) { return a.beat < b.beat; });
    return s;
}

}  // namespace korvax::track
