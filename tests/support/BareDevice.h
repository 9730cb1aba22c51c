// The bare device of the harness with a unit quad of its own, drawn as the
// engine draws its rectangles: ortho projection, placed by the world matrix.
#pragma once

#include "tests/support/Headless.h"

#include <cstring>

using support::Rgba;

// The 44-byte vertex of format 0x252.
struct Vertex {
    float x, y, z, nx, ny, nz;
    D3DCOLOR color;
    float u0, v0, u1, v1;
};
static_assert(sizeof(Vertex) == 44);

class BareDevice : public support::HeadlessTest {
protected:
    void SetUp() override
    {
        HeadlessTest::SetUp();
        direct3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(direct3d, nullptr);
    }
    void TearDown() override
    {
        if (quadBuffer) quadBuffer->Release();
        quadBuffer = nullptr;
        HeadlessTest::TearDown();
    }
    void CreateDevice(UINT width, UINT height, bool windowed = true,
                      D3DMULTISAMPLE_TYPE samples = D3DMULTISAMPLE_NONE)
    {
        HeadlessTest::CreateDevice(width, height, windowed, samples);
        ASSERT_NE(device, nullptr);
        ASSERT_EQ(device->CreateVertexBuffer(176, 0, 0x252, D3DPOOL_MANAGED, &quadBuffer, nullptr), D3D_OK);
        const Vertex v[4] = {{-1, -1, 1, 0, 0, 1, 0xFFFFFFFF, 0, 0, 0, 0},
                             {-1, 1, 1, 0, 0, 1, 0xFFFFFFFF, 0, 1, 0, 1},
                             {1, -1, 1, 0, 0, 1, 0xFFFFFFFF, 1, 0, 1, 0},
                             {1, 1, 1, 0, 0, 1, 0xFFFFFFFF, 1, 1, 1, 1}};
        void* p = nullptr;
        ASSERT_EQ(quadBuffer->Lock(0, 176, &p, 0), D3D_OK);
        std::memcpy(p, v, sizeof v);
        ASSERT_EQ(quadBuffer->Unlock(), D3D_OK);
    }
    // The square from (l, t) to (r, b) in 0..1 viewport units, z scaled and offset.
    void Draw(float l, float t, float r, float b, float z = 1.0f, float zOffset = 0.0f)
    {
        D3DMATRIX proj{}, view{}, world{};
        proj._11 = 2;
        proj._22 = -2;
        proj._33 = 0.5f;
        proj._41 = -1;
        proj._42 = 1;
        proj._43 = 0.5f;
        proj._44 = 1;
        view._11 = view._22 = view._33 = view._44 = 1;
        float hx = (r - l) * 0.5f, hy = (b - t) * 0.5f;
        world._11 = hx;
        world._22 = hy;
        world._33 = z;
        world._41 = l + hx;
        world._42 = t + hy;
        world._43 = zOffset;
        world._44 = 1;
        device->SetTransform(D3DTS_PROJECTION, &proj);
        device->SetTransform(D3DTS_VIEW, &view);
        device->SetTransform(D3DTS_WORLD, &world);
        device->SetVertexShader(nullptr);
        device->SetPixelShader(nullptr);
        device->SetFVF(0x252);
        device->SetStreamSource(0, quadBuffer, 0, 44);
        EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    }
    // The device as the engine sets it up for flat drawing.
    void FlatState()
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
    Rgba At(int x, int y) const { return frame.At(x, y); }

    IDirect3DVertexBuffer9* quadBuffer = nullptr;
};

inline int Channel(D3DCOLOR c, int shift)
{
    return int((c >> shift) & 0xFF);
}
