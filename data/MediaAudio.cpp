// The song half of the media cache: opening modules and streams.
#include "data/MediaCache.h"

#include "gfx/kpxD3D.h"
#include "platform/bass/bass.h"
#include "platform/win32/Log.h"
#include "platform/win32/win32.h"

namespace {

[[noreturn]] void FailLoad(const MediaItem& item, const WCHAR* caption)
{
    MessageBoxW(d3d.window, item.path, caption, MB_ICONERROR);
    ExitProcess(0);
}

int32_t LengthMs(DWORD channel)
{
    return static_cast<int32_t>(BASS_ChannelBytes2Seconds(channel, BASS_ChannelGetLength(channel)) * 1000.0);
}

}  // namespace

void LoadAudio(MediaItem& item)
{
    // Every file is tried as a module first, whatever its name says.
    const DWORD flags = BASS_MUSIC_PRESCAN | BASS_UNICODE;
    item.handle.channel = BASS_MusicLoad(FALSE, item.path, 0, 0, flags, 0);
    if (item.handle.channel) {
        item.kind = MediaModule;
        item.lengthMs = LengthMs(item.handle.channel);
        LogPrintf("Loaded module: \"%ls\" (%d ms)\n", item.path, item.lengthMs);
        return;
    }
    if (BASS_ErrorGetCode() != BASS_ERROR_FILEFORM) FailLoad(item, L"ERROR LOADING MODULE");
    item.handle.channel = BASS_StreamCreateFile(FALSE, item.path, 0, 0, BASS_STREAM_PRESCAN | BASS_UNICODE);
    if (!item.handle.channel) FailLoad(item, L"ERROR LOADING STREAM");
    item.kind = MediaStream;
    item.lengthMs = LengthMs(item.handle.channel);
    LogPrintf("Loaded stream: \"%ls\" (%d ms)\n", item.path, item.lengthMs);
}
