// The program's resources as the Win32 stand-in serves them: dialog templates
// (DialogBoxParamW), the bitmaps of their picture controls and the window icon.
// The stand-in knows nothing of their contents: the program hands them over once
// at start-up with SetProgramResources, before its first dialog or window.
// Positions and sizes of dialog templates are dialog units.
#pragma once

#include <cstdint>
#include <vector>

namespace res {

enum class ControlKind { DefPushButton, PushButton, StaticBitmap, AutoCheckBox };

struct DialogControl {
    int id;
    ControlKind kind;
    const wchar_t* text;
    int x, y, width, height;
    int bitmapId;  // StaticBitmap: the picture's resource number
    bool tabStop;
};

struct DialogTemplate {
    int id;
    const wchar_t* caption;
    const wchar_t* fontFace;
    int pointSize;
    int width, height;
    bool centered;
    bool toolWindow;
    const DialogControl* controls;  // in tab order
    int controlCount;
};

}  // namespace res

namespace win32 {

struct ProgramResources {
    // The template of a dialog resource; null for an unknown id.
    const res::DialogTemplate* (*findDialog)(int id) = nullptr;
    // A bitmap resource as rows top first, bytes B, G, R; false for an unknown id.
    bool (*loadBitmap)(int id, std::vector<uint8_t>& bgr, int& width, int& height) = nullptr;
    // The window icon as size x size RGBA pixels.
    void (*renderIcon)(int size, uint8_t* rgba) = nullptr;
};

void SetProgramResources(const ProgramResources& resources);
const ProgramResources& GetProgramResources();

}  // namespace win32
