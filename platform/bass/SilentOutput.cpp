// Live runs without a sound card: a device that takes the queued mix in real
// time and plays nothing, so positions advance and songs end as they would be
// heard.
#include "platform/bass/Output.h"

#include <chrono>

namespace bass {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int64_t kSilentBlockFrames = 256;

class SilentOutput final : public LiveOutput {
public:
    explicit SilentOutput(Mixer& mixer) : LiveOutput(mixer, kSilentBlockFrames, 0) {}

    void Begin() override
    {
        {
            Lock lock(mixer_.mutex);
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
    void Starting() override
    {
        start_ = SteadyClock::now();
        LiveOutput::Starting();
    }
    void Stopping(int64_t heard) override
    {
        base_ = heard;
        LiveOutput::Stopping(heard);
    }

protected:
    // What has been heard is taken.
    void Advance() override
    {
        int64_t now = Clock(mixer_);
        if (now > Taken()) SetTaken(std::min(now, mixer_.mixed));
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
