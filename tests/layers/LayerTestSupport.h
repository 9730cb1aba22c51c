// Shared pieces of the layer tests: a headless device with the program's
// start-up states, frame capture, pictures made in code, XML elements from
// text, and generated sounds playing through the audio stand-in.
#pragma once

#include "data/MediaItem.h"
#include "data/XmlAccess.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace layertest {

struct Rgba {
    uint8_t r, g, b, a;
};

// Device, quad drawer and audio library, made once per process.
void InitDevice();
// Clears to the colour and sets the states the program starts its screens with.
void BeginFrame(uint32_t clearColor);
// Ends the scene, presents (the virtual clock moves on by one frame) and
// returns the frame, 1280 x 720, rows top first.
const std::vector<Rgba>& EndFrame();
Rgba Pixel(int x, int y);

// A kind-4 picture of w x h in the top-left corner of a power-of-two texture;
// texel(x, y) gives A8R8G8B8. Replaces the item's texture if it has one.
void MakePicture(MediaItem& item, int w, int h, std::function<uint32_t(int, int)> texel);
void FreePicture(MediaItem& item);

// The first element of a document written from text to a temporary file.
XmlNode ElementFromText(const std::wstring& xml);

// A song (kind 2) playing a stream generated from a sample function of the
// frame index (values -1..1, both channels). Stops and frees the previous one.
MediaItem* PlayGenerated(std::function<float(int64_t)> sample, double seconds = 2.0);
void StopGenerated();

std::string OutputDir();   // where tests leave pictures to look at
// Writes part of the last frame, each pixel scaled up to scale x scale, as a PNG.
void SaveCrop(const std::string& name, int x, int y, int w, int h, int scale = 1);

}  // namespace layertest
