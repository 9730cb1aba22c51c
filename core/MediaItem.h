// One picture, tracker module or sample stream, held by value by its owner.
#pragma once

#include "platform/d3dx9/d3dx9.h"

#include <cstdint>

struct Scene;

enum MediaKind : int32_t {
    MediaNone = 0,
    MediaModule = 1,           // tracker module (BASS_MusicLoad)
    MediaStream = 2,           // sample stream (BASS_StreamCreateFile)
    MediaImage = 3,            // picture resampled over the whole texture
    MediaImageUnfiltered = 4,  // picture copied 1:1 into the texture's top-left corner
};

// What the item holds: a channel for kinds 1 and 2, the owned texture for kinds 3
// and 4; the monitor keeps its scene here.
union MediaHandle {
    DWORD channel;
    IDirect3DTexture9* texture;
    Scene* scene;
};

struct MediaItem {
    WCHAR path[260];  // relative to the working directory
    int32_t kind;     // a MediaKind
    MediaHandle handle;
    D3DXIMAGE_INFO imageInfo;     // pictures: the file's own size and format
    int32_t lengthMs;             // audio: playing time
    DWORD endSync;                // audio: the song player's end-of-song sync
    D3DSURFACE_DESC surfaceDesc;  // pictures: level 0 of the created texture
};
