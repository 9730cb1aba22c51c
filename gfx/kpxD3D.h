// The engine's display object: the program's one window and its Direct3D 9
// device, with the objects that belong to the device. One global instance, d3d.
#pragma once

#include "core/EngineSettings.h"
#include "platform/d3d9/d3d9.h"

#include <cstdint>

// Written by the window procedure, read by the frame loop.
extern int32_t quitRequested;  // nonzero ends the frame loop
extern uint8_t mouseDown;      // 1 from a left-button press until its release
extern uint8_t mouseReleased;  // 1 from a left-button release until the next press
extern uint32_t appCommand;    // last media-key command (APPCOMMAND_MEDIA_*) not yet taken, or 0

class kpxD3D {
public:
    uint32_t backBufferWidth = 0;
    uint32_t backBufferHeight = 0;
    D3DVIEWPORT9 viewport{};  // the centred interface viewport
    D3DPRESENT_PARAMETERS presentParams{};
    HWND window = nullptr;
    HDC windowDC = nullptr;
    IDirect3D9* direct3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    D3DCAPS9 caps{};
    IDirect3DSurface9* backBufferSurface = nullptr;
    IDirect3DSurface9* depthSurface = nullptr;

    kpxD3D() = default;
    kpxD3D(const kpxD3D&) = delete;
    kpxD3D& operator=(const kpxD3D&) = delete;
    ~kpxD3D();

    // Window, then device; 1 on success, 0 at the first failing step (what was
    // made so far stays until the process ends).
    int Init(const EngineSettings& engineSettings);
    int Init(const EngineSettings* engineSettings) { return Init(*engineSettings); }
    int InitWindow(const EngineSettings& engineSettings);
    int InitDirect3D(const EngineSettings& engineSettings);

    // Releases the surfaces, the device, Direct3D and the window, in this order
    // (the destructor does it at process exit; safe to call more than once).
    void Release();

    // The procedure of window class "kpxwnd".
    static LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

extern kpxD3D d3d;
