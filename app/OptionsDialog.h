// The options dialog: fullscreen, multisampling and low video RAM mode, chosen
// once per run before anything else is created.
#pragma once

#include "core/EngineSettings.h"

#include <string>

// Dialog resource 101 and its controls.
constexpr int kOptionsDialogId = 101;
constexpr int kIdRun = 1;      // "1": run with the chosen options
constexpr int kIdQuit = 2;     // "0": quit (also close and Escape)
constexpr int kIdWebSite = 3;  // opens the web site; the dialog stays open
constexpr int kIdMultisample = 1000;
constexpr int kIdFullscreen = 1001;
constexpr int kIdLowVideoRam = 1002;
constexpr int kIdObscure = 1003;  // never read

// What the web-site button opens: the disk's own address (the "url" attribute of
// art.xml's root) when it is an http:// or https:// address, else the disk's README
// as a file:// address; empty when the disk has neither. Read from the working
// directory each time, since the dialog opens before the catalogue is read.
std::wstring WebSiteAddress();

// The settings the dialog procedure reads and writes; set before the dialog opens.
extern EngineSettings* dialogSettings;

// Hands the Win32 stand-in the program's resources: the options dialog's
// template and picture, and the window icon. Called once before the dialog opens.
void RegisterProgramResources();

INT_PTR OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
