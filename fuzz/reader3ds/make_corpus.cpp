// Writes the seed corpus of the reader's fuzz target: a few small, valid scenes that
// reach every kind of chunk the reader knows.
//   make_corpus_reader3ds DIR
#include <cstdio>
#include <string>

#include "tools/writers/Writer3ds.h"

namespace {

void Mesh(Writer3ds& w, const char* name, const char* material)
{
    const float xyz[] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 1};
    const float uv[] = {0, 0, 1, 0, 1, 1, 0, 1};
    const float matrix[] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 2, 3, 4};
    const Writer3ds::Face faces[] = {{0, 1, 2, 7}, {0, 2, 3, 0x1F}};
    const uint16_t all[] = {0, 1};
    w.BeginObject(name);
    w.Begin(Writer3ds::kMesh);
    w.Vertices(xyz, 4);
    w.Mapping(uv, 4);
    w.MeshMatrix(matrix);
    w.Visibility(0);
    w.BeginFaces(faces, 2);
    w.FaceMaterials(material, all, 2);
    w.End();
    w.End();
    w.End();
}

void Node(Writer3ds& w, uint16_t kind, const char* name, uint16_t id)
{
    Writer3ds::Key keys[2];
    keys[1].frame = 10;
    keys[1].flags = 0x7;
    keys[1].spline[0] = 0.5f;
    keys[1].spline[1] = -0.25f;
    keys[1].spline[2] = 0.125f;
    keys[0].value[0] = 1;
    keys[1].value[1] = 1;
    keys[1].value[2] = 1;
    keys[0].target = "A";
    w.BeginNode(kind, name, id == 0 ? 0xFFFF : 0, id);
    w.Pivot(1, 2, 3);
    w.PositionKeys(keys, 2);
    w.RotationKeys(keys, 2);
    w.ScaleKeys(keys, 1);
    w.FovKeys(keys, 2);
    w.RollKeys(keys, 1);
    w.MorphKeys(keys, 1);
    w.Chunk(Writer3ds::kHideKeys);
    w.End();
}

int Save(Writer3ds& w, const std::string& dir, const char* name)
{
    return w.Save((dir + "/" + name).c_str()) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string dir = argc > 1 ? argv[1] : ".";
    int failures = 0;
    {
        Writer3ds w;
        w.Begin(Writer3ds::kMain);
        w.Begin(Writer3ds::kEditor);
        w.Material("Wood", 10, 20, 30, "wood.png", 75);
        Mesh(w, "Box", "Wood");
        w.End();
        w.Begin(Writer3ds::kKeyframer);
        w.Frames(0, 100);
        Node(w, Writer3ds::kObjectNode, "Box", 0);
        w.End();
        failures += Save(w, dir, "mesh.3ds");
    }
    {
        Writer3ds w;
        const float position[] = {0, -10, 5}, target[] = {0, 0, 0};
        w.Begin(Writer3ds::kMain);
        w.Begin(Writer3ds::kEditor);
        w.BeginObject("Cam");
        w.BeginCamera(position, target, 0, 35);
        w.End();
        w.End();
        w.BeginObject("Lamp");
        w.Light();
        w.End();
        w.End();
        w.Begin(Writer3ds::kKeyframer);
        w.Frames(0, 50);
        Node(w, Writer3ds::kCameraNode, "Cam", 1);
        Node(w, Writer3ds::kCameraTargetNode, "Cam", 2);
        Node(w, Writer3ds::kOmnilightNode, "Lamp", 3);
        Node(w, Writer3ds::kSpotlightNode, "Lamp", 4);
        Node(w, Writer3ds::kSpotlightTargetNode, "Lamp", 5);
        w.End();
        failures += Save(w, dir, "camera.3ds");
    }
    {
        Writer3ds w;
        w.Begin(Writer3ds::kMain);
        w.Begin(Writer3ds::kEditor);
        w.Begin(0x2100);
        const float rgb[] = {0.5f, 0.25f, 1};
        w.Chunk(Writer3ds::kFloatColor, rgb, sizeof rgb);
        w.End();
        w.Begin(0x1200);
        const uint8_t bytes[] = {1, 2, 3};
        w.Chunk(Writer3ds::kByteColor, bytes, 3);
        w.End();
        w.Chunk(0x1234, "skip", 4);
        w.Material("", 1, 2, 3);
        Mesh(w, "", "");
        w.End();
        failures += Save(w, dir, "odd.3ds");
    }
    return failures;
}
