// Keyboard and mouse polling: SDL's state in live runs, the host's scripted
// state in virtual runs.
#include "platform/win32/WindowInternal.h"
#include "platform/win32/win32.h"

#include "platform/host/Host.h"

#include <SDL.h>

namespace {

constexpr SHORT kKeyDown = static_cast<SHORT>(0x8000);

// Virtual-key codes beyond the ones win32.h names.
constexpr int kVkControl = 0x11;
constexpr int kVkMenu = 0x12;
constexpr int kVkLeft = 0x25;
constexpr int kVkUp = 0x26;
constexpr int kVkRight = 0x27;
constexpr int kVkDown = 0x28;

bool LiveKeyDown(int virtualKey)
{
    if (virtualKey == VK_LBUTTON)
        return (SDL_GetGlobalMouseState(nullptr, nullptr) & SDL_BUTTON_LMASK) != 0;
    int count = 0;
    const Uint8* keys = SDL_GetKeyboardState(&count);
    auto down = [&](SDL_Scancode code) { return code < count && keys[code] != 0; };
    if (virtualKey >= 'A' && virtualKey <= 'Z')
        return down(static_cast<SDL_Scancode>(SDL_SCANCODE_A + (virtualKey - 'A')));
    if (virtualKey >= '1' && virtualKey <= '9')
        return down(static_cast<SDL_Scancode>(SDL_SCANCODE_1 + (virtualKey - '1')));
    switch (virtualKey) {
    case '0': return down(SDL_SCANCODE_0);
    case VK_ESCAPE: return down(SDL_SCANCODE_ESCAPE);
    case VK_SPACE: return down(SDL_SCANCODE_SPACE);
    case VK_TAB: return down(SDL_SCANCODE_TAB);
    case VK_RETURN: return down(SDL_SCANCODE_RETURN) || down(SDL_SCANCODE_KP_ENTER);
    case VK_SHIFT: return down(SDL_SCANCODE_LSHIFT) || down(SDL_SCANCODE_RSHIFT);
    case kVkControl: return down(SDL_SCANCODE_LCTRL) || down(SDL_SCANCODE_RCTRL);
    case kVkMenu: return down(SDL_SCANCODE_LALT) || down(SDL_SCANCODE_RALT);
    case kVkLeft: return down(SDL_SCANCODE_LEFT);
    case kVkUp: return down(SDL_SCANCODE_UP);
    case kVkRight: return down(SDL_SCANCODE_RIGHT);
    case kVkDown: return down(SDL_SCANCODE_DOWN);
    default: return false;
    }
}

}  // namespace

SHORT GetAsyncKeyState(int virtualKey)
{
    if (virtualKey < 0 || virtualKey > 0xFF) return 0;
    if (host::IsVirtual()) return host::VirtualKeyDown(virtualKey) ? kKeyDown : 0;
    if (!EnsureSdlVideo()) return 0;
    // Bring SDL's key state up to date without taking events from the queue.
    // SDL only tracks the keyboard while one of its windows has the focus.
    SDL_PumpEvents();
    return LiveKeyDown(virtualKey) ? kKeyDown : 0;
}

BOOL GetCursorPos(POINT* point)
{
    if (!point) return FALSE;
    if (host::IsVirtual()) {
        // The host's cursor is in client pixels of the program's window.
        int x = 0, y = 0;
        host::VirtualCursor(x, y);
        WindowGeometry g{};
        if (GetWindowGeometry(GetForegroundWindow(), &g)) {
            x += g.clientX;
            y += g.clientY;
        }
        point->x = x;
        point->y = y;
        return TRUE;
    }
    if (!EnsureSdlVideo()) return FALSE;
    int x = 0, y = 0;
    SDL_GetGlobalMouseState(&x, &y);
    point->x = x;
    point->y = y;
    return TRUE;
}

BOOL ScreenToClient(HWND window, POINT* point)
{
    WindowGeometry g{};
    if (!point || !GetWindowGeometry(window, &g)) return FALSE;
    int x = point->x - g.clientX;
    int y = point->y - g.clientY;
    WindowPixelsToClient(g, x, y);
    point->x = x;
    point->y = y;
    return TRUE;
}
