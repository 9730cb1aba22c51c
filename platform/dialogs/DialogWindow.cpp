// The modal dialog in a window of its own: laid out in dialog units from the
// dialog font, drawn with the GDI stand-in into a bitmap, shown through the
// Direct3D 9 stand-in, and driven by mouse and keyboard as on Windows.
#include "platform/dialogs/DialogWindow.h"

#include "platform/d3d9/d3d9.h"
#include "platform/gdi/gdi.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace dialogs {
namespace {

using dialog::ControlState;
using dialog::ModalDialog;

const WCHAR kClassName[] = L"mivola-dialog";

// Colours of a classic dialog.
const COLORREF kFace = RGB(212, 208, 200);
const COLORREF kHighlight = RGB(255, 255, 255);
const COLORREF kLight = RGB(232, 230, 226);
const COLORREF kShadow = RGB(128, 128, 128);
const COLORREF kDarkShadow = RGB(64, 64, 64);
const COLORREF kFrame = RGB(0, 0, 0);
const COLORREF kText = RGB(0, 0, 0);
const COLORREF kWindow = RGB(255, 255, 255);

// What the window procedure saw since the last look.
struct WindowEvents {
    bool close = false;
    bool buttonDown = false;
    bool buttonUp = false;
};
WindowEvents events;

LRESULT DialogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        events.close = true;   // the dialog decides; the window stays until it ends
        return 0;
    case WM_LBUTTONDOWN:
        events.buttonDown = true;
        return 0;
    case WM_LBUTTONUP:
        events.buttonUp = true;
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

int MulDivRound(int value, int numerator, int denominator)
{
    return (value * numerator + denominator / 2) / denominator;
}

// Dialog units to pixels: a horizontal unit is a quarter of the font's average
// character width, a vertical unit an eighth of its height.
struct Units {
    int baseX = 6;
    int baseY = 13;
    RECT Rect(int x, int y, int w, int h) const
    {
        return {MulDivRound(x, baseX, 4), MulDivRound(y, baseY, 8), MulDivRound(x + w, baseX, 4),
                MulDivRound(y + h, baseY, 8)};
    }
};

class Painter {
public:
    Painter(int width, int height, HFONT font) : width_(width), height_(height)
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
    ~Painter()
    {
        if (dc_) {
            if (oldFont_) SelectObject(dc_, oldFont_);
            if (oldBitmap_) SelectObject(dc_, oldBitmap_);
            DeleteDC(dc_);
        }
        if (bitmap_) DeleteObject(bitmap_);
    }
    Painter(const Painter&) = delete;
    Painter& operator=(const Painter&) = delete;

    bool Ok() const { return dc_ && bitmap_; }
    HDC Dc() const { return dc_; }

    void Fill(const RECT& r, COLORREF color)
    {
        HBRUSH brush = CreateSolidBrush(color);
        FillRect(dc_, &r, brush);
        DeleteObject(brush);
    }
    void Fill(int left, int top, int right, int bottom, COLORREF color) { Fill(RECT{left, top, right, bottom}, color); }

    // A one-pixel frame: top and left in one colour, bottom and right in another.
    void Edge(const RECT& r, COLORREF topLeft, COLORREF bottomRight)
    {
        Fill(r.left, r.top, r.right, r.top + 1, topLeft);
        Fill(r.left, r.top, r.left + 1, r.bottom, topLeft);
        Fill(r.left, r.bottom - 1, r.right, r.bottom, bottomRight);
        Fill(r.right - 1, r.top, r.right, r.bottom, bottomRight);
    }

    void DottedFrame(const RECT& r)
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

    void Text(const WCHAR* text, RECT r, UINT format) { DrawTextW(dc_, text, -1, &r, format | DT_SINGLELINE); }

    // The bitmap's pixels, rows top first, B G R x.
    std::vector<uint8_t> Pixels()
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

private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    HGDIOBJ oldFont_ = nullptr;
};

// The text as it fits in width pixels: cut with "..." when the substituted
// dialog font runs wider than the font the template was laid out for.
std::wstring FitText(HDC dc, const WCHAR* text, int width)
{
    std::wstring fitted = text;
    auto extent = [&](const std::wstring& t) {
        SIZE size{};
        GetTextExtentPoint32W(dc, t.c_str(), static_cast<int>(t.size()), &size);
        return static_cast<int>(size.cx);
    };
    if (extent(fitted) <= width) return fitted;
    while (!fitted.empty() && extent(fitted + L"...") > width) fitted.pop_back();
    while (!fitted.empty() && fitted.back() == L' ') fitted.pop_back();
    return fitted + L"...";
}

bool Inside(const RECT& r, int x, int y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

class DialogView {
public:
    DialogView(ModalDialog& d, const Units& units, HFONT font) : d_(d), units_(units), font_(font)
    {
        const res::DialogTemplate& t = d.tpl;
        RECT client = units.Rect(0, 0, t.width, t.height);
        width_ = client.right;
        height_ = client.bottom;
        for (const ControlState& c : d.controls) {
            const res::DialogControl& tc = *c.control;
            rects_.push_back(units.Rect(tc.x, tc.y, tc.width, tc.height));
        }
    }

    int Width() const { return width_; }
    int Height() const { return height_; }

    // The control under a client point, as an index (-1: none).
    int HitTest(int x, int y) const
    {
        for (size_t i = 0; i < rects_.size(); ++i)
            if (d_.controls[i].control->kind != res::ControlKind::StaticBitmap && Inside(rects_[i], x, y))
                return static_cast<int>(i);
        return -1;
    }

    // Draws the dialog; pressed is the control held down under the pointer.
    std::vector<uint8_t> Render(int pressed)
    {
        Painter p(width_, height_, font_);
        if (!p.Ok()) return {};
        p.Fill(0, 0, width_, height_, kFace);
        for (size_t i = 0; i < rects_.size(); ++i) {
            const res::DialogControl& c = *d_.controls[i].control;
            bool focused = d_.focus == static_cast<int>(i);
            bool down = pressed == static_cast<int>(i);
            switch (c.kind) {
            case res::ControlKind::PushButton:
            case res::ControlKind::DefPushButton:
                DrawButton(p, c, rects_[i], focused, down);
                break;
            case res::ControlKind::AutoCheckBox:
                DrawCheckBox(p, c, rects_[i], d_.controls[i].check == BST_CHECKED, focused, down);
                break;
            case res::ControlKind::StaticBitmap:
                break;
            }
        }
        std::vector<uint8_t> pixels = p.Pixels();
        for (size_t i = 0; i < rects_.size(); ++i)
            if (d_.controls[i].control->kind == res::ControlKind::StaticBitmap)
                PastePicture(pixels, *d_.controls[i].control, rects_[i]);
        return pixels;
    }

private:
    void DrawButton(Painter& p, const res::DialogControl& c, RECT r, bool focused, bool down)
    {
        // The button that Enter presses wears a black frame.
        bool isDefault = d_.DefaultButton() == c.id;
        if (isDefault) {
            p.Edge(r, kFrame, kFrame);
            r = {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
        }
        if (down) {
            p.Edge(r, kShadow, kShadow);
        } else {
            p.Edge(r, kHighlight, kDarkShadow);
            p.Edge({r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, kLight, kShadow);
        }
        RECT text = r;
        if (down) {
            text.left += 1;
            text.top += 1;
        }
        p.Text(FitText(p.Dc(), c.text, text.right - text.left - 4).c_str(), text, DT_CENTER | DT_VCENTER);
        if (focused) p.DottedFrame({r.left + 3, r.top + 3, r.right - 3, r.bottom - 3});
    }

    void DrawCheckBox(Painter& p, const res::DialogControl& c, const RECT& r, bool checked, bool focused, bool down)
    {
        int size = 13;
        int top = r.top + (r.bottom - r.top - size) / 2;
        RECT box{r.left, top, r.left + size, top + size};
        p.Fill(box, down ? kFace : kWindow);
        p.Edge(box, kShadow, kHighlight);
        p.Edge({box.left + 1, box.top + 1, box.right - 1, box.bottom - 1}, kDarkShadow, kLight);
        if (checked) {
            // A tick of 3-pixel strokes: down-right, then up-right.
            int x0 = box.left + 3, y0 = box.top + 5;
            for (int k = 0; k < 7; ++k) {
                int y = k < 3 ? y0 + k : y0 + 4 - k;
                p.Fill(x0 + k, y, x0 + k + 1, y + 3, kText);
            }
        }
        RECT text{box.right + 4, r.top, std::min<int>(r.right, width_ - 2), r.bottom};
        std::wstring label = FitText(p.Dc(), c.text, text.right - text.left);
        SIZE extent{};
        GetTextExtentPoint32W(p.Dc(), label.c_str(), static_cast<int>(label.size()), &extent);
        p.Text(label.c_str(), text, DT_LEFT | DT_VCENTER);
        if (focused) {
            int middle = (r.top + r.bottom) / 2;
            int right = std::min<int>(r.right, text.left + extent.cx + 1);
            p.DottedFrame({text.left - 1, middle - extent.cy / 2 - 1, right, middle + (extent.cy + 1) / 2 + 1});
        }
    }

    // A picture control shows its bitmap at the bitmap's own size.
    void PastePicture(std::vector<uint8_t>& pixels, const res::DialogControl& c, const RECT& r)
    {
        std::vector<uint8_t> bgr;
        int w = 0, h = 0;
        if (!res::LoadBitmapResource(c.bitmapId, bgr, w, h)) return;
        for (int y = 0; y < h; ++y) {
            int py = r.top + y;
            if (py < 0 || py >= height_) continue;
            for (int x = 0; x < w; ++x) {
                int px = r.left + x;
                if (px < 0 || px >= width_) continue;
                uint8_t* out = &pixels[static_cast<size_t>((py * width_ + px) * 4)];
                const uint8_t* in = &bgr[static_cast<size_t>((y * w + x) * 3)];
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
            }
        }
    }

    ModalDialog& d_;
    Units units_;
    HFONT font_;
    int width_ = 0, height_ = 0;
    std::vector<RECT> rects_;
};

// A device on the dialog's window that shows one picture the size of the client area.
class Screen {
public:
    bool Create(HWND window, int width, int height)
    {
        width_ = width;
        height_ = height;
        direct3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        if (!direct3d_) return false;
        D3DPRESENT_PARAMETERS params{};
        params.BackBufferWidth = static_cast<UINT>(width);
        params.BackBufferHeight = static_cast<UINT>(height);
        params.BackBufferFormat = D3DFMT_X8R8G8B8;
        params.BackBufferCount = 1;
        params.SwapEffect = D3DSWAPEFFECT_DISCARD;
        params.hDeviceWindow = window;
        params.Windowed = TRUE;
        params.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
        if (direct3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                    &params, &device_) != D3D_OK)
            return false;
        if (device_->CreateTexture(static_cast<UINT>(width), static_cast<UINT>(height), 1, 0, D3DFMT_X8R8G8B8,
                                   D3DPOOL_MANAGED, &texture_, nullptr) != D3D_OK)
            return false;
        if (device_->CreateVertexBuffer(4 * sizeof(Vertex), 0, kFvf, D3DPOOL_MANAGED, &vertices_, nullptr) != D3D_OK)
            return false;
        // The whole viewport in clip space; texture coordinates hit texel centres.
        float du = 0.5f / static_cast<float>(width), dv = 0.5f / static_cast<float>(height);
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

    void Show(const std::vector<uint8_t>& pixels)
    {
        if (pixels.size() != static_cast<size_t>(width_ * height_ * 4)) return;
        D3DLOCKED_RECT locked{};
        if (texture_->LockRect(0, &locked, nullptr, 0) == D3D_OK && locked.pBits) {
            for (int y = 0; y < height_; ++y) {
                uint8_t* row = static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(y) * static_cast<size_t>(locked.Pitch);
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

    ~Screen()
    {
        if (vertices_) vertices_->Release();
        if (texture_) texture_->Release();
        if (device_) device_->Release();
        if (direct3d_) direct3d_->Release();
    }

private:
    struct Vertex {
        float x, y, z, nx, ny, nz;
        D3DCOLOR color;
        float u0, v0, u1, v1;
    };
    static constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2;

    int width_ = 0, height_ = 0;
    IDirect3D9* direct3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    IDirect3DTexture9* texture_ = nullptr;
    IDirect3DVertexBuffer9* vertices_ = nullptr;
};

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

// Keys that act when pressed (not while held).
struct KeyEdges {
    bool previous[4] = {};
    static constexpr int kKeys[4] = {VK_TAB, VK_SPACE, VK_RETURN, VK_ESCAPE};

    static bool Down(int key) { return (static_cast<uint16_t>(GetAsyncKeyState(key)) & 0x8000u) != 0; }
    void Prime()
    {
        for (int i = 0; i < 4; ++i) previous[i] = Down(kKeys[i]);
    }
    template <class Action> void Poll(Action act)
    {
        for (int i = 0; i < 4; ++i) {
            bool down = Down(kKeys[i]);
            if (down && !previous[i]) act(kKeys[i], Down(VK_SHIFT));
            previous[i] = down;
        }
    }
};

}  // namespace

bool RunDialogWindow(ModalDialog& d)
{
    // The template's 8-point font at 96 pixels an inch.
    HFONT font = CreateFontW(-MulDivRound(d.tpl.pointSize, 96, 72), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0,
                             0, DEFAULT_QUALITY, 0, d.tpl.fontFace);
    if (!font) return false;
    Units units = MeasureUnits(font);
    DialogView view(d, units, font);

    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DialogWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);

    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    DWORD exStyle = d.tpl.toolWindow ? WS_EX_TOOLWINDOW : 0;
    RECT frame{0, 0, view.Width(), view.Height()};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    int outerWidth = frame.right - frame.left, outerHeight = frame.bottom - frame.top;
    int x = (GetSystemMetrics(SM_CXSCREEN) - outerWidth) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - outerHeight) / 2;
    HWND window = CreateWindowExW(exStyle, kClassName, d.tpl.caption, style, x, y, outerWidth, outerHeight, nullptr,
                                  nullptr, instance, nullptr);
    bool shown = false;
    if (window) {
        SetForegroundWindow(window);
        SetFocus(window);
        Screen screen;
        if (screen.Create(window, view.Width(), view.Height())) {
            shown = true;
            events = WindowEvents{};
            KeyEdges keys;
            keys.Prime();
            int pressed = -1;
            while (!d.ended) {
                MSG message;
                while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                    TranslateMessage(&message);
                    DispatchMessageW(&message);
                }
                POINT cursor{};
                GetCursorPos(&cursor);
                ScreenToClient(window, &cursor);
                int under = view.HitTest(cursor.x, cursor.y);
                if (events.buttonDown) pressed = under;
                if (events.buttonUp) {
                    // A click counts when the button is released over the control it went down on.
                    if (pressed >= 0 && pressed == under) d.Click(d.controls[static_cast<size_t>(pressed)].control->id);
                    pressed = -1;
                }
                if (events.close) d.Cancel();
                events = WindowEvents{};
                keys.Poll([&](int key, bool shift) { d.Key(key, shift); });
                if (d.ended) break;
                screen.Show(view.Render(pressed >= 0 && pressed == under ? pressed : -1));
                Sleep(10);
            }
        }
        DestroyWindow(window);
    }
    UnregisterClassW(kClassName, instance);
    DeleteObject(font);
    return shown;
}

void Install()
{
    dialog::SetPresenter(RunDialogWindow);
}

}  // namespace dialogs
