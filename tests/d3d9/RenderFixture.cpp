#include "tests/d3d9/RenderFixture.h"

#include <cstring>

#include "platform/host/FrameFiles.h"
#include "platform/host/Host.h"

void RenderFixture::SetUp()
{
    host::Reset();
    host::SetRunMode(host::RunMode::Virtual);
    host::SetFrameSink([this](const host::FrameView& f) {
        frameWidth = f.width;
        frameHeight = f.height;
        frame.resize(size_t(f.width) * f.height * 4);
        for (int y = 0; y < f.height; ++y)
            std::memcpy(&frame[size_t(y) * f.width * 4], f.pixels + y * f.stride, size_t(f.width) * 4);
    });
    d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
}

void RenderFixture::TearDown()
{
    if (quad) quad->Release();
    if (device) {
        EXPECT_EQ(device->Release(), 0u);
    }
    if (d3d) d3d->Release();
    quad = nullptr;
    device = nullptr;
    d3d = nullptr;
    host::Reset();
}

void RenderFixture::CreateDevice(UINT width, UINT height, bool windowed, D3DMULTISAMPLE_TYPE samples)
{
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
    ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device),
              D3D_OK);
    ASSERT_EQ(device->CreateVertexBuffer(176, 0, 0x252, D3DPOOL_MANAGED, &quad, nullptr), D3D_OK);
    const Vertex v[4] = {{-1, -1, 1, 0, 0, 1, 0xFFFFFFFF, 0, 0, 0, 0},
                         {-1, 1, 1, 0, 0, 1, 0xFFFFFFFF, 0, 1, 0, 1},
                         {1, -1, 1, 0, 0, 1, 0xFFFFFFFF, 1, 0, 1, 0},
                         {1, 1, 1, 0, 0, 1, 0xFFFFFFFF, 1, 1, 1, 1}};
    void* p = nullptr;
    ASSERT_EQ(quad->Lock(0, 176, &p, 0), D3D_OK);
    std::memcpy(p, v, sizeof v);
    ASSERT_EQ(quad->Unlock(), D3D_OK);
}

void RenderFixture::FlatState()
{
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    for (DWORD s = 0; s < 2; ++s)
        for (auto a : {D3DSAMP_ADDRESSU, D3DSAMP_ADDRESSV})
            device->SetSamplerState(s, a, D3DTADDRESS_CLAMP);
}

void RenderFixture::Draw(float l, float t, float r, float b, float z, float zOffset)
{
    D3DMATRIX proj{}, view{}, world{};
    proj._11 = 2; proj._22 = -2; proj._33 = 0.5f; proj._41 = -1; proj._42 = 1; proj._43 = 0.5f; proj._44 = 1;
    view._11 = view._22 = view._33 = view._44 = 1;
    float hx = (r - l) * 0.5f, hy = (b - t) * 0.5f;
    world._11 = hx; world._22 = hy; world._33 = z; world._41 = l + hx; world._42 = t + hy; world._43 = zOffset; world._44 = 1;
    device->SetTransform(D3DTS_PROJECTION, &proj);
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
    device->SetFVF(0x252);
    device->SetStreamSource(0, quad, 0, 44);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
}

void RenderFixture::Present()
{
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

Rgba RenderFixture::At(int x, int y) const
{
    const uint8_t* p = &frame.at((size_t(y) * frameWidth + x) * 4);
    return Rgba{p[0], p[1], p[2], p[3]};
}

void RenderFixture::SavePng(const std::string& name) const
{
    host::WritePng(std::string(MIVOLA_BINARY_DIR) + "/" + name,
                   host::FrameView{frame.data(), frameWidth, frameHeight, size_t(frameWidth) * 4});
}
