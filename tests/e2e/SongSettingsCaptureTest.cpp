// A disk's render settings heard in a whole run: stereo separation 0 on "songs"
// folds a module panned hard left into the middle, and a song's own
// separation overrides it.
#include "tests/support/Audio.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kCapture = fs::path(MIVOLA_BINARY_DIR) / "tools/capture/mivola-capture";
const fs::path kContent = fs::path(MIVOLA_BINARY_DIR) / "content/test";

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
    ASSERT_TRUE(fs::exists(kCapture)) << kCapture;
    const fs::path dir = fs::temp_directory_path() / ("mivola-settings-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path content = dir / "content";
    fs::copy(kContent, content, fs::copy_options::recursive);
    ASSERT_TRUE(support::WriteHardLeftXm((content / "songs/left.xm").string(), 16));  // 1.92 s
    std::ofstream(content / "art.xml", std::ios::trunc)
        << "<bits><songs stereoseparation=\"0\">\n"
           "<song path=\"songs/left.xm\" titlepic=\"titles/pixel_pilot.png\"/>\n"
           "<song path=\"songs/left.xm\" titlepic=\"titles/neon_harbour.png\" stereoseparation=\"100\"/>\n"
           "</songs></bits>\n";

    const fs::path wav = dir / "run.wav";
    const std::string command = "'" + kCapture.string() + "' --quiet --content '" + content.string() +
                                "' --fps 10 --windowed --no-multisample --event '1 key space down' --event "
                                "'1.1 key space up' --max-seconds 6 --audio '" +
                                wav.string() + "' 2>&1";
    std::string log;
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) log.append(buffer, n);
    const int status = pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << log;
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
