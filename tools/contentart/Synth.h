// Software synthesiser: renders a composed song plan to stereo PCM with a handful of
// instrument voices (subtractive leads and pads, plucked strings, FM bells, synthesised
// drums), a tempo-synced echo and a small reverb.
#pragma once

#include "tools/contentart/Composer.h"

#include <vector>

enum LeadTone { LeadSaw, LeadSquare, LeadPluck, LeadBell, LeadSoftSine };
enum BassTone { BassSaw, BassSub, BassSquare, BassPluck };
enum PadTone { PadWarm, PadGlass, PadOrgan };

struct SongSound {
    LeadTone lead = LeadSaw;
    BassTone bass = BassSaw;
    PadTone pad = PadWarm;
    LeadTone arp = LeadPluck;
    float leadGain = 0.3f, bassGain = 0.45f, padGain = 0.16f, arpGain = 0.14f, drumGain = 0.6f;
    float echo = 0.25f;       // echo send of lead and arpeggio
    float reverb = 0.2f;      // reverb send
    float brightness = 0.5f;  // filter openness 0..1
};

struct Stereo {
    std::vector<float> l, r;
    size_t Frames() const { return l.size(); }
    void Resize(size_t n)
    {
        l.assign(n, 0.0f);
        r.assign(n, 0.0f);
    }
};

// Renders the plan; the result lasts the plan's length plus `tail` seconds, the tail fading out.
Stereo RenderSong(const SongPlan& plan, const SongSound& sound, int rate, double tail);

// One voice rendered into a mono buffer (added), for reuse by other generators.
void RenderNote(std::vector<float>& out, size_t at, int part, int pitch, float velocity, double seconds,
                const SongSound& sound, int rate);
// A drum hit as a mono sample at `rate` (for tracker samples): part is PartKick, PartSnare,
// PartHat or PartOpenHat.
std::vector<float> RenderDrum(int part, int rate);

// Effects over a whole buffer.
void AddEcho(const std::vector<float>& send, Stereo& mix, int rate, double delaySeconds, float feedback,
             float level);
void AddReverb(const std::vector<float>& send, Stereo& mix, int rate, float level);
// Scales so that the highest absolute sample equals `peak`.
void Normalize(Stereo& s, float peak);
// Fades in over `in` seconds at the start and out over `out` seconds at the end.
void Fade(Stereo& s, int rate, double in, double out);

double MidiToHz(double midi);
