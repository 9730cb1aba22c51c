// The pictures of the content folder, each drawn by code.
#pragma once

#include "tools/contentgen/Image.h"

#include <string>
#include <vector>

// Shell pictures (sizes the screens rely on).
Image LoadingScreen();
Image IntroBackground();
Image IntroDial();          // 2048-pixel strip that repeats seamlessly
Image IntroForeground();    // radio front with a transparent window over the dial
Image IntroKnob();          // square, turns about its centre
Image StartScreen();
Image Invader(int pose);    // 0, 1, 2: the same creature in three poses
Image EndBackground();      // window at (392, 221)-(875, 465)
Image EndScroller(const std::vector<std::string>& songTitles);  // 483 x 2048 credits
Image EndLetterbox();       // 483 x 244 alpha mask

// Title picture of a song: square, `size` a power of two; `look` picks the style.
Image TitlePicture(int look, const std::string& title, const std::string& format, int size);

// Interface pieces.
Image InterfaceBackground();
Image InterfaceForeground();
Image Panel(int w, int h, uint32_t tint);
Image Orb(int size, uint32_t colour);
Image Amplifier();          // 300 x 200 with the meter display at (36..148, 30..160)
Image AmpButton(int direction);  // -1 previous, 1 next
Image VuBlock();            // 16 x 6
Image ScrollerPanel();      // 240 x 40 behind the text scroller
Image Badge();             // 120 x 36 label in the top-left corner

// Scene textures.
Image ScreenPlaceholder(int slot);
Image CarouselBody();

// Placement shared by the pictures and the interface description.
struct AmpLayout {
    static constexpr int x = 940, y = 470;            // amplifier top-left
    static constexpr int displayX0 = 36, displayY0 = 30, displayX1 = 148, displayY1 = 160;
    static constexpr int vuX = x + 28, vuY = y + 156;  // meter columns at vuX + i*16, blocks up from vuY
    static constexpr int prevX = x + 172, nextX = x + 234, buttonY = y + 120;
};
