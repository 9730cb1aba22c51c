#include "gfx/kpxD3D.h"

#include <iterator>

int32_t quitRequested = 0;
uint8_t mouseDown = 0;
uint8_t mouseReleased = 0;
uint32_t appCommand = 0;

namespace {

const WCHAR kClassName[] = L"kpxwnd";
constexpr int kIconResource = 103;
constexpr DWORD kWindowedStyle =
    WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kFullscreenStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

}  // namespace

kpxD3D::~kpxD3D()
{
    Release();
}

int kpxD3D::Init(const EngineSettings& engineSettings)
{
    quitRequested = 0;
    LogPrintf("[d3d] kpxD3D::InitWindow...\n");
    if (!InitWindow(engineSettings)) return 0;
    LogPrintf("[d3d] kpxD3D::InitDirect3D...\n");
    if (!InitDirect3D(engineSettings)) return 0;
    LogPrintf("[d3d] success!\n");
    return 1;
}

int kpxD3D::InitWindow(const EngineSettings& s)
{
    WNDCLASSW windowClass{};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = s.instance;
    windowClass.hIcon = LoadIconW(s.instance, MAKEINTRESOURCEW(kIconResource));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = nullptr;
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = kClassName;

    LogPrintf("[d3d] RegisterClass()\n");
    if (!RegisterClassW(&windowClass)) return 0;

    DWORD style = s.windowed ? kWindowedStyle : kFullscreenStyle;
    RECT rect{0, 0, s.width, s.height};
    LogPrintf("[d3d] AdjustWindowRectEx()\n");
    AdjustWindowRectEx(&rect, style, FALSE, WS_EX_APPWINDOW);

    LogPrintf("[d3d] CreateWindowEx()\n");
    int x = (GetSystemMetrics(SM_CXSCREEN) - s.width) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - s.height) / 2;
    window = CreateWindowExW(WS_EX_APPWINDOW, kClassName, L"kpx engine", style, x, y, rect.right - rect.left,
                             rect.bottom - rect.top, nullptr, nullptr, s.instance, nullptr);
    if (!window) return 0;

    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetFocus(window);
    windowDC = GetDC(window);
    return 1;
}

int kpxD3D::InitDirect3D(const EngineSettings& s)
{
    LogPrintf("[d3d] Direct3DCreate9()\n");
    direct3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!direct3d) return 0;

    backBufferWidth = static_cast<uint32_t>(s.width);
    backBufferHeight = static_cast<uint32_t>(s.height);

    if (!s.windowed) {
        // The last display mode as wide as the interface and at least as tall wins.
        backBufferHeight = 0;
        for (UINT i = 0; i < direct3d->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_X8R8G8B8); ++i) {
            D3DDISPLAYMODE mode{};
            if (FAILED(direct3d->EnumAdapterModes(D3DADAPTER_DEFAULT, D3DFMT_X8R8G8B8, i, &mode))) continue;
            if (static_cast<int64_t>(mode.Width) == s.width &&
                static_cast<int64_t>(mode.Height) >= s.height) {
                LogPrintf("[d3d] Setting resolution to %d x %d\n", static_cast<int>(mode.Width),
                          static_cast<int>(mode.Height));
                backBufferHeight = mode.Height;
            }
        }
        if (backBufferHeight == 0) return 0;
    }

    presentParams = D3DPRESENT_PARAMETERS{};
    presentParams.BackBufferWidth = backBufferWidth;
    presentParams.BackBufferHeight = backBufferHeight;
    presentParams.BackBufferCount = 1;
    presentParams.SwapEffect = D3DSWAPEFFECT_DISCARD;
    presentParams.hDeviceWindow = window;
    presentParams.Windowed = s.windowed;
    presentParams.EnableAutoDepthStencil = TRUE;
    presentParams.PresentationInterval = D3DPRESENT_INTERVAL_ONE;

    if (s.windowed) {
        LogPrintf("[d3d] GetAdapterDisplayMode()\n");
        D3DDISPLAYMODE desktop{};
        if (FAILED(direct3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop))) return 0;
        presentParams.BackBufferFormat = desktop.Format;
    } else {
        LogPrintf("[d3d] CheckDeviceType()\n");
        static const D3DFORMAT deep[] = {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8};
        static const D3DFORMAT shallow[] = {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_X4R4G4B4,
                                            D3DFMT_A4R4G4B4};
        const D3DFORMAT* candidates = s.colorDepth == 32 ? deep : shallow;
        size_t count = s.colorDepth == 32 ? std::size(deep) : std::size(shallow);
        bool found = false;
        for (size_t i = 0; i < count; ++i) {
            if (SUCCEEDED(direct3d->CheckDeviceType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, candidates[i],
                                                    candidates[i], FALSE))) {
                presentParams.BackBufferFormat = candidates[i];
                found = true;
            }
        }
        if (!found) return 0;
    }

    // The last depth format the adapter takes wins: 32 bits before 24 before 16.
    LogPrintf("[d3d] CheckDeviceFormat()\n");
    static const D3DFORMAT depthFormats[] = {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D32};
    bool depthFound = false;
    for (D3DFORMAT depth : depthFormats) {
        if (SUCCEEDED(direct3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                  presentParams.BackBufferFormat, D3DUSAGE_DEPTHSTENCIL,
                                                  D3DRTYPE_SURFACE, depth))) {
            presentParams.AutoDepthStencilFormat = depth;
            depthFound = true;
        }
    }
    if (!depthFound) {
        LogPrintf("[d3d] CheckDeviceFormat failed!\n");
        return 0;
    }

    // The highest sample count both the colour and the depth format allow.
    presentParams.MultiSampleType = D3DMULTISAMPLE_NONE;
    if (s.multisample) {
        LogPrintf("[d3d] CheckDeviceMultiSampleType()\n");
        static const D3DMULTISAMPLE_TYPE types[] = {D3DMULTISAMPLE_2_SAMPLES, D3DMULTISAMPLE_4_SAMPLES,
                                                    D3DMULTISAMPLE_6_SAMPLES, D3DMULTISAMPLE_8_SAMPLES};
        for (D3DMULTISAMPLE_TYPE type : types) {
            if (direct3d->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                     presentParams.BackBufferFormat, presentParams.Windowed,
                                                     type, nullptr) == D3D_OK &&
                direct3d->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                     presentParams.AutoDepthStencilFormat,
                                                     presentParams.Windowed, type, nullptr) == D3D_OK)
                presentParams.MultiSampleType = type;
        }
    }

    LogPrintf("[d3d] CreateDevice(D3DCREATE_HARDWARE_VERTEXPROCESSING)\n");
    device = nullptr;
    if (direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                               D3DCREATE_HARDWARE_VERTEXPROCESSING, &presentParams, &device) != D3D_OK) {
        LogPrintf("[d3d] CreateDevice(D3DCREATE_SOFTWARE_VERTEXPROCESSING)\n");
        device = nullptr;
        if (direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                   D3DCREATE_SOFTWARE_VERTEXPROCESSING, &presentParams, &device) != D3D_OK) {
            LogPrintf("[d3d] CreateDevice failed!\n");
            device = nullptr;
            return 0;
        }
    }

    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    for (DWORD sampler = 0; sampler < 4; ++sampler) {
        device->SetSamplerState(sampler, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(sampler, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(sampler, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    }
    // The whole back buffer, before the viewport narrows what later clears reach:
    // the bands outside the viewport stay black from here on.
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00000000, 1.0f, 0);

    viewport.X = static_cast<DWORD>((static_cast<int64_t>(backBufferWidth) - s.width) / 2);
    viewport.Y = static_cast<DWORD>((static_cast<int64_t>(backBufferHeight) - s.height) / 2);
    viewport.Width = static_cast<DWORD>(s.width);
    viewport.Height = static_cast<DWORD>(s.height);
    viewport.MinZ = 0.0f;
    viewport.MaxZ = 1.0f;
    device->SetViewport(&viewport);

    device->GetDeviceCaps(&caps);
    device->GetRenderTarget(0, &backBufferSurface);
    device->GetDepthStencilSurface(&depthSurface);
    return 1;
}

void kpxD3D::Release()
{
    if (backBufferSurface) backBufferSurface->Release();
    backBufferSurface = nullptr;
    if (depthSurface) depthSurface->Release();
    depthSurface = nullptr;
    if (device) device->Release();
    device = nullptr;
    if (direct3d) direct3d->Release();
    direct3d = nullptr;
    if (window) {
        DestroyWindow(window);
        UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
        window = nullptr;
        windowDC = nullptr;
    }
}

LRESULT kpxD3D::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        quitRequested = 1;
        break;
    case WM_LBUTTONDOWN:
        mouseDown = 1;
        mouseReleased = 0;
        break;
    case WM_LBUTTONUP:
        mouseDown = 0;
        mouseReleased = 1;
        break;
    case WM_APPCOMMAND:
        appCommand = static_cast<uint32_t>(GET_APPCOMMAND_LPARAM(lParam));
        return TRUE;
    case WM_SYSCOMMAND:
        // Keep the screen saver and the display's power saving off while focused.
        if (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER) return 0;
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
