#include "tools/make/SongRender.h"

#include "platform/bass/bass.h"
#include "platform/win32/Utf8.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

SongSettings DefaultSettings(const SongFacts& facts)
{
    SongSettings s;
    if (facts.kind != SongKind::Module) return s;
    s.volumeRamping = -1;
    // The decoder already places a MOD's four voices at a quarter and three
    // quarters, not hard left and right: half the width the Amiga gave, within
    // what module players recommend for headphones, so 100 stays.
    s.stereoSeparation = 100;
    if (facts.format == "MOD" && facts.channels <= 4) {
        // Written on an Amiga for the Amiga's sound: its resampler and filters
        // (they take the place of the interpolation setting).
        s.amiga = 1;
    } else {
        s.interpolation = 8;
    }
    return s;
}

bool MeasureLoudness(const std::string& path, const SongSettings& settings, Loudness& out, std::string& error)
{
    const DWORD flags = BASS_MUSIC_PRESCAN | BASS_MUSIC_DECODE;
    HMUSIC music = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, flags, 0);
    DWORD channel = music;
    if (!channel && BASS_ErrorGetCode() == BASS_ERROR_FILEFORM)
        channel = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_PRESCAN | BASS_STREAM_DECODE);
    if (!channel) {
        error = "the audio library cannot open it (error " + std::to_string(BASS_ErrorGetCode()) + ")";
        return false;
    }
    ApplySongSettings(channel, music != 0, settings);

    // Decoded sound is at the library's output rate.
    std::unique_ptr<ebur128_state, void (*)(ebur128_state*)> meter(
        ebur128_init(2, 44100, EBUR128_MODE_I), [](ebur128_state* m) { ebur128_destroy(&m); });
    constexpr size_t kFrames = 4096;
    std::vector<float> buffer(kFrames * 2);
    out.peak = 0;
    for (;;) {
        const DWORD bytes = BASS_ChannelGetData(
            channel, buffer.data(), static_cast<DWORD>(buffer.size() * sizeof(float)) | BASS_DATA_FLOAT);
        if (bytes == 0 || bytes == ~DWORD{0}) break;
        const size_t frames = bytes / (2 * sizeof(float));
        for (size_t i = 0; i < frames * 2; ++i) out.peak = std::max(out.peak, double(std::fabs(buffer[i])));
        ebur128_add_frames_float(meter.get(), buffer.data(), frames);
    }
    if (music) BASS_MusicFree(channel);
    else BASS_StreamFree(channel);
    if (ebur128_loudness_global(meter.get(), &out.integrated) != EBUR128_SUCCESS) out.integrated = -HUGE_VAL;
    return true;
}

float GainToward(const Loudness& loudness, double target)
{
    if (!std::isfinite(loudness.integrated) || loudness.peak <= 0) return 0.0f;
    double gain = std::clamp(target - loudness.integrated, double(kMinGainDb), double(kMaxGainDb));
    // A clipped peak is a damaged sound; a song a little under the target is not.
    const double headroom = -20.0 * std::log10(loudness.peak);
    if (gain > headroom) return static_cast<float>(std::floor(headroom * 100.0) / 100.0);
    return static_cast<float>(std::round(gain * 100.0) / 100.0);
}
