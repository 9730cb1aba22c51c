#include "layers/ArtshowTinyScroll.h"

#include "gfx/kpxD3D.h"
#include "platform/gdi/gdi.h"

#include <cwchar>

ArtshowTinyScroll::~ArtshowTinyScroll()
{
    ReleaseTextAtlas(atlas);
}

int ArtshowTinyScroll::Load(XmlNode element)
{
    XmlNode font = nullptr;
    XmlFirstChild(element, font, L"font");
    XmlGetAttribute(font, L"path", fontPath, 260);
    XmlGetAttribute(font, L"name", fontName, 260);
    XmlGetNumber(font, L"size", fontSize);

    // The text comes first: the atlas gives its characters above 255 cells of their own.
    XmlNode textNode = nullptr;
    XmlFirstChild(element, textNode, L"text");
    wmemset(text, 0, kTextCapacity);
    XmlGetText(textNode, text);  // at most 20478 characters and the terminator

    // A file that cannot be installed leaves GDI to substitute a face: say so.
    if (fontPath[0] && AddFontResourceW(fontPath) == 0)
        LogPrintf("Scroller font file \"%ls\" is missing, empty or not a font: a system font stands in\n",
                  fontPath);
    BuildTextAtlas(atlas, fontName, fontSize, text);
    startTick = 0;
    return 1;
}

float ArtshowTinyScroll::EdgeAlpha(float windowX, float penX)
{
    if (!(penX >= windowX && penX <= windowX + kWindowWidth)) return -1;
    float alpha = 1;
    if (penX < windowX + kFadeWidth) alpha = 1 - (windowX + kFadeWidth - penX) / kFadeWidth;
    if (penX > windowX + kWindowWidth - kFadeWidth) {
        alpha = 1 - (penX - (windowX + kWindowWidth - kFadeWidth)) / kFadeWidth;
    }
    return alpha;
}

int ArtshowTinyScroll::Draw(float pointerX, float pointerY)
{
    IDirect3DDevice9* device = d3d.device;
    // Without an atlas texture the glyph quads would come out as solid boxes.
    if (!device || !atlas.texture) return 0;
    const uint32_t now = GetTickCount();
    if (startTick == 0) startTick = now;
    device->SetRenderState(D3DRS_ZENABLE, FALSE);

    const float width = TextWidth(atlas, text);
    const uint32_t s = (now - startTick) / 10;  // 100 pixels a second
    const int64_t period = int64_t(width + 600.0f);
    float penX = x - float(int64_t(s) % period) + kLeadIn;
    for (const WCHAR* c = text; *c; ++c) {
        int g = GlyphIndex(atlas, *c);
        float advance = float(atlas.glyphRight[g] - atlas.glyphLeft[g]);
        float alpha = EdgeAlpha(x, penX);
        if (alpha >= 0) {
            device->SetRenderState(D3DRS_TEXTUREFACTOR, (DWORD(alpha * 255.0f) << 24) | 0x00FFFFFF);
            advance = DrawGlyph(*c, atlas, penX, y);
        }
        penX += advance;
    }
    return 0;
}
