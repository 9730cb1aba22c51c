// The song player over the audio library in virtual runs.
#include "data/ArtshowData.h"
#include "data/MediaCache.h"
#include "data/SongPlayer.h"
#include "layers/ArtshowMonitor.h"
#include "platform/bass/bass.h"
#include "platform/host/Host.h"
#include "platform/win32/Log.h"
#include "platform/win32/win32.h"
#include "tests/support/Audio.h"
#include "tests/support/Show.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>
#include <cwchar>

using namespace support;

namespace {

constexpr int kSongs = 3;
constexpr int kSongFrames = 3000;  // ends inside the fourth video frame at 50 fps

// Three short songs (two streams and a module) in the catalogue, and a clean player.
class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        audio = std::make_unique<VirtualAudio>();
        SetLogSink([this](const std::string& line) { log += line; }, false);
        static bool written = false;
        if (!written) {
            WriteTone(TempPath("s0.wav"), SF_FORMAT_WAV, Tone{44100, 2, kSongFrames, 500.0});
            WriteTone(TempPath("s1.ogg"), SF_FORMAT_OGG, Tone{44100, 2, kSongFrames, 700.0});
            WriteTone(TempPath("s2.wav"), SF_FORMAT_WAV, Tone{44100, 2, kSongFrames, 900.0});
            written = true;
        }
        songs = new MediaItem[kSongs]{};
        const char* names[kSongs] = {"s0.wav", "s1.ogg", "s2.wav"};
        for (int i = 0; i < kSongs; ++i) {
            std::string path = TempPath(names[i]);
            std::mbstowcs(songs[i].path, path.c_str(), 259);
            LoadAudio(songs[i]);
        }
        ResetShow();
        data.songCount = kSongs;
        data.songs = songs;
        log.clear();
    }
    void TearDown() override
    {
        ResetShow();
        delete[] songs;
        SetLogSink({}, true);
        audio.reset();
    }

    // Frames pass; the frame loop hands each song end to the player and turns
    // the carousel when the player moved on.
    void Run(int frames)
    {
        for (int i = 0; i < frames; ++i) {
            audio->Frames(1);
            if (player.HandlePendingSongEnd()) monitor.StartTurn(1);
        }
    }
    DWORD Channel(int i) const { return songs[i].handle.channel; }
    QWORD Pos(int i) const { return BASS_ChannelGetPosition(Channel(i)); }
    bool Audible(int i) const { return BASS_ChannelGetLevel(Channel(i)) != 0; }
    int Current() const { return player.current ? int(player.current - songs) : -1; }

    std::unique_ptr<VirtualAudio> audio;
    MediaItem* songs = nullptr;
    std::string log;
};

}  // namespace

TEST_F(PlayerTest, LoadAudioOpensModulesAndStreams)
{
    EXPECT_EQ(songs[0].kind, MediaStream);
    EXPECT_EQ(songs[1].kind, MediaStream);
    EXPECT_EQ(songs[0].lengthMs, 68);  // 3000 / 44100 s, truncated
    double seconds = 0;
    ASSERT_TRUE(WriteModuleXm(TempPath("m.xm"), 4, &seconds));
    MediaItem item{};
    std::string path = TempPath("m.xm");
    std::mbstowcs(item.path, path.c_str(), 259);
    LoadAudio(item);
    EXPECT_EQ(item.kind, MediaModule);
    // 0.48 s as a float times 1000, truncated.
    EXPECT_EQ(item.lengthMs, 479);
    EXPECT_EQ(log, "Loaded module: \"" + path + "\" (479 ms)\n");
}

TEST_F(PlayerTest, LoadFailuresNameTheReasonAndEndTheProgramWithStatusOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto load = [](const std::string& path) {
        SetLogSink([](const std::string& line) { std::fputs(line.c_str(), stderr); }, false);
        MediaItem item{};
        std::mbstowcs(item.path, path.c_str(), 259);
        LoadAudio(item);
    };
    // Missing: the module attempt fails with a code other than "not a module".
    EXPECT_EXIT(load(TempPath("gone.ogg")), ::testing::ExitedWithCode(1),
                "gone.ogg\": No such file or directory\n.*ERROR LOADING MODULE");
    std::string junk = TempPath("junk.mp3");
    FILE* f = std::fopen(junk.c_str(), "wb");
    std::fputs("not a song at all, just words", f);
    std::fclose(f);
    EXPECT_EXIT(load(junk), ::testing::ExitedWithCode(1), "junk.mp3\": .+\n.*ERROR LOADING STREAM");
    // A song without a path says so.
    EXPECT_EXIT(load(""), ::testing::ExitedWithCode(1), "\"\": no path\n.*ERROR LOADING MODULE");
}

TEST_F(PlayerTest, PlayPauseStopAndRestart)
{
    player.PlayerCommand(SongPlayer::CmdPlay);
    EXPECT_EQ(Current(), 0);
    EXPECT_EQ(log, "Playing: 0\n");
    Run(1);
    EXPECT_TRUE(Audible(0));
    // Every song starts at full volume: the mix carries the file's full scale.
    int peak = 0;
    for (int16_t s : audio->sound) peak = std::max(peak, std::abs(int(s)));
    EXPECT_GE(peak, 32700);

    // Pause twice resumes where it paused; play on a paused song resumes too.
    player.PlayerCommand(SongPlayer::CmdPause);
    EXPECT_EQ(player.paused, 1);
    Run(1);
    EXPECT_EQ(Pos(0), QWORD{882} * 4);
    player.PlayerCommand(SongPlayer::CmdPause);
    EXPECT_EQ(player.paused, 0);
    Run(1);
    EXPECT_EQ(Pos(0), QWORD{2 * 882} * 4);
    player.PlayerCommand(SongPlayer::CmdPause);
    player.PlayerCommand(SongPlayer::CmdPlay);
    EXPECT_EQ(player.paused, 0);
    EXPECT_EQ(Pos(0), QWORD{2 * 882} * 4);

    // Stop keeps the index; play starts that song from the beginning.
    player.PlayerCommand(SongPlayer::CmdStop);
    EXPECT_EQ(player.current, nullptr);
    EXPECT_EQ(player.currentIndex, 0);
    Run(1);
    EXPECT_FALSE(Audible(0));
    player.PlayerCommand(SongPlayer::CmdPlay);
    EXPECT_EQ(Pos(0), 0u);

    // An unknown command changes nothing.
    player.PlayerCommand(7);
    EXPECT_EQ(Current(), 0);
}

TEST_F(PlayerTest, PreviousAndNextWrapAround)
{
    // While stopped only the index moves.
    player.PlayerCommand(SongPlayer::CmdNext);
    EXPECT_EQ(player.currentIndex, 1);
    EXPECT_EQ(player.current, nullptr);
    Run(1);
    EXPECT_FALSE(Audible(1));
    player.PlayerCommand(SongPlayer::CmdPrevious);
    player.PlayerCommand(SongPlayer::CmdPrevious);
    EXPECT_EQ(player.currentIndex, 2);
    EXPECT_TRUE(log.empty());

    // While playing the neighbour starts and the old song stops.
    player.PlayerCommand(SongPlayer::CmdPlay);
    Run(1);
    player.PlayerCommand(SongPlayer::CmdNext);
    EXPECT_EQ(Current(), 0);
    Run(1);
    EXPECT_TRUE(Audible(0));
    EXPECT_FALSE(Audible(2));
    player.PlayerCommand(SongPlayer::CmdPrevious);
    EXPECT_EQ(Current(), 2);
    EXPECT_EQ(log, "Playing: 2\nPlaying: 0\nPlaying: 2\n");
}

TEST_F(PlayerTest, SongEndAdvancesAndTurnsTheCarousel)
{
    player.PlaySong(0);
    Run(3);
    EXPECT_EQ(Current(), 0);
    Run(1);  // the end is heard at this frame boundary
    EXPECT_EQ(Current(), 1);
    // The next song began at the sample after the last one's end, not at the
    // hand-over: no gap in the sound.
    EXPECT_EQ(Pos(1), QWORD{4 * 882 - kSongFrames} * 4);
    for (int64_t f = kSongFrames - 50; f < kSongFrames + 50; ++f)
        ASSERT_FALSE(audio->sound[f * 2] == 0 && audio->sound[f * 2 + 2] == 0) << "silence at frame " << f;
    EXPECT_EQ(monitor.turnDirection, 1);
    EXPECT_FLOAT_EQ(monitor.turnAngle, ArtshowMonitor::kQuarterTurn);
    EXPECT_EQ(monitor.turnTimer.startTick, GetTickCount());
    EXPECT_EQ(log, "Playing: 0\nPlaying: 1\n");

    // A turn in progress is left alone.
    Run(2);
    ASSERT_GT(monitor.turnTimer.Progress(), 0.0f);
    ASSERT_LT(monitor.turnTimer.Progress(), 1.0f);
    Run(2);
    EXPECT_EQ(Current(), 2);
    EXPECT_FLOAT_EQ(monitor.turnAngle, ArtshowMonitor::kQuarterTurn);

    // The last song without repeat stays current, silent; nothing else plays.
    Run(10);
    EXPECT_EQ(Current(), 2);
    EXPECT_FALSE(Audible(2));
    EXPECT_EQ(Pos(2), BASS_ChannelGetLength(Channel(2)));
    EXPECT_TRUE(
        std::all_of(audio->sound.end() - 882 * 2, audio->sound.end(), [](int16_t s) { return s == 0; }));
    // ... and play starts it again.
    player.PlayerCommand(SongPlayer::CmdPlay);
    Run(1);
    EXPECT_TRUE(Audible(2));

    // With repeat the first song follows the last.
    player.repeat = 1;
    Run(4);
    EXPECT_EQ(Current(), 0);
}

TEST_F(PlayerTest, RestartingThePlayingSongAdvancesOnlyOnce)
{
    player.PlaySong(0);
    Run(2);
    player.PlayerCommand(SongPlayer::CmdPlay);  // restart from the beginning
    EXPECT_EQ(Pos(0), 0u);
    Run(3);
    EXPECT_EQ(Current(), 0);
    Run(1);
    EXPECT_EQ(Current(), 1);
    Run(2);
    EXPECT_EQ(Current(), 1);
    EXPECT_EQ(log, "Playing: 0\nPlaying: 0\nPlaying: 1\n");
}

TEST_F(PlayerTest, EndOvertakenByACommandIsDropped)
{
    player.PlaySong(0);
    audio->Frames(4);  // song 0 ends; the frame loop has not run yet
    player.PlayerCommand(SongPlayer::CmdNext);
    player.HandlePendingSongEnd();
    EXPECT_EQ(Current(), 1);
    player.PlayerCommand(SongPlayer::CmdStop);
    player.HandlePendingSongEnd();
    EXPECT_EQ(player.current, nullptr);
}

TEST_F(PlayerTest, ShuffleDrawsTheUnseededSequence)
{
    // The generator's state at start is that of seed 1.
    auto draws = [&] {
        std::srand(1);
        player.shuffle = 1;
        std::vector<int> picks;
        for (int i = 0; i < 12; ++i) picks.push_back(player.StepIndex(+1));
        return picks;
    };
    std::vector<int> first = draws();
    EXPECT_EQ(draws(), first);
    std::srand(1);
    for (int pick : first) EXPECT_EQ(pick, std::rand() % kSongs);
    // The end of a song draws from the same generator.
    std::srand(1);
    int expected = std::rand() % kSongs;
    std::srand(1);
    player.currentIndex = 0;
    player.PlaySong(0);
    Run(4);
    EXPECT_EQ(Current(), expected);
}

TEST_F(PlayerTest, EmptyCatalogueAndBadNumbersDoNothing)
{
    player.PlaySong(-1);
    player.PlaySong(kSongs);
    EXPECT_EQ(player.current, nullptr);
    data.songCount = 0;
    data.songs = nullptr;
    for (uint32_t c = 0; c <= 6; ++c) player.PlayerCommand(c);
    player.shuffle = 1;
    player.PlayerCommand(SongPlayer::CmdNext);
    player.OnSongEnd();
    player.PlaySong(0);
    EXPECT_EQ(player.current, nullptr);
    EXPECT_EQ(player.currentIndex, 0);
    EXPECT_TRUE(log.empty());
}
