// Window classes, windows and the message queue. Each window is a record
// (position, size, procedure); the back end that made it gives it its presence
// on screen (live: an SDL window with an OpenGL surface for the Direct3D 9
// stand-in) and feeds the queue with its events (live: SDL's, virtual: the
// host's input script).
#include "platform/win32/Platform.h"
#include "platform/win32/WindowInternal.h"
#include "platform/win32/win32.h"
#include "platform/win32/Utf8.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

using win32::WindowRecord;

namespace {

constexpr int kIconResource = 103;
constexpr WORD kFirstAtom = 0xC000;  // where Windows numbers registered classes
constexpr uintptr_t kFirstWindow = 0x10010;
constexpr uintptr_t kDcBase = 0x01000000;  // a window's own DC: kDcBase + its handle
// The frame Windows puts around a captioned, fixed-size window at 96 dpi.
constexpr int kFixedFrame = 3;
constexpr int kCaptionHeight = 23;
constexpr int kThinBorder = 1;
constexpr DWORD kBorderStyle = 0x00800000u;    // WS_BORDER
constexpr DWORD kDlgFrameStyle = 0x00400000u;  // WS_DLGFRAME

struct WindowClass {
    std::wstring name;
    ATOM atom = 0;
    WNDCLASSW info{};
};

struct Tables {
    std::vector<WindowClass> classes;
    WORD nextAtom = kFirstAtom;
    std::map<uintptr_t, std::unique_ptr<WindowRecord>> windows;
    uintptr_t nextWindow = kFirstWindow;
    std::deque<MSG> queue;
    HWND foreground = nullptr;
    HWND focus = nullptr;
};

// Never destroyed: the device object releases its window during static
// destruction, when tables destroyed at exit might already be gone.
Tables& T()
{
    static Tables* tables = new Tables;
    return *tables;
}

WindowRecord* Find(HWND window)
{
    if (!window) return nullptr;
    auto it = T().windows.find(reinterpret_cast<uintptr_t>(window));
    return it == T().windows.end() ? nullptr : it->second.get();
}

WindowClass* FindClass(LPCWSTR name)
{
    if (!name) return nullptr;
    for (WindowClass& c : T().classes) {
        if (IS_INTRESOURCE(name) ? c.atom == LOWORD(name) : c.name == name) return &c;
    }
    return nullptr;
}

HINSTANCE ModuleOrSelf(HINSTANCE instance)
{
    // A class registered without a module belongs to the program.
    return instance ? instance : GetModuleHandleW(nullptr);
}

// Frame widths around the client area for a style: left, top, right, bottom.
RECT FrameOf(DWORD style)
{
    RECT frame{0, 0, 0, 0};
    if ((style & WS_CAPTION) == WS_CAPTION) {
        frame = {kFixedFrame, kFixedFrame + kCaptionHeight, kFixedFrame, kFixedFrame};
    } else if (style & kDlgFrameStyle) {
        frame = {kFixedFrame, kFixedFrame, kFixedFrame, kFixedFrame};
    } else if (style & kBorderStyle) {
        frame = {kThinBorder, kThinBorder, kThinBorder, kThinBorder};
    }
    return frame;
}

// A popup without a caption is the program's fullscreen window.
bool IsFullscreenStyle(DWORD style)
{
    return (style & WS_POPUP) && (style & WS_CAPTION) == 0;
}

// Hold the screen saver off while a window that asks for it has the focus.
// Windows asks the focused window with WM_SYSCOMMAND SC_SCREENSAVE before the
// saver starts; the default processing lets it start, a window that answers
// the request itself keeps it off.
void UpdateScreenSaver(HWND window, bool focused)
{
    WindowRecord* w = Find(window);
    if (!w) return;
    win32::Platform* platform = w->platform;
    if (!focused) {
        platform->AllowScreenSaver(true);
        return;
    }
    w->saverAllowed = false;
    WNDPROC proc = w->proc;
    if (proc) proc(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
    w = Find(window);  // the procedure may have destroyed it
    platform->AllowScreenSaver(!w || w->saverAllowed);
}

MSG MakeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    GetCursorPos(&msg.pt);
    return msg;
}

bool Matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax)
{
    if (window && msg.hwnd != window) return false;
    if (filterMin == 0 && filterMax == 0) return true;
    return msg.message >= filterMin && msg.message <= filterMax;
}

}  // namespace

// ---- shared with the back ends ----------------------------------------------------

namespace win32 {

WindowRecord* FindWindowRecord(HWND window)
{
    return Find(window);
}

WindowRecord* FindWindowRecord(const SDL_Window* sdl)
{
    if (!sdl) return nullptr;
    for (auto& [id, record] : T().windows)
        if (record->sdl == sdl) return record.get();
    return nullptr;
}

HWND InputTarget()
{
    if (Find(T().foreground)) return T().foreground;
    if (T().windows.empty()) return nullptr;
    return T().windows.rbegin()->second->handle;
}

void QueueMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    T().queue.push_back(MakeMessage(window, message, wParam, lParam));
}

void FocusChanged(HWND window, bool gained)
{
    if (gained) {
        T().focus = window;
        T().foreground = window;
    } else if (T().focus == window) {
        T().focus = nullptr;
    }
    UpdateScreenSaver(window, gained);
}

}  // namespace win32

// ---- shared with the Direct3D 9 stand-in and Input.cpp -------------------------

SDL_Window* SdlWindowOf(HWND window)
{
    WindowRecord* w = Find(window);
    return w ? w->sdl : nullptr;
}

void SetWindowBackBufferSize(HWND window, int width, int height)
{
    if (WindowRecord* w = Find(window)) {
        w->backBufferWidth = width > 0 && height > 0 ? width : 0;
        w->backBufferHeight = width > 0 && height > 0 ? height : 0;
    }
}

bool GetWindowGeometry(HWND window, WindowGeometry* geometry)
{
    WindowRecord* w = Find(window);
    if (!w || !geometry) return false;
    w->platform->RefreshGeometry(*w);
    *geometry = {w->clientX,      w->clientY,         w->clientWidth,
                 w->clientHeight, w->backBufferWidth, w->backBufferHeight};
    return true;
}

void WindowPixelsToClient(const WindowGeometry& g, int& x, int& y)
{
    if (g.backBufferWidth <= 0 || g.backBufferHeight <= 0 || g.clientWidth <= 0 || g.clientHeight <= 0)
        return;
    double scale = std::min(static_cast<double>(g.clientWidth) / g.backBufferWidth,
                            static_cast<double>(g.clientHeight) / g.backBufferHeight);
    double left = (g.clientWidth - g.backBufferWidth * scale) * 0.5;
    double top = (g.clientHeight - g.backBufferHeight * scale) * 0.5;
    x = static_cast<int>(std::floor((x - left) / scale));
    y = static_cast<int>(std::floor((y - top) / scale));
}

// ---- classes, icons, cursors -----------------------------------------------------

HICON LoadIconW(HINSTANCE instance, LPCWSTR name)
{
    // The program's only icon resource; its pictures are drawn in code.
    static int iconResource;
    if (instance && IS_INTRESOURCE(name) && LOWORD(name) == kIconResource)
        return reinterpret_cast<HICON>(&iconResource);
    return nullptr;
}

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name)
{
    // The system arrow, which is SDL's default cursor.
    static int arrow;
    if (!instance && name == IDC_ARROW) return reinterpret_cast<HCURSOR>(&arrow);
    return nullptr;
}

ATOM RegisterClassW(const WNDCLASSW* windowClass)
{
    if (!windowClass || !windowClass->lpfnWndProc || !windowClass->lpszClassName ||
        IS_INTRESOURCE(windowClass->lpszClassName) || !*windowClass->lpszClassName)
        return 0;
    if (FindClass(windowClass->lpszClassName)) return 0;  // already registered
    Tables& t = T();
    if (t.nextAtom == 0) return 0;  // atoms used up
    WindowClass c;
    c.name = windowClass->lpszClassName;
    c.atom = t.nextAtom++;
    c.info = *windowClass;
    c.info.hInstance = ModuleOrSelf(windowClass->hInstance);
    c.info.lpszMenuName = nullptr;  // not kept: the caller's string may not live on
    c.info.lpszClassName = nullptr;
    t.classes.push_back(std::move(c));
    return t.classes.back().atom;
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance)
{
    WindowClass* c = FindClass(className);
    if (!c || c->info.hInstance != ModuleOrSelf(instance)) return FALSE;
    // As on Windows, a class cannot go while windows of it exist.
    for (auto& [id, w] : T().windows)
        if (w->className == c->name) return FALSE;
    auto& classes = T().classes;
    classes.erase(classes.begin() + (c - classes.data()));
    return TRUE;
}

// ---- windows ---------------------------------------------------------------------

BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle)
{
    if (!rect) return FALSE;
    RECT frame = FrameOf(style);
    rect->left -= frame.left;
    rect->top -= frame.top;
    rect->right += frame.right;
    rect->bottom += frame.bottom;
    return TRUE;
}

int GetSystemMetrics(int index)
{
    if (index != SM_CXSCREEN && index != SM_CYSCREEN) return 0;
    int width = 0, height = 0;
    if (!win32::Current().ScreenSize(width, height)) return 0;
    return index == SM_CXSCREEN ? width : height;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    WindowClass* c = FindClass(className);
    if (!c) return nullptr;

    auto record = std::make_unique<WindowRecord>();
    record->proc = c->info.lpfnWndProc;
    record->style = style;
    record->exStyle = exStyle;
    record->className = c->name;
    record->fullscreen = IsFullscreenStyle(style);
    record->visible = (style & WS_VISIBLE) != 0;
    record->owner = parent;
    // The window's outer rectangle is given; the client area lies inside its frame.
    RECT frame = FrameOf(style);
    record->clientX = x + frame.left;
    record->clientY = y + frame.top;
    record->clientWidth = std::max(0, width - frame.left - frame.right);
    record->clientHeight = std::max(0, height - frame.top - frame.bottom);
    if (record->fullscreen) {
        // A fullscreen window covers the whole screen, as the display mode will.
        record->clientX = 0;
        record->clientY = 0;
        record->clientWidth = GetSystemMetrics(SM_CXSCREEN);
        record->clientHeight = GetSystemMetrics(SM_CYSCREEN);
    }

    record->platform = &win32::Current();
    if (!record->platform->OpenWindow(*record, Utf8FromWide(windowName), c->info.hIcon != nullptr))
        return nullptr;

    Tables& t = T();
    uintptr_t id = t.nextWindow;
    t.nextWindow += 2;  // window handles are even numbers on Windows too
    record->handle = reinterpret_cast<HWND>(id);
    HWND handle = record->handle;
    t.windows[id] = std::move(record);
    return handle;
}

BOOL ShowWindow(HWND window, int command)
{
    WindowRecord* w = Find(window);
    if (!w) return FALSE;
    BOOL wasVisible = w->visible ? TRUE : FALSE;
    w->visible = command != SW_HIDE;
    w->platform->ShowWindow(*w);
    return wasVisible;
}

BOOL SetForegroundWindow(HWND window)
{
    WindowRecord* w = Find(window);
    if (!w) return FALSE;
    w->platform->RaiseWindow(*w);
    T().foreground = window;
    return TRUE;
}

HWND SetFocus(HWND window)
{
    HWND previous = Find(T().focus) ? T().focus : nullptr;
    WindowRecord* w = Find(window);
    if (!w) return nullptr;
    w->platform->FocusWindow(*w);
    T().focus = window;
    UpdateScreenSaver(window, true);
    return previous;
}

HWND GetForegroundWindow()
{
    return Find(T().foreground) ? T().foreground : nullptr;
}

HDC GetDC(HWND window)
{
    // Each window keeps one device context of its own for its lifetime.
    if (!Find(window)) return nullptr;
    return reinterpret_cast<HDC>(kDcBase + reinterpret_cast<uintptr_t>(window));
}

int ReleaseDC(HWND window, HDC dc)
{
    return Find(window) && dc == GetDC(window) ? 1 : 0;
}

BOOL DestroyWindow(HWND window)
{
    Tables& t = T();
    auto it = t.windows.find(reinterpret_cast<uintptr_t>(window));
    if (!window || it == t.windows.end()) return FALSE;
    std::unique_ptr<WindowRecord> record = std::move(it->second);
    t.windows.erase(it);
    record->platform->CloseWindow(*record);
    if (t.foreground == window) t.foreground = nullptr;
    if (t.focus == window) {
        t.focus = nullptr;
        // The record's own back end: this also runs at process exit, when the
        // host's run mode may already be gone.
        record->platform->AllowScreenSaver(true);
    }
    // Messages for it have no one to go to any more.
    for (auto m = t.queue.begin(); m != t.queue.end();) m = m->hwnd == window ? t.queue.erase(m) : m + 1;
    return TRUE;
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_SYSCOMMAND:
        if (wParam == SC_CLOSE) {
            WindowRecord* w = Find(window);
            if (w && w->proc) return w->proc(window, WM_CLOSE, 0, 0);
        } else if (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER) {
            // The default lets the screen saver or power saving start.
            if (WindowRecord* w = Find(window)) w->saverAllowed = true;
        }
        return 0;
    default:
        return 0;
    }
}

// ---- message queue ---------------------------------------------------------------

BOOL PeekMessageW(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    Tables& t = T();
    auto find = [&]() {
        for (auto it = t.queue.begin(); it != t.queue.end(); ++it)
            if (Matches(*it, window, filterMin, filterMax)) return it;
        return t.queue.end();
    };
    auto it = find();
    // Take platform events only until one message the caller wants is queued.
    while (it == t.queue.end() && win32::Current().TakeEvent()) it = find();
    if (it == t.queue.end()) return FALSE;
    if (msg) *msg = *it;
    if (removeFlags & PM_REMOVE) t.queue.erase(it);
    return TRUE;
}

BOOL TranslateMessage(const MSG* msg)
{
    // Key messages are never queued (keys are polled), so there is nothing to translate.
    return FALSE;
}

LRESULT DispatchMessageW(const MSG* msg)
{
    if (!msg) return 0;
    WindowRecord* w = Find(msg->hwnd);
    if (!w || !w->proc) return 0;
    return w->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}
