// Content files: only regular files are read, never past the cap, and paths
// from Windows-made disks find their files.
#include "platform/host/ContentFile.h"
#include "tests/support/Run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> notes;
void KeepNote(const std::string& line)
{
    notes.push_back(line);
}

class ContentFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = support::FreshDir("files");
        notes.clear();
        host::SetNoteSink(KeepNote);
    }
    void TearDown() override
    {
        host::SetNoteSink(nullptr);
        fs::remove_all(dir_);
    }
    std::string Write(const std::string& name, const std::string& text)
    {
        fs::path path = dir_ / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }
    fs::path dir_;
};

TEST_F(ContentFile, SpecialFilesAreRefusedWithoutBlocking)
{
    const std::string fifo = (dir_ / "pipe.png").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<uint8_t> bytes;
    auto start = std::chrono::steady_clock::now();
    for (const std::string& path : {fifo, std::string("/dev/zero"), dir_.string()}) {
        EXPECT_FALSE(host::ReadRegularFile(path, host::kMaxContentFileBytes, bytes)) << path;
        EXPECT_EQ(host::LastFileError(), "not a regular file") << path;
        EXPECT_TRUE(bytes.empty());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    EXPECT_EQ(host::OpenRegularFile((dir_ / "missing.png").string(), 100), -1);
    EXPECT_EQ(host::LastFileError(), "No such file or directory");
    EXPECT_EQ(host::OpenRegularFile("", 100), -1);
    EXPECT_EQ(host::LastFileError(), "no path");
}

TEST_F(ContentFile, ReadsUpToTheCapAndRefusesMore)
{
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(host::ReadRegularFile(Write("ten", "0123456789"), 10, bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0123456789");
    EXPECT_FALSE(host::ReadRegularFile(Write("eleven", "0123456789A"), 10, bytes));
    EXPECT_EQ(host::LastFileError().rfind("too large", 0), 0u) << host::LastFileError();
    EXPECT_TRUE(bytes.empty());
    EXPECT_TRUE(host::ReadRegularFile(Write("empty", ""), 10, bytes));
    EXPECT_TRUE(bytes.empty());

    // A huge sparse file is refused by its size, before anything is read.
    const std::string sparse = Write("sparse.png", "");
    ASSERT_EQ(::truncate(sparse.c_str(), off_t(host::kMaxContentFileBytes + 1)), 0);
    EXPECT_EQ(host::OpenRegularFile(sparse, host::kMaxContentFileBytes), -1);
    EXPECT_EQ(host::LastFileError().rfind("too large", 0), 0u);

    // Files that report no size still read whole, and a cap still applies to them.
    EXPECT_TRUE(host::ReadRegularFile("/proc/self/status", host::kMaxContentFileBytes, bytes));
    EXPECT_NE(std::string(bytes.begin(), bytes.end()).find("Name:"), std::string::npos);
    EXPECT_FALSE(host::ReadRegularFile("/proc/self/status", 16, bytes));
}

TEST_F(ContentFile, WindowsPathsFindTheirFiles)
{
    Write("Songs/Track One.MOD", "module");
    Write("Pictures/\xc3\x89t\xc3\xa9.png", "picture");  // "Été.png"
    std::vector<uint8_t> bytes;

    // Backslashes are separators, and letter case is matched when the exact name is missing.
    const std::string asked = dir_.string() + "\\songs\\track one.mod";
    ASSERT_TRUE(host::ReadRegularFile(asked, 100, bytes)) << host::LastFileError();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "module");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("Songs/Track One.MOD"), std::string::npos) << notes[0];
    EXPECT_TRUE(host::ReadRegularFile(asked, 100, bytes));  // noted once only
    EXPECT_EQ(notes.size(), 1u);

    // Letters beyond ASCII fold too.
    EXPECT_TRUE(host::ReadRegularFile((dir_ / "pictures/\xc3\xa9T\xc3\x89.PNG").string(), 100, bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "picture");

    // An exact name needs no match and says nothing.
    notes.clear();
    EXPECT_EQ(host::ResolveContentPath((dir_ / "Songs/Track One.MOD").string()),
              (dir_ / "Songs/Track One.MOD").string());
    EXPECT_TRUE(notes.empty());

    // Two names that differ only in case: the exact one opens, a third spelling opens neither.
    Write("Songs/track one.mod", "other");
    EXPECT_TRUE(host::ReadRegularFile((dir_ / "Songs/track one.mod").string(), 100, bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "other");
    EXPECT_FALSE(host::ReadRegularFile((dir_ / "Songs/TRACK ONE.mod").string(), 100, bytes));
    EXPECT_EQ(host::LastFileError(), "No such file or directory");
    EXPECT_TRUE(notes.empty());
}

}  // namespace

// A disk should hold its own files: one named by an absolute path, by climbing
// out with "..", or through a link that leads out is still opened, and noted
// once. Files inside, links inside included, are not noted.
TEST_F(ContentFile, FilesOutsideTheDiskFolderAreOpenedAndNotedOnce)
{
    const std::string outside = Write("elsewhere/secret.png", "x");
    Write("disk/inside.png", "y");
    fs::create_symlink("inside.png", dir_ / "disk/link-in.png");
    fs::create_symlink(outside, dir_ / "disk/link-out.png");
    const fs::path before = fs::current_path();
    fs::current_path(dir_ / "disk");
    host::SetDiskFolder(".");
    std::vector<uint8_t> bytes;
    for (const std::string& path : {std::string("inside.png"), std::string("link-in.png"), outside, outside,
                                    std::string("../elsewhere/secret.png"), std::string("link-out.png")})
        EXPECT_TRUE(host::ReadRegularFile(path, 100, bytes)) << path;
    host::SetDiskFolder("");
    EXPECT_TRUE(host::ReadRegularFile("link-out.png", 100, bytes));  // no folder: nothing noted
    fs::current_path(before);

    ASSERT_EQ(notes.size(), 3u);
    EXPECT_NE(notes[0].find("\"" + outside + "\" lies outside the disk folder (an absolute path"),
              std::string::npos)
        << notes[0];
    EXPECT_NE(notes[1].find("\"../elsewhere/secret.png\" lies outside the disk folder (it climbs out"),
              std::string::npos)
        << notes[1];
    EXPECT_NE(notes[2].find("\"link-out.png\" lies outside the disk folder (a link leads out"),
              std::string::npos)
        << notes[2];
}
