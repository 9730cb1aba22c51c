// The device on a real window (run under Xvfb; skipped without a display): the
// back buffer reaches the window the right way up, scaled to fit with its
// aspect kept when the window is larger, through GL's blit and, on a software
// renderer, through the window's surface.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/d3d9/D3d9Stats.h"
#include "platform/d3d9/d3d9.h"
#include "platform/host/Host.h"
#include "platform/win32/win32.h"
#include "tests/support/Frame.h"

#include <gtest/gtest.h>

using support::Rgba;

namespace {

LRESULT Proc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    return DefWindowProcW(w, m, wp, lp);
}

// A 320 x 180 device on a 640 x 400 window (shown scaled by 2).
struct LiveDevice {
    HWND window = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    void Open()
    {
        host::Reset();
        host::SetRunMode(host::RunMode::Live);
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"d3d9live";
        RegisterClassW(&wc);  // fails harmlessly when an earlier run registered it
        window = CreateWindowExW(0, L"d3d9live", L"live", WS_POPUP | WS_CAPTION, 0, 0, 640, 400, nullptr, nullptr,
                                 wc.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
        ShowWindow(window, SW_SHOW);
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = 320;
        pp.BackBufferHeight = 180;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.Windowed = TRUE;
        pp.hDeviceWindow = window;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D24X8;
        pp.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device),
                  D3D_OK);
    }
    ~LiveDevice()
    {
        if (device) device->Release();
        if (d3d) d3d->Release();
        if (window) DestroyWindow(window);
        host::Reset();
    }
};

class LiveWindowTest : public ::testing::TestWithParam<bool> {};

TEST_P(LiveWindowTest, PresentedFrameAppearsInTheWindow)
{
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    if (GetParam()) setenv("MIVOLA_GL_PRESENT", "1", 1);
    else unsetenv("MIVOLA_GL_PRESENT");
    LiveDevice live;
    ASSERT_NO_FATAL_FAILURE(live.Open());
    IDirect3DDevice9* device = live.device;
    // Green frames, then the last one top half red, bottom half blue, through
    // clears limited by rectangles: the window shows the last one (through the
    // surface, even with the next frame begun; GL's blit is read back from the
    // back buffer). MIVOLA_LIVE_HOLD_MS keeps presenting that long, for a
    // screenshot.
    const char* hold = std::getenv("MIVOLA_LIVE_HOLD_MS");
    const int frames = hold ? std::max(3, std::atoi(hold) * 60 / 1000) : 3;
    for (int frame = 0; frame < frames; ++frame) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        const bool last = frame == frames - 1;
        D3DRECT top{0, 0, 320, 90}, bottom{0, 90, 320, 180};
        device->Clear(1, &top, D3DCLEAR_TARGET, last ? 0xFFFF0000 : 0xFF00FF00, 1.0f, 0);
        device->Clear(1, &bottom, D3DCLEAR_TARGET, last ? 0xFF0000FF : 0xFF00FF00, 1.0f, 0);
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    if (!GetParam()) device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
    std::vector<uint8_t> rgba;
    int w = 0, h = 0;
    ASSERT_TRUE(d3d9::ReadPresentedWindow(device, rgba, w, h));
    // 320 x 180 scaled to fit the client area with its aspect kept, centred, black
    // bars beside it.
    ASSERT_GT(w, 0);
    double scale = std::min(w / 320.0, h / 180.0);
    int dw = int(std::lround(320 * scale)), dh = int(std::lround(180 * scale));
    int dx = (w - dw) / 2, dy = (h - dh) / 2;
    auto at = [&](int x, int y) {
        return Rgba{rgba[(size_t(y) * w + x) * 4], rgba[(size_t(y) * w + x) * 4 + 1],
                    rgba[(size_t(y) * w + x) * 4 + 2], 255};
    };
    struct {
        int x, y, r, b;
    } checks[] = {{dx + 2, dy + 2, 255, 0},
                  {dx + dw - 3, dy + dh / 2 - 3, 255, 0},
                  {dx + 2, dy + dh / 2 + 3, 0, 255},
                  {dx + dw - 3, dy + dh - 3, 0, 255}};
    for (auto c : checks) {
        EXPECT_EQ(at(c.x, c.y).r, c.r) << c.x << "," << c.y;
        EXPECT_EQ(at(c.x, c.y).g, 0) << c.x << "," << c.y;
        EXPECT_EQ(at(c.x, c.y).b, c.b) << c.x << "," << c.y;
    }
    if (dy > 1) { EXPECT_EQ(at(w / 2, dy - 1).r + at(w / 2, dy - 1).b, 0); }
    if (dx > 1) { EXPECT_EQ(at(dx - 1, h / 2).r + at(dx - 1, h / 2).b, 0); }
}

// Frames that differ from the one before in a few places, put in the window's
// surface over those places only, leave it showing each frame whole.
TEST(LiveWindow, FramesChangedInPlacesReachTheWindowWhole)
{
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    unsetenv("MIVOLA_GL_PRESENT");
    LiveDevice live;
    ASSERT_NO_FATAL_FAILURE(live.Open());
    // Blue, with a red square that moves, then stays.
    for (int left : {40, 200, 200}) {
        live.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0);
        const D3DRECT square{left, 40, left + 40, 80};
        live.device->Clear(1, &square, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
        ASSERT_EQ(live.device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    std::vector<uint8_t> rgba;
    int w = 0, h = 0;
    ASSERT_TRUE(d3d9::ReadPresentedWindow(live.device, rgba, w, h));
    ASSERT_GT(w, 320);
    const double scale = std::min(w / 320.0, h / 180.0);
    const int dx = (w - int(std::lround(320 * scale))) / 2, dy = (h - int(std::lround(180 * scale))) / 2;
    auto red = [&](int x, int y) {
        return rgba[(size_t(dy + int(y * scale)) * w + size_t(dx + int(x * scale))) * 4];
    };
    EXPECT_EQ(red(60, 60), 0);    // where the square was
    EXPECT_EQ(red(220, 60), 255);  // where it went
    EXPECT_EQ(red(300, 160), 0);
}

INSTANTIATE_TEST_SUITE_P(Present, LiveWindowTest, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? "GlBlit" : "Default"; });

}  // namespace
