// How one song is rendered: the module decoder's settings and a gain. They come
// from optional attributes in "art.xml": on "songs" for every song, on "song"
// for that song alone. A song without them plays exactly as the decoder does
// by default.
#pragma once

#include "data/XmlAccess.h"

#include <cstdint>
#include <string>

struct SongSettings {
    int32_t stereoSeparation = -1;  // "stereoseparation": percent, 0..200; -1 the decoder's default
    int32_t interpolation = 0;      // "interpolation": taps, 1, 2, 4 or 8; 0 the decoder's default
    int32_t volumeRamping = -1;     // "volumeramping": 0..10; -1 the decoder's default
    int32_t amiga = -1;             // "amiga": 1 "on", 0 "off"; -1 the decoder's default
    float gainDb = 0.0f;            // "gain": decibels, -30..+12, for modules and streams

    // True when nothing differs from the decoder's own rendering.
    bool IsDefault() const;
    // "stereoseparation 60, amiga on, gain -3.50 dB"; only what is set ("decoder
    // defaults" when nothing is).
    std::string Describe() const;
};

constexpr float kMinGainDb = -30.0f;
constexpr float kMaxGainDb = 12.0f;

// What is wrong with an attribute value.
struct SongSettingsError {
    long line = 0;           // of the element
    std::wstring attribute;  // its name
    std::wstring value;      // as written
    std::wstring expected;   // "a whole number from 0 to 200"
};

// Reads the attributes present on `element` over `settings`, which holds what
// applies when they are absent. False at the first value that is not allowed,
// described in `error`; `settings` is then partly read.
bool ReadSongSettings(XmlNode element, SongSettings& settings, SongSettingsError& error);

// Sets them on an opened channel: the module settings only when `module`, the
// gain always. Without the Amiga resampler emulation in the decoder, says so
// in the log once per run and plays without it.
void ApplySongSettings(DWORD channel, bool module, const SongSettings& settings);
