// Building scenes (the demo carousel when its content has been generated, and a
// heavier scene written here) and the monitor's draw per frame.
#include "data/ArtshowData.h"
#include "layers/ArtshowMonitor.h"
#include "platform/d3d9/D3d9Stats.h"
#include "platform/host/Host.h"
#include "scene3ds/Scene.h"
#include "tests/support/Files.h"
#include "tests/support/Headless.h"
#include "tests/support/SceneFiles.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace {

// The headless device, started once for the process.
support::Headless& Harness()
{
    static support::Headless* harness = [] {
        auto* h = new support::Headless;
        h->Start();
        host::SetFps(1000);  // a millisecond a frame
        h->StartEngine();
        return h;
    }();
    return *harness;
}

// The demo carousel, from MIVOLA_DEMO_SCENE or the build's generated content.
std::string DemoScene()
{
    if (const char* path = std::getenv("MIVOLA_DEMO_SCENE")) return path;
    const std::string path = std::string(MIVOLA_BINARY_DIR) + "/content/demo/scene/carousel.3ds";
    return std::filesystem::exists(path) ? path : "";
}

// Sixteen meshes of a 64 x 64 vertex grid each (126 faces a row), two materials with
// 256 x 256 textures, one keyframer node per mesh with a few keys.
std::string HeavyScene()
{
    static std::string path;
    if (!path.empty()) return path;
    const std::string dir = support::TempPath("bench");
    std::filesystem::create_directories(dir);
    support::WriteFile(dir + "/a.bmp", support::BmpBytes(256, 256, 200, 100, 50));
    support::WriteFile(dir + "/b.bmp", support::BmpBytes(256, 256, 50, 100, 200));
    support::SceneSpec spec;
    spec.materials = {{"A", "a.bmp"}, {"B", "b.bmp"}};
    const int n = 64;
    for (int m = 0; m < 16; ++m) {
        support::MeshSpec mesh;
        mesh.name = "Grid" + std::to_string(m);
        mesh.material = m % 2 ? "B" : "A";
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                mesh.xyz.insert(mesh.xyz.end(), {float(x) + m * 70, float(y), std::sin(x * 0.3f) * 3});
                mesh.uv.insert(mesh.uv.end(), {x / float(n - 1), y / float(n - 1)});
            }
        for (int y = 0; y + 1 < n; ++y)
            for (int x = 0; x + 1 < n; ++x) {
                const auto i = uint16_t(y * n + x);
                mesh.faces.push_back({i, uint16_t(i + 1), uint16_t(i + n + 1), 0});
                mesh.faces.push_back({i, uint16_t(i + n + 1), uint16_t(i + n), 0});
            }
        const float origin[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, float(m * 70), 0, 0};
        std::copy(origin, origin + 12, mesh.matrix);
        mesh.position = {support::PositionKey(0, float(m * 70), 0, 0),
                         support::PositionKey(50, float(m * 70), 5, 0),
                         support::PositionKey(100, float(m * 70), 0, 0)};
        mesh.rotation = {support::TurnKey(0, 0, 0, 0, 1), support::TurnKey(50, 0.5f, 0, 0, 1),
                         support::TurnKey(100, -0.5f, 0, 0, 1)};
        spec.meshes.push_back(mesh);
    }
    path = dir + "/heavy.3ds";
    support::WriteScene(spec, path);
    return path;
}

void BuildAndDestroy(benchmark::State& state, const std::string& path)
{
    if (path.empty()) {
        state.SkipWithError("scene not found (generate the demo content or set MIVOLA_DEMO_SCENE)");
        return;
    }
    int32_t faces = 0;
    for (auto _ : state) {
        Scene* scene = BuildScene(path.c_str(), new Scene, Harness().device);
        faces = 0;
        for (int32_t i = 0; i < scene->meshCount; ++i) faces += scene->meshes[i].faceCount;
        state.PauseTiming();
        DestroyScene(scene);
        state.ResumeTiming();
    }
    state.counters["faces"] = faces;
    state.counters["bytes"] = double(std::filesystem::file_size(path));
}

void BM_BuildDemoScene(benchmark::State& state)
{
    BuildAndDestroy(state, DemoScene());
}
void BM_BuildHeavyScene(benchmark::State& state)
{
    BuildAndDestroy(state, HeavyScene());
}

double ThreadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// CPU time of Draw alone (thread CPU time, reported as the benchmark's time) (the device calls it makes),
// frame by frame, with a turn running so the easing and the placeholder pictures are exercised.
void DrawFrames(benchmark::State& state, const std::string& path)
{
    if (path.empty()) {
        state.SkipWithError("scene not found");
        return;
    }
    static MediaItem titles[6];
    for (int i = 0; i < 6; ++i) {
        titles[i] = MediaItem{};
        const uint32_t colour = 0xFF000000u | (0x2A5F91u * uint32_t(i + 1));
        titles[i].handle.texture =
            Harness().MakeTexture(256, 256, [colour](uint32_t, uint32_t) { return colour; });
        titles[i].imageInfo.Width = titles[i].imageInfo.Height = 256;
        titles[i].surfaceDesc.Width = titles[i].surfaceDesc.Height = 256;
    }
    data.songCount = 6;
    data.titlePics = titles;
    for (int slot = 0; slot < 4; ++slot) {
        std::swprintf(monitor.dummyTextures[slot], 260, L"screen%d.png", slot);
    }
    monitor.model.handle.scene = BuildScene(path.c_str(), new Scene, Harness().device);
    IDirect3DDevice9* device = Harness().device;
    d3d9::ResetStats();
    uint64_t frames = 0;
    double wall = 0;
    for (auto _ : state) {
        if (monitor.turnTimer.Progress() == 1.0f || monitor.turnTimer.Progress() == 0.0f)
            monitor.StartTurn(1);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        device->BeginScene();
        const double cpuStart = ThreadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        monitor.Draw(0, 0);
        const auto end = std::chrono::steady_clock::now();
        const double cpu = ThreadCpuSeconds() - cpuStart;
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
        state.SetIterationTime(cpu);
        wall += std::chrono::duration<double>(end - start).count();
        ++frames;
    }
    const d3d9::Stats& stats = d3d9::GetStats();
    state.counters["wall_us/frame"] = wall * 1e6 / double(frames);
    state.counters["drawCalls/frame"] = double(stats.drawCalls) / double(frames);
    state.counters["allocs/frame"] = double(stats.allocations) / double(frames);
    state.counters["shaderCompiles"] = double(stats.shaderCompiles);
    DestroyScene(monitor.model.handle.scene);
    monitor.model.handle.scene = nullptr;
    data.songCount = 0;
    data.titlePics = nullptr;
}

void BM_DrawDemoCarousel(benchmark::State& state)
{
    DrawFrames(state, DemoScene());
}
void BM_DrawHeavyScene(benchmark::State& state)
{
    DrawFrames(state, HeavyScene());
}

BENCHMARK(BM_BuildDemoScene)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildHeavyScene)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawDemoCarousel)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawHeavyScene)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
