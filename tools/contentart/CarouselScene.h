// The carousel scene: a four-sided stand whose faces show the songs' title pictures,
// built around the monitor's turn axis for its fixed camera, written as a .3ds file.
#pragma once

#include <string>

// Scene coordinates are Y-up; the file is written Z-up.
struct CarouselGeometry {
    static constexpr float pivotX = -0.147f, pivotY = 27.641f, pivotZ = 133.806f;
    static constexpr float half = 36.0f;           // half width of the stand
    static constexpr float screenHalf = 30.0f;     // half size of a screen face
    static constexpr float screenCentreY = 64.0f;  // height of the screens' centres
};

// The placeholder texture file of each screen slot (0 faces the camera at rest, 1 comes to
// the front after a forward quarter turn, 2 is opposite 0, 3 the remaining side).
std::string ScreenTextureName(int slot);
constexpr const char* kBodyTexture = "body.png";

// Writes the .3ds file; returns false when it cannot be written.
bool WriteCarousel(const std::string& path);
