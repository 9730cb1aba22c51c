// The parts of the catalogue loader below LoadXML: reading an already loaded
// document. LoadXML adds the file handling and the fatal message; tests and the
// fuzzer call these directly.
#pragma once

#include "data/ArtshowData.h"
#include "data/ArtshowLayer.h"
#include "data/XmlAccess.h"

// Reads the songs and interface sections of one document into the catalogue,
// making each interface element's layer with createLayer.
void ReadCatalogue(ArtshowData& catalogue, XmlNode documentNode, const WCHAR* fileName,
                   LayerFactory createLayer);

// Reads the songs' render settings from the document that gave the catalogue
// its songs (once; a later document changes nothing). False at a value that
// is not allowed, with "FILE:LINE: ..." naming the attribute in `error`.
bool ReadRenderSettings(ArtshowData& catalogue, XmlNode documentNode, const WCHAR* fileName,
                        std::wstring& error);

// Frees the song arrays and the owned layers and empties the catalogue (the
// image list included) so it can be read again.
void ClearCatalogue(ArtshowData& catalogue);

// The window that load-failure message boxes belong to (null before it exists).
HWND MainWindow();
