// Turns a composed song plan into a tracker module: synthesised instrument samples
// (band-limited single-cycle loops and drum hits), one row per sixteenth note, 64-row
// patterns with repeats shared, key-offs or volume cuts where notes end.
#pragma once

#include "tools/contentart/Composer.h"
#include "tools/writers/ModuleWriter.h"

enum Wave { WaveSaw, WaveSquare, WavePulse, WaveTriangle, WaveOrgan, WaveSine };

struct ModuleTimbre {
    Wave lead = WaveSaw, bass = WavePulse, pad = WaveSaw, arp = WaveSquare;
    bool pluckyLead = false;  // short decaying lead instead of a held one
    bool echo = true;         // XM: a delayed, quieter copy of the lead
};

// Extended module with up to ten channels (drums, bass, lead, three pad voices, arpeggio, echo).
ModuleSong BuildXm(const SongPlan& plan, const ModuleTimbre& timbre);
// Four-channel module: drums, bass, lead, and arpeggio or hi-hat.
ModuleSong BuildMod(const SongPlan& plan, const ModuleTimbre& timbre);
