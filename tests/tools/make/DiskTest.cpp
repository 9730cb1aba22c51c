// mivola-make and mivola-check on the test content's songs, whose titles and artists
// sit in their own tags: the disk carries the tag titles into art.xml, the log and
// the carousel, passes its check, comes out the same twice, and the checker names
// every problem of a broken copy with its file.
#include "tests/support/Run.h"
#include "tools/make/Disk.h"

#include <gtest/gtest.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

#include <algorithm>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

const fs::path kBin = MIVOLA_BINARY_DIR;
const fs::path kSongs = kBin / "content/test/songs";

using Outcome = support::CommandResult;
using support::ReadText;
using support::WriteText;

Outcome Command(const std::string& command)
{
    return support::RunCommand(command + " 2>&1");
}

std::map<std::string, std::string> Tree(const fs::path& root)
{
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = ReadText(e.path());
    return files;
}

// The line of the first occurrence of `needle`, counted from 1.
std::string LineOf(const std::string& text, const std::string& needle)
{
    size_t at = text.find(needle);
    return at == std::string::npos
               ? "?"
               : std::to_string(1 + std::count(text.begin(), text.begin() + long(at), '\n'));
}

std::string Songs()
{
    std::string list;
    for (const char* s : {"copper_sunrise.mp3", "neon_harbour.xm", "paper_lanterns.ogg", "pixel_pilot.mod"})
        list += " " + (kSongs / s).string();
    return list;
}

std::string Make(const fs::path& out, const std::string& songs, const std::string& extra = "")
{
    return (kBin / "tools/make/mivola-make").string() + " " + out.string() + songs +
           " --title 'Harbour Lights'" + extra;
}

std::string Check(const fs::path& disk)
{
    return (kBin / "tools/check/mivola-check").string() + " --quiet " + disk.string();
}

// Mean absolute difference of two RGBA pictures over a rectangle.
double Difference(const fs::path& a, const fs::path& b, int x0, int y0, int x1, int y1)
{
    int w = 0, h = 0, n = 0, w2 = 0, h2 = 0;
    stbi_uc* pa = stbi_load(a.c_str(), &w, &h, &n, 4);
    stbi_uc* pb = stbi_load(b.c_str(), &w2, &h2, &n, 4);
    double sum = 0;
    if (pa && pb && w == w2 && h == h2)
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                for (int c = 0; c < 3; ++c)
                    sum += std::abs(pa[(y * w + x) * 4 + c] - pb[(y * w + x) * 4 + c]);
    stbi_image_free(pa);
    stbi_image_free(pb);
    return pa && pb ? sum / (3.0 * (x1 - x0) * (y1 - y0)) : -1;
}

class DiskTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = support::FreshDir("disk-test");
        ASSERT_TRUE(fs::exists(kSongs / "copper_sunrise.mp3")) << "build the test_content target first";
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST(DiskNames, SafeNamesAndLatin1Text)
{
    EXPECT_EQ(SafeName("Paper Lanterns (1)"), "paper_lanterns_1");
    EXPECT_EQ(SafeName("  --Caf\xc3\xa9 Stra\xc3\x9f"
                       "e!! "),
              "cafe_strase");
    EXPECT_EQ(SafeName("\xe6\x9d\xb1\xe4\xba\xac"), "song");  // nothing ASCII survives
    EXPECT_EQ(SafeName("../../etc/passwd"), "etc_passwd");
    EXPECT_LE(SafeName(std::string(300, 'a')).size(), 48u);

    std::string text = "Caf\xc3\xa9 \xe6\x9d\xb1 \xf0\x9f\x8e\xb5";
    EXPECT_EQ(KeepLatin1(text), 2);
    EXPECT_EQ(text, "Caf\xc3\xa9 ? ?");
}

TEST_F(DiskTest, TaggedSongsMakeADiskThatPassesItsCheckPlaysWithTheirTitlesAndRepeats)
{
    const fs::path disk = dir_ / "disk";
    WriteText(dir_ / "text.txt", "The same scroller text for both disks.");
    const std::string text = " --text " + (dir_ / "text.txt").string();
    Outcome made = Command(Make(disk, Songs(), text + " --url https://example.org/hl"));
    ASSERT_EQ(made.status, 0) << made.out;
    EXPECT_TRUE(made.Has(" 4/4 ")) << made.out;

    // Titles and artists from ID3 and Vorbis comments, and the modules' own names.
    const std::string art = ReadText(disk / "art.xml");
    EXPECT_NE(art.find("title=\"Copper Sunrise\" artist=\"Mivola crew\""), std::string::npos) << art;
    EXPECT_NE(art.find("title=\"Paper Lanterns\" artist=\"Mivola crew\""), std::string::npos) << art;
    EXPECT_NE(art.find("title=\"Neon Harbour\""), std::string::npos) << art;
    EXPECT_NE(art.find("<bits url=\"https://example.org/hl\">"), std::string::npos) << art;

    Outcome check = Command(Check(disk));
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_TRUE(check.Has(": 0 error(s), 0 warning(s)")) << check.out;

    // The same inputs give the same bytes.
    const fs::path again = dir_ / "again";
    ASSERT_EQ(Command(Make(again, Songs(), text + " --url https://example.org/hl")).status, 0);
    auto a = Tree(disk), b = Tree(again);
    ASSERT_EQ(a.size(), b.size());
    for (const auto& [path, bytes] : a) EXPECT_TRUE(b.count(path) && b[path] == bytes) << path << " differs";

    // The same songs without their tags: titles fall back to the file names.
    const fs::path bare = dir_ / "bare";
    fs::create_directories(bare);
    std::string bareSongs;
    for (const char* s : {"copper_sunrise.mp3", "neon_harbour.xm", "paper_lanterns.ogg", "pixel_pilot.mod"}) {
        std::string bytes = ReadText(kSongs / s);
        // Module names and the ID3 tag go; the OGG is replaced by a WAV without tags.
        if (std::string(s) == "copper_sunrise.mp3")
            bytes = bytes.substr(10 + ((bytes[6] << 21) | (bytes[7] << 14) | (bytes[8] << 7) | bytes[9]));
        if (std::string(s) == "neon_harbour.xm") std::fill(bytes.begin() + 17, bytes.begin() + 37, ' ');
        if (std::string(s) == "pixel_pilot.mod") std::fill(bytes.begin(), bytes.begin() + 20, '\0');
        if (std::string(s) == "paper_lanterns.ogg") continue;
        WriteText(bare / s, bytes);
        bareSongs += " " + (bare / s).string();
    }
    const fs::path plain = dir_ / "plain";
    Outcome plainMade = Command(Make(plain, bareSongs, text + " --no-loudness"));
    ASSERT_EQ(plainMade.status, 0) << plainMade.out;
    EXPECT_NE(ReadText(plain / "art.xml").find("title=\"copper sunrise\""), std::string::npos);
    // --no-loudness leaves the gains out and keeps the module settings.
    EXPECT_EQ(ReadText(plain / "art.xml").find(" gain="), std::string::npos);
    EXPECT_NE(ReadText(plain / "art.xml").find(" amiga=\"on\""), std::string::npos);

    // Played: the carousel's front face, which shows the tag title, differs from
    // the untagged disk's while the rest of the picture is the same.
    auto capture = [&](const fs::path& content, const fs::path& frames) {
        return Command(
            (kBin / "tools/capture/mivola-capture").string() + " --content " + content.string() +
            " --fps 4 --windowed --event '8 key space down' --event '8.5 key space up' --max-seconds 12" +
            " --frame-at 11 --frame-dir " + frames.string());
    };
    Outcome played = capture(disk, dir_ / "frames");
    EXPECT_EQ(played.status, 0) << played.out;
    EXPECT_TRUE(played.Has("Playing: 0\n")) << played.out;
    Outcome plainPlayed = capture(plain, dir_ / "plain-frames");
    EXPECT_TRUE(plainPlayed.Has("Playing: 0\n")) << plainPlayed.out;
    const fs::path f1 = dir_ / "frames/at-11.png", f2 = dir_ / "plain-frames/at-11.png";
    // The front face spans about x 549..765, y 272..480; the title band is its lower part.
    EXPECT_GT(Difference(f1, f2, 560, 400, 750, 470), 8.0);
    EXPECT_LT(Difference(f1, f2, 0, 0, 500, 250), 1.0);
}

TEST_F(DiskTest, CheckNamesEveryProblemOfABrokenDiskWithItsFile)
{
    const fs::path disk = dir_ / "disk";
    ASSERT_EQ(Command(Make(disk, Songs())).status, 0);

    // Warnings alone: a Windows path and an intro song that is too short.
    std::string art = ReadText(disk / "art.xml");
    art.replace(art.find("songs/pixel_pilot.mod"), 21, "songs\\pixel_pilot.mod");
    WriteText(disk / "art.xml", art);
    fs::copy_file(disk / "songs/copper_sunrise.mp3", disk / "intro/Radio_Mivola.mp3",
                  fs::copy_options::overwrite_existing);
    Outcome warned = Command(Check(disk));
    EXPECT_EQ(warned.status, 0) << warned.out;
    EXPECT_TRUE(warned.Has("art.xml:" + LineOf(art, "songs\\pixel") +
                           ": warning: song 4 'songs\\pixel_pilot.mod' uses '\\' " +
                           "between folders; write 'songs/pixel_pilot.mod'"))
        << warned.out;
    EXPECT_TRUE(warned.Has("intro/Radio_Mivola.mp3: warning: intro song lasts 6.0 s, less than the 37 s"))
        << warned.out;

    // Errors: a missing song, a missing shell picture, a scene without placeholders,
    // a cut stream, a title picture in the wrong case, and XML that does not parse.
    fs::remove(disk / "songs/neon_harbour.xm");
    fs::remove(disk / "intro/dial.png");
    std::string scene = ReadText(disk / "scene/carousel.3ds");
    for (size_t at = scene.find("screen"); at != std::string::npos; at = scene.find("screen", at))
        scene.replace(at, 6, "kitten");
    WriteText(disk / "scene/carousel.3ds", scene);
    const std::string mp3 = ReadText(disk / "songs/copper_sunrise.mp3");
    WriteText(disk / "songs/copper_sunrise.mp3", mp3.substr(0, mp3.size() / 2));
    fs::rename(disk / "titles/paper_lanterns.png", disk / "titles/Paper_Lanterns.PNG");
    std::string iface = ReadText(disk / "interface.xml");
    iface.replace(iface.find("</layers>"), 9, "</layer>");
    WriteText(disk / "broken.xml", iface);
    fs::rename(disk / "broken.xml", disk / "interface.xml");

    Outcome broken = Command(Check(disk));
    EXPECT_EQ(broken.status, 1) << broken.out;
    for (const std::string& finding : {
             "art.xml:" + LineOf(art, "songs/neon") + ": error: song 2 'songs/neon_harbour.xm' is missing",
             std::string("intro/dial.png: error: intro dial strip is missing"),
             "art.xml:" + LineOf(art, "songs/paper") +
                 ": warning: song 3's title picture 'titles/paper_lanterns.png' " +
                 "differs in letter case from the file on disk; write 'titles/Paper_Lanterns.PNG'",
             "art.xml:" + LineOf(art, "songs/copper") +
                 ": warning: song 1 'songs/copper_sunrise.mp3': its header says 6.0 s but",
             "interface.xml:" + LineOf(iface, "</layer>\n</interface>") +
                 ": error: not well-formed XML at column",
         })
        EXPECT_TRUE(broken.Has(finding)) << finding << "\n" << broken.out;

    // With the interface readable again, the scene's missing placeholders show.
    iface.replace(iface.find("</layer>\n</interface>"), 8, "</layers>");
    WriteText(disk / "interface.xml", iface);
    Outcome scened = Command(Check(disk));
    EXPECT_EQ(scened.status, 1);
    EXPECT_TRUE(scened.Has(
        ": error: scene 'scene/carousel.3ds' has no mesh with the placeholder texture 'screen0.png'"))
        << scened.out;

    // --json carries the same findings.
    Outcome json = Command((kBin / "tools/check/mivola-check").string() + " --json " + disk.string());
    EXPECT_EQ(json.status, 1);
    EXPECT_TRUE(json.Has("\"file\": \"intro/dial.png\", \"line\": 0, \"severity\": \"error\"")) << json.out;
}

TEST_F(DiskTest, MakeWritesRenderSettingsAndGainsThatMatchTheSongsAndCheckReportsThem)
{
    const fs::path disk = dir_ / "disk";
    Outcome made = Command(Make(disk, Songs(), " --loudness -30"));
    ASSERT_EQ(made.status, 0) << made.out;
    const std::string art = ReadText(disk / "art.xml");
    // Explicit module settings per format, and a gain for every song.
    EXPECT_NE(
        art.find("title=\"Pixel Pilot\" stereoseparation=\"100\" volumeramping=\"-1\" amiga=\"on\" gain=\""),
        std::string::npos)
        << art;
    EXPECT_NE(art.find("stereoseparation=\"100\" interpolation=\"8\" volumeramping=\"-1\" gain=\""),
              std::string::npos);
    size_t gains = 0;
    for (size_t at = art.find(" gain=\""); at != std::string::npos; at = art.find(" gain=\"", at + 1))
        ++gains;
    EXPECT_EQ(gains, 4u) << art;

    // Measured again by the checker, the songs meet at the target.
    Outcome checked = Command((kBin / "tools/check/mivola-check").string() + " --loudness " + disk.string());
    EXPECT_EQ(checked.status, 0) << checked.out;
    EXPECT_TRUE(checked.Has(": note: song 4 plays with stereoseparation 100, amiga on, gain -"))
        << checked.out;
    EXPECT_TRUE(checked.Has("LUFS after its gain of")) << checked.out;
    EXPECT_TRUE(checked.Has("spreads over 0.0 LU (-30.0 to -30.0 LUFS)")) << checked.out;

    // Without gains the songs spread; a gain out of range is an error at its line.
    std::string flat = art;
    for (size_t at; (at = flat.find(" gain=\"")) != std::string::npos;)
        flat.erase(at, flat.find('"', at + 7) - at + 1);
    flat.replace(flat.find("-1\""), 2, "-3");
    WriteText(disk / "art.xml", flat);
    Outcome spread = Command((kBin / "tools/check/mivola-check").string() + " --loudness " + disk.string());
    EXPECT_EQ(spread.status, 1);
    EXPECT_TRUE(spread.Has("art.xml:" + LineOf(flat, "-3\"") +
                           ": error: attribute volumeramping=\"-3\" is not allowed"))
        << spread.out;
    EXPECT_TRUE(spread.Has("art.xml:4: warning: the songs' loudness after their gains spreads over"))
        << spread.out;
    EXPECT_EQ(Command(Make(dir_ / "x", Songs(), " --loudness -50")).status, 2);
}

TEST_F(DiskTest, MakeRefusesUnplayableSongsAndAFolderInUse)
{
    WriteText(dir_ / "notes.mp3", "these are not the songs you are looking for\n");
    const fs::path disk = dir_ / "disk";
    Outcome refused = Command(Make(disk, Songs() + " " + (dir_ / "notes.mp3").string()));
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.Has("notes.mp3: cannot be played: not a module (")) << refused.out;
    EXPECT_FALSE(fs::exists(disk / "art.xml"));

    fs::create_directories(disk);
    WriteText(disk / "mine.txt", "keep me");
    Outcome busy = Command(Make(disk, Songs()));
    EXPECT_EQ(busy.status, 1);
    EXPECT_TRUE(busy.Has("is not empty")) << busy.out;
    EXPECT_FALSE(fs::exists(disk / "art.xml"));
}

}  // namespace
