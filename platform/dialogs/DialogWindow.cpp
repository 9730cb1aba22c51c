// The modal dialog in a window of its own: laid out in dialog units from the
// dialog font, drawn with the GDI stand-in into a bitmap, shown through the
// Direct3D 9 stand-in, and driven by mouse and keyboard as on Windows.
#include "platform/dialogs/DialogWindow.h"

#include "platform/dialogs/Drawing.h"
#include "platform/dialogs/MessageWindow.h"
#include "platform/win32/Resources.h"

#include <algorithm>
#include <string>
#include <vector>

namespace dialogs {
namespace {

using dialog::ControlState;
using dialog::ModalDialog;

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
        p.Button(c.text, r, d_.DefaultButton() == c.id, focused, down);
    }

    void DrawCheckBox(Painter& p, const res::DialogControl& c, const RECT& r, bool checked, bool focused,
                      bool down)
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
            p.DottedFrame(
                {text.left - 1, middle - extent.cy / 2 - 1, right, middle + (extent.cy + 1) / 2 + 1});
        }
    }

    // A picture control shows its bitmap at the bitmap's own size.
    void PastePicture(std::vector<uint8_t>& pixels, const res::DialogControl& c, const RECT& r)
    {
        std::vector<uint8_t> bgr;
        int w = 0, h = 0;
        const auto load = win32::GetProgramResources().loadBitmap;
        if (!load || !load(c.bitmapId, bgr, w, h)) return;
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

}  // namespace

bool RunDialogWindow(ModalDialog& d)
{
    // The template's font at 96 pixels an inch.
    HFONT font = CreateDialogFont(d.tpl.fontFace, d.tpl.pointSize);
    if (!font) return false;
    Units units = MeasureUnits(font);
    DialogView view(d, units, font);
    bool shown = false;
    {
        ModalWindow window;
        if (window.Open(d.tpl.caption, view.Width(), view.Height(), nullptr,
                        d.tpl.toolWindow ? WS_EX_TOOLWINDOW : 0)) {
            shown = true;
            KeyPresses keys;
            int pressed = -1;
            while (!d.ended) {
                ModalWindow::Events events = window.Pump();
                int under = view.HitTest(events.cursorX, events.cursorY);
                if (events.buttonDown) pressed = under;
                if (events.buttonUp) {
                    // A click counts when the button is released over the control it went down on.
                    if (pressed >= 0 && pressed == under)
                        d.Click(d.controls[static_cast<size_t>(pressed)].control->id);
                    pressed = -1;
                }
                if (events.close) d.Cancel();
                keys.Poll([&](int key, bool shift) { d.Key(key, shift); });
                if (d.ended) break;
                window.Show(view.Render(pressed >= 0 && pressed == under ? pressed : -1), events.exposed);
                Sleep(10);
            }
        }
    }
    DeleteObject(font);
    return shown;
}

void Install()
{
    dialog::SetPresenter(RunDialogWindow);
    dialog::SetMessageBoxPresenter(RunMessageWindow);
}

}  // namespace dialogs
