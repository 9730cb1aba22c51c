// What the windows of live dialogs share: classic dialog colours, dialog units,
// a painter over a GDI memory bitmap, text fitting, key presses, and a modal
// window of our own that shows a painted picture through the Direct3D 9 stand-in.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/gdi/gdi.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dialogs {

// Colours of a classic dialog.
constexpr COLORREF kFace = RGB(212, 208, 200);
constexpr COLORREF kHighlight = RGB(255, 255, 255);
constexpr COLORREF kLight = RGB(232, 230, 226);
constexpr COLORREF kShadow = RGB(128, 128, 128);
constexpr COLORREF kDarkShadow = RGB(64, 64, 64);
constexpr COLORREF kFrame = RGB(0, 0, 0);
constexpr COLORREF kText = RGB(0, 0, 0);
constexpr COLORREF kWindow = RGB(255, 255, 255);

int MulDivRound(int value, int numerator, int denominator);

// The dialog font: the face at the point size, at 96 pixels an inch.
HFONT CreateDialogFont(const WCHAR* face, int pointSize);

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
Units MeasureUnits(HFONT font);

bool Inside(const RECT& r, int x, int y);

// Draws into a 32-bit memory bitmap with a font selected, text transparent.
class Painter {
public:
    Painter(int width, int height, HFONT font);
    ~Painter();
    Painter(const Painter&) = delete;
    Painter& operator=(const Painter&) = delete;

    bool Ok() const { return dc_ && bitmap_; }
    HDC Dc() const { return dc_; }

    void Fill(const RECT& r, COLORREF color);
    void Fill(int left, int top, int right, int bottom, COLORREF color)
    {
        Fill(RECT{left, top, right, bottom}, color);
    }
    // A one-pixel frame: top and left in one colour, bottom and right in another.
    void Edge(const RECT& r, COLORREF topLeft, COLORREF bottomRight);
    void DottedFrame(const RECT& r);
    void Text(const WCHAR* text, RECT r, UINT format);
    // A push button: raised, or sunk while pressed; the default one framed in
    // black; the focused one with a dotted frame inside.
    void Button(const WCHAR* text, RECT r, bool isDefault, bool focused, bool down);

    // The bitmap's pixels, rows top first, B G R x.
    std::vector<uint8_t> Pixels();

private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    HGDIOBJ oldFont_ = nullptr;
};

int TextWidth(HDC dc, const std::wstring& text);
// The text as it fits in width pixels: cut with "..." when the substituted
// dialog font runs wider than the font the template was laid out for.
std::wstring FitText(HDC dc, const WCHAR* text, int width);

// Keys that act when pressed (not while held): Tab, Space, Return, Escape. A
// press and release between two looks still counts once (the Win32 stand-in
// reports such a tap as down at the next look).
class KeyPresses {
public:
    // Takes the keys' current state, so that keys already down do not act.
    KeyPresses();
    // Calls act(key, shift) for each key pressed since the last poll.
    template <class Action> void Poll(Action act)
    {
        for (int i = 0; i < kCount; ++i) {
            bool down = Down(kKeys[i]);
            if (down && !previous_[i]) act(kKeys[i], Down(VK_SHIFT));
            previous_[i] = down;
        }
    }

private:
    static constexpr int kCount = 4;
    static constexpr int kKeys[kCount] = {VK_TAB, VK_SPACE, VK_RETURN, VK_ESCAPE};
    static bool Down(int key);
    bool previous_[kCount] = {};
};

// A modal window of our own showing a painted picture of its client area.
class ModalWindow {
public:
    ModalWindow() = default;
    ~ModalWindow();
    ModalWindow(const ModalWindow&) = delete;
    ModalWindow& operator=(const ModalWindow&) = delete;

    // A captioned window of the client size, centred on the screen, above the
    // owner (and above everything with WS_EX_TOPMOST); false when the window or
    // its device cannot be made.
    bool Open(const WCHAR* caption, int clientWidth, int clientHeight, HWND owner, DWORD exStyle);

    // What happened since the last look: the window's messages taken, and the
    // cursor in client pixels.
    struct Events {
        bool close = false;
        bool buttonDown = false;
        bool buttonUp = false;
        bool exposed = false;  // the window's picture must be shown again
        int cursorX = 0, cursorY = 0;
    };
    Events Pump();

    // Shows B G R x pixels of the client size: draws and presents them when they
    // differ from the last ones shown, or when the window was exposed.
    void Show(const std::vector<uint8_t>& pixels, bool exposed = false);

private:
    bool CreateDevice();

    HWND window_ = nullptr;
    int width_ = 0, height_ = 0;
    Events events_;
    std::vector<uint8_t> shown_;
    IDirect3D9* direct3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    IDirect3DTexture9* texture_ = nullptr;
    IDirect3DVertexBuffer9* vertices_ = nullptr;
};

}  // namespace dialogs
