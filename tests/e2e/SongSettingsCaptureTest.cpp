// A disk's render settings heard in a whole run: stereo separation 0 on "songs"
// folds a module panned hard left into the middle, and a song's own
// separation overrides it.
#include "tests/support/Audio.h"
#include "tests/support/Run.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<int16_t> ReadWav(const fs::path& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<int16_t> samples;
    if (!file || info.channels != 2) return samples;
    samples.resize(static_cast<size_t>(info.frames) * 2);
    samples.resize(static_cast<size_t>(sf_readf_short(file, samples.data(), info.frames)) * 2);
    sf_close(file);
    return samples;
}

}  // namespace

TEST(SongSettingsCapture, SeparationOnSongsAppliesToEverySongAndASongsOwnOverridesIt)
{
    ASSERT_TRUE(fs::exists(support::kCaptureTool)) << support::kCaptureTool;
    const fs::path dir = support::FreshDir("settings");
    const fs::path content = dir / "content";
    fs::copy(support::kTestContent, content, fs::copy_options::recursive);
    ASSERT_TRUE(support::WriteHardLeftXm((content / "songs/left.xm").string(), 16));  // 1.92 s
    std::ofstream(content / "art.xml", std::ios::trunc)
        << "<bits><songs stereoseparation=\"0\">\n"
           "<song path=\"songs/left.xm\" titlepic=\"titles/pixel_pilot.png\"/>\n"
           "<song path=\"songs/left.xm\" titlepic=\"titles/neon_harbour.png\" stereoseparation=\"100\"/>\n"
           "</songs></bits>\n";

    const fs::path wav = dir / "run.wav";
    const support::CommandResult run = support::RunCommand(
        support::Quote(support::kCaptureTool.string()) + " --quiet --content " +
        support::Quote(content.string()) +
        " --fps 10 --windowed --no-multisample --event '1 key space down' --event '1.1 key space up'"
        " --max-seconds 6 --audio " +
        support::Quote(wav.string()) + " 2>&1");
    const std::string& log = run.out;
    ASSERT_EQ(run.status, 0) << log;
    EXPECT_NE(log.find("Render settings for \"songs/left.xm\": stereoseparation 0\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find("Render settings for \"songs/left.xm\": stereoseparation 100\n"), std::string::npos);

    // After the intro: the first song in the middle (left equals right), then
    // the second on the left alone.
    const std::vector<int16_t> sound = ReadWav(wav);
    ASSERT_GT(sound.size(), size_t{5 * 44100 * 2});
    size_t middle = 0, left = 0, other = 0, firstMiddle = 0, firstLeft = 0;
    for (size_t f = size_t{44100 * 6 / 5}; f < sound.size() / 2; ++f) {
        const int l = sound[f * 2], r = sound[f * 2 + 1];
        if (std::abs(l) < 1000 && std::abs(r) < 1000) continue;
        if (std::abs(l - r) <= 1) {
            if (!middle++) firstMiddle = f;
        } else if (std::abs(r) <= 1) {
            if (!left++) firstLeft = f;
        } else {
            ++other;
        }
    }
    EXPECT_GT(middle, size_t{44100 / 2});
    EXPECT_GT(left, size_t{44100 / 2});
    EXPECT_LT(firstMiddle, firstLeft);
    EXPECT_LT(other, (middle + left) / 50);
    fs::remove_all(dir);
}
