// The pixel type and frame of every render test: what Present hands the host in
// a virtual run, RGBA with rows top first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace support {

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 0;
    bool operator==(const Rgba&) const = default;
};

struct Frame {
    int width = 0, height = 0;
    std::vector<Rgba> pixels;

    Rgba At(int x, int y) const { return pixels.at(size_t(y) * size_t(width) + size_t(x)); }
    // 0xRRGGBB of a pixel.
    uint32_t Rgb(int x, int y) const
    {
        const Rgba p = At(x, y);
        return uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | p.b;
    }
    // Writes the frame, or the part from (x, y) of w x h with each pixel scaled up
    // to scale x scale, as an opaque PNG under OutputDir(), for looking at.
    void SavePng(const std::string& name) const { SavePng(name, 0, 0, width, height); }
    void SavePng(const std::string& name, int x, int y, int w, int h, int scale = 1) const;
};

}  // namespace support
