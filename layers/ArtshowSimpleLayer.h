// A picture layer: one picture at a fixed position, blended normally or
// additively, whose opacity can follow the level of the playing song.
#pragma once

#include "core/MediaItem.h"
#include "data/ArtshowLayer.h"

class ArtshowSimpleLayer : public ArtshowLayer {
public:
    int32_t additive = 0;                // 1: "blend" is exactly "add"
    MediaItem image{};                   // the picture; its texture is made by PreloadAll
    float activeArea[4] = {0, 0, 0, 0};  // left, top, right, bottom; read, never used

    int Load(XmlNode element) override;
    int Draw(float pointerX, float pointerY) override;

protected:
    // Reads the "image" child: path, kind, registration and "blend". Returns
    // false (and registers nothing) when the element has no "image" child.
    bool LoadImageChild(XmlNode element);
};
