// The fixed part of every disk besides its two XML files: the shell's own
// pictures and songs, how long the intro and the end screen run, and the layer
// type names "interface.xml" may use. The program, the disk maker, the disk
// checker and the demo generator all read them from here.
#pragma once

#include <cstddef>
#include <cwchar>

namespace disk {

// The intro runs on its song's clock and hands over to the interface here;
// the interface's layers then fade in over kInterfaceEntrySeconds.
constexpr int kIntroSeconds = 37;
constexpr int kInterfaceEntrySeconds = 3;
// The end screen's veil is black at this second of its song.
constexpr int kEndSeconds = 48;

// The shell's files: the loading screen, then the intro's and the end screen's
// media in the order the program loads them after the catalogue.
enum ShellFile {
    LoadingScreen,
    IntroSong,
    IntroBackground,
    IntroKnob,
    IntroDial,
    IntroForeground,
    StartScreen,
    Invader1,
    Invader2,
    Invader3,
    EndBackground,
    EndScroller,
    EndSong,
    EndLetterbox,
    kShellFileCount
};

struct ShellFileInfo {
    const char* path;         // relative to the disk folder, '/' separated
    const wchar_t* widePath;  // the same, as the program opens it
    const char* role;         // what it is, in words for people
    bool song;                // a song (module or stream) rather than a picture
    bool fullScreen;          // a picture that fills the 1280 x 720 interface
};

const ShellFileInfo& Shell(ShellFile file);

// The layer types of "interface.xml", each an element's "type" attribute.
enum LayerType { LayerSimple, LayerControl, LayerVu, LayerScroller, LayerMonitor, kLayerTypeCount, LayerUnknown };

const char* LayerTypeName(LayerType type);
LayerType LayerTypeOf(const char* name);
LayerType LayerTypeOf(const wchar_t* name);
// "layer, ampcontrol, vu, tinyscroll, monitor", for messages.
const char* LayerTypeList();

}  // namespace disk
