// The parts of the catalogue loader below LoadXML: creating a layer by its type
// name and reading an already loaded document. LoadXML adds the file handling
// and the fatal message; tests and the fuzzer call these directly.
#pragma once

#include "data/ArtshowData.h"
#include "data/XmlAccess.h"

class ArtshowLayer;

// A new layer for "layer", "ampcontrol", "vu" and "tinyscroll", the one monitor
// for "monitor" (persistent set to 1); null for any other name.
ArtshowLayer* CreateLayer(const WCHAR* type);

// Reads the songs and interface sections of one document into the catalogue.
void ReadCatalogue(ArtshowData& catalogue, XmlNode documentNode, const WCHAR* fileName);

// Frees the song arrays and the owned layers and empties the catalogue (the
// image list included) so it can be read again.
void ClearCatalogue(ArtshowData& catalogue);

// The window that load-failure message boxes belong to (null before it exists).
HWND MainWindow();
