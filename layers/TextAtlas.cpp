#include "layers/TextAtlas.h"

#include "app/EngineSettings.h"
#include "gfx/kpxD3D.h"
#include "gfx/kpxQuad.h"
#include "platform/gdi/gdi.h"

#include <algorithm>
#include <cwchar>
#include <utility>
#include <vector>

void RasterizeTextAtlas(TextAtlas& atlas, const WCHAR* faceName, int32_t size, uint32_t* coverage) {
    constexpr int kSize = TextAtlas::kSize;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, kSize, kSize);
    atlas.fontSize = size;
    HFONT font = CreateFontW(size, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, 0, faceName);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    RECT all{0, 0, kSize, kSize};
    FillRect(dc, &all, (HBRUSH)GetStockObject(BLACK_BRUSH));
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, 0xFFFFFF);

    int px = 0, py = 0;
    int firstCut = -1;
    for (int i = 0; i < 256; ++i) {
        WCHAR c = static_cast<WCHAR>(i);
        TextOutW(dc, px, py, &c, 1);
        SIZE extent{};
        GetTextExtentPoint32W(dc, &c, 1, &extent);
        atlas.glyphLeft[i] = px;
        atlas.glyphRight[i] = px + extent.cx + 2;
        // GDI clipped the drawing at the bitmap's edges; clip the cell the same
        // way so that no cell reaches past the texture (a negative size steps
        // the rows upwards).
        atlas.glyphTop[i] = std::clamp(py, 0, kSize);
        atlas.glyphBottom[i] = std::clamp(py + int(extent.cy), 0, kSize);
        if (firstCut < 0 && (py < 0 || py + extent.cy > kSize)) firstCut = i;
        px = atlas.glyphRight[i] + 10;
        if (px > 450) {
            px = 0;
            py += size + 10;   // the row step uses the requested size
        }
    }
    if (firstCut >= 0) {
        LogPrintf("Text atlas '%ls' at size %d is full: codes from %d on are cut\n",
                  faceName, int(size), firstCut);
    }

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kSize;
    info.bmiHeader.biHeight = kSize;   // bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::fill_n(coverage, size_t(kSize) * kSize, 0u);
    GetDIBits(dc, bitmap, 0, kSize, coverage, &info, DIB_RGB_COLORS);
    for (int r = 0; r < kSize / 2; ++r) {
        std::swap_ranges(coverage + size_t(r) * kSize, coverage + size_t(r + 1) * kSize,
                         coverage + size_t(kSize - 1 - r) * kSize);
    }

    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(font);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

void BuildTextAtlas(TextAtlas& atlas, const WCHAR* faceName, int32_t size) {
    constexpr int kSize = TextAtlas::kSize;
    std::vector<uint32_t> pixels(size_t(kSize) * kSize);   // 1 MiB
    RasterizeTextAtlas(atlas, faceName, size, pixels.data());

    ReleaseTextAtlas(atlas);
    IDirect3DDevice9* device = d3d.device;
    if (!device || FAILED(device->CreateTexture(kSize, kSize, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                                &atlas.texture, nullptr))) {
        atlas.texture = nullptr;
        return;
    }
    D3DLOCKED_RECT locked{};
    // A failed lock leaves the texture unfilled and the name unrecorded.
    if (FAILED(atlas.texture->LockRect(0, &locked, nullptr, 0))) return;
    for (int row = 0; row < kSize; ++row) {
        uint32_t* dst = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) +
                                                    size_t(row) * size_t(locked.Pitch));
        const uint32_t* src = &pixels[size_t(row) * kSize];
        for (int col = 0; col < kSize; ++col) dst[col] = (src[col] << 24) | 0x00FFFFFF;
    }
    atlas.texture->UnlockRect(0);
    wcsncpy_s(atlas.faceName, 260, faceName, _TRUNCATE);
}

void ReleaseTextAtlas(TextAtlas& atlas) {
    if (atlas.texture) {
        atlas.texture->Release();
        atlas.texture = nullptr;
    }
}

float TextWidth(const TextAtlas& atlas, const WCHAR* text) {
    float width = 0;
    for (; *text; ++text) {
        int c = GlyphIndex(*text);
        width += float(atlas.glyphRight[c] - atlas.glyphLeft[c]);
    }
    return width;
}

float DrawGlyph(WCHAR character, const TextAtlas& atlas, float screenX, float screenY) {
    IDirect3DDevice9* device = d3d.device;
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    device->SetTexture(0, atlas.texture);

    const int c = GlyphIndex(character);
    const float w = float(atlas.glyphRight[c] - atlas.glyphLeft[c]);
    const float h = float(atlas.glyphBottom[c] - atlas.glyphTop[c]);
    constexpr float kSize = float(TextAtlas::kSize);
    D3DMATRIX t{};
    t._11 = w / kSize;
    t._22 = h / kSize;
    t._31 = (float(atlas.glyphLeft[c]) - 0.5f) / kSize;
    t._32 = (float(atlas.glyphTop[c]) - 0.5f) / kSize;
    t._33 = 1.0f;
    t._44 = 1.0f;
    device->SetTransform(D3DTS_TEXTURE0, &t);
    const float sw = float(settings.width), sh = float(settings.height);
    quad.Draw(screenX / sw, screenY / sh, (screenX + w) / sw, (screenY + h) / sh);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    return w;
}
