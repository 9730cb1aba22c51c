// The device object: creation of its back buffer, its resources and its end.
// The rest of it lives by job in DeviceState.cpp (render, stage and sampler
// states), DeviceDraw.cpp (draw preparation and shader keys), DeviceFrame.cpp
// (clearing and presenting), DeviceHeld.cpp (held-back draws), DeviceRecord.cpp
// (frames drawn again where they changed) and FixedFunction.cpp (the lighting
// maths).
#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "platform/d3d9/DeviceImpl.h"
#include "platform/d3d9/GlContext.h"
#include "platform/d3d9/StatsInternal.h"

namespace d3d9 {

Device* activeDevice = nullptr;

namespace {

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

Device::Device(IDirect3D9* parent, const D3DPRESENT_PARAMETERS& params, const Output& output)
    : parent_(parent), params_(params), output_(output), window_(output.window)
{
    parent_->AddRef();
    std::memset(&keyState_, 0, sizeof keyState_);
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
    if (params_.MultiSampleType == D3DMULTISAMPLE_NONMASKABLE) samples_ = Caps().colorSamples.empty() ? 0 : 4;
    else if (params_.MultiSampleType >= 2) samples_ = int(params_.MultiSampleType);

    while (glGetError() != GL_NO_ERROR) {}
    glGenFramebuffers(1, &fbo_);
    CountGlObject(2);
    GLint given = 0;
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    if (samples_ > 0) {
        // Multisampled colour is a texture, so that it can be resolved by drawing.
        glGenTextures(1, &msColor_);
        glActiveTexture(GL_TEXTURE0 + kResolveUnit);  // stays bound there for the resolves
        glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, msColor_);
        glTexImage2DMultisample(GL_TEXTURE_2D_MULTISAMPLE, samples_, GL_RGBA8, GLsizei(w), GLsizei(h), GL_TRUE);
        // The samples GL gave, which may be more than asked for.
        glGetTexLevelParameteriv(GL_TEXTURE_2D_MULTISAMPLE, 0, GL_TEXTURE_SAMPLES, &given);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D_MULTISAMPLE, msColor_, 0);
    } else {
        glGenRenderbuffers(1, &color_);
        glBindRenderbuffer(GL_RENDERBUFFER, color_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, GLsizei(w), GLsizei(h));
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color_);
    }
    if (params_.EnableAutoDepthStencil) {
        // D32 becomes a 32-bit float depth buffer: GL guarantees no 32-bit integer one.
        switch (params_.AutoDepthStencilFormat) {
        case D3DFMT_D16:
            depthFormat_ = GL_DEPTH_COMPONENT16;
            break;
        case D3DFMT_D24S8:
            depthFormat_ = GL_DEPTH24_STENCIL8;
            break;
        case D3DFMT_D32:
            depthFormat_ = GL_DEPTH_COMPONENT32F;
            break;
        default:
            depthFormat_ = GL_DEPTH_COMPONENT24;
            break;
        }
        glGenRenderbuffers(1, &depth_);
        CountGlObject();
        glBindRenderbuffer(GL_RENDERBUFFER, depth_);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples_, depthFormat_, GLsizei(w), GLsizei(h));
        glFramebufferRenderbuffer(GL_FRAMEBUFFER,
                                  depthFormat_ == GL_DEPTH24_STENCIL8 ? GL_DEPTH_STENCIL_ATTACHMENT
                                                                      : GL_DEPTH_ATTACHMENT,
                                  GL_RENDERBUFFER, depth_);
    }
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE || glGetError() != GL_NO_ERROR)
        return D3DERR_NOTAVAILABLE;
    if (samples_ > 0) {
        // The single-sample target: a texture, so that it can be copied into the
        // multisampled one by drawing.
        glGenFramebuffers(1, &resolveFbo_);
        glGenTextures(1, &resolveColor_);
        CountGlObject(2);
        glBindFramebuffer(GL_FRAMEBUFFER, resolveFbo_);
        glActiveTexture(GL_TEXTURE0 + kCopyUnit);  // stays bound there for the copies
        glBindTexture(GL_TEXTURE_2D, resolveColor_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, GLsizei(w), GLsizei(h), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, resolveColor_, 0);
        if (depth_) {
            glGenRenderbuffers(1, &resolveDepth_);
            CountGlObject();
            glBindRenderbuffer(GL_RENDERBUFFER, resolveDepth_);
            glRenderbufferStorage(GL_RENDERBUFFER, depthFormat_, GLsizei(w), GLsizei(h));
            glFramebufferRenderbuffer(GL_FRAMEBUFFER,
                                      depthFormat_ == GL_DEPTH24_STENCIL8 ? GL_DEPTH_STENCIL_ATTACHMENT
                                                                          : GL_DEPTH_ATTACHMENT,
                                      GL_RENDERBUFFER, resolveDepth_);
        }
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return D3DERR_NOTAVAILABLE;
        copyProgram_ = BuildCopyProgram();
        glGenVertexArrays(1, &copyVao_);
        CountGlObject(2);
        if (!copyProgram_) return D3DERR_NOTAVAILABLE;
        copyRect_ = glGetUniformLocation(copyProgram_, "uRect");
        copySize_ = glGetUniformLocation(copyProgram_, "uSize");
        resolveProgram_ = BuildResolveProgram(std::max(given, samples_));
        if (!resolveProgram_) return D3DERR_NOTAVAILABLE;
        resolveRect_ = glGetUniformLocation(resolveProgram_, "uRect");
        resolveSize_ = glGetUniformLocation(resolveProgram_, "uSize");
    }
    glGenVertexArrays(1, &vao_);
    glGenSamplers(kGlStages, samplers_);
    CountGlObject(1 + kGlStages);
    readback_.resize(size_t(w) * h * 4);
    CountAllocation();
    if (window_) {
        SDL_GL_SetSwapInterval(params_.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
        // A software renderer scales the frame into a large window slower than
        // the CPU does by itself (MIVOLA_GL_PRESENT=1 keeps GL's blit, to compare).
        surfacePresent_ = Caps().software && !std::getenv("MIVOLA_GL_PRESENT");
        if (surfacePresent_) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    }

    // A new back buffer starts black (alpha 1) with depth 1.
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glClearStencil(0);
    for (GLuint target : {fbo_, resolveFbo_})
        if (target) {
            glBindFramebuffer(GL_FRAMEBUFFER, target);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        }
    glBindFramebuffer(GL_FRAMEBUFFER, DrawTarget());
    SetDefaults();
    return D3D_OK;
}

Device::~Device()
{
    FinishPresent();
    MakeCurrent();
    programs_.Clear();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glBindVertexArray(0);
    GLuint fbos[] = {fbo_, resolveFbo_, layerFbo_};
    GLuint rbs[] = {color_, depth_, resolveDepth_};
    glDeleteFramebuffers(3, fbos);
    glDeleteRenderbuffers(3, rbs);
    GLuint textures[] = {resolveColor_, msColor_, layerColor_};
    glDeleteTextures(3, textures);
    GLuint vaos[] = {vao_, copyVao_};
    glDeleteVertexArrays(2, vaos);
    glDeleteSamplers(kGlStages, samplers_);
    if (copyProgram_) glDeleteProgram(copyProgram_);
    if (resolveProgram_) glDeleteProgram(resolveProgram_);
    if (!fillQueries_.empty()) glDeleteQueries(GLsizei(fillQueries_.size()), fillQueries_.data());
    if (activeDevice == this) activeDevice = nullptr;
    parent_->Release();
}

// Bindings hold no reference (a bound resource would otherwise keep its device
// alive through its own reference): a resource going away unbinds itself.
void Device::Unbind(const void* resource)
{
    BeforeChange(resource);
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
    if (int(width) > Caps().maxTextureSize || int(height) > Caps().maxTextureSize) return D3DERR_INVALIDCALL;
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
    if (length == 0 || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)) return D3DERR_INVALIDCALL;
    MakeCurrent();
    return MakeResource<IndexBuffer>(buffer, this, length, usage, pool, 0, format);
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** surface)
{
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (index != 0) return D3DERR_NOTFOUND;
    D3DSURFACE_DESC desc{params_.BackBufferFormat, D3DRTYPE_SURFACE,        D3DUSAGE_RENDERTARGET,
                         D3DPOOL_DEFAULT,          params_.MultiSampleType, params_.MultiSampleQuality,
                         params_.BackBufferWidth,  params_.BackBufferHeight};
    *surface = new Surface(this, desc);
    return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** surface)
{
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (!params_.EnableAutoDepthStencil) return D3DERR_NOTFOUND;
    D3DSURFACE_DESC desc{params_.AutoDepthStencilFormat, D3DRTYPE_SURFACE,
                         D3DUSAGE_DEPTHSTENCIL,          D3DPOOL_DEFAULT,
                         params_.MultiSampleType,        params_.MultiSampleQuality,
                         params_.BackBufferWidth,        params_.BackBufferHeight};
    *surface = new Surface(this, desc);
    return D3D_OK;
}

}  // namespace d3d9
