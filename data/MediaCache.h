// Loading and releasing media items. Every load failure is fatal: a log line
// naming the file and the reason, a message box with the item's path, then the
// process ends with status 1.
#pragma once

#include "core/MediaItem.h"

#include <cstdint>
#include <string>

struct ArtshowData;
struct SongSettings;

// kind 4: unfiltered copy; any other kind becomes 3 (filtered). The textures of
// all loaded pictures together stay within the texture budget: the picture
// that would break it fails to load.
void LoadImage(MediaItem& item, IDirect3DDevice9* device);
// The texture budget in bytes: 1 GiB unless set (tests set less).
void SetTextureBudget(uint64_t bytes);
uint64_t TextureBudget();
// Module first; a file that is not a module (code 41) is opened as a stream.
// With settings, they are applied before it first plays.
void LoadAudio(MediaItem& item, const SongSettings* settings = nullptr);
// A song's length in milliseconds, saturated to 0..INT32_MAX (a damaged file can
// claim to last for years, or give no sensible length).
int32_t SongLengthMs(double seconds);
// Ends the run over an item that cannot be loaded, as described above; reason
// says what went wrong.
[[noreturn]] void FailLoad(const MediaItem& item, const WCHAR* caption, const std::string& reason);
// Releases an item of kind 1 to 4 with its log line.
void UnloadMedia(MediaItem& item);
// Adds the picture to data.imageList for PreloadAll.
void RegisterImage(MediaItem* item);
// Opens every song and creates every registered picture, calling
// drawLoadingFrame with the progress (0.3 to 0.9) after each.
void PreloadAll(ArtshowData& data, IDirect3DDevice9* device, void (*drawLoadingFrame)(float progress));
void UnloadAll(ArtshowData& data);
