#include "tools/contentart/Pictures.h"

#include "tools/contentart/Text.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr float kPi = 3.14159265f;

std::string Sans()
{
    return FontPath("DejaVuSans.ttf");
}
std::string SansBold()
{
    return FontPath("DejaVuSans-Bold.ttf");
}
std::string Mono()
{
    return FontPath("DejaVuSansMono-Bold.ttf");
}

// Night sky with soft nebula and stars.
void Starfield(Image& img, uint32_t seed, Rgba top, Rgba bottom)
{
    const float h = float(img.Height());
    img.Shade([&](float x, float y) {
        Rgba c = Mix(top, bottom, y / h);
        float n = Fbm(x / 180.0f, y / 180.0f, seed, 4);
        c = Mix(c, Hex(0x6a2c8a), std::max(0.0f, n - 0.55f) * 0.9f);
        return c;
    });
    for (int i = 0; i < img.Width() * img.Height() / 900; ++i) {
        float x = Hash2(i, 1, seed) * float(img.Width()), y = Hash2(i, 2, seed) * float(img.Height());
        float b = Hash2(i, 3, seed);
        if (b > 0.93f) img.Glow(x, y, 4 + 5 * b, Hex(0xdfe8ff), 2.0f);
        img.Blend(int(x), int(y), Hex(0xffffff, 0.3f + 0.7f * b));
    }
}

// Perspective grid floor below the horizon (synthwave look).
void GridFloor(Image& img, float horizon, Rgba line, float spacing)
{
    const float w = float(img.Width()), h = float(img.Height());
    img.FillRect(0, horizon, w, h, Hex(0x0b0420));
    for (int i = -30; i <= 30; ++i) {
        float x0 = w * 0.5f + float(i) * spacing * 0.25f, x1 = w * 0.5f + float(i) * spacing * 3.0f;
        img.Line(x0, horizon, x1, h + 40, 1.6f, line);
    }
    for (int k = 1; k < 40; ++k) {
        float y = horizon + (h - horizon) * std::pow(float(k) / 14.0f, 2.0f);
        if (y > h) break;
        img.Line(0, y, w, y, 1.2f + float(k) * 0.12f, line);
    }
    img.Glow(w * 0.5f, horizon, w * 0.6f, Hex(line.r > 0.5f ? 0xff3fa4 : 0x3fd0ff, 0.35f), 3.0f);
}

void Bevel(Image& img, float x0, float y0, float x1, float y1, float r, Rgba base)
{
    img.FillRoundRect(x0, y0, x1, y1, r, Hex(0x000000, 0.5f));
    img.VerticalGradient(x0 + 1, y0 + 1, x1 - 1, y1 - 1, Mix(base, Hex(0xffffff), 0.25f),
                         Mix(base, Hex(0x000000), 0.35f), r);
    img.StrokeRoundRect(x0 + 1.5f, y0 + 1.5f, x1 - 1.5f, y1 - 1.5f, r, 1.0f, Hex(0xffffff, 0.25f));
}

// ASCII letters in capitals; other characters as they are.
std::string Caps(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

// The font at `size` pixels, or smaller until `text` fits in `width`.
// The spacing between letters scales with the size; `chosen` receives the size.
std::unique_ptr<Font> Fitted(const std::string& file, int size, const std::string& text, float width,
                             float spacingPerPixel = 0, int* chosen = nullptr)
{
    auto font = std::make_unique<Font>(file, size);
    while (size > 8 && font->Measure(text, float(size) * spacingPerPixel) > width)
        font = std::make_unique<Font>(file, --size);
    if (chosen) *chosen = size;
    return font;
}

void Logo(Image& img, float cx, float baseline, int size, float glowAmount, const std::string& title)
{
    const std::string text = Caps(title);
    auto fitted = Fitted(SansBold(), size, text, float(img.Width()) * 0.9f, 0.08f, &size);
    const Font& big = *fitted;
    const float spacing = float(size) * 0.08f;
    float w = big.Measure(text, spacing);
    big.DrawGlow(img, cx - w * 0.5f, baseline, text, Hex(0xff3fa4, glowAmount), std::max(1, size / 10),
                 spacing);
    // Chrome letters: a vertical gradient clipped to the glyphs.
    Image letters(img.Width(), img.Height());
    big.Draw(letters, cx - w * 0.5f, baseline, text, Hex(0xffffff), spacing);
    const float top = baseline - float(big.Ascent());
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x) {
            float a = letters.At(x, y).a;
            if (a <= 0) continue;
            float t = (float(y) - top) / float(big.Ascent());
            Rgba c = t < 0.5f ? Mix(Hex(0xfdf6ff), Hex(0x7fd8ff), t * 2)
                              : Mix(Hex(0x3a1a6a), Hex(0xffb0e0), (t - 0.5f) * 2);
            img.Blend(x, y, c, a);
        }
}

}  // namespace

Image LoadingScreen(const std::string& title, const std::string& subtitle)
{
    Image img(1280, 720, Hex(0x000000));
    Starfield(img, 11, Hex(0x05030f), Hex(0x1a0b33));
    GridFloor(img, 470, Hex(0xff3fa4, 0.55f), 80);
    img.Glow(640, 470, 260, Hex(0xffb347, 0.8f), 1.5f);
    Logo(img, 640, 330, 150, 0.9f, title);
    Font small(Sans(), 24);
    small.DrawCentred(img, 640, 390, subtitle, Hex(0xc9b8ff), 3);
    // The progress bar's place: a dark track from x 194 to 1084, y 659 to 682, framed.
    img.FillRoundRect(180, 645, 1098, 696, 10, Hex(0x000000, 0.65f));
    img.StrokeRoundRect(184, 649, 1094, 692, 8, 2.0f, Hex(0x7fd8ff, 0.9f));
    img.FillRect(194, 659, 1084, 682, Hex(0x140a28));
    img.StrokeRoundRect(191, 656, 1087, 685, 2, 1.0f, Hex(0xff3fa4, 0.7f));
    Font label(SansBold(), 16);
    label.Draw(img, 194, 638, "LOADING SONGS AND PICTURES", Hex(0x7fd8ff), 2);
    return img;
}

Image IntroBackground()
{
    // Behind the dial: a warm backlit panel; the rest is hidden by the radio front.
    Image img(1280, 720, Hex(0x120904));
    img.Shade([](float x, float y) {
        float g = std::exp(-std::pow((y - 218) / 90.0f, 2.0f)) * (0.75f + 0.25f * std::sin(x / 37.0f));
        return Mix(Hex(0x1c0d05), Hex(0xffb347), std::clamp(g, 0.0f, 1.0f) * 0.85f);
    });
    return img;
}

Image IntroDial(const std::string& station)
{
    // A frequency scale that repeats every 2048 pixels; copies sit side by side.
    Image img(2048, 160, {0, 0, 0, 0});
    Font num(SansBold(), 22);
    for (int i = 0; i < 128; ++i) {
        // Ticks every 16 pixels from x = 8, numbers on every eighth: nothing straddles the
        // strip's ends, so the copies join without a seam.
        float x = std::fmod(float(i) * 16 + 72, 2048.0f);
        bool major = i % 8 == 0, mid = i % 4 == 0;
        float len = major ? 36 : mid ? 24 : 14;
        img.Line(x, 20, x, 20 + len, major ? 3.0f : 1.6f, Hex(0x2a1204, 0.9f));
        if (major) {
            int mhz = 88 + (i / 8) * 2;
            num.DrawCentred(img, x, 84, std::to_string(mhz), Hex(0x2a1204, 0.95f));
        }
    }
    img.Line(0, 18, 2048, 18, 2.0f, Hex(0x2a1204, 0.8f));
    img.Line(0, 150, 2048, 150, 2.0f, Hex(0x2a1204, 0.6f));
    // Stations where the tuning stops (strip x under the needle for each stop).
    struct Mark {
        float x;
        const char* name;
    };
    const std::string own = Caps(station);
    const Mark marks[] = {
        {626, own.c_str()}, {1084, "JAZZ 97"}, {1456, "NEWS"}, {1914, "LONG WAVE"}, {300, "CHIP RADIO"}};
    for (const Mark& m : marks) {
        img.FillRoundRect(m.x - 4, 100, m.x + 4, 108, 4, Hex(0xb01818, 0.9f));
        // Names stay clear of the neighbouring stops.
        auto name = Fitted(FontPath("DejaVuSans.ttf"), 15, m.name, 300);
        name->DrawCentred(img, m.x, 132, m.name, Hex(0x3a1806, 0.95f), 1);
    }
    return img;
}

Image IntroForeground(const std::string& brandText)
{
    // The radio's front: wood cabinet, chrome trim, speaker grille, a window onto the dial.
    Image img(1280, 720, Hex(0x000000));
    img.Shade([](float x, float y) {
        float grain = Fbm(x / 400.0f, y / 14.0f, 7, 5);
        float ring = 0.5f + 0.5f * std::sin(grain * 25.0f + x / 90.0f);
        return Mix(Hex(0x4a230c), Hex(0x8a4a1e), ring * 0.7f + grain * 0.3f);
    });
    img.StrokeRoundRect(20, 20, 1260, 700, 40, 6, Hex(0x2a1206));
    // Window frame and the window itself.
    Bevel(img, 120, 120, 1160, 316, 22, Hex(0xb8b8c0));
    img.Clear(140, 140, 1140, 297);
    // Glass sheen over the window (partly transparent).
    img.FillSdf(
        140, 140, 1140, 297, [](float x, float y) { return SdRoundRect(x, y, 140, 140, 1140, 297, 0); },
        [](float x, float y) {
            float s = std::max(0.0f, 1.0f - std::fabs((x - 1.6f * (y - 140)) - 300) / 120.0f);
            return Hex(0xffffff, 0.12f * s);
        });
    // The needle.
    img.FillRect(638, 134, 642, 303, Hex(0xd01c1c));
    img.FillCircle(640, 134, 6, Hex(0xd01c1c));
    // Grille left and right of the knob.
    for (int side = 0; side < 2; ++side) {
        float x0 = side ? 800 : 130, x1 = side ? 1150 : 480;
        img.FillRoundRect(x0, 380, x1, 660, 18, Hex(0x1a0c05));
        for (float y = 392; y < 650; y += 12)
            for (float x = x0 + 12; x < x1 - 6; x += 12) img.FillCircle(x, y, 3.2f, Hex(0x6a3a1a));
        img.StrokeRoundRect(x0, 380, x1, 660, 18, 4, Hex(0xc8c8d0));
    }
    // The name sits between the grilles, above the knob.
    const std::string name = Caps(brandText);
    auto fitted = Fitted(SansBold(), 34, name, 300, 6.0f / 34.0f);
    const Font& brand = *fitted;
    brand.DrawGlow(img, 640 - brand.Measure(name, 6) * 0.5f, 372, name, Hex(0x000000, 0.8f), 3, 6);
    brand.DrawCentred(img, 640, 370, name, Hex(0xf0d9a0), 6);
    Font small(Sans(), 16);
    small.DrawCentred(img, 640, 684, "TUNING", Hex(0xf0d9a0, 0.8f), 4);
    return img;
}

Image IntroKnob()
{
    const int s = 200;
    Image img(s, s, {0, 0, 0, 0});
    const float c = s * 0.5f;
    img.FillCircle(c + 4, c + 6, 92, Hex(0x000000, 0.45f));
    // Knurled rim.
    img.FillSdf(
        0, 0, float(s), float(s),
        [c](float x, float y) {
            float a = std::atan2(y - c, x - c);
            return std::hypot(x - c, y - c) - (90 + 3 * std::cos(a * 36));
        },
        [c](float x, float y) { return Mix(Hex(0xe8e8f0), Hex(0x55555e), (y - c + 90) / 180.0f); });
    img.FillSdf(
        0, 0, float(s), float(s), [c](float x, float y) { return SdCircle(x, y, c, c, 74); },
        [c](float x, float y) {
            float a = std::atan2(y - c, x - c);
            float brushed = 0.5f + 0.5f * std::sin(a * 2 + 1.0f);
            return Mix(Hex(0x8a8a94), Hex(0xf4f4fa), brushed);
        });
    img.StrokeCircle(c, c, 74, 2, Hex(0x33333a));
    // Pointer dot, so the turn is visible.
    img.FillCircle(c, c - 56, 9, Hex(0xd01c1c));
    img.FillCircle(c, c, 18, Hex(0x2a2a30));
    return img;
}

Image StartScreen(const std::string& title, const std::string& subtitle)
{
    Image img(1280, 720, Hex(0x000000));
    Starfield(img, 23, Hex(0x020210), Hex(0x190a30));
    img.Glow(640, 360, 420, Hex(0x7f3fff, 0.45f), 2.0f);
    Logo(img, 640, 395, 170, 1.0f, title);
    auto sub = Fitted(Sans(), 26, subtitle, 1200, 4.0f / 26.0f);
    sub->DrawCentred(img, 640, 455, subtitle, Hex(0xe0d4ff), 4);
    Font hint(Sans(), 16);
    hint.DrawCentred(img, 640, 700, "press space to skip  \xc2\xb7  escape to leave", Hex(0xa090c0, 0.8f), 2);
    return img;
}

Image Invader(int pose)
{
    // 16 x 16 pixel art, enlarged four times.
    static const char* frames[3][16] = {
        {"................", "................", "....#......#....", ".....#....#.....", "....########....",
         "...##.####.##...", "..############..", "..#.########.#..", "..#.#......#.#..", ".....##..##.....",
         "................", "................", "................", "................", "................",
         "................"},
        {"................", "................", "....#......#....", "..#..#....#..#..", "..#.########.#..",
         "..###.####.###..", "..############..", "...##########...", "....#......#....", "...#........#...",
         "................", "................", "................", "................", "................",
         "................"},
        {"................", "................", "....#......#....", ".....#....#.....", "....########....",
         "...##o####o##...", "..############..", "..#.##oooo##.#..", "..#.#......#.#..", "....#.#..#.#....",
         "................", "................", "................", "................", "................",
         "................"},
    };
    Image small(16, 16, {0, 0, 0, 0});
    const Rgba body = pose == 0 ? Hex(0x7dffb0) : pose == 1 ? Hex(0x7fd8ff) : Hex(0xff5fb0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            char ch = frames[pose][y][x];
            if (ch == '#') small.At(x, y) = body;
            else if (ch == 'o') small.At(x, y) = Hex(0xfff27f);
        }
    Image big = small.Scaled(4);
    // Shift down so the creature sits in the middle of its 64 x 64 square.
    Image out(64, 64, {0, 0, 0, 0});
    out.Draw(big, 0, 12);
    return out;
}

Image EndBackground()
{
    Image img(1280, 720, Hex(0x000000));
    Starfield(img, 41, Hex(0x03020c), Hex(0x120822));
    GridFloor(img, 560, Hex(0x3fd0ff, 0.45f), 90);
    // A monitor frame around the scroller's window.
    Bevel(img, 352, 181, 915, 505, 26, Hex(0x3a3550));
    img.FillRoundRect(388, 217, 879, 469, 6, Hex(0x000000));
    img.FillRect(392, 221, 875, 465, Hex(0x070312));
    img.Glow(633, 343, 300, Hex(0x3f1f8a, 0.5f), 2.0f);
    img.FillRect(392, 221, 875, 465, Hex(0x070312, 0.55f));
    img.FillCircle(880, 488, 4, Hex(0x7dffb0));
    Font f(SansBold(), 30);
    f.DrawGlow(img, 640 - f.Measure("THANKS FOR LISTENING", 4) * 0.5f, 130, "THANKS FOR LISTENING",
               Hex(0xff3fa4, 0.8f), 4, 4);
    f.DrawCentred(img, 640, 130, "THANKS FOR LISTENING", Hex(0xfdf6ff), 4);
    Font s(Sans(), 16);
    s.DrawCentred(img, 640, 540, "escape leaves at once", Hex(0xa090c0, 0.8f), 2);
    return img;
}

Image EndScroller(const std::string& titleText, const std::string& subtitle,
                  const std::vector<CreditSection>& sections)
{
    // The window shows the whole 512-wide texture squeezed into 483 pixels, so a
    // 512-wide picture fills it edge to edge; text is centred on column 256.
    constexpr int kWidth = 512, kHeight = 2048;
    // The end screen stops before the texture's last rows come into view.
    constexpr float kLastVisible = 1860;
    Image img(kWidth, kHeight, {0, 0, 0, 0});
    Font title(SansBold(), 22), body(Sans(), 19);
    const float cx = 256, textWidth = 480;
    float y = 130;
    const std::string name = Caps(titleText);
    int headSize = 34;
    auto head = Fitted(SansBold(), 34, name, textWidth, 4.0f / 34.0f, &headSize);
    head->DrawGlow(img, cx - head->Measure(name, 4) * 0.5f, y, name, Hex(0xff3fa4, 0.9f), 4, 4);
    head->DrawCentred(img, cx, y, name, Hex(0xffffff), 4);
    y += 40;
    Fitted(Sans(), 19, subtitle, textWidth)->DrawCentred(img, cx, y, subtitle, Hex(0xc9b8ff));
    y += 110;

    // Long credits close their gaps first, then their lines; what still does not fit
    // is summed up in one line.
    float lineStep = 28, gap = 104;
    size_t lineCount = 0;
    for (const CreditSection& sec : sections) lineCount += sec.lines.size();
    auto needed = [&] { return y + float(sections.size()) * (36 + gap) + float(lineCount) * lineStep + 80; };
    if (needed() > kLastVisible) gap = 48;
    if (needed() > kLastVisible && lineCount)
        lineStep = std::max(22.0f, lineStep - (needed() - kLastVisible) / float(lineCount));
    float room = needed() - kLastVisible;
    for (const CreditSection& sec : sections) {
        title.DrawCentred(img, cx, y, sec.heading, Hex(0x7fd8ff), 2);
        y += 36;
        size_t shown = sec.lines.size();
        if (room > 0) {
            size_t cut = std::min(shown, size_t(std::ceil(room / lineStep)) + 1);
            shown -= cut;
            room -= float(cut) * lineStep;
        }
        for (size_t i = 0; i < shown; ++i) {
            Fitted(Sans(), 19, sec.lines[i], textWidth)->DrawCentred(img, cx, y, sec.lines[i], Hex(0xf4eeff));
            y += lineStep;
        }
        if (shown < sec.lines.size()) {
            body.DrawCentred(img, cx, y, "and " + std::to_string(sec.lines.size() - shown) + " more",
                             Hex(0xc9b8ff));
            y += lineStep;
        }
        y += gap;
    }
    y += 80 - gap + 24;
    Font(SansBold(), 34).DrawCentred(img, cx, std::min(y, kLastVisible - 20), "SEE YOU", Hex(0xffffff), 4);
    return img;
}

Image EndLetterbox()
{
    Image img(483, 244, {1, 1, 1, 0});
    for (int y = 0; y < 244; ++y) {
        float t = 1.0f;
        if (y < 48) t = float(y) / 48.0f;
        if (y > 244 - 48) t = float(244 - y) / 48.0f;
        t = t * t * (3 - 2 * t);
        for (int x = 0; x < 483; ++x) img.At(x, y) = {1, 1, 1, t};
    }
    return img;
}

Image TitlePicture(int look, const std::string& titleText, const std::string& artist,
                   const std::string& format, int size)
{
    const float s = float(size);
    const float k = s / 256.0f;
    Image img(size, size, Hex(0x000000));
    Rgba ink = Hex(0xffffff);
    switch (look % 6) {
    case 0: {  // sunset over a grid
        img.Shade([s](float, float y) {
            return Mix(Hex(0x1a0533), Hex(0xff6a3d), std::clamp(y / (s * 0.62f), 0.0f, 1.0f));
        });
        img.FillSdf(
            0, 0, s, s * 0.62f,
            [s](float x, float y) {
                float d = SdCircle(x, y, s * 0.5f, s * 0.6f, s * 0.3f);
                float band = std::fmod(y, s * 0.05f) <
                                     s * 0.05f * std::clamp((y - s * 0.38f) / (s * 0.24f), 0.0f, 0.8f)
                                 ? 1.0f
                                 : -1.0f;
                return band > 0 ? 1.0f : d;
            },
            [s](float, float y) { return Mix(Hex(0xfff27f), Hex(0xff3fa4), (y - s * 0.3f) / (s * 0.3f)); });
        GridFloor(img, s * 0.62f, Hex(0xff3fa4, 0.8f), s * 0.25f);
        break;
    }
    case 1: {  // lanterns in the night
        img.Shade([s](float, float y) { return Mix(Hex(0x050b2a), Hex(0x1a2f5a), y / s); });
        for (int i = 0; i < 9; ++i) {
            float x = (0.12f + 0.8f * Hash2(i, 5, 3)) * s, y = (0.12f + 0.55f * Hash2(i, 6, 3)) * s;
            float r = (0.04f + 0.05f * Hash2(i, 7, 3)) * s;
            img.Glow(x, y, r * 3.5f, Hex(0xffa040, 0.8f), 2.0f);
            img.FillRoundRect(x - r * 0.8f, y - r, x + r * 0.8f, y + r, r * 0.5f, Hex(0xffc870));
            img.Line(x, y - r, x, y - r * 2.2f, 1.0f * k, Hex(0x201008));
        }
        break;
    }
    case 2: {  // pixel-art plane over pixel clouds
        const int px = std::max(1, size / 32);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                int cx = x / px, cy = y / px;
                float sky = float(cy) / 32.0f;
                Rgba c = Mix(Hex(0x2fb5ff), Hex(0xb8f0ff), sky);
                if (ValueNoise(float(cx) / 5.0f, float(cy) / 3.0f, 9) > 0.68f && cy > 6) c = Hex(0xffffff);
                img.At(x, y) = c;
            }
        static const char* plane[8] = {"....##..........", "....###.........", "#...####........",
                                       "##############..", "################", "##.....####.....",
                                       "......###.......", ".....##........."};
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x)
                if (plane[y][x] == '#')
                    img.FillRect(float((8 + x) * px), float((6 + y) * px), float((9 + x) * px),
                                 float((7 + y) * px), Hex(0xff3f3f));
        ink = Hex(0x10204a);
        break;
    }
    case 3: {  // copper rays
        img.Shade([s](float x, float y) {
            float a = std::atan2(y - s * 0.75f, x - s * 0.5f);
            float ray = 0.5f + 0.5f * std::sin(a * 14.0f);
            return Mix(Hex(0x4a1a08), Hex(0xe08a3c), ray * 0.6f + 0.4f * (1 - y / s));
        });
        img.FillCircle(s * 0.5f, s * 0.75f, s * 0.18f, Hex(0xffd27f));
        img.Glow(s * 0.5f, s * 0.75f, s * 0.5f, Hex(0xffe0a0, 0.6f), 2.0f);
        break;
    }
    case 4: {  // ringed planet
        Starfield(img, 77, Hex(0x02030c), Hex(0x0a1430));
        img.FillSdf(
            0, 0, s, s, [s](float x, float y) { return SdCircle(x, y, s * 0.5f, s * 0.42f, s * 0.22f); },
            [s](float x, float y) {
                return Mix(Hex(0x9fe8ff), Hex(0x1a3a8a),
                           std::clamp((x + y - s * 0.5f) / (s * 0.8f), 0.0f, 1.0f));
            });
        img.FillSdf(
            0, 0, s, s,
            [s](float x, float y) {
                float dx = (x - s * 0.5f) / 1.0f, dy = (y - s * 0.42f) / 0.28f;
                float d = std::hypot(dx, dy);
                bool front = y > s * 0.42f || std::hypot(x - s * 0.5f, y - s * 0.42f) > s * 0.22f;
                return front ? std::fabs(d - s * 0.36f) - s * 0.025f : 1.0f;
            },
            Hex(0xe0f4ff, 0.85f));
        break;
    }
    default: {  // arcade checkerboard and neon
        img.Shade([s](float x, float y) {
            bool check = (int(x / (s / 8)) + int(y / (s / 8))) % 2 == 0;
            return Mix(check ? Hex(0x2a0838) : Hex(0x100418), Hex(0x000000), y / s * 0.5f);
        });
        img.StrokeRoundRect(s * 0.12f, s * 0.12f, s * 0.88f, s * 0.6f, s * 0.06f, 3 * k, Hex(0x3ff0ff));
        img.Glow(s * 0.5f, s * 0.36f, s * 0.45f, Hex(0xff3fa4, 0.45f), 2.0f);
        img.StrokeCircle(s * 0.5f, s * 0.36f, s * 0.12f, 3 * k, Hex(0xff3fa4));
        break;
    }
    }
    // Title band: the title, the artist under it when there is one, the format tag.
    const bool withArtist = !artist.empty();
    const float band = withArtist ? 0.64f : 0.72f;
    img.FillRect(0, s * band, s, s, Hex(0x000000, 0.45f));
    const float titleY = withArtist ? 0.77f : 0.85f;
    auto titleFont = Fitted(SansBold(), std::max(8, int(24 * k)), titleText, s * 0.9f);
    const Font& title = *titleFont;
    title.DrawGlow(img, s * 0.5f - title.Measure(titleText) * 0.5f, s * titleY, titleText,
                   Hex(0x000000, 0.9f), std::max(1, int(3 * k)));
    title.DrawCentred(img, s * 0.5f, s * titleY, titleText, ink.r < 0.5f ? Hex(0xffffff) : ink);
    if (withArtist) {
        auto artistFont = Fitted(Sans(), std::max(7, int(17 * k)), artist, s * 0.9f);
        artistFont->DrawCentred(img, s * 0.5f, s * 0.865f, artist, Hex(0xffd6f0));
    }
    Font tag(Mono(), std::max(7, int(12 * k)));
    tag.DrawCentred(img, s * 0.5f, s * 0.95f, format, Hex(0x7fd8ff));
    img.StrokeRoundRect(1, 1, s - 1, s - 1, 0, 2 * k, Hex(0xffffff, 0.35f));
    return img;
}

Image InterfaceBackground()
{
    Image img(1280, 720, Hex(0x000000));
    Starfield(img, 5, Hex(0x04020e), Hex(0x160a2c));
    GridFloor(img, 520, Hex(0xff3fa4, 0.35f), 100);
    // A soft spotlight where the carousel stands.
    img.Glow(654, 330, 360, Hex(0x5f3fbf, 0.45f), 2.0f);
    img.Glow(654, 560, 260, Hex(0x3fd0ff, 0.25f), 2.0f);
    return img;
}

Image InterfaceForeground(const std::string& title)
{
    Image img(1280, 720, {0, 0, 0, 0});
    // Corner brackets and thin edge lines: a frame that leaves the middle clear.
    const Rgba line = Hex(0x7fd8ff, 0.75f);
    img.StrokeRoundRect(12, 12, 1268, 708, 18, 2, Hex(0x7fd8ff, 0.35f));
    const float L = 70;
    const float xs[2] = {16, 1264}, ys[2] = {16, 704};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) {
            float x = xs[i], y = ys[j], dx = i ? -1.0f : 1.0f, dy = j ? -1.0f : 1.0f;
            img.Line(x, y, x + dx * L, y, 4, line);
            img.Line(x, y, x, y + dy * L, 4, line);
        }
    // Top bar with the disk's name.
    img.FillRoundRect(440, 0, 840, 34, 12, Hex(0x0a0418, 0.85f));
    img.StrokeRoundRect(440, -10, 840, 34, 12, 2, Hex(0xff3fa4, 0.8f));
    const std::string name = Caps(title);
    Fitted(SansBold(), 18, name, 380, 3.0f / 18.0f)->DrawCentred(img, 640, 24, name, Hex(0xfdf6ff), 3);
    return img;
}

Image Panel(int w, int h, uint32_t tint)
{
    Image img(w, h, {0, 0, 0, 0});
    const float fw = float(w), fh = float(h);
    img.VerticalGradient(2, 2, fw - 2, fh - 2, Hex(tint, 0.55f), Hex(0x05020c, 0.75f), 14);
    img.StrokeRoundRect(3, 3, fw - 3, fh - 3, 13, 1.5f, Hex(0x7fd8ff, 0.55f));
    img.Line(20, 10, fw - 20, 10, 2, Hex(0xffffff, 0.15f));
    return img;
}

Image Orb(int size, uint32_t colour)
{
    Image img(size, size, {0, 0, 0, 0});
    const float c = float(size) * 0.5f;
    img.Glow(c, c, c, Hex(colour, 1.0f), 2.2f);
    img.FillCircle(c, c, c * 0.28f, Mix(Hex(colour), Hex(0xffffff), 0.6f));
    img.Glow(c - c * 0.1f, c - c * 0.12f, c * 0.2f, Hex(0xffffff, 0.9f), 1.5f);
    return img;
}

Image Amplifier()
{
    Image img(300, 200, {0, 0, 0, 0});
    Bevel(img, 0, 0, 300, 200, 16, Hex(0x3a3550));
    // Meter display where the level columns stand.
    const AmpLayout a;
    img.FillRoundRect(float(a.displayX0 - 6), float(a.displayY0 - 6), float(a.displayX1 + 6),
                      float(a.displayY1 + 6), 8, Hex(0x000000, 0.9f));
    img.VerticalGradient(float(a.displayX0), float(a.displayY0), float(a.displayX1), float(a.displayY1),
                         Hex(0x0a1a14), Hex(0x02080a), 4);
    for (int j = 1; j <= 20; ++j) {
        float y = float(a.displayY1 - 4 - j * 6);
        img.Line(float(a.displayX0 + 2), y, float(a.displayX1 - 2), y, 1, Hex(0x1f3a2a, 0.6f));
    }
    Font label(SansBold(), 14), small(Sans(), 11);
    label.Draw(img, 172, 36, "MIVOLA", Hex(0xfdf6ff), 2);
    small.Draw(img, 172, 54, "stereo amplifier", Hex(0xc9b8ff));
    // Two painted knobs.
    for (int i = 0; i < 2; ++i) {
        float x = 190.0f + float(i) * 62, y = 86;
        img.FillCircle(x, y, 17, Hex(0x15121f));
        img.FillCircle(x, y, 14, Hex(0x9a96aa));
        img.Line(x, y, x + 8 * std::cos(-kPi * 0.3f - float(i)), y + 8 * std::sin(-kPi * 0.3f - float(i)),
                 2.5f, Hex(0x15121f));
    }
    small.Draw(img, 172, 184, "prev", Hex(0xc9b8ff));
    small.Draw(img, 240, 184, "next", Hex(0xc9b8ff));
    img.FillCircle(284, 16, 3.5f, Hex(0x7dffb0));
    return img;
}

Image AmpButton(int direction)
{
    Image img(56, 44, {0, 0, 0, 0});
    Bevel(img, 0, 0, 56, 44, 9, Hex(0x5a4a8a));
    // Double triangle pointing the way of the turn.
    const float d = float(direction);
    for (int k = 0; k < 2; ++k) {
        float tip = 28 + d * (4 + 10 * float(k) - 4), back = tip - d * 12;
        img.FillSdf(
            0, 0, 56, 44,
            [=](float x, float y) {
                // Inside when behind the tip and within the slanted edges.
                float u = (x - back) * d, v = std::fabs(y - 22);
                float depth = 12;
                if (u < 0 || u > depth) return 1.0f;
                return v - (depth - u) * 0.7f;
            },
            Hex(0xfdf6ff));
    }
    return img;
}

Image VuBlock()
{
    Image img(16, 6, {0, 0, 0, 0});
    img.FillRoundRect(2, 1, 14, 5, 1, Hex(0x7dffb0));
    img.FillRect(3, 1.5f, 13, 2.5f, Hex(0xeafff2, 0.8f));
    return img;
}

Image ScrollerPanel()
{
    Image img(240, 40, {0, 0, 0, 0});
    img.FillRoundRect(1, 1, 239, 39, 10, Hex(0x05020c, 0.8f));
    img.StrokeRoundRect(2, 2, 238, 38, 9, 1.5f, Hex(0xff3fa4, 0.7f));
    return img;
}

Image ScreenPlaceholder(int slot)
{
    Image img(128, 128, Hex(0x000000));
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            float n = Hash2(x, y, uint32_t(100 + slot));
            img.At(x, y) = Mix(Hex(0x202028), Hex(0xc0c0d0), n);
        }
    Font f(SansBold(), 14);
    img.FillRect(14, 52, 114, 76, Hex(0x000000, 0.8f));
    f.DrawCentred(img, 64, 70, "NO SIGNAL " + std::to_string(slot), Hex(0xffffff));
    return img;
}

Image CarouselBody()
{
    // Brushed dark metal with a neon stripe, tiled on the stand.
    Image img(256, 256, Hex(0x000000));
    img.Shade([](float x, float y) {
        float b = Fbm(x / 200.0f, y / 2.5f, 31, 3);
        return Mix(Hex(0x2a2838), Hex(0x6a6880), b);
    });
    img.FillRect(0, 120, 256, 136, Hex(0xff3fa4));
    img.FillRect(0, 124, 256, 132, Hex(0xffc0e0));
    return img;
}

Image Badge(const std::string& text)
{
    Image img = Panel(120, 36, 0x3a1a4a);
    Fitted(SansBold(), 13, text, 84, 2.0f / 13.0f)->DrawCentred(img, 64, 23, text, Hex(0x7fd8ff), 2);
    img.FillCircle(16, 18, 4, Hex(0xff3fa4));
    return img;
}
