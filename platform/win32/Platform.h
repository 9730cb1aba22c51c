// The two back ends of the Win32 stand-in. Live: SDL2 windows and events, the
// keyboard and mouse, the monotonic clock, xdg-open. Virtual: the host's clock,
// scripted input and dialog answers, nothing outside the process. The run mode
// picks one (Current); the calls of win32.h go through it and never ask the
// mode themselves.
#pragma once

#include "platform/win32/ModalDialog.h"
#include "platform/win32/win32.h"

#include <string>

struct SDL_Window;

namespace win32 {

class Platform;

// One window of the table in Window.cpp.
struct WindowRecord {
    HWND handle = nullptr;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::wstring className;
    int clientX = 0, clientY = 0;  // screen position of the client area
    int clientWidth = 0, clientHeight = 0;
    int backBufferWidth = 0, backBufferHeight = 0;
    bool visible = false;
    bool fullscreen = false;
    bool saverAllowed = false;     // DefWindowProcW saw a screen-saver request
    HWND owner = nullptr;          // the window it stays above
    Platform* platform = nullptr;  // the back end that made it
    SDL_Window* sdl = nullptr;     // live windows only
};

class Platform {
public:
    virtual ~Platform() = default;

    // Clock: milliseconds wrapping at 2^32; Sleep waits (live) or returns (virtual).
    virtual DWORD TickCount() = 0;
    virtual void Sleep(DWORD milliseconds) = 0;

    // The screen's size in pixels; false when unknown.
    virtual bool ScreenSize(int& width, int& height) = 0;

    // A new window's presence on screen; false when the window system refuses it.
    virtual bool OpenWindow(WindowRecord& w, const std::string& title, bool withIcon) = 0;
    virtual void ShowWindow(WindowRecord& w) = 0;  // shows or hides as w.visible says
    virtual void RaiseWindow(WindowRecord& w) = 0;
    virtual void FocusWindow(WindowRecord& w) = 0;
    virtual void RefreshGeometry(WindowRecord& w) = 0;
    // The window leaves the table; runs at process exit too, so it must not
    // depend on anything but the record.
    virtual void CloseWindow(WindowRecord& w) = 0;
    virtual void AllowScreenSaver(bool allowed) = 0;

    // Turns the next pending platform event into a queued message (or into
    // nothing); false when no event is pending.
    virtual bool TakeEvent() = 0;

    virtual bool KeyDown(int virtualKey) = 0;
    virtual bool CursorPos(POINT& screen) = 0;

    // Shows a message box (text and caption UTF-8) and returns its answer.
    virtual int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) = 0;
    // Runs the dialog until it ends; false when it cannot be shown.
    virtual bool RunDialog(dialog::ModalDialog& d) = 0;
    virtual bool OpenAddress(const std::string& address) = 0;
};

Platform& LivePlatform();
Platform& VirtualPlatform();
// The back end of this run, as the host's run mode says.
Platform& Current();

// ---- the window table, for the back ends (Window.cpp) ------------------------
WindowRecord* FindWindowRecord(HWND window);
WindowRecord* FindWindowRecord(const SDL_Window* sdl);
// The window that input without a window of its own goes to: the foreground
// one, else the newest; null when there is none.
HWND InputTarget();
void QueueMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The window system moved the keyboard focus.
void FocusChanged(HWND window, bool gained);

}  // namespace win32
