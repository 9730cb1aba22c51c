// Shared between the Win32 window stand-in and the Direct3D 9 stand-in: the SDL
// window behind a window handle (null for unknown handles and in virtual runs).
#pragma once

#include "platform/win32/win32.h"

struct SDL_Window;

SDL_Window* SdlWindowOf(HWND window);
