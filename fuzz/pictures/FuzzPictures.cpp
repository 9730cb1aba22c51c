// Picture files from arbitrary bytes through the texture loader on a headless
// device, in both modes the program uses (unfiltered copy and filtered resample)
// and both pools.
#include "core/EngineSettings.h"
#include "gfx/kpxD3D.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/host/Host.h"

#include "fuzz/FuzzInput.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static const std::string path = [] {
        host::SetRunMode(host::RunMode::Virtual);
        SetLogSink([](const std::string&) {}, false);
        settings.windowed = 1;
        settings.multisample = 0;
        settings.instance = GetModuleHandleW(nullptr);
        if (!d3d.Init(settings)) std::abort();
        return fuzz::ScratchFile("pictures");
    }();
    if (size < 1) return 0;
    if (!fuzz::WriteInput(path, bytes + 1, size - 1)) return 0;

    // The first byte picks the mode and the pool.
    DWORD filter = (bytes[0] & 1) ? D3DX_FILTER_NONE : D3DX_DEFAULT;
    D3DPOOL pool = (bytes[0] & 2) ? D3DPOOL_MANAGED : D3DPOOL_DEFAULT;
    std::wstring wide(path.begin(), path.end());
    D3DXIMAGE_INFO info{};
    IDirect3DTexture9* texture = nullptr;
    HRESULT result =
        D3DXCreateTextureFromFileExW(d3d.device, wide.c_str(), D3DX_DEFAULT, D3DX_DEFAULT, 1, 0,
                                     D3DFMT_UNKNOWN, pool, filter, D3DX_DEFAULT, 0, &info, nullptr, &texture);
    if (SUCCEEDED(result)) {
        if (!texture) std::abort();  // success must come with a texture
        D3DSURFACE_DESC desc{};
        texture->GetLevelDesc(0, &desc);
        // The texture is the picture's size rounded up to powers of two.
        if (desc.Width < info.Width || desc.Height < info.Height) std::abort();
        texture->Release();
    } else if (texture) {
        std::abort();
    }
    return 0;
}
