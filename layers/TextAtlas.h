// A glyph atlas: the first 256 character codes of a font drawn by GDI into a
// 512 x 512 texture (white, coverage in alpha), and the cell of each code.
#pragma once

#include "platform/d3d9/d3d9.h"

#include <cstdint>

struct TextAtlas {
    static constexpr int kSize = 512;

    IDirect3DTexture9* texture = nullptr;   // owned; A8R8G8B8, managed pool
    int32_t fontSize = 0;                   // the cell height the font was made with
    WCHAR faceName[260] = {};               // recorded once the texture is filled
    int32_t glyphLeft[256] = {};
    int32_t glyphRight[256] = {};           // left + advance + 2
    int32_t glyphTop[256] = {};
    int32_t glyphBottom[256] = {};          // top + cell height
};

// The GDI half of the build: lays the 256 codes out in rows and draws them
// white on black. coverage receives kSize * kSize pixels, top row first, with
// the coverage in the lowest byte. Rows below the atlas are clipped: their cells
// keep their widths but get no height, so they draw nothing.
void RasterizeTextAtlas(TextAtlas& atlas, const WCHAR* faceName, int32_t size, uint32_t* coverage);
// Rasterizes and uploads into a new texture (replacing one already built).
void BuildTextAtlas(TextAtlas& atlas, const WCHAR* faceName, int32_t size);
void ReleaseTextAtlas(TextAtlas& atlas);

// Codes above 255 use the cell of their low 8 bits.
inline int GlyphIndex(WCHAR character) { return static_cast<uint32_t>(character) & 0xFF; }
// The sum of the characters' cell widths.
float TextWidth(const TextAtlas& atlas, const WCHAR* text);
// Draws one character's cell at (screenX, screenY) in interface pixels, with the
// current blend state and texture factor; returns its width.
float DrawGlyph(WCHAR character, const TextAtlas& atlas, float screenX, float screenY);
