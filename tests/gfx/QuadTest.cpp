// The quad drawer's rectangles and pictures, checked pixel by pixel against
// what the Direct3D 9 rules give (pixel centres on integer coordinates,
// top-left fill rule, point sampling).
#include "tests/support/Headless.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr D3DCOLOR kBarColour = 0xFFCCCCCC;
constexpr uint32_t kRemainder = 0xFFFF00FF;  // texture area outside the picture

// A 200 x 100 picture of distinct pixels; no blue above 0x10, so the
// texture's magenta remainder shows wherever it leaks in.
uint32_t PicturePixel(int x, int y)
{
    return 0xFF000010u | uint32_t(x) << 16 | uint32_t(y * 2) << 8;
}

class QuadDraw : public support::HeadlessTest {
protected:
    void TexturedPoint()
    {
        // As the shell sets up blending and draws its pictures.
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    }
    MediaItem SmallPicture()
    {
        return MakePicture(200, 100,
                           [](int x, int y) { return x < 200 && y < 100 ? PicturePixel(x, y) : kRemainder; });
    }
    // Pixels of the frame that differ from expected(x, y).
    template <typename F> int Mismatches(F expected)
    {
        int wrong = 0;
        for (int y = 0; y < frame.height; ++y)
            for (int x = 0; x < frame.width; ++x)
                if (frame.Rgb(x, y) != expected(x, y)) {
                    if (wrong < 5)
                        ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << frame.Rgb(x, y)
                                      << " expected " << expected(x, y);
                    ++wrong;
                }
        return wrong;
    }
};

TEST_F(QuadDraw, FullRectangleCoversExactlyTheViewportAndLeavesTheBandsBlack)
{
    // Windowed the viewport is the whole 1280 x 720 buffer; fullscreen it sits at
    // y = 152 in a 1280 x 1024 buffer.
    for (bool windowed : {true, false}) {
        SCOPED_TRACE(windowed ? "windowed" : "fullscreen");
        ASSERT_EQ(StartEngine(windowed, false), 1);
        SolidColour(0xFF3366CC);
        Render([&] { quad.Draw(0.0f, 0.0f, 1.0f, 1.0f); });
        const int top = windowed ? 0 : 152;
        ASSERT_EQ(frame.width, 1280);
        ASSERT_EQ(frame.height, windowed ? 720 : 1024);
        EXPECT_EQ(Mismatches([&](int, int y) { return y >= top && y < top + 720 ? 0x3366CCu : 0u; }), 0);
    }
}

TEST_F(QuadDraw, RectangleEdgesFollowTheTopLeftRule)
{
    // The loading frame's bar at 30 %: 194 to 194 + 890 x 0.3 = 461, 659 to 682.
    ASSERT_EQ(StartEngine(true, false), 1);
    SolidColour(kBarColour);
    const float progress = 0.3f;
    Render([&] { quad.Draw(194.0f / 1280, 659.0f / 720, (194 + 890 * progress) / 1280, 682.0f / 720); });
    EXPECT_EQ(
        Mismatches([](int x, int y) { return x >= 194 && x < 461 && y >= 659 && y < 682 ? 0xCCCCCCu : 0u; }),
        0);
}

TEST_F(QuadDraw, PictureAtNaturalSizeFillsOrOverhangsTheViewport)
{
    ASSERT_EQ(StartEngine(true, false), 1);
    TexturedPoint();
    // A 1280 x 720 picture resampled over its 2048 x 1024 texture, one colour a quarter.
    const uint32_t quarters[4] = {0xFFC00000, 0xFF00C000, 0xFF0000C0, 0xFFC0C000};
    MediaItem item =
        MakePicture(1280, 720, [&](int x, int y) { return quarters[(y >= 512) * 2 + (x >= 1024)]; });
    item.kind = MediaImage;

    Render([&] { quad.DrawImage(item, 0.0f, 0.0f); });
    EXPECT_EQ(Mismatches([&](int x, int y) { return quarters[(y >= 360) * 2 + (x >= 640)] & 0xFFFFFFu; }), 0);

    // Its top-left quarter covers the bottom-right quarter; the rest is cut off.
    Render([&] { quad.DrawImage(item, 640.0f, 360.0f); });
    EXPECT_EQ(Mismatches([&](int x, int y) { return x >= 640 && y >= 360 ? quarters[0] & 0xFFFFFFu : 0u; }),
              0);

    // Partly off the left edge: clamped, nothing wraps round to the right.
    Render([&] { quad.DrawImage(item, -1000.0f, 0.0f); });
    EXPECT_EQ(
        Mismatches([&](int x, int y) { return x < 280 ? quarters[(y >= 360) * 2 + 1] & 0xFFFFFFu : 0u; }), 0);
}

TEST_F(QuadDraw, AlignedPictureShowsThePictureAndNoneOfItsTexture)
{
    // Screen pixel x + i shows picture pixel i, the first and last rows and
    // columns included: every pixel of the picture is distinct, so a picture
    // moved by one pixel, or one edge drawn twice, shows. Windowed at (0, 0)
    // and (100, 50); fullscreen, where the viewport sits at y = 152, at (37, 50).
    struct Place {
        bool windowed;
        float x, y;
        int left, top;
    };
    auto expectPictureAt = [&](const Place& at) {
        return Mismatches([&](int x, int y) -> uint32_t {
            const int i = x - at.left, j = y - at.top;
            return i >= 0 && i < 200 && j >= 0 && j < 100 ? PicturePixel(i, j) & 0xFFFFFF : 0;
        });
    };
    const Place fullscreen{false, 37, 50, 37, 50 + 152};
    for (const Place& at : {Place{true, 0, 0, 0, 0}, Place{true, 100, 50, 100, 50}, fullscreen}) {
        ASSERT_EQ(StartEngine(at.windowed, false), 1);
        TexturedPoint();
        MediaItem item = SmallPicture();
        Render([&] { quad.DrawImageAligned(item, at.x, at.y); });
        EXPECT_EQ(expectPictureAt(at), 0) << "at " << at.x << "," << at.y;
    }

    // Filtered, each pixel samples at (nearly) its texel's centre: the same
    // picture, but for the 1/128-texel bias of the device's pixel centres (at
    // most 4 levels of the texture beside it, in the corner).
    MediaItem item = SmallPicture();
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    Render([&] { quad.DrawImageAligned(item, fullscreen.x, fullscreen.y); });
    int far = 0;
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x) {
            const int i = x - fullscreen.left, j = y - fullscreen.top;
            const uint32_t want = i >= 0 && i < 200 && j >= 0 && j < 100 ? PicturePixel(i, j) : 0;
            for (int shift : {0, 8, 16})
                far += std::abs(int((frame.Rgb(x, y) >> shift) & 0xFF) - int((want >> shift) & 0xFF)) > 4;
        }
    EXPECT_EQ(far, 0);
}

TEST_F(QuadDraw, AfterAnAlignedPictureTheWholeTextureIsSampledAgain)
{
    ASSERT_EQ(StartEngine(true, false), 1);
    TexturedPoint();
    MediaItem item = SmallPicture();
    Render([&] {
        quad.DrawImageAligned(item, 0.0f, 0.0f);
        quad.Draw(0.0f, 0.0f, 1.0f, 1.0f);
    });
    // The unit rectangle stretches all 256 x 128 texels over the viewport.
    EXPECT_EQ(frame.Rgb(0, 0), PicturePixel(0, 0) & 0xFFFFFF);
    EXPECT_EQ(frame.Rgb(1279, 719), kRemainder & 0xFFFFFF);
    EXPECT_EQ(frame.Rgb(997, 559), PicturePixel(199, 99) & 0xFFFFFF);  // texel 199, 99

    // A picture without size draws nothing and leaves no transform on.
    MediaItem empty = item;
    empty.imageInfo.Width = 0;
    Render([&] { quad.DrawImageAligned(empty, 0.0f, 0.0f); });
    EXPECT_EQ(Mismatches([](int, int) { return 0u; }), 0);
    Render([&] {
        quad.DrawImageAligned(empty, 0.0f, 0.0f);
        quad.Draw(0.0f, 0.0f, 1.0f, 1.0f);
    });
    EXPECT_EQ(frame.Rgb(1279, 719), kRemainder & 0xFFFFFF);
}

}  // namespace
