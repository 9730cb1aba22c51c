// The song half of the media cache: opening modules and streams.
#include "data/MediaCache.h"

#include "data/SongSettings.h"

#include "platform/bass/bass.h"
#include "platform/host/ContentFile.h"
#include "platform/win32/Log.h"
#include "platform/win32/win32.h"

#include <string>

namespace {

// Why the audio library refused the file: the file's or the decoder's reason,
// else its error code.
std::string Reason()
{
    if (!host::LastFileError().empty()) return host::LastFileError();
    return "audio library error " + std::to_string(BASS_ErrorGetCode());
}

int32_t LengthMs(DWORD channel)
{
    return static_cast<int32_t>(BASS_ChannelBytes2Seconds(channel, BASS_ChannelGetLength(channel)) * 1000.0);
}

// Only a song with settings of its own says so: a disk without them logs as before.
void ApplySettings(const MediaItem& item, const SongSettings* settings)
{
    if (!settings) return;
    // A stream takes the gain alone.
    SongSettings applied = *settings;
    if (item.kind != MediaModule) {
        applied = SongSettings{};
        applied.gainDb = settings->gainDb;
    }
    if (applied.IsDefault()) return;
    ApplySongSettings(item.handle.channel, item.kind == MediaModule, applied);
    LogPrintf("Render settings for \"%ls\": %s\n", item.path, applied.Describe().c_str());
}

}  // namespace

void LoadAudio(MediaItem& item, const SongSettings* settings)
{
    // Every file is tried as a module first, whatever its name says.
    const DWORD flags = BASS_MUSIC_PRESCAN | BASS_UNICODE;
    host::SetLastFileError("");
    item.handle.channel = BASS_MusicLoad(FALSE, item.path, 0, 0, flags, 0);
    if (item.handle.channel) {
        item.kind = MediaModule;
        item.lengthMs = LengthMs(item.handle.channel);
        LogPrintf("Loaded module: \"%ls\" (%d ms)\n", item.path, item.lengthMs);
        ApplySettings(item, settings);
        return;
    }
    if (BASS_ErrorGetCode() != BASS_ERROR_FILEFORM) FailLoad(item, L"ERROR LOADING MODULE", Reason());
    item.handle.channel = BASS_StreamCreateFile(FALSE, item.path, 0, 0, BASS_STREAM_PRESCAN | BASS_UNICODE);
    if (!item.handle.channel) FailLoad(item, L"ERROR LOADING STREAM", Reason());
    item.kind = MediaStream;
    item.lengthMs = LengthMs(item.handle.channel);
    LogPrintf("Loaded stream: \"%ls\" (%d ms)\n", item.path, item.lengthMs);
    ApplySettings(item, settings);
}
