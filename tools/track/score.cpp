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
constexpr int OUTRO_STEADY_BEATS = 8;  // then three beats of ritardando onto the last hit
constexpr int SECTION_BEAT[11] = {0, 56, 88, 120, 154, 186, 250, 283, 315, 347, 347 + OUTRO_STEADY_BEATS + 3};
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

// The tracks of the piece and the patterns several sections share.
struct Band {
    Composer& c;
    int kick, boom, snare, clap, tom, hat, ohat, ride, crash, rcrash, riser, impact;
    int bass, sub, acid, pad, stab, lead, lead2, arp, bell;

    explicit Band(Composer& composer) : c(composer) {
        kick = c.add("kick", Instrument::Kick, 0.40);
        boom = c.add("boom", Instrument::Boom, 0.6, 0.0, 0.15);
        snare = c.add("snare", Instrument::Snare, 0.55, 0.05, 0.18);
        clap = c.add("clap", Instrument::Clap, 0.75, -0.05, 0.22);
        tom = c.add("tom", Instrument::Tom, 0.35, -0.2, 0.15);
        hat = c.add("hat", Instrument::HatClosed, 0.55, 0.3, 0.03);
        ohat = c.add("open hat", Instrument::HatOpen, 0.40, -0.25, 0.06);
        ride = c.add("ride", Instrument::Ride, 0.35, 0.35, 0.08);
        crash = c.add("crash", Instrument::Crash, 0.45, 0.0, 0.2);
        rcrash = c.add("reverse crash", Instrument::ReverseCrash, 0.35, 0.0, 0.2);
        riser = c.add("riser", Instrument::Riser, 0.25, 0.0, 0.35, 0.1);
        impact = c.add("impact", Instrument::Impact, 0.35, 0.0, 0.3);
        bass = c.add("bass", Instrument::Bass, 0.30, 0.0, 0.0, 0.0, 0.7);
        sub = c.add("sub", Instrument::SubBass, 0.30, 0.0, 0.0, 0.0, 0.6);
        acid = c.add("acid", Instrument::Acid, 0.42, 0.0, 0.05, 0.18, 0.35);
        pad = c.add("pad", Instrument::Pad, 0.38, 0.0, 0.35, 0.0, 0.55);
        stab = c.add("stab", Instrument::Stab, 0.50, 0.0, 0.25, 0.12, 0.5);
        lead = c.add("lead", Instrument::Lead, 0.60, 0.05, 0.22, 0.25, 0.15);
        lead2 = c.add("lead double", Instrument::Lead, 0.28, -0.15, 0.25, 0.2, 0.15);
        arp = c.add("arp", Instrument::Pluck, 0.38, -0.2, 0.18, 0.35, 0.35);
        bell = c.add("bell", Instrument::Bell, 0.50, 0.15, 0.45, 0.3);
        c.track(pad).chorus = true;
        c.track(stab).chorus = true;
    }

    // Drum patterns, per beat.
    void four_on_floor(double from, double to, double vel) {
        for (double b = from; b < to - 1e-9; b += 1.0) c.note(kick, b, 0.1, 36, vel);
    }
    void backbeat(double from, double to, double vel) {
        for (double b = from + 1.0; b < to - 1e-9; b += 2.0) {
            c.note(clap, b, 0.1, 60, vel);
            c.note(snare, b, 0.1, 60, vel * 0.55);
        }
    }
    void hats16(double from, double to, double vel) {
        static const double ACC[4] = {0.5, 0.28, 0.85, 0.33};
        for (double b = from; b < to - 1e-9; b += 0.25) {
            const int k = static_cast<int>(std::lround((b - from) * 4.0)) % 4;
            c.note(hat, b, 0.05, 60, vel * ACC[k]);
        }
    }
    void offbeat_open(double from, double to, double vel) {
        for (double b = from + 0.5; b < to - 1e-9; b += 1.0) c.note(ohat, b, 0.2, 60, vel);
    }
    void offbeat_bass(const Chord* prog, double from, double to, double vel) {
        for (double b = from; b < to - 1e-9; b += 1.0) {
            const int beat = static_cast<int>(b - from);
            const Chord& ch = prog[(beat / 8) % 4];
            c.note(bass, b + 0.5, 0.42, ch.root + (beat % 4 == 2 ? 12 : 0), vel);
        }
    }
    void rolling_bass(const Chord* prog, double from, double to, double vel) {
        for (double b = from; b < to - 1e-9; b += 1.0) {
            const int beat = static_cast<int>(b - from);
            const Chord& ch = prog[(beat / 8) % 4];
            for (int k = 1; k < 4; ++k)
                c.note(bass, b + 0.25 * k, 0.2, ch.root + (k == 3 && beat % 2 == 1 ? 12 : 0), vel * (0.75 + 0.1 * k));
        }
    }
    void pads(const Chord* prog, double from, double to, double vel) {
        for (double b = from; b < to - 1e-9; b += 8.0) {
            const Chord& ch = prog[static_cast<int>((b - from) / 8.0) % 4];
            c.chord(pad, ch, b, std::min(8.0, to - b), vel);
        }
    }
    void crash_at(double b, double vel, bool with_impact) {
        c.note(crash, b, 0.5, 60, vel);
        if (with_impact) c.note(impact, b, 0.5, 36, vel);
    }
    void snare_roll(double from, double to, double step, double v0, double v1) {
        for (double b = from; b < to - 1e-9; b += step) c.note(snare, b, 0.1, 60, ramp(b, from, to, v0, v1));
    }
};

double beat_at(Section s) { return SECTION_BEAT[s]; }

// Tempo: the beats of each section fill it exactly. The first chord swells in
// for 10,000 frames before the first beat. The outro holds the tempo for two
// bars, slows over three beats onto the last hit, and the hit's decay then
// has time to die away before the sequence ends.
TempoMap make_tempo() {
    double frame = 10000.0;
    TempoMap tempo(frame);
    for (int k = 0; k < S_OUTRO; ++k) {
        const int count = SECTION_BEAT[k + 1] - SECTION_BEAT[k];
        tempo.add_beats(count, (static_cast<double>(SECTION_FRAMES[k]) - frame) / count);
        frame = static_cast<double>(SECTION_FRAMES[k]);
    }
    tempo.add_beats(OUTRO_STEADY_BEATS, 17500.0);
    tempo.add_beats(1, 18000.0);
    tempo.add_beats(1, 20000.0);
    tempo.add_beats(1, 22000.0);
    tempo.add_beats(8, 22000.0);  // the decay after the last hit
    return tempo;
}

// Intro: a lone pad opening up, a bell line, then the arpeggio and hats stir.
void intro(Band& band, double first_beat) {
    Composer& c = band.c;
    for (int k = 0; k < 7; ++k) {
        const double b = k * 8.0;
        c.chord(band.pad, P_INTRO[k], k == 0 ? first_beat : b, k == 0 ? 8.0 - first_beat : 8.0, 0.7);
        if (k >= 2) {
            // A falling figure over the chord's tones, an octave above the pad.
            static const int BELL_TONE[5] = {3, 2, 1, 2, 0};
            static const double BELL_AT[5] = {0.0, 1.5, 3.0, 5.0, 6.5};
            for (int i = 0; i < 5; ++i)
                c.note(band.bell, b + BELL_AT[i], 1.4, P_INTRO[k].tones[BELL_TONE[i]] + 12, i == 0 ? 0.75 : 0.55);
            c.note(band.sub, b, 7.8, P_INTRO[k].root + 12, 0.45);
        }
    }
    const double B1 = beat_at(S_GROOVE);
    for (double b = 32.0; b < B1; b += 8.0) {
        const Chord* one = &P_INTRO[static_cast<int>(b / 8.0)];
        const Chord prog[4] = {*one, *one, *one, *one};
        c.arpeggio(band.arp, prog, b, b + 8.0, ARP_UP, ramp(b, 32.0, 48.0, 0.5, 0.75));
    }
    for (double b = 40.5; b < B1; b += 1.0) c.note(band.hat, b, 0.05, 60, ramp(b, 40.0, 56.0, 0.3, 0.6));
    c.note(band.riser, 48.0, 8.0, 48, 0.8);
    c.note(band.rcrash, 54.0, 2.0, 60, 0.7);
}

// Groove: kick, offbeat bass, open hats.
void groove(Band& band) {
    Composer& c = band.c;
    const double B1 = beat_at(S_GROOVE), B2 = beat_at(S_DRIVE);
    band.crash_at(B1, 0.9, true);
    band.four_on_floor(B1, B2, 1.0);
    band.offbeat_bass(P_MAIN, B1, B2, 0.9);
    band.offbeat_open(B1, B2, 0.55);
    band.pads(P_MAIN, B1, B2, 0.7);
    c.arpeggio(band.arp, P_MAIN, B1, B2, ARP_UP, 0.6);
    for (double b = B2 - 2.0; b < B2 - 1e-9; b += 0.25) c.note(band.snare, b, 0.1, 60, ramp(b, B2 - 2.0, B2, 0.25, 0.8));
}

// Drive: claps, sixteenth hats, rolling bass.
void drive(Band& band) {
    Composer& c = band.c;
    const double B2 = beat_at(S_DRIVE), B3 = beat_at(S_THEME);
    band.crash_at(B2, 0.8, false);
    band.four_on_floor(B2, B3, 1.0);
    band.backbeat(B2, B3, 0.9);
    band.hats16(B2, B3, 0.85);
    band.offbeat_open(B2, B3, 0.45);
    band.rolling_bass(P_MAIN, B2, B3, 0.85);
    band.pads(P_MAIN, B2, B3, 0.6);
    c.arpeggio(band.arp, P_MAIN, B2, B3, ARP_WEAVE, 0.7);
    c.note(band.riser, B3 - 8.0, 8.0, 48, 0.7);
    c.note(band.rcrash, B3 - 2.0, 2.0, 60, 0.6);
}

// Theme: the lead states the main theme over pads alone; a two-beat fill closes it.
void theme(Band& band) {
    Composer& c = band.c;
    const double B3 = beat_at(S_THEME);
    band.crash_at(B3, 1.0, true);
    band.four_on_floor(B3, B3 + 32.0, 1.0);
    band.backbeat(B3, B3 + 32.0, 0.9);
    band.hats16(B3, B3 + 32.0, 0.9);
    band.offbeat_open(B3, B3 + 32.0, 0.5);
    band.offbeat_bass(P_MAIN, B3, B3 + 32.0, 0.9);
    band.pads(P_MAIN, B3, B3 + 34.0, 0.75);
    c.melody(band.lead, THEME, std::size(THEME), B3, 0.85);
    band.snare_roll(B3 + 32.0, B3 + 33.0, 0.25, 0.45, 0.8);
    static const int TOMS[4] = {50, 47, 43, 40};
    for (int k = 0; k < 4; ++k) c.note(band.tom, B3 + 33.0 + 0.25 * k, 0.1, TOMS[k], 0.7 + 0.08 * k);
}

// Acid: half-time drums, a squelching line over Am | G | F | E, chord stabs.
void acid(Band& band) {
    Composer& c = band.c;
    const double B4 = beat_at(S_ACID);
    band.crash_at(B4, 0.8, false);
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
            if (!(last_bar && k > 8)) c.note(band.kick, b + k * 0.25, 0.1, 36, 1.0);
        c.note(band.snare, b + 2.0, 0.1, 60, 0.85);
        c.note(band.clap, b + 2.0, 0.1, 60, 0.6);
        if (!last_bar) c.note(band.snare, b + 3.75, 0.1, 60, 0.25);
        for (int k = 0; k < 16; ++k) {
            if (last_bar && k >= 12) break;
            c.note(band.hat, b + k * 0.25, 0.05, 60, (k % 2 == 0 ? 0.55 : 0.3) * (k % 4 == 2 ? 1.3 : 1.0));
        }
        c.note(band.ohat, b + 3.5, 0.2, 60, 0.4);
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
            c.note(band.acid, b + k * 0.25, st.slide ? 0.25 : 0.17, pitch, 0.9, slide, st.accent);
            previous = pitch;
        }
        if (bar % 2 == 0) c.note(band.sub, b, 7.9, ch.root, 0.5);
        if (bar % 2 == 1) {
            c.chord(band.stab, ch, b + 0.75, 0.3, 0.6, 12);
            c.chord(band.stab, ch, b + 2.5, 0.3, 0.5, 12);
        }
    }
    for (int k = 0; k < 4; ++k) c.note(band.tom, B4 + 31.0 + 0.25 * k, 0.1, 52 - 3 * k, 0.6 + 0.1 * k);
}

// Breakdown: pads over F | G | Em | Am, the anthem on the bell, sub bass.
void breakdown(Band& band) {
    Composer& c = band.c;
    const double B5 = beat_at(S_BREAK), BB = BUILD_BEAT;
    band.crash_at(B5, 0.6, true);
    band.pads(P_LIFT, B5, BB, 0.4);
    c.melody(band.bell, ANTHEM, std::size(ANTHEM), B5, 0.75, 0, 0.0);
    for (int k = 0; k < 4; ++k) c.note(band.sub, B5 + 8.0 * k, 7.8, P_LIFT[k].root + 12, 0.35);
    c.arpeggio(band.arp, P_LIFT, B5 + 16.0, BB, ARP_UP, 0.35);
}

// Build: filtered supersaw eighths open up over the main chords, the theme
// enters muted, a snare roll tightens and the last beat is held silent.
void build(Band& band) {
    Composer& c = band.c;
    const double BB = BUILD_BEAT, B6 = beat_at(S_DROP);
    band.pads(P_MAIN, BB, B6 - 1.0, 0.35);
    for (double b = BB; b < B6 - 1.0 - 1e-9; b += 0.5) {
        const Chord& ch = P_MAIN[static_cast<int>((b - BB) / 8.0) % 4];
        c.chord(band.stab, ch, b, 0.35, ramp(b, BB, B6, 0.55, 0.85));
    }
    c.melody(band.lead, THEME, std::size(THEME), BB, 0.6);
    // The build's last beat is silent: drop the theme's final notes that would sound in it.
    auto& n = c.track(band.lead).notes;
    n.erase(std::remove_if(n.begin(), n.end(), [&](const Note& x) { return x.beat >= B6 - 1.0 - 1e-9; }), n.end());
    for (auto& x : n)
        if (x.beat >= BB && x.beat + x.length > B6 - 1.0) x.length = B6 - 1.0 - x.beat;
    band.snare_roll(BB, BB + 16.0, 1.0, 0.25, 0.45);
    band.snare_roll(BB + 16.0, BB + 24.0, 0.5, 0.45, 0.6);
    band.snare_roll(BB + 24.0, BB + 28.0, 0.25, 0.6, 0.8);
    band.snare_roll(BB + 28.0, B6 - 1.0, 0.125, 0.8, 1.0);
    band.four_on_floor(BB + 16.0, B6 - 1.0, 0.85);
    c.note(band.riser, BB, B6 - 1.0 - BB, 45, 0.9);
    c.note(band.rcrash, B6 - 2.0, 2.0, 60, 0.8);
}

// Drop: everything, the theme on the full lead; a one-beat fill at its end.
void drop(Band& band) {
    Composer& c = band.c;
    const double B6 = beat_at(S_DROP), B7 = beat_at(S_DROP2);
    band.crash_at(B6, 1.0, true);
    band.four_on_floor(B6, B6 + 32.0, 1.0);
    band.backbeat(B6, B6 + 32.0, 1.0);
    band.hats16(B6, B6 + 32.0, 1.0);
    band.offbeat_open(B6, B6 + 32.0, 0.6);
    band.offbeat_bass(P_MAIN, B6, B6 + 32.0, 1.0);
    band.pads(P_MAIN, B6, B7, 0.7);
    c.melody(band.lead, THEME, std::size(THEME), B6, 1.0);
    band.snare_roll(B6 + 32.0, B7, 0.25, 0.6, 1.0);
    c.note(band.tom, B6 + 32.5, 0.1, 43, 0.8);
    c.note(band.tom, B6 + 32.75, 0.1, 40, 0.9);
}

// Second drop: broken beat, ride, rolling bass, offbeat stabs, a bright
// arpeggio, and the theme doubled an octave up.
void second_drop(Band& band) {
    Composer& c = band.c;
    const double B7 = beat_at(S_DROP2), B8 = beat_at(S_ANTHEM);
    band.crash_at(B7, 1.0, false);
    for (double bar = B7; bar < B8 - 1e-9; bar += 4.0) {
        const bool last = bar + 4.0 >= B8 - 1e-9;
        for (int k : {0, 6, 10}) c.note(band.kick, bar + k * 0.25, 0.1, 36, 1.0);
        if (static_cast<int>((bar - B7) / 4.0) % 2 == 1) c.note(band.kick, bar + 3.5, 0.1, 36, 0.8);
        c.note(band.clap, bar + 1.0, 0.1, 60, 1.0);
        c.note(band.snare, bar + 1.0, 0.1, 60, 0.6);
        if (!last) {
            c.note(band.clap, bar + 3.0, 0.1, 60, 1.0);
            c.note(band.snare, bar + 3.0, 0.1, 60, 0.6);
            c.note(band.snare, bar + 1.75, 0.1, 60, 0.2);
            c.note(band.snare, bar + 2.25, 0.1, 60, 0.15);
            c.note(band.snare, bar + 3.75, 0.1, 60, 0.22);
        }
        for (double b = bar; b < bar + (last ? 3.0 : 4.0) - 1e-9; b += 0.5)
            c.note(band.ride, b, 0.1, 60, b == bar ? 0.8 : 0.6);
    }
    band.hats16(B7, B8 - 1.0, 0.6);
    band.rolling_bass(P_MAIN, B7, B8, 0.95);
    for (double b = B7 + 0.5; b < B8 - 1e-9; b += 1.0) {
        const Chord& ch = P_MAIN[static_cast<int>((b - B7) / 8.0) % 4];
        c.chord(band.stab, ch, b, 0.25, 0.6);
    }
    c.melody(band.lead, THEME, std::size(THEME), B7, 1.0);
    c.melody(band.lead2, THEME, std::size(THEME), B7, 1.0, 12);
    c.arpeggio(band.arp, P_MAIN, B7, B8, ARP_LEAP, 0.75, 12);
    band.snare_roll(B8 - 1.0, B8, 0.25, 0.5, 0.9);
    c.note(band.rcrash, B8 - 1.0, 1.0, 60, 0.6);
}

// Anthem: F | G | Em | Am, a wall of gated supersaw chords, the anthem on the
// lead doubled an octave down, open hats only.
void anthem(Band& band) {
    Composer& c = band.c;
    const double B8 = beat_at(S_ANTHEM), B9 = beat_at(S_OUTRO);
    band.crash_at(B8, 1.0, true);
    band.four_on_floor(B8, B9, 1.0);
    band.backbeat(B8, B9, 1.0);
    band.offbeat_open(B8, B9, 0.8);
    band.offbeat_bass(P_LIFT, B8, B9, 1.0);
    band.pads(P_LIFT, B8, B9, 0.6);
    for (double b = B8; b < B9 - 1e-9; b += 8.0)
        c.chord(band.stab, P_LIFT[static_cast<int>((b - B8) / 8.0) % 4], b, 7.9, 0.75);
    c.melody(band.lead, ANTHEM, std::size(ANTHEM), B8, 1.0);
    c.melody(band.lead2, ANTHEM, std::size(ANTHEM), B8, 0.9, -12);
    c.note(band.rcrash, B9 - 2.0, 2.0, 60, 0.6);
}

// Outro: a bar of Am and a bar of F thin out, the theme's falling cadence
// echoes on the bell, a ritardando on G leads onto the last hit, and the
// tonic chord rings out while the sequence is still running.
void outro(Band& band) {
    Composer& c = band.c;
    const double B9 = beat_at(S_OUTRO), BE = beat_at(S_END);
    const double F = B9 + 4.0;  // the bar of F
    band.crash_at(B9, 0.7, true);
    for (double b = B9; b < B9 + OUTRO_STEADY_BEATS - 1e-9; b += 1.0)
        c.note(band.kick, b, 0.1, 36, ramp(b, B9, B9 + OUTRO_STEADY_BEATS, 0.95, 0.6));
    band.hats16(B9, F, 0.6);
    for (double b = F + 0.5; b < B9 + OUTRO_STEADY_BEATS - 1e-9; b += 1.0) c.note(band.hat, b, 0.05, 60, 0.35);
    {
        const Chord am[4] = {AM, AM, AM, AM}, fm[4] = {FM, FM, FM, FM};
        band.offbeat_bass(am, B9, F, 0.8);
        c.note(band.sub, F, 3.8, FM.root + 12, 0.5);
        c.chord(band.pad, AM, B9, 4.0, 0.7);
        c.chord(band.pad, FM, F, 4.0, 0.7);
        c.arpeggio(band.arp, am, B9, F, ARP_UP, 0.5);
        c.arpeggio(band.arp, fm, F, F + 4.0, ARP_UP, 0.5);
        // Bar 3 of the theme: E D C A over F.
        for (const MelodyNote& m : THEME)
            if (m.bar == 3) c.note(band.bell, F + m.step * 0.25, m.steps * 0.25, m.pitch, 0.6);
    }
    const double R = B9 + OUTRO_STEADY_BEATS;  // ritardando: three slowing beats on G
    c.chord(band.pad, GM, R, 3.0, 0.75);
    c.chord(band.stab, GM, R, 2.9, 0.5, 12);
    c.note(band.sub, R, 2.9, GM.root + 12, 0.55);
    for (int k = 0; k < 3; ++k) {
        c.note(band.kick, R + k, 0.1, 36, 0.75 + 0.1 * k);
        c.note(band.snare, R + k, 0.1, 60, 0.55 + 0.15 * k);
        c.note(band.tom, R + k + 0.5, 0.1, 47 - 4 * k, 0.5 + 0.1 * k);
    }
    c.note(band.rcrash, BE - 1.0, 1.0, 60, 0.7);
    // The last hit: boom, crash, and the tonic chord left to ring out.
    c.note(band.boom, BE, 0.1, 36, 0.75);
    c.note(band.crash, BE, 0.5, 60, 1.0);
    c.chord(band.pad, AM, BE, 1.5, 0.9);
    c.chord(band.stab, AM, BE, 1.5, 0.55, 12);
    c.note(band.bell, BE, 2.0, 69, 0.7);
    c.note(band.bell, BE, 2.0, 76, 0.5);
    c.note(band.sub, BE, 1.5, AM.root, 0.4);
}

// Filter sweeps and level shapes of the tracks over the sections.
void automate(Band& band, double first_beat) {
    Composer& c = band.c;
    const double B1 = beat_at(S_GROOVE), B2 = beat_at(S_DRIVE), B3 = beat_at(S_THEME), B4 = beat_at(S_ACID),
                 B5 = beat_at(S_BREAK), B6 = beat_at(S_DROP), B7 = beat_at(S_DROP2), B8 = beat_at(S_ANTHEM),
                 B9 = beat_at(S_OUTRO), BE = beat_at(S_END), BB = BUILD_BEAT;
    const double steady_end = B9 + OUTRO_STEADY_BEATS;
    c.track(band.pad).automate = [=](double b, Params& p) {
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
    c.track(band.pad).level = [=](double b) { return clamp01((b - first_beat) / 6.0); };
    c.track(band.arp).automate = [=](double b, Params& p) {
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
            p.cutoff = eramp(b, B9, steady_end, 0.9, 0.25);
    };
    c.track(band.stab).automate = [=](double b, Params& p) {
        if (b >= BB && b < B6)
            p.cutoff = eramp(b, BB, B6 - 1.0, 0.1, 1.5), p.resonance = ramp(b, BB, B6, 0.1, 0.35);
        else if (b >= B8 && b < B9)
            p.cutoff = 1.2;
        else
            p.cutoff = 0.9;
    };
    // Trance gate on the anthem's sustained chords.
    c.track(band.stab).level = [=](double b) {
        if (b < B8 || b >= B9) return 1.0;
        static const bool GATE[16] = {1, 0, 1, 1, 0, 1, 1, 0, 1, 0, 1, 1, 0, 1, 1, 1};
        const double x = (b - B8) * 4.0;
        const int step = static_cast<int>(x) % 16;
        const double frac = x - std::floor(x);
        return GATE[step] && frac < 0.7 ? 1.3 : 0.1;
    };
    c.track(band.lead).automate = [=](double b, Params& p) {
        if (b < B5)
            p.cutoff = 0.75;
        else if (b < B6)
            p.cutoff = eramp(b, BB, B6, 0.3, 0.9);
        else if (b < B7)
            p.cutoff = 1.0;
        else
            p.cutoff = 1.15;
    };
    c.track(band.lead2).automate = c.track(band.lead).automate;
    c.track(band.acid).automate = [=](double b, Params& p) {
        const double x = (b - B4) / 32.0;
        p.cutoff = 0.55 + 1.1 * x + 0.45 * std::sin(2.0 * PI * (b - B4) / 16.0);
        p.resonance = 0.05 * x;
    };
    c.track(band.bass).automate = [=](double b, Params& p) {
        if (b < B2)
            p.cutoff = 0.8;
        else if (b >= B9)
            p.cutoff = eramp(b, B9, B9 + 4.0, 1.0, 0.5);
    };
}

}  // namespace

Score compose() {
    Score s;
    s.tempo = make_tempo();
    for (int k = 0; k <= 10; ++k) s.section_beat[k] = SECTION_BEAT[k];
    const double first_beat = s.tempo.beat_of(0.0);

    Composer c(s);
    Band band(c);
    s.kick_track = band.kick;
    intro(band, first_beat);
    groove(band);
    drive(band);
    theme(band);
    acid(band);
    breakdown(band);
    build(band);
    drop(band);
    second_drop(band);
    anthem(band);
    outro(band);
    automate(band, first_beat);

    // Notes in onset order, per track.
    for (Track& t : s.tracks)
        std::stable_sort(t.notes.begin(), t.notes.end(), [](const Note& a, const Note& b) { return a.beat < b.beat; });
    return s;
}

}  // namespace korvax::track
