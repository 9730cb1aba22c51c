#include "scene3ds/Scene.h"

#include "math/Matrix4.h"
#include "math/Quaternion.h"
#include "math/Vector3.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/host/ContentFile.h"
#include "scene3ds/C3ds.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

void CopyName(char (&out)[kScenePathSize], const char* name)
{
    out[0] = 0;
    if (!name) return;
    std::strncpy(out, name, kScenePathSize - 1);
    out[kScenePathSize - 1] = 0;
}

// Three tracks of one axis each from position or scale keys, tangents prepared.
void FillAxisTracks(const PosKey3ds* keys, int32_t count, ScalarTrack& tx, ScalarTrack& ty, ScalarTrack& tz)
{
    if (!keys || count <= 0) count = 0;
    tx = ScalarTrack(count);
    ty = ScalarTrack(count);
    tz = ScalarTrack(count);
    ScalarTrack* tracks[3] = {&tx, &ty, &tz};
    for (int32_t k = 0; k < count; ++k) {
        const PosKey3ds& key = keys[k];
        const float values[3] = {key.x, key.y, key.z};
        for (int axis = 0; axis < 3; ++axis) {
            ScalarKey& out = tracks[axis]->keys[k];
            out.value = values[axis];
            out.frame = key.frame;
            out.tension = key.spline.tension;
            out.continuity = key.spline.continuity;
            out.bias = key.spline.bias;
        }
    }
    for (ScalarTrack* track : tracks) ComputeTangents(*track);
}

void FillScalarTrack(const ScalarKey3ds* keys, int32_t count, ScalarTrack& track)
{
    if (!keys || count <= 0) count = 0;
    track = ScalarTrack(count);
    for (int32_t k = 0; k < count; ++k) {
        ScalarKey& out = track.keys[k];
        out.value = keys[k].value;
        out.frame = keys[k].frame;
        out.tension = keys[k].spline.tension;
        out.continuity = keys[k].spline.continuity;
        out.bias = keys[k].spline.bias;
    }
    ComputeTangents(track);
}

// The file's rotation keys are relative axis-angle turns; the track holds absolute
// orientations, each key's turn applied after the previous orientation.
void FillRotationTrack(const RotKey3ds* keys, int32_t count, RotationTrack& track)
{
    if (!keys || count <= 0) count = 0;
    track = RotationTrack(count);
    for (int32_t k = 0; k < count; ++k) {
        RotationKey& out = track.keys[k];
        out.rotation = FromAxisAngle(Vector3(keys[k].x, keys[k].y, keys[k].z), keys[k].angle);
        out.frame = keys[k].frame;
        out.tension = keys[k].spline.tension;
        out.continuity = keys[k].spline.continuity;
        out.bias = keys[k].spline.bias;
    }
    for (int32_t k = 1; k < count; ++k)
        track.keys[k].rotation = Multiply(track.keys[k].rotation, track.keys[k - 1].rotation);
    ComputeTangents(track);
}

const Node3ds* NodeAt(const Scene3ds& root, int32_t index)
{
    if (index < 0 || index >= root.nodeCount || !root.nodeIndex) return nullptr;
    return root.nodeIndex[index];
}

// The keyframer node of the mesh's name. The reader leaves node index 0 for a mesh
// without one, so the name is checked rather than trusted.
const Node3ds* MeshNode(const Scene3ds& root, const Mesh3ds& mesh)
{
    const Node3ds* node = NodeAt(root, mesh.nodeIndex);
    if (!node || !node->name || !mesh.name || std::strcmp(node->name, mesh.name) != 0) return nullptr;
    return node;
}

const Material3ds* MeshMaterial(const Scene3ds& root, const Mesh3ds& mesh)
{
    const int32_t index = mesh.faces[0].materialIndex;
    if (!root.materialIndex || index < 0 || index >= root.materialCount) return nullptr;
    return root.materialIndex[index];
}

void LoadTexture(IDirect3DDevice9* device, const char* scenePath, SceneMesh& out, const Material3ds* material)
{
    if (!material || !material->textureFile) return;
    CopyName(out.textureName, material->textureFile);
    char fullPath[kScenePathSize];
    if (!device || !SceneTexturePath(scenePath, out.textureName, fullPath)) return;
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(D3DXCreateTextureFromFileA(device, fullPath, &texture))) texture = nullptr;
    out.texture = texture;
}

// Positions, texture coordinates shifted so that none is negative and v is flipped,
// then moved from the file's world space into the mesh's object space.
void BuildVertices(const Mesh3ds& mesh, bool toObjectSpace, SceneMesh& out)
{
    const int32_t count = mesh.vertices ? std::max(mesh.vertexCount, 0) : 0;
    out.vertexCount = count;
    out.vertices = std::make_unique<SceneVertex[]>(static_cast<size_t>(count));

    float low = 0.0f;
    for (int32_t i = 0; i < count; ++i) low = std::min({low, mesh.vertices[i].u, mesh.vertices[i].v});
    const float shift = std::trunc(low) - 1.0f;

    for (int32_t i = 0; i < count; ++i) {
        const Vertex3ds& in = mesh.vertices[i];
        SceneVertex& v = out.vertices[i];
        v.x = in.x;
        v.y = in.y;
        v.z = in.z;
        v.u = in.u - shift;
        v.v = 1.0f - (in.v - shift);
        v.diffuse = 0xFFFFFFFFu;
    }

    if (!toObjectSpace) return;
    const float(&m)[4][3] = mesh.matrix;
    const Matrix4 world(m[0][0], m[0][1], m[0][2], 0.0f, m[1][0], m[1][1], m[1][2], 0.0f, m[2][0], m[2][1],
                        m[2][2], 0.0f, m[3][0], m[3][1], m[3][2], 1.0f);
    Matrix4 inverse;
    if (!world.Inverse(inverse)) return;  // a flat matrix: keep the vertices as they are
    for (int32_t i = 0; i < count; ++i) {
        SceneVertex& v = out.vertices[i];
        const Vector3 p = inverse.TransformPoint(Vector3(v.x, v.y, v.z));
        v.x = p.x;
        v.y = p.y;
        v.z = p.z;
    }
}

// Keeps the faces whose indices all lie inside the vertex array; returns their number.
int32_t BuildIndices(const Mesh3ds& mesh, int32_t vertexCount, SceneMesh& out)
{
    out.indices = std::make_unique<uint16_t[]>(static_cast<size_t>(mesh.faceCount) * 3);
    int32_t kept = 0;
    for (int32_t f = 0; f < mesh.faceCount; ++f) {
        const Face3ds& face = mesh.faces[f];
        const int32_t corners[3] = {face.a, face.b, face.c};
        bool inside = true;
        for (int32_t c : corners) inside = inside && c >= 0 && c < vertexCount;
        if (!inside) continue;
        for (int j = 0; j < 3; ++j) out.indices[kept * 3 + j] = static_cast<uint16_t>(corners[j]);
        ++kept;
    }
    return kept;
}

// Each vertex gets the normalised mean of the normals of the faces that use it;
// a vertex no face uses gets (0, 1, 0).
void BuildNormals(SceneMesh& out)
{
    const size_t count = static_cast<size_t>(out.vertexCount);
    auto sums = std::make_unique<Vector3[]>(count);
    auto uses = std::make_unique<int32_t[]>(count);
    for (int32_t f = 0; f < out.faceCount; ++f) {
        const uint16_t* idx = &out.indices[f * 3];
        const SceneVertex& a = out.vertices[idx[0]];
        const SceneVertex& b = out.vertices[idx[1]];
        const SceneVertex& c = out.vertices[idx[2]];
        const Vector3 pa(a.x, a.y, a.z), pb(b.x, b.y, b.z), pc(c.x, c.y, c.z);
        const Vector3 normal = Cross(pa - pc, pa - pb).Normalized();
        for (int j = 0; j < 3; ++j) {
            sums[idx[j]] += normal;
            ++uses[idx[j]];
        }
    }
    for (size_t i = 0; i < count; ++i) {
        Vector3 n(0.0f, 1.0f, 0.0f);
        if (uses[i] > 0) {
            const float c = static_cast<float>(uses[i]);
            n = Vector3(sums[i].x / c, sums[i].y / c, sums[i].z / c).Normalized();
        }
        out.vertices[i].nx = n.x;
        out.vertices[i].ny = n.y;
        out.vertices[i].nz = n.z;
    }
}

void CreateBuffers(IDirect3DDevice9* device, SceneMesh& out)
{
    const UINT vertexBytes = static_cast<UINT>(out.vertexCount) * sizeof(SceneVertex);
    if (SUCCEEDED(device->CreateVertexBuffer(vertexBytes, 0, kSceneFvf, D3DPOOL_MANAGED, &out.vertexBuffer,
                                             nullptr)) &&
        out.vertexBuffer) {
        void* data = nullptr;
        if (SUCCEEDED(out.vertexBuffer->Lock(0, vertexBytes, &data, 0)) && data) {
            std::memcpy(data, out.vertices.get(), vertexBytes);
            out.vertexBuffer->Unlock();
        }
    } else {
        out.vertexBuffer = nullptr;
    }

    const UINT indexBytes = static_cast<UINT>(out.faceCount) * 3 * sizeof(uint16_t);
    if (SUCCEEDED(device->CreateIndexBuffer(indexBytes, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &out.indexBuffer,
                                            nullptr)) &&
        out.indexBuffer) {
        void* data = nullptr;
        if (SUCCEEDED(out.indexBuffer->Lock(0, indexBytes, &data, 0)) && data) {
            std::memcpy(data, out.indices.get(), indexBytes);
            out.indexBuffer->Unlock();
        }
    } else {
        out.indexBuffer = nullptr;
    }
}

void BuildMesh(IDirect3DDevice9* device, const char* scenePath, const Scene3ds& root, const Mesh3ds& mesh,
               SceneMesh& out)
{
    CopyName(out.name, mesh.name);
    if (mesh.faceCount <= 0 || !mesh.faces) return;  // nothing to draw: owns nothing

    const Node3ds* node = MeshNode(root, mesh);
    const int32_t vertexCount = mesh.vertices ? std::max(mesh.vertexCount, 0) : 0;
    // Faces are checked first so that a mesh with nothing drawable owns nothing.
    SceneMesh built;
    const int32_t kept = BuildIndices(mesh, vertexCount, built);
    if (kept == 0) return;
    built.faceCount = kept;
    CopyName(built.name, mesh.name);

    LoadTexture(device, scenePath, built, MeshMaterial(root, mesh));
    // Without a keyframer node nothing would place the mesh back into the world, so
    // its vertices stay where the file put them and its placement is the identity.
    BuildVertices(mesh, node != nullptr, built);
    BuildNormals(built);

    if (node) {
        FillAxisTracks(node->positionKeys, node->positionKeyCount, built.positionX, built.positionY,
                       built.positionZ);
        FillRotationTrack(node->rotationKeys, node->rotationKeyCount, built.rotation);
        FillAxisTracks(node->scaleKeys, node->scaleKeyCount, built.scaleX, built.scaleY, built.scaleZ);
        built.parent = static_cast<int16_t>(static_cast<uint16_t>(node->parent));
    } else {
        // Position and rotation tracks stay empty (origin, identity); unit scale.
        for (ScalarTrack* scale : {&built.scaleX, &built.scaleY, &built.scaleZ}) {
            *scale = ScalarTrack(1);
            scale->keys[0].value = 1.0f;
        }
        built.parent = -1;
    }

    if (device) CreateBuffers(device, built);
    out = std::move(built);
}

void BuildCamera(const Scene3ds& root, const Camera3ds& camera, SceneCamera& out)
{
    if (const Node3ds* p = NodeAt(root, camera.positionNode)) {
        FillAxisTracks(p->positionKeys, p->positionKeyCount, out.positionX, out.positionY, out.positionZ);
        FillScalarTrack(p->fovKeys, p->fovKeyCount, out.fov);
    }
    if (const Node3ds* t = NodeAt(root, camera.targetNode)) {
        out.targetX = std::make_unique<ScalarTrack>();
        out.targetY = std::make_unique<ScalarTrack>();
        out.targetZ = std::make_unique<ScalarTrack>();
        FillAxisTracks(t->positionKeys, t->positionKeyCount, *out.targetX, *out.targetY, *out.targetZ);
    }
}

}  // namespace

bool SceneTexturePath(const char* scenePath, const char* textureName, char (&out)[kScenePathSize])
{
    out[0] = 0;
    if (!textureName) return false;
    const char* slash = scenePath ? std::strrchr(scenePath, '/') : nullptr;
    const size_t dirLength = slash ? static_cast<size_t>(slash - scenePath) + 1 : 0;
    const size_t nameLength = std::strlen(textureName);
    if (dirLength + nameLength > kScenePathSize - 1) return false;
    std::memcpy(out, scenePath, dirLength);
    std::memcpy(out + dirLength, textureName, nameLength + 1);
    return true;
}

Scene* BuildScene(const char* path, Scene* scene, IDirect3DDevice9* device)
{
    if (!scene) return nullptr;
    // Resolved once, so that the textures are looked for beside the file that was read.
    const std::string resolved = host::ResolveContentPath(path ? path : "");
    path = resolved.c_str();
    std::vector<uint8_t> bytes;
    if (!host::ReadRegularFile(resolved, host::kMaxContentFileBytes, bytes)) {
        scene->loadFailure = host::LastFileError();
        return scene;
    }
    C3ds reader;
    Scene3ds* root = nullptr;
    if (!reader.Load3dsMemory(bytes.data(), bytes.size(), &root) || !root) {
        scene->loadFailure =
            reader.Error() == LoadErrorAlloc ? "out of memory" : "not a 3DS file that can be read";
        Free3ds(root);
        return scene;
    }
    bytes = {};

    scene->firstFrame = root->firstFrame;
    scene->lastFrame = root->lastFrame;

    const int32_t meshCount = root->meshIndex ? std::max(root->meshCount, 0) : 0;
    scene->meshes = std::make_unique<SceneMesh[]>(static_cast<size_t>(meshCount));
    scene->meshCount = meshCount;
    for (int32_t i = 0; i < meshCount; ++i)
        if (root->meshIndex[i]) BuildMesh(device, path, *root, *root->meshIndex[i], scene->meshes[i]);

    const int32_t cameraCount = root->cameraIndex ? std::max(root->cameraCount, 0) : 0;
    scene->cameras = std::make_unique<SceneCamera[]>(static_cast<size_t>(cameraCount));
    scene->cameraCount = cameraCount;
    for (int32_t i = 0; i < cameraCount; ++i)
        if (root->cameraIndex[i]) BuildCamera(*root, *root->cameraIndex[i], scene->cameras[i]);

    Free3ds(root);
    return scene;
}

void DestroyScene(Scene* scene)
{
    if (!scene) return;
    for (int32_t i = 0; i < scene->meshCount; ++i) {
        SceneMesh& mesh = scene->meshes[i];
        if (mesh.indexBuffer) mesh.indexBuffer->Release();
        if (mesh.vertexBuffer) mesh.vertexBuffer->Release();
        if (mesh.texture) mesh.texture->Release();
        mesh.indexBuffer = nullptr;
        mesh.vertexBuffer = nullptr;
        mesh.texture = nullptr;
    }
    delete scene;
}
