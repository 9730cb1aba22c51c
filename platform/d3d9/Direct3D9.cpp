#include <SDL2/SDL.h>

#include <algorithm>
#include <new>
#include <vector>

#include "platform/d3d9/Adapter.h"
#include "platform/d3d9/DeviceImpl.h"
#include "platform/d3d9/GlContext.h"
#include "platform/d3d9/StatsInternal.h"
#include "platform/win32/WindowInternal.h"

namespace d3d9 {
namespace {

bool IsDepthFormat(D3DFORMAT f)
{
    return f == D3DFMT_D16 || f == D3DFMT_D24X8 || f == D3DFMT_D24S8 || f == D3DFMT_D32;
}

bool IsColorFormat(D3DFORMAT f)
{
    return f == D3DFMT_X8R8G8B8 || f == D3DFMT_A8R8G8B8;
}

class Direct3D final : public IDirect3D9 {
public:
    explicit Direct3D(Adapter& adapter) : adapter_(adapter) {}

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
        return adapter_.DisplayMode(*mode) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                            D3DFORMAT backBufferFormat, BOOL windowed) override
    {
        if (adapter != 0) return D3DERR_INVALIDCALL;
        if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
        // The display runs in X8R8G8B8; back buffers are 32-bit.
        if (adapterFormat != D3DFMT_X8R8G8B8 || !IsColorFormat(backBufferFormat)) return D3DERR_NOTAVAILABLE;
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
            return resourceType == D3DRTYPE_SURFACE && IsDepthFormat(checkFormat) ? D3D_OK
                                                                                  : D3DERR_NOTAVAILABLE;
        if (resourceType != D3DRTYPE_SURFACE && resourceType != D3DRTYPE_TEXTURE) return D3DERR_NOTAVAILABLE;
        return IsColorFormat(checkFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format, BOOL windowed,
                                       D3DMULTISAMPLE_TYPE sampleType, DWORD* quality) override
    {
        if (quality) *quality = 0;
        if (adapter != 0) return D3DERR_INVALIDCALL;
        if (type != D3DDEVTYPE_HAL || (!IsColorFormat(format) && !IsDepthFormat(format)))
            return D3DERR_NOTAVAILABLE;
        if (sampleType == D3DMULTISAMPLE_NONE) {
            if (quality) *quality = 1;
            return D3D_OK;
        }
        if (!adapter_.MakeContext()) return D3DERR_NOTAVAILABLE;
        const std::vector<int>& counts = IsDepthFormat(format) ? Caps().depthSamples : Caps().colorSamples;
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
        if (type != D3DDEVTYPE_HAL || !adapter_.MakeContext()) return D3DERR_NOTAVAILABLE;
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
        const Output output = adapter_.OutputFor(hwnd);
        SDL_Window* window = output.window;

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
                listed |=
                    m.Width == p.BackBufferWidth && m.Height == p.BackBufferHeight &&
                    (p.FullScreen_RefreshRateInHz == 0 || m.RefreshRate == p.FullScreen_RefreshRateInHz);
            if (!listed || !IsColorFormat(p.BackBufferFormat)) return D3DERR_INVALIDCALL;
        }
        if (!IsColorFormat(p.BackBufferFormat)) return D3DERR_INVALIDCALL;
        if (p.MultiSampleType != D3DMULTISAMPLE_NONE &&
            (CheckDeviceMultiSampleType(0, type, p.BackBufferFormat, p.Windowed, p.MultiSampleType,
                                        nullptr) != D3D_OK ||
             (p.EnableAutoDepthStencil &&
              CheckDeviceMultiSampleType(0, type, p.AutoDepthStencilFormat, p.Windowed, p.MultiSampleType,
                                         nullptr) != D3D_OK)))
            return D3DERR_INVALIDCALL;

        if (window && !p.Windowed) SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
        Device* device = new (std::nothrow) Device(this, p, output);
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

    void BuildModes() { modes_ = adapter_.Modes(); }

    Adapter& adapter_;
    ULONG refs_ = 1;
    std::vector<D3DDISPLAYMODE> modes_;
};

}  // namespace
}  // namespace d3d9

IDirect3D9* Direct3DCreate9(UINT sdkVersion)
{
    if (sdkVersion != D3D_SDK_VERSION) return nullptr;
    // The run's adapter, taken once for this object's life.
    return new (std::nothrow) d3d9::Direct3D(d3d9::CurrentAdapter());
}
