#include "tools/contentart/Text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Decodes UTF-8 into code points (invalid bytes pass through as Latin-1).
std::vector<uint32_t> Decode(const std::string& s)
{
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0xC0 && c < 0xE0 && i + 1 < s.size()) {
            out.push_back(((c & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu));
            i += 2;
        } else if (c >= 0xE0 && c < 0xF0 && i + 2 < s.size()) {
            out.push_back(((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 6) |
                          (static_cast<unsigned char>(s[i + 2]) & 0x3Fu));
            i += 3;
        } else {
            out.push_back(c);
            ++i;
        }
    }
    return out;
}

}  // namespace

std::string FontPath(const char* file)
{
    return std::string("/usr/share/fonts/truetype/dejavu/") + file;
}

Font::Font(const std::string& file, int pixels)
{
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib)) return;
    library = lib;
    FT_Face f = nullptr;
    if (FT_New_Face(lib, file.c_str(), 0, &f)) return;
    FT_Set_Pixel_Sizes(f, 0, FT_UInt(pixels));
    face = f;
}

Font::~Font()
{
    if (face) FT_Done_Face(static_cast<FT_Face>(face));
    if (library) FT_Done_FreeType(static_cast<FT_Library>(library));
}

int Font::Ascent() const
{
    return face ? int(static_cast<FT_Face>(face)->size->metrics.ascender >> 6) : 0;
}

float Font::Measure(const std::string& text, float spacing) const
{
    if (!face) return 0;
    FT_Face f = static_cast<FT_Face>(face);
    float w = 0;
    std::vector<uint32_t> cps = Decode(text);
    for (uint32_t cp : cps) {
        if (FT_Load_Char(f, cp, FT_LOAD_DEFAULT)) continue;
        w += float(f->glyph->advance.x) / 64.0f + spacing;
    }
    return cps.empty() ? 0 : w - spacing;
}

float Font::Draw(Image& img, float x, float y, const std::string& text, Rgba c, float spacing) const
{
    if (!face) return x;
    FT_Face f = static_cast<FT_Face>(face);
    for (uint32_t cp : Decode(text)) {
        if (FT_Load_Char(f, cp, FT_LOAD_RENDER)) continue;
        const FT_Bitmap& bm = f->glyph->bitmap;
        int ox = int(std::lround(x)) + f->glyph->bitmap_left, oy = int(std::lround(y)) - f->glyph->bitmap_top;
        for (unsigned r = 0; r < bm.rows; ++r)
            for (unsigned k = 0; k < bm.width; ++k) {
                float cov = float(bm.buffer[int(r) * bm.pitch + int(k)]) / 255.0f;
                if (cov > 0) img.Blend(ox + int(k), oy + int(r), c, cov);
            }
        x += float(f->glyph->advance.x) / 64.0f + spacing;
    }
    return x;
}

float Font::DrawCentred(Image& img, float cx, float y, const std::string& text, Rgba c, float spacing) const
{
    return Draw(img, cx - Measure(text, spacing) * 0.5f, y, text, c, spacing);
}

void Font::DrawGlow(Image& img, float x, float y, const std::string& text, Rgba c, int radius,
                    float spacing) const
{
    // Render the coverage into a scratch mask, box-blur it twice, then blend.
    int w = int(Measure(text, spacing)) + 4 * radius + 8, h = Ascent() * 2 + 4 * radius + 8;
    Image mask(w, h);
    float baseX = float(2 * radius + 4), baseY = float(Ascent() + 2 * radius + 4);
    Draw(mask, baseX, baseY, text, {1, 1, 1, 1}, spacing);
    std::vector<float> a(size_t(w) * size_t(h)), t(a.size());
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) a[size_t(j * w + i)] = mask.At(i, j).a;
    for (int pass = 0; pass < 2; ++pass) {
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                float s = 0;
                for (int k = -radius; k <= radius; ++k) s += a[size_t(j * w + std::clamp(i + k, 0, w - 1))];
                t[size_t(j * w + i)] = s / float(2 * radius + 1);
            }
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                float s = 0;
                for (int k = -radius; k <= radius; ++k) s += t[size_t(std::clamp(j + k, 0, h - 1) * w + i)];
                a[size_t(j * w + i)] = s / float(2 * radius + 1);
            }
    }
    int ox = int(std::lround(x - baseX)), oy = int(std::lround(y - baseY));
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) img.Blend(ox + i, oy + j, c, std::min(1.0f, a[size_t(j * w + i)] * 1.6f));
}
