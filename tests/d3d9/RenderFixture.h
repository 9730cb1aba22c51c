// A headless device with a quad drawer of its own, and the presented frame.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9.h"

struct Rgba {
    int r, g, b, a;
};

// The 44-byte vertex of format 0x252.
struct Vertex {
    float x, y, z, nx, ny, nz;
    D3DCOLOR color;
    float u0, v0, u1, v1;
};
static_assert(sizeof(Vertex) == 44);

class RenderFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A device for a back buffer of this size (fullscreen when not windowed).
    void CreateDevice(UINT width, UINT height, bool windowed = true,
                      D3DMULTISAMPLE_TYPE samples = D3DMULTISAMPLE_NONE);
    // The unit square from (l, t) to (r, b) in 0..1 viewport units, as the
    // engine draws it: ortho projection, scaled and moved by the world matrix.
    void Draw(float l, float t, float r, float b, float z = 1.0f, float zOffset = 0.0f);
    // A texture filled by fill(x, y) -> 0xAARRGGBB.
    template <class F>
    IDirect3DTexture9* MakeTexture(UINT w, UINT h, F fill, D3DFORMAT format = D3DFMT_A8R8G8B8);
    // Presents and returns the frame (RGBA rows, top first).
    void Present();
    Rgba At(int x, int y) const;
    void SavePng(const std::string& name) const;
    // The device as the engine sets it up for flat drawing.
    void FlatState();

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    IDirect3DVertexBuffer9* quad = nullptr;
    std::vector<uint8_t> frame;
    int frameWidth = 0, frameHeight = 0;
    UINT viewWidth = 1280, viewHeight = 720;
};

template <class F>
IDirect3DTexture9* RenderFixture::MakeTexture(UINT w, UINT h, F fill, D3DFORMAT format)
{
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(device->CreateTexture(w, h, 1, 0, format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < h; ++y)
        for (UINT x = 0; x < w; ++x)
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch)[x] = fill(x, y);
    EXPECT_EQ(t->UnlockRect(0), D3D_OK);
    return t;
}

inline int Channel(D3DCOLOR c, int shift) { return int((c >> shift) & 0xFF); }
