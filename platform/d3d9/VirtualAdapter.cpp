// The virtual adapter: the host's display modes, the headless context, and
// frames handed to the host.
#include "platform/d3d9/Adapter.h"
#include "platform/d3d9/GlContext.h"

#include "platform/host/Host.h"

namespace d3d9 {
namespace {

D3DDISPLAYMODE ModeOf(const host::DisplayMode& m)
{
    return D3DDISPLAYMODE{m.width, m.height, m.refreshRate, D3DFMT_X8R8G8B8};
}

class Virtual final : public Adapter {
public:
    bool MakeContext() override { return EnsureHeadlessContext(); }

    // The virtual desktop is the largest virtual mode.
    bool DisplayMode(D3DDISPLAYMODE& mode) override
    {
        D3DDISPLAYMODE best{1920, 1080, 60, D3DFMT_X8R8G8B8};
        uint64_t bestArea = 0;
        for (const host::DisplayMode& m : host::VirtualModes())
            if (uint64_t(m.width) * m.height > bestArea) {
                bestArea = uint64_t(m.width) * m.height;
                best = ModeOf(m);
            }
        mode = best;
        return true;
    }

    std::vector<D3DDISPLAYMODE> Modes() override
    {
        std::vector<D3DDISPLAYMODE> modes;
        for (const host::DisplayMode& m : host::VirtualModes()) modes.push_back(ModeOf(m));
        return modes;
    }

    Output OutputFor(HWND) override { return Output{Output::Host, nullptr}; }
};

}  // namespace

Adapter& VirtualAdapter()
{
    static Virtual* adapter = new Virtual;
    return *adapter;
}

Adapter& CurrentAdapter()
{
    return host::GetRunMode() == host::RunMode::Virtual ? VirtualAdapter() : LiveAdapter();
}

}  // namespace d3d9
