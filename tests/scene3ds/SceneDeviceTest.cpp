// Building scenes on a headless device: textures beside the scene file and a
// destroy that releases every device object.
#include "scene3ds/Scene.h"
#include "tests/support/Files.h"
#include "tests/support/Headless.h"
#include "tests/support/SceneFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <utility>

using namespace support;

namespace {

const float kSquare[4][3] = {{0, 0, 0}, {10, 0, 0}, {10, 0, 10}, {0, 0, 10}};

class SceneDevice : public HeadlessTest {
protected:
    void SetUp() override
    {
        HeadlessTest::SetUp();
        ASSERT_EQ(StartEngine(), 1);
        dir = TempPath("device");
        std::filesystem::create_directories(dir + "/scenes");
        WriteFile(dir + "/scenes/Wood.bmp", BmpBytes(4, 4, 150, 100, 50));
    }
    std::string dir;
};

TEST_F(SceneDevice, TexturesLoadFromBesideTheSceneOncePerMesh)
{
    SceneSpec spec;
    spec.materials = {{"Wood", "Wood.bmp"}, {"Gone", "missing.bmp"}};
    spec.meshes = {Quad("A", kSquare, "Wood"), Quad("B", kSquare, "Wood"), Quad("C", kSquare, "Gone")};
    const std::string path = dir + "/scenes/room.3ds";
    ASSERT_TRUE(WriteScene(spec, path));
    Scene* scene = BuildScene(path.c_str(), new Scene, device);
    ASSERT_EQ(scene->meshCount, 3);
    EXPECT_NE(scene->meshes[0].texture, nullptr);
    EXPECT_NE(scene->meshes[1].texture, nullptr);
    EXPECT_NE(scene->meshes[0].texture, scene->meshes[1].texture);
    // A texture that cannot be loaded leaves the mesh without one, name kept.
    EXPECT_EQ(scene->meshes[2].texture, nullptr);
    EXPECT_STREQ(scene->meshes[2].textureName, "missing.bmp");
    DestroyScene(scene);
}

TEST_F(SceneDevice, DestroyReleasesEveryDeviceObjectItCreated)
{
    SceneSpec spec;
    spec.materials = {{"Wood", "Wood.bmp"}};
    spec.meshes = {Quad("A", kSquare, "Wood"), Quad("B", kSquare, "Wood"), Quad("Empty", kSquare, "")};
    spec.meshes[2].faces.clear();
    const std::string path = dir + "/scenes/destroy.3ds";
    ASSERT_TRUE(WriteScene(spec, path));
    Scene* scene = BuildScene(path.c_str(), new Scene, device);
    ASSERT_EQ(scene->meshCount, 3);

    // Hold one more reference to everything the scene owns: after the destroy ours
    // must be the last one.
    std::vector<ID3D9Unknown*> objects;
    for (int i = 0; i < 2; ++i) {
        const SceneMesh& m = scene->meshes[i];
        for (ID3D9Unknown* o :
             std::initializer_list<ID3D9Unknown*>{m.texture, m.vertexBuffer, m.indexBuffer}) {
            ASSERT_NE(o, nullptr);
            o->AddRef();
            objects.push_back(o);
        }
    }
    DestroyScene(scene);
    for (ID3D9Unknown* o : objects) EXPECT_EQ(o->Release(), 0u);
}

// A scene from a Windows disk: a path with backslashes, texture names in
// another letter case or in Latin-1 bytes. Files that are no scene say why.
TEST_F(SceneDevice, WindowsMadeScenesFindTheirTexturesAndFailuresSayWhy)
{
    WriteFile(dir + "/scenes/caf\xe9.bmp", BmpBytes(4, 4, 10, 20, 30));  // "café" in Latin-1
    SceneSpec spec;
    spec.materials = {{"Wood", "WOOD.BMP"}, {"Cafe", "caf\xe9.bmp"}};
    spec.meshes = {Quad("A", kSquare, "Wood"), Quad("B", kSquare, "Cafe")};
    const std::string path = dir + "/scenes/windows.3ds";
    ASSERT_TRUE(WriteScene(spec, path));
    const std::string windowsPath = dir + "\\SCENES\\Windows.3DS";
    Scene* scene = BuildScene(windowsPath.c_str(), new Scene, device);
    EXPECT_EQ(scene->loadFailure, "");
    ASSERT_EQ(scene->meshCount, 2);
    EXPECT_NE(scene->meshes[0].texture, nullptr);
    EXPECT_NE(scene->meshes[1].texture, nullptr);
    DestroyScene(scene);

    // A FIFO is refused without waiting for a writer. (A missing file: MonitorLoad.)
    const std::string fifo = dir + "/scenes/fifo.3ds";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    WriteFile(dir + "/scenes/picture.3ds", BmpBytes(4, 4, 0, 0, 0));
    const std::pair<std::string, std::string> failures[] = {
        {fifo, "not a regular file"},
        {dir + "/scenes/picture.3ds", "not a 3DS file that can be read"},
    };
    for (const auto& [file, reason] : failures) {
        scene = BuildScene(file.c_str(), new Scene, device);
        EXPECT_EQ(scene->meshCount, 0);
        EXPECT_EQ(scene->loadFailure, reason) << file;
        DestroyScene(scene);
    }
}

}  // namespace
