// The end screen: a tall picture scrolling upwards behind a letterbox mask, then
// a fade to black; the run ends when it is black or on Escape.
#include "app/Screens.h"
#include "core/EngineSettings.h"
#include "gfx/kpxD3D.h"
#include "gfx/kpxQuad.h"

namespace {

// The window shows 244 of the scroller texture's 2048 rows.
constexpr float kScrollerScale = 0.119140625f;

void SetClamp(IDirect3DDevice9* device, DWORD sampler)
{
    device->SetSamplerState(sampler, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device->SetSamplerState(sampler, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    device->SetSamplerState(sampler, D3DSAMP_ADDRESSW, D3DTADDRESS_CLAMP);
}

}  // namespace

void DrawEndScreen(ShellMedia& media, ShellTimers& timers)
{
    IDirect3DDevice9* device = d3d.device;
    float width = static_cast<float>(settings.width);
    float height = static_cast<float>(settings.height);

    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    quad.DrawImageAligned(media.endBackground, 0, 0);

    float p = timers.endTimer.Progress();
    D3DMATRIX scroll{};
    scroll._11 = scroll._33 = scroll._44 = 1;
    scroll._22 = kScrollerScale;
    scroll._32 = p;
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetTransform(D3DTS_TEXTURE0, &scroll);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    SetClamp(device, 0);
    SetClamp(device, 1);

    // Stage 0 scrolls the picture; stage 1 multiplies its alpha by the mask,
    // which stays fixed over the window.
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TEXTURE);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
    device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
    device->SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_TEXTURE);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
    device->SetTexture(0, media.endScroller.handle.texture);
    device->SetTexture(1, media.endLetterbox.handle.texture);
    quad.Draw(392 / width, 221 / height, 875 / width, 465 / height);

    device->SetTexture(1, nullptr);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);

    // After 36 seconds a black veil thickens until the view is black at 48.
    float fade = 0;
    if (p > 0.6f) {
        fade = (p - 0.6f) * 5;
        if (fade > 1) fade = 1;
    }
    device->SetRenderState(D3DRS_TEXTUREFACTOR, static_cast<DWORD>(static_cast<int>(fade * 255)) << 24);
    quad.Draw(0, 0, 1, 1);

    if (KeyDown(VK_ESCAPE) || fade >= 1) quitRequested = 1;
}
