// The live adapter: the desktop as SDL sees it, and devices that present into
// their windows.
#include "platform/d3d9/Adapter.h"
#include "platform/d3d9/GlContext.h"
#include "platform/d3d9/ModeList.h"

#include "platform/win32/WindowInternal.h"

#include <SDL2/SDL.h>

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

    std::vector<D3DDISPLAYMODE> Modes() override
    {
        D3DDISPLAYMODE desktop{};
        if (!DisplayMode(desktop)) return {};
        std::vector<D3DDISPLAYMODE> display;
        int n = SDL_GetNumDisplayModes(0);
        for (int i = 0; i < n; ++i) {
            SDL_DisplayMode m;
            if (SDL_GetDisplayMode(0, i, &m) == 0 && SDL_BITSPERPIXEL(m.format) >= 24)
                display.push_back(
                    D3DDISPLAYMODE{UINT(m.w), UINT(m.h), UINT(m.refresh_rate), D3DFMT_X8R8G8B8});
        }
        return LiveModeList(desktop, display);
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
