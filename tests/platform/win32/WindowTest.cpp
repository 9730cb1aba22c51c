// Windows, messages and input of the Win32 stand-in in virtual runs, and the
// device object's window procedure.
#include "gfx/kpxD3D.h"
#include "platform/host/Host.h"
#include "platform/win32/WindowInternal.h"
#include "platform/win32/win32.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Call {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Call> calls;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    calls.push_back({window, message, wParam, lParam});
    return DefWindowProcW(window, message, wParam, lParam);
}

constexpr DWORD kCaptioned = 0x86CA0000u;
constexpr DWORD kFullscreen = 0x86000000u;

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host::Reset();
        host::SetRunMode(host::RunMode::Virtual);
        calls.clear();
        WNDCLASSW wc{};
        wc.lpfnWndProc = RecordingProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"testwnd";
        ASSERT_NE(RegisterClassW(&wc), 0);
    }
    void TearDown() override
    {
        for (HWND w : made) DestroyWindow(w);
        EXPECT_TRUE(UnregisterClassW(L"testwnd", GetModuleHandleW(nullptr)));
        host::Reset();
    }
    HWND Make(DWORD style, int x, int y, int w, int h)
    {
        HWND window = CreateWindowExW(WS_EX_APPWINDOW, L"testwnd", L"t\u00e9st", style, x, y, w, h, nullptr,
                                      nullptr, GetModuleHandleW(nullptr), nullptr);
        if (window) made.push_back(window);
        return window;
    }
    static void Schedule(host::InputEvent::Kind kind, int x = 0, int y = 0, int key = 0)
    {
        host::InputEvent e;
        e.kind = kind;
        e.x = x;
        e.y = y;
        e.key = key;
        host::ScheduleInput(e);
        host::ApplyDueInput();
    }
    std::vector<HWND> made;
};

TEST_F(WindowTest, CaptionedWindowKeepsItsClientSizeInsideTheAdjustedFrame)
{
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);

    RECT r{0, 0, 1280, 720};
    ASSERT_TRUE(AdjustWindowRectEx(&r, kCaptioned, FALSE, WS_EX_APPWINDOW));
    EXPECT_LT(r.left, 0);
    EXPECT_LT(r.top, r.left);  // the caption makes the top edge the thickest
    EXPECT_GT(r.right, 1280);
    EXPECT_GT(r.bottom, 720);

    HWND w = Make(kCaptioned, 320, 180, r.right - r.left, r.bottom - r.top);
    ASSERT_NE(w, nullptr);
    WindowGeometry g{};
    ASSERT_TRUE(GetWindowGeometry(w, &g));
    EXPECT_EQ(g.clientWidth, 1280);
    EXPECT_EQ(g.clientHeight, 720);
    EXPECT_EQ(g.clientX, 320 - r.left);
    EXPECT_EQ(g.clientY, 180 - r.top);
    EXPECT_EQ(SdlWindowOf(w), nullptr);  // virtual windows have no SDL window

    // A popup without caption has no frame and covers the screen.
    HWND full = Make(kFullscreen, 320, 180, 1280, 720);
    ASSERT_TRUE(GetWindowGeometry(full, &g));
    EXPECT_EQ(g.clientX, 0);
    EXPECT_EQ(g.clientY, 0);
    EXPECT_EQ(g.clientWidth, 1920);
    EXPECT_EQ(g.clientHeight, 1080);
}

TEST_F(WindowTest, ClassesAndHandlesAreCheckedAndStaleHandlesRefused)
{
    WNDCLASSW again{};
    again.lpfnWndProc = RecordingProc;
    again.lpszClassName = L"testwnd";
    EXPECT_EQ(RegisterClassW(&again), 0);  // already registered
    WNDCLASSW noProc{};
    noProc.lpszClassName = L"other";
    EXPECT_EQ(RegisterClassW(&noProc), 0);
    EXPECT_EQ(
        CreateWindowExW(0, L"nosuchclass", L"", kCaptioned, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
        nullptr);

    HWND w = Make(kCaptioned, 0, 0, 100, 100);
    ASSERT_NE(w, nullptr);
    HDC dc = GetDC(w);
    EXPECT_NE(dc, nullptr);
    EXPECT_EQ(GetDC(w), dc);  // a window's own DC stays the same
    EXPECT_EQ(ReleaseDC(w, dc), 1);
    // A class cannot be removed while one of its windows exists, nor by another module.
    EXPECT_FALSE(UnregisterClassW(L"testwnd", GetModuleHandleW(nullptr)));

    EXPECT_TRUE(DestroyWindow(w));
    EXPECT_FALSE(DestroyWindow(w));
    EXPECT_EQ(GetDC(w), nullptr);
    EXPECT_FALSE(ShowWindow(w, SW_SHOW));
    EXPECT_EQ(SetFocus(w), nullptr);
    POINT p{0, 0};
    EXPECT_FALSE(ScreenToClient(w, &p));
    MSG stale{};
    stale.hwnd = w;
    stale.message = WM_CLOSE;
    EXPECT_EQ(DispatchMessageW(&stale), 0);
    EXPECT_TRUE(calls.empty());
}

TEST_F(WindowTest, HostEventsBecomeMessagesOneAtATime)
{
    HWND w = Make(kCaptioned, 100, 50, 400, 300);
    ShowWindow(w, SW_SHOW);
    SetForegroundWindow(w);
    EXPECT_EQ(GetForegroundWindow(), w);

    MSG msg{};
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));

    // Mouse motion alone queues nothing: the position is read with GetCursorPos.
    Schedule(host::InputEvent::MouseMove, 12, 34);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));

    Schedule(host::InputEvent::ButtonDown);
    Schedule(host::InputEvent::MouseMove, 56, 78);
    Schedule(host::InputEvent::ButtonUp);
    Schedule(host::InputEvent::Close);

    // Peeking without removal leaves the message first in line.
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_LBUTTONDOWN));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_LBUTTONDOWN));
    EXPECT_EQ(msg.hwnd, w);
    // The host's events were applied at once, so every button message carries
    // the latest cursor position in client pixels.
    EXPECT_EQ(LOWORD(msg.lParam), 56);
    EXPECT_EQ(HIWORD(msg.lParam), 78);
    EXPECT_FALSE(TranslateMessage(&msg));
    DispatchMessageW(&msg);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].message, static_cast<UINT>(WM_LBUTTONDOWN));
    EXPECT_EQ(calls[0].window, w);

    // A filter on a range skips to the close request; the button-up stays queued.
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_CLOSE, WM_CLOSE, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_CLOSE));
    DispatchMessageW(&msg);  // default processing destroys the window
    EXPECT_EQ(GetDC(w), nullptr);
    EXPECT_EQ(GetForegroundWindow(), nullptr);
    // The destroyed window's queued button-up went with it.
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    made.clear();
}

TEST_F(WindowTest, EventsWithoutAWindowAreDropped)
{
    Schedule(host::InputEvent::ButtonDown);
    Schedule(host::InputEvent::Close);
    MSG msg{};
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    HWND w = Make(kCaptioned, 0, 0, 100, 100);
    SetForegroundWindow(w);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowTest, KeysAndCursorFollowTheHost)
{
    HWND w = Make(kCaptioned, 100, 50, 400, 300);
    SetForegroundWindow(w);
    WindowGeometry g{};
    ASSERT_TRUE(GetWindowGeometry(w, &g));

    for (int key : {VK_ESCAPE, VK_SPACE}) {
        EXPECT_EQ(GetAsyncKeyState(key), 0);
        Schedule(host::InputEvent::KeyDown, 0, 0, key);
        EXPECT_EQ(static_cast<USHORT>(GetAsyncKeyState(key)) & 0x8000, 0x8000) << key;
        Schedule(host::InputEvent::KeyUp, 0, 0, key);
        EXPECT_EQ(GetAsyncKeyState(key), 0);
    }
    Schedule(host::InputEvent::ButtonDown);
    EXPECT_LT(GetAsyncKeyState(VK_LBUTTON), 0);  // most significant bit set
    EXPECT_EQ(GetAsyncKeyState(-1), 0);
    EXPECT_EQ(GetAsyncKeyState(0x1234), 0);

    // The cursor is reported on the screen and comes back in client pixels,
    // negative to the left of and above the client area.
    struct {
        int x, y;
    } cases[] = {{10, 20}, {0, 0}, {-5, -7}, {399, 299}};
    for (auto c : cases) {
        Schedule(host::InputEvent::MouseMove, c.x, c.y);
        POINT p{};
        ASSERT_TRUE(GetCursorPos(&p));
        EXPECT_EQ(p.x, g.clientX + c.x);
        EXPECT_EQ(p.y, g.clientY + c.y);
        ASSERT_TRUE(ScreenToClient(w, &p));
        EXPECT_EQ(p.x, c.x);
        EXPECT_EQ(p.y, c.y);
    }
    POINT corner{0, 0};
    ASSERT_TRUE(ScreenToClient(w, &corner));
    EXPECT_EQ(corner.x, -g.clientX);
    EXPECT_EQ(corner.y, -g.clientY);
}

// A fullscreen back buffer shown scaled on a desktop-sized window: window
// pixels map back to back-buffer pixels.
TEST_F(WindowTest, ScaledBackBufferMapsWindowPixelsToBackBufferPixels)
{
    // 1280 x 1024 on 1920 x 1080: scale 1080 / 1024, a band of 285 pixels each side.
    const WindowGeometry g{0, 0, 1920, 1080, 1280, 1024};
    struct {
        int x, y, wantX, wantY;
    } cases[] = {
        {960, 540, 640, 512},  // centre to centre
        {285, 0, 0, 0},        // top-left corner of the picture
        {1634, 1079, 1279, 1023},
        {100, 10, -176, 9},  // over the left band: negative
    };
    for (auto c : cases) {
        int x = c.x, y = c.y;
        WindowPixelsToClient(g, x, y);
        EXPECT_EQ(x, c.wantX) << c.x;
        EXPECT_EQ(y, c.wantY) << c.y;
    }
    int x = 5, y = 6;
    WindowPixelsToClient(WindowGeometry{0, 0, 1280, 720, 0, 0}, x, y);  // nothing set: 1:1
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 6);
}

// The device object's window procedure turns messages into the shell's flags.
TEST_F(WindowTest, DeviceWindowProcedureSetsTheShellFlags)
{
    EngineSettings s;
    s.windowed = 1;
    s.instance = GetModuleHandleW(nullptr);
    quitRequested = 1;
    {
        kpxD3D object;
        SetLogSink([](const std::string&) {}, false);
        ASSERT_EQ(object.InitWindow(s), 1);
        SetLogSink({});
        HWND w = object.window;
        EXPECT_EQ(GetForegroundWindow(), w);
        EXPECT_NE(object.windowDC, nullptr);

        mouseDown = 0;
        mouseReleased = 1;
        Schedule(host::InputEvent::ButtonDown);
        MSG msg{};
        ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
        DispatchMessageW(&msg);
        EXPECT_EQ(mouseDown, 1);
        EXPECT_EQ(mouseReleased, 0);
        Schedule(host::InputEvent::ButtonUp);
        ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
        DispatchMessageW(&msg);
        EXPECT_EQ(mouseDown, 0);
        EXPECT_EQ(mouseReleased, 1);

        // Screen-saver requests are refused; other system commands take the default.
        EXPECT_EQ(kpxD3D::WindowProc(w, WM_SYSCOMMAND, SC_SCREENSAVE, 0), 0);
        EXPECT_EQ(kpxD3D::WindowProc(w, WM_SYSCOMMAND, SC_MONITORPOWER, 2), 0);
        quitRequested = 0;
        EXPECT_EQ(GetDC(w), object.windowDC);
        kpxD3D::WindowProc(w, WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box of the system menu
        EXPECT_EQ(quitRequested, 1);
        EXPECT_EQ(GetDC(w), nullptr);  // closed and destroyed

        // Releasing a device object whose window is already gone still removes the class.
    }
    WNDCLASSW wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = L"kpxwnd";
    ASSERT_NE(RegisterClassW(&wc), 0);
    EXPECT_TRUE(UnregisterClassW(L"kpxwnd", nullptr));
}

}  // namespace
