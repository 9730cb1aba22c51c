#include "scene3ds/C3ds.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>
#include <unordered_map>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// ---------------------------------------------------------------------------------
// Large allocations: the file buffer and the big blocks of the arena. A large scene
// touches tens of megabytes of fresh memory, and at 4 KB a page the page faults cost
// more than the reading itself; where the system offers huge pages, ask for them.

namespace {

constexpr size_t kHugePage = 2 * 1024 * 1024;

void* AllocateLarge(size_t bytes)
{
    if (bytes < kHugePage) return std::malloc(bytes);
    const size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    void* memory = std::aligned_alloc(kHugePage, rounded);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (memory) madvise(memory, rounded, MADV_HUGEPAGE);
#endif
    return memory;
}

}  // namespace

// ---------------------------------------------------------------------------------
// Memory of one load: blocks of growing size handed out front to back, so that a
// scene of many small records costs few allocations and frees in one sweep.

struct Arena3ds {
    struct Block {
        Block* next;
        size_t size;
        size_t used;
    };
    static constexpr size_t kHeader = (sizeof(Block) + 15) & ~size_t(15);
    static constexpr size_t kFirstBlock = 16 * 1024;
    static constexpr size_t kMaxBlock = 32 * 1024 * 1024;

    Block* head = nullptr;
    size_t nextSize = kFirstBlock;

    static Block* NewBlock(size_t size)
    {
        void* memory = AllocateLarge(kHeader + size);
        if (!memory) return nullptr;
        Block* block = static_cast<Block*>(memory);
        block->next = nullptr;
        block->size = size;
        block->used = 0;
        return block;
    }

    // Zero-filled memory aligned to 16 bytes, or null when the system has none left.
    void* Allocate(size_t bytes)
    {
        void* memory = AllocateRaw(bytes);
        if (memory) std::memset(memory, 0, bytes);
        return memory;
    }

    // The same without the zero fill, for arrays whose every field gets written.
    void* AllocateRaw(size_t bytes)
    {
        bytes = (bytes + 15) & ~size_t(15);
        if (bytes == 0) bytes = 16;
        if (head && head->size - head->used >= bytes) {
            void* p = reinterpret_cast<unsigned char*>(head) + kHeader + head->used;
            head->used += bytes;
            return p;
        }
        // A new block, at least twice the last one up to the cap; the rest of the old
        // block stays unused (and, never touched, mostly costs no memory).
        const size_t size = std::max(nextSize - kHeader, bytes);
        Block* block = NewBlock(size);
        if (!block) return nullptr;
        nextSize = std::min(nextSize * 2, kMaxBlock);
        block->next = head;
        head = block;
        block->used = bytes;
        return reinterpret_cast<unsigned char*>(block) + kHeader;
    }

    ~Arena3ds()
    {
        while (head) {
            Block* next = head->next;
            std::free(head);
            head = next;
        }
    }
};

void Free3ds(Scene3ds* root)
{
    if (!root) return;
    // The root lives in its own arena, so this releases it too.
    delete root->arena;
}

// ---------------------------------------------------------------------------------
// Little-endian fields, independent of the host's byte order.

namespace {

inline uint16_t Le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline float LeF32(const uint8_t* p)
{
    return std::bit_cast<float>(Le32(p));
}

constexpr size_t kHeaderSize = 6;
constexpr uint16_t kMainChunk = 0x4D4D;
const char kDummyName[] = "$DUMMY$";

struct TableEntry {
    uint16_t id;
    const char* name;
    C3ds::Handler handler;
    bool walks;
    C3ds::Handler after;
};

}  // namespace

// ---------------------------------------------------------------------------------
// The chunk table, sorted by id.

C3ds::ChunkInfo C3ds::Lookup(uint16_t id)
{
    static const TableEntry table[] = {
        {0x0010, "RGB float color", &C3ds::ReadFloatColor, false, nullptr},
        {0x0011, "RGB byte color", &C3ds::ReadByteColor, false, nullptr},
        {0x0030, "WORD value", &C3ds::ReadWord, false, nullptr},
        {0x1200, "Background color", nullptr, true, nullptr},
        {0x2100, "Ambient color", nullptr, true, nullptr},
        {0x3D3D, "Editor", nullptr, true, nullptr},
        {0x4000, "Object block", &C3ds::ReadObjectBlock, true, nullptr},
        {0x4100, "Object mesh", &C3ds::ReadMesh, true, nullptr},
        {0x4110, "Vertex list", &C3ds::ReadVertices, false, nullptr},
        {0x4120, "Face list", &C3ds::ReadFaces, true, nullptr},
        {0x4130, "Faces mapping list", &C3ds::ReadFaceMaterials, false, nullptr},
        {0x4140, "Mapping coordinates list", &C3ds::ReadMapping, false, nullptr},
        {0x4160, "Object transformation matrix", &C3ds::ReadMeshMatrix, false, nullptr},
        {0x4165, "Object visibility", &C3ds::ReadVisibility, false, nullptr},
        {0x4600, "Light", &C3ds::ReadLight, false, nullptr},
        {0x4700, "Camera", &C3ds::ReadCamera, true, nullptr},
        {0x4D4D, "Main", nullptr, true, nullptr},
        {0xA000, "Material name", &C3ds::ReadMaterialName, false, nullptr},
        {0xA010, "Material ambient color", nullptr, true, &C3ds::StoreAmbient},
        {0xA200, "Material texture data", nullptr, true, &C3ds::StoreTexturePercent},
        {0xA300, "Texture Map filename", &C3ds::ReadTextureFile, false, nullptr},
        {0xAFFF, "Material block", &C3ds::ReadMaterial, true, nullptr},
        {0xB000, "Keyframer", nullptr, true, nullptr},
        {0xB002, "Object track info", &C3ds::ReadObjectNode, true, nullptr},
        {0xB003, "Camera position track info", &C3ds::ReadCameraNode, true, nullptr},
        {0xB004, "Camera target track info", &C3ds::ReadCameraTargetNode, true, nullptr},
        {0xB005, "Spotlight position track info", &C3ds::ReadSpotlightNode, true, nullptr},
        {0xB006, "Spotlight target position track info", &C3ds::ReadSpotlightTargetNode, true, nullptr},
        {0xB007, "Omnilight position track info", &C3ds::ReadOmnilightNode, true, nullptr},
        {0xB008, "Frames info", &C3ds::ReadFrames, false, nullptr},
        {0xB010, "Track name", &C3ds::ReadNodeName, false, nullptr},
        {0xB013, "Track pivot point", &C3ds::ReadPivot, false, nullptr},
        {0xB020, "Track position keys", &C3ds::ReadPositionKeys, false, nullptr},
        {0xB021, "Track rotation keys", &C3ds::ReadRotationKeys, false, nullptr},
        {0xB022, "Track scale keys", &C3ds::ReadScaleKeys, false, nullptr},
        {0xB023, "Track camera FOV keys", &C3ds::ReadFovKeys, false, nullptr},
        {0xB024, "Track camera roll keys", &C3ds::ReadRollKeys, false, nullptr},
        {0xB026, "Track morph keys", &C3ds::ReadMorphKeys, false, nullptr},
        {0xB029, "Track hide keys", &C3ds::ReadNothing, false, nullptr},
        {0xB030, "Track number", &C3ds::ReadNodeId, false, nullptr},
    };
    static_assert(std::size(table) == 40);
    const TableEntry* found =
        std::lower_bound(std::begin(table), std::end(table), id,
                         [](const TableEntry& entry, uint16_t key) { return entry.id < key; });
    if (found == std::end(table) || found->id != id) return {false, "Unknown", nullptr, false, nullptr};
    return {true, found->name, found->handler, found->walks, found->after};
}

// ---------------------------------------------------------------------------------

C3ds::C3ds() = default;
C3ds::~C3ds() = default;

int C3ds::Load3ds(const char* path, Scene3ds** out)
{
    if (out) *out = nullptr;
    if (error != LoadErrorNone) return 0;
    if (!path) {
        error = LoadErrorNoPath;
        return 0;
    }
    FILE* file = std::fopen(path, "rb");
    if (!file) {
        error = LoadErrorOpen;
        return 0;
    }
    // A directory opens but cannot be read; find out before trusting its "length".
    const bool unreadable = std::fgetc(file) == EOF && std::ferror(file);
    long size = -1;
    if (!unreadable && std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        // Not a readable, seekable file (a directory, a pipe): it cannot be read whole.
        std::fclose(file);
        error = LoadErrorOpen;
        return 0;
    }
    uint8_t* data = static_cast<uint8_t*>(AllocateLarge(size > 0 ? static_cast<size_t>(size) : 1));
    if (!data) {
        std::fclose(file);
        error = LoadErrorAlloc;
        return 0;
    }
    const size_t got = std::fread(data, 1, static_cast<size_t>(size), file);
    std::fclose(file);
    if (got != static_cast<size_t>(size)) {
        std::free(data);
        error = LoadErrorOpen;
        return 0;
    }
    const int result = Load3dsMemory(data, got, out);
    std::free(data);
    return result;
}

int C3ds::Load3dsMemory(const void* data, size_t size, Scene3ds** out)
{
    if (out) *out = nullptr;
    if (error != LoadErrorNone) return 0;
    if (!data && size != 0) {
        error = LoadErrorNoPath;
        return 0;
    }

    Arena3ds* arena = new (std::nothrow) Arena3ds;
    void* rootMemory = arena ? arena->Allocate(sizeof(Scene3ds)) : nullptr;
    if (!rootMemory) {
        delete arena;
        error = LoadErrorAlloc;
        return 0;
    }
    root = static_cast<Scene3ds*>(rootMemory);
    root->arena = arena;
    byteTotal = sizeof(Scene3ds);
    currentMesh = nullptr;
    currentCamera = nullptr;
    currentLight = nullptr;
    currentMaterial = nullptr;
    currentNode = nullptr;
    currentName = nullptr;
    nextNodeType = 0;
    std::memset(byteColor, 0, sizeof byteColor);
    std::memset(floatColor, 0, sizeof floatColor);
    wordValue = 0;

    buffer = static_cast<const uint8_t*>(data);
    length = size;
    pos = 0;
    limit = size;
    Walk(size);
    // What was read before a failure is indexed and linked all the same.
    BuildIndexes();
    LinkNames();
    root->totalBytes =
        static_cast<int32_t>(std::min<int64_t>(byteTotal, std::numeric_limits<int32_t>::max()));

    buffer = nullptr;
    length = 0;
    Scene3ds* result = root;
    root = nullptr;
    if (out) *out = result;
    else Free3ds(result);
    return error == LoadErrorNone ? 1 : 0;
}

// Walks the chunk tree from the read position to end without recursion: open holds
// the chunks whose sub-chunks are being walked, innermost last.
void C3ds::Walk(size_t end)
{
    open.clear();
    open.push_back({end, nullptr});
    while (!open.empty() && error == LoadErrorNone) {
        const size_t levelEnd = open.back().end;
        bool levelDone = pos >= levelEnd;
        if (!levelDone) {
            if (levelEnd - pos < kHeaderSize) {
                error = LoadErrorMalformed;
                break;
            }
            const size_t start = pos;
            const uint16_t id = Le16(buffer + start);
            const uint32_t chunkLength = Le32(buffer + start + 2);
            pos += kHeaderSize;
            if (chunkLength == 0) {
                // A zero length ends this level; the rest of the parent is skipped.
                levelDone = true;
            } else {
                if (open.size() == 1 && id != kMainChunk) {
                    error = LoadErrorNotMain;
                    break;
                }
                if (chunkLength < kHeaderSize || chunkLength > levelEnd - start) {
                    error = LoadErrorMalformed;
                    break;
                }
                const size_t chunkEnd = start + chunkLength;
                const ChunkInfo info = Lookup(id);
                if (info.known && info.handler) {
                    limit = chunkEnd;
                    if (!(this->*info.handler)(chunkEnd)) {
                        // Out of memory has already said so; anything else did not fit.
                        if (error == LoadErrorNone) error = LoadErrorMalformed;
                        break;
                    }
                }
                if (info.known && info.walks) {
                    // The sub-chunks start where the chunk's own fields end.
                    open.push_back({chunkEnd, info.after});
                } else {
                    pos = chunkEnd;
                }
            }
        }
        if (levelDone) {
            const Open done = open.back();
            open.pop_back();
            if (open.empty()) break;
            if (done.after) {
                limit = done.end;
                (this->*done.after)(done.end);
            }
            pos = done.end;
        }
    }
    open.clear();
    open.shrink_to_fit();
}

// ---------------------------------------------------------------------------------
// Reading helpers. Handlers call Need before reading, so the raw reads below never
// leave the chunk.

uint8_t C3ds::U8()
{
    return buffer[pos++];
}

uint16_t C3ds::U16()
{
    const uint16_t value = Le16(buffer + pos);
    pos += 2;
    return value;
}

uint32_t C3ds::U32()
{
    const uint32_t value = Le32(buffer + pos);
    pos += 4;
    return value;
}

float C3ds::F32()
{
    const float value = LeF32(buffer + pos);
    pos += 4;
    return value;
}

void* C3ds::Alloc(size_t bytes, bool zero)
{
    void* memory = zero ? root->arena->Allocate(bytes) : root->arena->AllocateRaw(bytes);
    if (!memory) {
        // The only allocation failure a load can meet: report it as the buffer error.
        error = LoadErrorAlloc;
        return nullptr;
    }
    return memory;
}

// Reads a zero-terminated string into a new 256-byte buffer (at most 255 characters,
// the rest is read past; empty becomes "$DUMMY$"). Null when the string runs past the
// chunk or no memory is left.
char* C3ds::ReadString()
{
    const uint8_t* begin = buffer + pos;
    const void* zero = std::memchr(begin, 0, limit - pos);
    if (!zero) return nullptr;
    const size_t size = static_cast<const uint8_t*>(zero) - begin;
    pos += size + 1;
    char* text = static_cast<char*>(Alloc(kString3dsSize));
    if (!text) return nullptr;
    if (size == 0) {
        std::memcpy(text, kDummyName, sizeof kDummyName);
    } else {
        const size_t kept = std::min<size_t>(size, kString3dsSize - 1);
        std::memcpy(text, begin, kept);
        text[kept] = 0;
    }
    return text;
}

// Reads past a string without keeping it; false when it has no terminator in the chunk.
static bool SkipString(const uint8_t* buffer, size_t& pos, size_t limit)
{
    const void* zero = std::memchr(buffer + pos, 0, limit - pos);
    if (!zero) return false;
    pos = static_cast<const uint8_t*>(zero) - buffer + 1;
    return true;
}

template <typename T> T* C3ds::NewRecord()
{
    T* record = static_cast<T*>(Alloc(sizeof(T)));
    if (record) byteTotal += sizeof(T);
    return record;
}

// ---------------------------------------------------------------------------------
// Handlers.

bool C3ds::ReadFloatColor(size_t)
{
    if (!Need(12)) return false;
    for (float& c : floatColor) c = F32();
    return true;
}

bool C3ds::ReadByteColor(size_t)
{
    if (!Need(3)) return false;
    for (uint8_t& c : byteColor) c = U8();
    return true;
}

bool C3ds::ReadWord(size_t)
{
    if (!Need(2)) return false;
    wordValue = U16();
    return true;
}

bool C3ds::ReadObjectBlock(size_t)
{
    currentName = ReadString();
    return currentName != nullptr;
}

bool C3ds::ReadMesh(size_t)
{
    Mesh3ds* mesh = NewRecord<Mesh3ds>();
    if (!mesh) return false;
    mesh->name = currentName;
    if (root->meshCount++ == 0) root->meshList = mesh;
    else currentMesh->next = mesh;
    currentMesh = mesh;
    return true;
}

bool C3ds::ReadVertices(size_t)
{
    if (!Need(2)) return false;
    const uint16_t count = U16();
    const size_t bytes = size_t(count) * 12;
    if (!Need(bytes)) return false;
    if (!currentMesh) {
        pos += bytes;
        return true;
    }
    Vertex3ds* vertices = static_cast<Vertex3ds*>(Alloc(sizeof(Vertex3ds) * count, false));
    if (!vertices) return false;
    byteTotal += int64_t(sizeof(Vertex3ds)) * count;
    const uint8_t* p = buffer + pos;
    for (uint32_t i = 0; i < count; ++i, p += 12) {
        vertices[i].x = LeF32(p);
        vertices[i].y = LeF32(p + 8);
        vertices[i].z = LeF32(p + 4);
        vertices[i].u = 0.0f;
        vertices[i].v = 0.0f;
    }
    pos += bytes;
    currentMesh->vertices = vertices;
    currentMesh->vertexCount = count;
    return true;
}

bool C3ds::ReadFaces(size_t)
{
    if (!Need(2)) return false;
    const uint16_t count = U16();
    const size_t bytes = size_t(count) * 8;
    if (!Need(bytes)) return false;
    if (!currentMesh) {
        pos += bytes;
        return true;
    }
    Face3ds* faces = static_cast<Face3ds*>(Alloc(sizeof(Face3ds) * count, false));
    if (!faces) return false;
    byteTotal += int64_t(sizeof(Face3ds)) * count;
    const uint8_t* p = buffer + pos;
    for (uint32_t i = 0; i < count; ++i, p += 8) {
        Face3ds& face = faces[i];
        face.a = Le16(p);
        face.b = Le16(p + 2);
        face.c = Le16(p + 4);
        const int32_t flags = p[6];  // only the low byte carries flags
        face.edgeAB = flags & 4;
        face.edgeBC = flags & 2;
        face.edgeCA = flags & 1;
        face.wrapU = flags & 8;
        face.wrapV = flags & 16;
        face.materialName = nullptr;
        face.materialIndex = 0;
    }
    pos += bytes;
    currentMesh->faces = faces;
    currentMesh->faceCount = count;
    return true;
}

bool C3ds::ReadFaceMaterials(size_t)
{
    char* name = nullptr;
    if (currentMesh) {
        name = ReadString();
        if (!name) return false;
    } else if (!SkipString(buffer, pos, limit)) {
        return false;
    }
    if (!Need(2)) return false;
    const uint16_t count = U16();
    if (!Need(size_t(count) * 2)) return false;
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t face = U16();
        // Indices beyond the mesh's faces name nothing.
        if (currentMesh && face < currentMesh->faceCount) currentMesh->faces[face].materialName = name;
    }
    return true;
}

bool C3ds::ReadMapping(size_t)
{
    if (!Need(2)) return false;
    const uint16_t count = U16();
    const size_t bytes = size_t(count) * 8;
    if (!Need(bytes)) return false;
    if (currentMesh) {
        const uint32_t used = std::min<uint32_t>(count, static_cast<uint32_t>(currentMesh->vertexCount));
        const uint8_t* p = buffer + pos;
        for (uint32_t i = 0; i < used; ++i, p += 8) {
            currentMesh->vertices[i].u = LeF32(p);
            currentMesh->vertices[i].v = LeF32(p + 4);
        }
    }
    pos += bytes;
    return true;
}

bool C3ds::ReadMeshMatrix(size_t)
{
    if (!Need(48)) return false;
    float p[12];
    for (float& f : p) f = F32();
    if (!currentMesh) return true;
    // File rows X, Y, Z, origin become X, Z, Y, origin, each with Y and Z exchanged.
    static const int kFileRow[4] = {0, 2, 1, 3};
    for (int r = 0; r < 4; ++r) {
        const float* row = p + 3 * kFileRow[r];
        currentMesh->matrix[r][0] = row[0];
        currentMesh->matrix[r][1] = row[2];
        currentMesh->matrix[r][2] = row[1];
    }
    return true;
}

bool C3ds::ReadVisibility(size_t)
{
    if (!Need(1)) return false;
    const uint8_t hidden = U8();
    if (currentMesh) currentMesh->visible = hidden == 0 ? 1 : 0;
    return true;
}

bool C3ds::ReadLight(size_t)
{
    Light3ds* light = NewRecord<Light3ds>();
    if (!light) return false;
    light->name = currentName;
    if (root->lightCount++ == 0) root->lightList = light;
    else currentLight->next = light;
    currentLight = light;
    return true;
}

bool C3ds::ReadCamera(size_t)
{
    if (!Need(32)) return false;
    Camera3ds* camera = NewRecord<Camera3ds>();
    if (!camera) return false;
    camera->name = currentName;
    float p[8];
    for (float& f : p) f = F32();
    camera->position[0] = p[0];
    camera->position[1] = p[2];
    camera->position[2] = p[1];
    camera->target[0] = p[3];
    camera->target[1] = p[5];
    camera->target[2] = p[4];
    camera->bank = p[6];
    camera->lens = p[7];
    if (root->cameraCount++ == 0) root->cameraList = camera;
    else currentCamera->next = camera;
    currentCamera = camera;
    return true;
}

bool C3ds::ReadMaterialName(size_t)
{
    if (!currentMaterial) return SkipString(buffer, pos, limit);
    char* name = ReadString();
    if (!name) return false;
    currentMaterial->name = name;
    return true;
}

bool C3ds::StoreAmbient(size_t)
{
    if (currentMaterial) std::memcpy(currentMaterial->ambient, byteColor, 3);
    return true;
}

bool C3ds::StoreTexturePercent(size_t)
{
    if (currentMaterial) currentMaterial->texturePercent = wordValue;
    return true;
}

bool C3ds::ReadTextureFile(size_t)
{
    if (!currentMaterial) return SkipString(buffer, pos, limit);
    char* name = ReadString();
    if (!name) return false;
    currentMaterial->textureFile = name;
    return true;
}

bool C3ds::ReadMaterial(size_t)
{
    Material3ds* material = NewRecord<Material3ds>();
    if (!material) return false;
    if (root->materialCount++ == 0) root->materialList = material;
    else currentMaterial->next = material;
    currentMaterial = material;
    return true;
}

bool C3ds::NewNode(uint8_t type)
{
    nextNodeType = type;
    Node3ds* node = NewRecord<Node3ds>();
    if (!node) return false;
    node->type = nextNodeType;
    if (root->nodeCount++ == 0) root->nodeList = node;
    else currentNode->next = node;
    currentNode = node;
    return true;
}

bool C3ds::ReadObjectNode(size_t)
{
    return NewNode(NodeObject);
}
bool C3ds::ReadCameraNode(size_t)
{
    return NewNode(NodeCamera);
}
bool C3ds::ReadCameraTargetNode(size_t)
{
    return NewNode(NodeCameraTarget);
}
bool C3ds::ReadSpotlightNode(size_t)
{
    return NewNode(NodeSpotlight);
}
bool C3ds::ReadSpotlightTargetNode(size_t)
{
    return NewNode(NodeSpotlightTarget);
}
bool C3ds::ReadOmnilightNode(size_t)
{
    return NewNode(NodeOmnilight);
}

bool C3ds::ReadFrames(size_t)
{
    if (!Need(8)) return false;
    const int32_t first = static_cast<int32_t>(U32());
    const int32_t last = static_cast<int32_t>(U32());
    root->firstFrame = first;
    root->lastFrame = last;
    // The difference of two 32-bit frames may not fit 32 bits: take it in 64 and cap it.
    const int64_t span = int64_t(last) - int64_t(first);
    root->frameCount =
        static_cast<int32_t>(std::min<int64_t>(span < 0 ? -span : span, std::numeric_limits<int32_t>::max()));
    return true;
}

bool C3ds::ReadNodeName(size_t)
{
    char* name = nullptr;
    if (currentNode) {
        name = ReadString();
        if (!name) return false;
    } else if (!SkipString(buffer, pos, limit)) {
        return false;
    }
    if (!Need(6)) return false;
    pos += 4;  // two words nobody uses
    const uint16_t parent = U16();
    if (currentNode) {
        currentNode->name = name;
        currentNode->parent = parent;
    }
    return true;
}

bool C3ds::ReadPivot(size_t)
{
    if (!Need(12)) return false;
    const float x = F32(), y = F32(), z = F32();
    if (currentNode) {
        currentNode->pivot[0] = x;
        currentNode->pivot[1] = z;
        currentNode->pivot[2] = y;
    }
    return true;
}

bool C3ds::ReadNodeId(size_t)
{
    if (!Need(2)) return false;
    const uint16_t id = U16();
    if (currentNode) currentNode->nodeId = id;
    return true;
}

bool C3ds::ReadNothing(size_t)
{
    return true;
}

// The key header: 14 bytes of which only the low 16 bits of the count at offset 10
// are used. Refuses a count whose keys cannot fit in the rest of the chunk.
bool C3ds::ReadKeyCount(uint32_t& count, size_t minKeyBytes)
{
    if (!Need(14)) return false;
    count = Le32(buffer + pos + 10) & 0xFFFF;
    pos += 14;
    return Need(size_t(count) * minKeyBytes);
}

// The key prefix after the frame: spline flags, then one float per set bit; bits 0
// to 4 are tension, continuity, bias, ease to and ease from, the rest are dropped.
bool C3ds::ReadSpline(KeySpline3ds& spline)
{
    if (!Need(2)) return false;
    const uint16_t flags = U16();
    spline.flags = flags;
    if (!Need(size_t(std::popcount(flags)) * 4)) return false;
    float* const slots[5] = {&spline.tension, &spline.continuity, &spline.bias, &spline.easeTo,
                             &spline.easeFrom};
    for (int bit = 0; bit < 16; ++bit) {
        if (!(flags & (1u << bit))) continue;
        const float value = F32();
        if (bit < 5) *slots[bit] = value;
    }
    return true;
}

namespace {
inline int32_t KeyFrame(uint32_t frame)
{
    return static_cast<int32_t>(frame & 0xFFFF);
}
}  // namespace

bool C3ds::ReadPosKeys(PosKey3ds*& keys, int32_t& keyCount)
{
    uint32_t count;
    if (!ReadKeyCount(count, 6 + 12)) return false;
    PosKey3ds* read = nullptr;
    if (count && !(read = static_cast<PosKey3ds*>(Alloc(sizeof(PosKey3ds) * count)))) return false;
    byteTotal += int64_t(sizeof(PosKey3ds)) * count;
    for (uint32_t i = 0; i < count; ++i) {
        PosKey3ds& key = read[i];
        if (!Need(4)) return false;
        key.frame = KeyFrame(U32());
        if (!ReadSpline(key.spline) || !Need(12)) return false;
        key.x = F32();
        key.z = F32();
        key.y = F32();
    }
    keys = read;
    keyCount = static_cast<int32_t>(count);
    return true;
}

bool C3ds::ReadScalarKeys(ScalarKey3ds*& keys, int32_t& keyCount)
{
    uint32_t count;
    if (!ReadKeyCount(count, 6 + 4)) return false;
    ScalarKey3ds* read = nullptr;
    if (count && !(read = static_cast<ScalarKey3ds*>(Alloc(sizeof(ScalarKey3ds) * count)))) return false;
    byteTotal += int64_t(sizeof(ScalarKey3ds)) * count;
    for (uint32_t i = 0; i < count; ++i) {
        ScalarKey3ds& key = read[i];
        if (!Need(4)) return false;
        key.frame = KeyFrame(U32());
        if (!ReadSpline(key.spline) || !Need(4)) return false;
        key.value = F32();
    }
    keys = read;
    keyCount = static_cast<int32_t>(count);
    return true;
}

// Keys read for a chunk outside any node land in a scratch node that nothing keeps.
bool C3ds::ReadPositionKeys(size_t)
{
    Node3ds scratch{};
    Node3ds* node = currentNode ? currentNode : &scratch;
    return ReadPosKeys(node->positionKeys, node->positionKeyCount);
}

bool C3ds::ReadScaleKeys(size_t)
{
    Node3ds scratch{};
    Node3ds* node = currentNode ? currentNode : &scratch;
    return ReadPosKeys(node->scaleKeys, node->scaleKeyCount);
}

bool C3ds::ReadFovKeys(size_t)
{
    Node3ds scratch{};
    Node3ds* node = currentNode ? currentNode : &scratch;
    return ReadScalarKeys(node->fovKeys, node->fovKeyCount);
}

bool C3ds::ReadRollKeys(size_t)
{
    Node3ds scratch{};
    Node3ds* node = currentNode ? currentNode : &scratch;
    return ReadScalarKeys(node->rollKeys, node->rollKeyCount);
}

bool C3ds::ReadRotationKeys(size_t)
{
    uint32_t count;
    if (!ReadKeyCount(count, 6 + 16)) return false;
    RotKey3ds* read = nullptr;
    if (count && !(read = static_cast<RotKey3ds*>(Alloc(sizeof(RotKey3ds) * count)))) return false;
    byteTotal += int64_t(sizeof(RotKey3ds)) * count;
    for (uint32_t i = 0; i < count; ++i) {
        RotKey3ds& key = read[i];
        if (!Need(4)) return false;
        key.frame = KeyFrame(U32());
        if (!ReadSpline(key.spline) || !Need(16)) return false;
        key.angle = F32();
        key.x = F32();
        key.z = F32();
        key.y = F32();
    }
    if (currentNode) {
        currentNode->rotationKeys = read;
        currentNode->rotationKeyCount = static_cast<int32_t>(count);
    }
    return true;
}

bool C3ds::ReadMorphKeys(size_t)
{
    uint32_t count;
    if (!ReadKeyCount(count, 6 + 1)) return false;
    MorphKey3ds* read = nullptr;
    if (count && !(read = static_cast<MorphKey3ds*>(Alloc(sizeof(MorphKey3ds) * count)))) return false;
    byteTotal += int64_t(sizeof(MorphKey3ds)) * count;
    for (uint32_t i = 0; i < count; ++i) {
        MorphKey3ds& key = read[i];
        if (!Need(4)) return false;
        key.frame = KeyFrame(U32());
        if (!ReadSpline(key.spline)) return false;
        key.targetName = ReadString();
        if (!key.targetName) return false;
    }
    if (currentNode) {
        currentNode->morphKeys = read;
        currentNode->morphKeyCount = static_cast<int32_t>(count);
    }
    return true;
}

// ---------------------------------------------------------------------------------
// After the walk.

void C3ds::BuildIndexes()
{
    auto build = [this](auto* list, int32_t count, auto**& index) {
        using Record = std::remove_pointer_t<decltype(list)>;
        index = nullptr;
        if (count <= 0) return;
        Record** array = static_cast<Record**>(root->arena->Allocate(sizeof(Record*) * size_t(count)));
        if (!array) {
            // Without its index a kind reads as empty.
            error = LoadErrorAlloc;
            return;
        }
        byteTotal += int64_t(sizeof(Record*)) * count;
        int32_t i = 0;
        for (Record* r = list; r && i < count; r = r->next) array[i++] = r;
        index = array;
    };
    build(root->meshList, root->meshCount, root->meshIndex);
    build(root->cameraList, root->cameraCount, root->cameraIndex);
    build(root->lightList, root->lightCount, root->lightIndex);
    build(root->materialList, root->materialCount, root->materialIndex);
    build(root->nodeList, root->nodeCount, root->nodeIndex);
    if (!root->meshIndex) root->meshCount = 0;
    if (!root->cameraIndex) root->cameraCount = 0;
    if (!root->lightIndex) root->lightCount = 0;
    if (!root->materialIndex) root->materialCount = 0;
    if (!root->nodeIndex) root->nodeCount = 0;
}

// Names link records by exact, case-sensitive equality; where several records share
// a name, the last one in file order wins.
void C3ds::LinkNames()
{
    using NameMap = std::unordered_map<std::string_view, int32_t>;

    NameMap materials;
    for (int32_t i = 0; i < root->materialCount; ++i)
        if (const char* name = root->materialIndex[i]->name) materials[name] = i;
    for (int32_t m = 0; m < root->meshCount; ++m) {
        Mesh3ds* mesh = root->meshIndex[m];
        // The faces of one mapping list share their name buffer: look each up once.
        const char* lastName = nullptr;
        int32_t lastIndex = 0;
        for (int32_t f = 0; f < mesh->faceCount; ++f) {
            Face3ds& face = mesh->faces[f];
            if (!face.materialName) continue;
            if (face.materialName != lastName) {
                lastName = face.materialName;
                const auto found = materials.find(lastName);
                lastIndex = found != materials.end() ? found->second : -1;
            }
            if (lastIndex >= 0) face.materialIndex = lastIndex;
        }
    }

    NameMap nodes, cameraNodes, targetNodes;
    for (int32_t i = 0; i < root->nodeCount; ++i) {
        const Node3ds* node = root->nodeIndex[i];
        if (!node->name) continue;
        nodes[node->name] = i;
        if (node->type == NodeCamera) cameraNodes[node->name] = i;
        if (node->type == NodeCameraTarget) targetNodes[node->name] = i;
    }
    for (int32_t m = 0; m < root->meshCount; ++m) {
        Mesh3ds* mesh = root->meshIndex[m];
        if (!mesh->name) continue;
        const auto found = nodes.find(mesh->name);
        if (found != nodes.end()) mesh->nodeIndex = found->second;
    }
    for (int32_t c = 0; c < root->cameraCount; ++c) {
        Camera3ds* camera = root->cameraIndex[c];
        camera->positionNode = -1;
        camera->targetNode = -1;
        if (!camera->name) continue;
        const auto position = cameraNodes.find(camera->name);
        if (position != cameraNodes.end()) camera->positionNode = position->second;
        const auto target = targetNodes.find(camera->name);
        if (target != targetNodes.end()) camera->targetNode = target->second;
    }
}
