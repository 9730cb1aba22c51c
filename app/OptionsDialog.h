// The options dialog: fullscreen, multisampling and low video RAM mode, chosen
// once per run before anything else is created.
#pragma once

#include "app/EngineSettings.h"

// Dialog resource 101 and its controls.
constexpr int kOptionsDialogId = 101;
constexpr int kIdRun = 1;              // "1": run with the chosen options
constexpr int kIdQuit = 2;             // "0": quit (also close and Escape)
constexpr int kIdWebSite = 3;          // opens the web site; the dialog stays open
constexpr int kIdMultisample = 1000;
constexpr int kIdFullscreen = 1001;
constexpr int kIdLowVideoRam = 1002;
constexpr int kIdObscure = 1003;       // never read

// The address the web-site button opens.
extern const WCHAR kWebSiteAddress[];

// The settings the dialog procedure reads and writes; set before the dialog opens.
extern EngineSettings* dialogSettings;

INT_PTR OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
