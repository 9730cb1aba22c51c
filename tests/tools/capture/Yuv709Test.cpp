// RGBA to BT.709 studio-range 4:2:0, the unscaled video path.

#include <gtest/gtest.h>

#include <vector>

#include "tools/capture/Yuv709.h"

namespace {

struct Planes {
    int w, h;
    std::vector<uint8_t> y, u, v;
    Planes(int width, int height)
        : w(width), h(height), y(size_t(width) * height), u(size_t((width + 1) / 2) * ((height + 1) / 2)),
          v(u.size())
    {
    }
    void From(const std::vector<uint8_t>& rgba)
    {
        uint8_t* const planes[3] = {y.data(), u.data(), v.data()};
        const int lines[3] = {w, (w + 1) / 2, (w + 1) / 2};
        RgbaToYuv709(rgba.data(), w, h, size_t(w) * 4, planes, lines);
    }
};

std::vector<uint8_t> Solid(int w, int h, uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<uint8_t> p;
    for (int i = 0; i < w * h; ++i) p.insert(p.end(), {r, g, b, 255});
    return p;
}

TEST(Yuv709Test, ReferenceColoursLandOnTheStudioRangeValues)
{
    struct Case {
        uint8_t r, g, b;
        int y, u, v;
    };
    // BT.709: Y' = 16 + 219 (0.2126 R + 0.7152 G + 0.0722 B), Cb, Cr around 128 by 224.
    for (Case c :
         {Case{0, 0, 0, 16, 128, 128}, Case{255, 255, 255, 235, 128, 128}, Case{255, 0, 0, 63, 102, 240},
          Case{0, 255, 0, 173, 42, 26}, Case{0, 0, 255, 32, 240, 118}, Case{128, 128, 128, 126, 128, 128}}) {
        SCOPED_TRACE(int(c.r) * 65536 + c.g * 256 + c.b);
        Planes p(2, 2);
        p.From(Solid(2, 2, c.r, c.g, c.b));
        EXPECT_EQ(p.y[3], c.y);
        EXPECT_EQ(p.u[0], c.u);
        EXPECT_EQ(p.v[0], c.v);
    }
}

TEST(Yuv709Test, ChromaAveragesItsFourPixelsAndOddEdgesRepeat)
{
    // 3 x 3: a white column on the right, the rest black. The first chroma
    // sample sees black only; the second, white repeated down the odd edge.
    std::vector<uint8_t> rgba = Solid(3, 3, 0, 0, 0);
    for (int y = 0; y < 3; ++y)
        for (int k = 0; k < 3; ++k) rgba[size_t(y * 3 + 2) * 4 + k] = 255;
    rgba[0] = 255;  // one red pixel in the first 2x2: a quarter of red's chroma
    Planes p(3, 3);
    p.From(rgba);
    EXPECT_EQ(p.y[2], 235);
    EXPECT_EQ(p.y[0], 63);
    EXPECT_EQ(p.u[0], 122);  // 128 - 0.1006 * 255 / 4, rounded
    EXPECT_EQ(p.v[0], 156);  // 128 + 0.4392 * 255 / 4
    EXPECT_EQ(p.u[1], 128);
    EXPECT_EQ(p.u[3], 128);
    EXPECT_EQ(p.v[2], 128);
}

}  // namespace
