// The GDI stand-in: font sizes, text coverage, bitmap read-back, handle rules.
#include "platform/gdi/gdi.h"

#include <sys/stat.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const WCHAR* kDejaVu = L"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const WCHAR* kDejaVuBold = L"/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

// 32-bit uncompressed output; a negative height asks for rows top first.
BITMAPINFO Info32(int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// A memory DC with a black w x h bitmap and white text in transparent mode.
struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    int width, height;
    Canvas(int w, int h) : width(w), height(h)
    {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(nullptr, w, h);
        oldBitmap = SelectObject(dc, bitmap);
        RECT all{0, 0, w, h};
        FillRect(dc, &all, (HBRUSH)GetStockObject(BLACK_BRUSH));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
    }
    ~Canvas()
    {
        SelectObject(dc, oldBitmap);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    // Rows top first, 0x00RRGGBB.
    std::vector<uint32_t> Pixels()
    {
        BITMAPINFO info = Info32(width, -height);
        std::vector<uint32_t> out(size_t(width) * height);
        EXPECT_EQ(GetDIBits(dc, bitmap, 0, height, out.data(), &info, DIB_RGB_COLORS), height);
        return out;
    }
};

// A font selected into a DC for the scope, then deselected and deleted.
struct Selected {
    HDC dc;
    HFONT font;
    HGDIOBJ old;
    Selected(HDC d, HFONT f) : dc(d), font(f), old(SelectObject(d, f)) {}
    ~Selected()
    {
        SelectObject(dc, old);
        DeleteObject(font);
    }
};

HFONT Font(int height, const WCHAR* face = L"DejaVu Sans", int weight = FW_NORMAL,
           DWORD quality = PROOF_QUALITY)
{
    return CreateFontW(height, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, 0, 0, quality, 0, face);
}

TEST(Gdi, FontFilesRegisterTheirFaces)
{
    EXPECT_EQ(AddFontResourceW(kDejaVu), 1);
    EXPECT_EQ(AddFontResourceW(L"/nonexistent/font.ttf"), 0);
    EXPECT_EQ(AddFontResourceW(L""), 0);
    std::string notFont = testing::TempDir() + "not-a-font.ttf";
    FILE* f = std::fopen(notFont.c_str(), "wb");
    std::fputs("hello", f);
    std::fclose(f);
    std::wstring wide(notFont.begin(), notFont.end());
    EXPECT_EQ(AddFontResourceW(wide.c_str()), 0);
    // Special files are refused at once: a FIFO would otherwise block the open.
    std::string fifo = testing::TempDir() + "fifo.ttf";
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::wstring wideFifo(fifo.begin(), fifo.end());
    EXPECT_EQ(AddFontResourceW(wideFifo.c_str()), 0);
    ::unlink(fifo.c_str());
    EXPECT_EQ(AddFontResourceW(L"/dev/zero"), 0);
}

TEST(Gdi, PositiveHeightIsTheCellNegativeTheEm)
{
    AddFontResourceW(kDejaVu);
    Canvas c(64, 64);
    for (int height : {10, 16, 23, 40}) {
        HFONT font = Font(height);
        ASSERT_NE(font, nullptr);
        HGDIOBJ old = SelectObject(c.dc, font);
        SIZE size{};
        ASSERT_TRUE(GetTextExtentPoint32W(c.dc, L"A", 1, &size));
        EXPECT_EQ(size.cy, height);
        TEXTMETRICW tm{};
        ASSERT_TRUE(GetTextMetricsW(c.dc, &tm));
        EXPECT_EQ(tm.tmHeight, height);
        EXPECT_EQ(tm.tmAscent + tm.tmDescent, height);
        EXPECT_GT(tm.tmInternalLeading, 0);
        SelectObject(c.dc, old);
        EXPECT_TRUE(DeleteObject(font));
    }
    // An em of 20 px gives a taller cell: DejaVu's Windows ascent and descent
    // are 1901 and 483 of 2048 units, 19 + 5 px.
    Selected em(c.dc, Font(-20));
    TEXTMETRICW tm{};
    GetTextMetricsW(c.dc, &tm);
    EXPECT_EQ(tm.tmHeight, 24);
    EXPECT_EQ(tm.tmInternalLeading, 4);
}

TEST(Gdi, ExtentIsTheSumOfAdvances)
{
    AddFontResourceW(kDejaVu);
    Canvas c(8, 8);
    Selected font(c.dc, Font(20));
    SIZE one{}, two{}, mixed{};
    GetTextExtentPoint32W(c.dc, L"W", 1, &one);
    GetTextExtentPoint32W(c.dc, L"WW", 2, &two);
    EXPECT_GT(one.cx, 10);
    EXPECT_EQ(two.cx, 2 * one.cx);
    SIZE i{};
    GetTextExtentPoint32W(c.dc, L"i", 1, &i);
    GetTextExtentPoint32W(c.dc, L"Wi", 2, &mixed);
    EXPECT_EQ(mixed.cx, one.cx + i.cx);  // no kerning
    EXPECT_LT(i.cx, one.cx);
}

TEST(Gdi, RegisteredBoldFaceIsPreferredForBoldWeight)
{
    AddFontResourceW(kDejaVu);
    ASSERT_EQ(AddFontResourceW(kDejaVuBold), 1);
    Canvas c(8, 8);
    HFONT regular = Font(30, L"dejavu sans", FW_NORMAL);  // names match case-insensitively
    HFONT bold = Font(30, L"DejaVu Sans", FW_BOLD);
    SIZE r{}, b{};
    HGDIOBJ old = SelectObject(c.dc, regular);
    GetTextExtentPoint32W(c.dc, L"mmmm", 4, &r);
    SelectObject(c.dc, bold);
    GetTextExtentPoint32W(c.dc, L"mmmm", 4, &b);
    EXPECT_GT(b.cx, r.cx);
    SelectObject(c.dc, old);
    DeleteObject(regular);
    DeleteObject(bold);
    // An unknown family is substituted, not refused.
    HFONT substitute = Font(16, L"No Such Family 12345");
    EXPECT_NE(substitute, nullptr);
    DeleteObject(substitute);
}

TEST(Gdi, TextIsAntialiasedWhiteCoverageInsideItsCell)
{
    AddFontResourceW(kDejaVu);
    Canvas c(80, 60);
    Selected font(c.dc, Font(32));
    SIZE size{};
    GetTextExtentPoint32W(c.dc, L"O", 1, &size);
    ASSERT_TRUE(TextOutW(c.dc, 10, 12, L"O", 1));
    auto px = c.Pixels();
    int full = 0, partial = 0;
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
            uint32_t p = px[size_t(y) * c.width + x];
            unsigned b = p & 0xFF;
            EXPECT_EQ(p, b * 0x010101u) << "white text stays gray, alpha byte 0";
            if (!b) continue;
            EXPECT_GE(x, 10);
            EXPECT_LT(x, 10 + size.cx);
            EXPECT_GE(y, 12);
            EXPECT_LT(y, 12 + size.cy);
            (b == 255 ? full : partial)++;
        }
    }
    EXPECT_GT(full, 20);
    EXPECT_GT(partial, 10);

    // Without antialiasing there are only two values.
    Canvas m(80, 60);
    Selected mono(m.dc, Font(32, L"DejaVu Sans", FW_NORMAL, NONANTIALIASED_QUALITY));
    TextOutW(m.dc, 10, 12, L"O", 1);
    int on = 0;
    for (uint32_t p : m.Pixels()) {
        EXPECT_TRUE(p == 0 || p == 0xFFFFFF);
        on += p != 0;
    }
    EXPECT_GT(on, 20);
}

TEST(Gdi, GlyphsStayInsideTheirCellRows)
{
    AddFontResourceW(kDejaVu);
    Canvas c(400, 60);
    Selected font(c.dc, Font(16));
    // Accented capitals and descenders reach past the ascent and descent at this size.
    TextOutW(c.dc, 0, 20, L"\u00CA\u00C5\u00C7\u00D1\u00DDgjpqy\u00FE", 11);
    auto px = c.Pixels();
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 400; ++x) {
            if (y < 20 || y >= 36) { EXPECT_EQ(px[size_t(y) * 400 + x], 0u) << x << "," << y; }
        }
    }
}

TEST(Gdi, TextIsClippedToTheBitmap)
{
    AddFontResourceW(kDejaVu);
    Canvas c(20, 20);
    Selected font(c.dc, Font(40));
    EXPECT_TRUE(TextOutW(c.dc, -15, -20, L"WM", 2));
    EXPECT_TRUE(TextOutW(c.dc, 12, 10, L"\u00C6\u00DFg", 3));
    EXPECT_TRUE(TextOutW(c.dc, 5000, -5000, L"x", 1));
    int lit = 0;
    for (uint32_t p : c.Pixels()) lit += p != 0;
    EXPECT_GT(lit, 0);
}

TEST(Gdi, DibitsAreBottomUpForPositiveHeight)
{
    Canvas c(4, 3);
    RECT top{0, 0, 4, 1};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(c.dc, &top, red);
    BITMAPINFO info = Info32(4, 3);
    uint8_t bytes[4 * 3 * 4];
    std::fill(std::begin(bytes), std::end(bytes), 0xAA);
    ASSERT_EQ(GetDIBits(c.dc, c.bitmap, 0, 3, bytes, &info, DIB_RGB_COLORS), 3);
    // Line 0 is the bottom (black) row; the red top row comes last, as B, G, R, 0.
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[2], 0);
    const uint8_t* last = bytes + 2 * 16;
    EXPECT_EQ(last[0], 0);
    EXPECT_EQ(last[1], 0);
    EXPECT_EQ(last[2], 255);
    EXPECT_EQ(last[3], 0);
    // Only 32-bit uncompressed output is offered.
    info.bmiHeader.biBitCount = 24;
    EXPECT_EQ(GetDIBits(c.dc, c.bitmap, 0, 3, bytes, &info, DIB_RGB_COLORS), 0);
    DeleteObject(red);
}

TEST(Gdi, HandlesAreCheckedBeforeUse)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(nullptr, 8, 8);
    HGDIOBJ old = SelectObject(dc, bitmap);
    ASSERT_NE(old, nullptr);
    EXPECT_FALSE(DeleteObject(bitmap));  // still selected: kept
    EXPECT_EQ(SelectObject(dc, old), ToGdiObject(bitmap));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_EQ(SelectObject(dc, bitmap), nullptr);  // stale handle refused
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));
    EXPECT_NE(GetStockObject(BLACK_BRUSH), nullptr);
    RECT r{0, 0, 8, 8};
    EXPECT_EQ(FillRect(dc, &r, reinterpret_cast<HBRUSH>(bitmap)), 0);
    EXPECT_EQ(CreateCompatibleBitmap(nullptr, 0, 8), nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(nullptr, 100000, 8), nullptr);
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_FALSE(TextOutW(dc, 0, 0, L"x", 1));
}

TEST(Gdi, DrawTextCentresOneLine)
{
    AddFontResourceW(kDejaVu);
    Canvas c(100, 40);
    Selected font(c.dc, Font(16));
    RECT calc{0, 0, 0, 0};
    EXPECT_EQ(DrawTextW(c.dc, L"&OK", -1, &calc, DT_CALCRECT), 16);
    SIZE ok{};
    GetTextExtentPoint32W(c.dc, L"OK", 2, &ok);
    EXPECT_EQ(calc.right, ok.cx);
    RECT box{0, 0, 100, 40};
    DrawTextW(c.dc, L"&OK", -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    auto px = c.Pixels();
    int minX = 100, maxX = -1;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 100; ++x)
            if (px[size_t(y) * 100 + x]) minX = std::min(minX, x), maxX = std::max(maxX, x);
    EXPECT_NEAR((minX + maxX) / 2.0, 50, 3);
}

}  // namespace
