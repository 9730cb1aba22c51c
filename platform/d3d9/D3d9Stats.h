// Counters and hooks of the Direct3D 9 stand-in, for tests and benchmarks.
#pragma once

#include <cstdint>
#include <vector>

struct IDirect3DDevice9;

namespace d3d9 {

struct Stats {
    uint64_t shaderCompiles = 0;    // GL programs linked (one per stage/lighting setup)
    uint64_t glObjectsCreated = 0;  // textures, buffers, framebuffers, vertex arrays
    uint64_t allocations = 0;       // heap allocations made by device calls
    uint64_t drawCalls = 0;         // glDrawArrays / glDrawElements issued
    uint64_t uniformUploads = 0;    // glUniform* calls
    uint64_t presents = 0;
    uint64_t multisampledPixels = 0;  // back buffer pixels copied into the multisampled target
};

const Stats& GetStats();
void ResetStats();

// When set, CreateDevice with D3DCREATE_HARDWARE_VERTEXPROCESSING fails with
// D3DERR_NOTAVAILABLE (software vertex processing still succeeds), so callers'
// fallback can be tested.
void SetFailHardwareVertexProcessing(bool fail);

// Multisampled back buffers: every draw goes to the multisampled target, as
// when each pixel paid for its samples (for comparisons and benchmarks).
void SetMultisampleEverything(bool on);
bool MultisampleEverything();

// Every frame drawn whole, never only where it changed since the previous one
// (for comparisons and benchmarks).
void SetRedrawEverything(bool on);
bool RedrawEverything();

// Texture memory the device hands out before CreateTexture answers
// D3DERR_OUTOFVIDEOMEMORY (0: no limit).
void SetTextureMemoryLimit(uint64_t bytes);

// Live runs: the back buffer as Present puts it into the device's window (RGBA,
// top row first, the window's drawable size). False without a window.
bool ReadPresentedWindow(IDirect3DDevice9* device, std::vector<uint8_t>& rgba, int& width, int& height);

}  // namespace d3d9
