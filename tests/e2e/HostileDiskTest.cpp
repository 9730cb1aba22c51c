// Hostile disks: the test content with one file or catalogue entry broken on
// purpose, each run through mivola-capture. Every case ends with its expected
// status and log line, and well within a generous time bound (a guard against
// hangs, not a speed measurement).
#include "tests/support/Run.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using support::kCaptureTool;
using support::kTestContent;
using support::ReadText;
using support::WriteText;

void Replace(const fs::path& p, const std::string& pattern, const std::string& with)
{
    WriteText(p, std::regex_replace(ReadText(p), std::regex(pattern), with));
}

std::string Le16(unsigned v)
{
    return {char(v & 0xFF), char(v >> 8)};
}

std::string Le32(uint32_t v)
{
    return Le16(v & 0xFFFF) + Le16(v >> 16);
}

// A float WAV of 8000 mono frames, every fourth one not a number.
std::string NanWav()
{
    std::string data;
    const float values[] = {0.5f, -0.25f, std::nanf(""), 0.125f};
    for (int i = 0; i < 8000; ++i) data.append(reinterpret_cast<const char*>(&values[i % 4]), 4);
    return "RIFF" + Le32(uint32_t(36 + data.size())) + "WAVEfmt " + Le32(16) + Le16(3) + Le16(1) +
           Le32(8000) + Le32(32000) + Le16(4) + Le16(32) + "data" + Le32(uint32_t(data.size())) + data;
}

struct Case {
    const char* name;
    std::function<void(const fs::path& disk)> breakDisk;
    int status;
    std::string logged;  // a regular expression the log must contain
    int maxSeconds;      // hang guard
};

class HostileDiskTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(kCaptureTool)) << kCaptureTool;
        ASSERT_TRUE(fs::exists(kTestContent / "art.xml")) << kTestContent;
        dir_ = support::FreshDir("hostile");
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Run(const Case& c)
    {
        SCOPED_TRACE(c.name);
        const fs::path disk = dir_ / "disk";
        fs::remove_all(disk);
        fs::copy(kTestContent, disk, fs::copy_options::recursive);
        c.breakDisk(disk);
        // Loading takes some 30 frames: at 2 a second, 16 s of virtual time.
        const auto start = std::chrono::steady_clock::now();
        const support::CommandResult run = support::RunCommand(
            support::Quote(kCaptureTool.string()) + " --quiet --content " + support::Quote(disk.string()) +
            " --fps 2 --windowed --no-multisample --max-seconds 16 2>&1");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(c.maxSeconds));
        EXPECT_EQ(run.status, c.status) << run.out;
        EXPECT_TRUE(std::regex_search(run.out, std::regex(c.logged))) << c.logged << "\n" << run.out;
        if (c.status != 0) {
            // A fatal failure ends the run before the show starts.
            EXPECT_FALSE(run.Has("BASS_Start()"));
            EXPECT_FALSE(run.Has("Bye bye"));
        }
    }

    fs::path dir_;
};

// Refused at once, naming the file and why, with its message, and status 1: a
// FIFO used to hang the load for ever and /dev/zero to eat memory until the
// process aborted. (A missing file takes the same path, with its own reason:
// ContentFileTest, PlayerTest.)
TEST_F(HostileDiskTest, FilesThatCannotBeShownAreRefusedAtOnce)
{
    const std::string picture =
        "\\[messagebox\\] error: ERROR CREATING UNFILTERED TEXTURE - D3DXERR_INVALIDDATA: ";
    const Case cases[] = {
        {"a FIFO as a picture",
         [](const fs::path& d) {
             fs::remove(d / "intro/dial.png");
             ASSERT_EQ(::mkfifo((d / "intro/dial.png").c_str(), 0600), 0);
         },
         1, "Cannot load \"intro/dial\\.png\": not a regular file\n" + picture + "intro/dial\\.png\n", 60},
        {"/dev/zero as a title picture",
         [](const fs::path& d) { Replace(d / "art.xml", "titles/pixel_pilot\\.png", "/dev/zero"); }, 1,
         "Cannot load \"/dev/zero\": not a regular file\n" + picture + "/dev/zero\n", 60},
        {"XML that does not parse",
         [](const fs::path& d) {
             WriteText(d / "interface.xml", "<bits><interface>\n<layers><element type=\"layer\"></bits>");
         },
         1,
         "Gathering data from interface\\.xml\\.\\.\\.\n"
         "Cannot load \"interface\\.xml\": line 2, column \\d+: .+\n"
         "\\[messagebox\\] error: Error: ERROR LOADING XML\n",
         60},
        {"more songs than image slots",
         [](const fs::path& d) {
             std::string songs;
             for (int i = 0; i < 513; ++i)
                 songs += "<song path=\"songs/pixel_pilot.mod\" titlepic=\"titles/pixel_pilot.png\"/>";
             WriteText(d / "art.xml", "<bits><songs>" + songs + "</songs></bits>");
         },
         1,
         "art\\.xml has 513 songs; a disk holds at most 512\n\\[messagebox\\] error: Error: TOO MANY SONGS\n",
         30},
    };
    for (const Case& c : cases) Run(c);
}

// Played safely, with a log line where something was replaced or left out.
TEST_F(HostileDiskTest, OddButHarmlessFilesArePlayedAndLogged)
{
    const fs::path outside = dir_ / "outside.png";
    const Case cases[] = {
        {"200 000 dummytexture elements",
         [](const fs::path& d) {
             std::string many;
             for (int i = 0; i < 200000; ++i) many += "<dummytexture id=\"9\" file=\"x.png\"/>";
             Replace(d / "interface.xml", "<monitor ", many + "<monitor ");
         },
         0, "BASS_Start\\(\\)\n", 120},
        {"a title picture outside the disk",
         [&](const fs::path& d) {
             fs::copy_file(d / "titles/pixel_pilot.png", outside, fs::copy_options::overwrite_existing);
             Replace(d / "art.xml", "titles/pixel_pilot\\.png", outside.string());
         },
         0, "\"" + outside.string() + "\" lies outside the disk folder \\(an absolute path", 60},
        {"a scroller font file of garbage, in a family not installed, far too large",
         [](const fs::path& d) {
             WriteText(d / "fonts/DejaVuSans.ttf", "not a font");
             Replace(d / "interface.xml", "name=\"DejaVu Sans\" size=\"16\"",
                     "name=\"No Such Family\" size=\"9000000\"");
         },
         0,
         "Scroller font file \"fonts/DejaVuSans\\.ttf\" is missing, empty or not a font: a system font "
         "stands "
         "in\n(.|\n)*\\[gdi\\] No font named 'No Such Family': '.+' stands in\n(.|\n)*at size 9000000 does "
         "not fit its glyph atlas",
         60},
        {"a missing carousel texture", [](const fs::path& d) { fs::remove(d / "scene/body.png"); }, 0,
         "Carousel texture \"body\\.png\" of \"scene/carousel\\.3ds\" not loaded", 60},
        {"a float WAV with samples that are not numbers",
         [](const fs::path& d) { WriteText(d / "songs/paper_lanterns.ogg", NanWav()); }, 0,
         "Loaded stream: \"songs/paper_lanterns\\.ogg\" \\(1000 ms\\)\n", 60},
    };
    for (const Case& c : cases) Run(c);
}

}  // namespace
