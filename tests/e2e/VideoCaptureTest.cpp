// mivola-capture's compressed video, checked with Debian's ffprobe and ffmpeg:
// each container's codecs, lengths and picture size, picture and sound in step,
// the settings of each --for, chapters, pixel replication, and outputs that
// cannot be written.
#include "tests/support/Run.h"
#include "tools/capture/Chapters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
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
using support::Quote;
using Output = support::CommandResult;

// Runs a shell command; its standard output, or its standard error with `errors`.
Output Shell(const std::string& command, bool errors = false)
{
    return support::RunCommand(errors ? command + " 2>&1 >/dev/null" : command + " 2>/dev/null");
}

// A capture of the test content; returns its standard error (summary, failures),
// or with `log` its standard output.
Output Capture(const std::vector<std::string>& args, bool log = false)
{
    std::string command = Quote(kCaptureTool.string()) + " --content " + Quote(kTestContent.string());
    for (const std::string& a : args) command += " " + Quote(a);
    return Shell(command, !log);
}

std::string Probe(const fs::path& file, const std::string& select, const std::string& entries)
{
    std::string stream = select.empty() ? "" : " -select_streams " + select;
    return Shell("ffprobe -v error -count_frames" + stream + " -show_entries " + entries +
                 " -of default=noprint_wrappers=1:nokey=1 " + Quote(file.string()))
        .out;
}

// Mean luma of each decoded frame, at a small size.
std::vector<double> FrameLevels(const fs::path& file)
{
    const int w = 64, h = 36;
    std::string raw = Shell("ffmpeg -v error -i " + Quote(file.string()) +
                            " -fps_mode passthrough -vf scale=" + std::to_string(w) + ":" +
                            std::to_string(h) + " -f rawvideo -pix_fmt gray -")
                          .out;
    std::vector<double> levels;
    for (size_t at = 0; at + w * h <= raw.size(); at += w * h) {
        double sum = 0;
        for (size_t i = 0; i < size_t(w * h); ++i) sum += static_cast<unsigned char>(raw[at + i]);
        levels.push_back(sum / (w * h));
    }
    return levels;
}

// The decoded sound as mono 16-bit samples at 44.1 kHz.
std::vector<int16_t> Sound(const fs::path& file)
{
    std::string raw =
        Shell("ffmpeg -v error -i " + Quote(file.string()) + " -vn -ac 1 -ar 44100 -f s16le -").out;
    std::vector<int16_t> samples(raw.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(static_cast<uint8_t>(raw[2 * i]) |
                                          (static_cast<uint8_t>(raw[2 * i + 1]) << 8));
    return samples;
}

class VideoCaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(kCaptureTool)) << kCaptureTool;
        ASSERT_TRUE(fs::exists(kTestContent / "art.xml")) << kTestContent;
        ASSERT_EQ(Shell("ffprobe -version").status, 0) << "ffprobe (Debian package ffmpeg) is needed";
        dir_ = support::FreshDir(std::string("video-") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
};

struct Container {
    const char* file;
    const char* videoCodec;
    const char* audioCodec;
    const char* size;  // --video-size, or empty
    int width, height;
};

// One second at 60 fps: loading takes some 24 frames, then the intro's picture
// and its song start together.
TEST_F(VideoCaptureTest, EachContainerHoldsItsCodecsTheWholeRunAndPictureAndSoundInStep)
{
    const double fps = 60, seconds = 1;
    for (const Container& c : {Container{"show.mp4", "h264", "aac", "1920x1080", 1920, 1080},
                               Container{"show.webm", "vp9", "opus", "", 1280, 720},
                               Container{"show.mkv", "h264", "flac", "", 1280, 720}}) {
        SCOPED_TRACE(c.file);
        fs::path video = dir_ / c.file;
        std::vector<std::string> args = {"--fps", "60",      "--no-multisample", "--max-seconds",
                                         "1",     "--video", video.string()};
        if (*c.size) args.insert(args.end(), {"--video-size", c.size});
        fs::path wav = dir_ / "show.wav";
        args.insert(args.end(), {"--audio", wav.string()});
        Output run = Capture(args);
        ASSERT_EQ(run.status, 0) << run.out;

        // The summary's frame count is what the file holds.
        std::smatch m;
        ASSERT_TRUE(std::regex_search(run.out, m, std::regex(R"((\d+) frames, )"))) << run.out;
        int frames = std::stoi(m[1]);
        EXPECT_GE(frames, seconds * fps);
        EXPECT_LE(frames, seconds * fps + 2);

        EXPECT_EQ(Probe(video, "v", "stream=codec_name,width,height,nb_read_frames"),
                  std::string(c.videoCodec) + "\n" + std::to_string(c.width) + "\n" +
                      std::to_string(c.height) + "\n" + std::to_string(frames) + "\n");
        EXPECT_EQ(Probe(video, "a", "stream=codec_name"), std::string(c.audioCodec) + "\n");
        double duration = std::stod("0" + Probe(video, "", "format=duration"));
        EXPECT_NEAR(duration, frames / fps, 1 / fps);

        std::vector<int16_t> sound = Sound(video);
        EXPECT_NEAR(static_cast<double>(sound.size()) / 44100, frames / fps, 1 / fps);

        // The first frame of the intro (much brighter than the loading screen)
        // and the first sound, after the silence of loading.
        std::vector<double> levels = FrameLevels(video);
        ASSERT_EQ(levels.size(), size_t(frames));
        size_t picture = 1;
        while (picture < levels.size() && levels[picture] < levels[picture - 1] + 10) ++picture;
        ASSERT_LT(picture, levels.size());
        EXPECT_GT(picture, 5u);
        size_t onset = 0;
        while (onset < sound.size() && std::abs(sound[onset]) < 64) ++onset;
        ASSERT_LT(onset, sound.size());
        EXPECT_NEAR(static_cast<double>(onset) / 44100, picture / fps, 1 / fps);

        // FLAC keeps the samples: the WAV's sound, at its place in the run.
        if (std::string(c.audioCodec) == "flac") {
            std::string decoded =
                Shell("ffmpeg -v error -i " + Quote(video.string()) + " -vn -f s16le -").out;
            std::string written = support::ReadText(wav).substr(44);
            size_t at = decoded.find_first_not_of('\0'), from = written.find_first_not_of('\0');
            ASSERT_NE(at, std::string::npos);
            ASSERT_NE(from, std::string::npos);
            at -= at % 4;
            from -= from % 4;
            ASSERT_GE(at, from);
            EXPECT_TRUE(decoded.compare(at - from, written.size(), written) == 0)
                << "the video's sound is not the WAV's";
        }
    }
}

// By default the virtual desktop is 16:9: fullscreen is the 1280x720 interface
// itself, so mouse positions are interface pixels. A taller mode adds bands,
// which a video leaves out.
TEST_F(VideoCaptureTest, DefaultFullscreenIsTheInterfaceWithoutBands)
{
    fs::path plain = dir_ / "plain.y4m", banded = dir_ / "banded.y4m";
    for (auto [file, modes] : {std::pair{plain, ""}, std::pair{banded, "1280x1024"}}) {
        std::vector<std::string> args = {"--fps",   "30", "--no-multisample", "--max-seconds", "0.5",
                                         "--video", file};
        if (*modes) args.insert(args.end(), {"--modes", modes});
        ASSERT_EQ(Capture(args).status, 0);
    }
    std::string video = support::ReadText(plain);
    EXPECT_EQ(video.rfind("YUV4MPEG2 W1280 H720 ", 0), 0u) << video.substr(0, 40);
    EXPECT_TRUE(video == support::ReadText(banded)) << "the banded run's video differs";

    // "next" on the interface at its own coordinates: the second song starts.
    auto click = [](const char* modes) {
        std::vector<std::string> args = {"--fps",
                                         "30",
                                         "--no-multisample",
                                         "--max-seconds",
                                         "3",
                                         "--event",
                                         "1.5 key space down",
                                         "--event",
                                         "1.6 key space up",
                                         "--event",
                                         "2.5 mouse 1202 612",
                                         "--event",
                                         "2.5 lbutton down",
                                         "--event",
                                         "2.6 lbutton up"};
        if (*modes) args.insert(args.end(), {"--modes", modes});
        return Capture(args, true).out;
    };
    EXPECT_NE(click("").find("Playing: 1"), std::string::npos);
    // With bands the same point lies 152 pixels lower on the interface.
    EXPECT_EQ(click("1280x1024").find("Playing: 1"), std::string::npos);
}

// Skips the intro at 1.5 s, clicks "next" at 2.5 s and leaves at 4 s: the end
// screen follows a one-second fade.
const std::vector<std::string> kSongsScript = {
    "--no-multisample",   "--event", "1.5 key space down", "--event", "1.6 key space up", "--event",
    "2.5 mouse 1202 612", "--event", "2.5 lbutton down",   "--event", "2.6 lbutton up",   "--event",
    "4 key escape down",  "--event", "4.1 key escape up"};

const char kChapterList[] = "0:00 Intro\n"
                            "0:01 Neon Harbour \u2014 Mivola crew\n"
                            "0:02 Paper Lanterns \u2014 Mivola crew\n"
                            "0:05 End screen\n";

TEST_F(VideoCaptureTest, ForYouTubeUsesTheSitesSettingsAndMarksEverySongAsAChapter)
{
    fs::path video = dir_ / "show.mp4", list = dir_ / "chapters.txt";
    std::vector<std::string> args = kSongsScript;
    args.insert(args.end(), {"--fps", "30", "--max-seconds", "6", "--for", "youtube", "--video",
                             video.string(), "--chapters", list.string()});
    Output run = Capture(args);
    ASSERT_EQ(run.status, 0) << run.out;

    EXPECT_EQ(Probe(video, "v", "stream=profile,color_space,color_primaries,color_transfer"),
              "High\nbt709\nbt709\nbt709\n");
    EXPECT_EQ(Probe(video, "a", "stream=codec_name,profile,sample_rate,channels"), "aac\nLC\n48000\n2\n");
    // x264 states its settings in the stream: closed GOPs of half a second, 2 B-frames.
    std::string bytes = support::ReadText(video);
    for (const char* setting : {" bframes=2 ", " open_gop=0 ", " keyint=15 "})
        EXPECT_NE(bytes.find(setting), std::string::npos) << setting;
    // The index is at the front (+faststart).
    EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));

    // Key frames at most half a second (15 frames) apart.
    std::string packets =
        Shell("ffprobe -v error -select_streams v -show_entries packet=pts_time,flags -of csv=p=0 " +
              Quote(video.string()))
            .out;
    std::vector<double> keys;
    std::istringstream lines(packets);
    for (std::string line; std::getline(lines, line);)
        if (line.find(",K") != std::string::npos) keys.push_back(std::stod(line));
    std::sort(keys.begin(), keys.end());
    ASSERT_GE(keys.size(), 2u);
    for (size_t i = 1; i < keys.size(); ++i) EXPECT_LE(keys[i] - keys[i - 1], 0.5 + 1e-3) << "at " << keys[i];

    // The sound while the songs play is coded at about 384 kb/s.
    std::string audio =
        Shell("ffprobe -v error -select_streams a -show_entries packet=pts_time,size -of csv=p=0 " +
              Quote(video.string()))
            .out;
    double bytesInSongs = 0;
    std::istringstream sizes(audio);
    for (std::string line; std::getline(sizes, line);) {
        if (line.empty()) continue;
        double at = std::stod(line);
        if (at >= 2 && at < 4) bytesInSongs += std::stod(line.substr(line.find(',') + 1));
    }
    EXPECT_NEAR(bytesInSongs * 8 / 2, 384000, 40000);

    // A chapter for the intro, each song (its art.xml title) and the end screen,
    // at the frame each began; the same as a list.
    EXPECT_EQ(Shell("ffprobe -v error -show_entries chapter=start_time:chapter_tags=title -of csv=p=0 " +
                    Quote(video.string()))
                  .out,
              "0.000000,Intro\n1.500000,Neon Harbour \u2014 Mivola crew\n"
              "2.500000,Paper Lanterns \u2014 Mivola crew\n5.000000,End screen\n");
    EXPECT_EQ(support::ReadText(list), kChapterList);
}

// The archive decodes back to the capture's own frames and samples, bit for
// bit; at three times the interface's size every pixel is a 3x3 block.
TEST_F(VideoCaptureTest, ForArchiveIsLosslessAndWholeMultiplesRepeatPixels)
{
    fs::path archive = dir_ / "show.mkv", big = dir_ / "big.mkv", wav = dir_ / "show.wav",
             frames = dir_ / "frames";
    std::vector<std::string> args = {
        "--fps",      "10",       "--no-multisample", "--max-seconds",  "3.5",
        "--for",      "archive",  "--video",          archive.string(), "--audio",
        wav.string(), "--frames", frames.string()};
    ASSERT_EQ(Capture(args).status, 0);
    std::string pictures =
        Shell("ffmpeg -v error -framerate 10 -i " + Quote((frames / "frame-%06d.png").string()) +
              " -f rawvideo -pix_fmt rgb24 -")
            .out;
    std::string decoded =
        Shell("ffmpeg -v error -i " + Quote(archive.string()) + " -f rawvideo -pix_fmt rgb24 -").out;
    const size_t small = 1280 * 720 * 3, frameCount = pictures.size() / small;
    ASSERT_GE(frameCount, 35u);
    EXPECT_TRUE(decoded == pictures) << "the archive's frames differ from the capture's";
    EXPECT_TRUE(Shell("ffmpeg -v error -i " + Quote(archive.string()) + " -vn -f s16le -").out ==
                support::ReadText(wav).substr(44))
        << "the archive's sound differs from the capture's";

    // The loading screen and the intro's first frames.
    args = {"--fps",    "10",        "--no-multisample", "--max-seconds", "2.7",     "--for",     "archive",
            "--preset", "ultrafast", "--video-size",     "3840x2160",     "--video", big.string()};
    ASSERT_EQ(Capture(args).status, 0);
    std::FILE* pipe =
        popen(("ffmpeg -v error -i " + Quote(big.string()) + " -f rawvideo -pix_fmt rgb24 -").c_str(), "r");
    ASSERT_TRUE(pipe);
    const size_t row = 3840 * 3;
    std::vector<char> frame(row * 2160), expected(row);
    size_t count = 0, wrongRows = 0;
    while (count < frameCount && std::fread(frame.data(), 1, frame.size(), pipe) == frame.size()) {
        const char* original = pictures.data() + count * small;
        for (size_t y = 0; y < 2160; ++y) {
            if (y % 3 == 0)
                for (size_t x = 0; x < 3840; ++x)
                    std::memcpy(&expected[x * 3], original + ((y / 3) * 1280 + x / 3) * 3, 3);
            wrongRows += std::memcmp(&frame[y * row], expected.data(), row) != 0;
        }
        ++count;
    }
    pclose(pipe);
    EXPECT_GE(count, 27u);  // 2.7 s at 10 frames a second
    EXPECT_EQ(wrongRows, 0u) << "rows that are not 3x3 replicas";
}

TEST(Chapters, ListTimesRiseFromZeroInWholeSeconds)
{
    Chapters chapters;
    chapters.Mark(0, "Intro");
    chapters.Mark(90, "A");   // 1.5 s
    chapters.Mark(100, "B");  // the same second: A is left out of the list
    chapters.Mark(100, "C");  // the same frame: C replaces B
    chapters.Mark(60 * 3725, "Late");
    chapters.Mark(60 * 4000, "After the end");
    std::vector<Chapters::Chapter> within = chapters.Within(60 * 4000);
    ASSERT_EQ(within.size(), 4u);
    EXPECT_EQ(within[2].title, "C");
    EXPECT_EQ(Chapters::Text(within, 60), "0:00 Intro\n0:01 C\n1:02:05 Late\n");

    // The first line is at 0:00 whatever the first chapter's frame.
    EXPECT_EQ(Chapters::Text({{30, "Song"}, {600, "End"}}, 60), "0:00 Song\n0:10 End\n");
}

TEST_F(VideoCaptureTest, ForChecksTheFileItWrites)
{
    for (std::vector<std::string> args :
         {std::vector<std::string>{"--for", "youtube", "--video", (dir_ / "show.mkv").string()},
          std::vector<std::string>{"--for", "web"},
          std::vector<std::string>{"--for", "archive", "--crf", "10", "--video",
                                   (dir_ / "show.mkv").string()},
          std::vector<std::string>{"--for", "cinema", "--video", (dir_ / "show.mp4").string()}}) {
        Output run = Capture(args);
        EXPECT_EQ(run.status, 2) << args[1];
        EXPECT_NE(run.out.find("--for"), std::string::npos) << run.out;
    }
}

TEST_F(VideoCaptureTest, OutputsThatCannotBeWrittenEndTheRunWithStatusOneNamingTheFile)
{
    fs::path full = dir_ / "full.mp4";
    fs::create_symlink("/dev/full", full);
    fs::path file = dir_ / "file";
    std::FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_TRUE(f);
    std::fclose(f);
    struct Case {
        std::vector<std::string> args;
        std::string named;
    };
    const std::string missing = (dir_ / "missing/show.wav").string();
    const std::string underFile = (file / "frames").string();
    for (const Case& c :
         {Case{{"--audio", "/dev/full"}, "/dev/full"},  // fails at a write or at close
          Case{{"--audio", missing}, missing}, Case{{"--video", full.string()}, full.string()},
          Case{{"--video", (dir_ / "missing/show.y4m").string()}, (dir_ / "missing/show.y4m").string()},
          Case{{"--frames", underFile}, underFile}, Case{{"--chapters", underFile}, underFile},
          Case{{"--frame-at", "0.5", "--frame-dir", underFile}, underFile}}) {
        std::vector<std::string> args = {"--fps", "30", "--no-multisample", "--max-seconds", "1"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Output run = Capture(args);
        SCOPED_TRACE(c.args[1]);
        EXPECT_EQ(run.status, 1) << run.out;
        EXPECT_NE(run.out.find("cannot write " + c.named), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find(" frames, "), std::string::npos) << "a summary after a failure: " << run.out;
    }
}

}  // namespace
