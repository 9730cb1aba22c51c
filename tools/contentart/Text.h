// Text drawn into pictures with FreeType from the DejaVu fonts.
#pragma once

#include "tools/contentart/Image.h"

#include <string>

class Font {
public:
    // `file` is a font file; `pixels` the em size in pixels.
    Font(const std::string& file, int pixels);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    bool Ok() const { return face != nullptr; }
    // Advance width of a UTF-8 string (with extra spacing between letters).
    float Measure(const std::string& text, float spacing = 0) const;
    // Draws with the baseline at y; returns the pen position after the text.
    float Draw(Image& img, float x, float y, const std::string& text, Rgba c, float spacing = 0) const;
    float DrawCentred(Image& img, float cx, float y, const std::string& text, Rgba c,
                      float spacing = 0) const;
    // Soft shadow or glow: the text drawn blurred by `radius` pixels.
    void DrawGlow(Image& img, float x, float y, const std::string& text, Rgba c, int radius,
                  float spacing = 0) const;
    int Ascent() const;

private:
    void* library = nullptr;  // FT_Library
    void* face = nullptr;     // FT_Face
};

// Font files of the DejaVu family shipped with the system.
std::string FontPath(const char* file);
