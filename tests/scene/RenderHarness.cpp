#include "tests/scene/RenderHarness.h"

#include "app/EngineSettings.h"
#include "gfx/kpxD3D.h"
#include "gfx/kpxQuad.h"
#include "math/Matrix4.h"
#include "platform/host/Host.h"

#include <cstdio>
#include <cstring>

namespace harness {

namespace {

Frame lastFrame;

}  // namespace

Rgb Frame::At(int x, int y) const
{
    const uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
    return {p[0], p[1], p[2]};
}

bool Frame::SavePpm(const std::string& path) const
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", width, height);
    for (size_t i = 0; i < rgba.size(); i += 4) std::fwrite(&rgba[i], 1, 3, f);
    return std::fclose(f) == 0;
}

void StartDevice()
{
    if (d3d.device) return;
    host::SetRunMode(host::RunMode::Virtual);
    host::SetFps(1000);
    host::SetFrameSink([](const host::FrameView& view) {
        lastFrame.width = view.width;
        lastFrame.height = view.height;
        lastFrame.rgba.resize(static_cast<size_t>(view.width) * view.height * 4);
        for (int y = 0; y < view.height; ++y)
            std::memcpy(&lastFrame.rgba[static_cast<size_t>(y) * view.width * 4],
                        view.pixels + y * view.stride, static_cast<size_t>(view.width) * 4);
    });
    settings.windowed = 1;
    settings.multisample = 0;
    d3d.Init(settings);
    quad.Init(d3d);
}

IDirect3DDevice9* Device()
{
    return d3d.device;
}

Frame Render(const std::function<void()>& draw)
{
    IDirect3DDevice9* device = Device();
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
    device->BeginScene();
    draw();
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
    return lastFrame;
}

void AdvanceMs(uint32_t ms)
{
    for (uint32_t i = 0; i < ms; ++i) host::EndFrame();
}

IDirect3DTexture9* MakeTexture(uint32_t width, uint32_t height,
                               const std::function<uint32_t(uint32_t, uint32_t)>& fill)
{
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(Device()->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                       &texture, nullptr)) || !texture)
        return nullptr;
    D3DLOCKED_RECT locked{};
    if (SUCCEEDED(texture->LockRect(0, &locked, nullptr, 0))) {
        for (uint32_t y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
            for (uint32_t x = 0; x < width; ++x) row[x] = fill(x, y);
        }
        texture->UnlockRect(0);
    }
    return texture;
}

bool WriteBmp(const std::string& path, int width, int height, uint8_t r, uint8_t g, uint8_t b)
{
    const int rowBytes = (width * 3 + 3) & ~3;
    const uint32_t imageBytes = static_cast<uint32_t>(rowBytes * height);
    std::vector<uint8_t> out(54 + imageBytes, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, static_cast<uint32_t>(out.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    out[26] = 1;   // planes
    out[28] = 24;  // bits per pixel
    put32(34, imageBytes);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &out[54 + static_cast<size_t>(y) * rowBytes + x * 3];
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}

void ProjectToPixel(const Vector3& world, float& x, float& y)
{
    // The monitor's camera: eye, target, 45 degrees, the interface's aspect.
    const Vector3 eye(-6.0f, 110.0f, -145.0f), target(-5.0f, 75.0f, 63.0f);
    const Vector3 f = (target - eye).Normalized();
    const Vector3 r = Cross(Vector3(0, 1, 0), f).Normalized();
    const Vector3 u = Cross(f, r);
    const Vector3 rel = world - eye;
    const float vx = Dot(rel, r), vy = Dot(rel, u), vz = Dot(rel, f);
    Matrix4 projection;
    projection.PerspectiveFov(45.0f, 1280.0f / 720.0f, 1.0f, 100000.0f);
    const float ndcX = vx * projection.m[0][0] / vz;
    const float ndcY = vy * projection.m[1][1] / vz;
    x = (ndcX + 1.0f) * 0.5f * 1280.0f;
    y = (1.0f - ndcY) * 0.5f * 720.0f;
}

}  // namespace harness
