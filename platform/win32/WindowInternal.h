// Shared between the Win32 window stand-in and the Direct3D 9 stand-in: the SDL
// window behind a window handle (null for unknown handles and in virtual runs).
#pragma once

#include <mutex>

#include "platform/win32/win32.h"

struct SDL_Window;

SDL_Window* SdlWindowOf(HWND window);

// The device shows a back buffer of this size scaled to fit the window (aspect
// kept, centred), as for a fullscreen mode on a desktop-sized window. Mouse
// messages and ScreenToClient then report back-buffer pixels. 0 x 0 (the
// default) maps window pixels 1:1.
void SetWindowBackBufferSize(HWND window, int width, int height);

// Where a window's client area lies: its top-left corner in screen pixels, its
// size, and the back-buffer size set above. False for unknown handles.
struct WindowGeometry {
    int clientX, clientY;
    int clientWidth, clientHeight;
    int backBufferWidth, backBufferHeight;
};
bool GetWindowGeometry(HWND window, WindowGeometry* geometry);
// Window pixels (relative to the client area) to the client coordinates that
// messages report: back-buffer pixels where a scaled back buffer is shown.
void WindowPixelsToClient(const WindowGeometry& geometry, int& x, int& y);

// Starts SDL's video subsystem once, for every live user of SDL video (windows,
// input, the device's context and display modes); false when it cannot start.
bool EnsureSdlVideo();

// SDL's windows belong to the thread that pumps events. The device puts a frame
// into its window's surface on a thread of its own: it holds this lock meanwhile,
// as the event pump and the calls that change a window do.
std::mutex& SdlWindowLock();
