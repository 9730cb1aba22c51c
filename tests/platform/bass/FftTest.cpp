// The FFT behind BASS_ChannelGetData, on its own.
#include "platform/bass/Fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

std::vector<float> Sine(size_t n, double bin, double amplitude)
{
    std::vector<float> x(n);
    for (size_t i = 0; i < n; ++i)
        x[i] = static_cast<float>(amplitude * std::sin(2.0 * 3.14159265358979 * bin * double(i) / double(n)));
    return x;
}

}  // namespace

TEST(HannFft, ScaleAndLeakage)
{
    float out[256];
    // Amplitude scales linearly; a tone halfway between bins loses the Hann
    // window's scalloping (about 0.85 of its amplitude at each neighbour).
    for (double amplitude : {1.0, 0.25}) {
        std::vector<float> x = Sine(512, 33.0, amplitude);
        bass::HannSpectrum(x.data(), x.size(), out);
        EXPECT_NEAR(out[33], amplitude, 1e-4);
    }
    std::vector<float> between = Sine(512, 33.5, 1.0);
    bass::HannSpectrum(between.data(), between.size(), out);
    EXPECT_NEAR(out[33], out[34], 1e-3);
    EXPECT_NEAR(out[33], 0.849, 0.01);
    // DC lands in bin 0; louder than full scale is clamped to 1.
    std::vector<float> dc(256, 0.25f);
    bass::HannSpectrum(dc.data(), dc.size(), out);
    EXPECT_NEAR(out[0], 0.5f, 1e-5);
    EXPECT_LT(*std::max_element(out + 2, out + 128), 1e-6f);
    std::vector<float> loud = Sine(256, 10.0, 3.0);
    bass::HannSpectrum(loud.data(), loud.size(), out);
    EXPECT_EQ(out[10], 1.0f);
}
