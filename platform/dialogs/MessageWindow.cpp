#include "platform/dialogs/MessageWindow.h"

#include "platform/dialogs/Drawing.h"

#include <algorithm>
#include <cmath>

namespace dialogs {
namespace {

// Pixels of the layout, as a classic message box at 96 dpi.
constexpr int kMargin = 14;
constexpr int kIconSize = 32;
constexpr int kIconGap = 12;
constexpr int kMaxTextWidth = 420;
constexpr int kMinClientWidth = 240;
constexpr int kStripHeight = 42;  // the button strip at the bottom
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr UINT kIconMask = 0xF0;

std::wstring Wide(const std::string& utf8)
{
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (size <= 1) return {};
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), size);
    wide.pop_back();
    return wide;
}

// The error icon: a red disc with a white cross, antialiased by 4 x 4 samples.
void PaintErrorIcon(std::vector<uint8_t>& pixels, int width, int left, int top)
{
    const float centre = kIconSize / 2.0f, radius = kIconSize / 2.0f - 1, arm = radius * 0.45f, half = 1.7f;
    for (int y = 0; y < kIconSize; ++y)
        for (int x = 0; x < kIconSize; ++x) {
            int disc = 0, cross = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx) {
                    float px = x + (sx + 0.5f) / 4 - centre, py = y + (sy + 0.5f) / 4 - centre;
                    if (px * px + py * py > radius * radius) continue;
                    ++disc;
                    bool onArm = std::fabs(px) <= arm + half && std::fabs(py) <= arm + half;
                    if (onArm &&
                        (std::fabs(px - py) <= half * 1.41421f || std::fabs(px + py) <= half * 1.41421f))
                        ++cross;
                }
            if (!disc) continue;
            uint8_t* out = &pixels[static_cast<size_t>(((top + y) * width + left + x) * 4)];
            // Red disc, white cross, over the background by the disc's coverage.
            float d = disc / 16.0f, c = cross / 16.0f;
            const float red[3] = {40, 40, 210};  // B G R
            for (int k = 0; k < 3; ++k) {
                float colour = red[k] * (1 - c / d) + 255 * (c / d);
                out[k] = static_cast<uint8_t>(std::lround(out[k] * (1 - d) + colour * d));
            }
        }
}

class MessageView {
public:
    MessageView(HFONT font, const std::wstring& text, bool errorIcon) : font_(font), icon_(errorIcon)
    {
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, font);
        lines_ = WrapText(dc, text, kMaxTextWidth);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        lineHeight_ = std::max(1, static_cast<int>(metrics.tmHeight));
        int textWidth = 0;
        for (const std::wstring& line : lines_) textWidth = std::max(textWidth, TextWidth(dc, line));
        SelectObject(dc, old);
        DeleteDC(dc);

        textLeft_ = kMargin + (icon_ ? kIconSize + kIconGap : 0);
        int textHeight = lineHeight_ * static_cast<int>(lines_.size());
        int contentHeight = std::max(icon_ ? kIconSize : 0, textHeight);
        textTop_ = kMargin + (contentHeight - textHeight) / 2;
        width_ = std::max(kMinClientWidth, textLeft_ + textWidth + kMargin);
        height_ = kMargin + contentHeight + kMargin + kStripHeight;
        int buttonLeft = (width_ - kButtonWidth) / 2;
        int buttonTop = height_ - kStripHeight + (kStripHeight - kButtonHeight) / 2;
        button_ = {buttonLeft, buttonTop, buttonLeft + kButtonWidth, buttonTop + kButtonHeight};
    }

    int Width() const { return width_; }
    int Height() const { return height_; }
    const RECT& ButtonRect() const { return button_; }

    std::vector<uint8_t> Render(bool pressed)
    {
        Painter p(width_, height_, font_);
        if (!p.Ok()) return {};
        p.Fill(0, 0, width_, height_ - kStripHeight, kWindow);
        p.Fill(0, height_ - kStripHeight, width_, height_, kFace);
        for (size_t i = 0; i < lines_.size(); ++i) {
            int top = textTop_ + lineHeight_ * static_cast<int>(i);
            p.Text(lines_[i].c_str(), RECT{textLeft_, top, width_ - kMargin, top + lineHeight_},
                   DT_LEFT | DT_TOP | DT_NOPREFIX);
        }
        p.Button(L"OK", button_, true, true, pressed);
        std::vector<uint8_t> pixels = p.Pixels();
        if (icon_) PaintErrorIcon(pixels, width_, kMargin, kMargin);
        return pixels;
    }

private:
    HFONT font_;
    bool icon_;
    std::vector<std::wstring> lines_;
    int lineHeight_ = 1;
    int textLeft_ = 0, textTop_ = 0;
    int width_ = 0, height_ = 0;
    RECT button_{};
};

}  // namespace

std::vector<std::wstring> WrapText(HDC dc, const std::wstring& text, int width)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (true) {
        size_t end = text.find(L'\n', start);
        std::wstring paragraph =
            text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!paragraph.empty() && paragraph.back() == L'\r') paragraph.pop_back();
        std::wstring line;
        size_t i = 0;
        while (i < paragraph.size()) {
            // The next word and the spaces before it.
            size_t wordStart = paragraph.find_first_not_of(L' ', i);
            if (wordStart == std::wstring::npos) break;
            size_t wordEnd = paragraph.find(L' ', wordStart);
            if (wordEnd == std::wstring::npos) wordEnd = paragraph.size();
            std::wstring word = paragraph.substr(wordStart, wordEnd - wordStart);
            std::wstring joined = line.empty() ? word : line + paragraph.substr(i, wordStart - i) + word;
            if (TextWidth(dc, joined) <= width) {
                line = joined;
            } else {
                if (!line.empty()) lines.push_back(line);
                line.clear();
                // A word wider than the line on its own is cut where it must be.
                while (TextWidth(dc, word) > width && word.size() > 1) {
                    size_t fit = 1;
                    while (fit < word.size() && TextWidth(dc, word.substr(0, fit + 1)) <= width) ++fit;
                    lines.push_back(word.substr(0, fit));
                    word.erase(0, fit);
                }
                line = word;
            }
            i = wordEnd;
        }
        lines.push_back(line);
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return lines;
}

int RunMessageWindow(HWND owner, const std::string& text, const std::string& caption, UINT type)
{
    HFONT font = CreateDialogFont(L"MS Sans Serif", 8);
    if (!font) return 0;
    MessageView view(font, Wide(text), (type & kIconMask) == MB_ICONERROR);
    int answer = 0;
    {
        ModalWindow window;
        // Above every window, its fullscreen owner included.
        if (window.Open(Wide(caption).c_str(), view.Width(), view.Height(), owner, WS_EX_TOPMOST)) {
            KeyPresses keys;
            bool pressed = false;
            while (!answer) {
                ModalWindow::Events events = window.Pump();
                bool over = Inside(view.ButtonRect(), events.cursorX, events.cursorY);
                if (events.buttonDown) pressed = over;
                if (events.buttonUp) {
                    if (pressed && over) answer = IDOK;
                    pressed = false;
                }
                // A box with only OK: Escape and the close box answer OK too.
                if (events.close) answer = IDOK;
                keys.Poll([&](int key, bool) {
                    if (key == VK_RETURN || key == VK_SPACE || key == VK_ESCAPE) answer = IDOK;
                });
                if (answer) break;
                window.Show(view.Render(pressed && over), events.exposed);
                Sleep(10);
            }
        }
    }
    DeleteObject(font);
    return answer;
}

}  // namespace dialogs
