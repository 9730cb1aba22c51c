#include "layers/TextAtlas.h"

#include "core/EngineSettings.h"
#include "gfx/kpxD3D.h"
#include "gfx/kpxQuad.h"
#include "platform/gdi/gdi.h"

#include <algorithm>
#include <cwchar>
#include <utility>
#include <vector>

namespace {

constexpr int kSize = TextAtlas::kSize;
constexpr int kFallbackCell = '?';

bool IsControlCode(int code)
{
    return code < 0x20 || (code >= 0x7F && code < 0xA0);
}

HFONT MakeFont(const WCHAR* faceName, int32_t size)
{
    return CreateFontW(size, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, PROOF_QUALITY, 0, faceName);
}

// Lays the 256 cells out in rows for the font selected into dc, drawing them
// when draw is set. Returns the first cell that does not lie wholly inside the
// atlas, or -1 when all do. Cells are clipped vertically to the atlas as GDI
// clips the drawing, so that no cell reaches past the texture.
int LayOutCells(HDC dc, TextAtlas& atlas, int32_t size, bool draw)
{
    int px = 0, py = 0;
    int firstOutside = -1;
    for (int i = 0; i < 256; ++i) {
        const WCHAR c = atlas.cellCharacter[i];
        if (draw) TextOutW(dc, px, py, &c, 1);
        SIZE extent{};
        GetTextExtentPoint32W(dc, &c, 1, &extent);
        atlas.glyphLeft[i] = px;
        atlas.glyphRight[i] = px + extent.cx + 2;
        atlas.glyphTop[i] = std::clamp(py, 0, kSize);
        atlas.glyphBottom[i] = std::clamp(py + int(extent.cy), 0, kSize);
        if (firstOutside < 0 && (py < 0 || py + extent.cy > kSize || atlas.glyphRight[i] > kSize))
            firstOutside = i;
        px = atlas.glyphRight[i] + 10;
        if (px > 450) {
            px = 0;
            py += size + 10;  // the row step uses the font's size, not the measured height
        }
    }
    return firstOutside;
}

bool CellsFit(HDC dc, const TextAtlas& atlas, const WCHAR* faceName, int32_t size)
{
    TextAtlas trial = atlas;
    HFONT font = MakeFont(faceName, size);
    HGDIOBJ old = SelectObject(dc, font);
    const bool fits = LayOutCells(dc, trial, size, false) < 0;
    SelectObject(dc, old);
    DeleteObject(font);
    return fits;
}

// The size the atlas is built with: the one asked for when its cells fit,
// else the largest that fits (cells grow with the size), never below
// kMinFontSize.
int32_t FittingSize(HDC dc, const TextAtlas& atlas, const WCHAR* faceName, int32_t asked)
{
    // A cell taller than the atlas never fits, so sizes above it are tried as
    // one more than the atlas: the font code then never meets sizes that
    // overflow its arithmetic.
    const int32_t size = std::clamp(asked, kMinFontSize, int32_t(kSize) + 1);
    if (CellsFit(dc, atlas, faceName, size)) return size;
    int32_t best = kMinFontSize, low = kMinFontSize + 1, high = size - 1;
    while (low <= high) {
        const int32_t middle = low + (high - low) / 2;
        if (CellsFit(dc, atlas, faceName, middle)) {
            best = middle;
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    return best;
}

}  // namespace

void AssignCells(TextAtlas& atlas, const WCHAR* text)
{
    for (int i = 0; i < 256; ++i) atlas.cellCharacter[i] = WCHAR(i);
    atlas.extraCount = 0;
    if (!text) return;

    bool used[256] = {};
    for (const WCHAR* p = text; *p; ++p)
        if (uint32_t(*p) < 256) used[*p] = true;
    used[kFallbackCell] = true;  // overflow draws from it
    int freeCells[256];
    int freeCount = 0;
    for (bool control : {true, false})
        for (int code = 0; code < 256; ++code)
            if (!used[code] && IsControlCode(code) == control) freeCells[freeCount++] = code;

    int next = 0;
    for (const WCHAR* p = text; *p && next < freeCount; ++p) {
        if (uint32_t(*p) < 256) continue;
        WCHAR* end = atlas.extraCharacter + atlas.extraCount;
        WCHAR* at = std::lower_bound(atlas.extraCharacter, end, *p);
        if (at != end && *at == *p) continue;
        const size_t index = size_t(at - atlas.extraCharacter);
        std::copy_backward(at, end, end + 1);
        std::copy_backward(atlas.extraCell + index, atlas.extraCell + atlas.extraCount,
                           atlas.extraCell + atlas.extraCount + 1);
        const int cell = freeCells[next++];
        *at = *p;
        atlas.extraCell[index] = uint8_t(cell);
        atlas.cellCharacter[cell] = *p;
        ++atlas.extraCount;
    }
}

int GlyphIndex(const TextAtlas& atlas, WCHAR character)
{
    if (uint32_t(character) < 256) return int(character);
    const WCHAR* end = atlas.extraCharacter + atlas.extraCount;
    const WCHAR* at = std::lower_bound(atlas.extraCharacter, end, character);
    if (at != end && *at == character) return atlas.extraCell[at - atlas.extraCharacter];
    return kFallbackCell;
}

void RasterizeTextAtlas(TextAtlas& atlas, const WCHAR* faceName, int32_t size, uint32_t* coverage,
                        const WCHAR* text)
{
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, kSize, kSize);
    AssignCells(atlas, text);
    const int32_t fitting = FittingSize(dc, atlas, faceName, size);
    if (fitting != size) {
        LogPrintf("Scroller font '%ls' at size %d does not fit its glyph atlas: size %d is used\n", faceName,
                  int(size), int(fitting));
    }
    atlas.fontSize = fitting;
    HFONT font = MakeFont(faceName, fitting);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    RECT all{0, 0, kSize, kSize};
    FillRect(dc, &all, (HBRUSH)GetStockObject(BLACK_BRUSH));
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, 0xFFFFFF);

    const int firstCut = LayOutCells(dc, atlas, fitting, true);
    if (firstCut >= 0) {
        LogPrintf("Text atlas '%ls' at size %d is full: cells from %d on are cut\n", faceName, int(fitting),
                  firstCut);
    }

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kSize;
    info.bmiHeader.biHeight = kSize;  // bottom-up
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

void BuildTextAtlas(TextAtlas& atlas, const WCHAR* faceName, int32_t size, const WCHAR* text)
{
    std::vector<uint32_t> pixels(size_t(kSize) * kSize);  // 1 MiB
    RasterizeTextAtlas(atlas, faceName, size, pixels.data(), text);

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

void ReleaseTextAtlas(TextAtlas& atlas)
{
    if (atlas.texture) {
        atlas.texture->Release();
        atlas.texture = nullptr;
    }
}

float TextWidth(const TextAtlas& atlas, const WCHAR* text)
{
    float width = 0;
    for (; *text; ++text) {
        int c = GlyphIndex(atlas, *text);
        width += float(atlas.glyphRight[c] - atlas.glyphLeft[c]);
    }
    return width;
}

float DrawGlyph(WCHAR character, const TextAtlas& atlas, float screenX, float screenY)
{
    IDirect3DDevice9* device = d3d.device;
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    device->SetTexture(0, atlas.texture);

    const int c = GlyphIndex(atlas, character);
    const float w = float(atlas.glyphRight[c] - atlas.glyphLeft[c]);
    const float h = float(atlas.glyphBottom[c] - atlas.glyphTop[c]);
    constexpr float kTexels = float(TextAtlas::kSize);
    D3DMATRIX t{};
    t._11 = w / kTexels;
    t._22 = h / kTexels;
    // Half a texel into the cell: pixel centres then meet texel centres, and
    // the cell's last row (an underscore) is drawn.
    t._31 = (float(atlas.glyphLeft[c]) + 0.5f) / kTexels;
    t._32 = (float(atlas.glyphTop[c]) + 0.5f) / kTexels;
    t._33 = 1.0f;
    t._44 = 1.0f;
    device->SetTransform(D3DTS_TEXTURE0, &t);
    const float sw = float(settings.width), sh = float(settings.height);
    quad.Draw(screenX / sw, screenY / sh, (screenX + w) / sw, (screenY + h) / sh);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    return w;
}
