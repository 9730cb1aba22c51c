// The glyph atlas: its row layout, sizes that do not fit, cells for codes
// above 255, and a picture of it to look at.
#include "layers/TextAtlas.h"
#include "platform/gdi/gdi.h"
#include "platform/host/FrameFiles.h"
#include "tests/support/Files.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

const WCHAR* kDejaVu = L"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// The advance GDI reports for each code in that face and size.
std::vector<int> Advances(const WCHAR* face, int size)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font =
        CreateFontW(size, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, PROOF_QUALITY, 0, face);
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

void SaveCoverage(const std::vector<uint32_t>& coverage, const std::string& name)
{
    std::vector<uint8_t> rgba(coverage.size() * 4);
    for (size_t i = 0; i < coverage.size(); ++i) {
        uint8_t v = coverage[i] & 0xFF;
        rgba[i * 4] = rgba[i * 4 + 1] = rgba[i * 4 + 2] = v;
        rgba[i * 4 + 3] = 255;
    }
    host::WritePng(support::OutputDir() + "/" + name, host::FrameView{rgba.data(), 512, 512, 512 * 4});
}

TEST(TextAtlas, CellsFollowTheRowLayout)
{
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

// Every cell inside the 512 x 512 atlas: none cut at the bottom or the right.
bool AllCellsInside(const TextAtlas& atlas)
{
    for (int i = 0; i < 256; ++i)
        if (atlas.glyphRight[i] > 512 || atlas.glyphBottom[i] - atlas.glyphTop[i] <= 0 ||
            atlas.glyphTop[i] < 0)
            return false;
    return true;
}

TEST(TextAtlas, SizesThatDoNotFitAreClamped)
{
    AddFontResourceW(kDejaVu);
    TextAtlas atlas;
    std::vector<uint32_t> coverage(512 * 512);
    int logged = 0;
    SetLogSink([&](const std::string&) { ++logged; }, false);

    // Too large: the largest size whose cells all fit; one more would not.
    RasterizeTextAtlas(atlas, L"DejaVu Sans", 200, coverage.data());
    const int32_t largest = atlas.fontSize;
    EXPECT_LT(largest, 48);
    EXPECT_GT(largest, 16);
    EXPECT_TRUE(AllCellsInside(atlas));
    SaveCoverage(coverage, "atlas_dejavu_200.png");
    RasterizeTextAtlas(atlas, L"DejaVu Sans", largest + 1, coverage.data());
    EXPECT_EQ(atlas.fontSize, largest);
    RasterizeTextAtlas(atlas, L"DejaVu Sans", largest, coverage.data());
    EXPECT_EQ(atlas.fontSize, largest);
    EXPECT_EQ(logged, 2);

    // Too small (0 leaves the size to the font, a negative one steps the rows upwards): 6 pixels.
    for (int32_t size : {0, -30, 3}) {
        RasterizeTextAtlas(atlas, L"DejaVu Sans", size, coverage.data());
        EXPECT_EQ(atlas.fontSize, kMinFontSize) << size;
        EXPECT_TRUE(AllCellsInside(atlas)) << size;
        EXPECT_EQ(atlas.glyphTop[255] % (kMinFontSize + 10), 0) << "rows step by the size used";
    }
    EXPECT_EQ(logged, 5);

    // Far beyond the atlas (sizes whose pixel arithmetic would overflow an
    // int): the largest that fits, as for any size too large.
    for (int32_t size : {9000000, INT32_MAX}) {
        RasterizeTextAtlas(atlas, L"DejaVu Sans", size, coverage.data());
        EXPECT_EQ(atlas.fontSize, largest) << size;
    }
    EXPECT_EQ(logged, 7);
    SetLogSink({}, true);
}

// Characters above 255 get cells of codes the text leaves unused, control codes
// first; codes up to 255 keep their own; characters without a cell draw as "?".
TEST(TextAtlas, CharactersAbove255TakeUnusedCells)
{
    TextAtlas atlas;
    const WCHAR* text =
        L"\u30c7\u30a3\u30b9\u30af \u2014 \u0001A\u30c7";  // "ディスク — ", a control code, "A"
    AssignCells(atlas, text);
    EXPECT_EQ(GlyphIndex(atlas, L'A'), 'A');
    EXPECT_EQ(GlyphIndex(atlas, L'\u0001'), 1);  // used by the text: kept
    EXPECT_EQ(GlyphIndex(atlas, L'\u30c7'), 0);
    EXPECT_EQ(GlyphIndex(atlas, L'\u30a3'), 2);
    EXPECT_EQ(GlyphIndex(atlas, L'\u30b9'), 3);
    EXPECT_EQ(GlyphIndex(atlas, L'\u30af'), 4);
    EXPECT_EQ(GlyphIndex(atlas, L'\u2014'), 5);
    EXPECT_EQ(atlas.cellCharacter[5], L'\u2014');
    EXPECT_EQ(atlas.cellCharacter['A'], L'A');
    EXPECT_EQ(GlyphIndex(atlas, L'\u00e9'), 0xE9);
    EXPECT_EQ(GlyphIndex(atlas, L'\U0001F641'), '?');  // not in the text
    for (int i = 0; i < 256; ++i) {
        atlas.glyphLeft[i] = 0;
        atlas.glyphRight[i] = i;
    }
    EXPECT_EQ(TextWidth(atlas, L"\u2014A"), float(5 + 'A'));

    // Only the free cells are given away, never the one of "?"; the rest draw as "?".
    std::wstring crowded;
    for (int code = 1; code < 256; ++code)
        if (code != 0x7F && code != 0x80 && code != 'x' && code != '?') crowded += WCHAR(code);
    crowded += L"\u0100\u0101\u0102\u0103\u0104\u0105";
    AssignCells(atlas, crowded.c_str());
    EXPECT_EQ(atlas.extraCount, 4);
    EXPECT_EQ(GlyphIndex(atlas, L'\u0100'), 0);
    EXPECT_EQ(GlyphIndex(atlas, L'\u0101'), 0x7F);
    EXPECT_EQ(GlyphIndex(atlas, L'\u0102'), 0x80);
    EXPECT_EQ(GlyphIndex(atlas, L'\u0103'), 'x');
    EXPECT_EQ(GlyphIndex(atlas, L'\u0104'), '?');
    EXPECT_EQ(GlyphIndex(atlas, L'\u0105'), '?');
    EXPECT_EQ(atlas.cellCharacter['?'], L'?');
}

// The em dash is drawn in its cell with its own width, not as control code 0x14.
TEST(TextAtlas, CellsGivenAwayHoldTheirCharacter)
{
    AddFontResourceW(kDejaVu);
    TextAtlas atlas;
    std::vector<uint32_t> coverage(512 * 512);
    RasterizeTextAtlas(atlas, L"DejaVu Sans", 16, coverage.data(), L"a \u2014 b");
    const int cell = GlyphIndex(atlas, L'\u2014');
    ASSERT_LT(cell, 0x20);
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font =
        CreateFontW(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, PROOF_QUALITY, 0, L"DejaVu Sans");
    HGDIOBJ old = SelectObject(dc, font);
    WCHAR dash = L'\u2014';
    SIZE extent{};
    GetTextExtentPoint32W(dc, &dash, 1, &extent);
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    EXPECT_EQ(atlas.glyphRight[cell] - atlas.glyphLeft[cell], extent.cx + 2);
    int lit = 0;
    for (int y = atlas.glyphTop[cell]; y < atlas.glyphBottom[cell]; ++y)
        for (int x = atlas.glyphLeft[cell]; x < atlas.glyphRight[cell]; ++x)
            lit += (coverage[y * 512 + x] & 0xFF) > 128;
    EXPECT_GE(lit, extent.cx - 2);  // a line across the cell
}

}  // namespace
