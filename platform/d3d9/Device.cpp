#include <SDL2/SDL.h>

#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "platform/d3d9/D3d9Stats.h"
#include "platform/d3d9/DeviceImpl.h"
#include "platform/d3d9/GlContext.h"
#include "platform/d3d9/StatsInternal.h"
#include "platform/host/Host.h"

namespace d3d9 {
namespace {

// The device whose GL state is bound; another one re-binds its own first.
Device* activeDevice = nullptr;

const D3DMATRIX kIdentity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};

void Multiply(const D3DMATRIX& a, const D3DMATRIX& b, D3DMATRIX& out)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out.m[r][c] = a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c] +
                          a.m[r][3] * b.m[3][c];
}

void ColorToFloats(D3DCOLOR c, float out[4])
{
    out[0] = float((c >> 16) & 0xFF) / 255.0f;
    out[1] = float((c >> 8) & 0xFF) / 255.0f;
    out[2] = float(c & 0xFF) / 255.0f;
    out[3] = float(c >> 24) / 255.0f;
}

GLenum CompareFunc(DWORD f)
{
    static const GLenum map[] = {GL_ALWAYS, GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL,
                                 GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return f < 9 ? map[f] : GL_ALWAYS;
}

GLenum BlendFactor(DWORD b)
{
    static const GLenum map[] = {GL_ONE, GL_ZERO, GL_ONE, GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR,
                                 GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA,
                                 GL_ONE_MINUS_DST_ALPHA, GL_DST_COLOR, GL_ONE_MINUS_DST_COLOR,
                                 GL_SRC_ALPHA_SATURATE};
    return b < 12 ? map[b] : GL_ONE;
}

GLenum AddressMode(DWORD a)
{
    switch (a) {
    case D3DTADDRESS_MIRROR: case D3DTADDRESS_MIRRORONCE: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    default: return GL_REPEAT;
    }
}

// Vertices used by a primitive count.
GLsizei VertexCount(D3DPRIMITIVETYPE type, UINT count, GLenum& mode)
{
    switch (type) {
    case D3DPT_POINTLIST: mode = GL_POINTS; return GLsizei(count);
    case D3DPT_LINELIST: mode = GL_LINES; return GLsizei(count * 2);
    case D3DPT_LINESTRIP: mode = GL_LINE_STRIP; return GLsizei(count + 1);
    case D3DPT_TRIANGLELIST: mode = GL_TRIANGLES; return GLsizei(count * 3);
    case D3DPT_TRIANGLESTRIP: mode = GL_TRIANGLE_STRIP; return GLsizei(count + 2);
    case D3DPT_TRIANGLEFAN: mode = GL_TRIANGLE_FAN; return GLsizei(count + 2);
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

// Makes a resource, runs its Init and hands it out, or releases it on failure.
template <class Resource, class Interface, class... Args>
HRESULT MakeResource(Interface** out, Args&&... args)
{
    Resource* resource = new (std::nothrow) Resource(std::forward<Args>(args)...);
    if (!resource) return D3DERR_OUTOFVIDEOMEMORY;
    HRESULT hr = resource->Init();
    if (FAILED(hr)) {
        resource->Release();
        return hr;
    }
    *out = resource;
    return D3D_OK;
}

}  // namespace

Device::Device(IDirect3D9* parent, const D3DPRESENT_PARAMETERS& params, SDL_Window* window)
    : parent_(parent), params_(params), window_(window)
{
    parent_->AddRef();
}

bool Device::MakeCurrent()
{
    return window_ ? EnsureWindowContext(window_) : EnsureHeadlessContext();
}

HRESULT Device::Init()
{
    if (!MakeCurrent()) return D3DERR_NOTAVAILABLE;
    const UINT w = params_.BackBufferWidth, h = params_.BackBufferHeight;
    if (w == 0 || h == 0 || int(w) > Caps().maxTextureSize || int(h) > Caps().maxTextureSize)
        return D3DERR_INVALIDCALL;
    if (params_.MultiSampleType == D3DMULTISAMPLE_NONMASKABLE)
        samples_ = Caps().colorSamples.empty() ? 0 : 4;
    else if (params_.MultiSampleType >= 2)
        samples_ = int(params_.MultiSampleType);

    while (glGetError() != GL_NO_ERROR) {}
    glGenFramebuffers(1, &fbo_);
    glGenRenderbuffers(1, &color_);
    CountGlObject(2);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glBindRenderbuffer(GL_RENDERBUFFER, color_);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples_, GL_RGBA8, GLsizei(w), GLsizei(h));
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color_);
    if (params_.EnableAutoDepthStencil) {
        // D32 becomes a 32-bit float depth buffer: GL guarantees no 32-bit integer one.
        switch (params_.AutoDepthStencilFormat) {
        case D3DFMT_D16: depthFormat_ = GL_DEPTH_COMPONENT16; break;
        case D3DFMT_D24S8: depthFormat_ = GL_DEPTH24_STENCIL8; break;
        case D3DFMT_D32: depthFormat_ = GL_DEPTH_COMPONENT32F; break;
        default: depthFormat_ = GL_DEPTH_COMPONENT24; break;
        }
        glGenRenderbuffers(1, &depth_);
        CountGlObject();
        glBindRenderbuffer(GL_RENDERBUFFER, depth_);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples_, depthFormat_, GLsizei(w),
                                         GLsizei(h));
        glFramebufferRenderbuffer(GL_FRAMEBUFFER,
                                  depthFormat_ == GL_DEPTH24_STENCIL8 ? GL_DEPTH_STENCIL_ATTACHMENT
                                                                      : GL_DEPTH_ATTACHMENT,
                                  GL_RENDERBUFFER, depth_);
    }
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE ||
        glGetError() != GL_NO_ERROR)
        return D3DERR_NOTAVAILABLE;
    if (samples_ > 0) {
        glGenFramebuffers(1, &resolveFbo_);
        glGenRenderbuffers(1, &resolveColor_);
        CountGlObject(2);
        glBindFramebuffer(GL_FRAMEBUFFER, resolveFbo_);
        glBindRenderbuffer(GL_RENDERBUFFER, resolveColor_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, GLsizei(w), GLsizei(h));
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  resolveColor_);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
            return D3DERR_NOTAVAILABLE;
    }
    glGenVertexArrays(1, &vao_);
    glGenSamplers(kGlStages, samplers_);
    CountGlObject(1 + kGlStages);
    readback_.resize(size_t(w) * h * 4);
    CountAllocation();
    if (window_) SDL_GL_SetSwapInterval(params_.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);

    // A new back buffer starts black (alpha 1) with depth 1.
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    SetDefaults();
    return D3D_OK;
}

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
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glBindVertexArray(vao_);
    for (int s = 0; s < kGlStages; ++s) {
        ApplySampler(DWORD(s));
        glBindSampler(GLuint(s), samplers_[s]);
    }
    for (DWORD rs : {D3DRS_ZENABLE, D3DRS_ZWRITEENABLE, D3DRS_ZFUNC, D3DRS_ALPHABLENDENABLE,
                     D3DRS_SRCBLEND, D3DRS_CULLMODE})
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
    glViewport(GLint(viewport_.X), GLint(viewport_.Y), GLsizei(viewport_.Width),
               GLsizei(viewport_.Height));
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
    case D3DRS_ZWRITEENABLE: glDepthMask(v ? GL_TRUE : GL_FALSE); break;
    case D3DRS_ZFUNC: glDepthFunc(CompareFunc(v)); break;
    case D3DRS_ALPHABLENDENABLE:
        if (v) glEnable(GL_BLEND);
        else glDisable(GL_BLEND);
        break;
    case D3DRS_SRCBLEND:
    case D3DRS_DESTBLEND:
        glBlendFunc(BlendFactor(renderStates_[D3DRS_SRCBLEND]),
                    BlendFactor(renderStates_[D3DRS_DESTBLEND]));
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
    case D3DRS_TEXTUREFACTOR: ++verTFactor_; break;
    case D3DRS_AMBIENT: lightDirty_ = true; break;
    case D3DRS_LIGHTING:
    case D3DRS_COLORVERTEX:
    case D3DRS_DIFFUSEMATERIALSOURCE: keyDirty_ = true; break;
    default: break;
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
    case D3DTEXF_NONE: min = minLinear ? GL_LINEAR : GL_NEAREST; break;
    case D3DTEXF_POINT: min = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST; break;
    default: min = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR; break;
    }
    glSamplerParameteri(id, GL_TEXTURE_MIN_FILTER, min);
}

Device::~Device()
{
    MakeCurrent();
    programs_.Clear();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glBindVertexArray(0);
    GLuint fbos[] = {fbo_, resolveFbo_};
    GLuint rbs[] = {color_, depth_, resolveColor_};
    glDeleteFramebuffers(2, fbos);
    glDeleteRenderbuffers(3, rbs);
    glDeleteVertexArrays(1, &vao_);
    glDeleteSamplers(kGlStages, samplers_);
    if (activeDevice == this) activeDevice = nullptr;
    parent_->Release();
}

// Bindings hold no reference (a bound resource would otherwise keep its device
// alive through its own reference): a resource going away unbinds itself.
void Device::Unbind(const void* resource)
{
    for (int s = 0; s < kStages; ++s)
        if (textures_[s] == resource) {
            textures_[s] = nullptr;
            if (s < kGlStages) {
                glActiveTexture(GL_TEXTURE0 + GLenum(s));
                glBindTexture(GL_TEXTURE_2D, 0);
                keyDirty_ = true;
            }
        }
    if (stream_ == resource) {
        stream_ = nullptr;
        layoutDirty_ = true;
    }
    if (indices_ == resource) indices_ = nullptr;
}

ULONG Device::Release()
{
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps)
{
    if (!caps) return D3DERR_INVALIDCALL;
    return parent_->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, caps);
}

HRESULT Device::GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode)
{
    if (swapChain != 0 || !mode) return D3DERR_INVALIDCALL;
    if (params_.Windowed) return parent_->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, mode);
    *mode = D3DDISPLAYMODE{params_.BackBufferWidth, params_.BackBufferHeight,
                           params_.FullScreen_RefreshRateInHz, params_.BackBufferFormat};
    return D3D_OK;
}

// ---- resources --------------------------------------------------------------------

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DTexture9** texture, HANDLE*)
{
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (width == 0 || height == 0 || (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8) ||
        (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_MANAGED))
        return D3DERR_INVALIDCALL;
    MakeCurrent();
    if (int(width) > Caps().maxTextureSize || int(height) > Caps().maxTextureSize)
        return D3DERR_INVALIDCALL;
    return MakeResource<Texture>(texture, this, width, height, levels, usage, format, pool);
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                   IDirect3DVertexBuffer9** buffer, HANDLE*)
{
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (length == 0) return D3DERR_INVALIDCALL;
    MakeCurrent();
    return MakeResource<VertexBuffer>(buffer, this, length, usage, pool, fvf, D3DFMT_UNKNOWN);
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer9** buffer, HANDLE*)
{
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (length == 0 || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    MakeCurrent();
    return MakeResource<IndexBuffer>(buffer, this, length, usage, pool, 0, format);
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** surface)
{
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (index != 0) return D3DERR_NOTFOUND;
    D3DSURFACE_DESC desc{params_.BackBufferFormat, D3DRTYPE_SURFACE, D3DUSAGE_RENDERTARGET,
                         D3DPOOL_DEFAULT, params_.MultiSampleType, params_.MultiSampleQuality,
                         params_.BackBufferWidth, params_.BackBufferHeight};
    *surface = new Surface(this, desc);
    return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** surface)
{
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (!params_.EnableAutoDepthStencil) return D3DERR_NOTFOUND;
    D3DSURFACE_DESC desc{params_.AutoDepthStencilFormat, D3DRTYPE_SURFACE, D3DUSAGE_DEPTHSTENCIL,
                         D3DPOOL_DEFAULT, params_.MultiSampleType, params_.MultiSampleQuality,
                         params_.BackBufferWidth, params_.BackBufferHeight};
    *surface = new Surface(this, desc);
    return D3D_OK;
}

// ---- frame ------------------------------------------------------------------------

HRESULT Device::BeginScene()
{
    if (inScene_) return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
}

HRESULT Device::EndScene()
{
    if (!inScene_) return D3DERR_INVALIDCALL;
    inScene_ = false;
    return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                      DWORD stencil)
{
    GLbitfield mask = 0;
    if (flags & D3DCLEAR_TARGET) mask |= GL_COLOR_BUFFER_BIT;
    if ((flags & D3DCLEAR_ZBUFFER) && depth_) mask |= GL_DEPTH_BUFFER_BIT;
    if ((flags & D3DCLEAR_STENCIL) && depthFormat_ == GL_DEPTH24_STENCIL8) mask |= GL_STENCIL_BUFFER_BIT;
    if (!mask) return flags ? D3DERR_INVALIDCALL : D3D_OK;
    if (activeDevice != this) Activate();
    float c[4];
    ColorToFloats(color, c);
    glClearColor(c[0], c[1], c[2], c[3]);
    glClearDepth(z);
    glClearStencil(GLint(stencil));
    if (mask & GL_DEPTH_BUFFER_BIT) glDepthMask(GL_TRUE);
    // Clearing is limited to the viewport, and to the rectangles when given.
    glEnable(GL_SCISSOR_TEST);
    const LONG vx0 = LONG(viewport_.X), vy0 = LONG(viewport_.Y);
    const LONG vx1 = vx0 + LONG(viewport_.Width), vy1 = vy0 + LONG(viewport_.Height);
    auto clearRect = [&](LONG x0, LONG y0, LONG x1, LONG y1) {
        x0 = std::max(x0, vx0); y0 = std::max(y0, vy0);
        x1 = std::min(x1, vx1); y1 = std::min(y1, vy1);
        if (x0 >= x1 || y0 >= y1) return;
        glScissor(x0, y0, x1 - x0, y1 - y0);
        glClear(mask);
    };
    if (count > 0 && rects) {
        for (DWORD i = 0; i < count; ++i) clearRect(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
    } else {
        clearRect(vx0, vy0, vx1, vy1);
    }
    glDisable(GL_SCISSOR_TEST);
    if (mask & GL_DEPTH_BUFFER_BIT) ApplyRenderState(D3DRS_ZWRITEENABLE);
    return D3D_OK;
}

HRESULT Device::Present(const RECT*, const RECT*, HWND, const RGNDATA*)
{
    if (activeDevice != this) Activate();
    const GLint w = GLint(params_.BackBufferWidth), h = GLint(params_.BackBufferHeight);
    GLuint source = fbo_;
    if (samples_ > 0) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolveFbo_);
        glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        source = resolveFbo_;
    }
    CountPresent();
    if (window_) {
        BlitToWindow(source);
        SDL_GL_SwapWindow(window_);
    } else if (host::IsVirtual()) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, readback_.data());
        host::SubmitFrame(host::FrameView{readback_.data(), w, h, size_t(w) * 4});
    }
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    if (!window_ && host::IsVirtual()) host::EndFrame();
    return D3D_OK;
}

// Draws the back buffer into the window's back buffer, scaled to fit with its
// aspect kept, black bars beside it; row 0 of the back buffer is the top.
void Device::BlitToWindow(GLuint source)
{
    const GLint w = GLint(params_.BackBufferWidth), h = GLint(params_.BackBufferHeight);
    int ww = 0, wh = 0;
    SDL_GL_GetDrawableSize(window_, &ww, &wh);
    double scale = std::min(double(ww) / w, double(wh) / h);
    GLint dw = GLint(std::lround(w * scale)), dh = GLint(std::lround(h * scale));
    GLint dx = (ww - dw) / 2, dy = (wh - dh) / 2;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    if (dw != ww || dh != wh) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glBlitFramebuffer(0, 0, w, h, dx, dy + dh, dx + dw, dy, GL_COLOR_BUFFER_BIT,
                      (dw == w && dh == h) ? GL_NEAREST : GL_LINEAR);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, params_.BackBufferFormat == D3DFMT_A8R8G8B8);
}

// ---- state ------------------------------------------------------------------------

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix)
{
    if (!matrix) return D3DERR_INVALIDCALL;
    switch (state) {
    case D3DTS_WORLD: world_ = *matrix; wvpDirty_ = lightDirty_ = true; break;
    case D3DTS_VIEW: view_ = *matrix; wvpDirty_ = lightDirty_ = true; break;
    case D3DTS_PROJECTION: projection_ = *matrix; wvpDirty_ = true; break;
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
    case D3DTS_WORLD: *matrix = world_; break;
    case D3DTS_VIEW: *matrix = view_; break;
    case D3DTS_PROJECTION: *matrix = projection_; break;
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
    if (!v || v->Width == 0 || v->Height == 0 ||
        uint64_t(v->X) + v->Width > params_.BackBufferWidth ||
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
    return shader ? D3DERR_INVALIDCALL : D3D_OK;   // fixed function only
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

HRESULT Device::SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9* buffer, UINT offset,
                                UINT stride)
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

// ---- drawing ----------------------------------------------------------------------

void Device::BindVertexLayout()
{
    layoutDirty_ = false;
    glBindBuffer(GL_ARRAY_BUFFER, stream_ ? stream_->Gl() : 0);
    uintptr_t offset = streamOffset_;
    const GLsizei stride = GLsizei(streamStride_);
    auto attrib = [&](GLuint loc, bool present, GLint size, GLenum type, GLboolean norm,
                      uintptr_t bytes, float d0, float d1, float d2, float d3) {
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
    attrib(kAttribColor, (fvf_ & D3DFVF_DIFFUSE) != 0, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4, 1, 1,
           1, 1);
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
        // Normals by the inverse transpose of world x view (upper 3 x 3), not renormalised.
        D3DMATRIX wv;
        Multiply(world_, view_, wv);
        const float(*m)[4] = wv.m;
        float cof[3][3];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
                cof[r][c] = m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1];
            }
        float det = m[0][0] * cof[0][0] + m[0][1] * cof[0][1] + m[0][2] * cof[0][2];
        // inverse = cofactorᵀ / det, so inverse transpose = cofactor / det (row-major).
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) normalMat_[r * 3 + c] = det != 0 ? cof[r][c] / det : 0.0f;
        // Light direction into view space, normalised, pointing towards the light.
        const D3DVECTOR& d = light_.Direction;
        float lv[3];
        for (int c = 0; c < 3; ++c) lv[c] = d.x * view_.m[0][c] + d.y * view_.m[1][c] + d.z * view_.m[2][c];
        float len = std::sqrt(lv[0] * lv[0] + lv[1] * lv[1] + lv[2] * lv[2]);
        for (int c = 0; c < 3; ++c) toLight_[c] = len > 0 ? -lv[c] / len : 0.0f;
        float ambient[4];
        ColorToFloats(renderStates_[D3DRS_AMBIENT], ambient);
        const D3DCOLORVALUE& ma = material_.Ambient;
        const D3DCOLORVALUE& me = material_.Emissive;
        const D3DCOLORVALUE& la = light_.Ambient;
        bool on = lightEnabled_;
        ambEmis_[0] = me.r + ma.r * (ambient[0] + (on ? la.r : 0));
        ambEmis_[1] = me.g + ma.g * (ambient[1] + (on ? la.g : 0));
        ambEmis_[2] = me.b + ma.b * (ambient[2] + (on ? la.b : 0));
        ambEmis_[3] = 0;
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
                             reinterpret_cast<void*>(uintptr_t(startIndex) * indexSize),
                             baseVertexIndex);
    CountDraw();
    return D3D_OK;
}

bool Device::ReadWindow(std::vector<uint8_t>& rgba, int& width, int& height)
{
    if (!window_ || !MakeCurrent()) return false;
    SDL_GL_GetDrawableSize(window_, &width, &height);
    if (width <= 0 || height <= 0) return false;
    rgba.resize(size_t(width) * size_t(height) * 4);
    // The same drawing as Present's, read from the window's back buffer (the front
    // one cannot be read everywhere).
    if (samples_ > 0) {
        const GLint w = GLint(params_.BackBufferWidth), h = GLint(params_.BackBufferHeight);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolveFbo_);
        glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    BlitToWindow(samples_ > 0 ? resolveFbo_ : fbo_);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    // The window's rows come bottom first.
    const size_t row = size_t(width) * 4;
    std::vector<uint8_t> swap(row);
    for (int y = 0; y < height / 2; ++y) {
        uint8_t* a = &rgba[size_t(y) * row];
        uint8_t* b = &rgba[size_t(height - 1 - y) * row];
        std::memcpy(swap.data(), a, row);
        std::memcpy(a, b, row);
        std::memcpy(b, swap.data(), row);
    }
    return true;
}

bool ReadPresentedWindow(IDirect3DDevice9* device, std::vector<uint8_t>& rgba, int& width, int& height)
{
    return device && static_cast<Device*>(device)->ReadWindow(rgba, width, height);
}

}  // namespace d3d9
