// Whole runs of mivola-capture on the small test content: the log from start to
// end, the exit codes, the intro's keys, closing while loading,
// the loading bar and the end screen's length. (Disks that fail to load are in
// HostileDiskTest.)
#include "data/XmlAccess.h"
#include "tests/support/Run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using support::kCaptureTool;
using support::kTestContent;

// A run of mivola-capture on `content`: its log and standard error together.
support::CommandResult Capture(const fs::path& content, const std::vector<std::string>& args)
{
    std::string command =
        support::Quote(kCaptureTool.string()) + " --quiet --content " + support::Quote(content.string());
    for (const std::string& a : args) command += " " + support::Quote(a);
    return support::RunCommand(command + " 2>&1");
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A video of the run: luma planes of each frame (4:2:0, chroma ignored).
struct Video {
    int width = 0, height = 0;
    std::vector<std::vector<uint8_t>> frames;
    uint8_t Luma(size_t frame, int x, int y) const
    {
        return frames[frame][static_cast<size_t>(y * width + x)];
    }
    bool Black(size_t frame) const
    {
        for (uint8_t y : frames[frame])
            if (y > 17) return false;
        return true;
    }
};

Video ReadY4m(const fs::path& path)
{
    Video video;
    std::ifstream in(path, std::ios::binary);
    std::string header;
    std::getline(in, header);
    std::smatch m;
    if (!std::regex_search(header, m, std::regex("W(\\d+) H(\\d+)"))) return video;
    video.width = std::stoi(m[1]);
    video.height = std::stoi(m[2]);
    size_t luma = static_cast<size_t>(video.width * video.height);
    size_t chroma = static_cast<size_t>(((video.width + 1) / 2) * ((video.height + 1) / 2)) * 2;
    for (std::string tag; std::getline(in, tag) && tag.rfind("FRAME", 0) == 0;) {
        std::vector<uint8_t> y(luma);
        in.read(reinterpret_cast<char*>(y.data()), static_cast<std::streamsize>(luma));
        in.ignore(static_cast<std::streamsize>(chroma));
        if (!in) break;
        video.frames.push_back(std::move(y));
    }
    return video;
}

// Seconds of sound in a WAV file of 16-bit stereo at 44.1 kHz.
double WavSeconds(const fs::path& path)
{
    return static_cast<double>(fs::file_size(path) - 44) / (44100.0 * 4);
}

class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(kCaptureTool)) << kCaptureTool;
        ASSERT_TRUE(fs::exists(kTestContent / "art.xml")) << kTestContent;
        dir_ = support::FreshDir(std::string("e2e-") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A copy of the test content to break on purpose.
    fs::path CopyContent()
    {
        fs::path copy = dir_ / "content";
        fs::remove_all(copy);
        fs::copy(kTestContent, copy, fs::copy_options::recursive);
        return copy;
    }

    fs::path dir_;
};

// The songs of the test catalogue, in playing order, and their title pictures.
void ReadSongs(std::vector<std::string>& songs, std::vector<std::string>& titles)
{
    IXMLDOMDocument* document = nullptr;
    ASSERT_TRUE(XmlLoadDocument(document, (kTestContent / "art.xml").wstring().c_str()));
    XmlNode bits = nullptr, list = nullptr;
    XmlFirstChild(XmlDocumentNode(document), bits, L"bits");
    XmlFirstChild(bits, list, L"songs");
    for (int i = 0; i < XmlCountChildren(list, L"song"); ++i) {
        XmlNode song = nullptr;
        XmlNthChild(list, song, L"song", i);
        WCHAR path[260] = {}, title[260] = {};
        XmlGetAttribute(song, L"path", path, 260);
        XmlGetAttribute(song, L"titlepic", title, 260);
        songs.push_back(fs::path(path).string());
        titles.push_back(fs::path(title).string());
    }
    XmlRelease(document);
}

// Walks the log of a whole run against the sequence the program must print.
class LogWalker {
public:
    explicit LogWalker(std::vector<std::string> lines) : lines_(std::move(lines)) {}

    void Exact(const std::string& line)
    {
        ASSERT_LT(at_, lines_.size()) << "log ended before: " << line;
        EXPECT_EQ(lines_[at_], line) << "at line " << at_;
        ++at_;
    }
    std::smatch Match(const std::string& pattern)
    {
        std::smatch m;
        EXPECT_LT(at_, lines_.size()) << "log ended before: " << pattern;
        if (at_ >= lines_.size()) return m;
        bool ok = std::regex_match(lines_[at_], m, std::regex(pattern));
        EXPECT_TRUE(ok) << "line " << at_ << " \"" << lines_[at_] << "\" is not " << pattern;
        ++at_;
        return m;
    }
    bool Peek(const std::string& pattern) const
    {
        return at_ < lines_.size() && std::regex_match(lines_[at_], std::regex(pattern));
    }
    void Skip() { ++at_; }
    bool Done() const { return at_ == lines_.size(); }

private:
    std::vector<std::string> lines_;
    size_t at_ = 0;
};

std::string Escaped(const std::string& text)
{
    return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

TEST_F(CaptureTest, WholeRunThroughIntroInterfaceAndEndScreen)
{
    std::vector<std::string> songs, titles;
    ReadSongs(songs, titles);
    ASSERT_FALSE(songs.empty());

    // At 2 frames a second loading takes some 15 s of virtual time and the
    // intro 37 more: Escape at 60 s lands in the interface.
    fs::path wav = dir_ / "run.wav";
    support::CommandResult run =
        Capture(kTestContent, {"--fps", "2", "--event", "60 key escape down", "--event", "60.5 key escape up",
                               "--audio", wav.string()});
    EXPECT_EQ(run.status, 0);

    LogWalker log(Lines(run.out));
    for (const char* line :
         {"Initializing kpxD3D...", "[d3d] kpxD3D::InitWindow...", "[d3d] RegisterClass()",
          "[d3d] AdjustWindowRectEx()", "[d3d] CreateWindowEx()", "[d3d] kpxD3D::InitDirect3D...",
          "[d3d] Direct3DCreate9()", "[d3d] Setting resolution to 1280 x 720", "[d3d] CheckDeviceType()",
          "[d3d] CheckDeviceFormat()", "[d3d] CheckDeviceMultiSampleType()",
          "[d3d] CreateDevice(D3DCREATE_HARDWARE_VERTEXPROCESSING)", "[d3d] success!",
          "Initializing kpxQuad...", "data.LoadXML()", "Gathering data from art.xml...",
          "Gathering data from interface.xml...",
          "Loaded unfiltered image: \"interface/loadingscreen.png\" (1280 x 720)", "BASS_Init()"})
        log.Exact(line);

    const std::string size = R"( \(\d+ x \d+\))";
    std::vector<std::string> songKinds;
    for (const std::string& song : songs)
        songKinds.push_back(log.Match("Loaded (module|stream): \"" + Escaped(song) + R"(" \(\d+ ms\))")[1]);
    // Title pictures first, then the layers' pictures.
    std::vector<std::string> pictures;
    for (const std::string& title : titles) {
        log.Match("Loaded unfiltered image: \"" + Escaped(title) + "\"" + size);
        pictures.push_back(title);
    }
    while (log.Peek("Loaded unfiltered image: .*")) {
        std::smatch m = log.Match("Loaded unfiltered image: \"(.*)\"" + size);
        pictures.push_back(m[1]);
    }
    const std::vector<std::string> shell = {
        "intro/background.png",     "intro/button.png",      "intro/dial.png",      "intro/foreground.png",
        "intro/startscreen.png",    "intro/invader2c.png",   "intro/invader2d.png", "intro/invader2e.png",
        "endscreen/background.png", "endscreen/scroller.png"};
    log.Match(R"(Loaded stream: "intro/Radio_Mivola\.mp3" \(\d+ ms\))");
    for (const std::string& picture : shell)
        log.Match("Loaded unfiltered image: \"" + Escaped(picture) + "\"" + size);
    log.Match(R"(Loaded stream: "endscreen/sundrelle\.ogg" \(\d+ ms\))");
    log.Match("Loaded unfiltered image: \"endscreen/letterbox\\.png\"" + size);
    log.Exact("BASS_Start()");
    // The song player starts song 0 after the intro and moves on by itself.
    // Songs with a title in the catalogue are named after the number.
    log.Match(R"(Playing: 0( \(.+\))?)");
    while (log.Peek(R"(Playing: \d+( \(.+\))?)")) log.Skip();
    log.Exact("BASS_Stop()");
    log.Exact("BASS_Free()");
    for (size_t i = 0; i < songs.size(); ++i)
        log.Exact("Unloaded " + songKinds[i] + ": \"" + songs[i] + "\"");
    for (const std::string& picture : pictures) log.Exact("Unloaded image: \"" + picture + "\"");
    for (const char* item : {"interface/loadingscreen.png", "intro/background.png", "intro/foreground.png",
                             "intro/button.png", "intro/dial.png", "intro/startscreen.png",
                             "intro/invader2c.png", "intro/invader2d.png", "intro/invader2e.png",
                             "endscreen/background.png", "endscreen/scroller.png", "endscreen/letterbox.png"})
        log.Exact(std::string("Unloaded image: \"") + item + "\"");
    log.Exact("Bye bye...");
    EXPECT_TRUE(log.Done());

    // Escape at 60 s: the end screen starts one second later (first frame at
    // or after 61 s) and ends by itself 48 s after that.
    double seconds = WavSeconds(wav);
    EXPECT_GE(seconds, 60 + 1 + 48);
    EXPECT_LE(seconds, 60 + 1 + 48 + 1.5);
}

TEST_F(CaptureTest, DialogCancelEndsWithMinusOneBeforeAnyWindow)
{
    support::CommandResult run = Capture(kTestContent, {"--dialog", "cancel"});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, "");
}

// Paths as other languages and Windows write them: beyond ASCII they reach the
// log as UTF-8 whatever the locale; with backslashes and another letter case
// they find their file, and the log says which.
TEST_F(CaptureTest, NonAsciiAndWindowsPathsLoadAndAreLoggedAsUtf8)
{
    fs::path content = CopyContent();
    const std::string title = "titles/caf\xc3\xa9 \xe9\x9f\xb3\xe6\xa5\xbd.png";  // "café 音楽"
    fs::rename(content / "titles/pixel_pilot.png", content / title);
    std::string xml = support::ReadText(content / "art.xml");
    xml = std::regex_replace(xml, std::regex("titles/pixel_pilot\\.png"), title);
    xml = std::regex_replace(xml, std::regex("songs/neon_harbour\\.xm"), "Songs\\Neon_Harbour.XM");
    support::WriteText(content / "art.xml", xml);
    ::setenv("LC_ALL", "C", 1);
    support::CommandResult run = Capture(content, {"--fps", "5", "--event", "0.5 close"});
    ::unsetenv("LC_ALL");
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(std::regex_search(
        run.out, std::regex("Loaded unfiltered image: \"" + title + "\" \\(\\d+ x \\d+\\)\n")))
        << run.out;
    EXPECT_TRUE(run.Has("Unloaded image: \"" + title + "\"\n"));
    EXPECT_TRUE(
        run.Has("Opening \"songs/neon_harbour.xm\" for \"Songs\\Neon_Harbour.XM\" (letter case differs)\n"
                "Loaded module: \"Songs\\Neon_Harbour.XM\" ("))
        << run.out;
}

// An intro song shorter than the intro: once it ends, the interface takes over.
TEST_F(CaptureTest, AShortIntroSongHandsOverToTheInterfaceWhenItEnds)
{
    fs::path content = CopyContent();
    // A five-second module in place of the intro song (the name's extension plays no part).
    fs::copy_file(content / "songs/neon_harbour.xm", content / "intro/Radio_Mivola.mp3",
                  fs::copy_options::overwrite_existing);
    support::CommandResult run =
        Capture(content, {"--fps", "4", "--windowed", "--no-multisample", "--max-seconds", "20"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.Has("Loaded module: \"intro/Radio_Mivola.mp3\" (5000 ms)\n")) << run.out;
    EXPECT_TRUE(run.Has("Playing: 0")) << run.out;
    EXPECT_TRUE(run.Has("Bye bye...\n"));
}

TEST_F(CaptureTest, SpaceInTheIntroGivesOneBlackFrameThenTheInterface)
{
    fs::path video = dir_ / "space.y4m";
    support::CommandResult run =
        Capture(kTestContent, {"--fps", "4", "--windowed", "--event", "10 key space down", "--event",
                               "10.5 key space up", "--max-seconds", "11.5", "--video", video.string()});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.Has("Playing: 0"));
    EXPECT_TRUE(run.Has("Bye bye...\n"));
    Video v = ReadY4m(video);
    ASSERT_EQ(v.width, 1280);
    ASSERT_GE(v.frames.size(), 46u);
    // The key is seen in the frame after 10 s: that frame is black, the ones
    // around it are not.
    size_t space = 40;
    EXPECT_FALSE(v.Black(space - 1));
    EXPECT_TRUE(v.Black(space));
    for (size_t f = space + 1; f < v.frames.size(); ++f) EXPECT_FALSE(v.Black(f)) << f;
}

// --stats sums up the whole run with its start-up; --stats-from only the
// frames after its time.
TEST_F(CaptureTest, StatsLineForTheWholeRunOrFromATime)
{
    support::CommandResult whole = Capture(kTestContent, {"--fps", "10", "--max-seconds", "6", "--stats"});
    EXPECT_EQ(whole.status, 0);
    EXPECT_TRUE(std::regex_search(whole.out, std::regex("stats: 61 frames, .* screens/frame, start-up ")))
        << whole.out;
    support::CommandResult part =
        Capture(kTestContent, {"--fps", "10", "--max-seconds", "6", "--stats-from", "4"});
    EXPECT_EQ(part.status, 0);
    EXPECT_TRUE(std::regex_search(part.out, std::regex("stats: 20 frames, .* screens/frame\n"))) << part.out;
    EXPECT_EQ(Capture(kTestContent, {"--stats-from", "soon"}).status, 2);
}

TEST_F(CaptureTest, EscapeInTheIntroEndsTheRun)
{
    fs::path wav = dir_ / "escape.wav";
    support::CommandResult run = Capture(
        kTestContent, {"--fps", "4", "--windowed", "--event", "10 key escape down", "--audio", wav.string()});
    EXPECT_EQ(run.status, 0);
    EXPECT_FALSE(run.Has("Playing:"));
    EXPECT_TRUE(run.Has("BASS_Stop()\nBASS_Free()\n"));
    EXPECT_TRUE(run.Has("Bye bye...\n"));
    EXPECT_LE(WavSeconds(wav), 10.5);
}

TEST_F(CaptureTest, ClosingWhileLoadingSkipsTheLoopAndTheFirstBarIs267PixelsLong)
{
    fs::path video = dir_ / "loading.y4m";
    support::CommandResult run = Capture(kTestContent, {"--fps", "4", "--windowed", "--no-multisample",
                                                        "--event", "0.5 close", "--video", video.string()});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.Has("BASS_Start()\nBASS_Stop()\nBASS_Free()\n")) << run.out;
    EXPECT_TRUE(run.Has("Bye bye...\n"));
    EXPECT_FALSE(run.Has("Playing:"));

    Video v = ReadY4m(video);
    ASSERT_EQ(v.width, 1280);
    ASSERT_GE(v.frames.size(), 2u);
    // Loading frames only: one after each song and each picture.
    size_t loads = 0;
    for (size_t at = run.out.find("Loaded "); at != std::string::npos; at = run.out.find("Loaded ", at + 1))
        ++loads;
    size_t shellItems = 13, loadingScreen = 1;
    EXPECT_EQ(v.frames.size(), loads - shellItems - loadingScreen);

    // The first bar (progress 0.3) covers x = 194 to 460 on rows 659 to 681
    // (without multisampling, whose edge pixels are partly covered); the second
    // reaches further, so column 461 still shows the picture in frame 0.
    const uint8_t bar = 16 + (219 * 0xCC + 127) / 255;
    for (int y : {659, 670, 681}) {
        int length = 0;
        for (int x = 194; x < 1280 && v.Luma(0, x, y) == bar; ++x) ++length;
        EXPECT_EQ(length, 267) << "row " << y;
        EXPECT_NE(v.Luma(0, 193, y), bar);
        EXPECT_EQ(v.Luma(1, 461, y), bar);
    }
    EXPECT_NE(v.Luma(0, 300, 658), bar);
    EXPECT_NE(v.Luma(0, 300, 682), bar);
}

}  // namespace
