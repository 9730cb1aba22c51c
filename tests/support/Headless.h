// The headless render harness of every render test: a virtual run whose
// presented frames land in `frame`, with either a bare device (the Direct3D 9
// stand-in on its own) or the engine's device object `d3d` and quad drawer
// `quad` started as the program starts them.
#pragma once

#include "core/MediaItem.h"
#include "gfx/kpxD3D.h"
#include "gfx/kpxQuad.h"
#include "tests/support/Frame.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace support {

class Headless {
public:
    // A virtual run at 60 frames a second; the log goes to `log`.
    void Start();
    // Releases the textures made here, the device and the engine's objects, and
    // resets the host. A bare device must then be free of other references.
    void Stop();

    // A bare device for a back buffer of this size (fullscreen when not windowed).
    void CreateDevice(UINT width, UINT height, bool windowed = true,
                      D3DMULTISAMPLE_TYPE samples = D3DMULTISAMPLE_NONE);
    // The engine's `d3d` (fresh settings, then Init) and `quad`; Init's result.
    int StartEngine(bool windowed = true, bool multisample = false);

    // Clears the target and depth, draws inside a scene, presents and returns the frame.
    const Frame& Render(const std::function<void()>& draw, D3DCOLOR clear = 0xFF000000);
    void Present();
    // Moves the virtual clock on by this many frames without drawing.
    void Advance(int frames);

    // A texture filled by fill(x, y) -> 0xAARRGGBB, released at the end of the test.
    template <class F>
    IDirect3DTexture9* MakeTexture(UINT width, UINT height, F fill, D3DFORMAT format = D3DFMT_A8R8G8B8);
    // A picture of width x height (kind 4, unfiltered) in a texture rounded up to
    // powers of two; fill(x, y) gives every texel of the texture.
    template <class F> MediaItem MakePicture(UINT width, UINT height, F fill);
    // Stage 0 draws the texture factor's colour, opaque, without a texture.
    void SolidColour(D3DCOLOR colour);

    IDirect3D9* direct3d = nullptr;      // of a bare device
    IDirect3DDevice9* device = nullptr;  // bare or the engine's
    Frame frame;                         // the last presented
    int frames = 0;                      // presented so far
    std::string log;

private:
    IDirect3DTexture9* NewTexture(UINT width, UINT height, D3DFORMAT format);
    static void Fill(IDirect3DTexture9* texture, const std::function<uint32_t(UINT, UINT)>& fill);
    MediaItem PictureItem(IDirect3DTexture9* texture, UINT width, UINT height);
    std::vector<IDirect3DTexture9*> textures;
    bool bare = false;
};

// The harness as a test fixture: started before each test, stopped after it.
class HeadlessTest : public ::testing::Test, public Headless {
protected:
    void SetUp() override { Start(); }
    void TearDown() override { Stop(); }
};

template <class F> IDirect3DTexture9* Headless::MakeTexture(UINT width, UINT height, F fill, D3DFORMAT format)
{
    IDirect3DTexture9* texture = NewTexture(width, height, format);
    if (texture) Fill(texture, [&](UINT x, UINT y) { return uint32_t(fill(x, y)); });
    return texture;
}

template <class F> MediaItem Headless::MakePicture(UINT width, UINT height, F fill)
{
    UINT w = 1, h = 1;
    while (w < width) w <<= 1;
    while (h < height) h <<= 1;
    return PictureItem(MakeTexture(w, h, fill), width, height);
}

}  // namespace support
