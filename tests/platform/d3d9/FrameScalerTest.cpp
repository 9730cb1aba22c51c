// The CPU scaler that puts frames into a window on software renderers: it must
// sample as a linear-filtered blit does, stay inside its rows and never show a
// row of an earlier frame.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/d3d9/FrameScaler.h"

using d3d9::FrameScaler;

namespace {

struct Frame {
    int width, height;
    std::vector<uint8_t> pixels;
    Frame(int w, int h) : width(w), height(h), pixels(size_t(w) * h * 4) {}
    uint8_t At(int x, int y, int c) const { return pixels[(size_t(y) * width + x) * 4 + c]; }
};

Frame Noise(int w, int h, unsigned seed)
{
    Frame f(w, h);
    std::mt19937 random(seed);
    for (auto& p : f.pixels) p = uint8_t(random());
    return f;
}

// Bilinear filtering with edges clamped, in doubles: what GL's linear blit gives.
double Reference(const Frame& s, double x, double y, int c)
{
    auto texel = [&](int tx, int ty) {
        return double(s.At(std::clamp(tx, 0, s.width - 1), std::clamp(ty, 0, s.height - 1), c));
    };
    const double fx = std::floor(x), fy = std::floor(y);
    const double ax = x - fx, ay = y - fy;
    const int ix = int(fx), iy = int(fy);
    return (texel(ix, iy) * (1 - ax) + texel(ix + 1, iy) * ax) * (1 - ay) +
           (texel(ix, iy + 1) * (1 - ax) + texel(ix + 1, iy + 1) * ax) * ay;
}

// Scales into a destination with a pitch wider than its rows and a guard band
// after them: the band must stay untouched.
Frame Scale(FrameScaler& scaler, const Frame& s, int w, int h)
{
    constexpr size_t kGuard = 12;
    const size_t pitch = size_t(w) * 4 + kGuard;
    std::vector<uint8_t> out(pitch * size_t(h), 0xA5);
    scaler.Prepare(s.width, s.height, w, h);
    scaler.Scale(s.pixels.data(), size_t(s.width) * 4, out.data(), pitch);
    Frame f(w, h);
    for (int y = 0; y < h; ++y) {
        std::copy_n(&out[size_t(y) * pitch], size_t(w) * 4, &f.pixels[size_t(y) * w * 4]);
        for (size_t g = 0; g < kGuard; ++g) EXPECT_EQ(out[size_t(y) * pitch + size_t(w) * 4 + g], 0xA5);
    }
    return f;
}

TEST(FrameScalerTest, EveryPixelCloseToBilinearFilteringWhateverTheSizes)
{
    // Up and down, odd sizes (the vector loops' tails), a single row or column,
    // a single pixel, and frames large enough to be scaled in two halves.
    const struct {
        int sw, sh, w, h;
    } cases[] = {{64, 36, 97, 55}, {100, 60, 37, 23}, {1, 9, 5, 13},     {9, 1, 14, 3},
                 {1, 1, 5, 3},     {7, 5, 7, 5},     {128, 72, 333, 201}, {401, 300, 300, 225}};
    for (const auto& k : cases) {
        const Frame s = Noise(k.sw, k.sh, unsigned(k.sw * 131 + k.h));
        FrameScaler scaler;
        const Frame d = Scale(scaler, s, k.w, k.h);
        double worst = 0;
        for (int y = 0; y < k.h; ++y)
            for (int x = 0; x < k.w; ++x) {
                const double sx = (x + 0.5) * k.sw / k.w - 0.5, sy = (y + 0.5) * k.sh / k.h - 0.5;
                for (int c = 0; c < 4; ++c)
                    worst = std::max(worst, std::fabs(d.At(x, y, c) - Reference(s, sx, sy, c)));
            }
        // 8-bit weights on both axes: under 1.5 from the exact value.
        EXPECT_LT(worst, 1.5) << k.sw << "x" << k.sh << " to " << k.w << "x" << k.h;
    }
}

TEST(FrameScalerTest, SameSizeCopiesExactly)
{
    const Frame s = Noise(33, 17, 7);
    FrameScaler scaler;
    EXPECT_EQ(Scale(scaler, s, 33, 17).pixels, s.pixels);
}

TEST(FrameScalerTest, EachFrameScaledFromItsOwnRows)
{
    // Rows scaled along x are kept between destination rows: the next frame,
    // and a change of sizes in between, must not reuse them. Once small, once
    // in two halves.
    for (int size : {1, 6}) {
        const int sw = 40 * size, sh = 30 * size, w = 60 * size, h = 45 * size;
        const Frame a = Noise(sw, sh, 1), b = Noise(sw, sh, 2), small = Noise(10, 8, 3);
        FrameScaler fresh;
        const Frame expectB = Scale(fresh, b, w, h);
        FrameScaler scaler;
        Scale(scaler, a, w, h);
        EXPECT_EQ(Scale(scaler, b, w, h).pixels, expectB.pixels);
        Scale(scaler, small, w, h);
        EXPECT_EQ(Scale(scaler, b, w, h).pixels, expectB.pixels);
    }
}

}  // namespace

// A frame changed in a few rectangles, scaled again only over the pixels that
// read them, equals the whole new frame scaled; nothing outside them is written.
TEST(FrameScaler, RegionsReachingChangedPixelsGiveTheWholeFrame)
{
    for (auto [sw, sh, w, h] : {std::array<int, 4>{1280, 720, 1920, 1080}, {320, 180, 333, 97}, {64, 48, 64, 48}}) {
        FrameScaler scaler;
        Frame before = Noise(sw, sh, 1), after = before;
        const std::vector<std::array<int, 4>> changed = {{0, 0, 1, 1}, {sw / 3, sh / 4, sw / 2, sh / 2},
                                                         {sw - 5, sh - 3, sw, sh}};
        std::mt19937 random(2);
        for (const auto& r : changed)
            for (int y = r[1]; y < r[3]; ++y)
                for (int x = r[0]; x < r[2]; ++x)
                    for (int c = 0; c < 4; ++c) after.pixels[(size_t(y) * sw + x) * 4 + c] = uint8_t(random());
        Frame partly = Scale(scaler, before, w, h);
        const std::vector<uint8_t> old = partly.pixels;
        size_t written = 0;
        for (const auto& r : changed) {
            const FrameScaler::Region region = scaler.Reaching(r[0], r[1], r[2], r[3]);
            written += size_t(region.x1 - region.x0) * size_t(region.y1 - region.y0);
            scaler.Scale(after.pixels.data(), size_t(sw) * 4, partly.pixels.data(), size_t(w) * 4, region);
        }
        EXPECT_EQ(partly.pixels, Scale(scaler, after, w, h).pixels) << sw << "x" << sh << " to " << w << "x" << h;
        EXPECT_LT(written, size_t(w) * h / 2);
        EXPECT_NE(partly.pixels, old);
    }
}
