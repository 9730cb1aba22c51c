#include "tests/layers/LayerTestSupport.h"

#include "app/EngineSettings.h"
#include "data/SongPlayer.h"
#include "gfx/kpxD3D.h"
#include "gfx/kpxQuad.h"
#include "platform/bass/bass.h"
#include "platform/host/FrameFiles.h"
#include "platform/host/Host.h"
#include "platform/host/WavWriter.h"
#include "platform/win32/Utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace layertest {

namespace {

std::vector<Rgba> frame;
MediaItem generatedSong{};
int documentCount = 0;
std::vector<IXMLDOMDocument*> documents;   // kept for the whole run: nodes point into them

}  // namespace

void InitDevice() {
    static bool done = false;
    if (done) return;
    done = true;
    host::SetRunMode(host::RunMode::Virtual);
    host::SetFrameSink([](const host::FrameView& view) {
        frame.assign(size_t(view.width) * view.height, Rgba{});
        for (int y = 0; y < view.height; ++y) {
            std::memcpy(&frame[size_t(y) * view.width], view.pixels + size_t(y) * view.stride,
                        size_t(view.width) * 4);
        }
    });
    settings.windowed = 1;
    settings.multisample = 0;
    ASSERT_EQ(d3d.Init(settings), 1);
    quad.Init(&d3d);
    BASS_Init(1, 44100, 0, nullptr, nullptr);
    BASS_Start();
}

void BeginFrame(uint32_t clearColor) {
    IDirect3DDevice9* device = d3d.device;
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clearColor, 1.0f, 0);
    device->BeginScene();
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
}

const std::vector<Rgba>& EndFrame() {
    d3d.device->EndScene();
    d3d.device->Present(nullptr, nullptr, nullptr, nullptr);
    return frame;
}

Rgba Pixel(int x, int y) {
    if (frame.size() != size_t(1280) * 720) return Rgba{};
    return frame[size_t(y) * 1280 + x];
}

void MakePicture(MediaItem& item, int w, int h, std::function<uint32_t(int, int)> texel) {
    FreePicture(item);
    UINT tw = 1, th = 1;
    while (tw < UINT(w)) tw <<= 1;
    while (th < UINT(h)) th <<= 1;
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(d3d.device->CreateTexture(tw, th, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture,
                                        nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < th; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
        for (UINT x = 0; x < tw; ++x) row[x] = (int(x) < w && int(y) < h) ? texel(x, y) : 0;
    }
    texture->UnlockRect(0);
    item.kind = MediaImageUnfiltered;
    item.handle.texture = texture;
    item.imageInfo.Width = w;
    item.imageInfo.Height = h;
    texture->GetLevelDesc(0, &item.surfaceDesc);
}

void FreePicture(MediaItem& item) {
    if ((item.kind == MediaImage || item.kind == MediaImageUnfiltered) && item.handle.texture) {
        item.handle.texture->Release();
        item.handle.texture = nullptr;
    }
}

std::string OutputDir() {
    std::string dir = std::string(MIVOLA_BINARY_DIR) + "/tests/layers/out";
    std::filesystem::create_directories(dir);
    return dir;
}

void SaveCrop(const std::string& name, int x0, int y0, int w, int h, int scale) {
    std::vector<uint8_t> rgba(size_t(w) * h * scale * scale * 4);
    for (int y = 0; y < h * scale; ++y) {
        for (int x = 0; x < w * scale; ++x) {
            Rgba p = Pixel(x0 + x / scale, y0 + y / scale);
            uint8_t* out = &rgba[(size_t(y) * w * scale + x) * 4];
            out[0] = p.r;
            out[1] = p.g;
            out[2] = p.b;
            out[3] = 255;
        }
    }
    host::WritePng(OutputDir() + "/" + name, host::FrameView{rgba.data(), w * scale, h * scale,
                                                             size_t(w) * scale * 4});
}

XmlNode ElementFromText(const std::wstring& xml) {
    std::string path = testing::TempDir() + "layer" + std::to_string(documentCount++) + ".xml";
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fputs(Utf8FromWide(xml.c_str()).c_str(), f);
    std::fclose(f);
    IXMLDOMDocument* document = nullptr;
    std::wstring wide(path.begin(), path.end());
    EXPECT_TRUE(XmlLoadDocument(document, wide.c_str()));
    documents.push_back(document);
    XmlNode element = nullptr;
    XmlFirstChild(XmlDocumentNode(document), element, L"element");
    return element;
}

MediaItem* PlayGenerated(std::function<float(int64_t)> sample, double seconds) {
    StopGenerated();
    std::string path = testing::TempDir() + "generated" + std::to_string(documentCount++) + ".wav";
    host::WavWriter wav;
    EXPECT_TRUE(wav.Open(path));
    int64_t frames = int64_t(seconds * 44100);
    std::vector<int16_t> data(size_t(frames) * 2);
    for (int64_t i = 0; i < frames; ++i) {
        float v = sample(i);
        int s = int(std::lround(v * 32768.0f));
        s = std::clamp(s, -32768, 32767);
        data[size_t(i) * 2] = data[size_t(i) * 2 + 1] = int16_t(s);
    }
    wav.Write(data.data(), size_t(frames));
    wav.Close();
    generatedSong = MediaItem{};
    std::wstring wide(path.begin(), path.end());
    generatedSong.handle.channel = BASS_StreamCreateFile(FALSE, wide.c_str(), 0, 0, 0x80020000u);
    EXPECT_NE(generatedSong.handle.channel, 0u);
    generatedSong.kind = MediaStream;
    BASS_ChannelPlay(generatedSong.handle.channel, TRUE);
    player.current = &generatedSong;
    player.paused = 0;
    return &generatedSong;
}

void StopGenerated() {
    if (generatedSong.kind == MediaStream) {
        BASS_ChannelStop(generatedSong.handle.channel);
        BASS_StreamFree(generatedSong.handle.channel);
        generatedSong = MediaItem{};
    }
    player.current = nullptr;
}

}  // namespace layertest
