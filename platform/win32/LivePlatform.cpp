// The live back end over SDL2: real windows with an OpenGL surface for the
// Direct3D 9 stand-in, SDL's events, keyboard and mouse, the monotonic clock,
// the screen saver, and xdg-open for web addresses.
#include "platform/win32/Platform.h"
#include "platform/win32/Utf8.h"
#include "platform/win32/WindowInternal.h"


#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace win32 {
namespace {

constexpr WPARAM kLeftButtonFlag = 0x0001;  // MK_LBUTTON

// Virtual-key codes beyond the ones win32.h names.
constexpr int kVkControl = 0x11;
constexpr int kVkMenu = 0x12;
constexpr int kVkLeft = 0x25;
constexpr int kVkUp = 0x26;
constexpr int kVkRight = 0x27;
constexpr int kVkDown = 0x28;

struct Video {
    bool tried = false;
    bool ok = false;
};
Video video;

// Keys pressed since they were last looked at, by scancode. SDL's key state
// only says what is held after the events were taken, so a press and release
// arriving together (a quick tap, or xdotool) would go unseen without it.
std::atomic<bool> pressedSince[SDL_NUM_SCANCODES];

int NotePress(void*, SDL_Event* e)
{
    if (e->type == SDL_KEYDOWN && !e->key.repeat && e->key.keysym.scancode < SDL_NUM_SCANCODES)
        pressedSince[e->key.keysym.scancode] = true;
    return 0;
}

// Destroyed windows' SDL windows: hidden, kept until the process ends, because
// the device may still present to them. Never destroyed itself: windows close
// during static destruction.
std::vector<SDL_Window*>& Retired()
{
    static auto* retired = new std::vector<SDL_Window*>;
    return *retired;
}

std::string applicationId;
dialog::Presenter presenter = nullptr;
dialog::MessageBoxPresenter messageBoxPresenter = nullptr;

SDL_Surface* CreateIconSurface()
{
    constexpr int size = 48;
    static uint8_t pixels[size * size * 4];
    const auto render = win32::GetProgramResources().renderIcon;
    if (!render) return nullptr;
    render(size, pixels);
    return SDL_CreateRGBSurfaceWithFormatFrom(pixels, size, size, 32, size * 4, SDL_PIXELFORMAT_RGBA32);
}

bool ScancodeDown(int virtualKey)
{
    if (virtualKey == VK_LBUTTON) return (SDL_GetGlobalMouseState(nullptr, nullptr) & SDL_BUTTON_LMASK) != 0;
    int count = 0;
    const Uint8* keys = SDL_GetKeyboardState(&count);
    // Held now, or pressed since the last look (which this look uses up).
    auto down = [&](SDL_Scancode code) {
        bool pressed = pressedSince[code].exchange(false);
        return (code < count && keys[code] != 0) || pressed;
    };
    if (virtualKey >= 'A' && virtualKey <= 'Z')
        return down(static_cast<SDL_Scancode>(SDL_SCANCODE_A + (virtualKey - 'A')));
    if (virtualKey >= '1' && virtualKey <= '9')
        return down(static_cast<SDL_Scancode>(SDL_SCANCODE_1 + (virtualKey - '1')));
    // Both keys are looked at, so both presses are used up.
    auto either = [&](SDL_Scancode a, SDL_Scancode b) {
        bool first = down(a);
        bool second = down(b);
        return first || second;
    };
    switch (virtualKey) {
    case '0':
        return down(SDL_SCANCODE_0);
    case VK_ESCAPE:
        return down(SDL_SCANCODE_ESCAPE);
    case VK_SPACE:
        return down(SDL_SCANCODE_SPACE);
    case VK_TAB:
        return down(SDL_SCANCODE_TAB);
    case VK_RETURN:
        return either(SDL_SCANCODE_RETURN, SDL_SCANCODE_KP_ENTER);
    case VK_SHIFT:
        return either(SDL_SCANCODE_LSHIFT, SDL_SCANCODE_RSHIFT);
    case kVkControl:
        return either(SDL_SCANCODE_LCTRL, SDL_SCANCODE_RCTRL);
    case kVkMenu:
        return either(SDL_SCANCODE_LALT, SDL_SCANCODE_RALT);
    case kVkLeft:
        return down(SDL_SCANCODE_LEFT);
    case kVkUp:
        return down(SDL_SCANCODE_UP);
    case kVkRight:
        return down(SDL_SCANCODE_RIGHT);
    case kVkDown:
        return down(SDL_SCANCODE_DOWN);
    default:
        return false;
    }
}

class Live final : public Platform {
public:
    DWORD TickCount() override
    {
        auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    }

    void Sleep(DWORD milliseconds) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

    bool ScreenSize(int& width, int& height) override
    {
        SDL_DisplayMode mode;
        if (!EnsureSdlVideo() || SDL_GetDesktopDisplayMode(0, &mode) != 0) return false;
        width = mode.w;
        height = mode.h;
        return true;
    }

    bool OpenWindow(WindowRecord& w, const std::string& title, bool withIcon) override
    {
        if (!EnsureSdlVideo()) return false;
        Uint32 flags = SDL_WINDOW_OPENGL | (w.visible ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN);
        if (w.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
        if (w.exStyle & WS_EX_TOPMOST) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
        w.sdl = SDL_CreateWindow(title.c_str(), w.clientX, w.clientY, std::max(1, w.clientWidth),
                                 std::max(1, w.clientHeight), flags);
        if (!w.sdl) {
            LogPrintf("[win32] SDL_CreateWindow failed: %s\n", SDL_GetError());
            return false;
        }
        // An owned window stays above its owner (X11: transient for it).
        if (WindowRecord* owner = FindWindowRecord(w.owner); owner && owner->sdl)
            SDL_SetWindowModalFor(w.sdl, owner->sdl);
        if (withIcon) {
            if (SDL_Surface* icon = CreateIconSurface()) {
                SDL_SetWindowIcon(w.sdl, icon);
                SDL_FreeSurface(icon);
            }
        }
        RefreshGeometry(w);
        return true;
    }

    void ShowWindow(WindowRecord& w) override
    {
        if (!w.sdl) return;
        std::lock_guard<std::mutex> lock(SdlWindowLock());
        if (w.visible) SDL_ShowWindow(w.sdl);
        else SDL_HideWindow(w.sdl);
        RefreshGeometry(w);
    }

    void RaiseWindow(WindowRecord& w) override
    {
        if (w.sdl) SDL_RaiseWindow(w.sdl);
    }

    void FocusWindow(WindowRecord& w) override
    {
        if (w.sdl) SDL_SetWindowInputFocus(w.sdl);  // the window manager may decline
    }

    void RefreshGeometry(WindowRecord& w) override
    {
        if (!w.sdl) return;
        SDL_GetWindowPosition(w.sdl, &w.clientX, &w.clientY);
        SDL_GetWindowSize(w.sdl, &w.clientWidth, &w.clientHeight);
    }

    void CloseWindow(WindowRecord& w) override
    {
        if (!w.sdl) return;
        std::lock_guard<std::mutex> lock(SdlWindowLock());
        SDL_HideWindow(w.sdl);
        Retired().push_back(w.sdl);
    }

    void AllowScreenSaver(bool allowed) override
    {
        if (!video.ok) return;
        if (allowed) SDL_EnableScreenSaver();
        else SDL_DisableScreenSaver();
    }

    // Mouse motion is not queued: the program reads the cursor position itself,
    // so a moving mouse never builds a backlog.
    bool TakeEvent() override
    {
        SDL_Event e;
        {
            std::lock_guard<std::mutex> lock(SdlWindowLock());
            if (!video.ok || !SDL_PollEvent(&e)) return false;
        }
        switch (e.type) {
        case SDL_QUIT: {
            // A termination signal: close the program's window as its close box would.
            HWND target = InputTarget();
            if (target) QueueMessage(target, WM_CLOSE, 0, 0);
            break;
        }
        case SDL_WINDOWEVENT: {
            WindowRecord* w = FindWindowRecord(SDL_GetWindowFromID(e.window.windowID));
            if (!w) break;
            switch (e.window.event) {
            case SDL_WINDOWEVENT_CLOSE:
                QueueMessage(w->handle, WM_CLOSE, 0, 0);
                break;
            case SDL_WINDOWEVENT_FOCUS_GAINED:
                FocusChanged(w->handle, true);
                break;
            case SDL_WINDOWEVENT_FOCUS_LOST:
                FocusChanged(w->handle, false);
                break;
            case SDL_WINDOWEVENT_MOVED:
            case SDL_WINDOWEVENT_SIZE_CHANGED:
                RefreshGeometry(*w);
                break;
            case SDL_WINDOWEVENT_EXPOSED:
                // The window's picture was lost (uncovered, restored): paint it again.
                QueueMessage(w->handle, WM_PAINT, 0, 0);
                break;
            default:
                break;
            }
            break;
        }
        case SDL_KEYDOWN: {
            // Media keys arrive as WM_APPCOMMAND, as Windows sends them; other keys are polled.
            int command = 0;
            switch (e.key.keysym.scancode) {
            case SDL_SCANCODE_AUDIONEXT:
                command = APPCOMMAND_MEDIA_NEXTTRACK;
                break;
            case SDL_SCANCODE_AUDIOPREV:
                command = APPCOMMAND_MEDIA_PREVIOUSTRACK;
                break;
            case SDL_SCANCODE_AUDIOSTOP:
                command = APPCOMMAND_MEDIA_STOP;
                break;
            case SDL_SCANCODE_AUDIOPLAY:
                command = APPCOMMAND_MEDIA_PLAY_PAUSE;
                break;
            default:
                break;
            }
            WindowRecord* w = FindWindowRecord(SDL_GetWindowFromID(e.key.windowID));
            if (!command || e.key.repeat || !w) break;
            QueueMessage(w->handle, WM_APPCOMMAND, reinterpret_cast<WPARAM>(w->handle),
                         MAKELPARAM(0, command | FAPPCOMMAND_KEY));
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            if (e.button.button != SDL_BUTTON_LEFT) break;
            WindowRecord* w = FindWindowRecord(SDL_GetWindowFromID(e.button.windowID));
            if (!w) break;
            RefreshGeometry(*w);
            int x = e.button.x, y = e.button.y;
            WindowGeometry g{};
            GetWindowGeometry(w->handle, &g);
            WindowPixelsToClient(g, x, y);
            bool down = e.type == SDL_MOUSEBUTTONDOWN;
            QueueMessage(w->handle, down ? WM_LBUTTONDOWN : WM_LBUTTONUP, down ? kLeftButtonFlag : 0,
                         MAKELPARAM(x, y));
            break;
        }
        default:
            break;
        }
        return true;
    }

    bool KeyDown(int virtualKey) override
    {
        if (!EnsureSdlVideo()) return false;
        // Bring SDL's key state up to date without taking events from the queue.
        // SDL only tracks the keyboard while one of its windows has the focus.
        {
            std::lock_guard<std::mutex> lock(SdlWindowLock());
            SDL_PumpEvents();
        }
        return ScancodeDown(virtualKey);
    }

    bool CursorPos(POINT& screen) override
    {
        if (!EnsureSdlVideo()) return false;
        int x = 0, y = 0;
        SDL_GetGlobalMouseState(&x, &y);
        screen = POINT{x, y};
        return true;
    }

    int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override
    {
        if (messageBoxPresenter) {
            if (int answer = messageBoxPresenter(owner, text, caption, type)) return answer;
        }
        // SDL's own box, which needs more of the X server than ours (core
        // fonts or zenity); the log and standard error already have the text.
        bool error = (type & 0xF0) == MB_ICONERROR;
        SDL_Window* parent = nullptr;
        if (WindowRecord* w = FindWindowRecord(owner)) parent = w->sdl;
        SDL_ShowSimpleMessageBox(error ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION, caption.c_str(),
                                 text.c_str(), parent);
        return IDOK;
    }

    bool RunDialog(dialog::ModalDialog& d) override { return presenter && presenter(d); }

    // The address is one argument of a program started without a shell, and
    // nobody waits for it.
    bool OpenAddress(const std::string& address) override
    {
        std::string argument = address;
        char program[] = "xdg-open";
        char* argv[] = {program, argument.data(), nullptr};
        pid_t child = 0;
        if (posix_spawnp(&child, program, nullptr, nullptr, argv, environ) != 0) return false;
        // Reap the child in the background so it leaves no zombie.
        std::thread([child] {
            int status = 0;
            waitpid(child, &status, 0);
        }).detach();
        return true;
    }
};

}  // namespace

Platform& LivePlatform()
{
    // Never destroyed: windows closed during static destruction still use it.
    static Live* platform = new Live;
    return *platform;
}

}  // namespace win32

// ---- shared with the Direct3D 9 stand-in ------------------------------------------

std::mutex& SdlWindowLock()
{
    static std::mutex lock;
    return lock;
}

// The one place that starts SDL's video subsystem.
bool EnsureSdlVideo()
{
    using win32::video;
    if (!video.tried) {
        video.tried = true;
        // Closing the last window is a WM_CLOSE of ours, not a quit request.
        SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
        // The window may be clicked into focus without the click being lost.
        SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
        // SDL reads the window class and app id from the environment; a value
        // the user set wins.
        if (!win32::applicationId.empty()) {
            setenv("SDL_VIDEO_X11_WMCLASS", win32::applicationId.c_str(), 0);
            setenv("SDL_VIDEO_WAYLAND_WMCLASS", win32::applicationId.c_str(), 0);
            // The name the desktop shows (in the screen saver's list of
            // inhibitors, for one): the id's last part, "Mivola" of org.mivola.Mivola.
            size_t dot = win32::applicationId.rfind('.');
            std::string name = win32::applicationId.substr(dot == std::string::npos ? 0 : dot + 1);
            SDL_SetHint(SDL_HINT_APP_NAME, name.c_str());
        }
        // Why the screen stays on while the window is shown (SDL says "Playing a game").
        SDL_SetHint(SDL_HINT_SCREENSAVER_INHIBIT_ACTIVITY_NAME, "Playing music");
        video.ok = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        if (video.ok) SDL_AddEventWatch(win32::NotePress, nullptr);
        else LogPrintf("[win32] SDL video unavailable: %s\n", SDL_GetError());
    }
    return video.ok;
}

HRESULT SetCurrentProcessExplicitAppUserModelID(LPCWSTR appId)
{
    win32::applicationId = appId ? Utf8FromWide(appId) : std::string();
    return 0;  // S_OK
}

namespace dialog {

void SetPresenter(Presenter p)
{
    win32::presenter = p;
}

void SetMessageBoxPresenter(MessageBoxPresenter p)
{
    win32::messageBoxPresenter = p;
}

}  // namespace dialog
