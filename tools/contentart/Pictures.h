// The pictures of the content folder, each drawn by code.
#pragma once

#include "tools/contentart/Image.h"

#include <string>
#include <vector>

// Shell pictures (sizes the screens rely on). `title` is the disk's name, drawn in
// capitals and shrunk to fit; `subtitle` the line under it.
Image LoadingScreen(const std::string& title = "Mivola",
                    const std::string& subtitle = "a music disk  \xc2\xb7  rmx 001");
Image IntroBackground();
// 2048-pixel strip that repeats seamlessly; `station` names the stop where the tuning ends.
Image IntroDial(const std::string& station = "Mivola FM");
// Radio front with a transparent window over the dial and `brand` on it.
Image IntroForeground(const std::string& brand = "Mivola");
Image IntroKnob();  // square, turns about its centre
Image StartScreen(const std::string& title = "Mivola",
                  const std::string& subtitle = "music disk  \xc2\xb7  rmx 001");
Image Invader(int pose);  // 0, 1, 2: the same creature in three poses
Image EndBackground();    // window at (392, 221)-(875, 465)
// 512 x 2048 credits: the title, the subtitle, then each section's heading and lines.
struct CreditSection {
    std::string heading;
    std::vector<std::string> lines;
};
Image EndScroller(const std::string& title, const std::string& subtitle,
                  const std::vector<CreditSection>& sections);
Image EndLetterbox();  // 483 x 244 alpha mask

// Title picture of a song: square, `size` a power of two; `look` picks the style. The
// artist line is left out when empty; `format` is a small tag at the bottom.
Image TitlePicture(int look, const std::string& title, const std::string& artist, const std::string& format,
                   int size);

// Interface pieces.
Image InterfaceBackground();
Image InterfaceForeground(const std::string& title = "Mivola  rmx 001");
Image Panel(int w, int h, uint32_t tint);
Image Orb(int size, uint32_t colour);
Image Amplifier();                                  // 300 x 200 with the meter display at (36..148, 30..160)
Image AmpButton(int direction);                     // -1 previous, 1 next
Image VuBlock();                                    // 16 x 6
Image ScrollerPanel();                              // 240 x 40 behind the text scroller
Image Badge(const std::string& text = "DISK 001");  // 120 x 36 label in the top-left corner

// Scene textures.
Image ScreenPlaceholder(int slot);
Image CarouselBody();

// Placement shared by the pictures and the interface description.
struct AmpLayout {
    static constexpr int x = 940, y = 470;  // amplifier top-left
    static constexpr int displayX0 = 36, displayY0 = 30, displayX1 = 148, displayY1 = 160;
    static constexpr int vuX = x + 28, vuY = y + 156;  // meter columns at vuX + i*16, blocks up from vuY
    static constexpr int prevX = x + 172, nextX = x + 234, buttonY = y + 120;
};
