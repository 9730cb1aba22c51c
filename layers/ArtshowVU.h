// A six-column spectrum meter of the playing song: each column is a stack of
// copies of one small picture, as high as one frequency bin is loud.
#pragma once

#include "core/MediaItem.h"
#include "data/ArtshowLayer.h"

class ArtshowVU : public ArtshowLayer {
public:
    static constexpr int kColumns = 6;
    static constexpr int kBinStep = 40;  // columns read bins 0, 40, ..., 200
    static constexpr int kMaxBlocks = 20;

    MediaItem image{};  // the block; its size is the column and block pitch

    int Load(XmlNode element) override;
    int Draw(float pointerX, float pointerY) override;

    // Blocks in a column for an FFT magnitude: trunc(min(m^0.2, 1) * 20 + 1) - 1.
    static int BlockCount(float magnitude);
};
