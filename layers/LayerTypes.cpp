#include "layers/LayerTypes.h"

#include "layers/ArtshowControlLayer.h"
#include "layers/ArtshowMonitor.h"
#include "layers/ArtshowSimpleLayer.h"
#include "layers/ArtshowTinyScroll.h"
#include "layers/ArtshowVU.h"

#include <cwchar>

ArtshowLayer* CreateLayer(const WCHAR* type)
{
    if (!type) return nullptr;
    auto is = [type](const WCHAR* name) { return std::wcscmp(type, name) == 0; };
    if (is(L"layer")) return new ArtshowSimpleLayer();
    if (is(L"ampcontrol")) return new ArtshowControlLayer();
    if (is(L"vu")) return new ArtshowVU();
    if (is(L"tinyscroll")) return new ArtshowTinyScroll();
    if (is(L"monitor")) {
        monitor.persistent = 1;
        return &monitor;
    }
    return nullptr;
}
