// Building scenes on a headless device: textures beside the scene file, buffers
// in the managed pool, and a destroy that releases every device object.
#include "scene3ds/Scene.h"
#include "tests/scene/RenderHarness.h"
#include "tests/scene/SceneFixtures.h"

#include <gtest/gtest.h>

#include <cstring>
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

TEST_F(SceneDevice, BuffersHoldTheVerticesAndIndicesInTheManagedPool)
{
    SceneSpec spec;
    spec.meshes = {Quad("A", kSquare, "")};
    spec.meshes[0].faces.push_back({0, 9, 1, 0});  // dropped
    const std::string path = dir + "/buffers.3ds";
    ASSERT_TRUE(WriteScene(spec, path));
    Scene* scene = BuildScene(path.c_str(), new Scene, harness::Device());
    const SceneMesh& mesh = scene->meshes[0];
    ASSERT_NE(mesh.vertexBuffer, nullptr);
    ASSERT_NE(mesh.indexBuffer, nullptr);

    D3DVERTEXBUFFER_DESC vd{};
    mesh.vertexBuffer->GetDesc(&vd);
    EXPECT_EQ(vd.Size, 4u * 44u);
    EXPECT_EQ(vd.FVF, 0x252u);
    EXPECT_EQ(vd.Pool, D3DPOOL_MANAGED);
    void* bytes = nullptr;
    ASSERT_EQ(mesh.vertexBuffer->Lock(0, 0, &bytes, 0), D3D_OK);
    EXPECT_EQ(std::memcmp(bytes, mesh.vertices.get(), vd.Size), 0);
    mesh.vertexBuffer->Unlock();

    D3DINDEXBUFFER_DESC id{};
    mesh.indexBuffer->GetDesc(&id);
    EXPECT_EQ(id.Size, 2u * 6u);
    EXPECT_EQ(id.Format, D3DFMT_INDEX16);
    EXPECT_EQ(id.Pool, D3DPOOL_MANAGED);
    ASSERT_EQ(mesh.indexBuffer->Lock(0, 0, &bytes, 0), D3D_OK);
    const uint16_t expected[6] = {0, 1, 2, 0, 2, 3};
    EXPECT_EQ(std::memcmp(bytes, expected, sizeof expected), 0);
    mesh.indexBuffer->Unlock();
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
