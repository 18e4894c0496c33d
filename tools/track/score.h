// The composition: tempo map, sections, and the notes of every track.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/track/instruments.h"

namespace korvax::track {

// Length of the track in stereo frames at 44,100 Hz.
constexpr int64_t TRACK_FRAMES = 6456896;

// Frames at which the scenes of the sequence change (the timeline counts two
// samples per stereo frame: threshold position / 2). The last one ends the
// sequence: the final hit and its decay are over before it.
constexpr int64_t SECTION_FRAMES[10] = {990000,  1550000, 2106500, 2692500, 3246000,
                                        4362500, 4940000, 5500000, 6060000, 6400000};

// Beat k starts at frame start(k). 151.2 beats per minute is exactly 17,500
// frames per beat; some sections stretch or squeeze the beat by up to 1.6 % so
// that every section starts on its own downbeat at a scene change.
class TempoMap {
public:
    explicit TempoMap(double first_beat_frame = 0.0) : starts_{first_beat_frame} {}
    void add_beats(int count, double frames_per_beat);
    double frame_of(double beat) const;
    double beat_of(double frame) const;
    double beat_frames_at(double beat) const;
    int beats() const { return static_cast<int>(starts_.size()) - 1; }

private:
    std::vector<double> starts_;
};

struct Note {
    double beat;      // onset, in beats of the tempo map
    double length;    // gate, in beats
    double pitch;     // MIDI note number
    double velocity;  // 0..1
    bool slide = false;   // glide from the previous note of the track
    bool accent = false;
};

struct Track {
    std::string name;
    Instrument instrument;
    std::vector<Note> notes;
    double gain = 1.0;
    double pan = 0.0;          // -1 left .. 1 right
    double reverb_send = 0.0;
    double delay_send = 0.0;
    double duck = 0.0;         // depth of the side-chain dip under each kick, 0..1
    bool chorus = false;
    // Filter settings for the voices, evaluated once per block at the block's beat.
    std::function<void(double beat, Params&)> automate;
    // Level of the whole track at a beat (fades, gates); evaluated per sample.
    std::function<double(double beat)> level;
};

struct Score {
    TempoMap tempo;
    std::vector<Track> tracks;
    int kick_track = -1;       // the track whose notes drive the side-chain
    double section_beat[11];   // first beat of each section; [10] is the final hit, which
                               // falls well before the end of the sequence
};

// Builds the whole piece.
Score compose();

}  // namespace korvax::track
