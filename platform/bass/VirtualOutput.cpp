// Virtual runs: the mix is made offline at each frame boundary, exactly the
// samples of the frame interval that just ended, and goes to the host's sound
// sink; what was mixed is what is heard.
#include "platform/bass/Output.h"

#include "platform/host/Host.h"

namespace bass {
namespace {

class VirtualOutput final : public Output, public std::enable_shared_from_this<VirtualOutput> {
public:
    explicit VirtualOutput(Mixer& mixer) : mixer_(mixer) {}

    void Begin() override
    {
        // The hook keeps this object alive: a sync callback may close the library from it.
        int hook = host::AddFrameHook([self = shared_from_this()] { self->Frame(); });
        Lock lock(mixer_.mutex);
        hook_ = hook;
    }
    int64_t Clock(const Mixer& mixer) override { return mixer.mixed; }
    void Close() override
    {
        if (hook_ >= 0) host::RemoveFrameHook(hook_);
        hook_ = -1;
    }

private:
    // The samples of the frame interval that just ended go to the sound sink,
    // then the syncs that came due.
    void Frame()
    {
        uint64_t frame = host::FrameIndex();
        int64_t n =
            frame ? static_cast<int64_t>(host::SampleFramesAt(frame) - host::SampleFramesAt(frame - 1)) : 0;
        std::vector<int16_t> out(static_cast<size_t>(n * 2), 0);
        std::vector<Fire> fires;
        {
            Lock lock(mixer_.mutex);
            if (!mixer_.output) return;
            if (mixer_.running) mixer_.Mix(n, out.data());
            mixer_.SettleEnds(mixer_.Heard());
            fires.swap(mixer_.due);
        }
        if (n > 0) host::SubmitSound(out.data(), static_cast<size_t>(n));
        CallDue(fires);
    }

    Mixer& mixer_;
    int hook_ = -1;
};

}  // namespace

std::shared_ptr<Output> OpenVirtualOutput(Mixer& mixer)
{
    return std::make_shared<VirtualOutput>(mixer);
}

}  // namespace bass
