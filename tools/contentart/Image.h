// RGBA picture in floating point with the few drawing routines the generated art needs:
// anti-aliased shapes from signed distance functions, gradients, glows, noise, PNG output.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Rgba {
    float r = 0, g = 0, b = 0, a = 1;
};

// 0xRRGGBB with an alpha.
Rgba Hex(uint32_t rgb, float a = 1.0f);
Rgba Mix(const Rgba& x, const Rgba& y, float t);

class Image {
public:
    Image() = default;
    Image(int w, int h, Rgba fill = {0, 0, 0, 0});

    int Width() const { return width; }
    int Height() const { return height; }
    Rgba& At(int x, int y) { return px[size_t(y) * size_t(width) + size_t(x)]; }
    const Rgba& At(int x, int y) const { return px[size_t(y) * size_t(width) + size_t(x)]; }

    // Source-over blend of c (its alpha times coverage) onto pixel (x, y); outside is ignored.
    void Blend(int x, int y, const Rgba& c, float coverage = 1.0f);
    // Adds c × amount to the colour channels (light), keeping alpha at least amount × c.a.
    void Add(int x, int y, const Rgba& c, float amount);

    // Every pixel gets f(x + 0.5, y + 0.5) blended over it.
    void Shade(const std::function<Rgba(float, float)>& f);
    // Fills the shape whose signed distance (pixels, negative inside) sdf gives, inside the
    // bounding box; the colour may depend on the position.
    void FillSdf(float x0, float y0, float x1, float y1, const std::function<float(float, float)>& sdf,
                 const std::function<Rgba(float, float)>& colour);
    void FillSdf(float x0, float y0, float x1, float y1, const std::function<float(float, float)>& sdf,
                 Rgba c);

    void FillRect(float x0, float y0, float x1, float y1, Rgba c);
    void FillRoundRect(float x0, float y0, float x1, float y1, float radius, Rgba c);
    void StrokeRoundRect(float x0, float y0, float x1, float y1, float radius, float width, Rgba c);
    void VerticalGradient(float x0, float y0, float x1, float y1, Rgba top, Rgba bottom, float radius = 0);
    void FillCircle(float cx, float cy, float r, Rgba c);
    void StrokeCircle(float cx, float cy, float r, float width, Rgba c);
    void Line(float x0, float y0, float x1, float y1, float width, Rgba c);
    // Soft additive light: amount falls off as (1 - d/r)^falloff.
    void Glow(float cx, float cy, float r, Rgba c, float falloff = 2.0f);
    // Clears a rectangle to fully transparent.
    void Clear(int x0, int y0, int x1, int y1);

    // Copies src over this picture at (x, y) with source-over blending.
    void Draw(const Image& src, int x, int y);
    // Nearest-neighbour enlargement (for pixel art).
    Image Scaled(int factor) const;

    // Writes an 8-bit PNG; RGB when `alpha` is false.
    bool SavePng(const std::string& path, bool alpha = true) const;

private:
    int width = 0, height = 0;
    std::vector<Rgba> px;
};

// Signed distances (negative inside).
float SdRoundRect(float x, float y, float x0, float y0, float x1, float y1, float r);
float SdCircle(float x, float y, float cx, float cy, float r);
float SdSegment(float x, float y, float ax, float ay, float bx, float by);

// Deterministic hash noise in 0..1 and smooth value noise in 0..1.
float Hash2(int x, int y, uint32_t seed);
float ValueNoise(float x, float y, uint32_t seed);
float Fbm(float x, float y, uint32_t seed, int octaves = 4);
