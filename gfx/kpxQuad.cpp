#include "gfx/kpxQuad.h"

#include <cstring>

namespace {

// A unit square from (-1, -1) to (1, 1) at z = 1, drawn as a strip of two triangles.
const QuadVertex kVertices[4] = {
    {-1.0f, -1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0xFFFFFFFF, 0.0f, 0.0f, 0.0f, 0.0f},
    {-1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0xFFFFFFFF, 0.0f, 1.0f, 0.0f, 1.0f},
    {1.0f, -1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0xFFFFFFFF, 1.0f, 0.0f, 1.0f, 0.0f},
    {1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0xFFFFFFFF, 1.0f, 1.0f, 1.0f, 1.0f},
};
constexpr UINT kBufferBytes = sizeof(kVertices);
static_assert(kBufferBytes == 176);

constexpr D3DMATRIX kIdentity = {
    {{1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f}}};

// Orthographic projection of x 0..1 to -1..1, y 0..1 to 1..-1 (top down) and
// z -1..1 to 0..1.
constexpr D3DMATRIX kProjection = {
    {{2.0f, 0.0f, 0.0f, 0.0f, 0.0f, -2.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.5f, 0.0f, -1.0f, 1.0f, 0.5f, 1.0f}}};

}  // namespace

kpxQuad::~kpxQuad()
{
    Release();
}

void kpxQuad::Init(kpxD3D* display)
{
    owner = display;
    device = display ? display->device : nullptr;
    if (!device) return;
    // Failures leave the buffer null: draws then fail in the device, harmlessly.
    device->CreateVertexBuffer(kBufferBytes, 0, kQuadFvf, D3DPOOL_MANAGED, &vertexBuffer, nullptr);
    if (!vertexBuffer) return;
    void* data = nullptr;
    if (SUCCEEDED(vertexBuffer->Lock(0, kBufferBytes, &data, 0)) && data) {
        std::memcpy(data, kVertices, kBufferBytes);
        vertexBuffer->Unlock();
    }
}

void kpxQuad::Submit()
{
    if (!device) return;
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
    device->SetFVF(kQuadFvf);
    device->SetStreamSource(0, vertexBuffer, 0, sizeof(QuadVertex));
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
}

void kpxQuad::Draw(float left, float top, float right, float bottom)
{
    if (!device) return;
    device->SetTransform(D3DTS_PROJECTION, &kProjection);
    device->SetTransform(D3DTS_VIEW, &kIdentity);
    // Scale the square to the half sizes, then move its centre into place.
    const float hx = (right - left) * 0.5f;
    const float hy = (bottom - top) * 0.5f;
    D3DMATRIX world = kIdentity;
    world._11 = hx;
    world._22 = hy;
    world._41 = left + hx;
    world._42 = top + hy;
    device->SetTransform(D3DTS_WORLD, &world);
    Submit();
}

void kpxQuad::DrawImage(const MediaItem& item, float x, float y)
{
    if (!device || settings.width <= 0 || settings.height <= 0) return;
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    device->SetSamplerState(0, D3DSAMP_ADDRESSW, D3DTADDRESS_CLAMP);
    device->SetTexture(0, item.handle.texture);
    const float w = static_cast<float>(static_cast<uint32_t>(item.imageInfo.Width));
    const float h = static_cast<float>(static_cast<uint32_t>(item.imageInfo.Height));
    const float width = static_cast<float>(settings.width);
    const float height = static_cast<float>(settings.height);
    Draw(x / width, y / height, (x + w) / width, (y + h) / height);
}

void kpxQuad::DrawImageAligned(const MediaItem& item, float x, float y)
{
    if (!device) return;
    const float w = static_cast<float>(static_cast<uint32_t>(item.imageInfo.Width));
    const float h = static_cast<float>(static_cast<uint32_t>(item.imageInfo.Height));
    const float tw = static_cast<float>(static_cast<uint32_t>(item.surfaceDesc.Width));
    const float th = static_cast<float>(static_cast<uint32_t>(item.surfaceDesc.Height));
    // An empty picture (or one without a texture) has nothing to show and no
    // scale to compute.
    if (w == 0.0f || h == 0.0f || tw == 0.0f || th == 0.0f) return;

    // Pick the picture's part of the texture. Pixel centres lie on whole screen
    // coordinates, where the quad's coordinates meet texel edges: half a texel
    // onwards they meet texel centres, so screen pixel x + i shows picture pixel i
    // (a shift back instead, by -0.49 of a pixel, shows pixel i - 1 there and
    // never the last row and column).
    D3DMATRIX texture = kIdentity;
    texture._11 = w / tw;
    texture._22 = h / th;
    texture._31 = 0.5f / tw;
    texture._32 = 0.5f / th;
    device->SetTransform(D3DTS_TEXTURE0, &texture);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    DrawImage(item, x, y);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
}

void kpxQuad::Release()
{
    if (vertexBuffer) vertexBuffer->Release();
    vertexBuffer = nullptr;
}
