// The adapter's answers, device creation and resource rules.

#include <cstring>

#include "platform/d3d9/D3d9Stats.h"
#include "platform/host/Host.h"
#include "tests/support/BareDevice.h"

namespace {

class DeviceTest : public BareDevice {};

TEST_F(DeviceTest, AdapterModesComeFromTheVirtualListInX8R8G8B8)
{
    EXPECT_EQ(Direct3DCreate9(30), nullptr);  // another SDK version is refused
    host::SetVirtualModes(
        {{1280, 720, 60}, {1280, 768, 60}, {1280, 1024, 60}, {1280, 720, 75}, {1024, 768, 60}});
    ASSERT_EQ(direct3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8), 5u);
    EXPECT_EQ(direct3d->GetAdapterModeCount(0, D3DFMT_A8R8G8B8), 0u);
    D3DDISPLAYMODE m;
    ASSERT_EQ(direct3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 3, &m), D3D_OK);
    EXPECT_EQ(m.Width, 1280u);
    EXPECT_EQ(m.Height, 720u);
    EXPECT_EQ(m.RefreshRate, 75u);
    EXPECT_EQ(m.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(direct3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 5, &m), D3DERR_INVALIDCALL);
    ASSERT_EQ(direct3d->GetAdapterDisplayMode(0, &m), D3D_OK);
    EXPECT_EQ(m.Width, 1280u);
    EXPECT_EQ(m.Height, 1024u);
    // A fullscreen back buffer must be one of the modes.
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 1280;
    pp.BackBufferHeight = 800;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.Windowed = FALSE;
    EXPECT_EQ(
        direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device),
        D3DERR_INVALIDCALL);
    EXPECT_EQ(device, nullptr);
}

TEST_F(DeviceTest, CreationStatesAndReferences)
{
    CreateDevice(1280, 720);
    struct {
        D3DRENDERSTATETYPE state;
        DWORD value;
    } states[] = {{D3DRS_ZENABLE, D3DZB_TRUE},
                  {D3DRS_ZWRITEENABLE, TRUE},
                  {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
                  {D3DRS_ALPHABLENDENABLE, FALSE},
                  {D3DRS_SRCBLEND, D3DBLEND_ONE},
                  {D3DRS_DESTBLEND, D3DBLEND_ZERO},
                  {D3DRS_CULLMODE, D3DCULL_CCW},
                  {D3DRS_LIGHTING, TRUE},
                  {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},
                  {D3DRS_COLORVERTEX, TRUE},
                  {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1}};
    for (auto s : states) {
        DWORD v = 12345;
        EXPECT_EQ(device->GetRenderState(s.state, &v), D3D_OK);
        EXPECT_EQ(v, s.value) << s.state;
    }
    DWORD v = 0;
    device->GetTextureStageState(1, D3DTSS_TEXCOORDINDEX, &v);
    EXPECT_EQ(v, 1u);
    device->GetTextureStageState(1, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, DWORD(D3DTOP_DISABLE));
    device->GetSamplerState(0, D3DSAMP_MINFILTER, &v);
    EXPECT_EQ(v, DWORD(D3DTEXF_POINT));
    IDirect3DSurface9 *target = nullptr, *depth = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &target), D3D_OK);
    ASSERT_EQ(device->GetDepthStencilSurface(&depth), D3D_OK);
    // Resources keep the device alive; a texture released while bound unbinds itself.
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    device->SetTexture(0, tex);
    EXPECT_EQ(tex->Release(), 0u);
    IDirect3DBaseTexture9* bound = reinterpret_cast<IDirect3DBaseTexture9*>(1);
    EXPECT_EQ(device->GetTexture(0, &bound), D3D_OK);
    EXPECT_EQ(bound, nullptr);
    // The test's reference, the vertex buffer's, the two surfaces' and this one.
    EXPECT_EQ(device->AddRef(), 5u);
    device->Release();
    target->Release();
    depth->Release();
}

TEST_F(DeviceTest, LocksCheckTheirRangesAndWriteThrough)
{
    CreateDevice(64, 64);
    void* p = nullptr;
    EXPECT_EQ(quadBuffer->Lock(170, 10, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(quadBuffer->Lock(200, 0, &p, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(quadBuffer->Lock(44, 0, &p, 0), D3D_OK);
    EXPECT_EQ(quadBuffer->Lock(0, 0, &p, 0), D3DERR_INVALIDCALL);  // already locked
    quadBuffer->Unlock();
    EXPECT_EQ(quadBuffer->Unlock(), D3DERR_INVALIDCALL);
    // Draws that would read past the buffer are refused.
    device->SetFVF(0x252);
    device->SetStreamSource(0, quadBuffer, 0, 44);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 3), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL);
    IDirect3DIndexBuffer9* indices = nullptr;
    ASSERT_EQ(device->CreateIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indices, nullptr), D3D_OK);
    device->SetIndices(indices);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 5, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 3), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    indices->Release();

    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 4, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &tex, nullptr), D3D_OK);
    EXPECT_EQ(tex->GetLevelCount(), 4u);  // 8x4, 4x2, 2x1, 1x1
    D3DLOCKED_RECT lr;
    RECT outside{0, 0, 9, 4};
    EXPECT_EQ(tex->LockRect(0, &lr, &outside, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(tex->LockRect(4, &lr, nullptr, 0), D3DERR_INVALIDCALL);
    // X8R8G8B8 reads alpha 1 whatever the fourth byte holds.
    ASSERT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3D_OK);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch)[x] = 0x00336699;
    tex->UnlockRect(0);
    FlatState();
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetTexture(0, tex);
    Draw(0, 0, 1, 1);
    Present();
    EXPECT_EQ(At(32, 32).r, 0x33);
    EXPECT_EQ(At(32, 32).b, 0x99);
    // A limited memory budget refuses the allocation as the platform does.
    d3d9::SetTextureMemoryLimit(1024);
    IDirect3DTexture9* big = nullptr;
    EXPECT_EQ(device->CreateTexture(512, 512, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &big, nullptr),
              D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(big, nullptr);
    d3d9::SetTextureMemoryLimit(0);
    device->SetTexture(0, nullptr);
    tex->Release();
}

TEST_F(DeviceTest, PresentAdvancesTheVirtualClock)
{
    CreateDevice(64, 64);
    uint64_t before = host::FrameIndex();
    Present();
    Present();
    EXPECT_EQ(host::FrameIndex(), before + 2);
    EXPECT_EQ(frame.width, 64);
}

}  // namespace
