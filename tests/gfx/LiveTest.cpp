// The live window on a real X display (run under Xvfb): its client size, frames
// presented into it, and a termination signal arriving as a window close.
// Skipped without a display. MIVOLA_LIVE_HOLD_MS keeps the window presenting
// that long and logs the messages it gets, for screenshots and xdotool checks.
#include "core/EngineSettings.h"
#include "gfx/kpxD3D.h"
#include "gfx/kpxQuad.h"
#include "platform/host/Host.h"
#include "platform/win32/WindowInternal.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <memory>

namespace {

class LiveWindow : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
        host::Reset();
        host::SetRunMode(host::RunMode::Live);
    }
    void TearDown() override
    {
        quadObject.reset();
        d3dObject.reset();
        host::Reset();
    }
    // Coloured bars across the viewport with a white frame, so a screenshot
    // shows where the viewport lies.
    void DrawFrame(int n)
    {
        IDirect3DDevice9* device = d3dObject->device;
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF101828, 1.0f, 0);
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            if (msg.message == WM_LBUTTONDOWN || msg.message == WM_LBUTTONUP)
                LogPrintf("[live] %s at %d,%d\n", msg.message == WM_LBUTTONDOWN ? "down" : "up",
                          short(LOWORD(msg.lParam)), short(HIWORD(msg.lParam)));
            DispatchMessageW(&msg);
        }
        device->BeginScene();
        device->SetTexture(0, nullptr);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
        device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
        quadObject->Draw(0.0f, 0.0f, 1.0f, 1.0f);
        const D3DCOLOR bars[4] = {0xFFE04040, 0xFF40C040, 0xFF4060E0, 0xFFF0A020};
        for (int i = 0; i < 4; ++i) {
            device->SetRenderState(D3DRS_TEXTUREFACTOR, bars[i]);
            quadObject->Draw(0.01f + i * 0.245f, 0.02f, 0.245f + i * 0.245f, 0.98f);
        }
        // A small square that moves, so successive frames differ.
        device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
        float x = float(n % 100) / 100.0f * 0.9f;
        quadObject->Draw(x, 0.45f, x + 0.05f, 0.55f);
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
    }
    std::unique_ptr<kpxD3D> d3dObject;
    std::unique_ptr<kpxQuad> quadObject;
};

TEST_P(LiveWindow, OpensAtTheInterfaceSizeAndPresents)
{
    const bool windowed = GetParam();
    settings = EngineSettings{};
    settings.windowed = windowed;
    settings.multisample = 1;
    settings.instance = GetModuleHandleW(nullptr);
    d3dObject = std::make_unique<kpxD3D>();
    ASSERT_EQ(d3dObject->Init(settings), 1);
    quadObject = std::make_unique<kpxQuad>();
    quadObject->Init(d3dObject.get());
    ASSERT_NE(SdlWindowOf(d3dObject->window), nullptr);

    WindowGeometry g{};
    ASSERT_TRUE(GetWindowGeometry(d3dObject->window, &g));
    if (windowed) {
        EXPECT_EQ(g.clientWidth, 1280);
        EXPECT_EQ(g.clientHeight, 720);
    } else {
        EXPECT_EQ(g.clientWidth, GetSystemMetrics(SM_CXSCREEN));
        EXPECT_EQ(g.clientHeight, GetSystemMetrics(SM_CYSCREEN));
    }
    LogPrintf("[live] client area %dx%d at %d,%d; back buffer %ux%u; viewport at %u,%u\n", g.clientWidth,
              g.clientHeight, g.clientX, g.clientY, d3dObject->backBufferWidth, d3dObject->backBufferHeight,
              d3dObject->viewport.X, d3dObject->viewport.Y);

    for (int n = 0; n < 30; ++n) DrawFrame(n);
    const char* hold = std::getenv("MIVOLA_LIVE_HOLD_MS");
    if (hold) {
        DWORD end = GetTickCount() + DWORD(std::atoi(hold));
        int n = 30;
        for (; int32_t(GetTickCount() - end) < 0 && !quitRequested; ++n) {
            DrawFrame(n);
            if (GetAsyncKeyState(VK_SPACE) < 0) LogPrintf("[live] space held in frame %d\n", n);
        }
        LogPrintf("[live] %d frames presented\n", n);
    }

    // A termination signal (SIGTERM; SIGINT alike) closes the window as its close box would; frames
    // presented after that (the rest of the pass) must still be safe.
    quitRequested = 0;
    std::raise(SIGTERM);
    for (int n = 0; n < 10 && !quitRequested; ++n) DrawFrame(n);
    EXPECT_EQ(quitRequested, 1);
    EXPECT_EQ(GetDC(d3dObject->window), nullptr);
    DrawFrame(0);
}

INSTANTIATE_TEST_SUITE_P(Modes, LiveWindow, ::testing::Values(true, false),
                         [](const auto& p) { return p.param ? "Windowed" : "Fullscreen"; });

}  // namespace
