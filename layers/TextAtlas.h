// A glyph atlas: 256 cells of a font drawn by GDI into a 512 x 512 texture
// (white, coverage in alpha). Cell i holds character i, except that characters
// above 255 which the text needs take the cells of codes the text does not use.
#pragma once

#include "platform/d3d9/d3d9.h"

#include <cstdint>

struct TextAtlas {
    static constexpr int kSize = 512;

    IDirect3DTexture9* texture = nullptr;  // owned; A8R8G8B8, managed pool
    int32_t fontSize = 0;                  // the cell height the font was made with
    WCHAR faceName[260] = {};              // recorded once the texture is filled
    int32_t glyphLeft[256] = {};
    int32_t glyphRight[256] = {};  // left + advance + 2
    int32_t glyphTop[256] = {};
    int32_t glyphBottom[256] = {};  // top + cell height

    // The character drawn in each cell: its own code unless a character above
    // 255 took it.
    WCHAR cellCharacter[256] = {};
    // Those characters and their cells, sorted by character.
    int32_t extraCount = 0;
    WCHAR extraCharacter[256] = {};
    uint8_t extraCell[256] = {};
};

// The smallest font size an atlas is built with.
constexpr int32_t kMinFontSize = 6;

// Gives the characters above 255 of text (null: none) the cells of codes that
// text does not use: control codes first, then the other unused codes, in the
// order the characters first appear. Characters beyond the free cells get none.
void AssignCells(TextAtlas& atlas, const WCHAR* text);

// The GDI half of the build: assigns the cells for text, lays the 256 cells
// out in rows and draws them white on black. A size whose cells would not fit
// the atlas is clamped to the largest that fits, and never below kMinFontSize
// (logged). coverage receives kSize * kSize pixels, top row first, with the
// coverage in the lowest byte. Should even the smallest size overflow, the
// rows below the atlas are clipped: their cells keep their widths but get no
// height, so they draw nothing.
void RasterizeTextAtlas(TextAtlas& atlas, const WCHAR* faceName, int32_t size, uint32_t* coverage,
                        const WCHAR* text = nullptr);
// Rasterizes and uploads into a new texture (replacing one already built).
void BuildTextAtlas(TextAtlas& atlas, const WCHAR* faceName, int32_t size, const WCHAR* text = nullptr);
void ReleaseTextAtlas(TextAtlas& atlas);

// The cell a character is drawn from: its own code up to 255, the cell it was
// given above that, and the cell of "?" when it got none.
int GlyphIndex(const TextAtlas& atlas, WCHAR character);
// The sum of the characters' cell widths.
float TextWidth(const TextAtlas& atlas, const WCHAR* text);
// Draws one character's cell at (screenX, screenY) in interface pixels, with the
// current blend state and texture factor; returns its width.
float DrawGlyph(WCHAR character, const TextAtlas& atlas, float screenX, float screenY);
