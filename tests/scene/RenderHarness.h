// A headless device at 1280 x 720 with a virtual clock of one millisecond per frame,
// and helpers to render frames, read their pixels and make textures.
#pragma once

#include "math/Vector3.h"
#include "platform/d3d9/d3d9.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace harness {

struct Rgb {
    int r, g, b;
};

struct Frame {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    Rgb At(int x, int y) const;
    // A binary PPM, for looking at frames.
    bool SavePpm(const std::string& path) const;
};

// Creates the device object and the quad drawer once per process (virtual run).
void StartDevice();
IDirect3DDevice9* Device();

// Clears to black, draws between BeginScene and EndScene, presents (the clock then
// moves on by one millisecond) and returns the frame.
Frame Render(const std::function<void()>& draw);
// Moves the virtual clock on by ms milliseconds without drawing.
void AdvanceMs(uint32_t ms);

// A managed A8R8G8B8 texture of width x height texels, filled row by row from
// the top by fill(x, y) -> 0xAARRGGBB.
IDirect3DTexture9* MakeTexture(uint32_t width, uint32_t height,
                               const std::function<uint32_t(uint32_t, uint32_t)>& fill);
// An uncompressed 24-bit BMP of one colour.
bool WriteBmp(const std::string& path, int width, int height, uint8_t r, uint8_t g, uint8_t b);

// The pixel at which a world-space point appears through the monitor's camera.
void ProjectToPixel(const Vector3& world, float& x, float& y);

}  // namespace harness
