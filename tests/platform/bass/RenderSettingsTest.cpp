// Per-channel render settings and gain in the audio library stand-in, and
// decode channels, which read a song through the same path as a played one.
#include "platform/bass/bass.h"
#include "tests/support/Audio.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace support;

namespace {

// The whole song through a decode channel, interleaved stereo floats.
std::vector<float> DecodeModule(const std::string& path, int separation)
{
    HMUSIC h = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, BASS_MUSIC_PRESCAN | BASS_MUSIC_DECODE, 0);
    EXPECT_NE(h, 0u);
    if (separation >= 0) {
        EXPECT_TRUE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_MUSIC_PANSEP, float(separation)));
    }
    std::vector<float> all, buffer(2048);
    const DWORD request = DWORD(buffer.size() * sizeof(float)) | BASS_DATA_FLOAT;
    for (DWORD got; (got = BASS_ChannelGetData(h, buffer.data(), request)) > 0 && got != ~DWORD{0};)
        all.insert(all.end(), buffer.begin(), buffer.begin() + got / sizeof(float));
    // A decode channel is never played.
    EXPECT_FALSE(BASS_ChannelPlay(h, TRUE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DECODE);
    BASS_MusicFree(h);
    return all;
}

float Peak(const std::vector<float>& stereo, int side)
{
    float peak = 0;
    for (size_t i = size_t(side); i < stereo.size(); i += 2) peak = std::max(peak, std::fabs(stereo[i]));
    return peak;
}

}  // namespace

TEST(BassRenderSettings, SeparationReachesTheDecoderAndOnlyAllowedValuesAreTaken)
{
    VirtualAudio audio;
    const std::string mod = TempPath("left.xm");
    ASSERT_TRUE(WriteHardLeftXm(mod, 8));
    const std::vector<float> hard = DecodeModule(mod, -1), mono = DecodeModule(mod, 0);
    ASSERT_EQ(hard.size(), mono.size());
    EXPECT_NEAR(double(hard.size()) / 2, 0.96 * 44100, 2.0);  // the whole song, 8 rows
    EXPECT_GT(Peak(hard, 0), 0.1f);
    EXPECT_EQ(Peak(hard, 1), 0.0f);
    float apart = 0;
    for (size_t i = 0; i < mono.size(); i += 2) apart = std::max(apart, std::fabs(mono[i] - mono[i + 1]));
    EXPECT_LT(apart, 1e-6f);
    EXPECT_GT(Peak(mono, 1), 0.05f);

    HMUSIC music = BASS_MusicLoad(FALSE, mod.c_str(), 0, 0, BASS_MUSIC_PRESCAN, 0);
    const struct {
        DWORD attrib;
        float value;
    } refused[] = {{BASS_ATTRIB_MUSIC_PANSEP, 201}, {BASS_ATTRIB_MUSIC_PANSEP, 50.5f},
                   {BASS_ATTRIB_MUSIC_INTERP, 3},   {BASS_ATTRIB_MUSIC_RAMPING, -2},
                   {BASS_ATTRIB_MUSIC_AMIGA, 2},    {BASS_ATTRIB_GAIN, NAN},
                   {BASS_ATTRIB_GAIN, 25},          {BASS_ATTRIB_MUSIC_PANSEP, 1e30f}};
    for (const auto& r : refused) {
        EXPECT_FALSE(BASS_ChannelSetAttribute(music, r.attrib, r.value)) << r.attrib << " " << r.value;
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    }
    for (DWORD a : {BASS_ATTRIB_MUSIC_INTERP, BASS_ATTRIB_MUSIC_RAMPING, BASS_ATTRIB_MUSIC_AMIGA})
        EXPECT_TRUE(BASS_ChannelSetAttribute(music, a, 1)) << a;

    // A stream has no module settings; a gain it has.
    std::string wav = TempPath("tone.wav");
    ASSERT_TRUE(WriteTone(wav, SF_FORMAT_WAV, Tone{}));
    HSTREAM stream = BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, 0);
    EXPECT_FALSE(BASS_ChannelSetAttribute(stream, BASS_ATTRIB_MUSIC_PANSEP, 50));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
    EXPECT_TRUE(BASS_ChannelSetAttribute(stream, BASS_ATTRIB_GAIN, -6));
}

TEST(BassRenderSettings, GainIsInTheSoundAndInTheLevelTheInterfaceReads)
{
    VirtualAudio audio;
    std::string wav = TempPath("quarter.wav");
    ASSERT_TRUE(WriteTone(wav, SF_FORMAT_WAV, Tone{44100, 2, 44100, 1000.0, 0.25}));
    HSTREAM h = BASS_StreamCreateFile(FALSE, wav.c_str(), 0, 0, 0);
    ASSERT_TRUE(BASS_ChannelSetAttribute(h, BASS_ATTRIB_GAIN, 20.0f * std::log10(2.0f)));
    BASS_ChannelPlay(h, FALSE);
    audio.Frames(10);
    int16_t peak = 0;
    for (int16_t s : audio.sound) peak = std::max<int16_t>(peak, int16_t(std::abs(s)));
    EXPECT_NEAR(peak, 16384, 50);
    EXPECT_NEAR(double(BASS_ChannelGetLevel(h) & 0xFFFF), 16384.0, 50.0);
    float fft[128];
    BASS_ChannelGetData(h, fft, BASS_DATA_FFT256);
    EXPECT_NEAR(*std::max_element(fft, fft + 128), 0.5f, 0.05f);
}
