// Drawing: the shader key of the current stage and lighting setup, the vertex
// layout, the uniforms that changed, and the draw calls.
#include <cstring>

#include "platform/d3d9/DeviceImpl.h"
#include "platform/d3d9/FixedFunction.h"
#include "platform/d3d9/StatsInternal.h"

namespace d3d9 {
namespace {

// Vertices used by a primitive count.
GLsizei VertexCount(D3DPRIMITIVETYPE type, UINT count, GLenum& mode)
{
    switch (type) {
    case D3DPT_POINTLIST:
        mode = GL_POINTS;
        return GLsizei(count);
    case D3DPT_LINELIST:
        mode = GL_LINES;
        return GLsizei(count * 2);
    case D3DPT_LINESTRIP:
        mode = GL_LINE_STRIP;
        return GLsizei(count + 1);
    case D3DPT_TRIANGLELIST:
        mode = GL_TRIANGLES;
        return GLsizei(count * 3);
    case D3DPT_TRIANGLESTRIP:
        mode = GL_TRIANGLE_STRIP;
        return GLsizei(count + 2);
    case D3DPT_TRIANGLEFAN:
        mode = GL_TRIANGLE_FAN;
        return GLsizei(count + 2);
    }
    return 0;
}

bool ReadsTexture(DWORD op, DWORD arg1, DWORD arg2)
{
    bool uses1 = op != D3DTOP_SELECTARG2 && op != D3DTOP_DISABLE;
    bool uses2 = op != D3DTOP_SELECTARG1 && op != D3DTOP_DISABLE;
    return (uses1 && (arg1 & D3DTA_SELECTMASK) == D3DTA_TEXTURE) ||
           (uses2 && (arg2 & D3DTA_SELECTMASK) == D3DTA_TEXTURE);
}

}  // namespace

void Device::BindVertexLayout()
{
    layoutDirty_ = false;
    glBindBuffer(GL_ARRAY_BUFFER, stream_ ? stream_->Gl() : 0);
    uintptr_t offset = streamOffset_;
    const GLsizei stride = GLsizei(streamStride_);
    auto attrib = [&](GLuint loc, bool present, GLint size, GLenum type, GLboolean norm, uintptr_t bytes,
                      float d0, float d1, float d2, float d3) {
        if (present) {
            glEnableVertexAttribArray(loc);
            glVertexAttribPointer(loc, size, type, norm, stride, reinterpret_cast<void*>(offset));
            offset += bytes;
        } else {
            glDisableVertexAttribArray(loc);
            glVertexAttrib4f(loc, d0, d1, d2, d3);
        }
    };
    attrib(kAttribPos, (fvf_ & D3DFVF_XYZ) != 0, 3, GL_FLOAT, GL_FALSE, 12, 0, 0, 0, 1);
    if (fvf_ & D3DFVF_PSIZE) offset += 4;
    attrib(kAttribNormal, (fvf_ & D3DFVF_NORMAL) != 0, 3, GL_FLOAT, GL_FALSE, 12, 0, 0, 0, 0);
    // D3DCOLOR is B, G, R, A in memory.
    attrib(kAttribColor, (fvf_ & D3DFVF_DIFFUSE) != 0, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4, 1, 1, 1, 1);
    if (fvf_ & D3DFVF_SPECULAR) offset += 4;
    const DWORD sets = (fvf_ & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    attrib(kAttribTex0, sets >= 1, 2, GL_FLOAT, GL_FALSE, 8, 0, 0, 0, 1);
    attrib(kAttribTex1, sets >= 2, 2, GL_FLOAT, GL_FALSE, 8, 0, 0, 0, 1);
}

bool Device::PrepareDraw()
{
    if (!stream_ || streamStride_ == 0 || !(fvf_ & D3DFVF_XYZ)) return false;
    if (activeDevice != this) Activate();
    if (keyDirty_) {
        keyDirty_ = false;
        ProgramKey key;
        for (int i = 0; i < kGlStages; ++i) {
            const DWORD* st = stageStates_[i];
            if (st[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
            bool hasTexture = textures_[i] != nullptr;
            // A stage reading a missing texture ends the chain, as D3D9 does.
            if (!hasTexture && ReadsTexture(st[D3DTSS_COLOROP], st[D3DTSS_COLORARG1], st[D3DTSS_COLORARG2]))
                break;
            StageSetup& s = key.stage[i];
            s.colorOp = uint8_t(st[D3DTSS_COLOROP]);
            s.colorArg1 = uint8_t(st[D3DTSS_COLORARG1]);
            s.colorArg2 = uint8_t(st[D3DTSS_COLORARG2]);
            s.alphaOp = uint8_t(st[D3DTSS_ALPHAOP]);
            s.alphaArg1 = uint8_t(st[D3DTSS_ALPHAARG1]);
            s.alphaArg2 = uint8_t(st[D3DTSS_ALPHAARG2]);
            s.texCoordSet = (st[D3DTSS_TEXCOORDINDEX] & 0xFFFF) == 1 ? 1 : 0;
            s.transform = (st[D3DTSS_TEXTURETRANSFORMFLAGS] & 0xFF) != D3DTTFF_DISABLE;
            s.hasTexture = hasTexture;
            key.stageCount = uint8_t(i + 1);
        }
        key.multisampled = samples_ > 0;
        key.lighting = renderStates_[D3DRS_LIGHTING] != 0;
        if (key.lighting) {
            key.lightOn = lightEnabled_ && light_.Type == D3DLIGHT_DIRECTIONAL;
            key.diffuseFromVertex = renderStates_[D3DRS_COLORVERTEX] && (fvf_ & D3DFVF_DIFFUSE) &&
                                    renderStates_[D3DRS_DIFFUSEMATERIALSOURCE] == D3DMCS_COLOR1;
        }
        Program* p = programs_.Get(key);
        if (!p) {
            keyDirty_ = true;
            return false;
        }
        if (p != program_) {
            program_ = p;
            glUseProgram(p->id);
        }
    }
    if (!program_) return false;
    if (layoutDirty_) BindVertexLayout();
    if (wvpDirty_) {
        wvpDirty_ = false;
        D3DMATRIX wv, wvp;
        Multiply(world_, view_, wv);
        Multiply(wv, projection_, wvp);
        std::memcpy(wvp_, wvp.m, sizeof wvp_);
        ++verWVP_;
    }
    if (lightDirty_ && program_->uNormalMat >= 0) {
        lightDirty_ = false;
        D3DMATRIX wv;
        Multiply(world_, view_, wv);
        NormalMatrix(wv, normalMat_);
        DirectionToLight(light_.Direction, view_, toLight_);
        AmbientAndEmissive(renderStates_[D3DRS_AMBIENT], material_, light_, lightEnabled_, ambEmis_);
        ++verLight_;
    }
    UpdateUniforms(*program_);
    return true;
}

void Device::UpdateUniforms(Program& p)
{
    if (p.verWVP != verWVP_) {
        p.verWVP = verWVP_;
        glUniformMatrix4fv(p.uWVP, 1, GL_FALSE, wvp_);
        CountUniform();
    }
    if (p.verShift != verShift_) {
        p.verShift = verShift_;
        // 63/128 of a pixel right and down, in clip units of the viewport.
        glUniform2f(p.uShift, (63.0f / 128.0f) * 2.0f / float(viewport_.Width),
                    (63.0f / 128.0f) * 2.0f / float(viewport_.Height));
        CountUniform();
    }
    for (int i = 0; i < kGlStages; ++i)
        if (p.uTexMat[i] >= 0 && p.verTexMat[i] != verTexMat_[i]) {
            p.verTexMat[i] = verTexMat_[i];
            glUniformMatrix4fv(p.uTexMat[i], 1, GL_FALSE, &textureMatrix_[i].m[0][0]);
            CountUniform();
        }
    if (p.uTFactor >= 0 && p.verTFactor != verTFactor_) {
        p.verTFactor = verTFactor_;
        float f[4];
        ColorToFloats(renderStates_[D3DRS_TEXTUREFACTOR], f);
        glUniform4fv(p.uTFactor, 1, f);
        CountUniform();
    }
    if (p.uNormalMat >= 0 && p.verLight != verLight_) {
        p.verLight = verLight_;
        glUniformMatrix3fv(p.uNormalMat, 1, GL_FALSE, normalMat_);
        glUniform3fv(p.uToLight, 1, toLight_);
        const D3DCOLORVALUE& ld = light_.Diffuse;
        glUniform4f(p.uLightDiffuse, ld.r, ld.g, ld.b, ld.a);
        const D3DCOLORVALUE& md = material_.Diffuse;
        glUniform4f(p.uMatDiffuse, md.r, md.g, md.b, md.a);
        glUniform4fv(p.uAmbEmis, 1, ambEmis_);
        CountUniform();
    } else if (p.uAmbEmis >= 0 && p.verLight != verLight_) {
        // Lighting without a light: only the ambient and emissive terms.
        p.verLight = verLight_;
        glUniform4fv(p.uAmbEmis, 1, ambEmis_);
        if (p.uMatDiffuse >= 0) {
            const D3DCOLORVALUE& md = material_.Diffuse;
            glUniform4f(p.uMatDiffuse, md.r, md.g, md.b, md.a);
        }
        CountUniform();
    }
}

// GL reads past a buffer's end without complaint: draws must stay inside it.
bool Device::VerticesInStream(uint64_t first, uint64_t count) const
{
    return stream_ && streamStride_ > 0 &&
           streamOffset_ + (first + count) * streamStride_ <= stream_->Length();
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount)
{
    GLenum mode;
    GLsizei count = VertexCount(type, primitiveCount, mode);
    if (count == 0 || !VerticesInStream(startVertex, uint64_t(count))) return D3DERR_INVALIDCALL;
    if (!PrepareDraw()) return D3DERR_INVALIDCALL;
    glDrawArrays(mode, GLint(startVertex), count);
    CountDraw();
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT minVertexIndex,
                                     UINT numVertices, UINT startIndex, UINT primitiveCount)
{
    GLenum mode;
    GLsizei count = VertexCount(type, primitiveCount, mode);
    if (count == 0 || !indices_ || baseVertexIndex < 0 ||
        !VerticesInStream(uint64_t(baseVertexIndex) + minVertexIndex, numVertices))
        return D3DERR_INVALIDCALL;
    D3DINDEXBUFFER_DESC desc;
    indices_->GetDesc(&desc);
    const size_t indexSize = desc.Format == D3DFMT_INDEX32 ? 4 : 2;
    if ((size_t(startIndex) + size_t(count)) * indexSize > desc.Size) return D3DERR_INVALIDCALL;
    if (!PrepareDraw()) return D3DERR_INVALIDCALL;
    glDrawElementsBaseVertex(mode, count, indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                             reinterpret_cast<void*>(uintptr_t(startIndex) * indexSize), baseVertexIndex);
    CountDraw();
    return D3D_OK;
}

}  // namespace d3d9
