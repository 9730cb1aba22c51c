// The program's icon, drawn in code so the program needs no file for it: a record
// with an orange label and a light sheen, in a 16-colour palette with a 1-bit mask
// (the icon group holds 16, 32 and 48 pixel images). tools/icongen writes the same
// pictures as PNG files beside this header for viewing.
#pragma once

#include <cmath>
#include <cstdint>

namespace mivola_icon {

constexpr int kSizes[3] = {16, 32, 48};

// RGBA; entry 0 is the transparent mask colour.
constexpr uint8_t kPalette[16][4] = {
    {0, 0, 0, 0},          // 0 transparent
    {58, 58, 78, 255},     // 1 rim
    {18, 18, 26, 255},     // 2 vinyl
    {44, 44, 60, 255},     // 3 groove
    {112, 112, 140, 255},  // 4 sheen
    {244, 140, 36, 255},   // 5 label
    {196, 84, 20, 255},    // 6 label ring
    {8, 8, 10, 255},       // 7 spindle hole
    {255, 214, 120, 255},  // 8 label highlight
    {0, 0, 0, 255},       {0, 0, 0, 255}, {0, 0, 0, 255}, {0, 0, 0, 255},
    {0, 0, 0, 255},       {0, 0, 0, 255}, {0, 0, 0, 255},
};

// Palette index at a point of the unit square (0..1 both ways, y down).
inline int IconRegion(double u, double v, int size)
{
    const double dx = u - 0.5, dy = v - 0.5;
    const double r = std::sqrt(dx * dx + dy * dy) * 2.0;  // 1 at the edge of the square
    if (r > 0.96) return 0;
    if (r > 0.88) return 1;
    if (r > 0.40) {
        // A sheen across the upper left and lower right, as light falls on vinyl.
        const double angle = std::atan2(dy, dx);
        const double a = std::fabs(std::sin(angle + 0.785398));
        if (a < 0.22 && r > 0.5 && r < 0.82) return 4;
        // Grooves only where there are pixels enough to show them.
        if (size >= 32) {
            const double band = std::fmod((r - 0.40) * (size >= 48 ? 11.0 : 7.0), 1.0);
            if (band < 0.28) return 3;
        }
        return 2;
    }
    if (r > 0.34) return 6;
    if (r > 0.10) {
        // A highlight on the label's upper left.
        if (size >= 32 && dx < -0.03 && dy < -0.03 && r > 0.2 && r < 0.28) return 8;
        return 5;
    }
    return 7;
}

// Writes size * size RGBA pixels: each pixel takes the region most of its 4 x 4
// sub-samples fall into, so edges stay crisp in the 16-colour palette.
inline void RenderIcon(int size, uint8_t* rgba)
{
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int votes[16] = {};
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx)
                    ++votes[IconRegion((x + (sx + 0.5) / 4.0) / size, (y + (sy + 0.5) / 4.0) / size, size)];
            int best = 0;
            for (int i = 1; i < 16; ++i)
                if (votes[i] > votes[best]) best = i;
            uint8_t* out = rgba + (static_cast<size_t>(y) * size + x) * 4;
            for (int c = 0; c < 4; ++c) out[c] = kPalette[best][c];
        }
    }
}

// The same picture for desktop icon themes at any size: each pixel averages its
// 4 x 4 sub-samples (premultiplied), so the edges are smooth instead of stepped.
inline void RenderSmoothIcon(int size, uint8_t* rgba)
{
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int sum[4] = {};
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx) {
                    const uint8_t* c = kPalette[IconRegion((x + (sx + 0.5) / 4.0) / size,
                                                           (y + (sy + 0.5) / 4.0) / size, size)];
                    for (int i = 0; i < 3; ++i) sum[i] += c[i] * c[3];
                    sum[3] += c[3];
                }
            uint8_t* out = rgba + (static_cast<size_t>(y) * size + x) * 4;
            for (int i = 0; i < 3; ++i)
                out[i] = static_cast<uint8_t>(sum[3] ? (sum[i] + sum[3] / 2) / sum[3] : 0);
            out[3] = static_cast<uint8_t>((sum[3] + 8) / 16);
        }
    }
}

}  // namespace mivola_icon
