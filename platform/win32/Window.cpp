// Window classes, windows and the message queue over SDL2. A live window is an
// SDL window with an OpenGL surface for the Direct3D 9 stand-in; a virtual
// window is only a record (position, size, procedure), and its messages come
// from the host's input script.
#include "platform/win32/WindowInternal.h"
#include "platform/win32/win32.h"
#include "platform/win32/Utf8.h"

#include "platform/host/Host.h"
#include "res/icon/MivolaIcon.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kIconResource = 103;
constexpr WORD kFirstAtom = 0xC000;       // where Windows numbers registered classes
constexpr uintptr_t kFirstWindow = 0x10010;
constexpr uintptr_t kDcBase = 0x01000000; // a window's own DC: kDcBase + its handle
constexpr int kVirtualScreenWidth = 1920;
constexpr int kVirtualScreenHeight = 1080;
// The frame Windows puts around a captioned, fixed-size window at 96 dpi.
constexpr int kFixedFrame = 3;
constexpr int kCaptionHeight = 23;
constexpr int kThinBorder = 1;
constexpr DWORD kBorderStyle = 0x00800000u;   // WS_BORDER
constexpr DWORD kDlgFrameStyle = 0x00400000u; // WS_DLGFRAME
constexpr WPARAM kLeftButtonFlag = 0x0001;    // MK_LBUTTON

struct WindowClass {
    std::wstring name;
    ATOM atom = 0;
    WNDCLASSW info{};
};

struct WindowRecord {
    HWND handle = nullptr;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::wstring className;
    int clientX = 0, clientY = 0;          // screen position of the client area (virtual)
    int clientWidth = 0, clientHeight = 0;
    int backBufferWidth = 0, backBufferHeight = 0;
    bool visible = false;
    bool fullscreen = false;
    bool saverAllowed = false;             // DefWindowProcW saw a screen-saver request
    SDL_Window* sdl = nullptr;
};

struct Tables {
    std::vector<WindowClass> classes;
    WORD nextAtom = kFirstAtom;
    std::map<uintptr_t, std::unique_ptr<WindowRecord>> windows;
    uintptr_t nextWindow = kFirstWindow;
    std::deque<MSG> queue;
    HWND foreground = nullptr;
    HWND focus = nullptr;
    // Destroyed windows' SDL windows: hidden, kept until the process ends,
    // because the device may still present to them.
    std::vector<SDL_Window*> retired;
    bool videoTried = false;
    bool videoOk = false;
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

WindowRecord* FindSdl(Uint32 windowId)
{
    SDL_Window* sdl = SDL_GetWindowFromID(windowId);
    if (!sdl) return nullptr;
    for (auto& [id, record] : T().windows)
        if (record->sdl == sdl) return record.get();
    return nullptr;
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

SDL_Surface* CreateIconSurface()
{
    constexpr int size = 48;
    static uint8_t pixels[size * size * 4];
    mivola_icon::RenderIcon(size, pixels);
    return SDL_CreateRGBSurfaceWithFormatFrom(pixels, size, size, 32, size * 4,
                                              SDL_PIXELFORMAT_RGBA32);
}

void RefreshLiveGeometry(WindowRecord& w)
{
    if (!w.sdl) return;
    SDL_GetWindowPosition(w.sdl, &w.clientX, &w.clientY);
    SDL_GetWindowSize(w.sdl, &w.clientWidth, &w.clientHeight);
}

// Hold the screen saver off while a window that asks for it has the focus.
// Windows asks the focused window with WM_SYSCOMMAND SC_SCREENSAVE before the
// saver starts; the default processing lets it start, a window that answers
// the request itself keeps it off.
void UpdateScreenSaver(HWND window, bool focused)
{
    if (host::IsVirtual() || !T().videoOk) return;
    WindowRecord* w = Find(window);
    if (!w || !focused) {
        SDL_EnableScreenSaver();
        return;
    }
    w->saverAllowed = false;
    WNDPROC proc = w->proc;
    if (proc) proc(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
    w = Find(window);   // the procedure may have destroyed it
    if (w && !w->saverAllowed)
        SDL_DisableScreenSaver();
    else
        SDL_EnableScreenSaver();
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

// The window that virtual input goes to: the foreground one, else the newest.
HWND VirtualTarget()
{
    if (Find(T().foreground)) return T().foreground;
    if (T().windows.empty()) return nullptr;
    return T().windows.rbegin()->second->handle;
}

// Takes one host message and queues it; false when the host has none left.
bool QueueVirtualMessage()
{
    host::VirtualMessage m = host::PopVirtualMessage();
    if (m == host::VirtualMessage::None) return false;
    HWND target = VirtualTarget();
    if (!target) return true;   // no window to receive it: dropped
    int x = 0, y = 0;
    host::VirtualCursor(x, y);
    switch (m) {
    case host::VirtualMessage::ButtonDown:
        T().queue.push_back(MakeMessage(target, WM_LBUTTONDOWN, kLeftButtonFlag, MAKELPARAM(x, y)));
        break;
    case host::VirtualMessage::ButtonUp:
        T().queue.push_back(MakeMessage(target, WM_LBUTTONUP, 0, MAKELPARAM(x, y)));
        break;
    case host::VirtualMessage::Close:
        T().queue.push_back(MakeMessage(target, WM_CLOSE, 0, 0));
        break;
    case host::VirtualMessage::None:
        break;
    }
    return true;
}

// Takes one SDL event and queues the message it stands for, if any; false
// when SDL has no event left. Mouse motion is not queued: the program reads
// the cursor position itself, so a moving mouse never builds a backlog.
bool QueueLiveMessage()
{
    SDL_Event e;
    if (!SDL_PollEvent(&e)) return false;
    switch (e.type) {
    case SDL_QUIT: {
        // A termination signal: close the program's window as its close box would.
        HWND target = VirtualTarget();
        if (target) T().queue.push_back(MakeMessage(target, WM_CLOSE, 0, 0));
        break;
    }
    case SDL_WINDOWEVENT: {
        WindowRecord* w = FindSdl(e.window.windowID);
        if (!w) break;
        HWND handle = w->handle;
        switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            T().queue.push_back(MakeMessage(handle, WM_CLOSE, 0, 0));
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            T().focus = handle;
            T().foreground = handle;
            UpdateScreenSaver(handle, true);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            if (T().focus == handle) T().focus = nullptr;
            UpdateScreenSaver(handle, false);
            break;
        case SDL_WINDOWEVENT_MOVED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            RefreshLiveGeometry(*w);
            break;
        default:
            break;
        }
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        if (e.button.button != SDL_BUTTON_LEFT) break;
        WindowRecord* w = FindSdl(e.button.windowID);
        if (!w) break;
        RefreshLiveGeometry(*w);
        int x = e.button.x, y = e.button.y;
        WindowGeometry g{};
        GetWindowGeometry(w->handle, &g);
        WindowPixelsToClient(g, x, y);
        bool down = e.type == SDL_MOUSEBUTTONDOWN;
        T().queue.push_back(MakeMessage(w->handle, down ? WM_LBUTTONDOWN : WM_LBUTTONUP,
                                        down ? kLeftButtonFlag : 0, MAKELPARAM(x, y)));
        break;
    }
    default:
        break;
    }
    return true;
}

bool Matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax)
{
    if (window && msg.hwnd != window) return false;
    if (filterMin == 0 && filterMax == 0) return true;
    return msg.message >= filterMin && msg.message <= filterMax;
}

}  // namespace

// ---- shared with the Direct3D 9 stand-in and Input.cpp -------------------------

bool EnsureSdlVideo()
{
    Tables& t = T();
    if (!t.videoTried) {
        t.videoTried = true;
        // Closing the last window is a WM_CLOSE of ours, not a quit request.
        SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
        // The window may be clicked into focus without the click being lost.
        SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
        t.videoOk = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        if (!t.videoOk) LogPrintf("[win32] SDL video unavailable: %s\n", SDL_GetError());
    }
    return t.videoOk;
}

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
    RefreshLiveGeometry(*w);
    *geometry = {w->clientX, w->clientY, w->clientWidth, w->clientHeight, w->backBufferWidth,
                 w->backBufferHeight};
    return true;
}

void WindowPixelsToClient(const WindowGeometry& g, int& x, int& y)
{
    // Virtual input is given in client pixels already.
    if (host::IsVirtual() || g.backBufferWidth <= 0 || g.backBufferHeight <= 0 ||
        g.clientWidth <= 0 || g.clientHeight <= 0)
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
    if (FindClass(windowClass->lpszClassName)) return 0;   // already registered
    Tables& t = T();
    if (t.nextAtom == 0) return 0;   // atoms used up
    WindowClass c;
    c.name = windowClass->lpszClassName;
    c.atom = t.nextAtom++;
    c.info = *windowClass;
    c.info.hInstance = ModuleOrSelf(windowClass->hInstance);
    c.info.lpszMenuName = nullptr;   // not kept: the caller's string may not live on
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
    if (host::IsVirtual()) return index == SM_CXSCREEN ? kVirtualScreenWidth : kVirtualScreenHeight;
    SDL_DisplayMode mode;
    if (!EnsureSdlVideo() || SDL_GetDesktopDisplayMode(0, &mode) != 0) return 0;
    return index == SM_CXSCREEN ? mode.w : mode.h;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param)
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

    if (!host::IsVirtual()) {
        if (!EnsureSdlVideo()) return nullptr;
        Uint32 flags = SDL_WINDOW_OPENGL | (record->visible ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN);
        if (record->fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
        std::string title = Utf8FromWide(windowName);
        record->sdl = SDL_CreateWindow(title.c_str(), record->clientX, record->clientY,
                                       std::max(1, record->clientWidth),
                                       std::max(1, record->clientHeight), flags);
        if (!record->sdl) {
            LogPrintf("[win32] SDL_CreateWindow failed: %s\n", SDL_GetError());
            return nullptr;
        }
        if (c->info.hIcon) {
            if (SDL_Surface* icon = CreateIconSurface()) {
                SDL_SetWindowIcon(record->sdl, icon);
                SDL_FreeSurface(icon);
            }
        }
        RefreshLiveGeometry(*record);
    }

    Tables& t = T();
    uintptr_t id = t.nextWindow;
    t.nextWindow += 2;   // window handles are even numbers on Windows too
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
    if (w->sdl) {
        if (w->visible)
            SDL_ShowWindow(w->sdl);
        else
            SDL_HideWindow(w->sdl);
        RefreshLiveGeometry(*w);
    }
    return wasVisible;
}

BOOL SetForegroundWindow(HWND window)
{
    WindowRecord* w = Find(window);
    if (!w) return FALSE;
    if (w->sdl) SDL_RaiseWindow(w->sdl);
    T().foreground = window;
    return TRUE;
}

HWND SetFocus(HWND window)
{
    HWND previous = Find(T().focus) ? T().focus : nullptr;
    WindowRecord* w = Find(window);
    if (!w) return nullptr;
    if (w->sdl) SDL_SetWindowInputFocus(w->sdl);   // the window manager may decline
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
    if (record->sdl) {
        SDL_HideWindow(record->sdl);
        t.retired.push_back(record->sdl);
    }
    if (t.foreground == window) t.foreground = nullptr;
    if (t.focus == window) {
        t.focus = nullptr;
        // Decided by the record alone: this also runs at process exit, when
        // the host's state may already be gone.
        if (record->sdl) SDL_EnableScreenSaver();
    }
    // Messages for it have no one to go to any more.
    for (auto m = t.queue.begin(); m != t.queue.end();)
        m = m->hwnd == window ? t.queue.erase(m) : m + 1;
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
    while (it == t.queue.end()) {
        bool took = host::IsVirtual() ? QueueVirtualMessage()
                                      : (t.videoOk && QueueLiveMessage());
        if (!took) break;
        it = find();
    }
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
