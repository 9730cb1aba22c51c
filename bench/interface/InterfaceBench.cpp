// The interface frame on the headless device (llvmpipe without a GPU): every
// layer of the demo content's interface.xml except the 3D carousel, drawn in
// list order with the first song playing, then presented.
//
// Reported per frame:
//   real time        clear + layers + present (the present reads the frame back
//                    and mixes the frame's sound, as a virtual run does)
//   device_cpu_ms    thread CPU time of the layers' Draw calls alone: the device
//                    code the program runs on its own thread
//   draw_calls       quads drawn
// Every frame is drawn whole, as when everything moves: the same frame again
// would otherwise draw nothing.
// The content folder is MIVOLA_CONTENT or <build>/content/demo; without it a
// synthetic stack of the same shape is drawn instead (said in the output).
#include "core/EngineSettings.h"
#include "data/ArtshowData.h"
#include "data/MediaCache.h"
#include "data/SongPlayer.h"
#include "gfx/kpxD3D.h"
#include "gfx/kpxQuad.h"
#include "layers/ArtshowMonitor.h"
#include "layers/LayerTypes.h"
#include "layers/ArtshowSimpleLayer.h"
#include "layers/ArtshowTinyScroll.h"
#include "layers/ArtshowVU.h"
#include "platform/bass/bass.h"
#include "platform/d3d9/D3d9Stats.h"
#include "platform/gdi/gdi.h"
#include "platform/host/FrameFiles.h"
#include "platform/host/Host.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<ArtshowLayer*> layers;  // what a frame draws
std::vector<uint8_t> lastFrame;
host::FrameView lastView{};
bool synthetic = false;

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void SetStartupStates()
{
    IDirect3DDevice9* device = d3d.device;
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
}

void MakeTexture(MediaItem& item, int w, int h, uint32_t color)
{
    UINT tw = 1, th = 1;
    while (tw < UINT(w)) tw <<= 1;
    while (th < UINT(h)) th <<= 1;
    d3d.device->CreateTexture(tw, th, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &item.handle.texture, nullptr);
    D3DLOCKED_RECT locked{};
    item.handle.texture->LockRect(0, &locked, nullptr, 0);
    for (UINT y = 0; y < th; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch);
        for (UINT x = 0; x < tw; ++x) row[x] = color;
    }
    item.handle.texture->UnlockRect(0);
    item.kind = MediaImageUnfiltered;
    item.imageInfo.Width = w;
    item.imageInfo.Height = h;
    item.handle.texture->GetLevelDesc(0, &item.surfaceDesc);
}

// The demo's shape: a full-screen background and foreground, two panels, six
// reacting orbs, the amplifier, the meter, two buttons, the scroller panel and
// the scroller, a badge. The song is a generated tone.
void BuildSyntheticStack()
{
    synthetic = true;
    struct Spec {
        int x, y, w, h;
        int react;
        bool add;
    };
    const Spec specs[] = {
        {0, 0, 1280, 720, 0, false},    {36, 96, 200, 500, 0, false},   {1044, 96, 200, 500, 0, false},
        {76, 120, 120, 120, 1, true},   {76, 272, 120, 120, 1, true},   {76, 424, 120, 120, 1, false},
        {1084, 126, 120, 120, 1, true}, {1084, 256, 120, 120, 1, true}, {526, 210, 228, 228, 1, true},
        {420, 470, 440, 200, 0, false}, {40, 620, 260, 40, 0, false},
    };
    for (const Spec& s : specs) {
        auto* layer = new ArtshowSimpleLayer();
        layer->x = float(s.x);
        layer->y = float(s.y);
        layer->react = s.react;
        layer->additive = s.add;
        MakeTexture(layer->image, s.w, s.h, 0x80406080);
        layers.push_back(layer);
    }
    auto* vu = new ArtshowVU();
    vu->x = 470;
    vu->y = 600;
    MakeTexture(vu->image, 24, 5, 0xFF40FF40);
    layers.push_back(vu);
    auto* scroller = new ArtshowTinyScroll();
    scroller->x = 60;
    scroller->y = 630;
    AddFontResourceW(L"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    BuildTextAtlas(scroller->atlas, L"DejaVu Sans", 16);
    for (int i = 0; i < 400; ++i) scroller->text[i] = L"Greetings from the synthetic stack "[i % 35];
    layers.push_back(scroller);
    auto* foreground = new ArtshowSimpleLayer();
    MakeTexture(foreground->image, 1280, 720, 0x20000000);
    layers.push_back(foreground);
}

bool LoadDemo(const std::string& dir)
{
    if (!std::filesystem::exists(dir + "/interface.xml")) return false;
    std::filesystem::current_path(dir);
    data.LoadXML(L"art.xml", CreateLayer);
    data.LoadXML(L"interface.xml", CreateLayer);
    for (int i = 0; i < data.songCount; ++i) LoadAudio(data.songs[i]);
    for (int i = 0; i < data.imageCount; ++i) LoadImage(*data.imageList[i], d3d.device);
    for (int i = 0; i < data.layerCount; ++i) {
        if (data.layers[i] && data.layers[i] != &monitor) layers.push_back(data.layers[i]);
    }
    player.PlaySong(0);
    return true;
}

void Setup()
{
    static bool done = false;
    if (done) return;
    done = true;
    host::SetRunMode(host::RunMode::Virtual);
    // MIVOLA_FRAME_PNG=path keeps the last frame as a picture to look at.
    host::SetFrameSink([](const host::FrameView& frame) {
        static const char* png = std::getenv("MIVOLA_FRAME_PNG");
        if (png) {
            lastFrame.assign(frame.pixels, frame.pixels + frame.stride * size_t(frame.height));
            lastView = frame;
            lastView.pixels = lastFrame.data();
        }
    });
    settings.windowed = 1;
    settings.multisample = 0;
    if (!d3d.Init(settings)) {
        std::fprintf(stderr, "no device\n");
        std::exit(1);
    }
    quad.Init(&d3d);
    BASS_Init(1, 44100, 0, nullptr, nullptr);
    BASS_Start();
    const char* env = std::getenv("MIVOLA_CONTENT");
    std::string dir = env ? env : std::string(MIVOLA_BINARY_DIR) + "/content/demo";
    if (!LoadDemo(dir)) {
        std::fprintf(stderr, "no demo content in %s: drawing a synthetic stack of the same shape\n",
                     dir.c_str());
        BuildSyntheticStack();
    }
}

void BM_InterfaceFrame(benchmark::State& state)
{
    d3d9::SetRedrawEverything(true);
    Setup();
    IDirect3DDevice9* device = d3d.device;
    SetStartupStates();
    double cpu = 0;
    uint64_t draws = 0;
    for (auto _ : state) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device->BeginScene();
        const uint64_t before = d3d9::GetStats().drawCalls;
        const double start = ThreadCpuSeconds();
        for (ArtshowLayer* layer : layers) layer->Draw(0, 0);
        cpu += ThreadCpuSeconds() - start;
        draws += d3d9::GetStats().drawCalls - before;
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
        player.HandlePendingSongEnd();
    }
    const double n = double(state.iterations());
    state.counters["device_cpu_ms"] = cpu * 1000.0 / n;
    state.counters["draw_calls"] = double(draws) / n;
    state.counters["layers"] = double(layers.size());
    state.SetLabel(synthetic ? "synthetic stack" : "demo content");
    if (const char* png = std::getenv("MIVOLA_FRAME_PNG"); png && !lastFrame.empty()) {
        host::WritePng(png, lastView);
    }
}
BENCHMARK(BM_InterfaceFrame)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
