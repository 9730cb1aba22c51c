#include <SDL2/SDL.h>

#include <algorithm>
#include <new>
#include <vector>

#include "platform/d3d9/DeviceImpl.h"
#include "platform/d3d9/GlContext.h"
#include "platform/d3d9/StatsInternal.h"
#include "platform/host/Host.h"
#include "platform/win32/WindowInternal.h"

namespace d3d9 {
namespace {

bool IsDepthFormat(D3DFORMAT f)
{
    return f == D3DFMT_D16 || f == D3DFMT_D24X8 || f == D3DFMT_D24S8 || f == D3DFMT_D32;
}

bool IsColorFormat(D3DFORMAT f) { return f == D3DFMT_X8R8G8B8 || f == D3DFMT_A8R8G8B8; }

bool EnsureContext()
{
    return host::IsVirtual() ? EnsureHeadlessContext() : EnsureWindowContext(nullptr);
}

class Direct3D final : public IDirect3D9 {
public:
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override
    {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    UINT GetAdapterCount() override { return 1; }

    UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override
    {
        if (adapter != 0 || format != D3DFMT_X8R8G8B8) return 0;
        BuildModes();
        return UINT(modes_.size());
    }

    HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) override
    {
        if (adapter != 0 || !out) return D3DERR_INVALIDCALL;
        if (format != D3DFMT_X8R8G8B8) return D3DERR_NOTAVAILABLE;
        if (modes_.empty()) BuildModes();
        if (mode >= modes_.size()) return D3DERR_INVALIDCALL;
        *out = modes_[mode];
        return D3D_OK;
    }

    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override
    {
        if (adapter != 0 || !mode) return D3DERR_INVALIDCALL;
        if (host::IsVirtual()) {
            // The virtual desktop is the largest virtual mode.
            D3DDISPLAYMODE best{1920, 1080, 60, D3DFMT_X8R8G8B8};
            uint64_t bestArea = 0;
            for (const host::DisplayMode& m : host::VirtualModes())
                if (uint64_t(m.width) * m.height > bestArea) {
                    bestArea = uint64_t(m.width) * m.height;
                    best = D3DDISPLAYMODE{m.width, m.height, m.refreshRate, D3DFMT_X8R8G8B8};
                }
            *mode = best;
            return D3D_OK;
        }
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return D3DERR_NOTAVAILABLE;
        SDL_DisplayMode desktop;
        HRESULT hr = D3DERR_NOTAVAILABLE;
        if (SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
            *mode = D3DDISPLAYMODE{UINT(desktop.w), UINT(desktop.h), UINT(desktop.refresh_rate),
                                   D3DFMT_X8R8G8B8};
            hr = D3D_OK;
        }
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return hr;
    }

    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                            D3DFORMAT backBufferFormat, BOOL windowed) override
    {
        if (adapter != 0) return D3DERR_INVALIDCALL;
        if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
        // The display runs in X8R8G8B8; back buffers are 32-bit.
        if (adapterFormat != D3DFMT_X8R8G8B8 || !IsColorFormat(backBufferFormat))
            return D3DERR_NOTAVAILABLE;
        return D3D_OK;
    }

    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                              D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) override
    {
        if (adapter != 0) return D3DERR_INVALIDCALL;
        if (type != D3DDEVTYPE_HAL || adapterFormat != D3DFMT_X8R8G8B8) return D3DERR_NOTAVAILABLE;
        // Depth formats: the renderbuffer formats every GL 3.3 implementation
        // renders to (D32 as 32-bit float depth).
        if (usage & D3DUSAGE_DEPTHSTENCIL)
            return resourceType == D3DRTYPE_SURFACE && IsDepthFormat(checkFormat)
                       ? D3D_OK
                       : D3DERR_NOTAVAILABLE;
        if (resourceType != D3DRTYPE_SURFACE && resourceType != D3DRTYPE_TEXTURE)
            return D3DERR_NOTAVAILABLE;
        return IsColorFormat(checkFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format,
                                       BOOL windowed, D3DMULTISAMPLE_TYPE sampleType,
                                       DWORD* quality) override
    {
        if (quality) *quality = 0;
        if (adapter != 0) return D3DERR_INVALIDCALL;
        if (type != D3DDEVTYPE_HAL || (!IsColorFormat(format) && !IsDepthFormat(format)))
            return D3DERR_NOTAVAILABLE;
        if (sampleType == D3DMULTISAMPLE_NONE) {
            if (quality) *quality = 1;
            return D3D_OK;
        }
        if (!EnsureContext()) return D3DERR_NOTAVAILABLE;
        const std::vector<int>& counts =
            IsDepthFormat(format) ? Caps().depthSamples : Caps().colorSamples;
        bool ok = sampleType == D3DMULTISAMPLE_NONMASKABLE
                      ? std::count(counts.begin(), counts.end(), 4) > 0
                      : std::count(counts.begin(), counts.end(), int(sampleType)) > 0;
        if (!ok) return D3DERR_NOTAVAILABLE;
        if (quality) *quality = 1;
        return D3D_OK;
    }

    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                   D3DFORMAT renderTargetFormat, D3DFORMAT depthFormat) override
    {
        if (adapter != 0) return D3DERR_INVALIDCALL;
        return type == D3DDEVTYPE_HAL && IsColorFormat(renderTargetFormat) && IsDepthFormat(depthFormat)
                   ? D3D_OK
                   : D3DERR_NOTAVAILABLE;
    }

    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override
    {
        if (adapter != 0 || !caps) return D3DERR_INVALIDCALL;
        if (type != D3DDEVTYPE_HAL || !EnsureContext()) return D3DERR_NOTAVAILABLE;
        *caps = D3DCAPS9{};
        caps->DeviceType = D3DDEVTYPE_HAL;
        caps->AdapterOrdinal = 0;
        caps->MaxTextureWidth = caps->MaxTextureHeight = DWORD(Caps().maxTextureSize);
        caps->MaxSimultaneousTextures = kGlStages;
        caps->MaxActiveLights = 1;
        caps->MaxTextureBlendStages = kGlStages;
        return D3D_OK;
    }

    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD flags,
                         D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** out) override
    {
        if (!out) return D3DERR_INVALIDCALL;
        *out = nullptr;
        if (adapter != 0 || !params) return D3DERR_INVALIDCALL;
        if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
        if ((flags & D3DCREATE_HARDWARE_VERTEXPROCESSING) && FailHardwareVertexProcessing())
            return D3DERR_NOTAVAILABLE;
        if (!(flags & (D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_SOFTWARE_VERTEXPROCESSING)))
            return D3DERR_INVALIDCALL;
        if (params->EnableAutoDepthStencil && !IsDepthFormat(params->AutoDepthStencilFormat))
            return D3DERR_INVALIDCALL;

        HWND hwnd = params->hDeviceWindow ? params->hDeviceWindow : focusWindow;
        SDL_Window* window = nullptr;
        if (!host::IsVirtual() && hwnd) window = SdlWindowOf(hwnd);

        D3DPRESENT_PARAMETERS p = *params;
        if (p.Windowed) {
            if (p.BackBufferFormat == D3DFMT_UNKNOWN) p.BackBufferFormat = D3DFMT_X8R8G8B8;
            if ((p.BackBufferWidth == 0 || p.BackBufferHeight == 0) && window) {
                int w = 0, h = 0;
                SDL_GetWindowSize(window, &w, &h);
                if (p.BackBufferWidth == 0) p.BackBufferWidth = UINT(w);
                if (p.BackBufferHeight == 0) p.BackBufferHeight = UINT(h);
            }
        } else {
            // Fullscreen needs one of the adapter's modes.
            BuildModes();
            bool listed = false;
            for (const D3DDISPLAYMODE& m : modes_)
                listed |= m.Width == p.BackBufferWidth && m.Height == p.BackBufferHeight &&
                          (p.FullScreen_RefreshRateInHz == 0 || m.RefreshRate == p.FullScreen_RefreshRateInHz);
            if (!listed || !IsColorFormat(p.BackBufferFormat)) return D3DERR_INVALIDCALL;
        }
        if (!IsColorFormat(p.BackBufferFormat)) return D3DERR_INVALIDCALL;
        if (p.MultiSampleType != D3DMULTISAMPLE_NONE &&
            (CheckDeviceMultiSampleType(0, type, p.BackBufferFormat, p.Windowed, p.MultiSampleType,
                                        nullptr) != D3D_OK ||
             (p.EnableAutoDepthStencil &&
              CheckDeviceMultiSampleType(0, type, p.AutoDepthStencilFormat, p.Windowed,
                                         p.MultiSampleType, nullptr) != D3D_OK)))
            return D3DERR_INVALIDCALL;

        if (window && !p.Windowed) SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
        Device* device = new (std::nothrow) Device(this, p, window);
        if (!device) return D3DERR_OUTOFVIDEOMEMORY;
        HRESULT hr = device->Init();
        if (FAILED(hr)) {
            device->Release();
            return hr;
        }
        // A fullscreen back buffer is shown scaled on a desktop-sized window: the
        // window's mouse messages then report back-buffer pixels.
        if (window && !p.Windowed)
            SetWindowBackBufferSize(hwnd, int(p.BackBufferWidth), int(p.BackBufferHeight));
        *out = device;
        return D3D_OK;
    }

private:
    ~Direct3D() = default;

    void BuildModes()
    {
        modes_.clear();
        if (host::IsVirtual()) {
            for (const host::DisplayMode& m : host::VirtualModes())
                modes_.push_back(D3DDISPLAYMODE{m.width, m.height, m.refreshRate, D3DFMT_X8R8G8B8});
            return;
        }
        // The display's own modes and the common ones the GPU scales, no larger
        // than the native mode.
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
        SDL_DisplayMode desktop;
        if (SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
            int n = SDL_GetNumDisplayModes(0);
            for (int i = 0; i < n; ++i) {
                SDL_DisplayMode m;
                if (SDL_GetDisplayMode(0, i, &m) == 0 && SDL_BITSPERPIXEL(m.format) >= 24)
                    modes_.push_back(D3DDISPLAYMODE{UINT(m.w), UINT(m.h), UINT(m.refresh_rate),
                                                    D3DFMT_X8R8G8B8});
            }
            static const UINT common[][2] = {
                {640, 480},   {800, 600},   {1024, 768},  {1152, 864},  {1280, 720},
                {1280, 768},  {1280, 800},  {1280, 960},  {1280, 1024}, {1360, 768},
                {1366, 768},  {1440, 900},  {1600, 900},  {1600, 1200}, {1680, 1050},
                {1920, 1080}, {1920, 1200}};
            for (const auto& c : common)
                if (c[0] <= UINT(desktop.w) && c[1] <= UINT(desktop.h))
                    modes_.push_back(D3DDISPLAYMODE{c[0], c[1], UINT(desktop.refresh_rate),
                                                    D3DFMT_X8R8G8B8});
            auto less = [](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
                if (a.Width != b.Width) return a.Width < b.Width;
                if (a.Height != b.Height) return a.Height < b.Height;
                return a.RefreshRate < b.RefreshRate;
            };
            auto same = [](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
                return a.Width == b.Width && a.Height == b.Height && a.RefreshRate == b.RefreshRate;
            };
            std::sort(modes_.begin(), modes_.end(), less);
            modes_.erase(std::unique(modes_.begin(), modes_.end(), same), modes_.end());
        }
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    ULONG refs_ = 1;
    std::vector<D3DDISPLAYMODE> modes_;
};

}  // namespace
}  // namespace d3d9

IDirect3D9* Direct3DCreate9(UINT sdkVersion)
{
    if (sdkVersion != D3D_SDK_VERSION) return nullptr;
    return new (std::nothrow) d3d9::Direct3D();
}
