// Generated GLSL programs for the fixed-function pipeline: one program per
// distinct texture-stage and lighting setup, built once and cached.
#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <vector>

namespace d3d9 {

// Vertex attribute locations shared by every program.
enum AttribLocation : GLuint { kAttribPos = 0, kAttribNormal, kAttribColor, kAttribTex0, kAttribTex1 };

// The part of the device state a program depends on, packed for hashing.
struct StageSetup {
    uint8_t colorOp = 0, colorArg1 = 0, colorArg2 = 0;
    uint8_t alphaOp = 0, alphaArg1 = 0, alphaArg2 = 0;
    uint8_t texCoordSet = 0;  // 0 or 1
    uint8_t transform = 0;    // 1: texture matrix applied to (u, v, 1, 0)
    uint8_t hasTexture = 0;   // 0: TEXTURE reads (0, 0, 0, 1)

    bool operator==(const StageSetup&) const = default;
};

struct ProgramKey {
    StageSetup stage[2];
    uint8_t stageCount = 0;  // stages processed (0: diffuse passes through)
    uint8_t lighting = 0;    // per-vertex lighting on
    uint8_t lightOn = 0;     // light 0 enabled (directional)
    uint8_t diffuseFromVertex = 0;
    uint8_t multisampled = 0;  // target has several samples per pixel

    bool operator==(const ProgramKey&) const = default;
};

// Uniform versions last uploaded to this program; the device bumps its own
// versions when the state changes, so a draw only uploads what changed.
struct Program {
    GLuint id = 0;
    ProgramKey key;
    GLint uWVP = -1, uShift = -1, uTexMat[2] = {-1, -1}, uTFactor = -1;
    GLint uNormalMat = -1, uToLight = -1, uLightDiffuse = -1, uMatDiffuse = -1, uAmbEmis = -1;
    uint32_t verWVP = 0, verShift = 0, verTexMat[2] = {0, 0}, verTFactor = 0, verLight = 0;
};

class ProgramCache {
public:
    ~ProgramCache();
    // The program for key, built on first use; null when GL refuses it.
    Program* Get(const ProgramKey& key);
    void Clear();

private:
    Program* Build(const ProgramKey& key);
    std::vector<Program*> programs_;
    Program* last_ = nullptr;
};

// The texture units the copy and resolve programs read, ones the stages never use.
constexpr GLint kCopyUnit = 6;
constexpr GLint kResolveUnit = 7;
// A program that copies a single-sample texture into the bound target, pixel
// for pixel (drawn as four vertices without attributes); 0 when GL refuses it.
GLuint BuildCopyProgram();
// A program that resolves a multisampled texture of `samples` samples into the
// bound single-sample target, pixel for pixel: the mean of each pixel's
// samples, as GL's blit gives it. Drawn as the copy program is.
GLuint BuildResolveProgram(int samples);

}  // namespace d3d9
