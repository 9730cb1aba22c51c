#include "app/Startup.h"

#include "app/FrameLoop.h"
#include "app/OptionsDialog.h"
#include "core/DiskLayout.h"
#include "core/EngineSettings.h"
#include "data/ArtshowData.h"
#include "data/MediaCache.h"
#include "gfx/kpxD3D.h"
#include "gfx/kpxQuad.h"
#include "layers/LayerTypes.h"
#include "platform/bass/bass.h"
#include "platform/d3d9/FrameStats.h"
#include "platform/host/ContentFile.h"

namespace {

void SetItem(MediaItem& item, const WCHAR* path, int32_t kind)
{
    item = MediaItem{};
    wcsncpy_s(item.path, 260, path, _TRUNCATE);
    item.kind = kind;
}

void LoadShellMedia(ShellMedia& media, IDirect3DDevice9* device)
{
    MediaItem* items[disk::kShellFileCount] = {
        nullptr,  // the loading screen, loaded before the catalogue's media
        &media.introSong,   &media.introBackground, &media.introButton,    &media.introDial,
        &media.introForeground, &media.startScreen, &media.invader[0],     &media.invader[1],
        &media.invader[2],  &media.endBackground,   &media.endScroller,    &media.endSong,
        &media.endLetterbox,
    };
    for (int f = 0; f < disk::kShellFileCount; ++f) {
        const disk::ShellFileInfo& file = disk::Shell(static_cast<disk::ShellFile>(f));
        if (items[f]) SetItem(*items[f], file.widePath, file.song ? MediaStream : MediaImageUnfiltered);
    }

    LoadAudio(media.introSong);
    MediaItem* pictures[] = {
        &media.introBackground, &media.introButton, &media.introDial,  &media.introForeground,
        &media.startScreen,     &media.invader[0],  &media.invader[1], &media.invader[2],
        &media.endBackground,   &media.endScroller,
    };
    for (MediaItem* picture : pictures) LoadImage(*picture, device);
    LoadAudio(media.endSong);
    LoadImage(media.endLetterbox, device);
}

void UnloadIfLoaded(MediaItem& item)
{
    if (item.kind >= MediaModule && item.kind <= MediaImageUnfiltered) UnloadMedia(item);
}

}  // namespace

int MivolaMain()
{
    RegisterProgramResources();
    settings = EngineSettings{};
    settings.instance = GetModuleHandleW(nullptr);
    // The working folder is the disk: a file named outside it is logged.
    host::SetDiskFolder(".");
    dialogSettings = &settings;
    // Only an answer of exactly 0 quits; a dialog that could not be shown
    // (-1) leaves the defaults.
    if (DialogBoxParamW(settings.instance, MAKEINTRESOURCEW(kOptionsDialogId), GetForegroundWindow(),
                        OptionsDialogProc, 0) == 0)
        return -1;
    if (d3d9::FrameStats* stats = d3d9::ActiveFrameStats()) stats->MarkStartupBegin();

    LogPrintf("Initializing kpxD3D...\n");
    if (!d3d.Init(settings)) {
        MessageBoxA(d3d.window,
                    "Unable to initialize Direct3D - are you sure your display supports 1280x720?",
                    "Mivola went sour :(", MB_ICONERROR);
        return -1;
    }
    IDirect3DDevice9* device = d3d.device;
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);

    LogPrintf("Initializing kpxQuad...\n");
    quad.Init(d3d);

    LogPrintf("data.LoadXML()\n");
    data.LoadXML(L"art.xml", CreateLayer);
    data.LoadXML(L"interface.xml", CreateLayer);

    SetItem(loadingScreen, disk::Shell(disk::LoadingScreen).widePath, MediaImageUnfiltered);
    LoadImage(loadingScreen, device);

    LogPrintf("BASS_Init()\n");
    BASS_Init(1, 44100, 0, d3d.window, nullptr);

    PreloadAll(data, device, DrawLoadingFrame);

    ShellMedia media;
    LoadShellMedia(media, device);

    // The screens start from stage 0 showing the texture's colour (the loading
    // frame left it on the texture factor).
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);

    LogPrintf("BASS_Start()\n");
    BASS_Start();
    BASS_ChannelPlay(media.introSong.handle.channel, TRUE);

    ShellTimers timers;
    timers.endTimer.Start();

    // Closing the window while loading skips the loop; shutdown still runs.
    if (!quitRequested) RunFrameLoop(media, timers);

    LogPrintf("BASS_Stop()\n");
    BASS_Stop();
    LogPrintf("BASS_Free()\n");
    BASS_Free();
    UnloadAll(data);
    MediaItem* shellItems[] = {
        &loadingScreen,    &media.introBackground, &media.introForeground, &media.introButton,
        &media.introDial,  &media.startScreen,     &media.invader[0],      &media.invader[1],
        &media.invader[2], &media.endBackground,   &media.endScroller,     &media.endLetterbox,
    };
    for (MediaItem* item : shellItems) UnloadIfLoaded(*item);
    LogPrintf("Bye bye...\n");
    return 0;
}
