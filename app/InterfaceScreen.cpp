// The main interface: the layers of "interface.xml" in list order, mouse presses
// offered topmost first, the start screen fading out after the intro, and the
// one-second fade to the end screen after Escape.
#include "app/Screens.h"
#include "core/CosineEase.h"
#include "core/DiskLayout.h"
#include "core/EngineSettings.h"
#include "data/ArtshowData.h"
#include "data/ArtshowLayer.h"
#include "data/SongPlayer.h"
#include "gfx/kpxD3D.h"
#include "gfx/kpxQuad.h"
#include "layers/ArtshowMonitor.h"
#include "platform/bass/bass.h"

void DrawInterface(float t, ShellMedia& media, ShellTimers& timers)
{
    IDirect3DDevice9* device = d3d.device;
    bool entering = disk::kIntroSeconds < t && t < disk::kIntroSeconds + disk::kInterfaceEntrySeconds;
    float entry = (t - disk::kIntroSeconds) / disk::kInterfaceEntrySeconds;

    // The 3D scene moves into place over the three seconds after the intro.
    monitor.verticalOffset = entering ? (1 - CosineEase(entry)) * -200 : 0;

    // The pointer in interface pixels; left of or above the viewport the
    // unsigned difference is huge and hits no layer.
    POINT cursor{};
    GetCursorPos(&cursor);
    ScreenToClient(d3d.window, &cursor);
    float pointerX = static_cast<float>(static_cast<uint32_t>(cursor.x) - d3d.viewport.X);
    float pointerY = static_cast<float>(static_cast<uint32_t>(cursor.y) - d3d.viewport.Y);

    if (KeyDown(VK_ESCAPE) && timers.escapeFade.Progress() == 0) timers.escapeFade.Start();

    for (int i = 0; i < data.layerCount; ++i)
        if (data.layers[i]) data.layers[i]->Draw(pointerX, pointerY);

    if (entering) {
        DWORD alpha = static_cast<DWORD>(static_cast<int>((1 - entry) * 255)) & 0xFF;
        device->SetRenderState(D3DRS_TEXTUREFACTOR, (alpha << 24) | 0x00FFFFFF);
        quad.DrawImageAligned(media.startScreen, 0, 0);
    }

    if (timers.escapeFade.Progress() > 0) {
        float p = timers.escapeFade.Progress();
        DWORD alpha = static_cast<DWORD>(static_cast<int>(p * 255)) & 0xFF;
        device->SetRenderState(D3DRS_TEXTUREFACTOR, (alpha << 24) | 0x00FFFFFF);
        if (player.current)
            BASS_ChannelSetAttributes(player.current->handle.channel, -1, static_cast<int>((1 - p) * 100),
                                      -101);
        quad.DrawImageAligned(media.endBackground, 0, 0);
    }

    if (timers.escapeFade.Progress() >= 1) {
        screen = ScreenEnd;
        player.StopSong();
        timers.endTimer.Start();
        BASS_ChannelPlay(media.endSong.handle.channel, TRUE);
    }

    if (mouseDown == 1) {
        for (int i = data.layerCount - 1; i >= 0; --i) {
            ArtshowLayer* layer = data.layers[i];
            if (layer && layer->Click(pointerX, pointerY)) {
                LogPrintf("Click dispatched for %d: '%ls'\n", i, layer->typeName);
                break;
            }
        }
    }
    if (mouseReleased == 1) {
        for (int i = 0; i < data.layerCount; ++i)
            if (data.layers[i]) data.layers[i]->ButtonUp(pointerX, pointerY);
    }
}
