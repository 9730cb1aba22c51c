// Start-up of the device object in virtual runs: the windowed log, the
// fullscreen mode search, the formats it settles on, the viewport, and its release.
#include "tests/support/Headless.h"

#include "platform/d3d9/D3d9Stats.h"
#include "platform/host/Host.h"
#include "platform/win32/WindowInternal.h"

namespace {

const std::string kWindowSteps = "[d3d] kpxD3D::InitWindow...\n"
                                 "[d3d] RegisterClass()\n"
                                 "[d3d] AdjustWindowRectEx()\n"
                                 "[d3d] CreateWindowEx()\n"
                                 "[d3d] kpxD3D::InitDirect3D...\n"
                                 "[d3d] Direct3DCreate9()\n";

// The highest sample count both formats take, from the adapter's answers.
D3DMULTISAMPLE_TYPE ExpectedSamples(IDirect3D9* d3d, D3DFORMAT colour, D3DFORMAT depth, BOOL windowed)
{
    D3DMULTISAMPLE_TYPE chosen = D3DMULTISAMPLE_NONE;
    for (D3DMULTISAMPLE_TYPE t : {D3DMULTISAMPLE_2_SAMPLES, D3DMULTISAMPLE_4_SAMPLES,
                                  D3DMULTISAMPLE_6_SAMPLES, D3DMULTISAMPLE_8_SAMPLES})
        if (d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, colour, windowed, t, nullptr) == D3D_OK &&
            d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, depth, windowed, t, nullptr) == D3D_OK)
            chosen = t;
    return chosen;
}

using DeviceStart = support::HeadlessTest;

TEST_F(DeviceStart, WindowedStartLogsEachStepAndTakesTheDesktopFormat)
{
    ASSERT_EQ(StartEngine(true, true), 1);
    EXPECT_EQ(log, kWindowSteps + "[d3d] GetAdapterDisplayMode()\n"
                                  "[d3d] CheckDeviceFormat()\n"
                                  "[d3d] CheckDeviceMultiSampleType()\n"
                                  "[d3d] CreateDevice(D3DCREATE_HARDWARE_VERTEXPROCESSING)\n"
                                  "[d3d] success!\n");
    D3DDISPLAYMODE desktop{};
    ASSERT_EQ(d3d.direct3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
    const D3DPRESENT_PARAMETERS& p = d3d.presentParams;
    EXPECT_EQ(p.BackBufferFormat, desktop.Format);
    EXPECT_EQ(p.BackBufferWidth, 1280u);
    EXPECT_EQ(p.BackBufferHeight, 720u);
    EXPECT_EQ(p.MultiSampleType,
              ExpectedSamples(d3d.direct3d, p.BackBufferFormat, p.AutoDepthStencilFormat, TRUE));
    // The captioned window's client area is exactly the interface.
    WindowGeometry g{};
    ASSERT_TRUE(GetWindowGeometry(d3d.window, &g));
    EXPECT_EQ(g.clientWidth, 1280);
    EXPECT_EQ(g.clientHeight, 720);
}

TEST_F(DeviceStart, EveryRefreshRateOfAMatchingSizeIsLoggedAndTheLastMatchWins)
{
    std::vector<host::DisplayMode> modes;
    for (uint32_t height : {720u, 768u, 1024u})
        for (uint32_t rate : {60u, 75u, 85u}) modes.push_back({1280, height, rate});
    modes.insert(modes.begin(), {1024, 768, 60});  // other widths are skipped
    modes.push_back({1600, 1200, 60});
    host::SetVirtualModes(modes);
    ASSERT_EQ(StartEngine(false, false), 1);
    std::string expected = kWindowSteps;
    for (int height : {720, 768, 1024})
        for (int i = 0; i < 3; ++i)
            expected += "[d3d] Setting resolution to 1280 x " + std::to_string(height) + "\n";
    EXPECT_EQ(log.substr(0, expected.size()), expected);
    EXPECT_EQ(d3d.backBufferHeight, 1024u);
    EXPECT_EQ(d3d.viewport.Y, 152u);
}

TEST_F(DeviceStart, AdapterOrderDecidesWhichMatchingModeIsUsed)
{
    host::SetVirtualModes({{1280, 1024, 60}, {1280, 800, 60}});
    ASSERT_EQ(StartEngine(false, false), 1);
    EXPECT_EQ(d3d.backBufferHeight, 800u);
    EXPECT_EQ(d3d.viewport.Y, 40u);
}

TEST_F(DeviceStart, FullscreenWithoutAWideEnoughModeFailsSilently)
{
    // 1280 wide but too short, and the right height but the wrong width.
    host::SetVirtualModes({{1024, 768, 60}, {1280, 600, 60}, {1366, 768, 60}, {1920, 1080, 60}});
    EXPECT_EQ(StartEngine(false, true), 0);
    EXPECT_EQ(log, kWindowSteps);
    EXPECT_EQ(d3d.device, nullptr);
    EXPECT_NE(d3d.window, nullptr);  // the window stays until release
}

TEST_F(DeviceStart, MultisamplingTakesTheHighestCountBothFormatsAllow)
{
    ASSERT_EQ(StartEngine(false, true), 1);
    const D3DPRESENT_PARAMETERS& p = d3d.presentParams;
    // This adapter's answers (the stand-in offers no way to narrow them).
    D3DMULTISAMPLE_TYPE expected =
        ExpectedSamples(d3d.direct3d, p.BackBufferFormat, p.AutoDepthStencilFormat, FALSE);
    EXPECT_NE(expected, D3DMULTISAMPLE_NONE) << "llvmpipe offers multisampling";
    // The device really has that many samples, and frames still come out.
    D3DSURFACE_DESC desc{};
    d3d.backBufferSurface->GetDesc(&desc);
    EXPECT_EQ(desc.MultiSampleType, expected);
    Render([] {});
    EXPECT_EQ(frame.width, 1280);
    EXPECT_EQ(frame.height, 1024);
}

TEST_F(DeviceStart, RefusedHardwareVertexProcessingFallsBackToSoftware)
{
    d3d9::SetFailHardwareVertexProcessing(true);
    ASSERT_EQ(StartEngine(true, false), 1);
    EXPECT_NE(log.find("[d3d] CreateDevice(D3DCREATE_HARDWARE_VERTEXPROCESSING)\n"
                       "[d3d] CreateDevice(D3DCREATE_SOFTWARE_VERTEXPROCESSING)\n"
                       "[d3d] success!\n"),
              std::string::npos)
        << log;
    EXPECT_NE(d3d.device, nullptr);
}

TEST_F(DeviceStart, ReleaseTakesDownTheDeviceTheWindowAndTheClass)
{
    ASSERT_EQ(StartEngine(true, false), 1);
    HWND window = d3d.window;
    d3d.Release();
    EXPECT_EQ(GetDC(window), nullptr);
    // The class is free to be registered again, and a second start works.
    EXPECT_EQ(StartEngine(true, false), 1);
}

TEST_F(DeviceStart, TheFirstClearLeavesTheBandsBlackForGood)
{
    ASSERT_EQ(StartEngine(false, false), 1);
    // Later clears reach only the viewport.
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF204060, 1.0f, 0);
    device->Present(nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(frame.height, 1024);
    EXPECT_EQ(frame.Rgb(0, 151), 0x000000u);
    EXPECT_EQ(frame.Rgb(0, 152), 0x204060u);
    EXPECT_EQ(frame.Rgb(1279, 871), 0x204060u);
    EXPECT_EQ(frame.Rgb(1279, 872), 0x000000u);
}

}  // namespace
