// Feeds arbitrary bytes to the 3DS reader and walks everything it hands back, so that
// a bad pointer or index in the records shows up under the sanitizers.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "scene3ds/C3ds.h"

namespace {

void Touch(const char* text)
{
    if (text && std::strlen(text) >= kString3dsSize) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    C3ds reader;
    Scene3ds* root = nullptr;
    reader.Load3dsMemory(data, size, &root);
    if (!root) return 0;

    for (int32_t i = 0; i < root->meshCount; ++i) {
        const Mesh3ds* mesh = root->meshIndex[i];
        Touch(mesh->name);
        float sum = 0;
        for (int32_t v = 0; v < mesh->vertexCount; ++v) sum += mesh->vertices[v].x + mesh->vertices[v].u;
        for (int32_t f = 0; f < mesh->faceCount; ++f) {
            const Face3ds& face = mesh->faces[f];
            Touch(face.materialName);
            if (face.materialIndex < 0 ||
                (face.materialIndex > 0 && face.materialIndex >= root->materialCount))
                std::abort();
        }
        if (mesh->nodeIndex < 0 || (mesh->nodeIndex > 0 && mesh->nodeIndex >= root->nodeCount)) std::abort();
        (void)sum;
    }
    for (int32_t i = 0; i < root->materialCount; ++i) {
        Touch(root->materialIndex[i]->name);
        Touch(root->materialIndex[i]->textureFile);
    }
    for (int32_t i = 0; i < root->cameraCount; ++i) {
        const Camera3ds* camera = root->cameraIndex[i];
        Touch(camera->name);
        if (camera->positionNode >= root->nodeCount || camera->targetNode >= root->nodeCount) std::abort();
    }
    for (int32_t i = 0; i < root->lightCount; ++i) Touch(root->lightIndex[i]->name);
    for (int32_t i = 0; i < root->nodeCount; ++i) {
        const Node3ds* node = root->nodeIndex[i];
        Touch(node->name);
        float sum = 0;
        for (int32_t k = 0; k < node->positionKeyCount; ++k) sum += node->positionKeys[k].x;
        for (int32_t k = 0; k < node->rotationKeyCount; ++k) sum += node->rotationKeys[k].angle;
        for (int32_t k = 0; k < node->scaleKeyCount; ++k) sum += node->scaleKeys[k].z;
        for (int32_t k = 0; k < node->fovKeyCount; ++k) sum += node->fovKeys[k].value;
        for (int32_t k = 0; k < node->rollKeyCount; ++k) sum += node->rollKeys[k].value;
        for (int32_t k = 0; k < node->morphKeyCount; ++k) Touch(node->morphKeys[k].targetName);
        (void)sum;
    }
    Free3ds(root);
    return 0;
}
