// Start-up settings: the interface size and the options dialog's choices.
#pragma once

#include "platform/win32/win32.h"

#include <cstdint>

struct EngineSettings {
    int32_t width = 1280;     // interface width; viewport width and divisor for pixel x
    int32_t height = 720;     // interface height; viewport height and divisor for pixel y
    int32_t colorDepth = 32;  // colour depth asked of a fullscreen back buffer
    int32_t windowed = 0;     // 1: a captioned window; 0: fullscreen
    int32_t multisample = 1;  // 1: look for a multisample type
    int32_t lowVideoRam = 0;  // 1: textures in the managed pool
    HINSTANCE instance = nullptr;
};

extern EngineSettings settings;
