// The live adapter: the desktop as SDL sees it, and devices that present into
// their windows.
#include "platform/d3d9/Adapter.h"
#include "platform/d3d9/GlContext.h"

#include "platform/win32/WindowInternal.h"

#include <SDL2/SDL.h>

#include <algorithm>

namespace d3d9 {
namespace {

class Live final : public Adapter {
public:
    bool MakeContext() override { return EnsureWindowContext(nullptr); }

    bool DisplayMode(D3DDISPLAYMODE& mode) override
    {
        SDL_DisplayMode desktop;
        if (!EnsureSdlVideo() || SDL_GetDesktopDisplayMode(0, &desktop) != 0) return false;
        mode = D3DDISPLAYMODE{UINT(desktop.w), UINT(desktop.h), UINT(desktop.refresh_rate), D3DFMT_X8R8G8B8};
        return true;
    }

    // The display's own modes and the common ones the GPU scales, no larger
    // than the native mode.
    std::vector<D3DDISPLAYMODE> Modes() override
    {
        std::vector<D3DDISPLAYMODE> modes;
        SDL_DisplayMode desktop;
        if (!EnsureSdlVideo() || SDL_GetDesktopDisplayMode(0, &desktop) != 0) return modes;
        int n = SDL_GetNumDisplayModes(0);
        for (int i = 0; i < n; ++i) {
            SDL_DisplayMode m;
            if (SDL_GetDisplayMode(0, i, &m) == 0 && SDL_BITSPERPIXEL(m.format) >= 24)
                modes.push_back(D3DDISPLAYMODE{UINT(m.w), UINT(m.h), UINT(m.refresh_rate), D3DFMT_X8R8G8B8});
        }
        static const UINT common[][2] = {
            {640, 480},   {800, 600},   {1024, 768},  {1152, 864},  {1280, 720},  {1280, 768},
            {1280, 800},  {1280, 960},  {1280, 1024}, {1360, 768},  {1366, 768},  {1440, 900},
            {1600, 900},  {1600, 1200}, {1680, 1050}, {1920, 1080}, {1920, 1200}};
        for (const auto& c : common)
            if (c[0] <= UINT(desktop.w) && c[1] <= UINT(desktop.h))
                modes.push_back(D3DDISPLAYMODE{c[0], c[1], UINT(desktop.refresh_rate), D3DFMT_X8R8G8B8});
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

    Output OutputFor(HWND window) override
    {
        SDL_Window* sdl = window ? SdlWindowOf(window) : nullptr;
        return sdl ? Output{Output::Window, sdl} : Output{};
    }
};

}  // namespace

Adapter& LiveAdapter()
{
    static Live* adapter = new Live;
    return *adapter;
}

}  // namespace d3d9
