// The catalogue: songs with their title pictures, the interface layers and the
// pictures to create behind the loading screen.
#pragma once

#include "core/MediaItem.h"
#include "data/ArtshowLayer.h"
#include "data/SongSettings.h"

#include <cstdint>

struct SongLabel {
    WCHAR title[260];
    WCHAR artist[260];
};

constexpr int kMaxLayers = 256;
constexpr int kMaxImages = 512;

struct ArtshowData {
    float anchors[8][2];  // named by "relativepos"; nothing reads them
    int32_t songCount;
    MediaItem* songs;      // songCount items, owned
    MediaItem* titlePics;  // songCount items, owned
    int32_t layerCount;
    ArtshowLayer* layers[kMaxLayers];  // drawing order; owns every non-persistent layer
    int32_t imageCount;
    MediaItem* imageList[kMaxImages];  // not owned
    // What the songs' optional "title" and "artist" attributes say (empty when not
    // given), for the log and the desktop; songLabelCount entries, owned.
    int32_t songLabelCount;
    SongLabel* songLabels;
    // How each song is rendered (songCount entries, owned), read with the songs.
    SongSettings* songSettings;

    // Reads one of the two catalogue files, making its layers with createLayer; a
    // file that cannot be loaded ends the program.
    void LoadXML(const WCHAR* file, LayerFactory createLayer);
};

extern ArtshowData data;
