// Live runs: SDL's dummy audio driver (or the silent device) with real time,
// the sync thread, and the song player's hand-over to the main thread.
#include "data/ArtshowData.h"
#include "data/MediaCache.h"
#include "data/SongPlayer.h"
#include "platform/bass/bass.h"
#include "platform/host/Host.h"
#include "tests/support/Audio.h"
#include "tests/support/Show.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

using namespace support;
using namespace std::chrono_literals;

namespace {

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct EndWatch {
    std::atomic<int> calls{0};
    std::atomic<bool> onMainThread{false};
    std::thread::id main = std::this_thread::get_id();
    static void Proc(HSYNC, DWORD, DWORD, void* user)
    {
        auto* w = static_cast<EndWatch*>(user);
        if (std::this_thread::get_id() == w->main) w->onMainThread = true;
        ++w->calls;
    }
};

// Plays a 0.15 s stream to its end in real time.
void PlayToEnd()
{
    std::string path = TempPath("live.wav");
    ASSERT_TRUE(WriteTone(path, SF_FORMAT_WAV, Tone{44100, 2, 6615, 440.0, 0.5}));
    HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u);
    EndWatch watch;
    BASS_ChannelSetSync(h, BASS_SYNC_END | BASS_SYNC_ONETIME, 0, EndWatch::Proc, &watch);
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    QWORD last = 0;
    bool silentInside = false;
    std::string trace;  // time: heard frame / level, shown when a check fails
    while (watch.calls == 0 && std::chrono::steady_clock::now() - start < 5s) {
        QWORD pos = BASS_ChannelGetPosition(h);
        EXPECT_GE(pos, last);  // the heard position never goes back
        last = pos;
        DWORD level = BASS_ChannelGetLevel(h);
        // While the position is inside the tone something is heard. (A busy
        // machine may not wake this thread in time to see it, so no more is asked.)
        if (pos > 4 * 100 && pos < BASS_ChannelGetLength(h) / 2 && level == 0) silentInside = true;
        double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        trace += std::to_string(int(t * 1000)) + "ms:" + std::to_string(pos / 4) + "/" +
                 std::to_string(level & 0xFFFF) + " ";
        std::this_thread::sleep_for(1ms);
    }
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(watch.calls, 1);
    EXPECT_FALSE(watch.onMainThread);
    EXPECT_FALSE(silentInside) << trace;
    EXPECT_GE(elapsed, 0.12);  // not before the sound could have been heard
    EXPECT_EQ(BASS_ChannelGetPosition(h), BASS_ChannelGetLength(h));
    EXPECT_EQ(BASS_ChannelGetLevel(h), 0u);
}

class LiveTest : public ::testing::Test {
protected:
    void SetUp() override { host::Reset(); }  // live
    void TearDown() override { BASS_Free(); }
    std::string Log() const { return log.Text(); }
    LogCapture log;
};

}  // namespace

TEST_F(LiveTest, DummyDriverPlaysInRealTime)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(BASS_Init(1, 44100, 0, nullptr, nullptr));
    // One line says which output was chosen and why.
    EXPECT_EQ(Log(), "[bass] sound output: SDL's dummy driver, as SDL_AUDIODRIVER asks\n");
    PlayToEnd();
}

TEST_F(LiveTest, NoDeviceFallsBackToTheSilentDevice)
{
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    ASSERT_TRUE(BASS_Init(1, 44100, 0, nullptr, nullptr));
    EXPECT_NE(Log().find("no sound device"), std::string::npos);
    PlayToEnd();
}

// Without a sound server the libraries behind SDL say nothing on standard
// error; our one line names the output chosen and why.
TEST_F(LiveTest, WithoutAServerOnlyOurLineSaysSo)
{
    unsetenv("SDL_AUDIODRIVER");
    const char* server = std::getenv("PULSE_SERVER");
    std::string saved = server ? server : "";
    setenv("PULSE_SERVER", ("unix:" + TempPath("no-server-here")).c_str(), 1);
    std::string errors = TempPath("stderr.txt");
    std::fflush(stderr);
    int kept = dup(2);
    int file = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    dup2(file, 2);
    bool ok = BASS_Init(1, 44100, 0, nullptr, nullptr);
    std::fflush(stderr);
    dup2(kept, 2);
    close(kept);
    close(file);
    if (server) setenv("PULSE_SERVER", saved.c_str(), 1);
    else unsetenv("PULSE_SERVER");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ReadText(errors), "");
    std::string said = Log();
    EXPECT_EQ(said.find("[bass] sound output: "), 0u) << said;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << said;
    EXPECT_NE(said.find("no sound server answered"), std::string::npos) << said;
}

// Songs end on the sync thread while the main thread runs the frame loop's
// hand-over and issues commands; ThreadSanitizer watches this one.
TEST_F(LiveTest, SongEndsRaceWithCommands)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(BASS_Init(1, 44100, 0, nullptr, nullptr));
    const int count = 4;
    std::vector<MediaItem> songs(count);
    for (int i = 0; i < count; ++i) {
        std::string path = TempPath("race" + std::to_string(i) + ".wav");
        ASSERT_TRUE(WriteTone(path, SF_FORMAT_WAV, Tone{44100, 2, 1500 + 400 * i, 300.0 + 100 * i}));
        std::mbstowcs(songs[i].path, path.c_str(), 259);
        LoadAudio(songs[i]);
    }
    ResetShow();
    data.songCount = count;
    data.songs = songs.data();
    player.repeat = 1;
    player.PlaySong(0);
    auto start = std::chrono::steady_clock::now();
    int pass = 0;
    float fft[128];
    while (std::chrono::steady_clock::now() - start < 1500ms) {
        player.HandlePendingSongEnd();
        if (player.current) {
            BASS_ChannelGetLevel(player.current->handle.channel);
            BASS_ChannelGetData(player.current->handle.channel, fft, BASS_DATA_FFT256);
            BASS_ChannelGetPosition(player.current->handle.channel);
        }
        ++pass;
        if (pass % 97 == 0) player.PlayerCommand(SongPlayer::CmdNext);
        if (pass % 151 == 0) player.PlayerCommand(SongPlayer::CmdPause);
        if (pass % 157 == 0) player.PlayerCommand(SongPlayer::CmdPlay);
        std::this_thread::sleep_for(1ms);
    }
    player.StopSong();
    std::string text = Log();
    size_t plays = 0;
    for (size_t at = text.find("Playing:"); at != std::string::npos; at = text.find("Playing:", at + 1))
        ++plays;
    // Far more songs started than the commands alone account for.
    EXPECT_GT(plays, size_t{20});
    ResetShow();
    BASS_Free();
}
