#include "tests/gfx/RenderFixture.h"

#include "platform/d3d9/D3d9Stats.h"
#include "platform/host/FrameFiles.h"
#include "platform/host/Host.h"
#include "platform/win32/win32.h"

#include <algorithm>
#include <cstdlib>

uint32_t Frame::Rgb(int x, int y) const
{
    const uint8_t* p = &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

void RenderTest::SetUp()
{
    host::Reset();
    host::SetRunMode(host::RunMode::Virtual);
    host::SetFrameSink([this](const host::FrameView& view) {
        frame.width = view.width;
        frame.height = view.height;
        frame.rgba.resize(size_t(view.width) * size_t(view.height) * 4);
        for (int y = 0; y < view.height; ++y)
            std::copy_n(view.pixels + size_t(y) * view.stride, size_t(view.width) * 4,
                        frame.rgba.begin() + std::ptrdiff_t(size_t(y) * size_t(view.width) * 4));
        ++frames;
        // For looking at: MIVOLA_FRAME_DIR=folder keeps every frame as a PNG.
        if (const char* folder = std::getenv("MIVOLA_FRAME_DIR")) {
            const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
            host::WritePng(std::string(folder) + "/" + info->test_suite_name() + "." + info->name() +
                               "-" + std::to_string(frames) + ".png",
                           view);
        }
    });
    SetLogSink([this](const std::string& line) { log += line; }, false);
}

void RenderTest::TearDown()
{
    for (IDirect3DTexture9* t : textures)
        if (t) t->Release();
    // The drawer goes before the device, as at process exit.
    quadObject.reset();
    d3dObject.reset();
    SetLogSink({});
    d3d9::SetFailHardwareVertexProcessing(false);
    host::Reset();
}

int RenderTest::Start(bool windowed, bool multisample)
{
    settings = EngineSettings{};
    settings.windowed = windowed ? 1 : 0;
    settings.multisample = multisample ? 1 : 0;
    settings.instance = GetModuleHandleW(nullptr);
    d3dObject = std::make_unique<kpxD3D>();
    return d3dObject->Init(settings);
}

kpxQuad& RenderTest::Quad()
{
    if (!quadObject) {
        quadObject = std::make_unique<kpxQuad>();
        quadObject->Init(d3dObject.get());
    }
    return *quadObject;
}

void RenderTest::SolidColour(D3DCOLOR colour)
{
    IDirect3DDevice9* device = d3dObject->device;
    device->SetTexture(0, nullptr);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, colour);
}
