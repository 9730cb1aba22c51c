#include "tools/contentart/Image.h"

#include <algorithm>
#include <cmath>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

Rgba Hex(uint32_t rgb, float a)
{
    return {float((rgb >> 16) & 0xFF) / 255.0f, float((rgb >> 8) & 0xFF) / 255.0f, float(rgb & 0xFF) / 255.0f,
            a};
}

Rgba Mix(const Rgba& x, const Rgba& y, float t)
{
    return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t, x.a + (y.a - x.a) * t};
}

Image::Image(int w, int h, Rgba fill) : width(w), height(h), px(size_t(w) * size_t(h), fill) {}

void Image::Blend(int x, int y, const Rgba& c, float coverage)
{
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    float sa = std::clamp(c.a * coverage, 0.0f, 1.0f);
    if (sa <= 0) return;
    Rgba& d = At(x, y);
    float oa = sa + d.a * (1 - sa);
    if (oa <= 0) {
        d = {0, 0, 0, 0};
        return;
    }
    d.r = (c.r * sa + d.r * d.a * (1 - sa)) / oa;
    d.g = (c.g * sa + d.g * d.a * (1 - sa)) / oa;
    d.b = (c.b * sa + d.b * d.a * (1 - sa)) / oa;
    d.a = oa;
}

void Image::Add(int x, int y, const Rgba& c, float amount)
{
    if (x < 0 || y < 0 || x >= width || y >= height || amount <= 0) return;
    Rgba& d = At(x, y);
    float k = amount * c.a;
    // Light over a transparent pixel becomes coloured, partly opaque light.
    float na = std::min(1.0f, d.a + k * (1 - d.a));
    if (na > 0) {
        d.r = std::min(1.0f, (d.r * d.a + c.r * k) / na);
        d.g = std::min(1.0f, (d.g * d.a + c.g * k) / na);
        d.b = std::min(1.0f, (d.b * d.a + c.b * k) / na);
    }
    d.a = na;
}

void Image::Shade(const std::function<Rgba(float, float)>& f)
{
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) Blend(x, y, f(float(x) + 0.5f, float(y) + 0.5f));
}

void Image::FillSdf(float x0, float y0, float x1, float y1, const std::function<float(float, float)>& sdf,
                    const std::function<Rgba(float, float)>& colour)
{
    int ix0 = std::max(0, int(std::floor(x0)) - 1), iy0 = std::max(0, int(std::floor(y0)) - 1);
    int ix1 = std::min(width, int(std::ceil(x1)) + 1), iy1 = std::min(height, int(std::ceil(y1)) + 1);
    for (int y = iy0; y < iy1; ++y)
        for (int x = ix0; x < ix1; ++x) {
            float fx = float(x) + 0.5f, fy = float(y) + 0.5f;
            float cov = std::clamp(0.5f - sdf(fx, fy), 0.0f, 1.0f);
            if (cov > 0) Blend(x, y, colour(fx, fy), cov);
        }
}

void Image::FillSdf(float x0, float y0, float x1, float y1, const std::function<float(float, float)>& sdf,
                    Rgba c)
{
    FillSdf(x0, y0, x1, y1, sdf, [c](float, float) { return c; });
}

void Image::FillRect(float x0, float y0, float x1, float y1, Rgba c)
{
    FillRoundRect(x0, y0, x1, y1, 0, c);
}

void Image::FillRoundRect(float x0, float y0, float x1, float y1, float r, Rgba c)
{
    FillSdf(
        x0, y0, x1, y1, [=](float x, float y) { return SdRoundRect(x, y, x0, y0, x1, y1, r); }, c);
}

void Image::StrokeRoundRect(float x0, float y0, float x1, float y1, float r, float w, Rgba c)
{
    FillSdf(
        x0 - w, y0 - w, x1 + w, y1 + w,
        [=](float x, float y) { return std::fabs(SdRoundRect(x, y, x0, y0, x1, y1, r)) - w * 0.5f; }, c);
}

void Image::VerticalGradient(float x0, float y0, float x1, float y1, Rgba top, Rgba bottom, float r)
{
    FillSdf(
        x0, y0, x1, y1, [=](float x, float y) { return SdRoundRect(x, y, x0, y0, x1, y1, r); },
        [=](float, float y) {
            return Mix(top, bottom, std::clamp((y - y0) / std::max(1.0f, y1 - y0), 0.0f, 1.0f));
        });
}

void Image::FillCircle(float cx, float cy, float r, Rgba c)
{
    FillSdf(
        cx - r, cy - r, cx + r, cy + r, [=](float x, float y) { return SdCircle(x, y, cx, cy, r); }, c);
}

void Image::StrokeCircle(float cx, float cy, float r, float w, Rgba c)
{
    FillSdf(
        cx - r - w, cy - r - w, cx + r + w, cy + r + w,
        [=](float x, float y) { return std::fabs(SdCircle(x, y, cx, cy, r)) - w * 0.5f; }, c);
}

void Image::Line(float x0, float y0, float x1, float y1, float w, Rgba c)
{
    FillSdf(
        std::min(x0, x1) - w, std::min(y0, y1) - w, std::max(x0, x1) + w, std::max(y0, y1) + w,
        [=](float x, float y) { return SdSegment(x, y, x0, y0, x1, y1) - w * 0.5f; }, c);
}

void Image::Glow(float cx, float cy, float r, Rgba c, float falloff)
{
    int ix0 = std::max(0, int(cx - r)), iy0 = std::max(0, int(cy - r));
    int ix1 = std::min(width, int(cx + r) + 1), iy1 = std::min(height, int(cy + r) + 1);
    for (int y = iy0; y < iy1; ++y)
        for (int x = ix0; x < ix1; ++x) {
            float d = std::hypot(float(x) + 0.5f - cx, float(y) + 0.5f - cy) / r;
            if (d < 1) Add(x, y, c, std::pow(1 - d, falloff));
        }
}

void Image::Clear(int x0, int y0, int x1, int y1)
{
    for (int y = std::max(0, y0); y < std::min(height, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(width, x1); ++x) At(x, y) = {0, 0, 0, 0};
}

void Image::Draw(const Image& src, int x, int y)
{
    for (int j = 0; j < src.height; ++j)
        for (int i = 0; i < src.width; ++i) Blend(x + i, y + j, src.At(i, j));
}

Image Image::Scaled(int f) const
{
    Image out(width * f, height * f);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) out.At(x, y) = At(x / f, y / f);
    return out;
}

bool Image::SavePng(const std::string& path, bool alpha) const
{
    const int comp = alpha ? 4 : 3;
    std::vector<uint8_t> bytes(size_t(width) * size_t(height) * size_t(comp));
    auto q = [](float v) { return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    size_t k = 0;
    for (const Rgba& p : px) {
        if (alpha) {
            bytes[k++] = q(p.r);
            bytes[k++] = q(p.g);
            bytes[k++] = q(p.b);
            bytes[k++] = q(p.a);
        } else {
            // Opaque output: composite over black.
            bytes[k++] = q(p.r * p.a);
            bytes[k++] = q(p.g * p.a);
            bytes[k++] = q(p.b * p.a);
        }
    }
    return stbi_write_png(path.c_str(), width, height, comp, bytes.data(), width * comp) != 0;
}

float SdRoundRect(float x, float y, float x0, float y0, float x1, float y1, float r)
{
    float cx = (x0 + x1) * 0.5f, cy = (y0 + y1) * 0.5f;
    float hx = (x1 - x0) * 0.5f - r, hy = (y1 - y0) * 0.5f - r;
    float qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
    float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
    return outside + std::min(std::max(qx, qy), 0.0f) - r;
}

float SdCircle(float x, float y, float cx, float cy, float r)
{
    return std::hypot(x - cx, y - cy) - r;
}

float SdSegment(float x, float y, float ax, float ay, float bx, float by)
{
    float px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
    float len2 = dx * dx + dy * dy;
    float t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0f, 1.0f) : 0.0f;
    return std::hypot(px - dx * t, py - dy * t);
}

float Hash2(int x, int y, uint32_t seed)
{
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return float(h & 0xFFFFFF) / float(0xFFFFFF);
}

float ValueNoise(float x, float y, uint32_t seed)
{
    int ix = int(std::floor(x)), iy = int(std::floor(y));
    float fx = x - float(ix), fy = y - float(iy);
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    float a = Hash2(ix, iy, seed), b = Hash2(ix + 1, iy, seed);
    float c = Hash2(ix, iy + 1, seed), d = Hash2(ix + 1, iy + 1, seed);
    return a + (b - a) * fx + (c - a) * fy + (a - b - c + d) * fx * fy;
}

float Fbm(float x, float y, uint32_t seed, int octaves)
{
    float sum = 0, amp = 0.5f, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += ValueNoise(x, y, seed + uint32_t(i) * 17u) * amp;
        norm += amp;
        x *= 2.03f;
        y *= 2.03f;
        amp *= 0.5f;
    }
    return sum / norm;
}
