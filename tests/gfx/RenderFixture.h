// A virtual (headless) run with the device object and the quad drawer, the log
// captured and every presented frame kept.
#pragma once

#include "app/EngineSettings.h"
#include "gfx/kpxD3D.h"
#include "gfx/kpxQuad.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct Frame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
    // 0xRRGGBB of a pixel.
    uint32_t Rgb(int x, int y) const;
};

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Sets the global settings and runs Init on a fresh device object.
    int Start(bool windowed, bool multisample);
    // The quad drawer on the started device.
    kpxQuad& Quad();
    // Clears the viewport, runs draw inside a scene, presents and returns the frame.
    template <typename F>
    const Frame& Render(F draw)
    {
        IDirect3DDevice9* device = d3dObject->device;
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00000000, 1.0f, 0);
        device->BeginScene();
        draw();
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
        return frame;
    }
    // Stage 0 draws the texture factor's colour, opaque, without a texture.
    void SolidColour(D3DCOLOR colour);
    // A texture of the given size filled by fill(x, y) -> 0xAARRGGBB.
    template <typename F>
    IDirect3DTexture9* MakeTexture(UINT width, UINT height, F fill);

    std::string log;
    Frame frame;
    int frames = 0;
    std::unique_ptr<kpxD3D> d3dObject;
    std::unique_ptr<kpxQuad> quadObject;
    std::vector<IDirect3DTexture9*> textures;
};

template <typename F>
IDirect3DTexture9* RenderTest::MakeTexture(UINT width, UINT height, F fill)
{
    IDirect3DTexture9* texture = nullptr;
    if (d3dObject->device->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                         &texture, nullptr) != D3D_OK)
        return nullptr;
    D3DLOCKED_RECT locked{};
    if (texture->LockRect(0, &locked, nullptr, 0) == D3D_OK) {
        for (UINT y = 0; y < height; ++y) {
            uint8_t* row = static_cast<uint8_t*>(locked.pBits) + size_t(y) * size_t(locked.Pitch);
            for (UINT x = 0; x < width; ++x) {
                uint32_t argb = fill(int(x), int(y));
                row[x * 4 + 0] = uint8_t(argb);
                row[x * 4 + 1] = uint8_t(argb >> 8);
                row[x * 4 + 2] = uint8_t(argb >> 16);
                row[x * 4 + 3] = uint8_t(argb >> 24);
            }
        }
        texture->UnlockRect(0);
    }
    textures.push_back(texture);
    return texture;
}
