// The device's states: render, texture-stage and sampler states, transforms,
// viewport, material and light, bindings; and the GL state that follows them.
#include <cstring>

#include "platform/d3d9/DeviceImpl.h"

namespace d3d9 {
namespace {

const D3DMATRIX kIdentity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};

GLenum CompareFunc(DWORD f)
{
    static const GLenum map[] = {GL_ALWAYS,  GL_NEVER,    GL_LESS,   GL_EQUAL, GL_LEQUAL,
                                 GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return f < 9 ? map[f] : GL_ALWAYS;
}

GLenum BlendFactor(DWORD b)
{
    static const GLenum map[] = {GL_ONE,
                                 GL_ZERO,
                                 GL_ONE,
                                 GL_SRC_COLOR,
                                 GL_ONE_MINUS_SRC_COLOR,
                                 GL_SRC_ALPHA,
                                 GL_ONE_MINUS_SRC_ALPHA,
                                 GL_DST_ALPHA,
                                 GL_ONE_MINUS_DST_ALPHA,
                                 GL_DST_COLOR,
                                 GL_ONE_MINUS_DST_COLOR,
                                 GL_SRC_ALPHA_SATURATE};
    return b < 12 ? map[b] : GL_ONE;
}

GLenum AddressMode(DWORD a)
{
    switch (a) {
    case D3DTADDRESS_MIRROR:
    case D3DTADDRESS_MIRRORONCE:
        return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP:
        return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER:
        return GL_CLAMP_TO_BORDER;
    default:
        return GL_REPEAT;
    }
}

}  // namespace

// Every state at its creation value, then the whole GL state to match.
void Device::SetDefaults()
{
    std::memset(renderStates_, 0, sizeof renderStates_);
    renderStates_[D3DRS_ZENABLE] = params_.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    renderStates_[D3DRS_FILLMODE] = 3;   // solid
    renderStates_[D3DRS_SHADEMODE] = 2;  // Gouraud
    renderStates_[D3DRS_ZWRITEENABLE] = TRUE;
    renderStates_[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    renderStates_[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    renderStates_[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    renderStates_[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    renderStates_[D3DRS_CULLMODE] = D3DCULL_CCW;
    renderStates_[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    renderStates_[D3DRS_CLIPPING] = TRUE;
    renderStates_[D3DRS_LIGHTING] = TRUE;
    renderStates_[D3DRS_COLORVERTEX] = TRUE;
    renderStates_[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    renderStates_[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    renderStates_[D3DRS_COLORWRITEENABLE] = 0xF;
    renderStates_[D3DRS_BLENDOP] = 1;
    for (int s = 0; s < kStages; ++s) {
        std::memset(stageStates_[s], 0, sizeof stageStates_[s]);
        stageStates_[s][D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        stageStates_[s][D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        stageStates_[s][D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        stageStates_[s][D3DTSS_COLORARG2] = D3DTA_CURRENT;
        stageStates_[s][D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        stageStates_[s][D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        stageStates_[s][D3DTSS_TEXCOORDINDEX] = DWORD(s);
        std::memset(samplerStates_[s], 0, sizeof samplerStates_[s]);
        samplerStates_[s][D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        samplerStates_[s][D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        samplerStates_[s][D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        samplerStates_[s][D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        samplerStates_[s][D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        samplerStates_[s][D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        textureMatrix_[s] = kIdentity;
    }
    world_ = view_ = projection_ = kIdentity;
    viewport_ = D3DVIEWPORT9{0, 0, params_.BackBufferWidth, params_.BackBufferHeight, 0.0f, 1.0f};
    std::memset(&material_, 0, sizeof material_);
    std::memset(&light_, 0, sizeof light_);
    light_.Type = D3DLIGHT_DIRECTIONAL;
    light_.Diffuse = D3DCOLORVALUE{1, 1, 1, 0};
    light_.Direction = D3DVECTOR{0, 0, 1};
    lightEnabled_ = false;
    Activate();
}

// Binds this device's objects and brings the whole GL state in line with its
// Direct3D state (after creation, or when another device drew in between).
void Device::Activate()
{
    MakeCurrent();
    glBindFramebuffer(GL_FRAMEBUFFER, DrawTarget());
    glBindVertexArray(vao_);
    for (int s = 0; s < kGlStages; ++s) {
        ApplySampler(DWORD(s));
        glBindSampler(GLuint(s), samplers_[s]);
    }
    for (DWORD rs : {D3DRS_ZENABLE, D3DRS_ZWRITEENABLE, D3DRS_ZFUNC, D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND,
                     D3DRS_CULLMODE})
        ApplyRenderState(rs);
    for (int s = 0; s < kGlStages; ++s) {
        glActiveTexture(GL_TEXTURE0 + GLenum(s));
        glBindTexture(GL_TEXTURE_2D, textures_[s] ? static_cast<Texture*>(textures_[s])->Gl() : 0);
    }
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices_ ? indices_->Gl() : 0);
    glUseProgram(program_ ? program_->id : 0);
    // X8R8G8B8 back buffers keep alpha at 1 (destination alpha reads 1).
    GLboolean alphaWrites = params_.BackBufferFormat == D3DFMT_A8R8G8B8;
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, alphaWrites);
    glViewport(GLint(viewport_.X), GLint(viewport_.Y), GLsizei(viewport_.Width), GLsizei(viewport_.Height));
    glDepthRange(viewport_.MinZ, viewport_.MaxZ);
    ++verShift_;
    ++verWVP_;
    ++verTFactor_;
    for (uint32_t& v : verTexMat_) ++v;
    ++verLight_;
    wvpDirty_ = lightDirty_ = layoutDirty_ = keyDirty_ = true;
    activeDevice = this;
}

void Device::ApplyRenderState(DWORD state)
{
    DWORD v = renderStates_[state];
    switch (state) {
    case D3DRS_ZENABLE:
        if (v && depth_) glEnable(GL_DEPTH_TEST);
        else glDisable(GL_DEPTH_TEST);
        break;
    case D3DRS_ZWRITEENABLE:
        glDepthMask(v ? GL_TRUE : GL_FALSE);
        break;
    case D3DRS_ZFUNC:
        glDepthFunc(CompareFunc(v));
        break;
    case D3DRS_ALPHABLENDENABLE:
        if (v) glEnable(GL_BLEND);
        else glDisable(GL_BLEND);
        break;
    case D3DRS_SRCBLEND:
    case D3DRS_DESTBLEND:
        glBlendFunc(BlendFactor(renderStates_[D3DRS_SRCBLEND]), BlendFactor(renderStates_[D3DRS_DESTBLEND]));
        break;
    case D3DRS_CULLMODE:
        // Drawn upside down, so GL's window winding equals the screen winding: D3D
        // culls counter-clockwise triangles as GL culls its clockwise (back) ones.
        if (v == D3DCULL_NONE) {
            glDisable(GL_CULL_FACE);
        } else {
            glEnable(GL_CULL_FACE);
            glCullFace(GL_BACK);
            glFrontFace(v == D3DCULL_CW ? GL_CW : GL_CCW);
        }
        break;
    case D3DRS_TEXTUREFACTOR:
        ++verTFactor_;
        break;
    case D3DRS_AMBIENT:
        lightDirty_ = true;
        break;
    case D3DRS_LIGHTING:
    case D3DRS_COLORVERTEX:
    case D3DRS_DIFFUSEMATERIALSOURCE:
        keyDirty_ = true;
        break;
    default:
        break;
    }
}

void Device::ApplySampler(DWORD s)
{
    const DWORD* st = samplerStates_[s];
    GLuint id = samplers_[s];
    glSamplerParameteri(id, GL_TEXTURE_WRAP_S, GLint(AddressMode(st[D3DSAMP_ADDRESSU])));
    glSamplerParameteri(id, GL_TEXTURE_WRAP_T, GLint(AddressMode(st[D3DSAMP_ADDRESSV])));
    glSamplerParameteri(id, GL_TEXTURE_WRAP_R, GLint(AddressMode(st[D3DSAMP_ADDRESSW])));
    bool magLinear = st[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR;
    bool minLinear = st[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR;
    glSamplerParameteri(id, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
    GLint min;
    switch (st[D3DSAMP_MIPFILTER]) {
    case D3DTEXF_NONE:
        min = minLinear ? GL_LINEAR : GL_NEAREST;
        break;
    case D3DTEXF_POINT:
        min = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        break;
    default:
        min = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        break;
    }
    glSamplerParameteri(id, GL_TEXTURE_MIN_FILTER, min);
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix)
{
    if (!matrix) return D3DERR_INVALIDCALL;
    switch (state) {
    case D3DTS_WORLD:
        world_ = *matrix;
        wvpDirty_ = lightDirty_ = true;
        break;
    case D3DTS_VIEW:
        view_ = *matrix;
        wvpDirty_ = lightDirty_ = true;
        break;
    case D3DTS_PROJECTION:
        projection_ = *matrix;
        wvpDirty_ = true;
        break;
    default:
        if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) {
            int s = int(state) - D3DTS_TEXTURE0;
            textureMatrix_[s] = *matrix;
            if (s < kGlStages) ++verTexMat_[s];
            break;
        }
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix)
{
    if (!matrix) return D3DERR_INVALIDCALL;
    switch (state) {
    case D3DTS_WORLD:
        *matrix = world_;
        break;
    case D3DTS_VIEW:
        *matrix = view_;
        break;
    case D3DTS_PROJECTION:
        *matrix = projection_;
        break;
    default:
        if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) {
            *matrix = textureMatrix_[state - D3DTS_TEXTURE0];
            break;
        }
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* v)
{
    if (!v || v->Width == 0 || v->Height == 0 || uint64_t(v->X) + v->Width > params_.BackBufferWidth ||
        uint64_t(v->Y) + v->Height > params_.BackBufferHeight)
        return D3DERR_INVALIDCALL;
    if (activeDevice != this) Activate();
    viewport_ = *v;
    // Row 0 is the top of the target, so D3D's Y is GL's y as it is.
    glViewport(GLint(v->X), GLint(v->Y), GLsizei(v->Width), GLsizei(v->Height));
    glDepthRange(v->MinZ, v->MaxZ);
    ++verShift_;
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport)
{
    if (!viewport) return D3DERR_INVALIDCALL;
    *viewport = viewport_;
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* material)
{
    if (!material) return D3DERR_INVALIDCALL;
    material_ = *material;
    lightDirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* material)
{
    if (!material) return D3DERR_INVALIDCALL;
    *material = material_;
    return D3D_OK;
}

// One light (index 0) is modelled; others are accepted and ignored.
HRESULT Device::SetLight(DWORD index, const D3DLIGHT9* light)
{
    if (!light) return D3DERR_INVALIDCALL;
    if (index == 0) {
        light_ = *light;
        lightDirty_ = keyDirty_ = true;
    }
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT9* light)
{
    if (!light || index != 0) return D3DERR_INVALIDCALL;
    *light = light_;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable)
{
    if (index == 0 && lightEnabled_ != (enable != 0)) {
        lightEnabled_ = enable != 0;
        keyDirty_ = lightDirty_ = true;
    }
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value)
{
    if (state >= kRenderStates) return D3DERR_INVALIDCALL;
    if (renderStates_[state] == value) return D3D_OK;
    if (activeDevice != this) Activate();
    renderStates_[state] = value;
    ApplyRenderState(state);
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value)
{
    if (state >= kRenderStates || !value) return D3DERR_INVALIDCALL;
    *value = renderStates_[state];
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture)
{
    if (stage >= kStages) return D3DERR_INVALIDCALL;
    if (textures_[stage] == texture) return D3D_OK;
    if (activeDevice != this) Activate();
    bool wasBound = textures_[stage] != nullptr;
    textures_[stage] = texture;
    if (stage < kGlStages) {
        GLuint id = texture ? static_cast<Texture*>(texture)->Gl() : 0;
        glActiveTexture(GL_TEXTURE0 + stage);
        glBindTexture(GL_TEXTURE_2D, id);
        if (wasBound != (texture != nullptr)) keyDirty_ = true;
    }
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture)
{
    if (stage >= kStages || !texture) return D3DERR_INVALIDCALL;
    *texture = textures_[stage];
    if (*texture) (*texture)->AddRef();
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value)
{
    if (stage >= kStages || type >= 33) return D3DERR_INVALIDCALL;
    if (stageStates_[stage][type] == value) return D3D_OK;
    stageStates_[stage][type] = value;
    if (stage < kGlStages) keyDirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value)
{
    if (stage >= kStages || type >= 33 || !value) return D3DERR_INVALIDCALL;
    *value = stageStates_[stage][type];
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value)
{
    if (sampler >= kStages || type >= 14) return D3DERR_INVALIDCALL;
    if (samplerStates_[sampler][type] == value) return D3D_OK;
    if (activeDevice != this) Activate();
    samplerStates_[sampler][type] = value;
    if (sampler < kGlStages) ApplySampler(sampler);
    return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value)
{
    if (sampler >= kStages || type >= 14 || !value) return D3DERR_INVALIDCALL;
    *value = samplerStates_[sampler][type];
    return D3D_OK;
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* shader)
{
    return shader ? D3DERR_INVALIDCALL : D3D_OK;  // fixed function only
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* shader)
{
    return shader ? D3DERR_INVALIDCALL : D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf)
{
    if (fvf == fvf_) return D3D_OK;
    fvf_ = fvf;
    layoutDirty_ = keyDirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetFVF(DWORD* fvf)
{
    if (!fvf) return D3DERR_INVALIDCALL;
    *fvf = fvf_;
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride)
{
    if (streamNumber != 0) return D3DERR_INVALIDCALL;
    VertexBuffer* b = static_cast<VertexBuffer*>(buffer);
    if (b == stream_ && offset == streamOffset_ && stride == streamStride_) return D3D_OK;
    stream_ = b;
    streamOffset_ = offset;
    streamStride_ = stride;
    layoutDirty_ = true;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* indices)
{
    IndexBuffer* b = static_cast<IndexBuffer*>(indices);
    if (b == indices_) return D3D_OK;
    if (activeDevice != this) Activate();
    indices_ = b;
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, b ? b->Gl() : 0);
    return D3D_OK;
}

}  // namespace d3d9
