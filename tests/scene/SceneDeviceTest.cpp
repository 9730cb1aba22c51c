// Building scenes on a headless device: textures beside the scene file and a
// destroy that releases every device object.
#include "scene3ds/Scene.h"
#include "tests/scene/RenderHarness.h"
#include "tests/scene/SceneFixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace fixtures;

namespace {

const float kSquare[4][3] = {{0, 0, 0}, {10, 0, 0}, {10, 0, 10}, {0, 0, 10}};

class SceneDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        harness::StartDevice();
        ASSERT_NE(harness::Device(), nullptr);
        dir = TempPath("device");
        std::filesystem::create_directories(dir + "/scenes");
        harness::WriteBmp(dir + "/scenes/Wood.bmp", 4, 4, 150, 100, 50);
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
    Scene* scene = BuildScene(path.c_str(), new Scene, harness::Device());
    ASSERT_EQ(scene->meshCount, 3);
    EXPECT_NE(scene->meshes[0].texture, nullptr);
    EXPECT_NE(scene->meshes[1].texture, nullptr);
    EXPECT_NE(scene->meshes[0].texture, scene->meshes[1].texture);
    // A texture that cannot be loaded leaves the mesh without one, name kept.
    EXPECT_EQ(scene->meshes[2].texture, nullptr);
    EXPECT_STREQ(scene->meshes[2].textureName, "missing.bmp");
    DestroyScene(scene);

    // A scene path without a directory loads textures from the working directory.
    const std::string cwd = std::filesystem::current_path().string();
    ASSERT_EQ(chdir((dir + "/scenes").c_str()), 0);
    scene = BuildScene("room.3ds", new Scene, harness::Device());
    ASSERT_EQ(chdir(cwd.c_str()), 0);
    ASSERT_EQ(scene->meshCount, 3);
    EXPECT_NE(scene->meshes[0].texture, nullptr);
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
    Scene* scene = BuildScene(path.c_str(), new Scene, harness::Device());
    ASSERT_EQ(scene->meshCount, 3);

    // Hold one more reference to everything the scene owns: after the destroy ours
    // must be the last one.
    std::vector<ID3D9Unknown*> objects;
    for (int i = 0; i < 2; ++i) {
        const SceneMesh& m = scene->meshes[i];
        for (ID3D9Unknown* o : std::initializer_list<ID3D9Unknown*>{m.texture, m.vertexBuffer, m.indexBuffer}) {
            ASSERT_NE(o, nullptr);
            o->AddRef();
            objects.push_back(o);
        }
    }
    DestroyScene(scene);
    for (ID3D9Unknown* o : objects) EXPECT_EQ(o->Release(), 0u);
}

}  // namespace
