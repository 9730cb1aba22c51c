#include "platform/dialogs/Drawing.h"

#include <algorithm>
#include <cstring>

namespace dialogs {
namespace {

const WCHAR kClassName[] = L"mivola-modal";

// The window whose messages are being dispatched (modal windows pump only their own).
ModalWindow::Events* receiving = nullptr;

LRESULT ModalWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (receiving) {
        switch (message) {
        case WM_CLOSE:
            receiving->close = true;  // the owner of the loop decides; the window stays
            return 0;
        case WM_LBUTTONDOWN:
            receiving->buttonDown = true;
            return 0;
        case WM_LBUTTONUP:
            receiving->buttonUp = true;
            return 0;
        case WM_PAINT:
            receiving->exposed = true;
            return 0;
        default:
            break;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

struct Vertex {
    float x, y, z, nx, ny, nz;
    D3DCOLOR color;
    float u0, v0, u1, v1;
};
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2;

}  // namespace

int MulDivRound(int value, int numerator, int denominator)
{
    return (value * numerator + denominator / 2) / denominator;
}

HFONT CreateDialogFont(const WCHAR* face, int pointSize)
{
    return CreateFontW(-MulDivRound(pointSize, 96, 72), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                       DEFAULT_QUALITY, 0, face);
}

Units MeasureUnits(HFONT font)
{
    Units units;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return units;
    HGDIOBJ old = SelectObject(dc, font);
    static const WCHAR alphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE extent{};
    TEXTMETRICW metrics{};
    if (GetTextExtentPoint32W(dc, alphabet, 52, &extent) && GetTextMetricsW(dc, &metrics) && extent.cx > 0 &&
        metrics.tmHeight > 0) {
        units.baseX = (extent.cx / 26 + 1) / 2;
        units.baseY = metrics.tmHeight;
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    return units;
}

bool Inside(const RECT& r, int x, int y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// ---- Painter -----------------------------------------------------------------------

Painter::Painter(int width, int height, HFONT font) : width_(width), height_(height)
{
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateCompatibleBitmap(nullptr, width, height);
    if (dc_ && bitmap_) {
        oldBitmap_ = SelectObject(dc_, bitmap_);
        oldFont_ = SelectObject(dc_, font);
        SetBkMode(dc_, TRANSPARENT);
        SetTextColor(dc_, kText);
    }
}

Painter::~Painter()
{
    if (dc_) {
        if (oldFont_) SelectObject(dc_, oldFont_);
        if (oldBitmap_) SelectObject(dc_, oldBitmap_);
        DeleteDC(dc_);
    }
    if (bitmap_) DeleteObject(bitmap_);
}

void Painter::Fill(const RECT& r, COLORREF color)
{
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc_, &r, brush);
    DeleteObject(brush);
}

void Painter::Edge(const RECT& r, COLORREF topLeft, COLORREF bottomRight)
{
    Fill(r.left, r.top, r.right, r.top + 1, topLeft);
    Fill(r.left, r.top, r.left + 1, r.bottom, topLeft);
    Fill(r.left, r.bottom - 1, r.right, r.bottom, bottomRight);
    Fill(r.right - 1, r.top, r.right, r.bottom, bottomRight);
}

void Painter::DottedFrame(const RECT& r)
{
    for (int x = r.left; x < r.right; x += 2) {
        Fill(x, r.top, x + 1, r.top + 1, kText);
        Fill(x, r.bottom - 1, x + 1, r.bottom, kText);
    }
    for (int y = r.top; y < r.bottom; y += 2) {
        Fill(r.left, y, r.left + 1, y + 1, kText);
        Fill(r.right - 1, y, r.right, y + 1, kText);
    }
}

void Painter::Text(const WCHAR* text, RECT r, UINT format)
{
    DrawTextW(dc_, text, -1, &r, format | DT_SINGLELINE);
}

void Painter::Button(const WCHAR* text, RECT r, bool isDefault, bool focused, bool down)
{
    if (isDefault) {
        Edge(r, kFrame, kFrame);
        r = {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
    }
    if (down) {
        Edge(r, kShadow, kShadow);
    } else {
        Edge(r, kHighlight, kDarkShadow);
        Edge({r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, kLight, kShadow);
    }
    RECT label = r;
    if (down) {
        label.left += 1;
        label.top += 1;
    }
    Text(FitText(dc_, text, label.right - label.left - 4).c_str(), label, DT_CENTER | DT_VCENTER);
    if (focused) DottedFrame({r.left + 3, r.top + 3, r.right - 3, r.bottom - 3});
}

std::vector<uint8_t> Painter::Pixels()
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width_ * height_ * 4));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    GetDIBits(dc_, bitmap_, 0, static_cast<UINT>(height_), pixels.data(), &info, DIB_RGB_COLORS);
    return pixels;
}

int TextWidth(HDC dc, const std::wstring& text)
{
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return static_cast<int>(size.cx);
}

std::wstring FitText(HDC dc, const WCHAR* text, int width)
{
    std::wstring fitted = text;
    if (TextWidth(dc, fitted) <= width) return fitted;
    while (!fitted.empty() && TextWidth(dc, fitted + L"...") > width) fitted.pop_back();
    while (!fitted.empty() && fitted.back() == L' ') fitted.pop_back();
    return fitted + L"...";
}

// ---- KeyPresses --------------------------------------------------------------------

KeyPresses::KeyPresses()
{
    for (int i = 0; i < kCount; ++i) previous_[i] = Down(kKeys[i]);
}

bool KeyPresses::Down(int key)
{
    return (static_cast<uint16_t>(GetAsyncKeyState(key)) & 0x8000u) != 0;
}

// ---- ModalWindow -------------------------------------------------------------------

bool ModalWindow::Open(const WCHAR* caption, int clientWidth, int clientHeight, HWND owner, DWORD exStyle)
{
    width_ = clientWidth;
    height_ = clientHeight;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ModalWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);  // fails harmlessly when it exists

    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    int outerWidth = frame.right - frame.left, outerHeight = frame.bottom - frame.top;
    int x = (GetSystemMetrics(SM_CXSCREEN) - outerWidth) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - outerHeight) / 2;
    window_ = CreateWindowExW(exStyle, kClassName, caption, style, x, y, outerWidth, outerHeight, owner,
                              nullptr, instance, nullptr);
    if (!window_) return false;
    SetForegroundWindow(window_);
    SetFocus(window_);
    return CreateDevice();
}

// A device on the window that shows one picture the size of the client area.
bool ModalWindow::CreateDevice()
{
    direct3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    if (!direct3d_) return false;
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = static_cast<UINT>(width_);
    params.BackBufferHeight = static_cast<UINT>(height_);
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.hDeviceWindow = window_;
    params.Windowed = TRUE;
    params.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    if (direct3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_,
                                D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device_) != D3D_OK)
        return false;
    if (device_->CreateTexture(static_cast<UINT>(width_), static_cast<UINT>(height_), 1, 0, D3DFMT_X8R8G8B8,
                               D3DPOOL_MANAGED, &texture_, nullptr) != D3D_OK)
        return false;
    if (device_->CreateVertexBuffer(4 * sizeof(Vertex), 0, kFvf, D3DPOOL_MANAGED, &vertices_, nullptr) !=
        D3D_OK)
        return false;
    // The whole viewport in clip space; texture coordinates hit texel centres.
    float du = 0.5f / static_cast<float>(width_), dv = 0.5f / static_cast<float>(height_);
    const Vertex quad[4] = {
        {-1, 1, 0.5f, 0, 0, 1, 0xFFFFFFFF, du, dv, 0, 0},
        {-1, -1, 0.5f, 0, 0, 1, 0xFFFFFFFF, du, 1 + dv, 0, 0},
        {1, 1, 0.5f, 0, 0, 1, 0xFFFFFFFF, 1 + du, dv, 0, 0},
        {1, -1, 0.5f, 0, 0, 1, 0xFFFFFFFF, 1 + du, 1 + dv, 0, 0},
    };
    void* data = nullptr;
    if (vertices_->Lock(0, sizeof quad, &data, 0) != D3D_OK || !data) return false;
    std::memcpy(data, quad, sizeof quad);
    vertices_->Unlock();
    return true;
}

ModalWindow::Events ModalWindow::Pump()
{
    Events events;
    ModalWindow::Events* outer = receiving;
    receiving = &events;
    // Only this window's messages: its owner waits, as under a modal window on Windows.
    MSG message;
    while (PeekMessageW(&message, window_, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    receiving = outer;
    POINT cursor{};
    GetCursorPos(&cursor);
    ScreenToClient(window_, &cursor);
    events.cursorX = cursor.x;
    events.cursorY = cursor.y;
    return events;
}

void ModalWindow::Show(const std::vector<uint8_t>& pixels, bool exposed)
{
    if (!device_ || pixels.size() != static_cast<size_t>(width_ * height_ * 4)) return;
    // The same picture again is not drawn again, unless the window lost it.
    if (!exposed && pixels == shown_) return;
    shown_ = pixels;
    D3DLOCKED_RECT locked{};
    if (texture_->LockRect(0, &locked, nullptr, 0) == D3D_OK && locked.pBits) {
        for (int y = 0; y < height_; ++y) {
            uint8_t* row = static_cast<uint8_t*>(locked.pBits) +
                           static_cast<size_t>(y) * static_cast<size_t>(locked.Pitch);
            const uint8_t* in = &pixels[static_cast<size_t>(y * width_ * 4)];
            for (int x = 0; x < width_; ++x) {
                row[x * 4 + 0] = in[x * 4 + 0];
                row[x * 4 + 1] = in[x * 4 + 1];
                row[x * 4 + 2] = in[x * 4 + 2];
                row[x * 4 + 3] = 0xFF;
            }
        }
        texture_->UnlockRect(0);
    }
    D3DMATRIX identity{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1;
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device_->BeginScene();
    device_->SetTransform(D3DTS_WORLD, &identity);
    device_->SetTransform(D3DTS_VIEW, &identity);
    device_->SetTransform(D3DTS_PROJECTION, &identity);
    device_->SetRenderState(D3DRS_ZENABLE, FALSE);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    device_->SetTexture(0, texture_);
    device_->SetFVF(kFvf);
    device_->SetStreamSource(0, vertices_, 0, sizeof(Vertex));
    device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    device_->SetTexture(0, nullptr);
    device_->EndScene();
    device_->Present(nullptr, nullptr, nullptr, nullptr);
}

ModalWindow::~ModalWindow()
{
    if (vertices_) vertices_->Release();
    if (texture_) texture_->Release();
    if (device_) device_->Release();
    if (direct3d_) direct3d_->Release();
    if (window_) DestroyWindow(window_);
    UnregisterClassW(kClassName, GetModuleHandleW(nullptr));  // refused while another one is open
}

}  // namespace dialogs
