#include <gtest/gtest.h>

#include <array>

#include "tests/scene3ds/ReaderFixtures.h"

namespace {

void WriteMesh(Writer3ds& w, const char* name, const char* material = nullptr)
{
    const float xyz[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const Writer3ds::Face face = {0, 1, 2, 0x1F};
    const uint16_t first = 0;
    w.BeginObject(name);
    w.Begin(Writer3ds::kMesh);
    w.Vertices(xyz, 3);
    w.BeginFaces(&face, 1);
    if (material) w.FaceMaterials(material, &first, 1);
    w.End();
    w.End();
    w.End();
}

void WriteNode(Writer3ds& w, uint16_t kind, const char* name, uint16_t id)
{
    w.BeginNode(kind, name, 0xFFFF, id);
    w.End();
}

}  // namespace

TEST(Reader, MeshIsStoredYUp)
{
    Writer3ds w;
    w.Begin(Writer3ds::kMain);
    w.Begin(Writer3ds::kEditor);
    const float xyz[] = {1, 2, 3, -4, 5, -6};
    const float uv[] = {0.25f, 0.75f, 9, 9, 7, 7};  // one pair more than vertices: ignored
    // File rows: X axis, Y axis, Z axis, origin.
    const float matrix[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const Writer3ds::Face faces[] = {{0, 1, 7, 0x01}, {1, 0, 1, 0x1E | 0xFF00}};
    w.BeginObject("Thing");
    w.Begin(Writer3ds::kMesh);
    w.Vertices(xyz, 2);
    w.Mapping(uv, 3);
    w.MeshMatrix(matrix);
    w.Visibility(0);
    w.BeginFaces(faces, 2);
    w.End();
    w.End();
    w.End();
    const Loaded loaded = Load(w);
    ASSERT_EQ(loaded.result, 1);
    const Scene3ds& s = *loaded.root;
    ASSERT_EQ(s.meshCount, 1);
    const Mesh3ds& mesh = *s.meshIndex[0];
    EXPECT_STREQ(mesh.name, "Thing");
    EXPECT_EQ(mesh.visible, 1);
    ASSERT_EQ(mesh.vertexCount, 2);
    const Vertex3ds& v0 = mesh.vertices[0];
    const Vertex3ds& v1 = mesh.vertices[1];
    EXPECT_EQ((std::array{v0.x, v0.y, v0.z, v0.u, v0.v}), (std::array{1.f, 3.f, 2.f, .25f, .75f}));
    EXPECT_EQ((std::array{v1.x, v1.y, v1.z, v1.u, v1.v}), (std::array{-4.f, -6.f, 5.f, 9.f, 9.f}));
    // The Y and Z rows trade places and every row trades its Y and Z.
    const float expected[4][3] = {{1, 3, 2}, {7, 9, 8}, {4, 6, 5}, {10, 12, 11}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(mesh.matrix[r][c], expected[r][c]) << r << c;
    ASSERT_EQ(mesh.faceCount, 2);
    const Face3ds& f0 = mesh.faces[0];
    const Face3ds& f1 = mesh.faces[1];
    EXPECT_EQ((std::array{f0.a, f0.b, f0.c}), (std::array{0, 1, 7}));  // index kept as read
    EXPECT_EQ((std::array{f0.edgeAB, f0.edgeBC, f0.edgeCA, f0.wrapU, f0.wrapV}), (std::array{0, 0, 1, 0, 0}));
    EXPECT_EQ((std::array{f1.edgeAB, f1.edgeBC, f1.edgeCA, f1.wrapU, f1.wrapV}),
              (std::array{4, 2, 0, 8, 16}));
    EXPECT_EQ(f0.materialName, nullptr);
}

TEST(Reader, MaterialsCamerasAndKeys)
{
    Writer3ds w;
    w.Begin(Writer3ds::kMain);
    w.Begin(Writer3ds::kEditor);
    w.Material("Red", 200, 10, 20, "red.png", 65535);
    // Ambient given only as floats keeps the last byte colour read.
    w.Begin(Writer3ds::kMaterial);
    w.Begin(Writer3ds::kMaterialName);
    w.String("Floaty");
    w.End();
    w.Begin(Writer3ds::kMaterialAmbient);
    const float rgb[] = {0.1f, 0.2f, 0.3f};
    w.Chunk(Writer3ds::kFloatColor, rgb, sizeof rgb);
    w.End();
    w.End();
    const float position[] = {1, 2, 3}, target[] = {4, 5, 6};
    w.BeginObject("Cam");
    w.BeginCamera(position, target, 0.5f, 35);
    w.End();
    w.End();
    w.BeginObject("Lamp");
    w.Light();
    w.End();
    w.End();
    w.Begin(Writer3ds::kKeyframer);
    w.Frames(30, -10);
    w.BeginNode(Writer3ds::kObjectNode, "Obj", 3, 7);
    w.Pivot(1, 2, 3);
    Writer3ds::Key keys[2];
    keys[0].frame = 70000;  // kept modulo 65536
    keys[0].flags = 0x0001 | 0x0004 | 0x0020 | 0x8000;
    keys[0].spline[0] = 0.5f;
    keys[0].spline[2] = -0.5f;
    keys[0].spline[5] = 99;  // read past and dropped
    keys[0].spline[15] = 98;
    keys[0].value[0] = 1;
    keys[0].value[1] = 2;
    keys[0].value[2] = 3;
    keys[0].value[3] = 4;
    keys[1].frame = 5;
    keys[1].value[0] = 7;
    keys[1].target = "Other";
    w.PositionKeys(keys, 2);
    w.RotationKeys(keys, 2);
    w.ScaleKeys(keys, 1);
    w.FovKeys(keys, 2);
    w.RollKeys(keys + 1, 1);
    w.MorphKeys(keys, 2);
    w.End();
    w.End();
    w.End();

    const Loaded loaded = Load(w);
    ASSERT_EQ(loaded.result, 1);
    const Scene3ds& s = *loaded.root;
    ASSERT_EQ(s.materialCount, 2);
    const Material3ds& red = *s.materialIndex[0];
    EXPECT_STREQ(red.name, "Red");
    EXPECT_STREQ(red.textureFile, "red.png");
    EXPECT_EQ(red.texturePercent, 65535);
    EXPECT_EQ((std::array{red.ambient[0], red.ambient[1], red.ambient[2]}),
              (std::array<uint8_t, 3>{200, 10, 20}));
    const Material3ds& floaty = *s.materialIndex[1];
    EXPECT_EQ(floaty.textureFile, nullptr);
    EXPECT_EQ(floaty.ambient[0], 200);

    ASSERT_EQ(s.cameraCount, 1);
    const Camera3ds& cam = *s.cameraIndex[0];
    EXPECT_EQ((std::array{cam.position[0], cam.position[1], cam.position[2]}), (std::array{1.f, 3.f, 2.f}));
    EXPECT_EQ((std::array{cam.target[0], cam.target[1], cam.target[2]}), (std::array{4.f, 6.f, 5.f}));
    EXPECT_EQ(cam.positionNode, -1);  // no camera nodes
    EXPECT_EQ(cam.targetNode, -1);
    ASSERT_EQ(s.lightCount, 1);
    EXPECT_STREQ(s.lightIndex[0]->name, "Lamp");

    EXPECT_EQ(s.firstFrame, 30);
    EXPECT_EQ(s.lastFrame, -10);
    EXPECT_EQ(s.frameCount, 40);
    ASSERT_EQ(s.nodeCount, 1);
    const Node3ds& node = *s.nodeIndex[0];
    EXPECT_STREQ(node.name, "Obj");
    EXPECT_EQ(node.nodeId, 7);
    EXPECT_EQ(node.parent, 3);
    EXPECT_EQ(node.type, NodeObject);
    EXPECT_EQ((std::array{node.pivot[0], node.pivot[1], node.pivot[2]}), (std::array{1.f, 3.f, 2.f}));
    ASSERT_EQ(node.positionKeyCount, 2);
    const PosKey3ds& p0 = node.positionKeys[0];
    EXPECT_EQ(p0.frame, 70000 - 65536);
    EXPECT_EQ(p0.spline.flags, 0x8025u);
    EXPECT_EQ((std::array{p0.spline.tension, p0.spline.continuity, p0.spline.bias, p0.spline.easeTo,
                          p0.spline.easeFrom}),
              (std::array{0.5f, 0.f, -0.5f, 0.f, 0.f}));
    EXPECT_EQ((std::array{p0.x, p0.y, p0.z}), (std::array{1.f, 3.f, 2.f}));
    EXPECT_EQ(node.positionKeys[1].frame, 5);
    EXPECT_EQ(node.positionKeys[1].x, 7.0f);
    ASSERT_EQ(node.rotationKeyCount, 2);
    const RotKey3ds& r0 = node.rotationKeys[0];
    EXPECT_EQ((std::array{r0.angle, r0.x, r0.y, r0.z}), (std::array{1.f, 2.f, 4.f, 3.f}));
    ASSERT_EQ(node.scaleKeyCount, 1);
    EXPECT_EQ(node.scaleKeys[0].y, 3.0f);
    ASSERT_EQ(node.fovKeyCount, 2);
    EXPECT_EQ(node.fovKeys[0].value, 1.0f);
}

TEST(Reader, LinksByNameLastMatchWins)
{
    Writer3ds w;
    w.Begin(Writer3ds::kMain);
    w.Begin(Writer3ds::kEditor);
    w.Material("Stone", 1, 1, 1);
    w.Material("Wood", 2, 2, 2);
    w.Material("Stone", 3, 3, 3);  // a later material of the same name wins
    w.Material("wood", 4, 4, 4);   // names are case-sensitive
    {
        // Face 0 named by two lists keeps the later one; face 2 by none.
        const float xyz[9] = {};
        const Writer3ds::Face faces[3] = {};
        const uint16_t f0 = 0, f01[] = {0, 1}, beyond[] = {1, 99};
        w.BeginObject("Box");
        w.Begin(Writer3ds::kMesh);
        w.Vertices(xyz, 3);
        w.BeginFaces(faces, 3);
        w.FaceMaterials("Stone", f01, 2);
        w.FaceMaterials("Wood", &f0, 1);
        w.FaceMaterials("Stone", beyond, 2);  // 99 is beyond the faces: ignored
        w.End();
        w.End();
        w.End();
    }
    WriteMesh(w, "Loner", "Nowhere");
    WriteMesh(w, "", "Wood");
    WriteMesh(w, "", "Wood");
    const float position[3] = {}, target[3] = {};
    w.BeginObject("Cam");
    w.BeginCamera(position, target, 0, 50);
    w.End();
    w.End();
    w.End();
    w.Begin(Writer3ds::kKeyframer);
    WriteNode(w, Writer3ds::kObjectNode, "Box", 0);        // node 0
    WriteNode(w, Writer3ds::kCameraNode, "Cam", 1);        // node 1
    WriteNode(w, Writer3ds::kObjectNode, "Box", 2);        // node 2: wins for Box
    WriteNode(w, Writer3ds::kCameraTargetNode, "Cam", 3);  // node 3
    WriteNode(w, Writer3ds::kCameraNode, "Cam", 4);        // node 4: wins the position
    WriteNode(w, Writer3ds::kObjectNode, "", 5);           // node 5: "$DUMMY$"
    w.End();
    w.End();

    const Loaded loaded = Load(w);
    ASSERT_EQ(loaded.result, 1);
    const Scene3ds& s = *loaded.root;
    ASSERT_EQ(s.meshCount, 4);
    const Mesh3ds& box = *s.meshIndex[0];
    EXPECT_STREQ(box.faces[0].materialName, "Wood");
    EXPECT_EQ(box.faces[0].materialIndex, 1);
    EXPECT_EQ(box.faces[1].materialIndex, 2);
    EXPECT_EQ(box.faces[2].materialName, nullptr);
    EXPECT_EQ(box.faces[2].materialIndex, 0);
    EXPECT_EQ(box.nodeIndex, 2);
    const Mesh3ds& loner = *s.meshIndex[1];
    EXPECT_EQ(loner.faces[0].materialIndex, 0);  // no such material
    EXPECT_EQ(loner.nodeIndex, 0);               // no such node
    // Two unnamed objects both read as "$DUMMY$" and meet the same unnamed node.
    EXPECT_STREQ(s.meshIndex[2]->name, "$DUMMY$");
    EXPECT_EQ(s.meshIndex[2]->nodeIndex, 5);
    EXPECT_EQ(s.meshIndex[3]->nodeIndex, 5);
    EXPECT_EQ(s.meshIndex[3]->faces[0].materialIndex, 1);
    const Camera3ds& cam = *s.cameraIndex[0];
    EXPECT_EQ(cam.positionNode, 4);
    EXPECT_EQ(cam.targetNode, 3);
    // Index arrays follow the lists.
    const Mesh3ds* m = s.meshList;
    for (int i = 0; i < s.meshCount; ++i, m = m->next) EXPECT_EQ(s.meshIndex[i], m);
    EXPECT_EQ(m, nullptr);
}

TEST(Reader, WalkRules)
{
    // An empty file and a main chunk of length 0 both load, empty.
    EXPECT_EQ(LoadBytes({}).result, 1);
    Writer3ds empty;
    empty.Header(Writer3ds::kMain, 0);
    empty.Header(0x1234, 0);  // never reached
    const Loaded emptyMain = Load(empty);
    EXPECT_EQ(emptyMain.result, 1);
    EXPECT_EQ(emptyMain.root->meshCount, 0);

    // A handler that reads less than its chunk, and unknown chunks, do not shift the
    // walk; a table chunk outside its parent is skipped with the unknown parent.
    Writer3ds w;
    w.Begin(Writer3ds::kMain);
    w.Begin(Writer3ds::kEditor);
    w.Begin(Writer3ds::kObject);
    w.String("A");
    w.Begin(Writer3ds::kMesh);
    w.Begin(Writer3ds::kVisibility);
    w.U8(1);
    w.U32(0xFFFFFFFF);  // more bytes than the chunk's field
    w.End();
    w.Begin(0x4111);  // unknown, holds something that looks like a vertex list
    const float one[3] = {5, 5, 5};
    w.Vertices(one, 1);
    w.End();
    const float xyz[] = {1, 2, 3};
    w.Vertices(xyz, 1);
    w.End();
    w.End();
    w.End();
    w.End();
    const Loaded loaded = Load(w);
    ASSERT_EQ(loaded.result, 1);
    const Mesh3ds& mesh = *loaded.root->meshIndex[0];
    EXPECT_EQ(mesh.visible, 0);
    ASSERT_EQ(mesh.vertexCount, 1);
    EXPECT_EQ(mesh.vertices[0].x, 1.0f);
}

TEST(Reader, ErrorsAreStickyPerReader)
{
    Writer3ds good;
    good.Begin(Writer3ds::kMain);
    good.Begin(Writer3ds::kEditor);
    WriteMesh(good, "Box");
    good.End();
    good.End();
    Writer3ds bad;
    bad.Begin(Writer3ds::kMain);
    bad.Begin(Writer3ds::kEditor);
    WriteMesh(bad, "First");
    bad.End();
    bad.End();
    bad.Begin(Writer3ds::kEditor);  // a second top-level chunk that is not the main chunk
    bad.End();

    C3ds reader;
    Scene3ds* root = nullptr;
    EXPECT_EQ(reader.Load3dsMemory(bad.Data().data(), bad.Size(), &root), 0);
    EXPECT_EQ(reader.Error(), LoadErrorNotMain);
    ASSERT_NE(root, nullptr);  // what was read is handed out, indexed
    ScenePtr partial(root);
    ASSERT_EQ(root->meshCount, 1);
    EXPECT_STREQ(root->meshIndex[0]->name, "First");

    root = reinterpret_cast<Scene3ds*>(1);
    EXPECT_EQ(reader.Load3dsMemory(good.Data().data(), good.Size(), &root), 0);
    EXPECT_EQ(root, nullptr);
    EXPECT_EQ(reader.Error(), LoadErrorNotMain);

    // Another reader is not affected.
    EXPECT_EQ(LoadBytes(good.Data()).result, 1);

    C3ds noPath;
    EXPECT_EQ(noPath.Load3ds(nullptr, &root), 0);
    EXPECT_EQ(noPath.Error(), LoadErrorNoPath);
    C3ds missing;
    EXPECT_EQ(missing.Load3ds("/nonexistent/scene.3ds", &root), 0);
    EXPECT_EQ(missing.Error(), LoadErrorOpen);
    EXPECT_EQ(root, nullptr);
    C3ds directory;
    EXPECT_EQ(directory.Load3ds("/", &root), 0);
    EXPECT_EQ(directory.Error(), LoadErrorOpen);
}
