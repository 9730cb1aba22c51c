// The picture readers on files made here: every row order and encoding gives
// the same pixels, and files that declare more than they hold are refused from
// their header, before anything is allocated.
#include "platform/d3dx9/PictureFile.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, size_t at, uint32_t v)
{
    b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
void Append32Be(Bytes& b, uint32_t v)
{
    for (int i = 3; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
}

// The test picture: 3 x 2, pixel (x, y) = (10x + 1, 20y + 2, 30 + x + y, 255).
std::array<uint8_t, 4> Expected(int x, int y)
{
    return {uint8_t(10 * x + 1), uint8_t(20 * y + 2), uint8_t(30 + x + y), 255};
}

void ExpectTestPicture(const Bytes& file, D3DXIMAGE_FILEFORMAT format)
{
    d3dx::PictureHeader header;
    Bytes rgba;
    const d3dx::PictureResult result = d3dx::DecodePicture(file.data(), file.size(), header, rgba);
    ASSERT_TRUE(result) << result.reason;
    EXPECT_EQ(header.width, 3u);
    EXPECT_EQ(header.height, 2u);
    EXPECT_EQ(header.format, format);
    ASSERT_EQ(rgba.size(), 3u * 2 * 4);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            std::array<uint8_t, 4> got;
            std::memcpy(got.data(), &rgba[size_t(y * 3 + x) * 4], 4);
            EXPECT_EQ(got, Expected(x, y)) << x << ", " << y;
        }
}

// 24-bit BMP of the test picture; a negative height stores it top-down.
Bytes Bmp(bool topDown)
{
    Bytes f(54 + 2 * 12, 0);
    f[0] = 'B', f[1] = 'M';
    Put32(f, 2, uint32_t(f.size()));
    Put32(f, 10, 54);
    Put32(f, 14, 40);
    Put32(f, 18, 3);
    Put32(f, 22, topDown ? uint32_t(-2) : 2u);
    f[26] = 1, f[28] = 24;
    for (int row = 0; row < 2; ++row) {
        const int y = topDown ? row : 1 - row;
        for (int x = 0; x < 3; ++x) {
            const auto p = Expected(x, y);
            uint8_t* out = &f[size_t(54 + row * 12 + x * 3)];
            out[0] = p[2], out[1] = p[1], out[2] = p[0];
        }
    }
    return f;
}

// 24-bit TGA header of w x h; type 2 raw, 10 run-length encoded.
Bytes TgaHeader(int type, int w, int h, bool topDown)
{
    Bytes f(18, 0);
    f[2] = uint8_t(type);
    Put16(f, 12, uint32_t(w));
    Put16(f, 14, uint32_t(h));
    f[16] = 24;
    f[17] = topDown ? 0x20 : 0;
    return f;
}

Bytes Tga(bool topDown, bool rle)
{
    Bytes f = TgaHeader(rle ? 10 : 2, 3, 2, topDown);
    for (int row = 0; row < 2; ++row) {
        const int y = topDown ? row : 1 - row;
        // Run-length: each row as one raw packet of three pixels.
        if (rle) f.push_back(2);
        for (int x = 0; x < 3; ++x) {
            const auto p = Expected(x, y);
            f.insert(f.end(), {p[2], p[1], p[0]});
        }
    }
    return f;
}

uint32_t Crc32(const uint8_t* p, size_t n, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void Chunk(Bytes& png, const char* type, const Bytes& data)
{
    Append32Be(png, uint32_t(data.size()));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    Append32Be(png, Crc32(&png[start], png.size() - start));
}

// A PNG whose image data is `raw` (filter bytes included) in stored deflate
// blocks; width and height as declared.
Bytes Png(uint32_t width, uint32_t height, int depth, int colour, const Bytes& raw, const Bytes& plte = {},
          const Bytes& trns = {})
{
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    Append32Be(ihdr, width);
    Append32Be(ihdr, height);
    ihdr.insert(ihdr.end(), {uint8_t(depth), uint8_t(colour), 0, 0, 0});
    Chunk(png, "IHDR", ihdr);
    if (!plte.empty()) Chunk(png, "PLTE", plte);
    if (!trns.empty()) Chunk(png, "tRNS", trns);
    Bytes z = {0x78,
               0x01,
               1,
               uint8_t(raw.size()),
               uint8_t(raw.size() >> 8),
               uint8_t(~raw.size()),
               uint8_t(~raw.size() >> 8)};
    z.insert(z.end(), raw.begin(), raw.end());
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) a = (a + c) % 65521, b = (b + a) % 65521;
    Append32Be(z, (b << 16) | a);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", {});
    return png;
}

d3dx::PictureResult Decode(const Bytes& file, d3dx::PictureHeader& header, Bytes& rgba)
{
    return d3dx::DecodePicture(file.data(), file.size(), header, rgba);
}

TEST(PictureFileTest, EveryRowOrderAndEncodingGivesThePicture)
{
    ExpectTestPicture(Bmp(false), D3DXIFF_BMP);
    // A negative height is a top-down picture of that height, not a refusal.
    ExpectTestPicture(Bmp(true), D3DXIFF_BMP);
    for (bool topDown : {false, true})
        for (bool rle : {false, true}) {
            SCOPED_TRACE(std::string(topDown ? "top-down" : "bottom-up") + (rle ? ", RLE" : ", raw"));
            ExpectTestPicture(Tga(topDown, rle), D3DXIFF_TGA);
        }
    // Colour-map fields in a picture without a colour map mean nothing.
    Bytes noMap = Tga(false, false);
    Put16(noMap, 5, 0xFFFF);
    noMap[7] = 32;
    ExpectTestPicture(noMap, D3DXIFF_TGA);
    Bytes raw;
    for (int y = 0; y < 2; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < 3; ++x) {
            const auto p = Expected(x, y);
            raw.insert(raw.end(), {p[0], p[1], p[2]});
        }
    }
    ExpectTestPicture(Png(3, 2, 8, 2, raw), D3DXIFF_PNG);
}

// 16-bit channels keep their high byte; a palette's transparency becomes
// alpha and makes the picture one with alpha.
TEST(PictureFileTest, PngDepthsAndPalettesEndAsEightBitRgba)
{
    d3dx::PictureHeader header;
    Bytes rgba;
    const Bytes grey16 = {0, 0x12, 0x34, 0xAB, 0xCD};
    ASSERT_TRUE(Decode(Png(2, 1, 16, 0, grey16), header, rgba));
    EXPECT_FALSE(header.alpha);
    EXPECT_EQ(rgba, (Bytes{0x12, 0x12, 0x12, 255, 0xAB, 0xAB, 0xAB, 255}));

    const Bytes indices = {0, 0x01};  // 4 bits: pixels 0 and 1
    ASSERT_TRUE(Decode(Png(2, 1, 4, 3, indices, {1, 2, 3, 4, 5, 6}, {0x80}), header, rgba));
    EXPECT_TRUE(header.alpha);
    EXPECT_EQ(rgba, (Bytes{1, 2, 3, 0x80, 4, 5, 6, 255}));
}

// Declared sizes are held against the side limit and the data the file holds:
// a 38-byte TGA of 4097 x 4097, an 8192-square PNG of a few bytes and a BMP
// cut short are refused from the header alone, and quickly.
TEST(PictureFileTest, HeadersThatPromiseMoreThanTheFileHoldsAreRefused)
{
    Bytes tga = TgaHeader(10, 4097, 4097, false);
    for (int i = 0; i < 5; ++i) tga.insert(tga.end(), {0xFF, 1, 2, 3});
    ASSERT_EQ(tga.size(), 38u);
    d3dx::PictureHeader header;
    Bytes rgba;
    d3dx::PictureResult result = d3dx::ReadPictureHeader(tga.data(), tga.size(), header);
    EXPECT_EQ(result.error, d3dx::PictureError::Unreadable);
    EXPECT_EQ(result.reason, "the file is shorter than the picture it declares");
    EXPECT_FALSE(Decode(tga, header, rgba));
    EXPECT_TRUE(rgba.empty());

    const Bytes png = Png(8192, 8192, 8, 6, Bytes(64, 0));
    result = d3dx::ReadPictureHeader(png.data(), png.size(), header);
    EXPECT_EQ(result.reason, "the file is shorter than the picture it declares");

    result = d3dx::ReadPictureHeader(Png(9000, 2, 8, 2, {}).data(), Png(9000, 2, 8, 2, {}).size(), header);
    EXPECT_EQ(result.error, d3dx::PictureError::TooLarge) << result.reason;

    Bytes bmp = Bmp(false);
    bmp.resize(bmp.size() - 4);
    EXPECT_EQ(Decode(bmp, header, rgba).reason, "the file is shorter than the picture it declares");

    const Bytes garbage = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c',
                           't', 'u', 'r', 'e', '!', '!', '!', '!', '!'};
    result = Decode(garbage, header, rgba);
    EXPECT_EQ(result.error, d3dx::PictureError::Unreadable);
    EXPECT_EQ(result.reason.rfind("not a picture", 0), 0u) << result.reason;
}

// JPEG through the system's decoder: the fuzzer's seed decodes; cut in half it
// is refused rather than made up.
TEST(PictureFileTest, JpegDecodesAndACutFileIsRefused)
{
    std::ifstream in(std::string(MIVOLA_SOURCE_DIR) + "/fuzz/pictures/corpus/jpeg-rgb", std::ios::binary);
    Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(file.size(), 100u);
    file.erase(file.begin());  // the fuzzer's mode byte
    d3dx::PictureHeader header;
    Bytes rgba;
    const d3dx::PictureResult result = Decode(file, header, rgba);
    ASSERT_TRUE(result) << result.reason;
    EXPECT_EQ(header.width, 16u);
    EXPECT_EQ(header.height, 8u);
    EXPECT_FALSE(header.alpha);
    EXPECT_EQ(header.format, D3DXIFF_JPG);
    file.resize(file.size() / 2);
    EXPECT_FALSE(Decode(file, header, rgba));
}

}  // namespace
