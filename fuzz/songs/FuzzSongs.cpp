// Song files from arbitrary bytes, as the media cache opens them: a module
// first, then a stream (MP3, OGG, FLAC, WAV). Each one that opens has its length
// read, plays for a second of a virtual run with its level and spectrum read,
// is restarted from the top, plays a little more, and is freed.
#include "platform/bass/bass.h"
#include "platform/host/Host.h"
#include "platform/win32/Log.h"

#include "fuzz/FuzzInput.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

constexpr unsigned kFps = 50;

void Frames(unsigned count)
{
    for (unsigned i = 0; i < count; ++i) host::EndFrame();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static const std::string path = [] {
        host::SetRunMode(host::RunMode::Virtual);
        host::SetFps(kFps);
        host::SetSoundSink([](const int16_t*, size_t) {});
        SetLogSink([](const std::string&) {}, false);
        if (!BASS_Init(1, 44100, 0, nullptr, nullptr)) std::abort();
        return fuzz::ScratchFile("songs");
    }();
    if (!fuzz::WriteInput(path, bytes, size)) return 0;

    bool module = true;
    DWORD channel = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, BASS_MUSIC_PRESCAN, 0);
    if (!channel) {
        if (BASS_ErrorGetCode() != BASS_ERROR_FILEFORM) return 0;
        module = false;
        channel = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_PRESCAN);
        if (!channel) return 0;
    }
    const float seconds = BASS_ChannelBytes2Seconds(channel, BASS_ChannelGetLength(channel));
    if (!(seconds >= 0)) std::abort();  // a length is never negative or NaN

    BASS_ChannelPlay(channel, TRUE);
    float spectrum[128];
    for (unsigned i = 0; i < kFps; i += 10) {
        Frames(10);
        BASS_ChannelGetLevel(channel);
        BASS_ChannelGetData(channel, spectrum, BASS_DATA_FFT256);
    }
    BASS_ChannelPause(channel);
    BASS_ChannelPlay(channel, TRUE);  // back to the top
    Frames(5);
    BASS_ChannelStop(channel);
    if (module) BASS_MusicFree(channel);
    else BASS_StreamFree(channel);
    return 0;
}
