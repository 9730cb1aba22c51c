// The WAV writer that takes a virtual run's sound.
#include "platform/host/Host.h"
#include "platform/host/WavWriter.h"
#include "tests/support/Audio.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <fstream>

using namespace support;

TEST(WavWriter, HeaderIsPatchedOnClose)
{
    std::string path = TempPath("writer.wav");
    std::vector<int16_t> samples;
    for (int i = 0; i < 1000; ++i) samples.push_back(static_cast<int16_t>(i * 65 - 32000));
    {
        host::WavWriter writer;
        ASSERT_TRUE(writer.Open(path));
        ASSERT_TRUE(writer.Write(samples.data(), 300));
        ASSERT_TRUE(writer.Write(samples.data() + 600, 200));
        EXPECT_EQ(writer.Frames(), 500u);
        // Destruction closes and patches the header.
    }
    int rate = 0;
    std::vector<int16_t> back = DecodeWithSndfile(path, &rate);
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(back, samples);
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    EXPECT_EQ(static_cast<size_t>(in.tellg()), 44u + 2000u);

    EXPECT_FALSE(host::WavWriter().Open(TempPath("no/such/dir.wav")));
}

TEST(WavWriter, CapturesTheHostSoundUntilExit)
{
    host::Reset();
    std::string path = TempPath("capture.wav");
    ASSERT_TRUE(host::CaptureSoundToWav(path));
    std::vector<int16_t> samples(882 * 2, 1234);
    host::SubmitSound(samples.data(), 882);
    host::SubmitSound(samples.data(), 441);
    host::RunExitHooks();
    EXPECT_EQ(DecodeWithSndfile(path, nullptr).size(), size_t{1323 * 2});
    host::Reset();
}
