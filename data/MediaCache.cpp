#include "data/MediaCache.h"

#include "core/EngineSettings.h"
#include "data/ArtshowData.h"
#include "data/ArtshowLayer.h"
#include "data/Catalogue.h"
#include "gfx/kpxD3D.h"
#include "platform/bass/bass.h"
#include "platform/host/ContentFile.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

// Textures of all loaded pictures together: a disk whose pictures need more
// is refused at the picture that breaks the budget.
uint64_t textureBudget = uint64_t(1) << 30;
uint64_t textureBytes = 0;

uint64_t TextureBytes(const MediaItem& item)
{
    return uint64_t(item.surfaceDesc.Width) * item.surfaceDesc.Height * 4;
}

}  // namespace

void SetTextureBudget(uint64_t bytes)
{
    textureBudget = bytes;
}

uint64_t TextureBudget()
{
    return textureBudget;
}

HWND MainWindow()
{
    return d3d.window;
}

[[noreturn]] void FailLoad(const MediaItem& item, const WCHAR* caption, const std::string& reason)
{
    LogPrintf("Cannot load \"%ls\": %s\n", item.path, reason.c_str());
    MessageBoxW(MainWindow(), item.path, caption, MB_ICONERROR);
    // A failed load is a failed run.
    ExitProcess(1);
}

void LoadImage(MediaItem& item, IDirect3DDevice9* device)
{
    bool unfiltered = item.kind == MediaImageUnfiltered;
    if (!unfiltered) item.kind = MediaImage;
    DWORD filter = unfiltered ? D3DX_FILTER_NONE : D3DX_DEFAULT;
    D3DPOOL pool = settings.lowVideoRam ? D3DPOOL_MANAGED : D3DPOOL_DEFAULT;
    item.handle.texture = nullptr;
    host::SetLastFileError("");
    HRESULT result = D3DXCreateTextureFromFileExW(device, item.path, D3DX_DEFAULT, D3DX_DEFAULT, 1, 0,
                                                  D3DFMT_UNKNOWN, pool, filter, D3DX_DEFAULT, 0,
                                                  &item.imageInfo, nullptr, &item.handle.texture);
    if (FAILED(result) || !item.handle.texture) {
        const WCHAR* prefix =
            unfiltered ? L"ERROR CREATING UNFILTERED TEXTURE - " : L"ERROR CREATING FILTERED TEXTURE - ";
        WCHAR caption[260];
        if (result == D3DXERR_INVALIDDATA) _snwprintf(caption, 260, L"%lsD3DXERR_INVALIDDATA", prefix);
        else if (result == D3DERR_OUTOFVIDEOMEMORY)
            _snwprintf(caption, 260, L"%lsD3DERR_OUTOFVIDEOMEMORY", prefix);
        else _snwprintf(caption, 260, L"%lsERROR: %08X", prefix, static_cast<unsigned>(result));
        std::string reason = host::LastFileError();
        if (reason.empty()) reason = "the picture loader failed";
        FailLoad(item, caption, reason);
    }
    item.handle.texture->GetLevelDesc(0, &item.surfaceDesc);
    if (textureBytes + TextureBytes(item) > textureBudget) {
        item.handle.texture->Release();
        item.handle.texture = nullptr;
        FailLoad(item,
                 unfiltered ? L"ERROR CREATING UNFILTERED TEXTURE - D3DERR_OUTOFVIDEOMEMORY"
                            : L"ERROR CREATING FILTERED TEXTURE - D3DERR_OUTOFVIDEOMEMORY",
                 "the disk's pictures need more than " + std::to_string(textureBudget >> 20) +
                     " MiB of textures together");
    }
    textureBytes += TextureBytes(item);
    LogPrintf(unfiltered ? "Loaded unfiltered image: \"%ls\" (%d x %d)\n"
                         : "Loaded image: \"%ls\" (%d x %d)\n",
              item.path, static_cast<int>(item.imageInfo.Width), static_cast<int>(item.imageInfo.Height));
}

void UnloadMedia(MediaItem& item)
{
    switch (item.kind) {
    case MediaModule:
        BASS_MusicFree(item.handle.channel);
        LogPrintf("Unloaded module: \"%ls\"\n", item.path);
        break;
    case MediaStream:
        BASS_StreamFree(item.handle.channel);
        LogPrintf("Unloaded stream: \"%ls\"\n", item.path);
        break;
    case MediaImage:
    case MediaImageUnfiltered:
        if (item.handle.texture) {
            item.handle.texture->Release();
            textureBytes -= std::min(textureBytes, TextureBytes(item));
        }
        LogPrintf("Unloaded image: \"%ls\"\n", item.path);
        break;
    default:
        break;
    }
}

void RegisterImage(MediaItem* item)
{
    if (!item) return;
    // The same item twice would be created twice and released twice.
    for (int i = 0; i < data.imageCount; ++i)
        if (data.imageList[i] == item) return;
    if (data.imageCount >= kMaxImages) {
        // The list is full: the picture is left out (never loaded, drawn as
        // nothing). Tell the user once; log every picture left out.
        static bool told = false;
        LogPrintf("Too many pictures: \"%ls\" is not loaded\n", item->path);
        if (!told) {
            told = true;
            MessageBoxW(MainWindow(), L"Too many pictures: only the first 512 are loaded.",
                        L"ERROR REGISTERING IMAGE", MB_ICONERROR);
        }
        return;
    }
    data.imageList[data.imageCount++] = item;
}

void PreloadAll(ArtshowData& catalogue, IDirect3DDevice9* device, void (*drawLoadingFrame)(float progress))
{
    for (int i = 0; i < catalogue.songCount; ++i) {
        LoadAudio(catalogue.songs[i], catalogue.songSettings ? &catalogue.songSettings[i] : nullptr);
        drawLoadingFrame(static_cast<float>(0.3 + 0.3 * static_cast<double>(i) / catalogue.songCount));
    }
    for (int j = 0; j < catalogue.imageCount; ++j) {
        if (catalogue.imageList[j]) LoadImage(*catalogue.imageList[j], device);
        drawLoadingFrame(static_cast<float>(0.6 + 0.3 * static_cast<double>(j) / catalogue.imageCount));
    }
}

void UnloadAll(ArtshowData& catalogue)
{
    for (int i = 0; i < catalogue.songCount; ++i)
        if (catalogue.songs[i].kind >= MediaModule && catalogue.songs[i].kind <= MediaImageUnfiltered)
            UnloadMedia(catalogue.songs[i]);
    for (int j = 0; j < catalogue.imageCount; ++j) {
        MediaItem* item = catalogue.imageList[j];
        if (item && item->kind >= MediaModule && item->kind <= MediaImageUnfiltered) UnloadMedia(*item);
    }
    for (int c = 0; c < catalogue.layerCount && c < kMaxLayers; ++c) {
        ArtshowLayer* layer = catalogue.layers[c];
        if (layer && layer->persistent == 0) {
            delete layer;
            catalogue.layers[c] = nullptr;
        }
    }
}
