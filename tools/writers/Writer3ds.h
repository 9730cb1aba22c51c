// Writes 3D Studio .3ds files chunk by chunk, for tests and the demo content.
//
// Chunks nest: Begin(id) opens one, End() closes the innermost and fills in its length.
// Values are written little-endian exactly as given: coordinates are the file's own
// (Z up); nothing is exchanged or checked, so broken files can be written on purpose.
//
// A small scene:
//   Writer3ds w;
//   w.Begin(Writer3ds::kMain);
//     w.Begin(Writer3ds::kEditor);
//       w.Material("Wood", 128, 64, 32, "wood.png");
//       w.BeginObject("Box");
//         w.Begin(Writer3ds::kMesh);
//           w.Vertices(xyz, 4);  w.Mapping(uv, 4);  w.MeshMatrix(identity);
//           w.BeginFaces(faces, 2);  w.FaceMaterials("Wood", all, 2);  w.End();
//         w.End();
//       w.End();
//     w.End();
//     w.Begin(Writer3ds::kKeyframer);
//       w.Frames(0, 100);
//       w.BeginNode(Writer3ds::kObjectNode, "Box", 0xFFFF, 0);
//         w.PositionKeys(keys, 1);
//       w.End();
//     w.End();
//   w.End();
//   w.Save("box.3ds");
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class Writer3ds {
public:
    // Chunk ids.
    static constexpr uint16_t kFloatColor = 0x0010;
    static constexpr uint16_t kByteColor = 0x0011;
    static constexpr uint16_t kWord = 0x0030;
    static constexpr uint16_t kEditor = 0x3D3D;
    static constexpr uint16_t kObject = 0x4000;
    static constexpr uint16_t kMesh = 0x4100;
    static constexpr uint16_t kVertices = 0x4110;
    static constexpr uint16_t kFaces = 0x4120;
    static constexpr uint16_t kFaceMaterials = 0x4130;
    static constexpr uint16_t kMapping = 0x4140;
    static constexpr uint16_t kMeshMatrix = 0x4160;
    static constexpr uint16_t kVisibility = 0x4165;
    static constexpr uint16_t kLight = 0x4600;
    static constexpr uint16_t kCamera = 0x4700;
    static constexpr uint16_t kMain = 0x4D4D;
    static constexpr uint16_t kMaterialName = 0xA000;
    static constexpr uint16_t kMaterialAmbient = 0xA010;
    static constexpr uint16_t kTextureData = 0xA200;
    static constexpr uint16_t kTextureFile = 0xA300;
    static constexpr uint16_t kMaterial = 0xAFFF;
    static constexpr uint16_t kKeyframer = 0xB000;
    static constexpr uint16_t kObjectNode = 0xB002;
    static constexpr uint16_t kCameraNode = 0xB003;
    static constexpr uint16_t kCameraTargetNode = 0xB004;
    static constexpr uint16_t kSpotlightNode = 0xB005;
    static constexpr uint16_t kSpotlightTargetNode = 0xB006;
    static constexpr uint16_t kOmnilightNode = 0xB007;
    static constexpr uint16_t kFrames = 0xB008;
    static constexpr uint16_t kNodeName = 0xB010;
    static constexpr uint16_t kPivot = 0xB013;
    static constexpr uint16_t kPositionKeys = 0xB020;
    static constexpr uint16_t kRotationKeys = 0xB021;
    static constexpr uint16_t kScaleKeys = 0xB022;
    static constexpr uint16_t kFovKeys = 0xB023;
    static constexpr uint16_t kRollKeys = 0xB024;
    static constexpr uint16_t kMorphKeys = 0xB026;
    static constexpr uint16_t kHideKeys = 0xB029;
    static constexpr uint16_t kNodeId = 0xB030;

    // One face: three vertex indices and the flags word (bits 0-2 edges, 3-4 wrap).
    struct Face {
        uint16_t a, b, c, flags;
    };

    // One track key. flags selects the spline floats that follow the frame: one per
    // set bit, spline[bit] (bits 0-4: tension, continuity, bias, ease to, ease from).
    // value holds x, y, z (position, scale), angle, x, y, z (rotation) or the value
    // (field of view, roll); target is the morph target's name.
    struct Key {
        uint32_t frame = 0;
        uint16_t flags = 0;
        float spline[16] = {};
        float value[4] = {};
        const char* target = "";
    };

    // --- Raw writing ---
    void Begin(uint16_t id);  // header with a length filled in by End
    void End();
    // A header with a given length, not tracked by End (for malformed files).
    void Header(uint16_t id, uint32_t length);
    void U8(uint8_t v);
    void U16(uint16_t v);
    void U32(uint32_t v);
    void F32(float v);
    void String(const char* text);  // the text and its zero byte
    void Bytes(const void* data, size_t size);
    // A complete chunk of the given body bytes.
    void Chunk(uint16_t id, const void* body = nullptr, size_t size = 0);

    // --- Editor ---
    void BeginObject(const char* name);  // object block; End() closes it
    // Vertex list of count (x, y, z) triples.
    void Vertices(const float* xyz, size_t count);
    // Face list with its faces; leave it open for FaceMaterials, then End().
    void BeginFaces(const Face* faces, size_t count);
    void FaceMaterials(const char* material, const uint16_t* faces, size_t count);
    // Mapping coordinates: count (u, v) pairs.
    void Mapping(const float* uv, size_t count);
    // Twelve floats: X axis, Y axis, Z axis, origin.
    void MeshMatrix(const float* m12);
    void Visibility(uint8_t hidden);
    void Light();
    // Camera with its fields; End() closes it.
    void BeginCamera(const float position[3], const float target[3], float bank, float lens);
    // A whole material block: name, ambient byte colour, and a texture map with its
    // percentage when texture is not null.
    void Material(const char* name, uint8_t r, uint8_t g, uint8_t b, const char* texture = nullptr,
                  uint16_t percent = 100);

    // --- Keyframer ---
    void Frames(int32_t first, int32_t last);
    // A node of kind id (kObjectNode ... kOmnilightNode) with its name, parent and number;
    // End() closes it.
    void BeginNode(uint16_t id, const char* name, uint16_t parent, uint16_t nodeId);
    void Pivot(float x, float y, float z);
    void PositionKeys(const Key* keys, size_t count) { Keys(kPositionKeys, keys, count, 3); }
    void RotationKeys(const Key* keys, size_t count) { Keys(kRotationKeys, keys, count, 4); }
    void ScaleKeys(const Key* keys, size_t count) { Keys(kScaleKeys, keys, count, 3); }
    void FovKeys(const Key* keys, size_t count) { Keys(kFovKeys, keys, count, 1); }
    void RollKeys(const Key* keys, size_t count) { Keys(kRollKeys, keys, count, 1); }
    void MorphKeys(const Key* keys, size_t count) { Keys(kMorphKeys, keys, count, 0); }

    // --- Output ---
    const std::vector<uint8_t>& Data() const { return data; }
    // Closes every chunk still open and returns the bytes.
    const std::vector<uint8_t>& Finish();
    size_t Size() const { return data.size(); }
    // Writes the bytes to path; closes any chunk still open first. Returns 1 on success.
    int Save(const char* path);

private:
    // Key chunk with its 14-byte header; values per key (0 for a morph name).
    void Keys(uint16_t id, const Key* keys, size_t count, int values);

    std::vector<uint8_t> data;
    std::vector<size_t> open;  // offsets of the open chunks' headers
};
