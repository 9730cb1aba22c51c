#include "tools/capture/Yuv709.h"

namespace {

// Coefficients times 65536: Y' = 16 + 219/255 (0.2126 R + 0.7152 G + 0.0722 B),
// Cb and Cr 128 + 224/255 of the scaled colour differences.
constexpr int kYr = 11966, kYg = 40254, kYb = 4064;
constexpr int kUr = -6596, kUg = -22189, kUb = 28784;
constexpr int kVr = 28784, kVg = -26145, kVb = -2639;
constexpr int kHalf = 1 << 15;

inline uint8_t Clamp(int v)
{
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

}  // namespace

void RgbaToYuv709(const uint8_t* rgba, int width, int height, size_t stride, uint8_t* const planes[3],
                  const int lineSizes[3])
{
    for (int y = 0; y < height; ++y) {
        const uint8_t* p = rgba + size_t(y) * stride;
        uint8_t* out = planes[0] + size_t(y) * size_t(lineSizes[0]);
        for (int x = 0; x < width; ++x, p += 4)
            out[x] = uint8_t(16 + ((kYr * p[0] + kYg * p[1] + kYb * p[2] + kHalf) >> 16));
    }
    for (int cy = 0; cy < (height + 1) / 2; ++cy) {
        const uint8_t* row0 = rgba + size_t(2 * cy) * stride;
        const uint8_t* row1 = 2 * cy + 1 < height ? row0 + stride : row0;
        uint8_t* u = planes[1] + size_t(cy) * size_t(lineSizes[1]);
        uint8_t* v = planes[2] + size_t(cy) * size_t(lineSizes[2]);
        for (int cx = 0; cx < (width + 1) / 2; ++cx) {
            const size_t a = size_t(2 * cx) * 4, b = 2 * cx + 1 < width ? a + 4 : a;
            const int r = row0[a] + row0[b] + row1[a] + row1[b];
            const int g = row0[a + 1] + row0[b + 1] + row1[a + 1] + row1[b + 1];
            const int bl = row0[a + 2] + row0[b + 2] + row1[a + 2] + row1[b + 2];
            // Sums of four: a quarter of the coefficients' scale, rounded.
            u[cx] = Clamp(128 + ((kUr * r + kUg * g + kUb * bl + 2 * kHalf * 2) >> 18));
            v[cx] = Clamp(128 + ((kVr * r + kVg * g + kVb * bl + 2 * kHalf * 2) >> 18));
        }
    }
}
