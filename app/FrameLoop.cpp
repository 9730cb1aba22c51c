#include "app/FrameLoop.h"

#include "app/MediaControl.h"
#include "app/Mpris.h"
#include "app/Screens.h"
#include "core/EngineSettings.h"
#include "data/SongPlayer.h"
#include "gfx/kpxD3D.h"
#include "gfx/kpxQuad.h"
#include "layers/ArtshowMonitor.h"
#include "platform/bass/bass.h"
#include "platform/d3d9/FrameStats.h"

int32_t screen = ScreenIntro;
MediaItem loadingScreen{};

namespace {

void ClearAndPump(IDirect3DDevice9* device)
{
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00000000, 1.0f, 0);
    // One message a pass keeps frames coming under a burst of messages.
    MSG message;
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

bool KeyDown(int virtualKey)
{
    return (static_cast<uint16_t>(GetAsyncKeyState(virtualKey)) & 0x8000u) != 0;
}

float IntroSeconds(const ShellMedia& media)
{
    DWORD channel = media.introSong.handle.channel;
    return BASS_ChannelBytes2Seconds(channel, BASS_ChannelGetPosition(channel));
}

void DrawLoadingFrame(float progress)
{
    IDirect3DDevice9* device = d3d.device;
    ClearAndPump(device);
    device->BeginScene();

    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
    quad.DrawImageAligned(loadingScreen, 0, 0);

    // The bar: an opaque light grey rectangle in the texture factor's colour.
    device->SetTexture(0, nullptr);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFCCCCCC);
    float width = static_cast<float>(settings.width);
    float height = static_cast<float>(settings.height);
    quad.Draw(194 / width, 659 / height, (194 + 890 * progress) / width, 682 / height);

    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
}

namespace {

// Live frames keep to the display's rate. A swap that waits for the display has
// already spent the frame's time and nothing more is waited here; without that
// wait (no vertical sync, as on a virtual X server) the rest of a 60 Hz frame is
// slept. Virtual runs do not sleep.
void PaceFrame()
{
    static DWORD lastEnd = 0;
    constexpr DWORD kPeriodMs = 16;  // 1000 / 60, rounded down: never slower than the display
    const DWORD now = GetTickCount();
    const DWORD spent = now - lastEnd;
    if (lastEnd != 0 && spent < kPeriodMs) Sleep(kPeriodMs - spent);
    lastEnd = GetTickCount();
}

}  // namespace

void RunFrameLoop(ShellMedia& media, ShellTimers& timers)
{
    screen = ScreenIntro;
    IDirect3DDevice9* device = d3d.device;
    do {
        ClearAndPump(device);
        device->BeginScene();
        float t = IntroSeconds(media);
        // A screen change made while drawing takes effect at the next pass.
        switch (screen) {
        case ScreenIntro:
            DrawIntro(t, media);
            break;
        case ScreenInterface:
            DrawInterface(t, media, timers);
            break;
        case ScreenEnd:
            DrawEndScreen(media, timers);
            break;
        default:
            break;
        }
        // The song player moves on to the next song here, on this thread, after the
        // screen was drawn as a click is: a carousel turn it starts is first drawn
        // on the next pass, never on the very millisecond it began.
        if (player.HandlePendingSongEnd()) monitor.StartTurn(1);
        // Media keys and MPRIS calls act here too, between two frames.
        HandleMediaKeys();
        MprisPump();
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
        if (d3d9::FrameStats* stats = d3d9::ActiveFrameStats()) stats->MarkStartupEnd();
        PaceFrame();
    } while (!quitRequested);
    MprisStop();
}
