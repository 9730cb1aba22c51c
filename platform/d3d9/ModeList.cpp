#include "platform/d3d9/ModeList.h"

#include <algorithm>

namespace d3d9 {
namespace {

// Same shape as the desktop, to within the rounding of a pixel.
bool SameShape(const D3DDISPLAYMODE& m, const D3DDISPLAYMODE& desktop)
{
    uint64_t a = uint64_t(m.Width) * desktop.Height, b = uint64_t(m.Height) * desktop.Width;
    return (a > b ? a - b : b - a) < desktop.Width;
}

}  // namespace

std::vector<D3DDISPLAYMODE> LiveModeList(const D3DDISPLAYMODE& desktop,
                                         const std::vector<D3DDISPLAYMODE>& display)
{
    std::vector<D3DDISPLAYMODE> modes;
    if (desktop.Width == 0 || desktop.Height == 0) return modes;
    modes.push_back(D3DDISPLAYMODE{desktop.Width, desktop.Height, desktop.RefreshRate, D3DFMT_X8R8G8B8});
    for (const D3DDISPLAYMODE& m : display)
        if (m.Width <= desktop.Width && m.Height <= desktop.Height && SameShape(m, desktop))
            modes.push_back(D3DDISPLAYMODE{m.Width, m.Height, m.RefreshRate, D3DFMT_X8R8G8B8});
    // The scaled mode: 1280 wide in the desktop's shape, rounded to a line.
    uint64_t height = (uint64_t(kScaledModeWidth) * desktop.Height + desktop.Width / 2) / desktop.Width;
    UINT scaledHeight = UINT(std::max<uint64_t>(height, kScaledModeMinHeight));
    if (kScaledModeWidth <= desktop.Width && scaledHeight <= desktop.Height)
        modes.push_back(D3DDISPLAYMODE{kScaledModeWidth, scaledHeight, desktop.RefreshRate, D3DFMT_X8R8G8B8});
    auto less = [](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
        if (a.Width != b.Width) return a.Width < b.Width;
        if (a.Height != b.Height) return a.Height < b.Height;
        return a.RefreshRate < b.RefreshRate;
    };
    auto same = [](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
        return a.Width == b.Width && a.Height == b.Height && a.RefreshRate == b.RefreshRate;
    };
    std::sort(modes.begin(), modes.end(), less);
    modes.erase(std::unique(modes.begin(), modes.end(), same), modes.end());
    return modes;
}

}  // namespace d3d9
