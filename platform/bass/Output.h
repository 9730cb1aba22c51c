// Where the mix goes. Chosen once, when the library starts: the capture's
// sound sink in virtual runs; in live runs the sound card through SDL, or a
// silent device that keeps real time when no card opens.
#pragma once

#include "platform/bass/Mixer.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <thread>

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
    // Ends the device; the mixer is no longer running. Outside the lock, maybe
    // from a sync callback.
    virtual void Close() = 0;
};

// device 0: no sound wanted. Logs when a live device was wanted but none opened.
std::shared_ptr<Output> OpenOutput(Mixer& mixer, int device);

// Live outputs: a worker thread fires END syncs once they are heard, and may
// mix ahead of a device that has no call-back of its own.
class LiveOutput : public Output, public std::enable_shared_from_this<LiveOutput> {
public:
    explicit LiveOutput(Mixer& mixer) : mixer_(mixer) {}
    void Begin() override;
    void Close() override;

protected:
    // Each wake of the worker, under the lock, before the syncs are settled.
    virtual void Tick() {}
    Mixer& mixer_;

private:
    void Run();
    std::condition_variable wake_;
    std::thread worker_;
    bool quit_ = false;   // under the mixer's lock
};

std::shared_ptr<Output> OpenVirtualOutput(Mixer& mixer);
// Null when no SDL audio device opens.
std::shared_ptr<Output> OpenSdlOutput(Mixer& mixer);
std::shared_ptr<Output> OpenSilentOutput(Mixer& mixer);

}  // namespace bass
