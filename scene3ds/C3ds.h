// Reader of 3D Studio .3ds files into a tree of plain records.
//
// A file is a tree of chunks: a 6-byte header (u16 id, u32 length counting the header)
// and a body of data fields and sub-chunks. The reader knows 40 chunk kinds and skips
// every other chunk whole. Coordinates in the file are Z-up; the records are Y-up: every
// stored position, direction and matrix row has its Y and Z components exchanged.
//
// Records of one kind form a linked list in file order and, after the load, an index
// array in the same order. All records, arrays and strings of one load live in memory
// owned by the root; Free3ds releases the root and everything reachable from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Every string of a record is its own 256-byte, zero-terminated buffer (at most 255
// characters; an empty string in the file reads as "$DUMMY$"). Records created from
// the same file string share the buffer.
constexpr int kString3dsSize = 256;

struct Vertex3ds {
    float x, y, z;  // Y-up
    float u, v;     // mapping coordinates, 0 when the mesh has none
};

struct Face3ds {
    int32_t a, b, c;  // vertex indices as read (not checked against the vertex count)
    // The masked bits of the face flags (each holds its bit's value, not 0/1).
    int32_t edgeAB;         // flags & 4
    int32_t edgeBC;         // flags & 2
    int32_t edgeCA;         // flags & 1
    int32_t wrapU;          // flags & 8
    int32_t wrapV;          // flags & 16
    char* materialName;     // shared by the faces of one mapping list; null when none
    int32_t materialIndex;  // index of the last material of that name, 0 when none
};

struct Mesh3ds {
    Mesh3ds* next;
    char* name;  // the object block's name, shared with its cameras and lights
    int32_t vertexCount;
    Vertex3ds* vertices;
    int32_t faceCount;
    Face3ds* faces;
    // Rows: X axis, Y axis, Z axis, origin. Stored Y-up: the file's Y and Z rows are
    // exchanged and so are Y and Z within every row.
    float matrix[4][3];
    int32_t visible;    // 1 when the visibility byte is 0; 0 otherwise or without one
    int32_t nodeIndex;  // keyframer node of the same name (the last one), 0 when none
};

struct Material3ds {
    Material3ds* next;
    char* name;
    uint8_t ambient[3];      // r, g, b
    char* textureFile;       // null when the material has no texture map
    int32_t texturePercent;  // 0..65535 as stored in the file
};

struct Camera3ds {
    Camera3ds* next;
    char* name;
    float position[3];  // Y-up
    float target[3];    // Y-up
    float bank;
    float lens;
    int32_t positionNode;  // keyframer node of type NodeCamera, -1 when none
    int32_t targetNode;    // keyframer node of type NodeCameraTarget, -1 when none
};

struct Light3ds {
    Light3ds* next;
    char* name;
};

enum NodeType : uint8_t {
    NodeObject = 1,
    NodeCamera = 2,
    NodeCameraTarget = 4,
    NodeSpotlight = 8,
    NodeSpotlightTarget = 16,
    NodeOmnilight = 32,
};

struct KeySpline3ds {
    uint32_t flags;                                     // the key's u16 spline flags
    float tension, continuity, bias, easeTo, easeFrom;  // 0 when their bit is clear
};

struct PosKey3ds {  // position and scale keys
    int32_t frame;  // low 16 bits of the file's frame number
    float x, y, z;  // Y-up
    KeySpline3ds spline;
};

struct RotKey3ds {
    int32_t frame;
    float angle;    // radians, relative to the previous key, as in the file
    float x, y, z;  // axis, Y-up
    KeySpline3ds spline;
};

struct ScalarKey3ds {  // field-of-view and roll keys
    int32_t frame;
    float value;
    KeySpline3ds spline;
};

struct MorphKey3ds {
    int32_t frame;
    char* targetName;
    KeySpline3ds spline;
};

struct Node3ds {
    Node3ds* next;
    int32_t nodeId;
    int32_t parent;  // the file's u16, zero-extended: 65535 means no parent
    uint8_t type;    // NodeType
    char* name;
    float pivot[3];  // Y-up
    int32_t positionKeyCount;
    PosKey3ds* positionKeys;
    int32_t rotationKeyCount;
    RotKey3ds* rotationKeys;
    int32_t scaleKeyCount;
    PosKey3ds* scaleKeys;
    int32_t morphKeyCount;
    MorphKey3ds* morphKeys;
    int32_t fovKeyCount;
    ScalarKey3ds* fovKeys;
    int32_t rollKeyCount;
    ScalarKey3ds* rollKeys;
};

struct Arena3ds;

// The root of one load. Index arrays are null for kinds with no records.
struct Scene3ds {
    int32_t totalBytes;  // bytes of all records and arrays (strings not counted)
    int32_t meshCount;
    Mesh3ds** meshIndex;
    Mesh3ds* meshList;
    int32_t cameraCount;
    Camera3ds** cameraIndex;
    Camera3ds* cameraList;
    int32_t lightCount;
    Light3ds** lightIndex;
    Light3ds* lightList;
    int32_t materialCount;
    Material3ds** materialIndex;
    Material3ds* materialList;
    int32_t frameCount;  // |lastFrame - firstFrame|, at most 2147483647
    int32_t firstFrame;
    int32_t lastFrame;
    int32_t nodeCount;
    Node3ds** nodeIndex;
    Node3ds* nodeList;
    Arena3ds* arena;  // the memory of this load, released by Free3ds
};

// Releases a root and everything reachable from it. Null is allowed.
void Free3ds(Scene3ds* root);

enum LoadError : int32_t {
    LoadErrorNone = 0,
    LoadErrorNoPath = 1,   // no path given
    LoadErrorOpen = 2,     // the file cannot be opened or read
    LoadErrorAlloc = 4,    // the file buffer cannot be allocated
    LoadErrorNotMain = 5,  // a top-level chunk is not the main chunk
    // A chunk does not fit: a header running past its parent's end, a length below
    // the header size, a sub-chunk longer than its parent, a count or a string running
    // past the end of its chunk. The walk stops at that chunk.
    LoadErrorMalformed = 6,
};

class C3ds {
public:
    C3ds();
    virtual ~C3ds();
    C3ds(const C3ds&) = delete;
    C3ds& operator=(const C3ds&) = delete;

    // Loads the file at path (a narrow, multi-byte path) into a new root in *out.
    // Returns 1 when the load succeeded, 0 otherwise. The error code is sticky: once a
    // load of this reader failed, every later load returns 0 at once.
    // Errors 1 and 2, and 4 for the file buffer, create no root (*out becomes null).
    // Errors 5 and 6 (and 4 when records cannot be allocated) stop the walk at the
    // offending chunk, but what was read before it is still indexed and linked and the
    // root is handed out; the caller owns it either way and frees it with Free3ds (the
    // scene builder discards it on a 0 result).
    int Load3ds(const char* path, Scene3ds** out);
    // The same from a buffer in memory (which the reader does not keep).
    int Load3dsMemory(const void* data, size_t size, Scene3ds** out);

    LoadError Error() const { return error; }

    using Handler = bool (C3ds::*)(size_t end);
    struct ChunkInfo {
        bool known;
        const char* name;  // display name; "Unknown" for ids outside the table
        Handler handler;   // reads the chunk's fields; null for containers and unknown ids
        bool walks;        // its body (after the handler's fields) holds sub-chunks
        Handler after;     // runs when the sub-chunks are done; may be null
    };
    static ChunkInfo Lookup(uint16_t id);

private:
    void Walk(size_t end);
    void BuildIndexes();
    void LinkNames();

    // Checked reads inside [pos, limit); a read past the limit fails and reads nothing.
    bool Need(size_t bytes) const { return limit - pos >= bytes; }
    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    float F32();
    char* ReadString();
    void* Alloc(size_t bytes, bool zero = true);
    template <typename T> T* NewRecord();
    bool ReadSpline(KeySpline3ds& spline);
    bool ReadKeyCount(uint32_t& count, size_t minKeyBytes);

    // Chunk handlers: read the chunk's own fields up to end; false when they do not fit.
    bool ReadFloatColor(size_t end);
    bool ReadByteColor(size_t end);
    bool ReadWord(size_t end);
    bool ReadObjectBlock(size_t end);
    bool ReadMesh(size_t end);
    bool ReadVertices(size_t end);
    bool ReadFaces(size_t end);
    bool ReadFaceMaterials(size_t end);
    bool ReadMapping(size_t end);
    bool ReadMeshMatrix(size_t end);
    bool ReadVisibility(size_t end);
    bool ReadLight(size_t end);
    bool ReadCamera(size_t end);
    bool ReadMaterialName(size_t end);
    bool StoreAmbient(size_t end);
    bool StoreTexturePercent(size_t end);
    bool ReadTextureFile(size_t end);
    bool ReadMaterial(size_t end);
    bool ReadObjectNode(size_t end);
    bool ReadCameraNode(size_t end);
    bool ReadCameraTargetNode(size_t end);
    bool ReadSpotlightNode(size_t end);
    bool ReadSpotlightTargetNode(size_t end);
    bool ReadOmnilightNode(size_t end);
    bool ReadFrames(size_t end);
    bool ReadNodeName(size_t end);
    bool ReadPivot(size_t end);
    bool ReadPositionKeys(size_t end);
    bool ReadRotationKeys(size_t end);
    bool ReadScaleKeys(size_t end);
    bool ReadFovKeys(size_t end);
    bool ReadRollKeys(size_t end);
    bool ReadMorphKeys(size_t end);
    bool ReadNothing(size_t end);
    bool ReadNodeId(size_t end);
    bool NewNode(uint8_t type);
    bool ReadPosKeys(PosKey3ds*& keys, int32_t& count);
    bool ReadScalarKeys(ScalarKey3ds*& keys, int32_t& count);

    // The reader context, one per reader object.
    const uint8_t* buffer = nullptr;
    size_t length = 0;
    size_t pos = 0;
    size_t limit = 0;  // end of the chunk being read
    LoadError error = LoadErrorNone;
    Scene3ds* root = nullptr;
    Mesh3ds* currentMesh = nullptr;
    Camera3ds* currentCamera = nullptr;
    Light3ds* currentLight = nullptr;
    Material3ds* currentMaterial = nullptr;
    Node3ds* currentNode = nullptr;
    char* currentName = nullptr;
    uint8_t nextNodeType = 0;
    uint8_t byteColor[3] = {};
    float floatColor[3] = {};
    uint16_t wordValue = 0;
    int64_t byteTotal = 0;

    // Open chunks of the walk, innermost last: the walk keeps its own stack so that
    // deeply nested files cannot exhaust the call stack.
    struct Open {
        size_t end;
        Handler after;
    };
    std::vector<Open> open;
};
