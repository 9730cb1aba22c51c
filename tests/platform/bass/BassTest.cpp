// The audio library stand-in in virtual runs, where every number is exact.
#include "platform/bass/bass.h"
#include "platform/host/Host.h"
#include "tests/support/Audio.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

using namespace support;

namespace {

constexpr int kFrame = 882;  // sample frames per video frame at 50 fps

QWORD Pos(DWORD h)
{
    return BASS_ChannelGetPosition(h);
}

std::string ToneFile(const std::string& name, int major, const Tone& tone)
{
    std::string path = TempPath(name);
    EXPECT_TRUE(WriteTone(path, major, tone)) << path;
    return path;
}

HSTREAM Stream(const std::string& path)
{
    HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_PRESCAN);
    EXPECT_NE(h, 0u) << path << " error " << BASS_ErrorGetCode();
    return h;
}

struct SyncLog {
    struct Call {
        HSYNC sync;
        DWORD channel;
        uint64_t frame;
    };
    std::vector<Call> calls;
    static void Proc(HSYNC sync, DWORD channel, DWORD, void* user)
    {
        static_cast<SyncLog*>(user)->calls.push_back({sync, channel, host::FrameIndex()});
    }
};

}  // namespace

TEST(BassLoad, KindsLengthsAndErrorCodes)
{
    VirtualAudio audio;
    double seconds = 0;
    std::string xm = TempPath("song.xm");
    ASSERT_TRUE(WriteModuleXm(xm, 8, &seconds));
    HMUSIC music = BASS_MusicLoad(FALSE, xm.c_str(), 0, 0, BASS_MUSIC_PRESCAN, 0);
    ASSERT_NE(music, 0u);
    // The computed length follows the song's rows: 8 rows of 0.12 s.
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(music, BASS_ChannelGetLength(music)), seconds, 0.001);
    EXPECT_NEAR(seconds, 0.96, 1e-9);

    // Wide paths with the Unicode flag, and a name that says nothing of the format.
    std::string wav = ToneFile("tone.xm", SF_FORMAT_WAV, Tone{44100, 2, 12345});
    std::wstring wide(wav.begin(), wav.end());
    EXPECT_EQ(BASS_MusicLoad(FALSE, wide.c_str(), 0, 0, BASS_MUSIC_PRESCAN | BASS_UNICODE, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    HSTREAM stream = BASS_StreamCreateFile(FALSE, wide.c_str(), 0, 0, BASS_STREAM_PRESCAN | BASS_UNICODE);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(stream), QWORD{12345} * 4);
    EXPECT_FLOAT_EQ(BASS_ChannelBytes2Seconds(stream, 44100 * 4), 1.0f);

    // A missing file is not a format problem.
    std::string missing = TempPath("missing.mod");
    EXPECT_EQ(BASS_MusicLoad(FALSE, missing.c_str(), 0, 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, missing.c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    EXPECT_EQ(BASS_MusicLoad(FALSE, TempPath("").c_str(), 0, 0, 0, 0), 0u);  // a directory
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);

    // Text is neither a module nor a stream.
    std::string text = TempPath("notes.ogg");
    std::ofstream(text) << std::string(4000, 'x');
    EXPECT_EQ(BASS_MusicLoad(FALSE, text.c_str(), 0, 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, text.c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);

    // Each free call takes its own kind only, once.
    EXPECT_FALSE(BASS_StreamFree(music));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_TRUE(BASS_MusicFree(music));
    EXPECT_FALSE(BASS_MusicFree(music));
    EXPECT_TRUE(BASS_StreamFree(stream));
}

TEST(BassLoad, CompressedStreamsHaveTheirDecodedLength)
{
    VirtualAudio audio;
    struct Case {
        const char* name;
        int major;
        int rate;
    };
    for (Case c : {Case{"a.flac", SF_FORMAT_FLAC, 44100}, Case{"b.ogg", SF_FORMAT_OGG, 44100},
                   Case{"c.mp3", SF_FORMAT_MPEG, 44100}, Case{"d.ogg", SF_FORMAT_OGG, 22050}}) {
        std::string path = ToneFile(c.name, c.major, Tone{c.rate, 2, 30000, 440.0, 0.5});
        EXPECT_EQ(BASS_MusicLoad(FALSE, path.c_str(), 0, 0, 0, 0), 0u) << c.name;
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM) << c.name;
        HSTREAM h = Stream(path);
        int rate = 0;
        size_t decoded = DecodeWithSndfile(path, &rate).size() / 2;
        EXPECT_EQ(BASS_ChannelGetLength(h), QWORD{decoded} * 4) << c.name;
        EXPECT_NEAR(BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h)), double(decoded) / c.rate, 1e-4);
    }
}

TEST(BassPlayback, PositionFollowsVirtualTime)
{
    VirtualAudio audio;
    HSTREAM h = Stream(ToneFile("pos.wav", SF_FORMAT_WAV, Tone{44100, 2, 44100}));
    EXPECT_EQ(Pos(h), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    EXPECT_EQ(Pos(h), 0u);  // nothing heard before the frame ends
    audio.Frames(3);
    EXPECT_EQ(Pos(h), QWORD{3 * kFrame} * 4);

    // Stop keeps the position while time goes on.
    ASSERT_TRUE(BASS_ChannelStop(h));
    audio.Frames(2);
    EXPECT_EQ(Pos(h), QWORD{3 * kFrame} * 4);
    // Pause and resume continue where they were.
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    audio.Frames(1);
    ASSERT_TRUE(BASS_ChannelPause(h));
    EXPECT_FALSE(BASS_ChannelPause(h));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOPLAY);
    audio.Frames(4);
    EXPECT_EQ(Pos(h), QWORD{4 * kFrame} * 4);
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    audio.Frames(1);
    EXPECT_EQ(Pos(h), QWORD{5 * kFrame} * 4);
    // Playing again without restart changes nothing; restart goes back to 0.
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    EXPECT_EQ(Pos(h), QWORD{5 * kFrame} * 4);
    ASSERT_TRUE(BASS_ChannelPlay(h, TRUE));
    EXPECT_EQ(Pos(h), 0u);
    audio.Frames(2);
    EXPECT_EQ(Pos(h), QWORD{2 * kFrame} * 4);

    // After the natural end the position rests at the length; play starts over.
    audio.Frames(60);
    EXPECT_EQ(Pos(h), BASS_ChannelGetLength(h));
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    audio.Frames(1);
    EXPECT_EQ(Pos(h), QWORD{kFrame} * 4);
}

TEST(BassPlayback, OutputIsTheFileUpToVolume)
{
    VirtualAudio audio;
    std::vector<int16_t> samples;
    for (int i = 0; i < 3000; ++i) {
        samples.push_back(static_cast<int16_t>((i * 37) % 65536 - 32768));
        samples.push_back(static_cast<int16_t>(-i * 11));
    }
    std::string path = TempPath("ramp.wav");
    ASSERT_TRUE(WriteWav16(path, 44100, 2, samples));
    HSTREAM h = Stream(path);
    BASS_ChannelPlay(h, FALSE);
    audio.Frames(4);  // 3528 frames: the file, then silence
    ASSERT_EQ(audio.sound.size(), size_t{4 * kFrame * 2});
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), audio.sound.begin()));
    EXPECT_TRUE(std::all_of(audio.sound.begin() + 6000, audio.sound.end(), [](int16_t s) { return s == 0; }));

    // Volume 50 halves every sample (to rounding).
    audio.sound.clear();
    BASS_ChannelSetAttributes(h, -1, 50, -101);
    BASS_ChannelPlay(h, TRUE);
    audio.Frames(4);
    for (size_t i = 0; i < samples.size(); ++i)
        ASSERT_LE(std::abs(audio.sound[i] - samples[i] / 2.0), 0.5) << i;
    // Out-of-range attributes are clamped; other rates are refused.
    EXPECT_FALSE(BASS_ChannelSetAttributes(h, 22050, 200, -101));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    EXPECT_TRUE(BASS_ChannelSetAttributes(h, -1, -1, -101));
}

TEST(BassPlayback, RenderedSoundMatchesDirectDecoding)
{
    VirtualAudio audio;
    std::string xm = TempPath("render.xm");
    ASSERT_TRUE(WriteModuleXm(xm, 6, nullptr));
    std::string ogg = ToneFile("render.ogg", SF_FORMAT_OGG, Tone{44100, 2, 20000, 330.0, 0.7});
    struct Case {
        std::string path;
        std::vector<int16_t> direct;
        bool music;
    };
    for (Case c :
         {Case{xm, DecodeWithOpenmpt(xm), true}, Case{ogg, DecodeWithSndfile(ogg, nullptr), false}}) {
        audio.sound.clear();
        DWORD h =
            c.music ? BASS_MusicLoad(FALSE, c.path.c_str(), 0, 0, BASS_MUSIC_PRESCAN, 0) : Stream(c.path);
        ASSERT_NE(h, 0u);
        ASSERT_FALSE(c.direct.empty());
        size_t frames = static_cast<size_t>(BASS_ChannelGetLength(h) / 4);
        // A stream is as long as its decoding. A module ends at its computed
        // length, where the decoder still lets the last notes ring for 0.1 s.
        size_t directFrames = c.direct.size() / 2;
        if (c.music) {
            EXPECT_LE(frames, directFrames);
            EXPECT_LE(directFrames - frames, 4410u);
        } else {
            EXPECT_EQ(frames, directFrames);
        }
        BASS_ChannelPlay(h, FALSE);
        audio.Frames(static_cast<int>(frames / kFrame) + 2);
        size_t common = std::min(frames, c.direct.size() / 2) * 2;
        int worst = 0;
        for (size_t i = 0; i < common; ++i) worst = std::max(worst, std::abs(audio.sound[i] - c.direct[i]));
        EXPECT_LE(worst, 1) << c.path;
        EXPECT_TRUE(std::all_of(audio.sound.begin() + static_cast<long>(frames * 2), audio.sound.end(),
                                [](int16_t s) { return s == 0; }));
        // MIVOLA_AUDIO_KEEP=dir keeps both renderings for listening (sox).
        if (const char* keep = std::getenv("MIVOLA_AUDIO_KEEP")) {
            std::string base = std::string(keep) + (c.music ? "/module" : "/stream");
            WriteWav16(base + "-standin.wav", 44100, 2, audio.sound);
            WriteWav16(base + "-direct.wav", 44100, 2, c.direct);
        }
        // Restart plays exactly the same sound again.
        std::vector<int16_t> first(audio.sound.begin(), audio.sound.begin() + static_cast<long>(common));
        audio.sound.clear();
        BASS_ChannelPlay(h, TRUE);
        audio.Frames(static_cast<int>(frames / kFrame) + 2);
        EXPECT_TRUE(std::equal(first.begin(), first.end(), audio.sound.begin())) << c.path;
        // So does a restart after a stop half-way (a stopped module lets its
        // decoder go and opens it again).
        audio.sound.clear();
        BASS_ChannelPlay(h, TRUE);
        audio.Frames(static_cast<int>(frames / kFrame / 2));
        BASS_ChannelStop(h);
        audio.sound.clear();
        BASS_ChannelPlay(h, TRUE);
        audio.Frames(static_cast<int>(frames / kFrame) + 2);
        EXPECT_TRUE(std::equal(first.begin(), first.end(), audio.sound.begin())) << c.path;
    }
}

TEST(BassPlayback, OtherRatesAreResampledAtTheirOwnPace)
{
    VirtualAudio audio;
    HSTREAM h = Stream(ToneFile("slow.wav", SF_FORMAT_WAV, Tone{22050, 1, 22050, 1033.59375, 1.0}));
    EXPECT_EQ(BASS_ChannelGetLength(h), QWORD{22050} * 4);
    BASS_ChannelPlay(h, FALSE);
    audio.Frames(25);  // half a second
    EXPECT_NEAR(double(Pos(h)) / 4, 11025.0, 1.0);
    // Mono reaches both sides and the tone keeps its pitch (bin 6 of 256 at 44.1 kHz).
    float fft[128];
    BASS_ChannelGetData(h, fft, BASS_DATA_FFT256);
    EXPECT_EQ(std::max_element(fft, fft + 128) - fft, 6);
    EXPECT_NEAR(fft[6], 1.0f, 0.02f);
    DWORD level = BASS_ChannelGetLevel(h);
    EXPECT_NEAR(double(level & 0xFFFF), 32768.0, 200.0);
    EXPECT_NEAR(double(level >> 16), 32768.0, 200.0);
    audio.Frames(30);
    EXPECT_EQ(Pos(h), BASS_ChannelGetLength(h));
    EXPECT_EQ(audio.sound.size(), size_t{55 * kFrame * 2});
}

TEST(BassAnalysis, LevelIsThePeakOfWhatIsHeard)
{
    VirtualAudio audio;
    HSTREAM full = Stream(ToneFile("full.wav", SF_FORMAT_WAV, Tone{44100, 2, 44100, 1000.0, 1.0}));
    HSTREAM left = Stream(ToneFile("left.wav", SF_FORMAT_WAV, Tone{44100, 2, 44100, 1000.0, 1.0, true}));
    HSTREAM quiet = Stream(ToneFile("quiet.wav", SF_FORMAT_WAV, Tone{44100, 2, 44100, 1000.0, 0.0}));
    EXPECT_EQ(BASS_ChannelGetLevel(full), 0u);  // not playing yet
    for (HSTREAM h : {full, left, quiet}) BASS_ChannelPlay(h, FALSE);
    BASS_ChannelSetAttributes(full, -1, 10, -101);  // measured before the volume
    audio.Frames(2);
    DWORD l = BASS_ChannelGetLevel(full);
    EXPECT_GE(l & 0xFFFF, 32700u);
    EXPECT_LE(l & 0xFFFF, 32768u);
    EXPECT_EQ(l & 0xFFFF, l >> 16);
    EXPECT_GE(BASS_ChannelGetLevel(left), 32700u);
    EXPECT_EQ(BASS_ChannelGetLevel(left) >> 16, 0u);
    EXPECT_EQ(BASS_ChannelGetLevel(quiet), 0u);
    BASS_ChannelPause(full);
    EXPECT_EQ(BASS_ChannelGetLevel(full), 0u);
    BASS_ChannelStop(left);
    EXPECT_EQ(BASS_ChannelGetLevel(left), 0u);
    // Ended: silence, not the library's "not playing" -1.
    BASS_ChannelPlay(full, FALSE);
    audio.Frames(60);
    EXPECT_EQ(BASS_ChannelGetLevel(full), 0u);
}

TEST(BassAnalysis, SpectrumPeaksAtTheToneBin)
{
    VirtualAudio audio;
    // 20 * 44100 / 256: the centre of bin 20 of the 256-point transform, bin 40 of 512.
    HSTREAM tone = Stream(ToneFile("bin.wav", SF_FORMAT_WAV, Tone{44100, 2, 44100, 20 * 44100.0 / 256, 1.0}));
    HSTREAM quiet = Stream(ToneFile("zero.wav", SF_FORMAT_WAV, Tone{44100, 2, 44100, 1000.0, 0.0}));
    BASS_ChannelPlay(tone, FALSE);
    BASS_ChannelPlay(quiet, FALSE);
    audio.Frames(3);
    float fft[256];
    std::fill(fft, fft + 256, -1.0f);
    EXPECT_EQ(BASS_ChannelGetData(tone, fft, BASS_DATA_FFT256), 128u * 4);
    EXPECT_EQ(fft[128], -1.0f);  // nothing written past 128 values
    EXPECT_EQ(std::max_element(fft, fft + 128) - fft, 20);
    EXPECT_NEAR(fft[20], 1.0f, 0.01f);
    EXPECT_NEAR(fft[19], 0.5f, 0.01f);  // the Hann window's neighbours
    EXPECT_LT(fft[5], 0.001f);
    EXPECT_EQ(BASS_ChannelGetData(tone, fft, BASS_DATA_FFT512), 256u * 4);
    EXPECT_EQ(std::max_element(fft, fft + 256) - fft, 40);
    EXPECT_NEAR(fft[40], 1.0f, 0.01f);
    EXPECT_EQ(BASS_ChannelGetData(quiet, fft, BASS_DATA_FFT512), 256u * 4);
    EXPECT_TRUE(std::all_of(fft, fft + 256, [](float v) { return v == 0.0f; }));
    BASS_ChannelStop(tone);
    BASS_ChannelGetData(tone, fft, BASS_DATA_FFT256);
    EXPECT_TRUE(std::all_of(fft, fft + 128, [](float v) { return v == 0.0f; }));
    EXPECT_EQ(BASS_ChannelGetData(tone, fft, 1234), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

TEST(BassSync, EndFiresOnceWhenTheLastSampleIsHeard)
{
    VirtualAudio audio;
    // 2000 frames end inside the third video frame (1764..2646).
    HSTREAM h = Stream(ToneFile("end.wav", SF_FORMAT_WAV, Tone{44100, 2, 2000}));
    SyncLog log;
    HSYNC sync = BASS_ChannelSetSync(h, BASS_SYNC_END | BASS_SYNC_ONETIME, 0, SyncLog::Proc, &log);
    ASSERT_NE(sync, 0u);
    BASS_ChannelPlay(h, FALSE);
    audio.Frames(2);
    EXPECT_TRUE(log.calls.empty());
    audio.Frames(1);
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0].sync, sync);
    EXPECT_EQ(log.calls[0].channel, h);
    EXPECT_EQ(log.calls[0].frame, 3u);
    // A one-time sync is gone: the next end passes silently.
    BASS_ChannelPlay(h, TRUE);
    audio.Frames(5);
    EXPECT_EQ(log.calls.size(), 1u);
    EXPECT_FALSE(BASS_ChannelRemoveSync(h, sync));

    // A lasting sync fires at every end; a removed one never.
    HSYNC lasting = BASS_ChannelSetSync(h, BASS_SYNC_END, 0, SyncLog::Proc, &log);
    HSYNC removed = BASS_ChannelSetSync(h, BASS_SYNC_END | BASS_SYNC_ONETIME, 0, SyncLog::Proc, &log);
    EXPECT_TRUE(BASS_ChannelRemoveSync(h, removed));
    for (int round = 0; round < 2; ++round) {
        BASS_ChannelPlay(h, TRUE);
        audio.Frames(5);
    }
    ASSERT_EQ(log.calls.size(), 3u);
    EXPECT_EQ(log.calls[2].sync, lasting);
    // A stopped channel does not end.
    BASS_ChannelPlay(h, TRUE);
    audio.Frames(1);
    BASS_ChannelStop(h);
    audio.Frames(5);
    EXPECT_EQ(log.calls.size(), 3u);
    EXPECT_EQ(BASS_ChannelSetSync(h, 7, 0, SyncLog::Proc, &log), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

TEST(BassSync, CallbackMayCallTheLibrary)
{
    VirtualAudio audio;
    HSTREAM h = Stream(ToneFile("again.wav", SF_FORMAT_WAV, Tone{44100, 2, 1000}));
    static int ends;
    ends = 0;
    // Restarts its own channel from inside the callback: no lock is held there.
    auto proc = [](HSYNC, DWORD channel, DWORD, void*) {
        ++ends;
        BASS_ChannelPlay(channel, TRUE);
    };
    BASS_ChannelSetSync(h, BASS_SYNC_END, 0, proc, nullptr);
    BASS_ChannelPlay(h, FALSE);
    audio.Frames(6);
    EXPECT_EQ(ends, 3);
}

TEST(BassLifetime, FreeEndsEverythingAndOldHandlesFail)
{
    VirtualAudio audio;
    HSTREAM h = Stream(ToneFile("free.wav", SF_FORMAT_WAV, Tone{44100, 2, 44100}));
    SyncLog log;
    BASS_ChannelSetSync(h, BASS_SYNC_END | BASS_SYNC_ONETIME, 0, SyncLog::Proc, &log);
    BASS_ChannelPlay(h, FALSE);
    audio.Frames(2);
    EXPECT_FALSE(BASS_Init(1, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    ASSERT_TRUE(BASS_Free());
    size_t heard = audio.sound.size();
    audio.Frames(60);
    EXPECT_EQ(audio.sound.size(), heard);  // nothing mixed any more
    EXPECT_TRUE(log.calls.empty());
    float fft[128];
    EXPECT_EQ(BASS_ChannelGetPosition(h), ~QWORD{0});
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(BASS_ChannelPlay(h, TRUE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(BASS_ChannelStop(h));
    EXPECT_FALSE(BASS_ChannelRemoveSync(h, 1));
    EXPECT_FALSE(BASS_ChannelSetAttributes(h, -1, 100, -101));
    EXPECT_EQ(BASS_ChannelGetData(h, fft, BASS_DATA_FFT256), DWORD(-1));
    EXPECT_FALSE(BASS_StreamFree(h));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(BASS_Free());
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, TempPath("free.wav").c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    // A new library does not know the old handles.
    ASSERT_TRUE(BASS_Init(1, 44100, 0, nullptr, nullptr));
    HSTREAM again = Stream(TempPath("free.wav"));
    EXPECT_NE(again, h);
    EXPECT_FALSE(BASS_ChannelPlay(h, FALSE));
}

TEST(BassLifetime, StoppedOutputHoldsTime)
{
    VirtualAudio audio;
    HSTREAM h = Stream(ToneFile("hold.wav", SF_FORMAT_WAV, Tone{44100, 2, 44100}));
    BASS_ChannelPlay(h, FALSE);
    audio.Frames(1);
    BASS_Stop();
    audio.Frames(3);
    EXPECT_EQ(Pos(h), QWORD{kFrame} * 4);
    EXPECT_EQ(audio.sound.size(), size_t{4 * kFrame * 2});  // silence keeps the sound in step
    BASS_Start();
    audio.Frames(1);
    EXPECT_EQ(Pos(h), QWORD{2 * kFrame} * 4);
}
