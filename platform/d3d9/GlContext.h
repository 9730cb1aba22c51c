// The OpenGL 3.3 core context the device draws with: headless through EGL
// (no window system) in virtual runs, an SDL window's context in live runs.
#pragma once

#include <vector>

struct SDL_Window;

namespace d3d9 {

// Makes the process's headless context current, creating it on first use.
bool EnsureHeadlessContext();

// Makes a context current on the window, creating it on first use (probing
// with a hidden window when window is null). False when SDL or GL refuse.
bool EnsureWindowContext(SDL_Window* window);

// What the current context can do; filled on first call after a context exists.
struct GlCaps {
    int maxTextureSize = 0;
    std::vector<int> colorSamples;  // sample counts for an RGBA8 render target
    std::vector<int> depthSamples;  // sample counts for the depth formats
    bool software = false;          // drawn by the CPU (llvmpipe, softpipe)
};
const GlCaps& Caps();

}  // namespace d3d9
