#include "tests/support/Headless.h"

#include "core/EngineSettings.h"
#include "platform/d3d9/D3d9Stats.h"
#include "platform/host/FrameFiles.h"
#include "platform/host/Host.h"
#include "platform/win32/Log.h"
#include "platform/win32/win32.h"

#include <cstdlib>
#include <cstring>

namespace support {

void Headless::Start()
{
    host::Reset();
    host::SetRunMode(host::RunMode::Virtual);
    host::SetFrameSink([this](const host::FrameView& view) {
        frame.width = view.width;
        frame.height = view.height;
        frame.pixels.resize(size_t(view.width) * size_t(view.height));
        for (int y = 0; y < view.height; ++y)
            std::memcpy(&frame.pixels[size_t(y) * size_t(view.width)], view.pixels + size_t(y) * view.stride,
                        size_t(view.width) * 4);
        ++frames;
        // MIVOLA_FRAME_DIR=folder keeps every presented frame as a PNG.
        if (const char* folder = std::getenv("MIVOLA_FRAME_DIR")) {
            const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
            const std::string name =
                info ? std::string(info->test_suite_name()) + "." + info->name() : "frame";
            host::WritePng(std::string(folder) + "/" + name + "-" + std::to_string(frames) + ".png", view);
        }
    });
    SetLogSink([this](const std::string& line) { log += line; }, false);
}

void Headless::Stop()
{
    for (IDirect3DTexture9* t : textures) t->Release();
    textures.clear();
    if (bare) { EXPECT_EQ(device->Release(), 0u) << "a device object was not released"; }
    if (direct3d) direct3d->Release();
    bare = false;
    // The drawer goes before the device, as at process exit.
    quad.Release();
    d3d.Release();
    device = nullptr;
    direct3d = nullptr;
    SetLogSink({});
    d3d9::SetFailHardwareVertexProcessing(false);
    d3d9::SetTextureMemoryLimit(0);
    host::Reset();
}

void Headless::CreateDevice(UINT width, UINT height, bool windowed, D3DMULTISAMPLE_TYPE samples)
{
    if (!direct3d) direct3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(direct3d, nullptr);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.MultiSampleType = samples;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = windowed;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24X8;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    ASSERT_EQ(direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                     D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device),
              D3D_OK);
    bare = true;
}

int Headless::StartEngine(bool windowed, bool multisample)
{
    quad.Release();
    d3d.Release();
    settings = EngineSettings{};
    settings.windowed = windowed ? 1 : 0;
    settings.multisample = multisample ? 1 : 0;
    settings.instance = GetModuleHandleW(nullptr);
    const int started = d3d.Init(settings);
    device = d3d.device;
    if (started) quad.Init(d3d);
    return started;
}

const Frame& Headless::Render(const std::function<void()>& draw, D3DCOLOR clear)
{
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clear, 1.0f, 0);
    device->BeginScene();
    draw();
    device->EndScene();
    Present();
    return frame;
}

void Headless::Present()
{
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

void Headless::Advance(int count)
{
    for (int i = 0; i < count; ++i) host::EndFrame();
}

IDirect3DTexture9* Headless::NewTexture(UINT width, UINT height, D3DFORMAT format)
{
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(width, height, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    if (texture) textures.push_back(texture);
    return texture;
}

void Headless::Fill(IDirect3DTexture9* texture, const std::function<uint32_t(UINT, UINT)>& fill)
{
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < desc.Height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) +
                                                size_t(y) * size_t(locked.Pitch));
        for (UINT x = 0; x < desc.Width; ++x) row[x] = fill(x, y);
    }
    EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
}

MediaItem Headless::PictureItem(IDirect3DTexture9* texture, UINT width, UINT height)
{
    MediaItem item{};
    item.kind = MediaImageUnfiltered;
    item.handle.texture = texture;
    item.imageInfo.Width = width;
    item.imageInfo.Height = height;
    if (texture) texture->GetLevelDesc(0, &item.surfaceDesc);
    return item;
}

void Headless::SolidColour(D3DCOLOR colour)
{
    device->SetTexture(0, nullptr);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, colour);
}

}  // namespace support
