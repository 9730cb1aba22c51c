#include "layers/ArtshowVU.h"

#include "data/MediaCache.h"
#include "data/SongPlayer.h"
#include "gfx/kpxQuad.h"
#include "platform/bass/bass.h"

#include <cmath>

int ArtshowVU::Load(XmlNode element)
{
    XmlNode imageNode = nullptr;
    XmlFirstChild(element, imageNode, L"image");
    if (!imageNode) {
        LogPrintf("Layer '%ls' has no image; it is not drawn\n", typeName);
        return 1;
    }
    XmlGetAttribute(imageNode, L"path", image.path, 260);
    image.kind = MediaImageUnfiltered;
    RegisterImage(&image);
    WCHAR blend[260] = {};
    XmlGetAttribute(imageNode, L"blend", blend, 260);  // read, without effect
    return 1;
}

int ArtshowVU::BlockCount(float magnitude)
{
    // The exponent is the float 0.2; NaN and negative magnitudes count as silence.
    double v = std::pow(double(magnitude), double(0.2f));
    if (!(v > 0)) return 0;
    if (v > 1.0) v = 1.0;
    return int(v * 20.0 + 1.0) - 1;
}

int ArtshowVU::Draw(float pointerX, float pointerY)
{
    MediaItem* song = player.current;
    if (!song || !image.handle.texture) return 0;  // no song: an empty meter
    // A 512-sample FFT gives 256 bins, so all six columns read real data.
    float fft[256] = {};
    if (song->kind == MediaModule || song->kind == MediaStream) {
        if (BASS_ChannelGetData(song->handle.channel, fft, BASS_DATA_FFT512) == DWORD(-1)) return 0;
    }
    const float w = float(uint32_t(image.imageInfo.Width));
    const float h = float(uint32_t(image.imageInfo.Height));
    for (int i = 1; i <= kColumns; ++i) {
        int blocks = BlockCount(fft[kBinStep * (i - 1)]);
        for (int j = 1; j <= blocks; ++j) {
            quad.DrawImageAligned(image, x + float(i) * w, y - float(j) * h);
        }
    }
    return 0;
}
