// The options dialog's template (dialog resource 101) and its picture (bitmap
// resource 102), kept as program data. Positions and sizes are dialog units.
#pragma once

#include "platform/win32/Resources.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace res {

inline constexpr DialogControl kOptionsControls[] = {
    {1, ControlKind::DefPushButton, L"1", 155, 129, 50, 14, 0, true},
    {2, ControlKind::PushButton, L"0", 5, 129, 50, 14, 0, true},
    {-1, ControlKind::StaticBitmap, L"", 5, 5, 200, 67, 102, false},
    {1000, ControlKind::AutoCheckBox, L"Enable multisampling (a.k.a. antialiasing)", 5, 91, 175, 10, 0, true},
    {1001, ControlKind::AutoCheckBox, L"Run in fullscreen", 5, 80, 175, 10, 0, true},
    {3, ControlKind::DefPushButton, L"Say hello at mivola.example.org", 5, 148, 200, 14, 0, true},
    {1002, ControlKind::AutoCheckBox, L"Enable low video RAM mode (if loading fails, this might help)", 5,
     102, 200, 10, 0, true},
    {1003, ControlKind::AutoCheckBox, L"Checkbox with arbitrary intricate obscure functionality", 5, 113, 200,
     10, 0, true},
};

inline constexpr DialogTemplate kOptionsDialog = {
    101,
    L"Mivola rmx 001",
    L"MS Sans Serif",
    8,
    212,
    169,
    true,
    true,
    kOptionsControls,
    static_cast<int>(sizeof kOptionsControls / sizeof kOptionsControls[0]),
};

inline const DialogTemplate* FindDialogTemplate(int id)
{
    return id == kOptionsDialog.id ? &kOptionsDialog : nullptr;
}

// Bitmap 102: 300 x 109, 24 bits, drawn by code: a night-blue panel with a
// radio dial's tick marks, a glowing sine trace and a row of level bars.
// Rows top first, bytes B, G, R.
constexpr int kOptionsPictureId = 102;
constexpr int kOptionsPictureWidth = 300;
constexpr int kOptionsPictureHeight = 109;

inline bool LoadBitmapResource(int id, std::vector<uint8_t>& bgr, int& width, int& height)
{
    if (id != kOptionsPictureId) return false;
    width = kOptionsPictureWidth;
    height = kOptionsPictureHeight;
    bgr.assign(static_cast<size_t>(width * height * 3), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double fy = y / double(height - 1);
            double r = 10 + 30 * fy, g = 14 + 20 * fy, b = 40 + 70 * (1 - fy);
            // Dial ticks along the top, a long one every fifth.
            if (y >= 8 && y < 30 && x % 10 == 5 && (y < 18 || x % 50 == 5)) r = g = b = 150;
            // A glowing sine trace across the middle.
            double trace = 58 + 16 * std::sin(x * 0.07) * std::cos(x * 0.013);
            double glow = std::exp(-std::pow((y - trace) / 2.2, 2));
            r += 240 * glow;
            g += 160 * glow;
            b += 60 * glow;
            // Level bars along the bottom.
            int bar = x / 12;
            int barHeight = 6 + (bar * 37 % 17);
            if (x % 12 < 9 && y >= height - 6 - barHeight && y < height - 6) {
                r = 60 + 8 * bar;
                g = 200 - 4 * bar;
                b = 120;
            }
            uint8_t* p = &bgr[static_cast<size_t>((y * width + x) * 3)];
            p[0] = static_cast<uint8_t>(b > 255 ? 255 : b);
            p[1] = static_cast<uint8_t>(g > 255 ? 255 : g);
            p[2] = static_cast<uint8_t>(r > 255 ? 255 : r);
        }
    }
    return true;
}

}  // namespace res
