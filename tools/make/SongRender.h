// The render settings mivola-make writes for each song: module settings that
// suit its format, and a gain that brings it to a loudness target, measured
// over the whole song as the player renders it.
#pragma once

#include "data/SongSettings.h"
#include "tools/make/SongProbe.h"

#include <string>

// Explicit settings for a module of this format, for the author to see and
// edit; a stream has none.
SongSettings DefaultSettings(const SongFacts& facts);

struct Loudness {
    double integrated = 0;  // LUFS (EBU R 128); -HUGE_VAL for silence
    double peak = 0;        // highest sample, 1 = full scale
};

// Decodes the whole song through the audio library with `settings` (its gain
// included) and measures it. The library must be initialised. False with a
// reason in `error` when the song cannot be opened.
bool MeasureLoudness(const std::string& path, const SongSettings& settings, Loudness& out,
                     std::string& error);

// Decibels that take the song to `target`, to 0.01 dB, within the gains a disk
// may carry (-30 to +12) and never so much that its peaks would clip; 0 for
// silence.
float GainToward(const Loudness& loudness, double target);
