// Building scenes in memory (no device): geometry, texture names, tracks, cameras.
#include "scene3ds/Scene.h"
#include "tests/support/Files.h"
#include "tests/support/SceneFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

using namespace support;

namespace {

struct Built {
    std::unique_ptr<Scene> scene = std::make_unique<Scene>();
    const SceneMesh& mesh(int i) const { return scene->meshes[i]; }
};

Built Build(const SceneSpec& spec, const std::string& file = "scene.3ds")
{
    const std::string path = TempPath(file);
    EXPECT_TRUE(WriteScene(spec, path));
    Built built;
    EXPECT_EQ(BuildScene(path.c_str(), built.scene.get(), nullptr), built.scene.get());
    return built;
}

const float kSquare[4][3] = {{0, 0, 0}, {10, 0, 0}, {10, 0, 10}, {0, 0, 10}};

TEST(SceneBuild, TextureCoordinatesAreShiftedAboveZeroAndVFlipped)
{
    struct Case {
        const char* what;
        std::vector<float> uv;
        float du;  // expected u' - u
        float dv;  // expected v' + v
    } cases[] = {
        {"all in 0..1", {0, 0, 1, 0, 1, 1, 0.25f, 0.75f}, 1, 0},
        {"lowest -2.5", {-2.5f, 0, 1, 0, 1, 3, 0, -1}, 3, -2},
        {"lowest exactly -1", {0, -1, 1, 0, 1, 1, 0, 1}, 2, -1},
        {"all above 1", {2, 2, 3, 3, 4, 4, 5, 5}, 1, 0},
    };
    for (const Case& c : cases) {
        SceneSpec spec;
        spec.meshes.push_back(Quad("Box", kSquare, ""));
        spec.meshes[0].uv = c.uv;
        Built b = Build(spec);
        ASSERT_EQ(b.scene->meshCount, 1) << c.what;
        const SceneMesh& m = b.mesh(0);
        ASSERT_EQ(m.vertexCount, 4) << c.what;
        for (int i = 0; i < 4; ++i) {
            EXPECT_FLOAT_EQ(m.vertices[i].u, c.uv[i * 2] + c.du) << c.what << " vertex " << i;
            EXPECT_FLOAT_EQ(m.vertices[i].v, c.dv - c.uv[i * 2 + 1]) << c.what << " vertex " << i;
        }
    }
}

TEST(SceneBuild, VerticesMoveIntoObjectSpace)
{
    SceneSpec spec;
    // Identity matrix: positions as stored (Y and Z exchanged from the file).
    spec.meshes.push_back(Quad("Plain", kSquare, ""));
    // Translated by (5, 6, 7) in file space: vertices move back by it.
    spec.meshes.push_back(Quad("Moved", kSquare, ""));
    const float moved[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 5, 6, 7};
    std::memcpy(spec.meshes[1].matrix, moved, sizeof moved);
    // A flat matrix has no inverse: vertices stay as they are.
    spec.meshes.push_back(Quad("Flat", kSquare, ""));
    const float flat[12] = {1, 0, 0, 0, 0, 0, 0, 0, 1, 5, 6, 7};
    std::memcpy(spec.meshes[2].matrix, flat, sizeof flat);
    // Without a keyframer node nothing places the mesh, so it stays in world space.
    spec.meshes.push_back(Quad("Loose", kSquare, ""));
    std::memcpy(spec.meshes[3].matrix, moved, sizeof moved);
    spec.meshes[3].node = false;

    Built b = Build(spec);
    ASSERT_EQ(b.scene->meshCount, 4);
    const float shift[4][3] = {{0, 0, 0}, {-5, -7, -6}, {0, 0, 0}, {0, 0, 0}};
    for (int mesh = 0; mesh < 4; ++mesh) {
        const SceneMesh& m = b.mesh(mesh);
        ASSERT_EQ(m.vertexCount, 4);
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(m.vertices[i].x, kSquare[i][0] + shift[mesh][0], 1e-5f) << m.name;
            EXPECT_NEAR(m.vertices[i].y, kSquare[i][2] + shift[mesh][1], 1e-5f) << m.name;
            EXPECT_NEAR(m.vertices[i].z, kSquare[i][1] + shift[mesh][2], 1e-5f) << m.name;
        }
    }
}

TEST(SceneBuild, FacesOutsideTheVertexArrayAreDroppedAndEmptyMeshesOwnNothing)
{
    SceneSpec spec;
    spec.materials.push_back({"Wood", "wood.png"});
    MeshSpec empty = Quad("Empty", kSquare, "");
    empty.faces.clear();
    spec.meshes.push_back(empty);
    // Every face points past the vertex array: nothing drawable remains.
    MeshSpec broken = Quad("Broken", kSquare, "Wood");
    broken.faces = {{0, 1, 4, 0}, {7, 1, 2, 0}};
    spec.meshes.push_back(broken);
    // Only the face past the vertex array is dropped.
    MeshSpec partly = Quad("Partly", kSquare, "");
    partly.faces = {{0, 1, 2, 0}, {0, 2, 4, 0}, {0, 2, 3, 0}};
    spec.meshes.push_back(partly);

    Built b = Build(spec);
    ASSERT_EQ(b.scene->meshCount, 3);
    for (int i = 0; i < 2; ++i) {
        const SceneMesh& m = b.mesh(i);
        EXPECT_EQ(m.faceCount, 0) << m.name;
        EXPECT_EQ(m.vertexCount, 0) << m.name;
        EXPECT_EQ(m.vertices, nullptr) << m.name;
        EXPECT_EQ(m.indices, nullptr) << m.name;
        EXPECT_EQ(m.positionX.keyCount + m.scaleX.keyCount + m.rotation.keyCount, 0) << m.name;
        EXPECT_STREQ(m.textureName, "") << m.name;
        EXPECT_EQ(m.texture, nullptr);
        EXPECT_EQ(m.vertexBuffer, nullptr);
        EXPECT_EQ(m.indexBuffer, nullptr);
    }
    const SceneMesh& m = b.mesh(2);
    ASSERT_EQ(m.faceCount, 2);
    const uint16_t expected[6] = {0, 1, 2, 0, 2, 3};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(m.indices[i], expected[i]) << i;
}

TEST(SceneBuild, NormalsAreTheMeanOfTheFacesUsingEachVertex)
{
    // Stored (Y-up) corners of a roof: two faces meeting at a right angle along x,
    // plus a fifth vertex no face uses.
    SceneSpec spec;
    MeshSpec mesh;
    mesh.name = "Roof";
    // File coordinates are (x, z, y) of the stored ones.
    mesh.xyz = {0, 0, 0, 1, 0, 0, 0, 1, 0,  // flat face in the stored XZ plane
                0, 0, 0, 1, 0, 0, 0, 0, 1,  // upright face in the stored XY plane
                3, 3, 3};
    mesh.faces = {{0, 1, 2, 0}, {3, 4, 5, 0}};
    mesh.uv.assign(14, 0.0f);
    spec.meshes.push_back(mesh);
    // Shared corners: one face of each.
    mesh.name = "Shared";
    mesh.xyz = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    mesh.faces = {{0, 1, 2, 0}, {0, 1, 3, 0}};
    mesh.uv.assign(8, 0.0f);
    spec.meshes.push_back(mesh);

    Built b = Build(spec);
    const SceneMesh& roof = b.mesh(0);
    ASSERT_EQ(roof.vertexCount, 7);
    // Stored flat face A(0,0,0) B(1,0,0) C(0,0,1): (A - C) x (A - B) = (0, 1, 0).
    EXPECT_FLOAT_EQ(roof.vertices[0].ny, 1.0f);
    // Stored upright face A(0,0,0) B(1,0,0) C(0,1,0): (A - C) x (A - B) = (0, 0, -1).
    EXPECT_FLOAT_EQ(roof.vertices[3].nz, -1.0f);
    EXPECT_EQ(roof.vertices[6].nx, 0.0f);
    EXPECT_EQ(roof.vertices[6].ny, 1.0f);
    EXPECT_EQ(roof.vertices[6].nz, 0.0f);

    const SceneMesh& shared = b.mesh(1);
    const float h = 1.0f / std::sqrt(2.0f);
    // Vertices 0 and 1 are used by both faces: the normalised mean of (0,1,0) and (0,0,-1).
    for (int i = 0; i < 2; ++i) {
        EXPECT_NEAR(shared.vertices[i].nx, 0.0f, 1e-6f);
        EXPECT_NEAR(shared.vertices[i].ny, h, 1e-6f);
        EXPECT_NEAR(shared.vertices[i].nz, -h, 1e-6f);
    }
    EXPECT_FLOAT_EQ(shared.vertices[2].ny, 1.0f);
    EXPECT_FLOAT_EQ(shared.vertices[3].nz, -1.0f);
}

TEST(SceneBuild, TextureNamesComeFromTheFirstFacesMaterial)
{
    SceneSpec spec;
    spec.materials = {{"Stone", "stone.png"}, {"Wood", "Wood.png"}, {"Bare", ""}};
    spec.meshes.push_back(Quad("Wooden", kSquare, "Wood"));
    spec.meshes.push_back(Quad("Unnamed", kSquare, ""));  // no mapping list: first material
    spec.meshes.push_back(Quad("Bare", kSquare, "Bare"));
    Built b = Build(spec);
    EXPECT_STREQ(b.mesh(0).textureName, "Wood.png");
    EXPECT_STREQ(b.mesh(1).textureName, "stone.png");
    EXPECT_STREQ(b.mesh(2).textureName, "");
    EXPECT_STREQ(b.mesh(0).name, "Wooden");

    // A file without materials: the face's material index 0 names nothing.
    SceneSpec none;
    none.meshes.push_back(Quad("Lonely", kSquare, "Wood"));
    Built c = Build(none, "none.3ds");
    ASSERT_EQ(c.mesh(0).faceCount, 2);
    EXPECT_STREQ(c.mesh(0).textureName, "");
}

TEST(SceneBuild, TexturePathIsBesideTheSceneFile)
{
    struct Case {
        const char* scene;
        const char* texture;
        const char* expected;
    } cases[] = {
        {"scenes/room.3ds", "Wood.png", "scenes/Wood.png"},
        {"room.3ds", "Wood.png", "Wood.png"},
        {"/abs/room.3ds", "x.jpg", "/abs/x.jpg"},
    };
    for (const Case& c : cases) {
        char out[kScenePathSize];
        EXPECT_TRUE(SceneTexturePath(c.scene, c.texture, out)) << c.scene;
        EXPECT_STREQ(out, c.expected) << c.scene;
    }
    // 259 characters fit; 260 do not.
    const std::string dir(250, 'd');
    char out[kScenePathSize];
    EXPECT_TRUE(SceneTexturePath((dir + "/s.3ds").c_str(), "12345678", out));
    EXPECT_EQ(std::strlen(out), 259u);
    EXPECT_FALSE(SceneTexturePath((dir + "/s.3ds").c_str(), "123456789", out));
    EXPECT_STREQ(out, "");
}

TEST(SceneBuild, TracksComeFromTheNodeOfTheMeshsName)
{
    SceneSpec spec;
    MeshSpec turning = Quad("Turning", kSquare, "");
    const float quarter = 1.5707964f;
    // Relative turns of 90 degrees about the file's Z axis (stored as Y).
    turning.rotation = {TurnKey(0, quarter, 0, 0, 1), TurnKey(10, quarter, 0, 0, 1),
                        TurnKey(20, quarter, 0, 0, 1)};
    turning.position = {PositionKey(0, 1, 2, 3), PositionKey(30, 4, 5, 6)};
    turning.scale = {PositionKey(0, 2, 3, 4)};
    turning.parent = 0xFFFF;
    spec.meshes.push_back(turning);
    MeshSpec child = Quad("Child", kSquare, "");
    child.parent = 0;
    spec.meshes.push_back(child);
    MeshSpec loose = Quad("Loose", kSquare, "");
    loose.node = false;  // the reader points it at node 0, which is Turning's
    spec.meshes.push_back(loose);

    Built b = Build(spec);
    const SceneMesh& t = b.mesh(0);
    ASSERT_EQ(t.rotation.keyCount, 3);
    for (int k = 0; k < 3; ++k) {
        const Quaternion q = t.rotation.keys[k].rotation;
        const float half = (k + 1) * quarter / 2;
        EXPECT_NEAR(q.w, std::cos(half), 1e-6f) << "key " << k;
        EXPECT_NEAR(q.y, std::sin(half), 1e-6f) << "key " << k;
        EXPECT_NEAR(q.x, 0.0f, 1e-6f);
        EXPECT_NEAR(q.z, 0.0f, 1e-6f);
        EXPECT_EQ(t.rotation.keys[k].frame, k * 10);
    }
    ASSERT_EQ(t.positionX.keyCount, 2);
    EXPECT_EQ(t.positionX.keys[1].value, 4.0f);
    EXPECT_EQ(t.positionY.keys[1].value, 6.0f);  // Y-up: the file's z
    EXPECT_EQ(t.positionZ.keys[1].value, 5.0f);
    EXPECT_EQ(t.positionX.keys[1].frame, 30);
    // Prepared: a two-key track's tangent is the difference of its values.
    EXPECT_FLOAT_EQ(t.positionX.keys[0].tangentOut, 3.0f);
    ASSERT_EQ(t.scaleY.keyCount, 1);
    EXPECT_EQ(t.scaleY.keys[0].value, 4.0f);
    EXPECT_EQ(t.parent, -1);
    EXPECT_EQ(b.mesh(1).parent, 0);

    // No node of its own name: unit scale, nothing else, vertices in world space.
    const SceneMesh& l = b.mesh(2);
    EXPECT_EQ(l.positionX.keyCount + l.positionY.keyCount + l.positionZ.keyCount, 0);
    EXPECT_EQ(l.rotation.keyCount, 0);
    for (const ScalarTrack* s : {&l.scaleX, &l.scaleY, &l.scaleZ}) {
        ASSERT_EQ(s->keyCount, 1);
        EXPECT_EQ(s->keys[0].value, 1.0f);
    }
    EXPECT_EQ(l.parent, -1);
}

TEST(SceneBuild, CamerasTakeTheirNodesTracks)
{
    SceneSpec spec;
    CameraSpec aimed;
    aimed.name = "Aimed";
    aimed.position = {PositionKey(0, 1, 2, 3)};
    aimed.target = {PositionKey(0, 7, 8, 9), PositionKey(5, 7, 8, 10)};
    Writer3ds::Key fov;
    fov.value[0] = 45.0f;
    aimed.fov = {fov};
    spec.cameras.push_back(aimed);
    CameraSpec free = aimed;
    free.name = "Free";
    free.targetNode = false;
    spec.cameras.push_back(free);
    CameraSpec unkeyed = aimed;
    unkeyed.name = "Unkeyed";
    unkeyed.positionNode = false;
    unkeyed.targetNode = false;
    spec.cameras.push_back(unkeyed);
    spec.firstFrame = 5;
    spec.lastFrame = 75;

    Built b = Build(spec);
    EXPECT_EQ(b.scene->firstFrame, 5);
    EXPECT_EQ(b.scene->lastFrame, 75);
    ASSERT_EQ(b.scene->cameraCount, 3);
    const SceneCamera& a = b.scene->cameras[0];
    ASSERT_EQ(a.positionY.keyCount, 1);
    EXPECT_EQ(a.positionY.keys[0].value, 3.0f);
    ASSERT_NE(a.targetZ, nullptr);
    ASSERT_EQ(a.targetZ->keyCount, 2);
    EXPECT_EQ(a.targetZ->keys[1].value, 8.0f);
    EXPECT_EQ(a.targetY->keys[1].value, 10.0f);
    ASSERT_EQ(a.fov.keyCount, 1);
    EXPECT_EQ(a.fov.keys[0].value, 45.0f);

    const SceneCamera& f = b.scene->cameras[1];
    EXPECT_EQ(f.positionX.keyCount, 1);
    EXPECT_EQ(f.targetX, nullptr);
    EXPECT_EQ(f.targetY, nullptr);
    EXPECT_EQ(f.targetZ, nullptr);

    const SceneCamera& u = b.scene->cameras[2];
    EXPECT_EQ(u.positionX.keyCount + u.fov.keyCount, 0);
    EXPECT_EQ(u.targetX, nullptr);
}

TEST(SceneBuild, UnreadableFilesLeaveTheSceneEmpty)
{
    const std::string junk = TempPath("junk.3ds");
    FILE* f = std::fopen(junk.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("not a scene at all", f);
    std::fclose(f);
    for (const char* path : {junk.c_str(), "/nonexistent/room.3ds", "", (const char*)nullptr}) {
        Scene scene;
        EXPECT_EQ(BuildScene(path, &scene, nullptr), &scene);
        EXPECT_EQ(scene.meshCount, 0);
        EXPECT_EQ(scene.cameraCount, 0);
    }
    EXPECT_EQ(BuildScene("x.3ds", nullptr, nullptr), nullptr);
    DestroyScene(nullptr);
}

}  // namespace
