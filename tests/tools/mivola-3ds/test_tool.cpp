// mivola-3ds prints one JSON line per file and fails only when every file failed.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/Run.h"
#include "tools/writers/Writer3ds.h"

namespace {

const std::string kTool = std::string(MIVOLA_BINARY_DIR) + "/tools/mivola-3ds/mivola-3ds";
const std::string kDir = std::string(MIVOLA_BINARY_DIR) + "/tests/tools/mivola-3ds";

support::CommandResult RunTool(const std::string& arguments)
{
    return support::RunCommand(kTool + " " + arguments + " 2>/dev/null");
}

}  // namespace

TEST(Tool, PrintsTheRecords)
{
    Writer3ds w;
    w.Begin(Writer3ds::kMain);
    w.Begin(Writer3ds::kEditor);
    w.Material("Mat\"1", 1, 2, 3, "tex.png", 50);
    const float xyz[] = {0.1f, 2, 3};
    const float uv[] = {0.5f, -1};
    const float matrix[] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 10, 20, 30};
    const Writer3ds::Face face = {0, 0, 0, 0x0D};
    const uint16_t first = 0;
    w.BeginObject("Box");
    w.Begin(Writer3ds::kMesh);
    w.Vertices(xyz, 1);
    w.Mapping(uv, 1);
    w.MeshMatrix(matrix);
    w.BeginFaces(&face, 1);
    w.FaceMaterials("Mat\"1", &first, 1);
    w.End();
    w.End();
    w.End();
    const float position[] = {1, 2, 3}, target[] = {0, 0, 0};
    w.BeginObject("Cam");
    w.BeginCamera(position, target, 0, 35);
    w.End();
    w.End();
    w.End();
    w.Begin(Writer3ds::kKeyframer);
    w.Frames(0, 20);
    w.BeginNode(Writer3ds::kObjectNode, "Box", 0xFFFF, 0);
    Writer3ds::Key key;
    key.frame = 10;
    key.value[0] = 1;
    key.value[1] = 2;
    key.value[2] = 3;
    key.value[3] = 4;
    w.PositionKeys(&key, 1);
    w.RotationKeys(&key, 1);
    w.End();
    w.End();
    const std::string path = kDir + "/tool_scene.3ds";
    ASSERT_EQ(w.Save(path.c_str()), 1);

    const support::CommandResult run = RunTool(path + " " + kDir + "/missing.3ds");
    EXPECT_EQ(run.status, 0);
    const std::string expected =
        "{\"file\":\"" + path +
        "\",\"ok\":true,\"error\":0,\"firstFrame\":0,\"lastFrame\":20,"
        "\"frameCount\":20,\"meshes\":[{\"name\":\"Box\",\"visible\":0,\"node\":0,"
        "\"matrix\":[1,0,0,0,1,0,0,0,1,10,30,20],\"vertices\":[[0.100000001,3,2,0.5,-1]],"
        "\"faces\":[[0,0,0,13,0]]}],\"materials\":[{\"name\":\"Mat\\\"1\",\"texture\":\"tex.png\","
        "\"ambient\":[1,2,3],\"texturePercent\":50}],\"cameras\":[{\"name\":\"Cam\","
        "\"position\":[1,3,2],\"target\":[0,0,0],\"bank\":0,\"lens\":35,\"positionNode\":-1,"
        "\"targetNode\":-1}],\"lights\":[],\"nodes\":[{\"name\":\"Box\",\"id\":0,\"parent\":65535,"
        "\"type\":1,\"pivot\":[0,0,0],\"positionKeys\":[[10,1,3,2]],\"rotationKeys\":[[10,1,2,4,3]],"
        "\"scaleKeys\":[]}]}\n"
        "{\"file\":\"" +
        kDir +
        "/missing.3ds\",\"ok\":false,\"error\":2,\"firstFrame\":0,"
        "\"lastFrame\":0,\"frameCount\":0,\"meshes\":[],\"materials\":[],\"cameras\":[],"
        "\"lights\":[],\"nodes\":[]}\n";
    EXPECT_EQ(run.out, expected);

    // Every file failed: a failing exit.
    EXPECT_NE(RunTool(kDir + "/missing.3ds").status, 0);
    std::remove(path.c_str());
}
