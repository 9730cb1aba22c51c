// Hostile disks: the test content with one file or catalogue entry broken on
// purpose, each run through mivola-capture. Every case ends with its expected
// status and log line, and well within a generous time bound (a guard against
// hangs, not a speed measurement).
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kCapture = fs::path(MIVOLA_BINARY_DIR) / "tools/capture/mivola-capture";
const fs::path kContent = fs::path(MIVOLA_BINARY_DIR) / "content/test";

std::string Read(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& p, const std::string& bytes)
{
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

void Replace(const fs::path& p, const std::string& pattern, const std::string& with)
{
    Write(p, std::regex_replace(Read(p), std::regex(pattern), with));
}

std::string Le16(unsigned v)
{
    return {char(v & 0xFF), char(v >> 8)};
}

std::string Le32(uint32_t v)
{
    return Le16(v & 0xFFFF) + Le16(v >> 16);
}

// A run-length TGA header of 4097 x 4097 and five packets: 38 bytes that
// declare a 64 MiB picture.
std::string HugeTga()
{
    std::string f(18, '\0');
    f[2] = 10;
    f.replace(12, 4, Le16(4097) + Le16(4097));
    f[16] = 24;
    for (int i = 0; i < 5; ++i) f += std::string("\xFF\x01\x02\x03", 4);
    return f;
}

// A 24-bit top-down BMP of 4 x 3 (its height stored negative).
std::string TopDownBmp()
{
    std::string f = "BM" + Le32(54 + 3 * 12) + Le32(0) + Le32(54) + Le32(40) + Le32(4) + Le32(uint32_t(-3)) +
                    Le16(1) + Le16(24) + std::string(24, '\0');
    return f + std::string(3 * 12, '\x60');
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
        ASSERT_TRUE(fs::exists(kCapture)) << kCapture;
        ASSERT_TRUE(fs::exists(kContent / "art.xml")) << kContent;
        dir_ = fs::temp_directory_path() / ("mivola-hostile-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Run(const Case& c)
    {
        SCOPED_TRACE(c.name);
        const fs::path disk = dir_ / "disk";
        fs::remove_all(disk);
        fs::copy(kContent, disk, fs::copy_options::recursive);
        c.breakDisk(disk);
        // Loading takes some 30 frames: at 2 a second, 16 s of virtual time.
        const std::string command = "'" + kCapture.string() + "' --quiet --content '" + disk.string() +
                                    "' --fps 2 --windowed --no-multisample --max-seconds 16 2>&1";
        const auto start = std::chrono::steady_clock::now();
        std::FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string log;
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) log.append(buffer, n);
        const int status = pclose(pipe);
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
                .count();
        EXPECT_LT(seconds, c.maxSeconds);
        ASSERT_TRUE(WIFEXITED(status)) << log;
        EXPECT_EQ(WEXITSTATUS(status), c.status) << log;
        EXPECT_TRUE(std::regex_search(log, std::regex(c.logged))) << c.logged << "\n" << log;
    }

    fs::path dir_;
};

// Refused at once, naming the file and why.
TEST_F(HostileDiskTest, FilesThatCannotBeShownAreRefusedAtOnce)
{
    const Case cases[] = {
        {"a 38-byte TGA declaring 4097 x 4097",
         [](const fs::path& d) { Write(d / "titles/pixel_pilot.png", HugeTga()); }, 1,
         "Cannot load \"titles/pixel_pilot\\.png\": the file is shorter than the picture it declares\n", 60},
        {"more songs than image slots",
         [](const fs::path& d) {
             std::string songs;
             for (int i = 0; i < 513; ++i)
                 songs += "<song path=\"songs/pixel_pilot.mod\" titlepic=\"titles/pixel_pilot.png\"/>";
             Write(d / "art.xml", "<bits><songs>" + songs + "</songs></bits>");
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
        {"a top-down BMP as a title picture",
         [](const fs::path& d) { Write(d / "titles/pixel_pilot.png", TopDownBmp()); }, 0,
         "Loaded unfiltered image: \"titles/pixel_pilot\\.png\" \\(4 x 3\\)\n", 60},
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
             Write(d / "fonts/DejaVuSans.ttf", "not a font");
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
         [](const fs::path& d) { Write(d / "songs/paper_lanterns.ogg", NanWav()); }, 0,
         "Loaded stream: \"songs/paper_lanterns\\.ogg\" \\(1000 ms\\)\n", 60},
    };
    for (const Case& c : cases) Run(c);
}

}  // namespace
