// One channel of the audio library: its decoder, the resampler to the output
// rate, its play state and what the mixer remembers of what it mixed.
#pragma once

#include "platform/bass/AudioSource.h"
#include "platform/bass/bass.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace bass {

constexpr int kOutRate = 44100;
// Per channel: more than our queue (200 ms) plus all a sound server may hold
// (250 ms asked) plus an FFT window, so what is being heard is still here.
constexpr int64_t kHistoryFrames = 32768;

enum class State { Stopped, Playing, Paused };

struct Sync {
    HSYNC handle;
    DWORD type;
    SYNCPROC* proc;
    void* user;
};

// Output frames [outStart, outEnd) carried channel frames [srcStart, srcEnd).
struct Stamp {
    int64_t outStart, outEnd;
    uint64_t srcStart, srcEnd;
};

struct Channel {
    Channel(DWORD handle, bool music, std::unique_ptr<AudioSource> source);

    DWORD handle = 0;
    bool music = false;
    std::unique_ptr<AudioSource> source;
    int rate = kOutRate;
    uint64_t length = 0;  // frames at `rate`

    // Decoded frames not yet used.
    std::vector<float> chunk;
    size_t chunkAt = 0, chunkCount = 0;
    uint64_t readIndex = 0;  // next frame the reader hands out
    bool sourceDry = false;  // the decoder gave out before `length`
    // A stream whose decoder gives out early ends there (its file was cut or
    // damaged after its length was read); a module is padded with silence.
    bool endsWhenDry = false;

    // Cubic resampler for rates other than the output's.
    bool resample = false;
    double step = 1.0;
    double frac = 0.0;
    float taps[4][2] = {};
    bool primed = false;

    uint64_t pos = 0;  // next channel frame to mix
    State state = State::Stopped;
    bool mixedToEnd = false;  // the last frame is mixed; heard at endOut
    int64_t endOut = 0;
    bool ended = false;  // its end was heard

    float volume = 1.0f;  // 0..1
    int pan = 0;          // -100..100
    // Applied as the channel decodes, so what is heard, its level and its
    // spectrum all carry it; 1 leaves the samples untouched.
    float gain = 1.0f;
    bool decode = false;  // never played; read through BASS_ChannelGetData

    // Output-rate frames that were mixed but taken back before they were
    // heard (a command rewrote what was queued for the device): they are
    // mixed again before anything new is decoded. They carried channel
    // frames [replaySrcStart, replaySrcEnd).
    std::vector<float> replay;
    size_t replayAt = 0;
    uint64_t replaySrcStart = 0, replaySrcEnd = 0;

    // Gapless hand-over: `follower` starts at this channel's last frame
    // (handedOver once it has); a channel started so records by whom and at
    // which output frame.
    DWORD follower = 0;
    bool handedOver = false;
    DWORD startedBy = 0;
    int64_t startedAt = 0;

    std::deque<Stamp> stamps;    // mixed, not yet heard
    std::vector<float> history;  // stereo, indexed by output frame modulo kHistoryFrames
    int64_t runStart = 0;        // output frame where the current run of playing began
    std::vector<Sync> syncs;
};

// Up to n output-rate frames of the channel from `pos` on, after gain and before volume, into
// out (stereo). Returns how many: fewer than n only at the end.
int64_t Render(Channel& ch, float* out, int64_t n);

// Back to the first frame, with nothing mixed.
void Rewind(Channel& ch);

// The channel frame that the next mixed frame carries.
uint64_t SourceAt(const Channel& ch);

}  // namespace bass
