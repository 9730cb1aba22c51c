// The disk checker in-process on a small disk made by the disk maker, changed one
// way at a time: each change gives its finding, with its severity, file and line.
#include "tests/support/Run.h"
#include "tools/check/DiskCheck.h"
#include "tools/make/Disk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const fs::path kSongs = fs::path(MIVOLA_BINARY_DIR) / "content/test/songs";

using support::ReadText;
using support::WriteText;

void Replace(const fs::path& p, const std::string& from, const std::string& to)
{
    std::string text = ReadText(p);
    ASSERT_NE(text.find(from), std::string::npos) << from;
    text.replace(text.find(from), from.size(), to);
    WriteText(p, text);
}

class CheckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        base_ = fs::temp_directory_path() / ("mivola-check-test-" + std::to_string(::getpid()));
        fs::remove_all(base_);
        DiskOptions o;
        o.out = (base_ / "made").string();
        o.quick = true;
        o.endSong = (kSongs / "paper_lanterns.ogg").string();
        std::vector<DiskSong> songs;
        for (const char* name : {"neon_harbour.xm", "copper_sunrise.mp3"}) {
            DiskSong s;
            s.source = (kSongs / name).string();
            s.facts = ProbeSong(s.source);
            s.title = s.facts.title;
            songs.push_back(s);
        }
        DiskResult result;
        std::string error;
        made_ = MakeDisk(o, songs, result, error);
        EXPECT_TRUE(made_) << error;
    }
    static void TearDownTestSuite() { fs::remove_all(base_); }

    void SetUp() override
    {
        ASSERT_TRUE(made_);
        disk_ = base_ / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(disk_);
        fs::copy(base_ / "made", disk_, fs::copy_options::recursive);
    }

    // The findings that contain `text`.
    std::vector<Finding> Find(const CheckReport& r, const std::string& text)
    {
        std::vector<Finding> out;
        for (const Finding& f : r.findings)
            if (f.text.find(text) != std::string::npos) out.push_back(f);
        return out;
    }

    static fs::path base_;
    static bool made_;
    fs::path disk_;
};

fs::path CheckTest::base_;
bool CheckTest::made_ = false;

TEST_F(CheckTest, AMadeDiskHasOnlyTheShortEndSongToReport)
{
    CheckReport r = CheckDisk(disk_.string());
    EXPECT_EQ(r.errors, 0);
    ASSERT_EQ(r.warnings, 1);
    auto end = Find(r, "end song lasts");
    ASSERT_EQ(end.size(), 1u);
    EXPECT_EQ(end[0].file, "endscreen/sundrelle.ogg");
    // Notes give every song's format and length and every picture's size.
    EXPECT_EQ(Find(r, "module XM, 5.0 s").size(), 1u);
    EXPECT_EQ(Find(r, "stream MP3, 6.0 s").size(), 1u);
    EXPECT_EQ(Find(r, "picture 1280 x 720").size(), 7u);
    // The working directory is given back.
    EXPECT_NE(fs::current_path(), disk_);
}

TEST_F(CheckTest, InterfaceProblemsAreWarningsOrErrorsAtTheirLines)
{
    const fs::path xml = disk_ / "interface.xml";
    // An unknown type, a font too large for the atlas, a control without a direction,
    // a placeholder id that does not exist.
    Replace(xml, "type=\"layer\" relativepos=\"panel\" x=\"36\"",
            "type=\"Layer\" relativepos=\"panel\" x=\"36\"");
    Replace(xml, "size=\"16\"", "size=\"60\"");
    Replace(xml, "<control direction=\"1\"/>", "<control/>");
    Replace(xml, "<dummytexture id=\"3\"", "<dummytexture id=\"7\"");
    const std::string text = ReadText(xml);
    auto lineOf = [&](const std::string& needle) {
        return 1 + long(std::count(text.begin(), text.begin() + long(text.find(needle)), '\n'));
    };

    CheckReport r = CheckDisk(disk_.string());
    auto unknown = Find(r, "unknown layer type 'Layer'");
    ASSERT_EQ(unknown.size(), 1u);
    EXPECT_EQ(unknown[0].severity, Severity::Warning);
    EXPECT_EQ(unknown[0].line, lineOf("type=\"Layer\""));
    auto font = Find(r, "scroller font size 60 does not fit");
    ASSERT_EQ(font.size(), 1u);
    EXPECT_EQ(font[0].line, lineOf("size=\"60\""));
    // The size it names does fit: checking again with it finds nothing more to say.
    const std::string fits = font[0].text.substr(font[0].text.rfind("size ") + 5, 2);
    EXPECT_EQ(Find(r, "neither 1 (next) nor -1").size(), 1u);
    auto ids = Find(r, "no dummytexture with id 3");
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(ids[0].severity, Severity::Error);
    EXPECT_EQ(Find(r, "dummytexture id '7' is not 0 to 3").size(), 1u);

    Replace(xml, "size=\"60\"", "size=\"" + std::to_string(std::stoi(fits)) + "\"");
    EXPECT_TRUE(Find(CheckDisk(disk_.string()), "does not fit").empty()) << "size " << fits;
}

TEST_F(CheckTest, PictureSizesAndCountAndTheWebAddress)
{
    // A start screen of the wrong size, a title picture that is not a picture, and a
    // web address of another kind.
    fs::copy_file(disk_ / "intro/button.png", disk_ / "intro/startscreen.png",
                  fs::copy_options::overwrite_existing);
    WriteText(disk_ / "titles/neon_harbour.png", "not a picture");
    Replace(disk_ / "art.xml", "<bits>", "<bits url=\"ftp://example.org/\">");
    CheckReport r = CheckDisk(disk_.string());
    auto start = Find(r, "start screen 'intro/startscreen.png' is 200 x 200");
    ASSERT_EQ(start.size(), 1u);
    EXPECT_EQ(start[0].severity, Severity::Warning);
    auto broken = Find(r, "title picture 'titles/neon_harbour.png' does not load");
    ASSERT_EQ(broken.size(), 1u);
    EXPECT_EQ(broken[0].severity, Severity::Error);
    EXPECT_EQ(broken[0].file, "art.xml");
    EXPECT_EQ(Find(r, "url 'ftp://example.org/' is not an http").size(), 1u);

    // 600 songs' worth of title pictures overflow the picture list.
    std::string songs;
    for (int i = 0; i < 600; ++i)
        songs += "<song path=\"songs/neon_harbour.xm\" titlepic=\"titles/copper_sunrise.png\"/>\n";
    WriteText(disk_ / "art.xml", "<bits><songs>\n" + songs + "</songs></bits>\n");
    r = CheckDisk(disk_.string());
    auto count = Find(r, "616 pictures are registered");
    ASSERT_EQ(count.size(), 1u) << r.findings.back().text;
    EXPECT_EQ(count[0].severity, Severity::Error);
}

TEST_F(CheckTest, MissingFolderAndMissingCatalogue)
{
    CheckReport none = CheckDisk((disk_ / "nowhere").string());
    EXPECT_EQ(none.errors, 1);
    fs::remove(disk_ / "art.xml");
    CheckReport r = CheckDisk(disk_.string());
    auto missing = Find(r, "missing: the program cannot start without it");
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing[0].file, "art.xml");
    EXPECT_NE(FormatJson(r, "d").find("\"file\": \"art.xml\", \"line\": 0, \"severity\": \"error\""),
              std::string::npos);
}

}  // namespace

// Links that lead nowhere or round in a circle are named as such, and a path
// that leaves the disk (absolute, climbing out, through a link) is an error
// that says how to mend it, though the file is there.
TEST_F(CheckTest, BrokenLinksAndPathsLeavingTheDiskAreNamed)
{
    const fs::path outside = base_ / (disk_.filename().string() + "-outside.png");
    fs::copy_file(disk_ / "titles/neon_harbour.png", outside, fs::copy_options::overwrite_existing);
    fs::create_symlink("nowhere.png", disk_ / "titles/dangling.png");
    fs::create_symlink("loop.png", disk_ / "titles/loop.png");
    fs::create_symlink(outside, disk_ / "titles/link-out.png");
    std::string songs;
    for (const std::string& title :
         {std::string("titles/dangling.png"), std::string("titles/loop.png"), outside.string(),
          "../" + outside.filename().string(), std::string("titles/link-out.png")})
        songs += "<song path=\"songs/neon_harbour.xm\" titlepic=\"" + title + "\"/>\n";
    WriteText(disk_ / "art.xml", "<bits><songs>\n" + songs + "</songs></bits>\n");
    CheckReport r = CheckDisk(disk_.string());
    const std::string fix = ": copy the file into the disk folder and name it relative to it";
    for (const std::string& text :
         {std::string("'titles/dangling.png' is a symbolic link to 'nowhere.png', which does not exist"),
          std::string("'titles/loop.png' is a symbolic link that loops"),
          "'" + outside.string() + "' is an absolute path, outside the disk" + fix,
          "'../" + outside.filename().string() + "' climbs out of the disk with '..'" + fix,
          "'titles/link-out.png' passes a symbolic link to '" + outside.string() + "', outside the disk" +
              fix}) {
        auto found = Find(r, text);
        ASSERT_EQ(found.size(), 1u) << text;
        EXPECT_EQ(found[0].severity, Severity::Error) << text;
        EXPECT_EQ(found[0].file, "art.xml");
    }
    EXPECT_TRUE(Find(r, "differ from it only in case").empty());
}
