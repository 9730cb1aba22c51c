#include "platform/d3d9/Shaders.h"

#include <string>

#include "platform/d3d9/StatsInternal.h"
#include "platform/d3d9/d3d9types.h"
#include "platform/win32/Log.h"

namespace d3d9 {

namespace {

const char* kVertexHead = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec4 aColor;
layout(location = 3) in vec2 aTex0;
layout(location = 4) in vec2 aTex1;
uniform mat4 uWVP;
uniform vec2 uShift;
out vec4 vColor;
out vec2 vTex0;
out vec2 vTex1;
)";

std::string VertexSource(const ProgramKey& key)
{
    std::string s = kVertexHead;
    if (key.stageCount > 0 && key.stage[0].transform) s += "uniform mat4 uTexMat0;\n";
    if (key.stageCount > 1 && key.stage[1].transform) s += "uniform mat4 uTexMat1;\n";
    if (key.lighting)
        s += "uniform mat3 uNormalMat;\nuniform vec3 uToLight;\nuniform vec4 uLightDiffuse;\n"
             "uniform vec4 uMatDiffuse;\nuniform vec4 uAmbEmis;\n";
    s += "void main() {\n"
         "  vec4 p = uWVP * vec4(aPos, 1.0);\n";
    // Pixel centres at integer coordinates: move right and down by just under half a
    // pixel. With several samples per pixel the geometry stays and the fragment
    // stage looks up its attributes that far back instead, so that edges on pixel
    // boundaries keep covering every sample of the pixel.
    // The picture is drawn upside down so that row 0 of the target is the top.
    if (!key.multisampled)
        s += "  p.x += uShift.x * p.w;\n"
             "  p.y = uShift.y * p.w - p.y;\n";
    else s += "  p.y = -p.y;\n";
    s += "  p.z = 2.0 * p.z - p.w;\n"
         "  gl_Position = p;\n";
    if (key.lighting) {
        s += key.diffuseFromVertex ? "  vec4 cd = aColor;\n" : "  vec4 cd = uMatDiffuse;\n";
        s += "  vec3 c = uAmbEmis.rgb;\n";
        if (key.lightOn)
            s += "  vec3 n = uNormalMat * aNormal;\n"
                 "  c += max(dot(n, uToLight), 0.0) * uLightDiffuse.rgb * cd.rgb;\n";
        s += "  vColor = vec4(clamp(c, 0.0, 1.0), cd.a);\n";
    } else {
        s += "  vColor = aColor;\n";
    }
    for (int i = 0; i < 2; ++i) {
        std::string out = i == 0 ? "vTex0" : "vTex1";
        if (i >= key.stageCount) {
            s += "  " + out + " = vec2(0.0);\n";
            continue;
        }
        std::string in = key.stage[i].texCoordSet ? "aTex1" : "aTex0";
        if (key.stage[i].transform)
            s += "  " + out + " = (uTexMat" + std::to_string(i) + " * vec4(" + in + ", 1.0, 0.0)).xy;\n";
        else s += "  " + out + " = " + in + ";\n";
    }
    s += "}\n";
    return s;
}

std::string Arg(uint8_t arg, int stage, bool alpha)
{
    std::string v;
    switch (arg & 0x0F) {
    case D3DTA_CURRENT:
        v = "cur";
        break;
    case D3DTA_TEXTURE:
        v = "tex" + std::to_string(stage);
        break;
    case D3DTA_TFACTOR:
        v = "uTFactor";
        break;
    default:
        v = "vColor";
        break;  // diffuse, and what this device does not model
    }
    if (arg & 0x20) v = "vec4(" + v + ".a)";        // D3DTA_ALPHAREPLICATE
    if (arg & 0x10) v = "(vec4(1.0) - " + v + ")";  // D3DTA_COMPLEMENT
    return v + (alpha ? ".a" : ".rgb");
}

std::string Op(uint8_t op, const std::string& a1, const std::string& a2, const std::string& cur)
{
    switch (op) {
    case D3DTOP_DISABLE:
        return cur;
    case D3DTOP_SELECTARG2:
        return a2;
    case D3DTOP_MODULATE:
        return a1 + " * " + a2;
    case 5:
        return "min(" + a1 + " * " + a2 + " * 2.0, 1.0)";  // MODULATE2X
    case 6:
        return "min(" + a1 + " * " + a2 + " * 4.0, 1.0)";  // MODULATE4X
    case 7:
        return "min(" + a1 + " + " + a2 + ", 1.0)";  // ADD
    default:
        return a1;  // SELECTARG1
    }
}

std::string FragmentSource(const ProgramKey& key)
{
    std::string s = "#version 330 core\nin vec4 vColor;\nin vec2 vTex0;\nin vec2 vTex1;\n"
                    "uniform sampler2D uSampler0;\nuniform sampler2D uSampler1;\n"
                    "uniform vec4 uTFactor;\nout vec4 fragColor;\nvoid main() {\n"
                    "  vec4 cur = vColor;\n";
    for (int i = 0; i < key.stageCount; ++i) {
        const StageSetup& st = key.stage[i];
        std::string n = std::to_string(i);
        std::string coord = "vTex" + n;
        if (key.multisampled)
            coord = "(vTex" + n + " - 0.4921875 * (dFdx(vTex" + n + ") + dFdy(vTex" + n + ")))";
        s += st.hasTexture ? "  vec4 tex" + n + " = texture(uSampler" + n + ", " + coord + ");\n"
                           : "  vec4 tex" + n + " = vec4(0.0, 0.0, 0.0, 1.0);\n";
        s += "  {\n    vec3 rgb = " +
             Op(st.colorOp, Arg(st.colorArg1, i, false), Arg(st.colorArg2, i, false), "cur.rgb") +
             ";\n    float a = " +
             Op(st.alphaOp, Arg(st.alphaArg1, i, true), Arg(st.alphaArg2, i, true), "cur.a") +
             ";\n    cur = vec4(rgb, a);\n  }\n";
    }
    s += "  fragColor = cur;\n}\n";
    return s;
}

GLuint Compile(GLenum type, const std::string& source)
{
    GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        LogPrintf("[gl] shader compile failed: %s\n", log);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

namespace {

// A program of four vertices over the rectangle uRect (x0, y0, x1, y1 in pixels
// of a target of uSize, drawn with the viewport over the whole target) and the
// fragment shader `fs`, which reads uSource from texture unit `unit`. The
// rectangle's sides lie on pixel boundaries, so it covers every sample of its
// pixels and none of others: a scissor would not do, the rasteriser lets
// multisampled draws through one pixel past a scissor's side.
GLuint BuildRectProgram(const std::string& fs, GLint unit)
{
    GLuint vertex = Compile(GL_VERTEX_SHADER, "#version 330 core\n"
                                              "uniform vec4 uRect;\n"
                                              "uniform vec2 uSize;\n"
                                              "void main() {\n"
                                              "  vec2 corner = vec2(gl_VertexID & 1, gl_VertexID >> 1);\n"
                                              "  vec2 p = mix(uRect.xy, uRect.zw, corner) / uSize * 2.0 - 1.0;\n"
                                              "  gl_Position = vec4(p, 0.0, 1.0);\n"
                                              "}\n");
    GLuint fragment = Compile(GL_FRAGMENT_SHADER, fs);
    GLuint id = 0;
    if (vertex && fragment) {
        id = glCreateProgram();
        glAttachShader(id, vertex);
        glAttachShader(id, fragment);
        glLinkProgram(id);
        GLint ok = 0;
        glGetProgramiv(id, GL_LINK_STATUS, &ok);
        if (!ok) {
            glDeleteProgram(id);
            id = 0;
        }
    }
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    if (id) {
        glUseProgram(id);
        glUniform1i(glGetUniformLocation(id, "uSource"), unit);
        glUseProgram(0);
        CountShaderCompile();
    }
    return id;
}

}  // namespace

GLuint BuildCopyProgram()
{
    // Each pixel takes the texel at its place.
    return BuildRectProgram("#version 330 core\n"
                            "uniform sampler2D uSource;\n"
                            "out vec4 fragColor;\n"
                            "void main() {\n"
                            "  fragColor = texelFetch(uSource, ivec2(gl_FragCoord.xy), 0);\n"
                            "}\n",
                            kCopyUnit);
}

GLuint BuildResolveProgram(int samples)
{
    // The samples summed in order, then scaled: the same float operations as
    // GL's own resolve, so the same bytes.
    return BuildRectProgram("#version 330 core\n"
                            "uniform sampler2DMS uSource;\n"
                            "out vec4 fragColor;\n"
                            "const int kSamples = " + std::to_string(samples) + ";\n"
                            "void main() {\n"
                            "  ivec2 p = ivec2(gl_FragCoord.xy);\n"
                            "  vec4 sum = texelFetch(uSource, p, 0);\n"
                            "  for (int i = 1; i < kSamples; ++i) sum += texelFetch(uSource, p, i);\n"
                            "  fragColor = sum * (1.0 / float(kSamples));\n"
                            "}\n",
                            kResolveUnit);
}

ProgramCache::~ProgramCache()
{
    Clear();
}

void ProgramCache::Clear()
{
    for (Program* p : programs_) {
        glDeleteProgram(p->id);
        delete p;
    }
    programs_.clear();
    last_ = nullptr;
}

Program* ProgramCache::Get(const ProgramKey& key)
{
    if (last_ && last_->key == key) return last_;
    for (Program* p : programs_)
        if (p->key == key) return last_ = p;
    Program* p = Build(key);
    if (p) last_ = p;
    return p;
}

Program* ProgramCache::Build(const ProgramKey& key)
{
    GLuint vs = Compile(GL_VERTEX_SHADER, VertexSource(key));
    GLuint fs = Compile(GL_FRAGMENT_SHADER, FragmentSource(key));
    if (!vs || !fs) {
        glDeleteShader(vs);
        glDeleteShader(fs);
        return nullptr;
    }
    GLuint id = glCreateProgram();
    glAttachShader(id, vs);
    glAttachShader(id, fs);
    glLinkProgram(id);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(id, GL_LINK_STATUS, &ok);
    if (!ok) {
        LogPrintf("[gl] program link failed\n");
        glDeleteProgram(id);
        return nullptr;
    }
    CountShaderCompile();
    CountAllocation();
    Program* p = new Program;
    p->id = id;
    p->key = key;
    p->uWVP = glGetUniformLocation(id, "uWVP");
    p->uShift = glGetUniformLocation(id, "uShift");
    p->uTexMat[0] = glGetUniformLocation(id, "uTexMat0");
    p->uTexMat[1] = glGetUniformLocation(id, "uTexMat1");
    p->uTFactor = glGetUniformLocation(id, "uTFactor");
    p->uNormalMat = glGetUniformLocation(id, "uNormalMat");
    p->uToLight = glGetUniformLocation(id, "uToLight");
    p->uLightDiffuse = glGetUniformLocation(id, "uLightDiffuse");
    p->uMatDiffuse = glGetUniformLocation(id, "uMatDiffuse");
    p->uAmbEmis = glGetUniformLocation(id, "uAmbEmis");
    GLint previous = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &previous);
    glUseProgram(id);
    glUniform1i(glGetUniformLocation(id, "uSampler0"), 0);
    glUniform1i(glGetUniformLocation(id, "uSampler1"), 1);
    glUseProgram(GLuint(previous));
    programs_.push_back(p);
    return p;
}

}  // namespace d3d9
