#include "tests/support/SceneFiles.h"

namespace support {

Writer3ds::Key PositionKey(uint32_t frame, float x, float y, float z)
{
    Writer3ds::Key key;
    key.frame = frame;
    key.value[0] = x;
    key.value[1] = y;
    key.value[2] = z;
    return key;
}

Writer3ds::Key TurnKey(uint32_t frame, float angle, float x, float y, float z)
{
    Writer3ds::Key key;
    key.frame = frame;
    key.value[0] = angle;
    key.value[1] = x;
    key.value[2] = y;
    key.value[3] = z;
    return key;
}

MeshSpec Quad(const std::string& name, const float corners[4][3], const std::string& material)
{
    MeshSpec mesh;
    mesh.name = name;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j) mesh.xyz.push_back(corners[i][j]);
    mesh.uv = {0, 0, 1, 0, 1, 1, 0, 1};
    mesh.faces = {{0, 1, 2, 0}, {0, 2, 3, 0}};
    mesh.material = material;
    return mesh;
}

bool WriteScene(const SceneSpec& spec, const std::string& path)
{
    Writer3ds w;
    w.Begin(Writer3ds::kMain);
    w.Begin(Writer3ds::kEditor);
    for (const MaterialSpec& m : spec.materials)
        w.Material(m.name.c_str(), 200, 200, 200, m.texture.empty() ? nullptr : m.texture.c_str());
    for (const MeshSpec& mesh : spec.meshes) {
        w.BeginObject(mesh.name.c_str());
        w.Begin(Writer3ds::kMesh);
        w.Vertices(mesh.xyz.data(), mesh.xyz.size() / 3);
        if (!mesh.uv.empty()) w.Mapping(mesh.uv.data(), mesh.uv.size() / 2);
        w.MeshMatrix(mesh.matrix);
        if (!mesh.faces.empty()) {
            w.BeginFaces(mesh.faces.data(), mesh.faces.size());
            if (!mesh.material.empty()) {
                std::vector<uint16_t> all;
                for (size_t i = 0; i < mesh.faces.size(); ++i) all.push_back(static_cast<uint16_t>(i));
                w.FaceMaterials(mesh.material.c_str(), all.data(), all.size());
            }
            w.End();
        }
        w.End();
        w.End();
    }
    for (const CameraSpec& camera : spec.cameras) {
        w.BeginObject(camera.name.c_str());
        const float position[3] = {0, -100, 0}, target[3] = {0, 0, 0};
        w.BeginCamera(position, target, 0, 35);
        w.End();
        w.End();
    }
    w.End();

    w.Begin(Writer3ds::kKeyframer);
    w.Frames(spec.firstFrame, spec.lastFrame);
    uint16_t id = 0;
    for (const MeshSpec& mesh : spec.meshes) {
        if (!mesh.node) continue;
        w.BeginNode(Writer3ds::kObjectNode, mesh.name.c_str(), mesh.parent, id++);
        const Writer3ds::Key origin = PositionKey(0, 0, 0, 0);
        const Writer3ds::Key still = TurnKey(0, 0, 0, 0, 1);
        const Writer3ds::Key unit = PositionKey(0, 1, 1, 1);
        w.PositionKeys(mesh.position.empty() ? &origin : mesh.position.data(),
                       mesh.position.empty() ? 1 : mesh.position.size());
        w.RotationKeys(mesh.rotation.empty() ? &still : mesh.rotation.data(),
                       mesh.rotation.empty() ? 1 : mesh.rotation.size());
        w.ScaleKeys(mesh.scale.empty() ? &unit : mesh.scale.data(),
                    mesh.scale.empty() ? 1 : mesh.scale.size());
        w.End();
    }
    for (const CameraSpec& camera : spec.cameras) {
        if (camera.positionNode) {
            w.BeginNode(Writer3ds::kCameraNode, camera.name.c_str(), 0xFFFF, id++);
            w.PositionKeys(camera.position.data(), camera.position.size());
            w.FovKeys(camera.fov.data(), camera.fov.size());
            w.End();
        }
        if (camera.targetNode) {
            w.BeginNode(Writer3ds::kCameraTargetNode, camera.name.c_str(), 0xFFFF, id++);
            w.PositionKeys(camera.target.data(), camera.target.size());
            w.End();
        }
    }
    w.End();
    w.End();
    return w.Save(path.c_str()) == 1;
}

}  // namespace support
