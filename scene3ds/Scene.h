// A drawable scene built from a .3ds file: per mesh a vertex and an index buffer,
// per-vertex normals, shifted texture coordinates, the material's texture and the
// keyframer's position, rotation and scale tracks; per camera its tracks.
//
// Vertices are kept in object space (moved back from the file's world space by the
// inverse of the mesh matrix), so drawing applies the tracks' placement to them.
#pragma once

#include "math/RotationTrack.h"
#include "math/ScalarTrack.h"
#include "platform/d3d9/d3d9.h"

#include <cstdint>
#include <memory>
#include <string>

// Flexible vertex format of SceneVertex: position, normal, diffuse, two coordinate pairs.
constexpr DWORD kSceneFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2;
constexpr int kScenePathSize = 260;

struct SceneVertex {
    float x, y, z;
    float nx, ny, nz;
    uint32_t diffuse;  // always opaque white
    float u, v;
    float u2, v2;  // unused, zero
};
static_assert(sizeof(SceneVertex) == 44, "SceneVertex must match the 44-byte vertex format");
static_assert(kSceneFvf == 0x252, "vertex format value");

struct SceneMesh {
    int32_t vertexCount = 0;
    std::unique_ptr<SceneVertex[]> vertices;
    // Triangles drawn: faces whose three indices lie inside the vertex array.
    int32_t faceCount = 0;
    std::unique_ptr<uint16_t[]> indices;  // 3 per face

    ScalarTrack positionX, positionY, positionZ;
    ScalarTrack scaleX, scaleY, scaleZ;
    RotationTrack rotation;  // absolute orientations
    int32_t parent = -1;     // keyframer parent node, -1 for none

    char textureName[kScenePathSize] = {};  // as stored in the file, no directory
    IDirect3DTexture9* texture = nullptr;   // owned; null when none or not loadable
    char name[kScenePathSize] = {};

    IDirect3DVertexBuffer9* vertexBuffer = nullptr;  // owned
    IDirect3DIndexBuffer9* indexBuffer = nullptr;    // owned
};

struct SceneCamera {
    ScalarTrack positionX, positionY, positionZ;
    // Null when the camera has no target node.
    std::unique_ptr<ScalarTrack> targetX, targetY, targetZ;
    ScalarTrack fov;
};

struct Scene {
    int32_t meshCount = 0;
    std::unique_ptr<SceneMesh[]> meshes;
    int32_t cameraCount = 0;
    std::unique_ptr<SceneCamera[]> cameras;
    int32_t firstFrame = 0;
    int32_t lastFrame = 0;
    // Why the file gave no scene ("No such file or directory", "not a 3DS file");
    // empty when it was read.
    std::string loadFailure;
};

// Fills an empty scene from the file at path (a UTF-8 path) on the program's device and
// returns it. A file that cannot be read leaves the scene empty with its loadFailure set.
Scene* BuildScene(const char* path, Scene* scene);
// The same on the given device. Without a device (null) only the data in memory is
// built: no texture is loaded and no buffer created.
Scene* BuildScene(const char* path, Scene* scene, IDirect3DDevice9* device);

// Releases every mesh's index buffer, vertex buffer and texture, in this order, then
// deletes the scene (allocated with new) and everything it owns. Null is allowed.
void DestroyScene(Scene* scene);

// The file a material's texture is loaded from: the scene path up to and including its
// last "/" followed by the texture name (the name alone when the path has no "/").
// Returns false, with out empty, when the result would not fit in kScenePathSize - 1
// characters.
bool SceneTexturePath(const char* scenePath, const char* textureName, char (&out)[kScenePathSize]);
