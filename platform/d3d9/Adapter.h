// The display the Direct3D 9 stand-in works for, one back end per run mode.
// Live: the desktop as SDL sees it, devices present into their SDL windows.
// Virtual: the host's list of modes, a headless EGL context, and frames handed
// to the host. Direct3DCreate9 takes the back end of the run once; devices keep
// the output chosen at creation.
#pragma once

#include "platform/d3d9/d3d9.h"

#include <vector>

struct SDL_Window;

namespace d3d9 {

// Where a device's presented frames go.
struct Output {
    enum Kind { None, Window, Host };
    Kind kind = None;
    SDL_Window* window = nullptr;  // Window only
};

class Adapter {
public:
    virtual ~Adapter() = default;
    // Makes a GL context current for queries (capabilities, sample counts).
    virtual bool MakeContext() = 0;
    // The desktop's mode; false when it cannot be read.
    virtual bool DisplayMode(D3DDISPLAYMODE& mode) = 0;
    // The X8R8G8B8 modes, in the adapter's order.
    virtual std::vector<D3DDISPLAYMODE> Modes() = 0;
    // The output of a device made for this window.
    virtual Output OutputFor(HWND window) = 0;
};

Adapter& LiveAdapter();
Adapter& VirtualAdapter();
// The back end of this run, as the host's run mode says.
Adapter& CurrentAdapter();

}  // namespace d3d9
