#include "layers/LayerTypes.h"

#include "core/DiskLayout.h"
#include "layers/ArtshowControlLayer.h"
#include "layers/ArtshowMonitor.h"
#include "layers/ArtshowSimpleLayer.h"
#include "layers/ArtshowTinyScroll.h"
#include "layers/ArtshowVU.h"

ArtshowLayer* CreateLayer(const WCHAR* type)
{
    switch (disk::LayerTypeOf(type)) {
    case disk::LayerSimple:
        return new ArtshowSimpleLayer();
    case disk::LayerControl:
        return new ArtshowControlLayer();
    case disk::LayerVu:
        return new ArtshowVU();
    case disk::LayerScroller:
        return new ArtshowTinyScroll();
    case disk::LayerMonitor:
        monitor.persistent = 1;
        return &monitor;
    default:
        break;
    }
    return nullptr;
}
