// The engine's quad drawer: every flat picture is one textured rectangle drawn
// from a single unit-square vertex buffer, placed by the world transform. One
// global instance, quad.
#pragma once

#include "core/MediaItem.h"
#include "gfx/kpxD3D.h"

#include <cstdint>

// Flexible vertex format 0x252: position, normal, diffuse colour, two
// texture-coordinate sets.
struct QuadVertex {
    float x, y, z;
    float nx, ny, nz;
    D3DCOLOR color;
    float u0, v0;
    float u1, v1;
};
static_assert(sizeof(QuadVertex) == 44, "QuadVertex must match the 0x252 vertex layout");

constexpr DWORD kQuadFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2;

class kpxQuad {
public:
    IDirect3DDevice9* device = nullptr;
    kpxD3D* owner = nullptr;
    IDirect3DVertexBuffer9* vertexBuffer = nullptr;

    kpxQuad() = default;
    kpxQuad(const kpxQuad&) = delete;
    kpxQuad& operator=(const kpxQuad&) = delete;
    ~kpxQuad();

    // Creates and fills the vertex buffer on the display's device.
    void Init(kpxD3D* display);
    void Init(kpxD3D& display) { Init(&display); }

    // Draws the unit square through the current world, view and projection.
    void Submit();
    // The current texture over a rectangle in normalised viewport coordinates
    // (0..1, origin top-left, y down).
    void Draw(float left, float top, float right, float bottom);
    // The picture at its natural size, its top-left corner at (x, y) interface pixels.
    void DrawImage(const MediaItem& item, float x, float y);
    // The same for a picture copied unscaled into the top-left corner of a larger
    // texture: only the picture's part of the texture is shown.
    void DrawImageAligned(const MediaItem& item, float x, float y);

    // Releases the vertex buffer (the destructor does it at process exit, before
    // the device object's release).
    void Release();
};

extern kpxQuad quad;
