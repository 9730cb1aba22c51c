#include "core/DiskLayout.h"

#include <cstring>
#include <string>

namespace disk {

namespace {

#define SHELL(path, role, song, full) {path, L"" path, role, song, full}
const ShellFileInfo kShell[kShellFileCount] = {
    SHELL("interface/loadingscreen.png", "loading screen", false, true),
    SHELL("intro/Radio_Mivola.mp3", "intro song", true, false),
    SHELL("intro/background.png", "intro background", false, true),
    SHELL("intro/button.png", "intro knob", false, false),
    SHELL("intro/dial.png", "intro dial strip", false, false),
    SHELL("intro/foreground.png", "intro foreground", false, true),
    SHELL("intro/startscreen.png", "start screen", false, true),
    SHELL("intro/invader2c.png", "invader", false, false),
    SHELL("intro/invader2d.png", "invader", false, false),
    SHELL("intro/invader2e.png", "invader", false, false),
    SHELL("endscreen/background.png", "end screen background", false, true),
    SHELL("endscreen/scroller.png", "end scroller", false, false),
    SHELL("endscreen/sundrelle.ogg", "end song", true, false),
    SHELL("endscreen/letterbox.png", "end letterbox", false, false),
};
#undef SHELL

const char* const kLayerNames[kLayerTypeCount] = {"layer", "ampcontrol", "vu", "tinyscroll", "monitor"};

}  // namespace

const ShellFileInfo& Shell(ShellFile file)
{
    return kShell[file];
}

const char* LayerTypeName(LayerType type)
{
    return type >= 0 && type < kLayerTypeCount ? kLayerNames[type] : "";
}

LayerType LayerTypeOf(const char* name)
{
    if (!name) return LayerUnknown;
    for (int i = 0; i < kLayerTypeCount; ++i)
        if (std::strcmp(name, kLayerNames[i]) == 0) return static_cast<LayerType>(i);
    return LayerUnknown;
}

LayerType LayerTypeOf(const wchar_t* name)
{
    if (!name) return LayerUnknown;
    for (int i = 0; i < kLayerTypeCount; ++i) {
        // The names are ASCII: compare character by character.
        const char* n = kLayerNames[i];
        size_t k = 0;
        while (n[k] && name[k] == static_cast<wchar_t>(n[k])) ++k;
        if (!n[k] && !name[k]) return static_cast<LayerType>(i);
    }
    return LayerUnknown;
}

const char* LayerTypeList()
{
    static const std::string list = [] {
        std::string joined;
        for (const char* name : kLayerNames) joined += (joined.empty() ? "" : ", ") + std::string(name);
        return joined;
    }();
    return list.c_str();
}

}  // namespace disk
