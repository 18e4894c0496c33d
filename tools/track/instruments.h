// The instruments of the track: every drum, bass, pad, lead and effect sound is
// a voice computed sample by sample from oscillators, filters and envelopes.
#pragma once

#include <cstdint>
#include <memory>

namespace korvax::track {

enum class Instrument {
    Kick,          // sine with a falling pitch and a click
    Boom,          // long, deep kick for the last hit
    Snare,         // two tuned modes and filtered noise
    Clap,          // noise bursts through a band-pass
    Tom,           // pitched drum for fills
    HatClosed,     // metallic square bank and noise, short
    HatOpen,       // the same, long
    Ride,          // metallic, medium decay
    Crash,         // noise and metal, long decay
    ReverseCrash,  // a cymbal swell that ends on the next downbeat
    Riser,         // noise through a rising band-pass
    Impact,        // sub drop and noise burst at a section start
    Bass,          // two saws and a sine, filter envelope
    SubBass,       // pure sine
    Acid,          // resonant saw with accents and slides
    Pad,           // seven-saw supersaw, slow envelope
    Stab,          // supersaw with a short envelope
    Lead,          // detuned saws and a pulse, vibrato and glide
    Pluck,         // short filtered saw/pulse for arpeggios
    Bell,          // two-operator FM electric piano
};

// Per-block settings that a track's automation hands to its voices.
struct Params {
    double cutoff = 1.0;     // filter cutoff multiplier
    double resonance = 0.0;  // added to the voice's own resonance
};

// One sounding note. render() adds n samples into l and r; a voice reports
// finished() once it has decayed to silence.
class Voice {
public:
    virtual ~Voice() = default;
    virtual void render(double* l, double* r, int n, const Params& params) = 0;
    bool finished() const { return finished_; }

protected:
    bool finished_ = false;
};

struct NoteOn {
    double pitch;           // MIDI note number (fractional allowed)
    double velocity;        // 0..1
    int64_t gate_frames;    // frames until the key is released
    double previous_pitch;  // the pitch this note glides from (slide, legato), or < 0
    bool accent;
    uint32_t seed;          // noise and phase seed, fixed per note
    double beat_frames;     // length of a beat at the note's start, in frames
};

std::unique_ptr<Voice> make_voice(Instrument instrument, const NoteOn& note);

}  // namespace korvax::track
