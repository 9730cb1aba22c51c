// The layer interface that "interface.xml" instantiates. The catalogue holds and
// reads layers through it; the layer classes themselves live in layers/.
#pragma once

#include "data/XmlAccess.h"

#include <cstdint>

enum ReactMode : int32_t { ReactNone = 0, ReactOpacity = 1, ReactScaling = 2 };

class ArtshowLayer {
public:
    WCHAR typeName[260] = {};            // the element's "type", for the click log line
    float x = 0;                         // left edge, interface pixels
    float y = 0;                         // top edge, interface pixels
    const float* relativePos = nullptr;  // anchor named by "relativepos"; never applied
    int32_t react = ReactNone;
    int32_t persistent = 0;  // 1: not owned by the layer list (the monitor)

    virtual ~ArtshowLayer() = default;
    virtual int Load(XmlNode element) = 0;
    virtual int Draw(float pointerX, float pointerY) = 0;
    virtual int Click(float pointerX, float pointerY) { return 0; }
    virtual void ButtonUp(float pointerX, float pointerY) {}
};

// Makes the layer an element's "type" names; null for a name it does not know.
using LayerFactory = ArtshowLayer* (*)(const WCHAR* type);
