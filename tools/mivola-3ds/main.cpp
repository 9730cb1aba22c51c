// mivola-3ds FILE...: loads each .3ds file and prints what the reader made of it as
// one JSON object per line. Exits with 1 only when no file could be read.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "scene3ds/C3ds.h"

namespace {

class Json {
public:
    std::string out;

    void Raw(const char* text) { out += text; }
    void Int(long long v)
    {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%lld", v);
        out += buffer;
    }
    // Floats read back exactly from nine significant digits; JSON has no NaN or
    // infinity, so those print as null.
    void Float(float v)
    {
        if (!std::isfinite(v)) {
            out += "null";
            return;
        }
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(v));
        out += buffer;
    }
    void Floats(const float* v, int count)
    {
        out += '[';
        for (int i = 0; i < count; ++i) {
            if (i) out += ',';
            Float(v[i]);
        }
        out += ']';
    }
    // A string, or null. Bytes that are not UTF-8 are taken as Latin-1.
    void String(const char* text)
    {
        if (!text) {
            out += "null";
            return;
        }
        const bool utf8 = IsUtf8(reinterpret_cast<const unsigned char*>(text));
        out += '"';
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
            const unsigned char c = *p;
            if (c == '"' || c == '\\') {
                out += '\\';
                out += static_cast<char>(c);
            } else if (c < 0x20 || (c >= 0x80 && !utf8)) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += static_cast<char>(c);
            }
        }
        out += '"';
    }
    void Key(const char* name, bool first = false)
    {
        if (!first) out += ',';
        out += '"';
        out += name;
        out += "\":";
    }

private:
    static bool IsUtf8(const unsigned char* p)
    {
        while (*p) {
            int extra = 0;
            if (*p < 0x80) extra = 0;
            else if ((*p & 0xE0) == 0xC0 && *p >= 0xC2) extra = 1;
            else if ((*p & 0xF0) == 0xE0) extra = 2;
            else if ((*p & 0xF8) == 0xF0 && *p <= 0xF4) extra = 3;
            else return false;
            ++p;
            for (int i = 0; i < extra; ++i, ++p)
                if ((*p & 0xC0) != 0x80) return false;
        }
        return true;
    }
};

void PrintMeshes(Json& j, const Scene3ds* root)
{
    j.Key("meshes");
    j.Raw("[");
    for (int32_t i = 0; root && i < root->meshCount; ++i) {
        const Mesh3ds* mesh = root->meshIndex[i];
        if (i) j.Raw(",");
        j.Raw("{");
        j.Key("name", true);
        j.String(mesh->name);
        j.Key("visible");
        j.Int(mesh->visible);
        j.Key("node");
        j.Int(mesh->nodeIndex);
        j.Key("matrix");
        j.Floats(&mesh->matrix[0][0], 12);
        j.Key("vertices");
        j.Raw("[");
        for (int32_t v = 0; v < mesh->vertexCount; ++v) {
            if (v) j.Raw(",");
            const Vertex3ds& vertex = mesh->vertices[v];
            const float values[5] = {vertex.x, vertex.y, vertex.z, vertex.u, vertex.v};
            j.Floats(values, 5);
        }
        j.Raw("]");
        j.Key("faces");
        j.Raw("[");
        for (int32_t f = 0; f < mesh->faceCount; ++f) {
            const Face3ds& face = mesh->faces[f];
            if (f) j.Raw(",");
            j.Raw("[");
            j.Int(face.a);
            j.Raw(",");
            j.Int(face.b);
            j.Raw(",");
            j.Int(face.c);
            j.Raw(",");
            j.Int(face.edgeAB | face.edgeBC | face.edgeCA | face.wrapU | face.wrapV);
            j.Raw(",");
            j.Int(face.materialIndex);
            j.Raw("]");
        }
        j.Raw("]}");
    }
    j.Raw("]");
}

template <typename Key, typename Fill>
void PrintKeys(Json& j, const char* name, const Key* keys, int32_t count, int values, Fill fill)
{
    j.Key(name);
    j.Raw("[");
    for (int32_t k = 0; k < count; ++k) {
        if (k) j.Raw(",");
        float v[4];
        fill(keys[k], v);
        j.Raw("[");
        j.Int(keys[k].frame);
        for (int i = 0; i < values; ++i) {
            j.Raw(",");
            j.Float(v[i]);
        }
        j.Raw("]");
    }
    j.Raw("]");
}

void PrintFile(Json& j, const char* path, int ok, int error, const Scene3ds* root)
{
    j.Raw("{");
    j.Key("file", true);
    j.String(path);
    j.Key("ok");
    j.Raw(ok ? "true" : "false");
    j.Key("error");
    j.Int(error);
    j.Key("firstFrame");
    j.Int(root ? root->firstFrame : 0);
    j.Key("lastFrame");
    j.Int(root ? root->lastFrame : 0);
    j.Key("frameCount");
    j.Int(root ? root->frameCount : 0);
    PrintMeshes(j, root);

    j.Key("materials");
    j.Raw("[");
    for (int32_t i = 0; root && i < root->materialCount; ++i) {
        const Material3ds* material = root->materialIndex[i];
        if (i) j.Raw(",");
        j.Raw("{");
        j.Key("name", true);
        j.String(material->name);
        j.Key("texture");
        j.String(material->textureFile);
        j.Key("ambient");
        j.Raw("[");
        for (int c = 0; c < 3; ++c) {
            if (c) j.Raw(",");
            j.Int(material->ambient[c]);
        }
        j.Raw("]");
        j.Key("texturePercent");
        j.Int(material->texturePercent);
        j.Raw("}");
    }
    j.Raw("]");

    j.Key("cameras");
    j.Raw("[");
    for (int32_t i = 0; root && i < root->cameraCount; ++i) {
        const Camera3ds* camera = root->cameraIndex[i];
        if (i) j.Raw(",");
        j.Raw("{");
        j.Key("name", true);
        j.String(camera->name);
        j.Key("position");
        j.Floats(camera->position, 3);
        j.Key("target");
        j.Floats(camera->target, 3);
        j.Key("bank");
        j.Float(camera->bank);
        j.Key("lens");
        j.Float(camera->lens);
        j.Key("positionNode");
        j.Int(camera->positionNode);
        j.Key("targetNode");
        j.Int(camera->targetNode);
        j.Raw("}");
    }
    j.Raw("]");

    j.Key("lights");
    j.Raw("[");
    for (int32_t i = 0; root && i < root->lightCount; ++i) {
        if (i) j.Raw(",");
        j.Raw("{");
        j.Key("name", true);
        j.String(root->lightIndex[i]->name);
        j.Raw("}");
    }
    j.Raw("]");

    j.Key("nodes");
    j.Raw("[");
    for (int32_t i = 0; root && i < root->nodeCount; ++i) {
        const Node3ds* node = root->nodeIndex[i];
        if (i) j.Raw(",");
        j.Raw("{");
        j.Key("name", true);
        j.String(node->name);
        j.Key("id");
        j.Int(node->nodeId);
        j.Key("parent");
        j.Int(node->parent);
        j.Key("type");
        j.Int(node->type);
        j.Key("pivot");
        j.Floats(node->pivot, 3);
        auto xyz = [](const PosKey3ds& k, float* v) {
            v[0] = k.x;
            v[1] = k.y;
            v[2] = k.z;
        };
        PrintKeys(j, "positionKeys", node->positionKeys, node->positionKeyCount, 3, xyz);
        PrintKeys(j, "rotationKeys", node->rotationKeys, node->rotationKeyCount, 4,
                  [](const RotKey3ds& k, float* v) {
                      v[0] = k.angle;
                      v[1] = k.x;
                      v[2] = k.y;
                      v[3] = k.z;
                  });
        PrintKeys(j, "scaleKeys", node->scaleKeys, node->scaleKeyCount, 3, xyz);
        j.Raw("}");
    }
    j.Raw("]}\n");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: mivola-3ds FILE...\n");
        return 2;
    }
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        // A reader per file: a failed load must not fail the files after it.
        C3ds reader;
        Scene3ds* root = nullptr;
        const int ok = reader.Load3ds(argv[i], &root);
        if (!ok) ++failed;
        Json j;
        PrintFile(j, argv[i], ok, reader.Error(), root);
        std::fwrite(j.out.data(), 1, j.out.size(), stdout);
        Free3ds(root);
    }
    std::fflush(stdout);
    return failed == argc - 1 ? 1 : 0;
}
