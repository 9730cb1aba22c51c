// Textures from picture files: PNG, JPEG, BMP and TGA (see PictureFile.h).

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/d3dx9/PictureFile.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/host/ContentFile.h"
#include "platform/win32/Utf8.h"

namespace {

constexpr UINT kDefaultNonPow2 = 0xFFFFFFFEu;
constexpr DWORD kFilterMask = 0xFF;

UINT NextPowerOfTwo(UINT v)
{
    UINT p = 1;
    while (p < v && p < 0x80000000u) p <<= 1;
    return p;
}

// Resamples RGBA8 over a new size with a tent filter whose width follows the
// scale (bilinear when enlarging, averaging when shrinking), rows then columns.
bool Resample(const uint8_t* src, UINT sw, UINT sh, uint8_t* dst, UINT dw, UINT dh)
{
    struct Tap {
        int first;
        std::vector<float> weights;
    };
    auto taps = [](UINT from, UINT to) {
        std::vector<Tap> out(to);
        double scale = double(from) / to;
        double radius = scale > 1 ? scale : 1.0;
        for (UINT i = 0; i < to; ++i) {
            double centre = (i + 0.5) * scale - 0.5;
            int lo = int(std::floor(centre - radius)) + 1, hi = int(std::floor(centre + radius));
            if (lo > hi) lo = hi = int(std::lround(centre));
            Tap& t = out[i];
            t.first = lo;
            double sum = 0;
            for (int k = lo; k <= hi; ++k) {
                double w = 1.0 - std::abs(k - centre) / radius;
                t.weights.push_back(float(w > 0 ? w : 0));
                sum += w > 0 ? w : 0;
            }
            for (float& w : t.weights) w = sum > 0 ? float(w / sum) : 1.0f / float(t.weights.size());
        }
        return out;
    };
    auto clampIndex = [](int k, UINT n) { return k < 0 ? 0u : (UINT(k) >= n ? n - 1 : UINT(k)); };
    std::unique_ptr<float[]> mid(new (std::nothrow) float[size_t(dw) * sh * 4]);
    if (!mid) return false;
    std::vector<Tap> hx = taps(sw, dw), vy = taps(sh, dh);
    for (UINT y = 0; y < sh; ++y)
        for (UINT x = 0; x < dw; ++x) {
            float acc[4] = {};
            const Tap& t = hx[x];
            for (size_t k = 0; k < t.weights.size(); ++k) {
                const uint8_t* p = src + (size_t(y) * sw + clampIndex(t.first + int(k), sw)) * 4;
                for (int c = 0; c < 4; ++c) acc[c] += t.weights[k] * p[c];
            }
            std::memcpy(&mid[(size_t(y) * dw + x) * 4], acc, sizeof acc);
        }
    for (UINT y = 0; y < dh; ++y)
        for (UINT x = 0; x < dw; ++x) {
            float acc[4] = {};
            const Tap& t = vy[y];
            for (size_t k = 0; k < t.weights.size(); ++k) {
                const float* p = &mid[(size_t(clampIndex(t.first + int(k), sh)) * dw + x) * 4];
                for (int c = 0; c < 4; ++c) acc[c] += t.weights[k] * p[c];
            }
            for (int c = 0; c < 4; ++c) {
                float v = acc[c] + 0.5f;
                dst[(size_t(y) * dw + x) * 4 + c] = uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
            }
        }
    return true;
}

// Writes an RGBA8 picture of sw x sh into the top-left corner of a locked
// level of tw x th as B, G, R, A (alpha 255 when opaque), cut to the level;
// the rest of the level is 0x00000000. A picture of the level's size fills it.
void StoreCorner(const uint8_t* rgba, UINT sw, UINT sh, UINT tw, UINT th, const D3DLOCKED_RECT& locked,
                 bool opaque)
{
    const UINT cw = std::min(tw, sw), ch = std::min(th, sh);
    for (UINT y = 0; y < th; ++y) {
        uint8_t* row = static_cast<uint8_t*>(locked.pBits) + size_t(y) * size_t(locked.Pitch);
        UINT x = 0;
        if (y < ch) {
            const uint8_t* s = rgba + size_t(y) * sw * 4;
            for (; x < cw; ++x, s += 4) {
                row[x * 4 + 0] = s[2];
                row[x * 4 + 1] = s[1];
                row[x * 4 + 2] = s[0];
                row[x * 4 + 3] = opaque ? 0xFF : s[3];
            }
        }
        std::memset(row + size_t(x) * 4, 0, size_t(tw - x) * 4);
    }
}

// The common routine of both entry points. path is handed to the file system
// as it is: the wide entry point gives UTF-8, the narrow one its bytes as stored.
// Why a failure happened is left in host::LastFileError().
HRESULT CreateTextureFromPath(IDirect3DDevice9* device, const std::string& path, UINT width, UINT height,
                              UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                              DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                              PALETTEENTRY* palette, IDirect3DTexture9** texture)
{
    if (!device || !texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    std::vector<uint8_t> bytes;
    if (!host::ReadRegularFile(path, host::kMaxContentFileBytes, bytes)) return D3DXERR_INVALIDDATA;
    if (bytes.empty() || bytes.size() > size_t(INT32_MAX)) {
        host::SetLastFileError(bytes.empty() ? "empty file" : "too large");
        return D3DXERR_INVALIDDATA;
    }
    // A picture larger than any texture the device makes is refused before it is
    // decoded, as creating its texture would be; so is one whose file is too
    // short for the size it declares.
    d3dx::PictureHeader header;
    d3dx::PictureResult read = d3dx::ReadPictureHeader(bytes.data(), bytes.size(), header);
    D3DCAPS9 caps{};
    if (read && SUCCEEDED(device->GetDeviceCaps(&caps)) &&
        (NextPowerOfTwo(header.width) > caps.MaxTextureWidth ||
         NextPowerOfTwo(header.height) > caps.MaxTextureHeight))
        read = {d3dx::PictureError::TooLarge, "too large for a texture (" + std::to_string(header.width) +
                                                  " x " + std::to_string(header.height) + ")"};
    std::vector<uint8_t> pixels;
    if (read) read = d3dx::DecodePicture(bytes.data(), bytes.size(), header, pixels);
    if (!read) {
        host::SetLastFileError(read.reason);
        return read.error == d3dx::PictureError::TooLarge ? D3DERR_INVALIDCALL : D3DXERR_INVALIDDATA;
    }
    bytes = {};
    uint8_t* image = pixels.data();
    const UINT sw = header.width, sh = header.height;
    const D3DFORMAT fileFormat = header.alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    if (srcInfo) *srcInfo = D3DXIMAGE_INFO{sw, sh, 1, 1, fileFormat, D3DRTYPE_TEXTURE, header.format};

    // D3DX_DEFAULT (and 0) round the picture's size up to powers of two.
    auto pick = [](UINT asked, UINT size) {
        if (asked == 0 || asked == D3DX_DEFAULT) return NextPowerOfTwo(size);
        return asked == kDefaultNonPow2 ? size : asked;
    };
    const UINT tw = pick(width, sw), th = pick(height, sh);
    if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8) format = fileFormat;
    if (mipLevels == D3DX_DEFAULT) mipLevels = 0;

    // Colour key: matching texels become transparent black.
    if (colorKey != 0) {
        uint8_t* p = image;
        for (size_t i = 0; i < size_t(sw) * sh; ++i, p += 4) {
            D3DCOLOR c = D3DCOLOR_ARGB(p[3], p[0], p[1], p[2]);
            if (c == colorKey) std::memset(p, 0, 4);
        }
    }

    IDirect3DTexture9* tex = nullptr;
    HRESULT hr = device->CreateTexture(tw, th, mipLevels, usage, format, pool, &tex, nullptr);
    if (FAILED(hr)) {
        host::SetLastFileError("the device refused a " + std::to_string(tw) + " x " + std::to_string(th) +
                               " texture");
        return hr;
    }

    // Level 0: unscaled into the top-left corner (filter NONE) or resampled over the
    // whole texture. Unscaled, it goes straight from the picture into the texture;
    // a copy of the texture's size is made only to resample or to build the
    // smaller levels from.
    const bool opaque = format == D3DFMT_X8R8G8B8;
    const bool unscaled = (filter & kFilterMask) == D3DX_FILTER_NONE || (tw == sw && th == sh);
    const DWORD levels = tex->GetLevelCount();
    std::unique_ptr<uint8_t[]> level;
    if (!unscaled || levels > 1) {
        level.reset(new (std::nothrow) uint8_t[size_t(tw) * th * 4]());
        if (!level) {
            tex->Release();
            host::SetLastFileError("out of memory");
            return E_OUTOFMEMORY;
        }
        if (unscaled) {
            const UINT cw = std::min(tw, sw), ch = std::min(th, sh);
            for (UINT y = 0; y < ch; ++y)
                std::memcpy(level.get() + size_t(y) * tw * 4, image + size_t(y) * sw * 4, size_t(cw) * 4);
        } else if (!Resample(image, sw, sh, level.get(), tw, th)) {
            tex->Release();
            return E_OUTOFMEMORY;
        }
    }

    UINT w = tw, h = th;
    for (DWORD i = 0; i < levels; ++i) {
        D3DLOCKED_RECT locked;
        if (FAILED(tex->LockRect(i, &locked, nullptr, D3DLOCK_DISCARD))) {
            tex->Release();
            return D3DERR_INVALIDCALL;
        }
        if (i == 0 && unscaled) StoreCorner(image, sw, sh, tw, th, locked, opaque);
        else StoreCorner(level.get(), w, h, w, h, locked, opaque);
        tex->UnlockRect(i);
        if (i + 1 < levels) {
            // Next level: a 2 x 2 box average of this one.
            UINT nw = w > 1 ? w / 2 : 1, nh = h > 1 ? h / 2 : 1;
            std::unique_ptr<uint8_t[]> next(new (std::nothrow) uint8_t[size_t(nw) * nh * 4]);
            if (!next) {
                tex->Release();
                return E_OUTOFMEMORY;
            }
            for (UINT y = 0; y < nh; ++y)
                for (UINT x = 0; x < nw; ++x)
                    for (int c = 0; c < 4; ++c) {
                        UINT x0 = std::min(2 * x, w - 1), x1 = std::min(2 * x + 1, w - 1);
                        UINT y0 = std::min(2 * y, h - 1), y1 = std::min(2 * y + 1, h - 1);
                        unsigned sum =
                            level[(size_t(y0) * w + x0) * 4 + c] + level[(size_t(y0) * w + x1) * 4 + c] +
                            level[(size_t(y1) * w + x0) * 4 + c] + level[(size_t(y1) * w + x1) * 4 + c];
                        next[(size_t(y) * nw + x) * 4 + c] = uint8_t((sum + 2) / 4);
                    }
            level = std::move(next);
            w = nw;
            h = nh;
        }
    }
    (void)mipFilter;
    (void)palette;
    *texture = tex;
    return D3D_OK;
}

}  // namespace

HRESULT D3DXCreateTextureFromFileExW(IDirect3DDevice9* device, LPCWSTR srcFile, UINT width, UINT height,
                                     UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                     DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                     D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* palette,
                                     IDirect3DTexture9** texture)
{
    if (texture) *texture = nullptr;
    if (!srcFile) return D3DERR_INVALIDCALL;
    return CreateTextureFromPath(device, Utf8FromWide(srcFile), width, height, mipLevels, usage, format, pool,
                                 filter, mipFilter, colorKey, srcInfo, palette, texture);
}

HRESULT D3DXCreateTextureFromFileA(IDirect3DDevice9* device, LPCSTR srcFile, IDirect3DTexture9** texture)
{
    if (texture) *texture = nullptr;
    if (!srcFile) return D3DERR_INVALIDCALL;
    // A narrow name is bytes in whatever code page made it (3DS files from
    // Windows hold ANSI names): the file system gets them unchanged.
    return CreateTextureFromPath(device, srcFile, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
                                 D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, texture);
}

HRESULT D3DXGetImageInfoFromFileW(LPCWSTR srcFile, D3DXIMAGE_INFO* srcInfo)
{
    if (!srcFile || !srcInfo) return D3DERR_INVALIDCALL;
    std::vector<uint8_t> bytes;
    if (!host::ReadRegularFile(Utf8FromWide(srcFile), host::kMaxContentFileBytes, bytes))
        return D3DXERR_INVALIDDATA;
    if (bytes.empty() || bytes.size() > size_t(INT32_MAX)) {
        host::SetLastFileError(bytes.empty() ? "empty file" : "too large");
        return D3DXERR_INVALIDDATA;
    }
    // The whole picture is decoded, so a file whose header reads but whose data
    // does not is refused here as the texture loader would refuse it.
    d3dx::PictureHeader header;
    std::vector<uint8_t> pixels;
    const d3dx::PictureResult read = d3dx::DecodePicture(bytes.data(), bytes.size(), header, pixels);
    if (!read) {
        host::SetLastFileError(read.reason);
        return D3DXERR_INVALIDDATA;
    }
    *srcInfo = D3DXIMAGE_INFO{
        header.width,     header.height, 1, 1, header.alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8,
        D3DRTYPE_TEXTURE, header.format};
    return D3D_OK;
}
