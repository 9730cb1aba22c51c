// RGBA pictures to 4:2:0 Y'CbCr, BT.709 studio range, as the encoded video is
// tagged: the path for frames encoded at their own size, where no scaler is
// needed.
#pragma once

#include <cstddef>
#include <cstdint>

// Converts width x height RGBA pixels (stride bytes a row) into the three
// planes (their own line sizes). Each chroma sample is the mean of its 2x2
// pixels; an odd last row or column repeats its edge.
void RgbaToYuv709(const uint8_t* rgba, int width, int height, size_t stride, uint8_t* const planes[3],
                  const int lineSizes[3]);
