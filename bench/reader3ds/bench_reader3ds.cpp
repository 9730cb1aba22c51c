// Reads a large generated .3ds file (meshes with mapping and materials, and
// keyframer tracks) with our reader and with lib3ds, and reports MB/s for each and
// the peak memory each load needs on top of what it keeps.
//
//   bench_reader3ds [--meshes=N] [--keep-scene] [google benchmark flags]
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <lib3ds/file.h>

#include "scene3ds/C3ds.h"
#include "tools/writers/Writer3ds.h"

namespace {

int meshCount = 40;
std::string scenePath;
size_t sceneBytes = 0;

// 40 meshes of 20000 vertices and faces and 40 nodes of 2000 keys per track: ~30 MB.
void WriteScene(const std::string& path)
{
    constexpr int kVertices = 20000;
    constexpr int kKeys = 2000;
    Writer3ds w;
    std::vector<float> xyz(kVertices * 3), uv(kVertices * 2);
    std::vector<Writer3ds::Face> faces(kVertices);
    std::vector<uint16_t> faceIndices(kVertices);
    for (int i = 0; i < kVertices; ++i) {
        xyz[3 * i] = std::cos(i * 0.01f) * 10;
        xyz[3 * i + 1] = std::sin(i * 0.01f) * 10;
        xyz[3 * i + 2] = i * 0.001f;
        uv[2 * i] = (i % 100) / 100.0f;
        uv[2 * i + 1] = (i / 100) / 200.0f;
        faces[i] = {uint16_t(i), uint16_t((i + 1) % kVertices), uint16_t((i + 2) % kVertices), 7};
        faceIndices[i] = uint16_t(i);
    }
    const float matrix[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 5, 6, 7};
    w.Begin(Writer3ds::kMain);
    w.Begin(Writer3ds::kEditor);
    for (int m = 0; m < meshCount; ++m) {
        const std::string name = "Material" + std::to_string(m);
        w.Material(name.c_str(), 200, 100, 50, ("texture" + std::to_string(m) + ".png").c_str(), 100);
    }
    for (int m = 0; m < meshCount; ++m) {
        const std::string name = "Mesh" + std::to_string(m);
        w.BeginObject(name.c_str());
        w.Begin(Writer3ds::kMesh);
        w.Vertices(xyz.data(), kVertices);
        w.Mapping(uv.data(), kVertices);
        w.MeshMatrix(matrix);
        w.BeginFaces(faces.data(), kVertices);
        w.FaceMaterials(("Material" + std::to_string(m)).c_str(), faceIndices.data(), kVertices);
        w.End();
        w.End();
        w.End();
    }
    w.End();
    w.Begin(Writer3ds::kKeyframer);
    w.Frames(0, kKeys * 10);
    std::vector<Writer3ds::Key> keys(kKeys);
    for (int k = 0; k < kKeys; ++k) {
        keys[k].frame = uint32_t(k * 10);
        keys[k].flags = 0x0003;
        keys[k].spline[0] = 0.25f;
        keys[k].spline[1] = -0.5f;
        keys[k].value[0] = k * 0.1f;
        keys[k].value[1] = 1.0f;
        keys[k].value[2] = 0.0f;
        keys[k].value[3] = 0.5f;
    }
    for (int m = 0; m < meshCount; ++m) {
        w.BeginNode(Writer3ds::kObjectNode, ("Mesh" + std::to_string(m)).c_str(), 0xFFFF, uint16_t(m));
        w.Pivot(0, 0, 0);
        w.PositionKeys(keys.data(), kKeys);
        w.RotationKeys(keys.data(), kKeys);
        w.ScaleKeys(keys.data(), kKeys);
        w.End();
    }
    w.End();
    w.End();
    if (!w.Save(path.c_str())) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    sceneBytes = w.Size();
}

void OurLoad(benchmark::State& state)
{
    for (auto _ : state) {
        C3ds reader;
        Scene3ds* root = nullptr;
        if (!reader.Load3ds(scenePath.c_str(), &root)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(root);
        Free3ds(root);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(sceneBytes));
}

// The same without the file read: the walk, the records and the linking alone.
void OurLoadFromMemory(benchmark::State& state)
{
    std::vector<uint8_t> bytes(sceneBytes);
    FILE* file = std::fopen(scenePath.c_str(), "rb");
    if (!file || std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size())
        state.SkipWithError("read failed");
    if (file) std::fclose(file);
    for (auto _ : state) {
        C3ds reader;
        Scene3ds* root = nullptr;
        if (!reader.Load3dsMemory(bytes.data(), bytes.size(), &root)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(root);
        Free3ds(root);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(sceneBytes));
}

void Lib3dsLoad(benchmark::State& state)
{
    for (auto _ : state) {
        Lib3dsFile* file = lib3ds_file_load(scenePath.c_str());
        if (!file) state.SkipWithError("lib3ds could not load the file");
        benchmark::DoNotOptimize(file);
        if (file) lib3ds_file_free(file);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(sceneBytes));
}

BENCHMARK(OurLoad)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(OurLoadFromMemory)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(Lib3dsLoad)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// --- Peak memory, measured in a child process so that each load starts clean ---

long StatusKb(const char* field)
{
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return -1;
    char line[256];
    long value = -1;
    const size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, status))
        if (std::strncmp(line, field, length) == 0) value = std::atol(line + length);
    std::fclose(status);
    return value;
}

// The bytes our records hold: what the root counts plus one 256-byte buffer per string.
long long RecordBytes(const Scene3ds* root)
{
    std::set<const char*> strings;
    auto add = [&](const char* s) {
        if (s) strings.insert(s);
    };
    for (int i = 0; i < root->meshCount; ++i) {
        add(root->meshIndex[i]->name);
        for (int f = 0; f < root->meshIndex[i]->faceCount; ++f)
            add(root->meshIndex[i]->faces[f].materialName);
    }
    for (int i = 0; i < root->materialCount; ++i) {
        add(root->materialIndex[i]->name);
        add(root->materialIndex[i]->textureFile);
    }
    for (int i = 0; i < root->nodeCount; ++i) add(root->nodeIndex[i]->name);
    return root->totalBytes + (long long)strings.size() * kString3dsSize;
}

// Runs load in a child with its peak RSS reset; returns the peak growth in KB and
// the KB still held after the load (what the load keeps).
template <typename Load> void MeasurePeak(const char* name, Load load)
{
    int pipes[2];
    if (pipe(pipes) != 0) return;
    const pid_t child = fork();
    if (child == 0) {
        close(pipes[0]);
        FILE* reset = std::fopen("/proc/self/clear_refs", "w");
        if (reset) {
            std::fputs("5", reset);  // resets the peak RSS to the current RSS
            std::fclose(reset);
        }
        const long before = StatusKb("VmRSS:");
        long long records = 0;
        load(records);
        const long peak = StatusKb("VmHWM:");
        const long after = StatusKb("VmRSS:");
        long values[4] = {before, peak, after, long(records / 1024)};
        if (write(pipes[1], values, sizeof values) != sizeof values) _exit(1);
        _exit(0);
    }
    close(pipes[1]);
    long values[4] = {};
    const bool ok = read(pipes[0], values, sizeof values) == sizeof values;
    close(pipes[0]);
    waitpid(child, nullptr, 0);
    if (!ok) return;
    const double fileMb = sceneBytes / 1048576.0;
    const double peakMb = (values[1] - values[0]) / 1024.0;
    const double keptMb = (values[2] - values[0]) / 1024.0;
    std::printf("%-8s file %.1f MB: peak growth %.1f MB, kept after load %.1f MB", name, fileMb, peakMb,
                keptMb);
    if (values[3] > 0) {
        const double recordsMb = values[3] / 1024.0;
        std::printf(", records %.1f MB, peak above records %.1f MB = %.2f x file", recordsMb,
                    peakMb - recordsMb, (peakMb - recordsMb) / fileMb);
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
    bool keepScene = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--meshes=", 9) == 0) meshCount = std::atoi(argv[i] + 9);
        if (std::strcmp(argv[i], "--keep-scene") == 0) keepScene = true;
    }
    scenePath = std::string(MIVOLA_BINARY_DIR) + "/bench/reader3ds/large.3ds";
    WriteScene(scenePath);
    std::printf("scene: %s, %.1f MB\n", scenePath.c_str(), sceneBytes / 1048576.0);

    MeasurePeak("ours", [](long long& records) {
        C3ds reader;
        Scene3ds* root = nullptr;
        reader.Load3ds(scenePath.c_str(), &root);
        if (root) records = RecordBytes(root);
        // Still alive here: the peak is measured with the records held.
    });
    MeasurePeak("lib3ds", [](long long&) { lib3ds_file_load(scenePath.c_str()); });

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!keepScene) std::remove(scenePath.c_str());
    return 0;
}
