// Where the mix goes. Chosen once, when the library starts: the capture's
// sound sink in virtual runs; in live runs a PulseAudio server, else the
// sound card through SDL, else a silent device that keeps real time.
#pragma once

#include "platform/bass/Mixer.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace bass {

class Output {
public:
    virtual ~Output() = default;
    // Starts the device once the mixer is reset. Outside the lock.
    virtual void Begin() = 0;
    // The output frame the device is sounding now, before the mixer clamps it. Under the lock.
    virtual int64_t Clock(const Mixer& mixer) = 0;
    // The output is about to run again, or to stop at the heard frame. Under the lock.
    virtual void Starting() {}
    virtual void Stopping(int64_t /*heard*/) {}
    // The device itself resumes or pauses. Outside the lock.
    virtual void Resume() {}
    virtual void Pause() {}
    // Around a command that changes what is mixed, under the lock: Retract
    // takes back what is queued beyond the next moment the device needs, so
    // the command is heard at once; Refill queues the new mix.
    virtual void Retract() {}
    virtual void Refill() {}
    // Around the commands of one action (a stop, then a start): what reaches
    // the device is the outcome, never a state in between. Under the lock.
    virtual void Hold() {}
    virtual void Release() {}
    // What plays now, for a sound server that shows it. Under the lock.
    virtual void SetTitle(const std::string& /*title*/) {}
    // Ends the device; the mixer is no longer running. Outside the lock, maybe
    // from a sync callback.
    virtual void Close() = 0;
};

// device 0: no sound wanted. Logs when a live device was wanted but none opened.
std::shared_ptr<Output> OpenOutput(Mixer& mixer, int device);

// What a live output saw, for tests and the exit log.
struct OutputStats {
    int underruns = 0;             // device blocks that found the queue short
    int64_t longestGapFrames = 0;  // longest run of silence put in for them
    int64_t queueFrames = 0;       // how far the mix runs ahead of the device
    double mixerCpuSeconds = 0;    // CPU time of the mixer thread so far
};
// The current or last live output's numbers; zeros before any.
OutputStats LastOutputStats();

// Live outputs. A mixer thread of its own, at raised priority where the
// system allows it, keeps a lock-free queue of mixed frames about 200 ms
// ahead of the device; the device only copies from it. A sync thread fires END
// syncs once they are heard.
class LiveOutput : public Output, public std::enable_shared_from_this<LiveOutput> {
public:
    // blockFrames: what the device takes at once.
    LiveOutput(Mixer& mixer, int64_t blockFrames, int64_t latencyFrames);
    void Begin() override;
    int64_t Clock(const Mixer& mixer) override;
    void Starting() override;
    void Stopping(int64_t heard) override;
    void Retract() override;
    void Refill() override;
    void Close() override;

    static constexpr int64_t kQueueFrames = 8820;  // 200 ms
    static constexpr int64_t kRingFrames = 16384;  // room for the queue and a device block

protected:
    // The device's side: copies up to `frames` queued frames, silence for the
    // rest (an underrun, counted while running), and returns `frames`. Never
    // locks or allocates. Without `pad` it copies only what is queued and
    // returns that: for a device that keeps a buffer of its own and asks again.
    int64_t Take(int16_t* out, int64_t frames, bool pad = true);
    // A device that reports running dry on its own side (a sound server
    // starved of our writes) counts it here, while the output runs.
    void CountDeviceUnderrun();
    // Called by the mixer thread before it tops up, under the lock: a device
    // without a call-back of its own consumes here.
    virtual void Advance() {}
    int64_t Taken() const { return taken_.load(std::memory_order_acquire); }
    void SetTaken(int64_t frames) { taken_.store(frames, std::memory_order_release); }
    // For a device that can take back what it was given, while its thread is
    // held off (inside Retract): everything from frame `keep` on is mixed
    // again, never what was heard. Returns how many taken frames came back.
    int64_t TakeBack(int64_t keep);
    void MixAhead(int64_t frames);
    Mixer& mixer_;
    const int64_t block_;

private:
    void MixerLoop();
    void SyncLoop();
    void Publish();

    std::vector<int16_t> ring_;
    const int64_t latency_;
    std::atomic<int64_t> queued_{0};      // frames mixed into the ring (== mixer_.mixed)
    std::atomic<int64_t> taken_{0};       // frames the device took
    std::atomic<bool> taking_{false};     // the device is between reading queued_ and publishing taken_
    std::atomic<bool> rewriting_{false};  // a command is between Retract and Refill
    std::atomic<int64_t> takenAtNs_{0};   // when it last took
    std::atomic<bool> counting_{false};   // underruns count while the output runs
    std::atomic<pid_t> deviceThread_{0};  // the thread that takes, once it has
    bool deviceRaised_ = false;           // mixer thread only
    int64_t gap_ = 0;                     // device thread only

    std::condition_variable_any wake_;
    std::thread mixerThread_, syncThread_;
    bool quit_ = false;  // under the mixer's lock
};

std::shared_ptr<Output> OpenVirtualOutput(Mixer& mixer);
// Null when no sound server answers.
std::shared_ptr<Output> OpenPulseOutput(Mixer& mixer);
// Null when no SDL audio device opens; `why` ends the log line of one that does.
std::shared_ptr<Output> OpenSdlOutput(Mixer& mixer, const char* why);
std::shared_ptr<Output> OpenSilentOutput(Mixer& mixer);

// Asks for real-time scheduling for a thread of this process: SCHED_RR
// directly, else through rtkit on the system bus. False, quietly, when
// neither is allowed.
bool RaiseThreadPriority(pid_t thread);

}  // namespace bass
