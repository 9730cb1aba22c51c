// 3DS files from arbitrary bytes through the scene builder on a headless
// device: the reader, then meshes, vertex and index buffers, materials and
// their textures, cameras and the keyframe tracks; then everything released.
#include "core/EngineSettings.h"
#include "gfx/kpxD3D.h"
#include "platform/host/Host.h"
#include "platform/win32/Log.h"
#include "scene3ds/Scene.h"

#include "fuzz/FuzzInput.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static const std::string path = [] {
        host::SetRunMode(host::RunMode::Virtual);
        SetLogSink([](const std::string&) {}, false);
        settings.windowed = 1;
        settings.multisample = 0;
        settings.instance = GetModuleHandleW(nullptr);
        if (!d3d.Init(settings)) std::abort();
        return fuzz::ScratchFile("scene");
    }();
    if (!fuzz::WriteInput(path, bytes, size)) return 0;

    Scene* scene = BuildScene(path.c_str(), new Scene, d3d.device);
    if (!scene) return 0;
    for (int32_t i = 0; i < scene->meshCount; ++i) {
        const SceneMesh& mesh = scene->meshes[i];
        if (mesh.vertexCount < 0 || mesh.faceCount < 0) std::abort();
    }
    DestroyScene(scene);
    return 0;
}
