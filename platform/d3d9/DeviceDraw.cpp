// Drawing: the shader key of the current stage and lighting setup, the vertex
// layout, the uniforms that changed, and the draw calls.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/d3d9/D3d9Stats.h"
#include "platform/d3d9/DeviceImpl.h"
#include "platform/d3d9/FixedFunction.h"
#include "platform/d3d9/FrameStats.h"
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

// An alpha argument that is the texture's alpha as it is.
bool IsTextureAlpha(uint8_t arg)
{
    return (arg & (D3DTA_SELECTMASK | D3DTA_COMPLEMENT)) == D3DTA_TEXTURE;
}

bool IsCurrentAlpha(uint8_t arg)
{
    return (arg & (D3DTA_SELECTMASK | D3DTA_COMPLEMENT)) == D3DTA_CURRENT;
}

// Whether a stage's alpha is 0 wherever the argument that isArg picks is 0.
template <class IsArg> bool AlphaZeroWith(const StageSetup& s, IsArg isArg)
{
    switch (s.alphaOp) {
    case D3DTOP_SELECTARG1:
        return isArg(s.alphaArg1);
    case D3DTOP_SELECTARG2:
        return isArg(s.alphaArg2);
    case D3DTOP_MODULATE:
    case D3DTOP_MODULATE2X:
    case D3DTOP_MODULATE4X:
        return isArg(s.alphaArg1) || isArg(s.alphaArg2);
    default:
        return false;
    }
}

// Whether a stage's alpha is 1 wherever the texture's alpha is 1: the texture's
// alpha as it is, or times a texture factor whose alpha is 1.
bool AlphaOneWithOpaqueTexture(const StageSetup& s, DWORD textureFactor)
{
    auto one = [&](uint8_t arg) {
        return IsTextureAlpha(arg) ||
               ((arg & (D3DTA_SELECTMASK | D3DTA_COMPLEMENT)) == D3DTA_TFACTOR && (textureFactor >> 24) == 0xFF);
    };
    switch (s.alphaOp) {
    case D3DTOP_SELECTARG1:
        return IsTextureAlpha(s.alphaArg1);
    case D3DTOP_SELECTARG2:
        return IsTextureAlpha(s.alphaArg2);
    case D3DTOP_MODULATE:
        return (IsTextureAlpha(s.alphaArg1) || IsTextureAlpha(s.alphaArg2)) && one(s.alphaArg1) &&
               one(s.alphaArg2);
    default:
        return false;
    }
}

// Screen pixels are looked at in tiles of this side when picking what to draw.
constexpr int kScreenTile = 16;
// Where single-sampled draws sample a pixel, in screen positions after its
// corner: the pixel's centre less the 63/128 the geometry is moved.
constexpr double kSampleOffset = 1.0 / 128;
// Texels of rounding allowed for between the texel positions worked out here
// and the rasteriser's: the fit of the vertices (1e-3) and interpolation.
constexpr double kSlack = 1.0 / 200;

// The pixels that can reach texels [t0, t1) along one axis (texel position =
// scale * screen position + offset), as [p0, p1). Pixel p samples at screen
// position p + 1/128 (single-sampled the geometry is moved 63/128 of a pixel,
// multisampled the look-up goes that far back), and linear filtering at
// position u reads texels floor(u - 1/2) and the one after: p needs [t0, t1)
// when u lies in [t0 - 1/2, t1 + 1/2), widened by kSlack texels for rounding on
// either side. A range that meets the picture's edge goes on for ever, as
// clamped addressing does.
void ReachingPixels(int t0, int t1, int size, float scale, float offset, int& p0, int& p1)
{
    p0 = -1000000, p1 = 1000000;
    if (std::fabs(scale) < 1e-6f) return;  // every pixel reads the same texels
    const double lo = t0 == 0 ? -1e9 : t0 - 0.5 - kSlack, hi = t1 == size ? 1e9 : t1 + 0.5 + kSlack;
    // The positions p + 1/128 whose texel position is lo and hi.
    double a = (lo - offset) / scale - kSampleOffset, b = (hi - offset) / scale - kSampleOffset;
    if (scale < 0) std::swap(a, b);  // then p lies in (a, b]
    const double from = scale > 0 ? std::ceil(a) : std::floor(a) + 1;
    const double to = scale > 0 ? std::ceil(b) : std::floor(b) + 1;
    p0 = int(std::clamp(from, -1e6, 1e6));
    p1 = int(std::clamp(to, -1e6, 1e6));
}

// Linear filtering weighs two texels in steps of 1/256 of a texel: the texel
// position is rounded to a whole step. Where texel positions follow pixels one
// to one (scale 1 or -1), every pixel of [p0, p1) lies the same fraction of a
// step past a whole one, but for the drift of a scale not quite 1. While that
// stays clear of a half step by more than rounding, both targets' texel
// positions (interpolated with different float rounding) round to the same
// steps, and so give the same colours. Texel positions at texel centres, as
// pictures drawn at their size have, lie on whole steps.
bool FilterStepsAgree(float scale, float offset, int size, int p0, int p1)
{
    if (std::fabs(std::fabs(scale) - 1) > 1e-4f || p0 >= p1) return false;
    const double one = scale > 0 ? 1 : -1;
    // Pixel p's texel position in steps, less the 256 * one * p whole steps
    // that leave its fraction as it is.
    auto steps = [&](int p) {
        return 256 * ((scale - one) * (p + kSampleOffset) + offset + one * kSampleOffset);
    };
    // The interpolation of a coordinate in [0, 1] over `size` texels, and the
    // fit of the float vertices here, in steps.
    const double rounding = 1.0 / 16 + size / 8192.0;
    const double lo = std::min(steps(p0), steps(p1)) - rounding;
    const double hi = std::max(steps(p0), steps(p1)) + rounding;
    return std::floor(lo - 0.5) == std::floor(hi - 0.5);
}

// Along one axis of a rectangle from a to b: the pixels wholly inside it
// [inner0, inner1) and those that meet it at all [outer0, outer1). A side on
// a pixel boundary (within 1e-3) cuts none; any other leaves `margin` pixels
// more on either side of it for rounding.
void SidePixels(float a, float b, int margin, int& inner0, int& inner1, int& outer0, int& outer1)
{
    const float lo = std::clamp(std::min(a, b), -1e6f, 1e6f), hi = std::clamp(std::max(a, b), -1e6f, 1e6f);
    auto whole = [](float v) { return std::fabs(v - std::round(v)) <= 1e-3f; };
    inner0 = whole(lo) ? int(std::round(lo)) : int(std::ceil(lo)) + margin;
    outer0 = whole(lo) ? int(std::round(lo)) : int(std::floor(lo)) - margin;
    inner1 = whole(hi) ? int(std::round(hi)) : int(std::floor(hi)) - margin;
    outer1 = whole(hi) ? int(std::round(hi)) : int(std::ceil(hi)) + margin;
}

// Whether the pixels of `cell` can reach a texel that shows through the
// affine texel map (mu, mv): the texels around where they sample, with a
// pixel of margin and a texel for the filter, clamped to the picture as its
// addressing is.
bool ReachesShowing(const TileCoverage& coverage, const double* mu, const double* mv,
                    const TileCoverage::Rect& cell)
{
    double u0 = 1e30, u1 = -1e30, v0 = 1e30, v1 = -1e30;
    for (int x : {cell.x0 - 1, cell.x1 + 1})
        for (int y : {cell.y0 - 1, cell.y1 + 1}) {
            const double u = mu[0] * x + mu[1] * y + mu[2], v = mv[0] * x + mv[1] * y + mv[2];
            if (!std::isfinite(u) || !std::isfinite(v)) return true;  // cannot be told
            u0 = std::min(u0, u), u1 = std::max(u1, u), v0 = std::min(v0, v), v1 = std::max(v1, v);
        }
    auto texels = [](double lo, double hi, int size, int& t0, int& t1) {
        t0 = int(std::clamp(std::floor(lo - 1), 0.0, double(size - 1)));
        t1 = int(std::clamp(std::ceil(hi + 1), double(t0 + 1), double(size)));
    };
    TileCoverage::Rect reach;
    texels(u0, u1, coverage.Width(), reach.x0, reach.x1);
    texels(v0, v1, coverage.Height(), reach.y0, reach.y1);
    const int k = TileCoverage::kTile;
    for (int r = reach.y0 / k; r <= (reach.y1 - 1) / k; ++r)
        for (int c = reach.x0 / k; c <= (reach.x1 - 1) / k; ++c)
            if (!TileCoverage::Intersect(coverage.ShowingBox(c, r, c, r), reach).Empty()) return true;
    return false;
}

// The pixels that screen coordinates from (x0, y0) to (x1, y1) touch, two wider
// each way, within the viewport's rectangle.
RECT PixelBox(float x0, float y0, float x1, float y1, const RECT& viewport)
{
    auto clamp = [](float v, LONG lo, LONG hi) { return LONG(std::clamp(v, float(lo), float(hi))); };
    return RECT{clamp(std::floor(x0) - 2, viewport.left, viewport.right),
                clamp(std::floor(y0) - 2, viewport.top, viewport.bottom),
                clamp(std::ceil(x1) + 2, viewport.left, viewport.right),
                clamp(std::ceil(y1) + 2, viewport.top, viewport.bottom)};
}

}  // namespace

// A fragment whose texture texel has alpha 0 leaves the colour as it was:
// blending adds none of the source and keeps all of the destination.
bool Device::TransparentTexelsKeepTarget() const
{
    const DWORD* rs = renderStates_;
    if (!rs[D3DRS_ALPHABLENDENABLE] || rs[D3DRS_SRCBLEND] != D3DBLEND_SRCALPHA ||
        (rs[D3DRS_DESTBLEND] != D3DBLEND_INVSRCALPHA && rs[D3DRS_DESTBLEND] != D3DBLEND_ONE))
        return false;
    const ProgramKey& key = program_->key;
    if (key.stageCount == 0 || !key.stage[0].hasTexture || !AlphaZeroWith(key.stage[0], IsTextureAlpha))
        return false;
    return key.stageCount < 2 || key.stage[1].alphaOp == D3DTOP_DISABLE ||
           AlphaZeroWith(key.stage[1], IsCurrentAlpha);
}

// Where the picture's texels are opaque the draw's alpha reaches the target as
// 1 (the texture's alpha as it is, or times an opaque factor), and source-alpha
// blending keeps none of the target: the draw replaces it there, and goes
// without blending for the same colours at less cost.
bool Device::AlphaOneOverOpaqueTexels() const
{
    const DWORD* rs = renderStates_;
    if (!rs[D3DRS_ALPHABLENDENABLE] || rs[D3DRS_SRCBLEND] != D3DBLEND_SRCALPHA ||
        rs[D3DRS_DESTBLEND] != D3DBLEND_INVSRCALPHA)
        return false;
    const ProgramKey& key = program_->key;
    if (key.stageCount == 0 || !key.stage[0].hasTexture ||
        !AlphaOneWithOpaqueTexture(key.stage[0], rs[D3DRS_TEXTUREFACTOR]))
        return false;
    const StageSetup& next = key.stage[1];
    return key.stageCount < 2 || next.alphaOp == D3DTOP_DISABLE ||
           (next.alphaOp == D3DTOP_SELECTARG1 && IsCurrentAlpha(next.alphaArg1)) ||
           (next.alphaOp == D3DTOP_SELECTARG2 && IsCurrentAlpha(next.alphaArg2));
}

// The whole picture opaque: the draw replaces the target wherever it goes.
bool Device::OpaqueReplacesTarget() const
{
    if (!textures_[0] || textures_[0]->GetType() != D3DRTYPE_TEXTURE) return false;
    const Texture& texture = *static_cast<const Texture*>(static_cast<IDirect3DTexture9*>(textures_[0]));
    if (!texture.Coverage().Opaque()) return false;
    // Only the first level is looked at.
    if (texture.Levels() > 1 && samplerStates_[0][D3DSAMP_MIPFILTER] != D3DTEXF_NONE) return false;
    return AlphaOneOverOpaqueTexels();
}

// A position through world, view and projection into clip space.
void Device::ToClip(const float* p, float* c) const
{
    for (int k = 0; k < 4; ++k) c[k] = p[0] * wvp_[k] + p[1] * wvp_[4 + k] + p[2] * wvp_[8 + k] + wvp_[12 + k];
}

// The position of vertex n of the stream in clip space (the stream must hold it).
void Device::VertexToClip(uint64_t n, float* c) const
{
    float p[3];
    std::memcpy(p, stream_->Data() + streamOffset_ + n * streamStride_, sizeof p);
    ToClip(p, c);
}

// A clip-space position (w not 0) in target pixels, row 0 at the top.
void Device::ClipToScreen(float x, float y, float w, float& sx, float& sy) const
{
    sx = float(viewport_.X) + (x / w + 1) * 0.5f * float(viewport_.Width);
    sy = float(viewport_.Y) + (1 - y / w) * 0.5f * float(viewport_.Height);
}

// The screen corners of a four-vertex strip from first that draws an
// axis-aligned rectangle at one positive w: its first and last vertices are
// opposite corners, and so are the middle two. False for any other shape.
bool Device::StripRectangle(GLint first, float* x, float* y)
{
    UpdateWvp();
    float w0 = 0;
    for (int i = 0; i < 4; ++i) {
        float c[4];
        VertexToClip(uint64_t(first + i), c);
        if (!(c[3] > 0) || (i > 0 && c[3] != w0)) return false;
        w0 = c[3];
        ClipToScreen(c[0], c[1], c[3], x[i], y[i]);
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) return false;
    }
    return (x[0] == x[1] && x[2] == x[3] && y[0] == y[2] && y[1] == y[3]) ||
           (y[0] == y[1] && y[2] == y[3] && x[0] == x[2] && x[1] == x[3]);
}

// The viewport's pixels that lie in the back buffer.
TileCoverage::Rect Device::ViewportInTarget() const
{
    return TileCoverage::Rect{std::max(int(viewport_.X), 0), std::max(int(viewport_.Y), 0),
                              std::min(int(viewport_.X + viewport_.Width), int(params_.BackBufferWidth)),
                              std::min(int(viewport_.Y + viewport_.Height), int(params_.BackBufferHeight))};
}

// The screen positions (sx, sy) and texel positions (tx, ty, for a texture of
// tw x th) of a stage at the vertices of a draw of 3 to 8 vertices. False when
// the stage has no coordinates, or the draw is in perspective (w differs), so
// that texel positions are not affine in the screen.
bool Device::StageTexels(int stage, GLint first, GLsizei count, float tw, float th, float* sx, float* sy,
                         float* tx, float* ty)
{
    if (count > 8 || count < 3) return false;
    UpdateWvp();
    const DWORD* st = stageStates_[stage];
    const DWORD set = (st[D3DTSS_TEXCOORDINDEX] & 0xFFFF) == 1 ? 1 : 0;
    const bool transform = (st[D3DTSS_TEXTURETRANSFORMFLAGS] & 0xFF) != D3DTTFF_DISABLE;
    const DWORD sets = (fvf_ & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (set >= sets) return false;
    size_t texOffset = 12 + ((fvf_ & D3DFVF_PSIZE) ? 4 : 0) + ((fvf_ & D3DFVF_NORMAL) ? 12 : 0) +
                       ((fvf_ & D3DFVF_DIFFUSE) ? 4 : 0) + ((fvf_ & D3DFVF_SPECULAR) ? 4 : 0) +
                       size_t(set) * 8;
    float w0 = 0;
    for (GLsizei i = 0; i < count; ++i) {
        const uint8_t* v = stream_->Data() + streamOffset_ + size_t(first + i) * streamStride_;
        float p[3], t[2];
        std::memcpy(p, v, sizeof p);
        std::memcpy(t, v + texOffset, sizeof t);
        float c[4];
        ToClip(p, c);
        // Equal positive w everywhere: attributes are affine in screen space.
        if (i == 0) w0 = c[3];
        if (!(c[3] > 0) || std::fabs(c[3] - w0) > 1e-6f * w0) return false;
        ClipToScreen(c[0], c[1], c[3], sx[i], sy[i]);
        if (transform) {
            const D3DMATRIX& m = textureMatrix_[stage];
            tx[i] = (t[0] * m._11 + t[1] * m._21 + m._31) * tw;
            ty[i] = (t[0] * m._12 + t[1] * m._22 + m._32) * th;
        } else {
            tx[i] = t[0] * tw;
            ty[i] = t[1] * th;
        }
    }
    return true;
}

// How a stage's texel coordinates (for a texture of tw x th) follow the screen
// over a draw of at most 8 vertices: texel x = ax * screen x + bx, texel y =
// ay * screen y + by, screen positions of the vertices in sx, sy. False when the
// coordinates do not follow that form (turned, in perspective, missing).
bool Device::TexelMap(int stage, GLint first, GLsizei count, float tw, float th, float* sx, float* sy,
                      float& ax, float& bx, float& ay, float& by)
{
    float tx[8], ty[8];
    if (!StageTexels(stage, first, count, tw, th, sx, sy, tx, ty)) return false;
    // Texel x must follow screen x alone, and texel y screen y alone.
    auto fit = [&](const float* sc, const float* t, float& scale, float& offset) {
        int far = 0;
        for (GLsizei i = 1; i < count; ++i)
            if (std::fabs(sc[i] - sc[0]) > std::fabs(sc[far] - sc[0])) far = i;
        if (std::fabs(sc[far] - sc[0]) < 0.5f) return false;
        scale = (t[far] - t[0]) / (sc[far] - sc[0]);
        offset = t[0] - scale * sc[0];
        for (GLsizei i = 0; i < count; ++i)
            if (!(std::fabs(scale * sc[i] + offset - t[i]) < 1e-3f)) return false;
        return std::isfinite(scale) && std::isfinite(offset);
    };
    return fit(sx, tx, ax, bx) && fit(sy, ty, ay, by);
}

// A stage's texel positions (for a texture of tw x th) as an affine map of
// the screen over a draw: texel x = mu[0] * screen x + mu[1] * screen y +
// mu[2], texel y likewise with mv. False when they do not follow one (in
// perspective, missing, the vertices in a line).
bool Device::AffineTexelMap(int stage, GLint first, GLsizei count, float tw, float th, double* mu, double* mv)
{
    float sx[8], sy[8], tx[8], ty[8];
    if (!StageTexels(stage, first, count, tw, th, sx, sy, tx, ty)) return false;
    // Through the first three vertices; every other one must agree.
    const double dx1 = sx[1] - sx[0], dy1 = sy[1] - sy[0], dx2 = sx[2] - sx[0], dy2 = sy[2] - sy[0];
    const double det = dx1 * dy2 - dx2 * dy1;
    if (!(std::fabs(det) > 1e-3)) return false;
    auto solve = [&](const float* t, double* m) {
        const double d1 = t[1] - t[0], d2 = t[2] - t[0];
        m[0] = (d1 * dy2 - d2 * dy1) / det;
        m[1] = (dx1 * d2 - dx2 * d1) / det;
        m[2] = t[0] - m[0] * sx[0] - m[1] * sy[0];
        for (GLsizei i = 3; i < count; ++i)
            if (!(std::fabs(m[0] * sx[i] + m[1] * sy[i] + m[2] - t[i]) < 1e-3)) return false;
        return std::isfinite(m[0]) && std::isfinite(m[1]) && std::isfinite(m[2]);
    };
    return solve(tx, mu) && solve(ty, mv);
}

// Stage 0's picture when the texels each pixel of a draw can reach are worked
// out (ReachingPixels): a plain texture of one level as sampled, clamped
// addressing, a quad's few vertices; not for a draw that writes depth, which
// must write it everywhere. Null otherwise.
const Texture* Device::ReachableTexture(GLsizei count) const
{
    if (count > 8 || !textures_[0] || textures_[0]->GetType() != D3DRTYPE_TEXTURE) return nullptr;
    const Texture* texture = static_cast<const Texture*>(static_cast<IDirect3DTexture9*>(textures_[0]));
    const DWORD* sampler = samplerStates_[0];
    if (sampler[D3DSAMP_ADDRESSU] != D3DTADDRESS_CLAMP || sampler[D3DSAMP_ADDRESSV] != D3DTADDRESS_CLAMP)
        return nullptr;
    if (texture->Levels() > 1 && sampler[D3DSAMP_MIPFILTER] != D3DTEXF_NONE) return nullptr;
    if (depth_ && renderStates_[D3DRS_ZENABLE] != D3DZB_FALSE && renderStates_[D3DRS_ZWRITEENABLE]) return nullptr;
    return texture;
}

// A blended picture whose texture is partly transparent or partly opaque: the
// draw is repeated under scissor rectangles that leave out the screen tiles
// where every texel the filter can reach is transparent, and go without
// blending where every such texel is opaque. The geometry and so every drawn
// pixel stay as they were. False when the draw does not qualify and must be
// made whole.
bool Device::DrawVisibleParts(GLenum mode, GLint first, GLsizei count)
{
    // Multisampled, the rasteriser lets samples on a scissor edge through to both
    // neighbouring rectangles, blending them twice: draws stay whole there.
    if (msActive_) return false;
    const Texture* texture = ReachableTexture(count);
    if (!texture) return false;
    const TileCoverage& coverage = texture->Coverage();
    const bool skipClear = !coverage.Full() && TransparentTexelsKeepTarget();
    const bool replaceOpaque = coverage.AnyOpaque() && AlphaOneOverOpaqueTexels();
    if (!skipClear && !replaceOpaque) return false;

    float sx[8], sy[8], ax, bx, ay, by;
    if (!TexelMap(0, first, count, float(coverage.Width()), float(coverage.Height()), sx, sy, ax, bx, ay, by))
        return false;

    // The screen tiles of the draw's bounds, each by the texels its pixels can
    // reach (a pixel and a texel of margin for the half-pixel offsets,
    // multisample look-ups and linear filtering): left out when they are all
    // transparent, drawn without blending when they are all opaque.
    const int targetW = int(params_.BackBufferWidth), targetH = int(params_.BackBufferHeight);
    const float minX = *std::min_element(sx, sx + count), maxX = *std::max_element(sx, sx + count);
    const float minY = *std::min_element(sy, sy + count), maxY = *std::max_element(sy, sy + count);
    TileCoverage::Rect drawn{std::clamp(int(std::floor(minX)) - 2, 0, targetW),
                             std::clamp(int(std::floor(minY)) - 2, 0, targetH),
                             std::clamp(int(std::ceil(maxX)) + 2, 0, targetW),
                             std::clamp(int(std::ceil(maxY)) + 2, 0, targetH)};
    if (drawn.Empty()) return false;
    if (!Clamp(drawn)) return true;  // nothing of it in the rectangle drawn again
    const int x0 = drawn.x0, y0 = drawn.y0, x1 = drawn.x1, y1 = drawn.y1;
    const int c0 = x0 / kScreenTile, r0 = y0 / kScreenTile;
    const int columns = (x1 - 1) / kScreenTile - c0 + 1, rows = (y1 - 1) / kScreenTile - r0 + 1;
    // The texture tiles a span of screen pixels can reach (clamped addressing
    // repeats the edge tiles beyond the edges).
    auto reach = [](int p0, int p1, float scale, float offset, int& tile0, int& tile1) {
        float a = scale * float(p0 - 1) + offset, b = scale * float(p1 + 1) + offset;
        if (a > b) std::swap(a, b);
        a = std::clamp(a - 1, -1e6f, 1e6f);
        b = std::clamp(b + 1, -1e6f, 1e6f);
        tile0 = int(std::floor(a / TileCoverage::kTile));
        tile1 = int(std::floor(b / TileCoverage::kTile));
    };
    std::vector<int> colReach(size_t(columns) * 2), rowReach(size_t(rows) * 2);
    for (int c = 0; c < columns; ++c)
        reach((c0 + c) * kScreenTile, (c0 + c + 1) * kScreenTile, ax, bx, colReach[2 * c],
              colReach[2 * c + 1]);
    for (int r = 0; r < rows; ++r)
        reach((r0 + r) * kScreenTile, (r0 + r + 1) * kScreenTile, ay, by, rowReach[2 * r],
              rowReach[2 * r + 1]);
    auto clampTile = [](int t, int n) { return std::clamp(t, 0, n - 1); };
    const TileCoverage::Rect none{0, 0, 0, 0};
    std::vector<TileCoverage::Rect> blended(size_t(columns) * rows, none), replaced(blended);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const int tc0 = clampTile(colReach[2 * c], coverage.Columns());
            const int tr0 = clampTile(rowReach[2 * r], coverage.Rows());
            const int tc1 = clampTile(colReach[2 * c + 1], coverage.Columns());
            const int tr1 = clampTile(rowReach[2 * r + 1], coverage.Rows());
            // The screen tile within the draw's bounds.
            TileCoverage::Rect cell{std::max((c0 + c) * kScreenTile, x0), std::max((r0 + r) * kScreenTile, y0),
                                    std::min((c0 + c + 1) * kScreenTile, x1),
                                    std::min((r0 + r + 1) * kScreenTile, y1)};
            const size_t index = size_t(r) * columns + c;
            if (replaceOpaque && coverage.AllOpaque(tc0, tr0, tc1, tr1)) {
                replaced[index] = cell;
                continue;
            }
            if (skipClear) {
                // Only the pixels that reach the texels that show.
                const TileCoverage::Rect box = coverage.ShowingBox(tc0, tr0, tc1, tr1);
                if (box.Empty()) continue;
                int px0, px1, py0, py1;
                ReachingPixels(box.x0, box.x1, coverage.Width(), ax, bx, px0, px1);
                ReachingPixels(box.y0, box.y1, coverage.Height(), ay, by, py0, py1);
                cell = {std::max(cell.x0, px0), std::max(cell.y0, py0), std::min(cell.x1, px1),
                        std::min(cell.y1, py1)};
            }
            if (!cell.Empty()) blended[index] = cell;
        }

    const Rects blendedRects = TileCoverage::Merge(blended, columns, rows);
    Rects replacedRects = TileCoverage::Merge(replaced, columns, rows);
    // The pixels this draw certainly replaces (not where a depth test could keep
    // others); what was held back there is not needed any more, and what was
    // held back where it blends comes down first.
    Rects covered;
    TileCoverage::Rect inner;
    if (!replacedRects.empty() && !(depth_ && renderStates_[D3DRS_ZENABLE] != D3DZB_FALSE) &&
        CoveredPixels(first, count, inner))
        for (const TileCoverage::Rect& r : replacedRects) {
            const TileCoverage::Rect part = TileCoverage::Intersect(r, inner);
            if (!part.Empty()) covered.push_back(part);
        }
    if (!held_.empty()) {
        Cover(covered);
        if (Settle(blendedRects)) PrepareDraw();  // prepared before: cannot fail now
    }
    DrawUnderScissors(mode, first, count, blendedRects);
    if (!replacedRects.empty()) replacedRects = HoldBack(mode, first, count, replacedRects, covered);
    glDisable(GL_BLEND);
    DrawUnderScissors(mode, first, count, replacedRects);
    glEnable(GL_BLEND);
    return true;
}

// The pixels a draw of stage 0's picture can change, as one rectangle: those
// whose filter reaches a texel that shows, as DrawVisibleParts works them out;
// the rest blend with alpha 0 and keep the target. False when that cannot be
// told, or nothing of the picture is transparent.
bool Device::ShowingPixels(GLint first, GLsizei count, TileCoverage::Rect& shown)
{
    const Texture* texture = ReachableTexture(count);
    if (!texture || !TransparentTexelsKeepTarget()) return false;
    const TileCoverage& coverage = texture->Coverage();
    const TileCoverage::Rect box = coverage.ShowingBox(0, 0, coverage.Columns() - 1, coverage.Rows() - 1);
    if (box.x0 == 0 && box.y0 == 0 && box.x1 == coverage.Width() && box.y1 == coverage.Height()) return false;
    float sx[8], sy[8], ax, bx, ay, by;
    if (!TexelMap(0, first, count, float(coverage.Width()), float(coverage.Height()), sx, sy, ax, bx, ay, by))
        return false;
    shown = TileCoverage::Rect{0, 0, 0, 0};
    if (box.Empty()) return true;
    ReachingPixels(box.x0, box.x1, coverage.Width(), ax, bx, shown.x0, shown.x1);
    ReachingPixels(box.y0, box.y1, coverage.Height(), ay, by, shown.y0, shown.y1);
    return true;
}

// A draw that needs samples, drawn only over the pixels that can change
// (ShowingPixels), under one scissor: two would let the samples on their
// common side blend twice. Where those pixels lie wholly inside a rectangle,
// every sample of each is covered and they would all agree: they go to the
// single-sample target, with the multisampled programs so that texels are
// looked up as there, unless the multisampled target holds some of them.
// Else they go multisampled. False when the draw must go there whole.
bool Device::DrawShowing(GLenum mode, GLint first, GLsizei count, const RECT& bounds)
{
    TileCoverage::Rect shown;
    if (MultisampleEverything() || !PrepareDraw() || !ShowingPixels(first, count, shown)) return false;
    shown = TileCoverage::Intersect(shown, {bounds.left, bounds.top, bounds.right, bounds.bottom});
    if (shown.Empty()) return true;
    if (InsideRectangle(mode, first, count, shown) && !InMultisampledCells(shown)) {
        SettleUnder(RECT{shown.x0, shown.y0, shown.x1, shown.y1});
        lookBack_ = true;
        keyDirty_ = true;
        const bool prepared = PrepareDraw();
        if (prepared) DrawSingleSampled(mode, first, count, {shown});
        lookBack_ = false;
        keyDirty_ = true;
        return prepared;
    }
    DrawMultisampled(mode, first, count, {shown}, shown);
    return true;
}

// A turned picture (texels affine in the screen) that needs samples, taken
// into the multisampled target only over the cells whose pixels can reach
// texels that show, and drawn once under the rectangle around them: two would
// let the samples on a common side blend twice. Its other pixels there blend
// with alpha 0 and keep the target, copied in or not (cells not copied in are
// not resolved). False when what it reaches cannot be told.
bool Device::DrawReachingMultisampled(GLenum mode, GLint first, GLsizei count, const RECT& bounds)
{
    if (MultisampleEverything() || !PrepareDraw()) return false;
    const Texture* texture = ReachableTexture(count);
    if (!texture || !TransparentTexelsKeepTarget()) return false;
    const TileCoverage& coverage = texture->Coverage();
    double mu[3], mv[3];
    if (!AffineTexelMap(0, first, count, float(coverage.Width()), float(coverage.Height()), mu, mv))
        return false;
    // The cells of the bounds within the viewport that can reach texels that show.
    const int width = int(params_.BackBufferWidth), height = int(params_.BackBufferHeight);
    const int columns = (width + kMsCell - 1) / kMsCell, rows = (height + kMsCell - 1) / kMsCell;
    const TileCoverage::Rect drawn =
        TileCoverage::Intersect({bounds.left, bounds.top, bounds.right, bounds.bottom}, ViewportInTarget());
    if (drawn.Empty()) return true;
    const TileCoverage::Rect none{0, 0, 0, 0};
    std::vector<TileCoverage::Rect> cells(size_t(columns) * rows, none);
    TileCoverage::Rect around{width, height, 0, 0};
    for (int row = drawn.y0 / kMsCell; row <= (drawn.y1 - 1) / kMsCell; ++row)
        for (int column = drawn.x0 / kMsCell; column <= (drawn.x1 - 1) / kMsCell; ++column) {
            const TileCoverage::Rect cell = TileCoverage::Intersect(CellRect(column, row), drawn);
            if (!ReachesShowing(coverage, mu, mv, cell)) continue;
            cells[size_t(row) * columns + column] = CellRect(column, row);
            around = {std::min(around.x0, cell.x0), std::min(around.y0, cell.y0), std::max(around.x1, cell.x1),
                      std::max(around.y1, cell.y1)};
        }
    if (around.Empty()) return true;  // nothing of it shows
    DrawMultisampled(mode, first, count, TileCoverage::Merge(cells, columns, rows), around);
    return true;
}

// Whether the draw is an axis-aligned rectangle that covers every pixel of
// `pixels` whole (so every sample of them), with no depth test, which the
// single-sample target could not give as the multisampled one would.
bool Device::InsideRectangle(GLenum mode, GLint first, GLsizei count, const TileCoverage::Rect& pixels)
{
    if (mode != GL_TRIANGLE_STRIP || count != 4) return false;
    if (depth_ && renderStates_[D3DRS_ZENABLE] != D3DZB_FALSE) return false;
    float x[4], y[4];
    if (!StripRectangle(first, x, y)) return false;
    int ix0, ix1, iy0, iy1, outer0, outer1;
    SidePixels(x[0], x[3], 0, ix0, ix1, outer0, outer1);
    SidePixels(y[0], y[3], 0, iy0, iy1, outer0, outer1);
    return pixels.x0 >= ix0 && pixels.x1 <= ix1 && pixels.y0 >= iy0 && pixels.y1 <= iy1 &&
           !FilterDiffersSingleSampled(first, count, pixels);
}

// Whether the multisampled target holds any of these pixels' cells.
bool Device::InMultisampledCells(const TileCoverage::Rect& pixels) const
{
    if (!msActive_) return false;
    const int columns = (int(params_.BackBufferWidth) + kMsCell - 1) / kMsCell;
    for (int row = pixels.y0 / kMsCell; row <= (pixels.y1 - 1) / kMsCell; ++row)
        for (int column = pixels.x0 / kMsCell; column <= (pixels.x1 - 1) / kMsCell; ++column)
            if (msCells_[size_t(row) * columns + column]) return true;
    return false;
}

// The draw to the single-sample target under each rectangle, while the
// multisampled one stays as it is.
void Device::DrawSingleSampled(GLenum mode, GLint first, GLsizei count, const Rects& rects)
{
    FlushFillCount();
    if (msActive_) glBindFramebuffer(GL_FRAMEBUFFER, resolveFbo_);
    BeginFillCount(true);
    DrawUnderScissors(mode, first, count, rects);
    FlushFillCount();
    if (msActive_) glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
}

// The draw to the multisampled target under one scissor, once the cells of
// `cells` are in it.
void Device::DrawMultisampled(GLenum mode, GLint first, GLsizei count, const Rects& cells,
                              const TileCoverage::Rect& scissor)
{
    for (const TileCoverage::Rect& r : cells) BeginMultisample(RECT{r.x0, r.y0, r.x1, r.y1});
    PrepareDraw();  // as before the copies: cannot fail now
    BeginFillCount();
    DrawUnderScissors(mode, first, count, {scissor});
}

// The draw once under each rectangle as its scissor.
void Device::DrawUnderScissors(GLenum mode, GLint first, GLsizei count, const std::vector<TileCoverage::Rect>& rects)
{
    glEnable(GL_SCISSOR_TEST);
    for (TileCoverage::Rect r : rects) {
        if (!Clamp(r)) continue;
        glScissor(r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0);
        glDrawArrays(mode, first, count);
        CountDraw();
    }
    glDisable(GL_SCISSOR_TEST);
}

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

void Device::UpdateWvp()
{
    if (!wvpDirty_) return;
    wvpDirty_ = false;
    D3DMATRIX wv, wvp;
    Multiply(world_, view_, wv);
    Multiply(wv, projection_, wvp);
    std::memcpy(wvp_, wvp.m, sizeof wvp_);
    ++verWVP_;
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
        // Draws to the multisampled target keep their geometry where it is and
        // look their attributes up half a pixel back (see Shaders.cpp); those to
        // the single-sample one move the geometry instead, as without
        // multisampling, which spares every pixel its derivatives. Both give the
        // same coverage there, where only pixel-aligned rectangles (and whole
        // cells inside one) are drawn, and the same texel look-ups but for float
        // rounding. Pictures drawn single-sampled in place of the multisampled
        // target (lookBack_) use its programs.
        key.multisampled = msActive_ || lookBack_;
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
    UpdateWvp();
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
    if (recording_) {
        RecordedOp op{};
        op.kind = RecordedOp::kDraw;
        op.mode = mode;
        op.count = count;
        op.start = startVertex;
        return RecordDraw(op, startVertex, uint64_t(count));
    }
    return DrawNow(mode, GLint(startVertex), count);
}

HRESULT Device::DrawNow(GLenum mode, GLint startVertex, GLsizei count)
{
    if (!replaying_) lastFrameKept_ = false;
    if (samples_ > 0 && (fvf_ & D3DFVF_XYZ)) {
        if (activeDevice != this) Activate();
        RECT bounds;
        if (!NeedsSamples(mode, GLint(startVertex), count, bounds)) EndMultisample();
        else if (DrawSidesMultisampled(mode, GLint(startVertex), count, bounds)) return D3D_OK;
        else if (DrawShowing(mode, GLint(startVertex), count, bounds)) return D3D_OK;
        else if (DrawReachingMultisampled(mode, GLint(startVertex), count, bounds)) return D3D_OK;
        else BeginMultisample(bounds);
    }
    if (!PrepareDraw()) return D3DERR_INVALIDCALL;
    BeginFillCount();
    if (DrawVisibleParts(mode, GLint(startVertex), count)) return D3D_OK;
    if (!held_.empty()) {
        RECT bounds;
        ScreenBounds(startVertex, uint64_t(count), bounds);
        if (SettleUnder(bounds) && !PrepareDraw()) return D3DERR_INVALIDCALL;
    }
    const bool replaces = OpaqueReplacesTarget();
    if (replaces) glDisable(GL_BLEND);
    BeginClamp();
    glDrawArrays(mode, GLint(startVertex), count);
    EndClamp();
    if (replaces) glEnable(GL_BLEND);
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
    if (recording_) {
        RecordedOp op{};
        op.kind = RecordedOp::kDrawIndexed;
        op.mode = mode;
        op.count = count;
        op.base = baseVertexIndex;
        op.minIndex = minVertexIndex;
        op.numVertices = numVertices;
        op.start = startIndex;
        op.indexSize = indexSize;
        return RecordDraw(op, uint64_t(baseVertexIndex) + minVertexIndex, numVertices);
    }
    return DrawIndexedNow(mode, baseVertexIndex, minVertexIndex, numVertices, startIndex, count, indexSize);
}

HRESULT Device::DrawIndexedNow(GLenum mode, INT baseVertexIndex, UINT minVertexIndex, UINT numVertices,
                               UINT startIndex, GLsizei count, size_t indexSize)
{
    if (!replaying_) lastFrameKept_ = false;
    const bool multisampled = samples_ > 0 && (fvf_ & D3DFVF_XYZ);
    if (multisampled || !held_.empty()) {
        if (activeDevice != this) Activate();
        RECT bounds;
        Rects cells;
        const bool byTriangle =
            MeshBounds(mode, baseVertexIndex, minVertexIndex, numVertices, startIndex, count, indexSize, bounds, cells);
        if (!byTriangle) ScreenBounds(uint64_t(baseVertexIndex) + minVertexIndex, numVertices, bounds);
        if (!byTriangle || MultisampleEverything()) cells = {{bounds.left, bounds.top, bounds.right, bounds.bottom}};
        SettleUnder(bounds);
        if (multisampled)
            for (const TileCoverage::Rect& r : cells) BeginMultisample(RECT{r.x0, r.y0, r.x1, r.y1});
    }
    if (!PrepareDraw()) return D3DERR_INVALIDCALL;
    BeginFillCount();
    BeginClamp();
    glDrawElementsBaseVertex(mode, count, indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                             reinterpret_cast<void*>(uintptr_t(startIndex) * indexSize), baseVertexIndex);
    EndClamp();
    CountDraw();
    return D3D_OK;
}

void Device::BeginFillCount(bool singleSampleTarget)
{
    if (fillCounting_ || !ActiveFrameStats()) return;
    if (fillUsed_ == fillQueries_.size()) {
        GLuint query = 0;
        glGenQueries(1, &query);
        fillQueries_.push_back(query);
    }
    glBeginQuery(GL_SAMPLES_PASSED, fillQueries_[fillUsed_]);
    fillCounting_ = true;
    fillCountSamples_ = msActive_ && !singleSampleTarget ? samples_ : 1;
}

// Ends the count begun by BeginFillCount; its result is read at Present, in
// pixels of the target it counted in.
void Device::FlushFillCount()
{
    if (!fillCounting_) return;
    glEndQuery(GL_SAMPLES_PASSED);
    fillCounting_ = false;
    fillSamples_.push_back(fillCountSamples_);
    ++fillUsed_;
}

// At Present: the frame's interval (unless it ends later) and fill.
void Device::EndFrameStats(bool interval)
{
    FlushFillCount();
    FrameStats* stats = ActiveFrameStats();
    if (stats) {
        if (interval) EndFrameInterval();
        stats->AddFrame();
        uint64_t pixels = 0;
        for (size_t i = 0; i < fillUsed_; ++i) {
            GLuint64 passed = 0;
            glGetQueryObjectui64v(fillQueries_[i], GL_QUERY_RESULT, &passed);
            pixels += uint64_t(passed) / uint64_t(fillSamples_[i]);
        }
        stats->AddFill(pixels, uint64_t(params_.BackBufferWidth) * params_.BackBufferHeight);
    }
    fillUsed_ = 0;
    fillSamples_.clear();
}

// The time since the last frame went out, as this one goes.
void Device::EndFrameInterval()
{
    FrameStats* stats = ActiveFrameStats();
    if (!stats) return;
    const auto now = std::chrono::steady_clock::now();
    if (lastPresent_.time_since_epoch().count() != 0)
        stats->AddInterval(std::chrono::duration<double, std::milli>(now - lastPresent_).count());
    lastPresent_ = now;
}

// ---- multisampling where edges need it ------------------------------------------

// The screen rectangle of these vertices, two pixels wider each way, within the
// viewport; the whole viewport when a vertex lies behind the eye.
bool Device::ScreenBounds(uint64_t first, uint64_t count, RECT& bounds)
{
    const LONG vx0 = LONG(viewport_.X), vy0 = LONG(viewport_.Y);
    const LONG vx1 = vx0 + LONG(viewport_.Width), vy1 = vy0 + LONG(viewport_.Height);
    bounds = RECT{vx0, vy0, vx1, vy1};
    if (!VerticesInStream(first, count) || count == 0) return false;
    UpdateWvp();
    float minX = 1e30f, minY = 1e30f, maxX = -1e30f, maxY = -1e30f;
    for (uint64_t i = 0; i < count; ++i) {
        float c[4];
        VertexToClip(first + i, c);
        if (!(c[3] > 1e-6f)) return false;
        float sx, sy;
        ClipToScreen(c[0], c[1], c[3], sx, sy);
        minX = std::min(minX, sx);
        maxX = std::max(maxX, sx);
        minY = std::min(minY, sy);
        maxY = std::max(maxY, sy);
    }
    bounds = PixelBox(minX, minY, maxX, maxY, RECT{vx0, vy0, vx1, vy1});
    return true;
}

// The screen rectangle of an indexed draw's triangles, each cut to the part
// between the near and far planes (0 <= z <= w), two pixels wider each way,
// within the viewport; and the cells of the back buffer that those rectangles
// of each triangle meet, merged into rectangles. Parts of a mesh behind the eye
// do not widen them, as they do for ScreenBounds. False where it cannot tell:
// not triangles, or an index outside the vertices the draw names.
bool Device::MeshBounds(GLenum mode, INT baseVertex, UINT minIndex, UINT numVertices, UINT startIndex,
                        GLsizei count, size_t indexSize, RECT& bounds, Rects& cellRects)
{
    if (mode != GL_TRIANGLES && mode != GL_TRIANGLE_STRIP && mode != GL_TRIANGLE_FAN) return false;
    const uint64_t firstVertex = uint64_t(baseVertex) + minIndex;
    if (numVertices == 0 || !VerticesInStream(firstVertex, numVertices)) return false;
    UpdateWvp();
    struct Clip {
        float x, y, z, w;
    };
    std::vector<Clip> clip(numVertices);
    for (UINT i = 0; i < numVertices; ++i) {
        float c[4];
        VertexToClip(firstVertex + i, c);
        clip[i] = Clip{c[0], c[1], c[2], c[3]};
    }
    const uint8_t* data = indices_->Data() + size_t(startIndex) * indexSize;
    auto vertex = [&](GLsizei n, const Clip*& v) {
        uint32_t index = 0;
        if (indexSize == 4) std::memcpy(&index, data + size_t(n) * 4, 4);
        else {
            uint16_t i16;
            std::memcpy(&i16, data + size_t(n) * 2, 2);
            index = i16;
        }
        if (index < minIndex || index - minIndex >= numVertices) return false;
        v = &clip[index - minIndex];
        return true;
    };
    const LONG vx0 = LONG(viewport_.X), vy0 = LONG(viewport_.Y);
    const LONG vx1 = vx0 + LONG(viewport_.Width), vy1 = vy0 + LONG(viewport_.Height);
    const RECT viewport{vx0, vy0, vx1, vy1};
    const int columns = (int(params_.BackBufferWidth) + kMsCell - 1) / kMsCell;
    const int rows = (int(params_.BackBufferHeight) + kMsCell - 1) / kMsCell;
    std::vector<TileCoverage::Rect> cells(size_t(columns) * rows, TileCoverage::Rect{0, 0, 0, 0});
    float minX = 1e30f, minY = 1e30f, maxX = -1e30f, maxY = -1e30f;
    // One triangle cut by the two planes (distance z, then w - z), its corners
    // projected into the box, and the cells of its own box marked.
    auto add = [&](const Clip& a, const Clip& b, const Clip& c) {
        Clip poly[6] = {a, b, c}, cut[6];
        int n = 3;
        for (int plane = 0; plane < 2 && n > 0; ++plane) {
            auto distance = [plane](const Clip& v) { return plane == 0 ? v.z : v.w - v.z; };
            int m = 0;
            for (int i = 0; i < n; ++i) {
                const Clip& p = poly[i];
                const Clip& q = poly[(i + 1) % n];
                const float dp = distance(p), dq = distance(q);
                if (dp >= 0) cut[m++] = p;
                if ((dp >= 0) != (dq >= 0)) {
                    const float t = dp / (dp - dq);
                    cut[m++] = Clip{p.x + t * (q.x - p.x), p.y + t * (q.y - p.y), p.z + t * (q.z - p.z),
                                    p.w + t * (q.w - p.w)};
                }
            }
            n = m;
            std::copy(cut, cut + n, poly);
        }
        float x0 = 1e30f, y0 = 1e30f, x1 = -1e30f, y1 = -1e30f;
        for (int i = 0; i < n; ++i) {
            if (!(poly[i].w > 1e-6f)) return false;
            float sx, sy;
            ClipToScreen(poly[i].x, poly[i].y, poly[i].w, sx, sy);
            x0 = std::min(x0, sx);
            x1 = std::max(x1, sx);
            y0 = std::min(y0, sy);
            y1 = std::max(y1, sy);
        }
        if (n == 0) return true;
        minX = std::min(minX, x0);
        maxX = std::max(maxX, x1);
        minY = std::min(minY, y0);
        maxY = std::max(maxY, y1);
        const RECT box = PixelBox(x0, y0, x1, y1, viewport);
        if (box.left >= box.right || box.top >= box.bottom) return true;
        for (int row = box.top / kMsCell; row <= (box.bottom - 1) / kMsCell; ++row)
            for (int column = box.left / kMsCell; column <= (box.right - 1) / kMsCell; ++column)
                cells[size_t(row) * columns + column] = CellRect(column, row);
        return true;
    };
    const GLsizei triangles = mode == GL_TRIANGLES ? count / 3 : count - 2;
    for (GLsizei t = 0; t < triangles; ++t) {
        const Clip *a, *b, *c;
        const GLsizei i0 = mode == GL_TRIANGLES ? 3 * t : mode == GL_TRIANGLE_FAN ? 0 : t;
        const GLsizei i1 = mode == GL_TRIANGLES ? 3 * t + 1 : t + 1;
        const GLsizei i2 = mode == GL_TRIANGLES ? 3 * t + 2 : t + 2;
        if (!vertex(i0, a) || !vertex(i1, b) || !vertex(i2, c)) return false;
        if (!add(*a, *b, *c)) return false;
    }
    cellRects = TileCoverage::Merge(cells, columns, rows);
    if (minX > maxX) {
        bounds = RECT{vx0, vy0, vx0, vy0};  // nothing in front of the eye
        return true;
    }
    bounds = PixelBox(minX, minY, maxX, maxY, viewport);
    return true;
}

// Whether a draw has edges that cross pixels. A rectangle on whole pixel
// coordinates covers every sample of its pixels or none, as a single sample
// would: only other shapes need the multisampled target.
bool Device::NeedsSamples(GLenum mode, GLint first, GLsizei count, RECT& bounds)
{
    if (!ScreenBounds(uint64_t(first), uint64_t(count), bounds)) return true;
    if (bounds.left >= bounds.right || bounds.top >= bounds.bottom) return false;  // nothing on screen
    if (mode != GL_TRIANGLE_STRIP || count != 4 || MultisampleEverything()) return true;
    // Sides outside the viewport are cut at its whole-pixel edges.
    const float vx0 = float(viewport_.X), vx1 = vx0 + float(viewport_.Width);
    const float vy0 = float(viewport_.Y), vy1 = vy0 + float(viewport_.Height);
    float x[4], y[4];
    for (int i = 0; i < 4; ++i) {
        float c[4];
        VertexToClip(uint64_t(first + i), c);
        ClipToScreen(c[0], c[1], c[3], x[i], y[i]);
        x[i] = std::clamp(x[i], vx0, vx1);
        y[i] = std::clamp(y[i], vy0, vy1);
        if (std::fabs(x[i] - std::round(x[i])) > 1e-3f || std::fabs(y[i] - std::round(y[i])) > 1e-3f)
            return true;
        x[i] = std::round(x[i]);
        y[i] = std::round(y[i]);
    }
    // A strip's two triangles make the rectangle when its first and last vertices
    // are opposite corners, and so are the middle two.
    auto opposite = [&](int a, int b) { return x[a] != x[b] && y[a] != y[b]; };
    auto corners = [&](int a, int b, int c, int d) {
        return x[a] == x[c] && y[a] == y[d] && x[b] == x[d] && y[b] == y[c];
    };
    const bool rectangle = opposite(0, 3) && opposite(1, 2) && (corners(0, 3, 1, 2) || corners(0, 3, 2, 1));
    if (!rectangle) return true;
    // Linear filtering between texels gives colours that the two targets'
    // rounding can set apart: single-sampled only where texels follow pixels
    // one to one, clear of a filter step's half.
    return FilterDiffersSingleSampled(first, count, {bounds.left, bounds.top, bounds.right, bounds.bottom});
}

// Whether a linearly filtered stage of this draw could give other colours in
// the single-sample target than in the multisampled one over `pixels`: the two
// interpolate texel positions with different float rounding, which may fall
// into different steps of the filter (FilterStepsAgree).
bool Device::FilterDiffersSingleSampled(GLint first, GLsizei count, const TileCoverage::Rect& pixels)
{
    for (int i = 0; i < kGlStages; ++i) {
        const DWORD* st = stageStates_[i];
        if (st[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
        if (!textures_[i] || textures_[i]->GetType() != D3DRTYPE_TEXTURE) continue;
        const DWORD* sampler = samplerStates_[i];
        if (sampler[D3DSAMP_MAGFILTER] < D3DTEXF_LINEAR && sampler[D3DSAMP_MINFILTER] < D3DTEXF_LINEAR)
            continue;
        const TileCoverage& size =
            static_cast<const Texture*>(static_cast<IDirect3DTexture9*>(textures_[i]))->Coverage();
        float sx[8], sy[8], ax, bx, ay, by;
        if (!TexelMap(i, first, count, float(size.Width()), float(size.Height()), sx, sy, ax, bx, ay, by))
            return true;
        if (!FilterStepsAgree(ax, bx, size.Width(), pixels.x0, pixels.x1) ||
            !FilterStepsAgree(ay, by, size.Height(), pixels.y0, pixels.y1))
            return true;
    }
    return false;
}

// An axis-aligned rectangle with sides between pixel boundaries covers only
// the pixels along those sides in part: the rest of it gives the same colours
// single-sampled. Its cells wholly inside (or outside) are drawn to the
// single-sample target, and only the cells along the sides, with those the
// multisampled target holds already, multisampled. False when the draw must
// go to the multisampled target whole: not such a rectangle, writing depth,
// nothing to leave out, or cells to multisample that touch (the rasteriser
// lets samples on a scissor edge through to both sides).
bool Device::DrawSidesMultisampled(GLenum mode, GLint first, GLsizei count, const RECT& bounds)
{
    if (mode != GL_TRIANGLE_STRIP || count != 4 || MultisampleEverything()) return false;
    if (depth_ && renderStates_[D3DRS_ZENABLE] != D3DZB_FALSE) return false;
    if (FilterDiffersSingleSampled(first, count, {bounds.left, bounds.top, bounds.right, bounds.bottom}))
        return false;
    float x[4], y[4];
    if (!StripRectangle(first, x, y)) return false;
    // Per axis, the pixels wholly inside, and those that meet the rectangle at
    // all, with a pixel of margin for rounding.
    int ix0, ix1, ox0, ox1, iy0, iy1, oy0, oy1;
    SidePixels(x[0], x[3], 1, ix0, ix1, ox0, ox1);
    SidePixels(y[0], y[3], 1, iy0, iy1, oy0, oy1);

    // Each cell of the bounds (within the viewport) the draw reaches: single-
    // sampled when all its pixels are inside, else multisampled.
    const int width = int(params_.BackBufferWidth), height = int(params_.BackBufferHeight);
    const int columns = (width + kMsCell - 1) / kMsCell, rows = (height + kMsCell - 1) / kMsCell;
    const TileCoverage::Rect v = ViewportInTarget();
    const int bx0 = std::max({int(bounds.left), v.x0, ox0}), bx1 = std::min({int(bounds.right), v.x1, ox1});
    const int by0 = std::max({int(bounds.top), v.y0, oy0}), by1 = std::min({int(bounds.bottom), v.y1, oy1});
    if (bx0 >= bx1 || by0 >= by1) return false;
    const TileCoverage::Rect none{0, 0, 0, 0};
    std::vector<TileCoverage::Rect> single(size_t(columns) * rows, none), multi(single);
    bool anySingle = false;
    for (int row = by0 / kMsCell; row <= (by1 - 1) / kMsCell; ++row)
        for (int column = bx0 / kMsCell; column <= (bx1 - 1) / kMsCell; ++column) {
            const size_t index = size_t(row) * columns + column;
            TileCoverage::Rect cell = CellRect(column, row);
            cell = {std::max(cell.x0, bx0), std::max(cell.y0, by0), std::min(cell.x1, bx1), std::min(cell.y1, by1)};
            const bool inside = cell.x0 >= ix0 && cell.x1 <= ix1 && cell.y0 >= iy0 && cell.y1 <= iy1;
            if (inside && !(msActive_ && msCells_[index])) {
                single[index] = cell;
                anySingle = true;
            } else {
                multi[index] = CellRect(column, row);
            }
        }
    if (!anySingle) return false;
    const std::vector<TileCoverage::Rect> multiRects = TileCoverage::Merge(multi, columns, rows);
    for (size_t i = 0; i < multiRects.size(); ++i)
        for (size_t j = i + 1; j < multiRects.size(); ++j) {
            const TileCoverage::Rect& a = multiRects[i];
            const TileCoverage::Rect& b = multiRects[j];
            if (a.x0 <= b.x1 && b.x0 <= a.x1 && a.y0 <= b.y1 && b.y0 <= a.y1) return false;
        }

    // The single-sample part goes to the single-sample target as it stands:
    // the cells it covers are not in the multisampled one.
    SettleUnder(bounds);
    if (!PrepareDraw()) return false;
    const bool replaces = OpaqueReplacesTarget();
    if (replaces) glDisable(GL_BLEND);
    DrawSingleSampled(mode, first, count, TileCoverage::Merge(single, columns, rows));
    if (!multiRects.empty()) {
        if (replaces) glEnable(GL_BLEND);
        for (const TileCoverage::Rect& r : multiRects) BeginMultisample(RECT{r.x0, r.y0, r.x1, r.y1});
        PrepareDraw();  // as before the copies: cannot fail now
        if (replaces) glDisable(GL_BLEND);
        BeginFillCount();
        DrawUnderScissors(mode, first, count, multiRects);
    }
    if (replaces) glEnable(GL_BLEND);
    return true;
}

void Device::BeginMultisample(const RECT& b)
{
    FlushFillCount();
    const int width = int(params_.BackBufferWidth), height = int(params_.BackBufferHeight);
    const int columns = (width + kMsCell - 1) / kMsCell, rows = (height + kMsCell - 1) / kMsCell;
    if (!msActive_) {
        msActive_ = true;
        keyDirty_ = true;
        glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
        msCells_.assign(size_t(columns) * rows, 0);
        if (msCleared_.size() != msCells_.size()) msCleared_.assign(msCells_.size(), 0);
    }
    // The cells of the bounds not in the multisampled target yet come in.
    const int x0 = std::clamp(int(b.left), 0, width), x1 = std::clamp(int(b.right), 0, width);
    const int y0 = std::clamp(int(b.top), 0, height), y1 = std::clamp(int(b.bottom), 0, height);
    if (x0 >= x1 || y0 >= y1) return;
    const TileCoverage::Rect none{0, 0, 0, 0};
    std::vector<TileCoverage::Rect> fresh(msCells_.size(), none), clear;
    if (msClearMask_) clear = fresh;
    bool any = false, anyClear = false;
    for (int row = y0 / kMsCell; row <= (y1 - 1) / kMsCell; ++row)
        for (int column = x0 / kMsCell; column <= (x1 - 1) / kMsCell; ++column) {
            const size_t index = size_t(row) * columns + column;
            if (msCells_[index]) continue;
            msCells_[index] = 1;
            fresh[index] = CellRect(column, row);
            any = true;
            if (msClearMask_ && !msCleared_[index]) {
                msCleared_[index] = 1;
                clear[index] = fresh[index];
                anyClear = true;
            }
        }
    if (!any) return;
    // The copies read these cells, and resolving writes them back whole: what
    // is held back there comes down now.
    const Rects freshRects = TileCoverage::Merge(fresh, columns, rows);
    Settle(freshRects);
    CopyToMultisample(freshRects);
    // The depth clear put off for these cells.
    if (anyClear) {
        glDepthMask(GL_TRUE);
        glClearDepth(msClearZ_);
        glClearStencil(msClearStencil_);
        glEnable(GL_SCISSOR_TEST);
        for (TileCoverage::Rect r : TileCoverage::Merge(clear, columns, rows)) {
            if (!Clamp(r)) continue;
            glScissor(r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0);
            glClear(msClearMask_);
        }
        glDisable(GL_SCISSOR_TEST);
        ApplyRenderState(D3DRS_ZWRITEENABLE);
    }
}

// A cell of the back buffer in pixels, cut at its edges.
TileCoverage::Rect Device::CellRect(int column, int row) const
{
    return TileCoverage::Rect{column * kMsCell, row * kMsCell,
                              std::min((column + 1) * kMsCell, int(params_.BackBufferWidth)),
                              std::min((row + 1) * kMsCell, int(params_.BackBufferHeight))};
}

// Each rectangle of the bound target drawn whole by a rectangle program
// (BuildRectProgram): the copy into the multisampled target, or the resolve
// out of it.
void Device::DrawPixelRects(GLuint program, GLint rectUniform, GLint sizeUniform, const Rects& rects, bool over)
{
    glUseProgram(program);
    glBindVertexArray(copyVao_);
    glDisable(GL_DEPTH_TEST);
    if (over) {
        // Premultiplied colour over the target.
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    } else {
        glDisable(GL_BLEND);
    }
    glDisable(GL_CULL_FACE);
    glViewport(0, 0, GLsizei(params_.BackBufferWidth), GLsizei(params_.BackBufferHeight));
    glUniform2f(sizeUniform, float(params_.BackBufferWidth), float(params_.BackBufferHeight));
    for (TileCoverage::Rect r : rects) {
        if (!Clamp(r)) continue;
        glUniform4f(rectUniform, float(r.x0), float(r.y0), float(r.x1), float(r.y1));
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }
    glViewport(GLint(viewport_.X), GLint(viewport_.Y), GLsizei(viewport_.Width), GLsizei(viewport_.Height));
    glBindVertexArray(vao_);
    glUseProgram(program_ ? program_->id : 0);
    for (DWORD rs : {D3DRS_ZENABLE, D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND, D3DRS_CULLMODE}) ApplyRenderState(rs);
}

// The single-sample target's pixels into every sample of the multisampled one
// (bound) over these rectangles.
void Device::CopyToMultisample(const Rects& rects)
{
    DrawPixelRects(copyProgram_, copyRect_, copySize_, rects);
    for (const TileCoverage::Rect& r : rects) CountMultisampledPixels(uint64_t(r.x1 - r.x0) * uint64_t(r.y1 - r.y0));
}

// Back to single-sample drawing: the cells drawn multisampled resolved into
// the frame. Drawn in one pass over the single-sample target, not blitted
// cell by cell: llvmpipe finishes every queued draw at each blit.
void Device::EndMultisample()
{
    if (!msActive_) return;
    FlushFillCount();
    const int columns = (int(params_.BackBufferWidth) + kMsCell - 1) / kMsCell;
    const int rows = (int(params_.BackBufferHeight) + kMsCell - 1) / kMsCell;
    const TileCoverage::Rect none{0, 0, 0, 0};
    std::vector<TileCoverage::Rect> cells(msCells_.size(), none);
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column)
            if (msCells_[size_t(row) * columns + column])
                cells[size_t(row) * columns + column] = CellRect(column, row);
    glBindFramebuffer(GL_FRAMEBUFFER, resolveFbo_);
    DrawPixelRects(resolveProgram_, resolveRect_, resolveSize_, TileCoverage::Merge(cells, columns, rows));
    msActive_ = false;
    keyDirty_ = true;
}

}  // namespace d3d9
