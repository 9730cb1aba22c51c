// Composes songs as note lists: chord progression, bass line, melody built from motifs,
// drums, pads and arpeggios, arranged in sections. The same plan is rendered to PCM for the
// streamed songs and written as patterns for the tracker modules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Deterministic random numbers (the standard distributions differ between libraries).
struct Rng {
    explicit Rng(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint32_t Next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return uint32_t(state >> 32);
    }
    float Uniform() { return float(Next() >> 8) / 16777216.0f; }
    int Range(int lo, int hi) { return lo + int(Next() % uint32_t(hi - lo + 1)); }  // inclusive
    uint64_t state;
};

enum Part { PartKick, PartSnare, PartHat, PartOpenHat, PartBass, PartLead, PartPad, PartArp, PartCount };

struct NoteEvent {
    int part = 0;
    int step = 0;        // start in sixteenth notes
    int length = 1;      // in sixteenth notes
    int pitch = 60;      // MIDI note number (drums: ignored)
    float velocity = 1;  // 0..1
};

enum DrumStyle { DrumsFourOnFloor, DrumsBreakbeat, DrumsHalfTime, DrumsChip };
enum BassStyle { BassEighths, BassOctaves, BassSyncopated, BassWalking };

struct SongStyle {
    std::string title;
    uint64_t seed = 1;
    int bpm = 120;
    int root = 57;  // MIDI note of the key's tonic (around the bass octave + 24)
    bool minor = true;
    double seconds = 90;           // wanted length; bars are rounded to whole phrases
    std::vector<int> progression;  // scale degrees (0-based), one per bar
    DrumStyle drums = DrumsFourOnFloor;
    BassStyle bass = BassEighths;
    float leadDensity = 0.6f;  // 0..1: how busy the melody is
    int leadOctave = 0;        // shifts the melody register by octaves
    bool arpeggio = true;
    bool shortForm = false;  // a few bars only (test content)
};

struct SongPlan {
    SongStyle style;
    int bars = 0;
    std::vector<NoteEvent> notes;
    double StepSeconds() const { return 15.0 / style.bpm; }
    // Length of the music itself, without any release tail.
    double Seconds() const { return bars * 16 * StepSeconds(); }
};

SongPlan Compose(const SongStyle& style);
