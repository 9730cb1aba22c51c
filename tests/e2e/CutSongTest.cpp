// A song file cut short (as an interrupted copy leaves it): the player moves
// on where its audio really ends, and the log gives the length that decodes.
#include "platform/bass/bass.h"
#include "platform/host/Host.h"
#include "tests/support/Run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

namespace {

namespace fs = std::filesystem;

// The run's log and standard error together, and its exit status.
int RunCapture(const fs::path& content, double seconds, std::string& log)
{
    support::CommandResult run = support::RunCommand(
        support::Quote(support::kCaptureTool.string()) + " --content " + support::Quote(content.string()) +
        " --fps 20 --windowed --no-multisample --event '2 key space down' --event '2.1 key space up'"
        " --max-seconds " +
        std::to_string(seconds) + " 2>&1");
    log = run.out;
    return run.status;
}

int LoggedMs(const std::string& log, const std::string& file)
{
    std::smatch m;
    if (!std::regex_search(log, m, std::regex(file + "\" \\((\\d+) ms\\)"))) return -1;
    return std::stoi(m[1]);
}

}  // namespace

TEST(CutSong, PlayerMovesOnWhereTheAudioEnds)
{
    ASSERT_TRUE(fs::exists(support::kCaptureTool)) << support::kCaptureTool;
    fs::path dir = support::FreshDir("cut");
    fs::copy(support::kTestContent, dir / "content", fs::copy_options::recursive);
    fs::path content = dir / "content";
    fs::path mp3 = content / "songs/copper_sunrise.mp3";

    // The whole song's length.
    host::SetRunMode(host::RunMode::Virtual);
    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    HSTREAM h = BASS_StreamCreateFile(FALSE, mp3.c_str(), 0, 0, BASS_STREAM_PRESCAN);
    int wholeMs = static_cast<int>(BASS_ChannelBytes2Seconds(h, BASS_ChannelGetLength(h)) * 1000);
    BASS_Free();
    ASSERT_GT(wholeMs, 2000);

    // Half the file, and the MP3 first in the catalogue so it plays when the intro is skipped.
    const std::string bytes = support::ReadText(mp3);
    support::WriteText(mp3, bytes.substr(0, bytes.size() / 2));
    support::WriteText(
        content / "art.xml",
        "<bits><songs><song path=\"songs/copper_sunrise.mp3\" titlepic=\"titles/copper_sunrise.png\"/>"
        "<song path=\"songs/paper_lanterns.ogg\" "
        "titlepic=\"titles/paper_lanterns.png\"/></songs></bits>\n");

    std::string probe;
    ASSERT_EQ(RunCapture(content, 1.0, probe), 0) << probe;
    int cutMs = LoggedMs(probe, "copper_sunrise.mp3");
    EXPECT_NEAR(cutMs, wholeMs / 2, wholeMs / 10) << probe;
    EXPECT_EQ(probe.find("mpg123"), std::string::npos) << probe;  // no decoder chatter

    // Space at 2 s starts song 0 in the frame after; song 1 follows at its real end.
    double start = 2.05, end = start + cutMs / 1000.0;
    std::string before, after;
    ASSERT_EQ(RunCapture(content, end - 0.2, before), 0);
    ASSERT_EQ(RunCapture(content, end + 0.2, after), 0);
    EXPECT_NE(before.find("Playing: 0\n"), std::string::npos) << before;
    EXPECT_EQ(before.find("Playing: 1\n"), std::string::npos) << before;
    EXPECT_NE(after.find("Playing: 1\n"), std::string::npos) << after;
    fs::remove_all(dir);
}
