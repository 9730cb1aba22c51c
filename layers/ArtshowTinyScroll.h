// One line of text scrolling right to left through a 200-pixel window, faded
// in and out at the window's edges, drawn from a glyph atlas of a font file.
#pragma once

#include "layers/ArtshowSimpleLayer.h"
#include "layers/TextAtlas.h"

class ArtshowTinyScroll : public ArtshowSimpleLayer {
public:
    static constexpr int kTextCapacity = 20480;
    static constexpr float kWindowWidth = 200;
    static constexpr float kFadeWidth = 30;
    static constexpr float kLeadIn = 300;  // a pass starts this far right of x

    WCHAR fontPath[260] = {};
    WCHAR fontName[260] = {};
    int32_t fontSize = 0;
    TextAtlas atlas;
    WCHAR text[kTextCapacity] = {};
    uint32_t startTick = 0;  // tick of the first Draw; 0 until then

    ~ArtshowTinyScroll() override;
    int Load(XmlNode element) override;
    int Draw(float pointerX, float pointerY) override;

    // The alpha a character with its left edge at penX is drawn with; below 0
    // when it lies outside the window and is not drawn.
    static float EdgeAlpha(float windowX, float penX);
};
