#include "layers/ArtshowSimpleLayer.h"

#include "data/MediaCache.h"
#include "data/SongPlayer.h"
#include "gfx/kpxD3D.h"
#include "gfx/kpxQuad.h"
#include "platform/bass/bass.h"

#include <algorithm>
#include <cwchar>

namespace {

float ReadNumber(XmlNode node, const WCHAR* name)
{
    int32_t value = 0;
    XmlGetNumber(node, name, value);
    return float(value);
}

}  // namespace

bool ArtshowSimpleLayer::LoadImageChild(XmlNode element)
{
    XmlNode imageNode = nullptr;
    XmlFirstChild(element, imageNode, L"image");
    if (!imageNode) {
        // Nothing to load: the picture stays empty and Draw skips the layer.
        LogPrintf("Layer '%ls' has no image; it is not drawn\n", typeName);
        return false;
    }
    XmlGetAttribute(imageNode, L"path", image.path, 260);
    image.kind = MediaImageUnfiltered;
    RegisterImage(&image);
    WCHAR blend[260] = {};
    XmlGetAttribute(imageNode, L"blend", blend, 260);
    additive = wcscmp(blend, L"add") == 0 ? 1 : 0;
    return true;
}

int ArtshowSimpleLayer::Load(XmlNode element)
{
    LoadImageChild(element);
    if (XmlCountChildren(element, L"activearea") > 0) {
        XmlNode area = nullptr;
        XmlFirstChild(element, area, L"activearea");
        float ax = ReadNumber(area, L"x"), ay = ReadNumber(area, L"y");
        activeArea[0] = ax;
        activeArea[1] = ay;
        activeArea[2] = ax + ReadNumber(area, L"width");
        activeArea[3] = ay + ReadNumber(area, L"height");
    }
    return 1;
}

int ArtshowSimpleLayer::Draw(float pointerX, float pointerY)
{
    IDirect3DDevice9* device = d3d.device;
    if (!device || !image.handle.texture) return 0;  // no picture was loaded

    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, additive ? D3DBLEND_ONE : D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);

    // Level reaction: only the opacity mode changes anything; scaling reads the
    // level and draws like no reaction.
    MediaItem* song = player.current;
    if (react != ReactNone && song && !player.paused &&
        (song->kind == MediaModule || song->kind == MediaStream)) {
        DWORD level = BASS_ChannelGetLevel(song->handle.channel) & 0xFFFF;
        if (react == ReactOpacity) {
            // A full-scale peak (32768) is opaque; masking to a byte would wrap it to 0.
            DWORD alpha = std::min<DWORD>(DWORD(int64_t(float(level) * player.volume)) >> 7, 255);
            device->SetRenderState(D3DRS_TEXTUREFACTOR, (alpha << 24) | 0x00FFFFFF);
        }
    }
    if (react == ReactOpacity && !song) return 0;

    if (image.kind == MediaImageUnfiltered) {
        quad.DrawImageAligned(image, x, y);
    } else {
        quad.DrawImage(image, x, y);
    }
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
    return 0;
}
