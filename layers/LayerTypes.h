// The layer classes by the type names "interface.xml" gives its elements.
#pragma once

#include "data/ArtshowLayer.h"

// A new layer for "layer", "ampcontrol", "vu" and "tinyscroll", the one monitor
// for "monitor" (persistent set to 1); null for any other name. The catalogue
// loader takes it as its LayerFactory.
ArtshowLayer* CreateLayer(const WCHAR* type);
