// Keyboard and mouse polling through the run's back end.
#include "platform/win32/Platform.h"
#include "platform/win32/WindowInternal.h"
#include "platform/win32/win32.h"

namespace {

constexpr SHORT kKeyDown = static_cast<SHORT>(0x8000);

}  // namespace

SHORT GetAsyncKeyState(int virtualKey)
{
    if (virtualKey < 0 || virtualKey > 0xFF) return 0;
    return win32::Current().KeyDown(virtualKey) ? kKeyDown : 0;
}

BOOL GetCursorPos(POINT* point)
{
    if (!point) return FALSE;
    POINT p{};
    if (!win32::Current().CursorPos(p)) return FALSE;
    *point = p;
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
