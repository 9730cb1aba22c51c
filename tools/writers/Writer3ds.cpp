#include "tools/writers/Writer3ds.h"

#include <bit>
#include <cstdio>
#include <cstring>

void Writer3ds::Begin(uint16_t id)
{
    open.push_back(data.size());
    Header(id, 0);
}

void Writer3ds::End()
{
    if (open.empty()) return;
    const size_t start = open.back();
    open.pop_back();
    const uint32_t length = static_cast<uint32_t>(data.size() - start);
    for (int i = 0; i < 4; ++i) data[start + 2 + i] = static_cast<uint8_t>(length >> (8 * i));
}

void Writer3ds::Header(uint16_t id, uint32_t length)
{
    U16(id);
    U32(length);
}

void Writer3ds::U8(uint8_t v)
{
    data.push_back(v);
}

void Writer3ds::U16(uint16_t v)
{
    data.push_back(static_cast<uint8_t>(v));
    data.push_back(static_cast<uint8_t>(v >> 8));
}

void Writer3ds::U32(uint32_t v)
{
    for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Writer3ds::F32(float v)
{
    U32(std::bit_cast<uint32_t>(v));
}

void Writer3ds::String(const char* text)
{
    Bytes(text, std::strlen(text) + 1);
}

void Writer3ds::Bytes(const void* bytes, size_t size)
{
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    data.insert(data.end(), p, p + size);
}

void Writer3ds::Chunk(uint16_t id, const void* body, size_t size)
{
    Header(id, static_cast<uint32_t>(6 + size));
    if (size) Bytes(body, size);
}

void Writer3ds::BeginObject(const char* name)
{
    Begin(kObject);
    String(name);
}

void Writer3ds::Vertices(const float* xyz, size_t count)
{
    Begin(kVertices);
    U16(static_cast<uint16_t>(count));
    for (size_t i = 0; i < count * 3; ++i) F32(xyz[i]);
    End();
}

void Writer3ds::BeginFaces(const Face* faces, size_t count)
{
    Begin(kFaces);
    U16(static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i) {
        U16(faces[i].a);
        U16(faces[i].b);
        U16(faces[i].c);
        U16(faces[i].flags);
    }
}

void Writer3ds::FaceMaterials(const char* material, const uint16_t* faces, size_t count)
{
    Begin(kFaceMaterials);
    String(material);
    U16(static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i) U16(faces[i]);
    End();
}

void Writer3ds::Mapping(const float* uv, size_t count)
{
    Begin(kMapping);
    U16(static_cast<uint16_t>(count));
    for (size_t i = 0; i < count * 2; ++i) F32(uv[i]);
    End();
}

void Writer3ds::MeshMatrix(const float* m12)
{
    Begin(kMeshMatrix);
    for (int i = 0; i < 12; ++i) F32(m12[i]);
    End();
}

void Writer3ds::Visibility(uint8_t hidden)
{
    Chunk(kVisibility, &hidden, 1);
}

void Writer3ds::Light()
{
    Begin(kLight);
    for (int i = 0; i < 3; ++i) F32(0.0f);  // the light's position, which readers skip
    End();
}

void Writer3ds::BeginCamera(const float position[3], const float target[3], float bank, float lens)
{
    Begin(kCamera);
    for (int i = 0; i < 3; ++i) F32(position[i]);
    for (int i = 0; i < 3; ++i) F32(target[i]);
    F32(bank);
    F32(lens);
}

void Writer3ds::Material(const char* name, uint8_t r, uint8_t g, uint8_t b, const char* texture,
                         uint16_t percent)
{
    Begin(kMaterial);
    Begin(kMaterialName);
    String(name);
    End();
    Begin(kMaterialAmbient);
    const uint8_t rgb[3] = {r, g, b};
    Chunk(kByteColor, rgb, 3);
    End();
    if (texture) {
        Begin(kTextureData);
        Begin(kWord);
        U16(percent);
        End();
        Begin(kTextureFile);
        String(texture);
        End();
        End();
    }
    End();
}

void Writer3ds::Frames(int32_t first, int32_t last)
{
    Begin(kFrames);
    U32(static_cast<uint32_t>(first));
    U32(static_cast<uint32_t>(last));
    End();
}

void Writer3ds::BeginNode(uint16_t id, const char* name, uint16_t parent, uint16_t nodeId)
{
    Begin(id);
    Begin(kNodeId);
    U16(nodeId);
    End();
    Begin(kNodeName);
    String(name);
    U16(0);
    U16(0);
    U16(parent);
    End();
}

void Writer3ds::Pivot(float x, float y, float z)
{
    Begin(kPivot);
    F32(x);
    F32(y);
    F32(z);
    End();
}

void Writer3ds::Keys(uint16_t id, const Key* keys, size_t count, int values)
{
    Begin(id);
    U16(0);  // track flags
    for (int i = 0; i < 8; ++i) U8(0);
    U32(static_cast<uint32_t>(count));
    for (size_t k = 0; k < count; ++k) {
        const Key& key = keys[k];
        U32(key.frame);
        U16(key.flags);
        for (int bit = 0; bit < 16; ++bit)
            if (key.flags & (1u << bit)) F32(key.spline[bit]);
        if (values == 0) String(key.target ? key.target : "");
        else
            for (int i = 0; i < values; ++i) F32(key.value[i]);
    }
    End();
}

const std::vector<uint8_t>& Writer3ds::Finish()
{
    while (!open.empty()) End();
    return data;
}

int Writer3ds::Save(const char* path)
{
    Finish();
    FILE* file = std::fopen(path, "wb");
    if (!file) return 0;
    const bool ok = std::fwrite(data.data(), 1, data.size(), file) == data.size();
    return (std::fclose(file) == 0 && ok) ? 1 : 0;
}
