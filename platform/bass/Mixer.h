// The mix of every playing channel, and the heard clock the readers use.
//
// One lock guards every channel and the mixer. Mixing runs under it, on the
// output's thread; sync callbacks always run after it is released.
//
// Time is counted in output frames (44.1 kHz). `mixed` is how many have been
// mixed; the heard clock, given by the output, trails it by the output's
// latency. Every mixed block leaves a stamp per channel (output frames ->
// source frames) and a copy of its samples before volume, so position, level
// and spectrum are read at the heard clock, not at the mix.
#pragma once

#include "platform/bass/Channel.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <vector>

namespace bass {

class Output;

// A sync whose moment came, to be called outside the lock.
struct Fire {
    HSYNC handle;
    DWORD channel;
    SYNCPROC* proc;
    void* user;
};

// A mutex that lends its holder the priority of a real-time thread waiting
// for it, so the mixer thread never waits behind a preempted reader.
class PriorityMutex {
public:
    PriorityMutex();
    ~PriorityMutex();
    PriorityMutex(const PriorityMutex&) = delete;
    PriorityMutex& operator=(const PriorityMutex&) = delete;
    void lock() { pthread_mutex_lock(&mutex_); }
    void unlock() { pthread_mutex_unlock(&mutex_); }
    bool try_lock() { return pthread_mutex_trylock(&mutex_) == 0; }

private:
    pthread_mutex_t mutex_;
};

using Lock = std::lock_guard<PriorityMutex>;

struct Mixer {
    PriorityMutex mutex;
    bool running = false;  // BASS_Start / BASS_Stop
    std::map<DWORD, std::unique_ptr<Channel>> channels;
    std::vector<Fire> due;  // syncs whose moment came, not yet called
    int64_t mixed = 0;
    int64_t lastHeard = 0;
    Output* output = nullptr;  // the clock of what is heard; null when not initialised

    std::vector<float> mixBuffer, channelBuffer;

    // The output frame being heard now: never back, never past the mix.
    int64_t Heard();
    // Mixes n frames (n <= kMixChunk) into out (interleaved 16-bit stereo, may be null).
    void MixBlock(int64_t n, int16_t* out);
    // Mixes n frames of any length, block by block.
    void Mix(int64_t n, int16_t* out);
    // A playing channel whose last frame was mixed in the block that began at
    // blockStart starts its follower right after that frame (gapless).
    void HandOver(int64_t blockStart);
    // Takes back everything mixed from output frame `to` on (not yet heard):
    // each channel keeps what it gave there, to be mixed again first; a
    // follower handed over to after `to` stops again.
    void Rollback(int64_t to);
    // Channels whose last frame has now been heard end here; their END syncs
    // are queued in `due`, ONETIME ones removed.
    void SettleEnds(int64_t heard);
};

constexpr int64_t kMixChunk = 2048;  // frames mixed in one pass

// The library's one mixer.
Mixer& TheMixer();

// True while what the channel plays is still being heard.
bool Audible(const Channel& ch, int64_t heard);
// The channel frame heard at output frame `heard`.
uint64_t HeardPosition(Channel& ch, int64_t heard);
// The frame heard at output frame f, before volume; silence outside the current run.
void HeardFrame(const Channel& ch, int64_t f, float* frame);

void CallDue(const std::vector<Fire>& fires);

}  // namespace bass
