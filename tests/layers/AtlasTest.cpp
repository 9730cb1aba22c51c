// The glyph atlas: its row layout, clipping at the bottom edge, codes above
// 255, and a picture of it to look at.
#include "tests/layers/LayerTestSupport.h"

#include "layers/TextAtlas.h"
#include "platform/gdi/gdi.h"
#include "platform/host/FrameFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const WCHAR* kDejaVu = L"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// The advance GDI reports for each code in that face and size.
std::vector<int> Advances(const WCHAR* face, int size) {
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontW(size, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                             PROOF_QUALITY, 0, face);
    HGDIOBJ old = SelectObject(dc, font);
    std::vector<int> advances(256);
    for (int i = 0; i < 256; ++i) {
        WCHAR c = WCHAR(i);
        SIZE s{};
        GetTextExtentPoint32W(dc, &c, 1, &s);
        advances[i] = s.cx;
    }
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    return advances;
}

void SaveCoverage(const std::vector<uint32_t>& coverage, const std::string& name) {
    std::vector<uint8_t> rgba(coverage.size() * 4);
    for (size_t i = 0; i < coverage.size(); ++i) {
        uint8_t v = coverage[i] & 0xFF;
        rgba[i * 4] = rgba[i * 4 + 1] = rgba[i * 4 + 2] = v;
        rgba[i * 4 + 3] = 255;
    }
    host::WritePng(layertest::OutputDir() + "/" + name, host::FrameView{rgba.data(), 512, 512, 512 * 4});
}

TEST(TextAtlas, CellsFollowTheRowLayout) {
    AddFontResourceW(kDejaVu);
    TextAtlas atlas;
    std::vector<uint32_t> coverage(512 * 512);
    RasterizeTextAtlas(atlas, L"DejaVu Sans", 16, coverage.data());
    SaveCoverage(coverage, "atlas_dejavu_16.png");
    EXPECT_EQ(atlas.fontSize, 16);
    const std::vector<int> advance = Advances(L"DejaVu Sans", 16);
    int px = 0, py = 0;
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(atlas.glyphLeft[i], px) << i;
        ASSERT_EQ(atlas.glyphTop[i], py) << i;
        ASSERT_EQ(atlas.glyphRight[i], px + advance[i] + 2) << i;
        ASSERT_EQ(atlas.glyphBottom[i], py + 16) << i;
        px = atlas.glyphRight[i] + 10;
        if (px > 450) {
            px = 0;
            py += 26;
        }
    }
    EXPECT_LE(atlas.glyphBottom[255], 512);
    // Coverage lies inside the cells, but for the left overhang of a few glyphs
    // (J, j, T, _ and some accented i's reach a pixel left of their origin, as
    // with GDI): nothing spills into another cell or below a row.
    int outside = 0;
    std::vector<bool> inCell(512 * 512, false);
    for (int i = 0; i < 256; ++i)
        for (int y = atlas.glyphTop[i]; y < atlas.glyphBottom[i]; ++y)
            for (int x = std::max(atlas.glyphLeft[i] - 2, 0); x < std::min(atlas.glyphRight[i], 512); ++x)
                inCell[y * 512 + x] = true;
    for (int p = 0; p < 512 * 512; ++p) outside += (coverage[p] & 0xFF) && !inCell[p];
    EXPECT_EQ(outside, 0);
}

TEST(TextAtlas, RowsPastTheBottomAreClipped) {
    AddFontResourceW(kDejaVu);
    TextAtlas atlas;
    std::vector<uint32_t> coverage(512 * 512);
    RasterizeTextAtlas(atlas, L"DejaVu Sans", 48, coverage.data());
    SaveCoverage(coverage, "atlas_dejavu_48.png");
    int cut = 0;
    for (int i = 0; i < 256; ++i) {
        EXPECT_LE(atlas.glyphTop[i], 512);
        EXPECT_LE(atlas.glyphBottom[i], 512);
        EXPECT_LE(atlas.glyphTop[i], atlas.glyphBottom[i]);
        EXPECT_GT(atlas.glyphRight[i], atlas.glyphLeft[i]);   // widths are kept
        cut += atlas.glyphTop[i] == 512;
    }
    EXPECT_GT(cut, 50);

    // A negative size (an em height to GDI) steps the rows upwards, off the top.
    RasterizeTextAtlas(atlas, L"DejaVu Sans", -30, coverage.data());
    for (int i = 0; i < 256; ++i) {
        EXPECT_GE(atlas.glyphTop[i], 0);
        EXPECT_LE(atlas.glyphTop[i], atlas.glyphBottom[i]);
    }
    EXPECT_EQ(atlas.glyphBottom[255], 0);
}

TEST(TextAtlas, CodesAbove255UseTheirLowByte) {
    TextAtlas atlas;
    for (int i = 0; i < 256; ++i) {
        atlas.glyphLeft[i] = i;
        atlas.glyphRight[i] = i + 1 + i % 7;
    }
    EXPECT_EQ(TextWidth(atlas, L"\u0141"), TextWidth(atlas, L"A"));
    EXPECT_EQ(TextWidth(atlas, L"\U0001F641"), TextWidth(atlas, L"A"));
    EXPECT_EQ(TextWidth(atlas, L"AB"), float(1 + 65 % 7) + float(1 + 66 % 7));
    EXPECT_EQ(TextWidth(atlas, L""), 0.0f);
}

}  // namespace
