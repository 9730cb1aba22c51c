#include <atomic>
#include <cstring>
#include <new>

#include "platform/d3d9/DeviceImpl.h"
#include "platform/d3d9/GlContext.h"
#include "platform/d3d9/StatsInternal.h"

namespace d3d9 {

// Texture uploads go through a unit the stages never use.
constexpr GLenum kScratchUnit = GL_TEXTURE0 + 7;

uint64_t NextContentSerial()
{
    static std::atomic<uint64_t> last{0};
    return ++last;
}

template <class I> Resource<I>::Resource(Device* device) : device_(device)
{
    device_->AddRef();
    CountAllocation();
}

template <class I> Resource<I>::~Resource()
{
    device_->Release();
}

template <class I> ULONG Resource<I>::Release()
{
    ULONG left = --refs_;
    if (left == 0) {
        device_->MakeCurrent();
        delete this;
    }
    return left;
}

template <class I> HRESULT Resource<I>::GetDevice(IDirect3DDevice9** device)
{
    if (!device) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return D3D_OK;
}

template class Resource<IDirect3DTexture9>;
template class Resource<IDirect3DVertexBuffer9>;
template class Resource<IDirect3DIndexBuffer9>;
template class Resource<IDirect3DSurface9>;

// ---- textures ---------------------------------------------------------------

Texture::Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                 D3DPOOL pool)
    : Resource(device), usage_(usage), format_(format), pool_(pool)
{
    // Levels 0: the whole chain down to 1 x 1.
    UINT w = width, h = height;
    for (UINT i = 0; levels == 0 || i < levels; ++i) {
        levels_.push_back(Level{w, h});
        if (w == 1 && h == 1) break;
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
}

HRESULT Texture::Init()
{
    for (const Level& l : levels_) bytes_ += uint64_t(l.width) * l.height * 4;
    if (!ReserveTextureMemory(bytes_)) {
        bytes_ = 0;
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    if (pool_ == D3DPOOL_MANAGED) {
        for (Level& l : levels_) {
            l.shadow = new (std::nothrow) uint8_t[size_t(l.width) * l.height * 4]();
            if (!l.shadow) return D3DERR_OUTOFVIDEOMEMORY;
            CountAllocation();
        }
    }
    // A managed texture starts transparent, as its zeroed copy; a default-pool
    // one holds nothing known, and X8R8G8B8 reads opaque everywhere.
    coverage_.Reset(int(levels_[0].width), int(levels_[0].height),
                    pool_ != D3DPOOL_MANAGED || format_ != D3DFMT_A8R8G8B8, format_ == D3DFMT_X8R8G8B8);
    while (glGetError() != GL_NO_ERROR) {}
    glGenTextures(1, &texture_);
    CountGlObject();
    glActiveTexture(kScratchUnit);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(levels_.size()) - 1);
    // X8R8G8B8 reads alpha 1 whatever the fourth byte holds.
    if (format_ == D3DFMT_X8R8G8B8) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
    for (size_t i = 0; i < levels_.size(); ++i)
        glTexImage2D(GL_TEXTURE_2D, GLint(i), GL_RGBA8, GLsizei(levels_[i].width), GLsizei(levels_[i].height),
                     0, GL_BGRA, GL_UNSIGNED_BYTE, levels_[i].shadow);
    glBindTexture(GL_TEXTURE_2D, 0);
    GLenum error = glGetError();
    if (error == GL_OUT_OF_MEMORY) return D3DERR_OUTOFVIDEOMEMORY;
    if (error != GL_NO_ERROR) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

Texture::~Texture()
{
    device_->Unbind(static_cast<IDirect3DBaseTexture9*>(this));
    for (Level& l : levels_) {
        delete[] l.shadow;
        delete[] l.staging;
    }
    if (texture_) glDeleteTextures(1, &texture_);
    ReleaseTextureMemory(bytes_);
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc)
{
    if (level >= levels_.size() || !desc) return D3DERR_INVALIDCALL;
    *desc = D3DSURFACE_DESC{format_,
                            D3DRTYPE_SURFACE,
                            usage_,
                            pool_,
                            D3DMULTISAMPLE_NONE,
                            0,
                            levels_[level].width,
                            levels_[level].height};
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags)
{
    if (level >= levels_.size() || !locked) return D3DERR_INVALIDCALL;
    Level& l = levels_[level];
    if (l.locked) return D3DERR_INVALIDCALL;
    RECT r = rect ? *rect : RECT{0, 0, LONG(l.width), LONG(l.height)};
    if (r.left < 0 || r.top < 0 || r.right > LONG(l.width) || r.bottom > LONG(l.height) ||
        r.left >= r.right || r.top >= r.bottom)
        return D3DERR_INVALIDCALL;
    uint8_t* bytes = l.shadow;
    if (!bytes) {
        l.staging = new (std::nothrow) uint8_t[size_t(l.width) * l.height * 4];
        if (!l.staging) return E_OUTOFMEMORY;
        CountAllocation();
        bytes = l.staging;
        if (!(flags & D3DLOCK_DISCARD)) {
            // Reading back keeps what the caller does not overwrite.
            device_->MakeCurrent();
            glActiveTexture(kScratchUnit);
            glBindTexture(GL_TEXTURE_2D, texture_);
            glGetTexImage(GL_TEXTURE_2D, GLint(level), GL_BGRA, GL_UNSIGNED_BYTE, bytes);
            glBindTexture(GL_TEXTURE_2D, 0);
        }
    }
    l.locked = true;
    l.readOnly = (flags & D3DLOCK_READONLY) != 0;
    l.whole = l.shadow || !(flags & D3DLOCK_DISCARD);
    l.rect = r;
    locked->Pitch = INT(l.width * 4);
    locked->pBits = bytes + (size_t(r.top) * l.width + size_t(r.left)) * 4;
    return D3D_OK;
}

HRESULT Texture::UnlockRect(UINT level)
{
    if (level >= levels_.size() || !levels_[level].locked) return D3DERR_INVALIDCALL;
    Level& l = levels_[level];
    l.locked = false;
    const uint8_t* bytes = l.shadow ? l.shadow : l.staging;
    if (!l.readOnly) {
        device_->MakeCurrent();
        device_->BeforeChange(static_cast<IDirect3DBaseTexture9*>(this));
        serial_ = NextContentSerial();
        glActiveTexture(kScratchUnit);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(l.width));
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        const RECT& r = l.rect;
        glTexSubImage2D(GL_TEXTURE_2D, GLint(level), r.left, r.top, r.right - r.left, r.bottom - r.top,
                        GL_BGRA, GL_UNSIGNED_BYTE, bytes + (size_t(r.top) * l.width + size_t(r.left)) * 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glBindTexture(GL_TEXTURE_2D, 0);
        if (level == 0 && format_ == D3DFMT_A8R8G8B8)
            coverage_.Update(bytes, int(l.width * 4), r.left, r.top, r.right, r.bottom, l.whole);
    }
    delete[] l.staging;
    l.staging = nullptr;
    return D3D_OK;
}

// ---- vertex and index buffers ---------------------------------------------------

template <class I, class D>
Buffer<I, D>::Buffer(Device* device, UINT length, DWORD usage, D3DPOOL pool, DWORD fvf, D3DFORMAT format)
    : Resource<I>(device), length_(length), usage_(usage), pool_(pool), fvf_(fvf), format_(format)
{
}

template <class I, class D> HRESULT Buffer<I, D>::Init()
{
    shadow_.assign(length_, 0);
    CountAllocation();
    glGenBuffers(1, &buffer_);
    CountGlObject();
    // The copy-write binding leaves the vertex array's element binding alone.
    glBindBuffer(GL_COPY_WRITE_BUFFER, buffer_);
    while (glGetError() != GL_NO_ERROR) {}
    glBufferData(GL_COPY_WRITE_BUFFER, length_, shadow_.data(),
                 (usage_ & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    glBindBuffer(GL_COPY_WRITE_BUFFER, 0);
    return glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
}

template <class I, class D> Buffer<I, D>::~Buffer()
{
    this->device_->Unbind(this);
    if (buffer_) glDeleteBuffers(1, &buffer_);
}

template <class I, class D> D3DRESOURCETYPE Buffer<I, D>::GetType()
{
    return std::is_same_v<I, IDirect3DVertexBuffer9> ? D3DRTYPE_VERTEXBUFFER : D3DRTYPE_INDEXBUFFER;
}

template <class I, class D> HRESULT Buffer<I, D>::Lock(UINT offset, UINT size, void** data, DWORD flags)
{
    if (!data || locked_ || offset > length_) return D3DERR_INVALIDCALL;
    if (size == 0) size = length_ - offset;
    if (size > length_ - offset) return D3DERR_INVALIDCALL;
    locked_ = true;
    lockOffset_ = offset;
    lockSize_ = size;
    lockReadOnly_ = (flags & D3DLOCK_READONLY) != 0;
    *data = shadow_.data() + offset;
    return D3D_OK;
}

template <class I, class D> HRESULT Buffer<I, D>::Unlock()
{
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    if (!lockReadOnly_ && lockSize_ > 0) {
        this->device_->MakeCurrent();
        this->device_->BeforeChange(this);
        serial_ = NextContentSerial();
        glBindBuffer(GL_COPY_WRITE_BUFFER, buffer_);
        glBufferSubData(GL_COPY_WRITE_BUFFER, lockOffset_, lockSize_, shadow_.data() + lockOffset_);
        glBindBuffer(GL_COPY_WRITE_BUFFER, 0);
    }
    return D3D_OK;
}

template <> HRESULT Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>::GetDesc(D3DVERTEXBUFFER_DESC* desc)
{
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = D3DVERTEXBUFFER_DESC{D3DFMT_UNKNOWN, D3DRTYPE_VERTEXBUFFER, usage_, pool_, length_, fvf_};
    return D3D_OK;
}

template <> HRESULT Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>::GetDesc(D3DINDEXBUFFER_DESC* desc)
{
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = D3DINDEXBUFFER_DESC{format_, D3DRTYPE_INDEXBUFFER, usage_, pool_, length_};
    return D3D_OK;
}

template class Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
template class Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

// ---- surfaces -------------------------------------------------------------------

Surface::Surface(Device* device, const D3DSURFACE_DESC& desc) : Resource(device), desc_(desc) {}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc)
{
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = desc_;
    return D3D_OK;
}

}  // namespace d3d9
