#include "platform/bass/Output.h"

#include "platform/host/Host.h"
#include "platform/win32/Log.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <pthread.h>
#include <unistd.h>

namespace bass {
namespace {

// The numbers of the current or last live output.
std::atomic<int> underruns{0};
std::atomic<int64_t> longestGap{0};
std::atomic<int64_t> queueFrames{0};
std::atomic<int64_t> mixerCpuNs{0};

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t ThreadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

constexpr int64_t kMixStep = 512;  // frames the mixer thread adds at a time

}  // namespace

std::shared_ptr<Output> OpenOutput(Mixer& mixer, int device)
{
    if (host::IsVirtual()) return OpenVirtualOutput(mixer);
    if (device != 0) {
        // A driver asked of SDL by name (other than Pulse's) is used as asked.
        const char* driver = std::getenv("SDL_AUDIODRIVER");
        bool sdlAsked = driver && *driver && std::strcmp(driver, "pulseaudio") != 0;
        if (!sdlAsked) {
            if (auto pulse = OpenPulseOutput(mixer)) return pulse;
        }
        const char* why = sdlAsked ? "as SDL_AUDIODRIVER asks" : "no sound server answered";
        if (auto sdl = OpenSdlOutput(mixer, why)) return sdl;
        LogPrintf("[bass] sound output: silent, in real time: %s and no sound device could be opened\n",
                  sdlAsked ? "SDL_AUDIODRIVER's driver opened nothing" : "no sound server answered");
    }
    return OpenSilentOutput(mixer);
}

OutputStats LastOutputStats()
{
    OutputStats s;
    s.underruns = underruns.load();
    s.longestGapFrames = longestGap.load();
    s.queueFrames = queueFrames.load();
    s.mixerCpuSeconds = static_cast<double>(mixerCpuNs.load()) / 1e9;
    return s;
}

LiveOutput::LiveOutput(Mixer& mixer, int64_t blockFrames, int64_t latencyFrames)
    : mixer_(mixer), block_(blockFrames), ring_(static_cast<size_t>(kRingFrames * 2), 0),
      latency_(latencyFrames)
{
}

void LiveOutput::Begin()
{
    underruns = 0;
    longestGap = 0;
    queueFrames = kQueueFrames;
    mixerCpuNs = 0;
    Lock lock(mixer_.mutex);
    // Queued ahead before the device starts, so its first block finds sound.
    queued_ = mixer_.mixed;
    taken_ = mixer_.mixed;
    takenAtNs_ = NowNs();
    MixAhead(kQueueFrames);
    counting_ = mixer_.running;
    // The threads keep this object alive: a sync callback may close the library.
    mixerThread_ = std::thread([self = shared_from_this()] { self->MixerLoop(); });
    syncThread_ = std::thread([self = shared_from_this()] { self->SyncLoop(); });
}

int64_t LiveOutput::Take(int16_t* out, int64_t frames, bool pad)
{
    // The device's thread (SDL's) feeds the sound server; the mixer thread raises it.
    if (deviceThread_.load(std::memory_order_relaxed) == 0)
        deviceThread_.store(gettid(), std::memory_order_relaxed);
    int64_t taken = taken_.load(std::memory_order_relaxed);
    int64_t n = 0;
    // A command taking back the queue refills it within a fraction of a
    // millisecond: a short queue seen meanwhile is waited for, briefly.
    for (int64_t spinUntil = 0;;) {
        taking_.store(true, std::memory_order_seq_cst);
        int64_t queued = queued_.load(std::memory_order_seq_cst);
        n = std::clamp<int64_t>(queued - taken, 0, frames);
        if (n == frames || !rewriting_.load(std::memory_order_seq_cst)) break;
        taking_.store(false, std::memory_order_seq_cst);
        int64_t now = NowNs();
        if (spinUntil == 0) spinUntil = now + 2000000;
        if (now > spinUntil) {
            taking_.store(true, std::memory_order_seq_cst);
            n = std::clamp<int64_t>(queued_.load(std::memory_order_seq_cst) - taken, 0, frames);
            break;
        }
        std::this_thread::yield();
    }
    for (int64_t done = 0; done < n;) {
        int64_t at = (taken + done) % kRingFrames;
        int64_t run = std::min(n - done, kRingFrames - at);
        std::copy_n(ring_.data() + at * 2, run * 2, out + done * 2);
        done += run;
    }
    takenAtNs_.store(NowNs(), std::memory_order_relaxed);
    taken_.store(taken + n, std::memory_order_release);
    taking_.store(false, std::memory_order_release);
    if (!pad) return n;
    std::fill(out + n * 2, out + frames * 2, int16_t{0});
    if (n == frames) {
        gap_ = 0;
    } else if (counting_.load(std::memory_order_relaxed)) {
        if (gap_ == 0) underruns.fetch_add(1, std::memory_order_relaxed);
        gap_ += frames - n;
        if (gap_ > longestGap.load(std::memory_order_relaxed))
            longestGap.store(gap_, std::memory_order_relaxed);
    }
    return frames;
}

void LiveOutput::CountDeviceUnderrun()
{
    if (counting_.load(std::memory_order_relaxed)) underruns.fetch_add(1, std::memory_order_relaxed);
}

int64_t LiveOutput::Clock(const Mixer& mixer)
{
    if (!mixer.running) return mixer.lastHeard;
    // The block the device took last starts sounding `latency_` frames after
    // its first frame was taken; between blocks the clock runs on in real
    // time, but never past the next block's start.
    int64_t taken = taken_.load(std::memory_order_acquire);
    double since = static_cast<double>(NowNs() - takenAtNs_.load(std::memory_order_relaxed)) / 1e9;
    int64_t ahead = std::clamp<int64_t>(static_cast<int64_t>(since * kOutRate), 0, block_);
    return taken - latency_ + ahead;
}

void LiveOutput::Starting()
{
    takenAtNs_ = NowNs();
    counting_ = true;
    wake_.notify_all();
}

void LiveOutput::Stopping(int64_t)
{
    counting_ = false;
}

void LiveOutput::Retract()
{
    rewriting_.store(true, std::memory_order_seq_cst);
    Advance();
    // Keep one device block and a little: the device may be about to take it.
    int64_t keep = Taken() + block_ + 128;
    if (keep >= mixer_.mixed) return;
    queued_.store(keep, std::memory_order_seq_cst);
    // A block being copied while the end moved finishes first.
    while (taking_.load(std::memory_order_seq_cst)) std::this_thread::yield();
    int64_t to = std::max(keep, Taken());
    if (to > keep) queued_.store(to, std::memory_order_release);
    mixer_.Rollback(to);
}

int64_t LiveOutput::TakeBack(int64_t keep)
{
    int64_t taken = Taken();
    if (keep >= mixer_.mixed) return 0;
    mixer_.Rollback(keep);
    int64_t to = mixer_.mixed;
    queued_.store(to, std::memory_order_release);
    if (to >= taken) return 0;
    taken_.store(to, std::memory_order_release);
    return taken - to;
}

void LiveOutput::Refill()
{
    // The first frames after a command are mixed here and now, the rest by the mixer thread.
    if (mixer_.running) MixAhead(std::min<int64_t>(block_ + 128, Taken() + kQueueFrames - mixer_.mixed));
    rewriting_.store(false, std::memory_order_seq_cst);
    wake_.notify_all();
}

void LiveOutput::MixAhead(int64_t frames)
{
    while (frames > 0) {
        int64_t at = mixer_.mixed % kRingFrames;
        int64_t run = std::min(frames, kRingFrames - at);
        mixer_.Mix(run, ring_.data() + at * 2);
        queued_.store(mixer_.mixed, std::memory_order_release);
        frames -= run;
    }
}

void LiveOutput::MixerLoop()
{
    pthread_setname_np(pthread_self(), "mivola-mixer");
    RaiseThreadPriority(gettid());
    std::unique_lock<PriorityMutex> lock(mixer_.mutex);
    while (!quit_) {
        if (!deviceRaised_ && deviceThread_.load(std::memory_order_relaxed) != 0) {
            RaiseThreadPriority(deviceThread_.load(std::memory_order_relaxed));
            deviceRaised_ = true;
        }
        Advance();
        int64_t room = Taken() + kQueueFrames - mixer_.mixed;
        if (mixer_.running && room >= kMixStep) {
            MixAhead(kMixStep);
            mixerCpuNs.store(ThreadCpuNs(), std::memory_order_relaxed);
            // Let commands and readers in between steps.
            lock.unlock();
            lock.lock();
            continue;
        }
        wake_.wait_for(lock, std::chrono::milliseconds(2));
    }
    mixerCpuNs.store(ThreadCpuNs(), std::memory_order_relaxed);
}

void LiveOutput::SyncLoop()
{
    pthread_setname_np(pthread_self(), "mivola-syncs");
    std::unique_lock<PriorityMutex> lock(mixer_.mutex);
    while (!quit_) {
        wake_.wait_for(lock, std::chrono::milliseconds(2));
        if (quit_) break;
        mixer_.SettleEnds(mixer_.Heard());
        if (mixer_.due.empty()) continue;
        std::vector<Fire> fires;
        fires.swap(mixer_.due);
        lock.unlock();
        CallDue(fires);
        lock.lock();
    }
}

void LiveOutput::Close()
{
    std::thread mixerThread, syncThread;
    {
        Lock lock(mixer_.mutex);
        quit_ = true;
        counting_ = false;
        mixerThread = std::move(mixerThread_);
        syncThread = std::move(syncThread_);
    }
    wake_.notify_all();
    if (mixerThread.joinable()) mixerThread.join();
    if (syncThread.joinable()) {
        // A sync callback may free the library from the sync thread itself.
        if (syncThread.get_id() == std::this_thread::get_id()) syncThread.detach();
        else syncThread.join();
    }
    OutputStats s = LastOutputStats();
    if (s.underruns > 0)
        LogPrintf("[bass] %d sound underruns, the longest %.1f ms of silence\n", s.underruns,
                  static_cast<double>(s.longestGapFrames) * 1000.0 / kOutRate);
}

}  // namespace bass
