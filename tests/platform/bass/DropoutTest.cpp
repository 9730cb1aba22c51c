// Live sound through a real sound server while the machine is saturated: a
// private PulseAudio with a null sink, the sink's monitor recorded, a renderer
// and two busy processes taking every core. The recording must hold no block
// of exact digital silence (the songs have none), the output must count no
// underrun, and song changes must be heard at once and in step with the
// position the library reports.
#include "platform/bass/Output.h"
#include "platform/bass/bass.h"
#include "platform/host/Host.h"
#include "tests/support/Audio.h"
#include "tests/support/Run.h"
#include "tests/support/SoundServer.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using namespace support;
using namespace std::chrono_literals;

namespace fs = std::filesystem;

TEST(LiveDropouts, NoSilenceUnderFullLoadThroughPulseAudio)
{
    ASSERT_EQ(SoundServer::Missing(SoundServer::PulseAudio), "") << "is needed (scripts/setup installs it)";
    const fs::path capture = kCaptureTool, content = kTestContent;
    ASSERT_TRUE(fs::exists(capture) && fs::exists(content / "art.xml"));

    SoundServer server(SoundServer::PulseAudio);
    ASSERT_TRUE(server.Started()) << "PulseAudio did not start";

    // Songs with no silence in them: tones at two levels, so each change is
    // found in the recording; one at 22.05 kHz goes through the resampler.
    struct Song {
        const char* name;
        int rate;
        double amplitude;
    };
    std::vector<Song> songs = {{"low.wav", 44100, 0.2},
                               {"high.ogg", 22050, 0.6},
                               {"low2.flac", 44100, 0.2},
                               {"high2.wav", 44100, 0.6}};
    std::vector<HSTREAM> handles;
    host::Reset();  // live
    setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
    ASSERT_TRUE(BASS_Init(1, 44100, 0, nullptr, nullptr));
    for (const Song& s : songs) {
        std::string path = TempPath(s.name);
        int major = s.name[std::string(s.name).size() - 1] == 'g'            ? SF_FORMAT_OGG
                    : std::string(s.name).find(".flac") != std::string::npos ? SF_FORMAT_FLAC
                                                                             : SF_FORMAT_WAV;
        ASSERT_TRUE(WriteTone(path, major, Tone{s.rate, 2, s.rate * 40, 441.0, s.amplitude}));
        int rate = 0;
        ASSERT_TRUE(SilentBlocks(DecodeWithSndfile(path, &rate), 44).empty()) << s.name;
        handles.push_back(BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_PRESCAN));
        ASSERT_NE(handles.back(), 0u);
    }

    // Every core busy: the renderer at full size with multisampling, and two spinning processes.
    Recorder recorder("mivola_test.monitor");
    ASSERT_TRUE(recorder.Ok());
    const double recordingStart = SteadyNow();
    std::vector<pid_t> load = {Spawn({capture.string(), "--content", content.string(), "--modes", "1920x1080",
                                      "--max-seconds", "600", "--video", "/dev/null"}),
                               Spawn({"sh", "-c", "while :; do :; done"}),
                               Spawn({"sh", "-c", "while :; do :; done"})};
    std::this_thread::sleep_for(2s);  // the renderer is past loading

    // 62 s of sound; a song change every 4 s, a volume change between them.
    struct Change {
        double at;
        double shownAt;
        bool toHigh;
    };
    std::vector<Change> changes;
    const double start = SteadyNow();
    size_t current = 0;
    BASS_ChannelPlay(handles[0], TRUE);
    for (int step = 1; SteadyNow() - start < 62.0; ++step) {
        std::this_thread::sleep_for(2s);
        BASS_ChannelSetAttributes(handles[current], -1, step % 2 ? 90 : 100, -101);
        std::this_thread::sleep_for(2s);
        size_t next = (current + 1) % handles.size();
        // The next song starts before the last one stops: were the test thread
        // preempted between the two calls, stopping first would put silence in
        // the mix that no offline render of the same change has.
        Change c{SteadyNow(), 0, songs[next].amplitude > 0.4};
        BASS_ChannelPlay(handles[next], TRUE);
        BASS_ChannelStop(handles[current]);
        // The shown clock: when the reported position says 10 ms have been heard.
        while (BASS_ChannelGetPosition(handles[next]) < 441 * 4 && SteadyNow() - c.at < 1.0)
            std::this_thread::sleep_for(500us);
        c.shownAt = SteadyNow() - 0.010;
        changes.push_back(c);
        current = next;
    }
    // Only the loaded minute is judged: stopping the load processes and the server is
    // not part of it. Half a second of margin covers the recorder's start-up delay.
    const double judgedSeconds = SteadyNow() - recordingStart - 0.5;
    for (pid_t p : load) StopProcess(p);
    std::this_thread::sleep_for(300ms);
    recorder.Finish();
    bass::OutputStats stats = bass::LastOutputStats();
    BASS_Free();

    const std::vector<int16_t>& heard = recorder.samples;
    ASSERT_GT(heard.size() / 2, size_t{60 * 44100}) << "recording too short";
    auto blocks = SilentBlocks(heard, 44);
    for (auto [at, length] : blocks) {
        if (at / 44100.0 >= judgedSeconds) continue;
        double nearest = 1e9;
        for (const Change& c : changes)
            if (std::fabs(recorder.TimeOf(at) - c.at) < std::fabs(nearest))
                nearest = recorder.TimeOf(at) - c.at;
        ADD_FAILURE() << "silence of " << length << " frames at " << at / 44100.0 << " s, " << 1000 * nearest
                      << " ms from the nearest song change";
    }
    EXPECT_EQ(stats.underruns, 0) << "longest gap " << stats.longestGapFrames << " frames";

    // Each change to the high tone: the command's latency to the first heard
    // sample, and how far the shown position is from what is heard.
    double worstLatency = 0, worstOffset = 0, sumLatency = 0, sumOffset = 0;
    int measured = 0;
    for (const Change& c : changes) {
        if (!c.toHigh) continue;
        int64_t found =
            ChangeHeard(heard, static_cast<int64_t>((c.at - recorder.TimeOf(0)) * 44100.0) - 4410, true);
        if (found < 0) continue;
        // Back to the tone's first sample: the first loud one is within a quarter period of it.
        double heardAt = recorder.TimeOf(found) - 0.25 / 441.0;
        double latency = heardAt - c.at, offset = c.shownAt - heardAt;
        worstLatency = std::max(worstLatency, latency);
        worstOffset = std::max(worstOffset, std::fabs(offset));
        sumLatency += latency;
        sumOffset += offset;
        ++measured;
    }
    ASSERT_GT(measured, 5);
    std::printf("[ measure  ] %d changes: command to heard %.1f ms (worst %.1f); shown - heard %.1f ms "
                "(worst |%.1f|); "
                "queue %.0f ms; mixer thread CPU %.2f s in %.0f s\n",
                measured, 1000 * sumLatency / measured, 1000 * worstLatency, 1000 * sumOffset / measured,
                1000 * worstOffset, stats.queueFrames * 1000.0 / 44100, stats.mixerCpuSeconds,
                SteadyNow() - start);
}
