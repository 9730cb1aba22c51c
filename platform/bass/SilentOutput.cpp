// Live runs without a sound card: a device that plays silence in real time,
// so positions advance and songs end as they would be heard. The worker mixes
// one 256-frame block ahead of the clock.
#include "platform/bass/Output.h"

#include <chrono>

namespace bass {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kSilentBufferFrames = 256;

class SilentOutput final : public LiveOutput {
public:
    explicit SilentOutput(Mixer& mixer) : LiveOutput(mixer) {}

    void Begin() override
    {
        {
            std::lock_guard<std::mutex> lock(mixer_.mutex);
            start_ = SteadyClock::now();
        }
        LiveOutput::Begin();
    }
    // Real time since start, less the time stopped.
    int64_t Clock(const Mixer& mixer) override
    {
        if (!mixer.running) return base_;
        double since = std::chrono::duration<double>(SteadyClock::now() - start_).count();
        return base_ + static_cast<int64_t>(since * kOutRate);
    }
    void Starting() override { start_ = SteadyClock::now(); }
    void Stopping(int64_t heard) override { base_ = heard; }

protected:
    void Tick() override
    {
        if (!mixer_.running) return;
        int64_t target = Clock(mixer_) + kSilentBufferFrames;
        while (mixer_.mixed < target) mixer_.MixBlock(kSilentBufferFrames, nullptr);
    }

private:
    SteadyClock::time_point start_;
    int64_t base_ = 0;
};

}  // namespace

std::shared_ptr<Output> OpenSilentOutput(Mixer& mixer)
{
    return std::make_shared<SilentOutput>(mixer);
}

}  // namespace bass
