// Scenes written in code for the scene and monitor tests and the benchmark.
// Coordinates here are the file's own (Z up); the reader stores them Y-up.
#pragma once

#include "tools/writers/Writer3ds.h"

#include <string>
#include <vector>

namespace support {

struct MeshSpec {
    std::string name;
    std::vector<float> xyz;  // file coordinates, three per vertex
    std::vector<float> uv;   // two per vertex; none when empty
    std::vector<Writer3ds::Face> faces;
    std::string material;  // mapping list for all faces; none when empty
    float matrix[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    bool node = true;  // write a keyframer node of the mesh's name
    uint16_t parent = 0xFFFF;
    // Keys of the node; a node without keys gets position 0, no turn and unit scale.
    std::vector<Writer3ds::Key> position, rotation, scale;
};

struct MaterialSpec {
    std::string name;
    std::string texture;  // none when empty
};

struct CameraSpec {
    std::string name;
    bool positionNode = true;
    bool targetNode = true;
    std::vector<Writer3ds::Key> position, target, fov;
};

struct SceneSpec {
    std::vector<MaterialSpec> materials;
    std::vector<MeshSpec> meshes;
    std::vector<CameraSpec> cameras;
    int32_t firstFrame = 0, lastFrame = 100;
};

Writer3ds::Key PositionKey(uint32_t frame, float x, float y, float z);
Writer3ds::Key TurnKey(uint32_t frame, float angle, float x, float y, float z);

// A quad of two triangles with mapping (0,0)..(1,1), corners given in file space.
MeshSpec Quad(const std::string& name, const float corners[4][3], const std::string& material);

// Writes the scene to path; returns whether the file was written.
bool WriteScene(const SceneSpec& spec, const std::string& path);

}  // namespace support
