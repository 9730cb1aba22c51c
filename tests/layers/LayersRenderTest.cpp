// Picture layers, the meter and the scroller drawn on the headless device and
// read back, with expectations worked out from the blend arithmetic.
#include "data/ArtshowData.h"
#include "data/SongPlayer.h"
#include "gfx/kpxD3D.h"
#include "layers/ArtshowSimpleLayer.h"
#include "layers/ArtshowTinyScroll.h"
#include "layers/ArtshowVU.h"
#include "platform/gdi/gdi.h"
#include "platform/bass/bass.h"
#include "platform/host/Host.h"
#include "tests/support/Audio.h"
#include "tests/support/Files.h"
#include "tests/support/Headless.h"
#include "tests/support/Show.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace support;

namespace {

constexpr uint32_t kGray = 0xFF646464;  // clear colour (100, 100, 100)
constexpr double kPi = 3.14159265358979323846;

// The engine's device and the audio library, in a virtual run.
class LayersRender : public HeadlessTest {
protected:
    void SetUp() override
    {
        HeadlessTest::SetUp();
        ASSERT_EQ(StartEngine(), 1);
        BASS_Init(1, 44100, 0, nullptr, nullptr);
        BASS_Start();
        support::ResetShow();
    }
    void TearDown() override
    {
        StopGenerated();
        BASS_Free();
        HeadlessTest::TearDown();
    }

    // Draws with the states the program starts its screens with.
    const Frame& Draw(uint32_t clear, const std::function<void()>& draw)
    {
        return Render(
            [&] {
                device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
                device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
                device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
                device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
                device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
                device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
                device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
                device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
                draw();
            },
            clear);
    }
    Rgba Pixel(int x, int y) const { return frame.At(x, y); }
    // A w x h picture of one colour in the corner of its texture.
    MediaItem Picture(UINT w, UINT h, uint32_t texel)
    {
        return MakePicture(w, h, [=](UINT x, UINT y) { return x < w && y < h ? texel : 0u; });
    }

    std::unique_ptr<ArtshowSimpleLayer> PictureLayer(const std::wstring& blend, int32_t react, float x,
                                                     float y, uint32_t texel, UINT size = 16)
    {
        auto layer = std::make_unique<ArtshowSimpleLayer>();
        layer->x = x;
        layer->y = y;
        layer->react = react;
        layer->Load(ElementFromText(L"<element type=\"layer\"><image path=\"p.png\" blend=\"" + blend +
                                    L"\"/></element>"));
        layer->image = Picture(size, size, texel);
        return layer;
    }
};

TEST_F(LayersRender, AdditiveBrightensWhatLiesUnderItANormalLayerCoversIt)
{
    auto normal = PictureLayer(L"normal", ReactNone, 10, 10, 0xFF500000);
    auto additive = PictureLayer(L"add", ReactNone, 40, 10, 0xFF500000);
    auto upperCase = PictureLayer(L"Add", ReactNone, 70, 10, 0xFF500000);
    EXPECT_EQ(normal->additive, 0);
    EXPECT_EQ(additive->additive, 1);
    EXPECT_EQ(upperCase->additive, 0);
    Draw(kGray, [&] {
        normal->Draw(0, 0);
        additive->Draw(0, 0);
        upperCase->Draw(0, 0);
    });
    Rgba n = Pixel(15, 15), a = Pixel(45, 15), u = Pixel(75, 15);
    EXPECT_EQ(n.r, 0x50);
    EXPECT_EQ(n.g, 0);
    EXPECT_EQ(a.r, 0x50 + 100);
    EXPECT_EQ(a.g, 100);
    EXPECT_EQ(u.r, 0x50);
    EXPECT_EQ(u.g, 0);
}

TEST_F(LayersRender, PicturePlacementUsesTheIntegerPosition)
{
    // "x" = 12.7 reads as 12 in the catalogue; the layer then covers columns 12..15.
    auto layer = PictureLayer(L"", ReactNone, 12, 7, 0xFFFFFFFF, 4);
    Draw(0xFF000000, [&] { layer->Draw(0, 0); });
    EXPECT_EQ(Pixel(11, 8).r, 0);
    EXPECT_EQ(Pixel(12, 7).r, 255);
    EXPECT_EQ(Pixel(15, 10).r, 255);
    EXPECT_EQ(Pixel(16, 8).r, 0);
    EXPECT_EQ(Pixel(12, 11).r, 0);
    EXPECT_EQ(Pixel(12, 6).r, 0);
}

TEST_F(LayersRender, OpacityLayerFollowsTheSongLevel)
{
    auto opacity = PictureLayer(L"", ReactOpacity, 10, 10, 0xFFFFFFFF);
    auto scaling = PictureLayer(L"", ReactScaling, 40, 10, 0xFFFFFFFF);
    auto plain = PictureLayer(L"", ReactNone, 70, 10, 0xFFFFFFFF);

    // No song: the opacity layer is not drawn; the others are.
    Draw(kGray, [&] {
        for (auto* l : {opacity.get(), scaling.get(), plain.get()}) l->Draw(0, 0);
    });
    EXPECT_EQ(Pixel(15, 15).r, 100);
    EXPECT_EQ(Pixel(45, 15).r, 255);
    EXPECT_EQ(Pixel(75, 15).r, 255);

    // A square wave of amplitude 0.375 has the level 12288, alpha 12288 >> 7 = 96.
    PlayGenerated([](int64_t i) { return (i / 50) % 2 ? 0.375f : -0.375f; });
    Advance(3);
    Draw(kGray, [&] {
        for (auto* l : {opacity.get(), scaling.get(), plain.get()}) l->Draw(0, 0);
    });
    const int expected = int(std::lround(255 * 96 / 255.0 + 100 * (255 - 96) / 255.0));
    EXPECT_NEAR(Pixel(15, 15).r, expected, 1);
    EXPECT_EQ(Pixel(45, 15).r, 255) << "scaling draws like no reaction";
    EXPECT_EQ(Pixel(75, 15).r, 255);

    // A full-scale peak (level 32768) is opaque, not wrapped round to transparent.
    PlayGenerated([](int64_t i) { return (i / 50) % 2 ? 1.0f : -1.0f; });
    Advance(3);
    Draw(kGray, [&] { opacity->Draw(0, 0); });
    EXPECT_EQ(Pixel(15, 15).r, 255);

    // Paused: the texture factor stays opaque.
    player.paused = 1;
    Draw(kGray, [&] { opacity->Draw(0, 0); });
    EXPECT_EQ(Pixel(15, 15).r, 255);
    player.paused = 0;

    // Silence: fully transparent.
    PlayGenerated([](int64_t) { return 0.0f; });
    Advance(3);
    Draw(kGray, [&] { opacity->Draw(0, 0); });
    EXPECT_EQ(Pixel(15, 15).r, 100);
}

TEST_F(LayersRender, LayerWithoutImageLoadsAndDrawsNothing)
{
    ArtshowSimpleLayer layer;
    layer.Load(ElementFromText(L"<element type=\"layer\"><activearea x=\"1\" y=\"2\" width=\"3\" "
                               L"height=\"4\"/></element>"));
    EXPECT_EQ(data.imageCount, 0);
    EXPECT_EQ(layer.activeArea[2], 4.0f);
    EXPECT_EQ(layer.activeArea[3], 6.0f);
    Draw(kGray, [&] { EXPECT_EQ(layer.Draw(0, 0), 0); });
    EXPECT_EQ(Pixel(0, 0).r, 100);
}

// Lit blocks of meter column i: the column's pixels at the blocks' centres.
int Blocks(const Frame& frame, const ArtshowVU& vu, int column)
{
    int count = 0;
    for (int j = 1; j <= 25; ++j) {
        int px = int(vu.x) + column * 4 + 1;
        int py = int(vu.y) - j * 3 + 1;
        if (py >= 0 && frame.At(px, py).r == 255) ++count;
    }
    return count;
}

TEST_F(LayersRender, MeterColumnsFollowTheSpectrum)
{
    ArtshowVU vu;
    vu.x = 100;
    vu.y = 200;
    vu.Load(ElementFromText(L"<element type=\"vu\"><image path=\"b.png\" blend=\"add\"/></element>"));
    EXPECT_EQ(data.imageCount, 1);
    vu.image = Picture(4, 3, 0xFFFFFFFF);

    auto draw = [&] { Draw(0xFF000000, [&] { vu.Draw(0, 0); }); };
    draw();
    for (int i = 1; i <= 6; ++i) EXPECT_EQ(Blocks(frame, vu, i), 0) << "no song, column " << i;

    // A sine centred on bin 40 of the 512-sample FFT at amplitude 0.5: magnitude 0.5.
    PlayGenerated([](int64_t n) { return float(0.5 * std::sin(2 * kPi * 40 * double(n) / 512)); });
    Advance(3);
    draw();
    EXPECT_EQ(Blocks(frame, vu, 2), 17);
    frame.SavePng("meter_bin40_half.png", 100, 120, 40, 90, 4);

    // A constant reads 2x its value in bin 0: 1.2, a full column.
    PlayGenerated([](int64_t) { return 0.6f; });
    Advance(3);
    draw();
    EXPECT_EQ(Blocks(frame, vu, 1), 20);
    for (int i = 2; i <= 6; ++i) EXPECT_EQ(Blocks(frame, vu, i), 0) << "column " << i;

    PlayGenerated([](int64_t) { return 0.0f; });
    Advance(3);
    draw();
    for (int i = 1; i <= 6; ++i) EXPECT_EQ(Blocks(frame, vu, i), 0) << "silence, column " << i;
}

TEST(LayersMeter, BlockCountsForMagnitudes)
{
    // The pixel test above covers 0, 0.5 and 1.2.
    EXPECT_EQ(ArtshowVU::BlockCount(7.0f), 20);
    EXPECT_EQ(ArtshowVU::BlockCount(-1.0f), 0);
    EXPECT_EQ(ArtshowVU::BlockCount(std::nanf("")), 0);
}

TEST(LayersScroller, EdgeAlphaFadesInAndOut)
{
    EXPECT_FLOAT_EQ(ArtshowTinyScroll::EdgeAlpha(50, 50), 0.0f);
    EXPECT_FLOAT_EQ(ArtshowTinyScroll::EdgeAlpha(50, 65), 0.5f);
    EXPECT_FLOAT_EQ(ArtshowTinyScroll::EdgeAlpha(50, 80), 1.0f);
    EXPECT_FLOAT_EQ(ArtshowTinyScroll::EdgeAlpha(50, 150), 1.0f);
    EXPECT_FLOAT_EQ(ArtshowTinyScroll::EdgeAlpha(50, 250), 0.0f);
    EXPECT_LT(ArtshowTinyScroll::EdgeAlpha(50, 49.5f), 0.0f);
    EXPECT_LT(ArtshowTinyScroll::EdgeAlpha(50, 250.5f), 0.0f);
}

const wchar_t* kScrollerXml =
    L"<element type=\"tinyscroll\"><font path=\"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf\" "
    L"name=\"DejaVu Sans\" size=\"16\"/><text>HHHH</text></element>";

// Columns with any light in the scroller's row.
std::vector<int> LitColumns(const Frame& frame, int y0, int y1)
{
    std::vector<int> cols;
    for (int x = 0; x < 1280; ++x) {
        for (int y = y0; y < y1; ++y) {
            if (frame.At(x, y).r > 0) {
                cols.push_back(x);
                break;
            }
        }
    }
    return cols;
}

TEST_F(LayersRender, ScrollerEntersFromTheRightAndFadesAtTheEdges)
{
    host::SetFps(10);  // 100 ms a frame: 10 pixels of scrolling
    auto scroller = std::make_unique<ArtshowTinyScroll>();
    scroller->x = 400;
    scroller->y = 300;
    scroller->Load(ElementFromText(kScrollerXml));
    ASSERT_NE(scroller->atlas.texture, nullptr);
    EXPECT_STREQ(scroller->atlas.faceName, L"DejaVu Sans");
    EXPECT_STREQ(scroller->text, L"HHHH");
    const int hw = scroller->atlas.glyphRight[int('H')] - scroller->atlas.glyphLeft[int('H')];

    auto draw = [&] {
        Draw(0xFF000000, [&] {
            device->SetRenderState(D3DRS_ZENABLE, TRUE);
            scroller->Draw(0, 0);
        });
        return LitColumns(frame, 300, 300 + 16);
    };
    // First frame: the text starts 300 px right of x, outside the window.
    EXPECT_TRUE(draw().empty());
    EXPECT_EQ(scroller->startTick, GetTickCount() - 100);

    // 10 frames later (1000 ms, 100 px) the first character sits at x + 200: alpha 0.
    for (int i = 0; i < 9; ++i) draw();
    EXPECT_TRUE(draw().empty());
    // 2 more frames: the first character at x + 180, the second right after it.
    draw();
    auto cols = draw();
    ASSERT_FALSE(cols.empty());
    EXPECT_GE(cols.front(), 580);
    EXPECT_LE(cols.back(), 580 + 2 * hw + 2);
    // The texture factor is left at the last drawn character's alpha, for the next layer.
    DWORD factor = 0;
    device->GetRenderState(D3DRS_TEXTUREFACTOR, &factor);
    float last = ArtshowTinyScroll::EdgeAlpha(400, 580.0f + hw);
    EXPECT_EQ(factor, (DWORD(last * 255.0f) << 24 | 0x00FFFFFF)) << std::hex << factor;

    // At x + 100 the character is fully opaque: the brightest pixel is white.
    for (int i = 0; i < 8; ++i) draw();
    int brightest = 0;
    for (int x = 500; x < 500 + hw; ++x)
        for (int y = 300; y < 316; ++y) brightest = std::max<int>(brightest, Pixel(x, y).r);
    EXPECT_EQ(brightest, 255);
    frame.SavePng("scroller.png", 400, 296, 240, 24, 4);
    // Nothing is ever drawn left of x.
    for (int i = 0; i < 20; ++i) {
        auto lit = draw();
        if (!lit.empty()) {
            EXPECT_GE(lit.front(), 400);
            EXPECT_LT(lit.back(), 600 + 2 * hw);
        }
    }
}

// A glyph lines up with its cell as a picture does: screen pixel x + i shows
// cell pixel i, the cell's last row included (the underscore lives there).
TEST_F(LayersRender, GlyphsShowTheirWholeCellPixelForPixel)
{
    TextAtlas atlas;
    AddFontResourceW(L"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    std::vector<uint32_t> coverage(512 * 512);
    RasterizeTextAtlas(atlas, L"DejaVu Sans", 16, coverage.data());
    BuildTextAtlas(atlas, L"DejaVu Sans", 16);
    for (WCHAR c : {L'_', L'W', L'g'}) {
        Draw(0xFF000000, [&] {
            device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
            // Point sampling, as the picture layers before the scroller leave it.
            device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
            device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
            DrawGlyph(c, atlas, 100, 50);
        });
        const int left = atlas.glyphLeft[c], top = atlas.glyphTop[c];
        const int w = atlas.glyphRight[c] - left, h = atlas.glyphBottom[c] - top;
        int wrong = 0, lastRow = 0;
        for (int y = 40; y < 50 + h + 10; ++y)
            for (int x = 90; x < 100 + w + 10; ++x) {
                const bool inside = x >= 100 && x < 100 + w && y >= 50 && y < 50 + h;
                const int want = inside ? int(coverage[(top + y - 50) * 512 + left + x - 100] & 0xFF) : 0;
                if (std::abs(Pixel(x, y).r - want) > 1 && wrong++ < 6)
                    ADD_FAILURE() << char(c) << " at " << x - 100 << "," << y - 50 << ": "
                                  << int(Pixel(x, y).r) << " expected " << want;
                if (y == 50 + h - 1) lastRow += Pixel(x, y).r;
            }
        EXPECT_EQ(wrong, 0) << char(c);
        if (c == L'_') { EXPECT_GT(lastRow, 0) << "the underscore is drawn"; }
    }
    ReleaseTextAtlas(atlas);
}

TEST_F(LayersRender, AtlasTextureHoldsTheCoverageInAlpha)
{
    TextAtlas atlas;
    AddFontResourceW(L"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    std::vector<uint32_t> coverage(512 * 512);
    RasterizeTextAtlas(atlas, L"DejaVu Sans", 18, coverage.data());
    BuildTextAtlas(atlas, L"DejaVu Sans", 18);
    ASSERT_NE(atlas.texture, nullptr);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(atlas.texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    int mismatches = 0;
    for (int y = 0; y < 512; ++y) {
        auto* row = reinterpret_cast<const uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
        for (int x = 0; x < 512; ++x) mismatches += row[x] != ((coverage[y * 512 + x] << 24) | 0xFFFFFF);
    }
    atlas.texture->UnlockRect(0);
    EXPECT_EQ(mismatches, 0);
    ReleaseTextAtlas(atlas);
    EXPECT_EQ(atlas.texture, nullptr);
}

}  // namespace
