// Internal classes of the Direct3D 9 stand-in: the device and its resources.
#pragma once

#include <epoxy/gl.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/d3d9/Adapter.h"
#include "platform/d3d9/FrameRecord.h"
#include "platform/d3d9/FrameScaler.h"
#include "platform/d3d9/JobThread.h"
#include "platform/d3d9/Shaders.h"
#include "platform/d3d9/TileCoverage.h"
#include "platform/d3d9/d3d9.h"

struct SDL_Surface;
struct SDL_Window;

namespace d3d9 {

class Device;

// A number no resource content had before: a resource takes a new one when it
// is made and whenever its content changes, so that a draw can tell it used
// the same content as one in an earlier frame.
uint64_t NextContentSerial();

// Reference counting and the owning device, shared by every resource. A
// resource holds a reference on its device, so the device outlives it.
template <class Interface> class Resource : public Interface {
public:
    explicit Resource(Device* device);
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;

protected:
    ~Resource() override;
    Device* device_;

private:
    ULONG refs_ = 1;
};

class Texture final : public Resource<IDirect3DTexture9> {
public:
    Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
            D3DPOOL pool);
    HRESULT Init();  // GL storage; D3DERR_OUTOFVIDEOMEMORY when refused
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD GetLevelCount() override { return DWORD(levels_.size()); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;
    GLuint Gl() const { return texture_; }
    // Level 0's tiles that hold a texel with alpha above 0.
    const TileCoverage& Coverage() const { return coverage_; }
    UINT Levels() const { return UINT(levels_.size()); }
    uint64_t Serial() const { return serial_; }

private:
    ~Texture() override;
    struct Level {
        UINT width, height;
        uint8_t* shadow = nullptr;   // managed pool: the system-memory copy
        uint8_t* staging = nullptr;  // default pool: the bytes of a lock in progress
        bool locked = false;
        bool readOnly = false;
        bool whole = false;  // the lock's buffer holds every texel, not just the rectangle's
        RECT rect{};
    };
    DWORD usage_;
    D3DFORMAT format_;
    D3DPOOL pool_;
    std::vector<Level> levels_;
    GLuint texture_ = 0;
    uint64_t bytes_ = 0;
    TileCoverage coverage_;
    uint64_t serial_ = NextContentSerial();
};

// Vertex and index buffers: GL buffers written through from a system-memory copy.
template <class Interface, class Desc> class Buffer final : public Resource<Interface> {
public:
    Buffer(Device* device, UINT length, DWORD usage, D3DPOOL pool, DWORD fvf, D3DFORMAT format);
    HRESULT Init();
    D3DRESOURCETYPE GetType() override;
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(Desc* desc) override;
    GLuint Gl() const { return buffer_; }
    UINT Length() const { return length_; }
    const uint8_t* Data() const { return shadow_.data(); }
    uint64_t Serial() const { return serial_; }

private:
    ~Buffer() override;
    UINT length_;
    DWORD usage_;
    D3DPOOL pool_;
    DWORD fvf_;
    D3DFORMAT format_;
    std::vector<uint8_t> shadow_;
    GLuint buffer_ = 0;
    bool locked_ = false;
    UINT lockOffset_ = 0, lockSize_ = 0;
    bool lockReadOnly_ = false;
    uint64_t serial_ = NextContentSerial();
};
using VertexBuffer = Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC>;
using IndexBuffer = Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC>;

// The back buffer and the automatic depth buffer as surfaces (descriptions only).
class Surface final : public Resource<IDirect3DSurface9> {
public:
    Surface(Device* device, const D3DSURFACE_DESC& desc);
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;

private:
    D3DSURFACE_DESC desc_;
};

constexpr int kStages = 8;
constexpr int kGlStages = 2;  // stages the combiner processes
constexpr int kRenderStates = 256;

// The device whose GL state is bound; another one re-binds its own first.
extern Device* activeDevice;

class Device final : public IDirect3DDevice9 {
public:
    Device(IDirect3D9* parent, const D3DPRESENT_PARAMETERS& params, const Output& output);
    HRESULT Init();  // GL objects of the back buffer

    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override;

    HRESULT TestCooperativeLevel() override { return D3D_OK; }
    HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
    HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** texture, HANDLE* shared) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer9** buffer, HANDLE* shared) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer9** buffer, HANDLE* shared) override;
    HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                  DWORD stencil) override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
    HRESULT SetMaterial(const D3DMATERIAL9* material) override;
    HRESULT GetMaterial(D3DMATERIAL9* material) override;
    HRESULT SetLight(DWORD index, const D3DLIGHT9* light) override;
    HRESULT GetLight(DWORD index, D3DLIGHT9* light) override;
    HRESULT LightEnable(DWORD index, BOOL enable) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT minVertexIndex,
                                 UINT numVertices, UINT startIndex, UINT primitiveCount) override;
    HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override;
    HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override;
    HRESULT SetFVF(DWORD fvf) override;
    HRESULT GetFVF(DWORD* fvf) override;
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* indices) override;

    // Makes this device's GL context current (resources call it before GL work).
    bool MakeCurrent();
    void Unbind(const void* resource);
    // Before a resource changes or goes away: held-back draws using it are drawn.
    void BeforeChange(const void* resource);
    bool ReadWindow(std::vector<uint8_t>& rgba, int& width, int& height);

private:
    ~Device() override;
    void SetDefaults();
    void Activate();
    void ApplyRenderState(DWORD state);
    void ApplySampler(DWORD sampler);
    bool PrepareDraw();
    void UpdateWvp();
    bool VerticesInStream(uint64_t first, uint64_t count) const;
    bool TransparentTexelsKeepTarget() const;
    bool AlphaOneOverOpaqueTexels() const;
    bool OpaqueReplacesTarget() const;
    const Texture* ReachableTexture(GLsizei count) const;
    bool DrawVisibleParts(GLenum mode, GLint first, GLsizei count);
    bool ShowingPixels(GLint first, GLsizei count, TileCoverage::Rect& shown);
    void DrawUnderScissors(GLenum mode, GLint first, GLsizei count, const std::vector<TileCoverage::Rect>& rects);
    bool StageTexels(int stage, GLint first, GLsizei count, float tw, float th, float* sx, float* sy, float* tx,
                     float* ty);
    bool TexelMap(int stage, GLint first, GLsizei count, float tw, float th, float* sx, float* sy, float& ax,
                  float& bx, float& ay, float& by);
    bool AffineTexelMap(int stage, GLint first, GLsizei count, float tw, float th, double* mu, double* mv);
    void UpdateUniforms(Program& program);
    void BindVertexLayout();
    void BlitToWindow(GLuint source);
    bool PresentThroughSurface(GLuint source, const std::vector<TileCoverage::Rect>& changed);
    bool FinishPresent();
    // Counts the pixels draws cover until FlushFillCount, in the target they go to:
    // the multisampled one while it is active, unless drawn to the single-sample one.
    void BeginFillCount(bool singleSampleTarget = false);
    void FlushFillCount();
    void EndFrameStats(bool interval);
    void EndFrameInterval();
    // Multisampled targets: where a draw goes (see msActive_).
    GLuint DrawTarget() const { return samples_ > 0 && !msActive_ ? resolveFbo_ : fbo_; }
    bool NeedsSamples(GLenum mode, GLint first, GLsizei count, RECT& bounds);
    bool FilterDiffersSingleSampled(GLint first, GLsizei count, const TileCoverage::Rect& pixels);
    bool DrawSidesMultisampled(GLenum mode, GLint first, GLsizei count, const RECT& bounds);
    bool DrawShowing(GLenum mode, GLint first, GLsizei count, const RECT& bounds);
    bool DrawReachingMultisampled(GLenum mode, GLint first, GLsizei count, const RECT& bounds);
    bool InsideRectangle(GLenum mode, GLint first, GLsizei count, const TileCoverage::Rect& pixels);
    bool InMultisampledCells(const TileCoverage::Rect& pixels) const;
    void DrawSingleSampled(GLenum mode, GLint first, GLsizei count, const std::vector<TileCoverage::Rect>& rects);
    void DrawMultisampled(GLenum mode, GLint first, GLsizei count, const std::vector<TileCoverage::Rect>& cells,
                          const TileCoverage::Rect& scissor);
    bool ScreenBounds(uint64_t first, uint64_t count, RECT& bounds);
    void ToClip(const float* position, float* clip) const;
    void VertexToClip(uint64_t vertex, float* clip) const;
    void ClipToScreen(float x, float y, float w, float& sx, float& sy) const;
    bool StripRectangle(GLint first, float* x, float* y);
    TileCoverage::Rect ViewportInTarget() const;
    using Rects = std::vector<TileCoverage::Rect>;
    bool MeshBounds(GLenum mode, INT baseVertex, UINT minIndex, UINT numVertices, UINT startIndex, GLsizei count,
                    size_t indexSize, RECT& bounds, Rects& cells);
    void BeginMultisample(const RECT& bounds);
    void EndMultisample();
    void CopyToMultisample(const Rects& rects);
    void DrawPixelRects(GLuint program, GLint rectUniform, GLint sizeUniform, const Rects& rects,
                        bool over = false);
    TileCoverage::Rect CellRect(int column, int row) const;
    // Held-back replacing draws (DeviceHeld.cpp).
    struct DrawState;
    struct HeldDraw;
    void SaveState(DrawState& state) const;
    void RestoreState(const DrawState& state);
    bool CoveredPixels(GLint first, GLsizei count, TileCoverage::Rect& inner);
    Rects HoldBack(GLenum mode, GLint first, GLsizei count, const Rects& replaced, const Rects& covered);
    void Cover(const Rects& covered);
    bool Settle(const Rects& region);
    bool SettleUnder(const RECT& bounds) { return Settle(Rects{{bounds.left, bounds.top, bounds.right, bounds.bottom}}); }
    void SettleAll();
    void DropSettled();
    void Replay(HeldDraw& draw, const Rects& rects);
    void EndHeldFrame();

    ULONG refs_ = 1;
    IDirect3D9* parent_;
    D3DPRESENT_PARAMETERS params_;
    Output output_;       // where Present puts the frame, chosen at creation
    SDL_Window* window_;  // output_.window

    // Back buffer: colour and depth renderbuffers, multisampled when asked for.
    // Multisampled, a single-sample target of the same size holds the frame:
    // pixel-aligned rectangles are drawn there (their samples would all agree),
    // and only the draws whose edges cross pixels go to the multisampled one,
    // over the cells of msCells_ they reach, each copied in from the
    // single-sample target as a draw first reaches it and resolved back into it
    // when single-sample drawing resumes.
    GLuint fbo_ = 0, color_ = 0, msColor_ = 0, depth_ = 0;  // colour: renderbuffer, or texture multisampled
    GLuint resolveFbo_ = 0, resolveColor_ = 0, resolveDepth_ = 0;
    GLuint copyProgram_ = 0, copyVao_ = 0, resolveProgram_ = 0;
    GLint copyRect_ = -1, copySize_ = -1;        // the copy program's uniforms
    GLint resolveRect_ = -1, resolveSize_ = -1;  // the resolve program's
    bool msActive_ = false;
    // Draws to the single-sample target with the multisampled programs (DrawShowing).
    bool lookBack_ = false;
    static constexpr int kMsCell = 16;  // pixels on a cell's side
    std::vector<uint8_t> msCells_;      // back buffer cells in the multisampled target, row by row
    // A clear of the whole multisampled depth (and stencil) is put off until
    // draws reach its cells: those cleared so far, and the clear's values.
    GLbitfield msClearMask_ = 0;
    float msClearZ_ = 1;
    GLint msClearStencil_ = 0;
    std::vector<uint8_t> msCleared_;
    GLuint vao_ = 0;
    GLuint samplers_[kGlStages] = {};
    int samples_ = 0;
    GLenum depthFormat_ = 0;
    std::vector<uint8_t> readback_;
    // Live on a software renderer: frames are read back, scaled by scaler_ and
    // put in the window's surface instead of blitted and swapped by GL, on
    // presenting_ while the next frame is drawn. presented_: whether the last
    // frame reached the window (written there, read once it is done).
    bool surfacePresent_ = false;
    FrameScaler scaler_;
    JobThread presenting_;
    bool presented_ = true;
    // The surface the last frame went into, and its size: while the next goes
    // into the same one, only the pixels where the frames differ are read
    // back and scaled again.
    SDL_Surface* shownSurface_ = nullptr;
    int shownWidth_ = 0, shownHeight_ = 0;
    static constexpr std::chrono::microseconds kDisplayPeriod{16667};  // 60 Hz
    std::chrono::steady_clock::time_point lastShown_{};  // the last frame handed to presenting_

    DWORD renderStates_[kRenderStates] = {};
    DWORD stageStates_[kStages][33] = {};
    DWORD samplerStates_[kStages][14] = {};
    D3DMATRIX world_, view_, projection_, textureMatrix_[kStages];
    D3DVIEWPORT9 viewport_{};
    D3DMATERIAL9 material_{};
    D3DLIGHT9 light_{};
    bool lightEnabled_ = false;
    IDirect3DBaseTexture9* textures_[kStages] = {};
    VertexBuffer* stream_ = nullptr;
    UINT streamOffset_ = 0, streamStride_ = 0;
    IndexBuffer* indices_ = nullptr;
    DWORD fvf_ = 0;
    bool inScene_ = false;

    // Versions of the uniform groups; see Program.
    uint32_t verWVP_ = 1, verShift_ = 1, verTexMat_[kGlStages] = {1, 1}, verTFactor_ = 1, verLight_ = 1;
    bool wvpDirty_ = true, lightDirty_ = true, layoutDirty_ = true, keyDirty_ = true;
    float wvp_[16] = {};
    float normalMat_[9] = {}, toLight_[3] = {}, ambEmis_[4] = {};
    ProgramCache programs_;
    Program* program_ = nullptr;

    // Frame statistics when switched on: samples passed, read when the frame ends
    // or the target changes (a multisampled pixel passes several).
    // Occlusion queries of the frame's runs of draws, each with the samples a
    // pixel has where it counted; read at Present so that counting never waits
    // for the rasteriser in the middle of a frame.
    std::vector<GLuint> fillQueries_;
    size_t fillUsed_ = 0;
    std::vector<int> fillSamples_;
    bool fillCounting_ = false;
    int fillCountSamples_ = 1;  // samples per pixel of the target the open count is in
    std::chrono::steady_clock::time_point lastPresent_{};

    // A replacing draw (an opaque picture drawn without blending) writes the
    // same pixels whenever it is drawn, as long as nothing looks at them in
    // between. Where a later replacing draw covered it in the previous frame,
    // the draw is held back: drawn when something else first needs those
    // pixels (a draw over them, a copy, a clear, Present), and never where the
    // later draw covers it again. The states it was drawn with are kept.
    struct DrawState {
        DWORD renderStates[kRenderStates];
        DWORD stageStates[kStages][33];
        DWORD samplerStates[kStages][14];
        D3DMATRIX world, view, projection, textureMatrix[kStages];
        D3DVIEWPORT9 viewport;
        D3DMATERIAL9 material;
        D3DLIGHT9 light;
        bool lightEnabled;
        IDirect3DBaseTexture9* textures[kStages];
        VertexBuffer* stream;
        UINT streamOffset, streamStride;
        IndexBuffer* indices;
        DWORD fvf;
    };
    struct HeldDraw {
        DrawState state;
        GLenum mode;
        GLint first;
        GLsizei count;
        Rects rects;  // the pixels still to draw, apart
    };
    std::vector<HeldDraw> held_;
    // Pixels covered by replacing draws, by their place among the frame's
    // replacing draws: this frame's so far, and the previous frame's.
    std::vector<std::pair<int, TileCoverage::Rect>> covered_, lastCovered_;
    int replacingDraws_ = 0;

    // A frame that starts with a clear of the whole viewport is recorded, not
    // drawn; at Present it is drawn only over the pixels where it can differ
    // from the previous frame (FrameRecord), which the target still holds.
    struct RecordedOp {
        enum Kind : uint8_t { kClear, kDraw, kDrawIndexed } kind;
        DrawState state;
        // Draws: the GL mode, vertices (or indices) and where they start.
        GLenum mode;
        GLsizei count;
        INT base;
        UINT minIndex, numVertices, start;
        size_t indexSize;
        // Clears.
        std::vector<D3DRECT> rects;
        GLbitfield mask;
        D3DCOLOR color;
        float z;
        DWORD stencil;
    };
    bool StartsRecord(DWORD count, const D3DRECT* rects, GLbitfield mask) const;
    void RecordClear(DWORD count, const D3DRECT* rects, GLbitfield mask, D3DCOLOR color, float z, DWORD stencil);
    HRESULT RecordDraw(RecordedOp& op, uint64_t firstVertex, uint64_t vertices);
    // Draws the record; gives where the frame can differ from the one before.
    Rects FinishRecord();
    void FlushRecord();
    void ReplayRecord(const Rects& passes, bool layers = false);
    void ApplyState(const DrawState& s);
    // While a frame is drawn again over one rectangle, every write to the
    // targets stays inside it: a rectangle cut to it (false when nothing is
    // left), a draw without a scissor given one.
    bool Clamp(TileCoverage::Rect& r) const;
    void BeginClamp();
    void EndClamp();
    HRESULT ClearNow(DWORD count, const D3DRECT* rects, GLbitfield mask, D3DCOLOR color, float z, DWORD stencil);
    HRESULT DrawNow(GLenum mode, GLint first, GLsizei count);
    HRESULT DrawIndexedNow(GLenum mode, INT base, UINT minIndex, UINT numVertices, UINT startIndex,
                           GLsizei count, size_t indexSize);
    std::vector<RecordedOp> recorded_;
    FrameRecord record_, lastRecord_;
    DrawState keyState_;  // the states a key is made of; zeroed once, so its padding stays zero
    bool recording_ = false, replaying_ = false;
    bool lastFrameKept_ = false;  // the target holds the frame lastRecord_ recorded
    bool clamping_ = false;
    TileCoverage::Rect clamp_{0, 0, 0, 0};

    // A run of opaque mesh draws kept resolved, as colour times coverage and
    // coverage, while it stays the same (DeviceLayer.cpp).
    bool FindLayerRun(size_t& first, size_t& end, TileCoverage::Rect& cells);
    bool LayerHolds(size_t first, size_t end, const TileCoverage::Rect& cells) const;
    void MakeLayer(size_t first, size_t end, const TileCoverage::Rect& cells);
    void DrawLayer(const TileCoverage::Rect& cells);
    GLuint layerFbo_ = 0, layerColor_ = 0;
    bool layerHeld_ = false;  // the layer holds lastRecord_'s run from layerFirst_
    size_t layerFirst_ = 0, layerCount_ = 0;
    TileCoverage::Rect layerCells_{0, 0, 0, 0};  // the pixels it holds
};

}  // namespace d3d9
