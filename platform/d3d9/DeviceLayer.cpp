// A kept layer of meshes in recorded frames. A run of mesh draws that each
// replace what they cover (opaque, with the alpha of 1 that source-alpha
// blending needs) resolves, over whatever b was drawn behind it, to
// P + (1 - a) * b in each pixel: P the colours of the samples they cover,
// summed and divided by the samples a pixel has, and a the share of samples
// covered. Drawn alone into the multisampled target cleared to transparent
// black, the run resolves to exactly (P, a): the layer. While the run stays
// the same from frame to frame, its layer is laid over what is drawn behind it
// instead of the run being drawn multisampled again: a still 3D object in
// front of pictures that change costs one blended rectangle. Kept in 8 bits, a
// pixel comes out at most one away in a channel from the run drawn again.
#include <algorithm>

#include "platform/d3d9/D3d9Stats.h"
#include "platform/d3d9/DeviceImpl.h"
#include "platform/d3d9/Shaders.h"
#include "platform/d3d9/StatsInternal.h"

namespace d3d9 {

// The frame's first run of mesh draws, when it can be laid as a layer: every
// draw of it replaces what it covers, and every other draw that reaches its
// cells (the first clear aside) is a rectangle on whole pixels, drawn single
// sampled, which neither reads the run's samples nor leaves samples of its own
// for the run to cover.
bool Device::FindLayerRun(size_t& first, size_t& end, TileCoverage::Rect& cells)
{
    if (samples_ == 0 || MultisampleEverything()) return false;
    first = 0;
    while (first < recorded_.size() && recorded_[first].kind != RecordedOp::kDrawIndexed) ++first;
    if (first == recorded_.size()) return false;
    const int width = int(params_.BackBufferWidth), height = int(params_.BackBufferHeight);
    TileCoverage::Rect bounds{width, height, 0, 0};
    for (end = first; end < recorded_.size() && recorded_[end].kind == RecordedOp::kDrawIndexed; ++end) {
        ApplyState(recorded_[end].state);
        if (!PrepareDraw() || !OpaqueReplacesTarget() || (renderStates_[D3DRS_COLORWRITEENABLE] & 0xF) != 0xF)
            return false;
        const TileCoverage::Rect& b = record_.Bounds(end);
        if (b.Empty()) continue;
        bounds = {std::min(bounds.x0, b.x0), std::min(bounds.y0, b.y0), std::max(bounds.x1, b.x1),
                  std::max(bounds.y1, b.y1)};
    }
    bounds = TileCoverage::Intersect(bounds, {0, 0, width, height});
    if (bounds.Empty()) return false;
    // Whole cells of the multisampled target, so that nothing else drawn there shares one.
    cells = {bounds.x0 / kMsCell * kMsCell, bounds.y0 / kMsCell * kMsCell,
             std::min((bounds.x1 + kMsCell - 1) / kMsCell * kMsCell, width),
             std::min((bounds.y1 + kMsCell - 1) / kMsCell * kMsCell, height)};
    for (size_t k = 1; k < recorded_.size(); ++k) {
        if ((k >= first && k < end) || TileCoverage::Intersect(record_.Bounds(k), cells).Empty()) continue;
        const RecordedOp& op = recorded_[k];
        if (op.kind != RecordedOp::kDraw) return false;
        ApplyState(op.state);
        RECT b;
        if (NeedsSamples(op.mode, GLint(op.start), op.count, b)) return false;
    }
    return true;
}

// Whether the layer holds this run: the same draws, after the same clear, as
// the run it was made of in the previous recorded frame.
bool Device::LayerHolds(size_t first, size_t end, const TileCoverage::Rect& cells) const
{
    if (!layerHeld_ || end - first != layerCount_ || cells != layerCells_) return false;
    if (!record_.SameOp(0, lastRecord_, 0)) return false;
    for (size_t k = 0; k < layerCount_; ++k)
        if (!record_.SameOp(first + k, lastRecord_, layerFirst_ + k)) return false;
    return true;
}

// The run drawn alone into the multisampled target over its cells, cleared to
// transparent black and the depth of the frame's first clear, and resolved
// into the layer.
void Device::MakeLayer(size_t first, size_t end, const TileCoverage::Rect& cells)
{
    // What is held back there comes down first: drawing it later would set
    // the single-sample target up again in the middle of the run.
    SettleUnder(RECT{cells.x0, cells.y0, cells.x1, cells.y1});
    EndMultisample();
    const GLsizei width = GLsizei(params_.BackBufferWidth), height = GLsizei(params_.BackBufferHeight);
    if (!layerFbo_) {
        glGenFramebuffers(1, &layerFbo_);
        glGenTextures(1, &layerColor_);
        CountGlObject(2);
        glActiveTexture(GL_TEXTURE0 + kCopyUnit);
        glBindTexture(GL_TEXTURE_2D, layerColor_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glBindTexture(GL_TEXTURE_2D, resolveColor_);
        glBindFramebuffer(GL_FRAMEBUFFER, layerFbo_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, layerColor_, 0);
    }
    // The run's cells in the multisampled target, as BeginMultisample would
    // take them, but cleared instead of copied in.
    const int columns = (int(width) + kMsCell - 1) / kMsCell, rows = (int(height) + kMsCell - 1) / kMsCell;
    msActive_ = true;
    keyDirty_ = true;
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    msCells_.assign(size_t(columns) * rows, 0);
    if (msCleared_.size() != msCells_.size()) msCleared_.assign(msCells_.size(), 0);
    auto markCells = [&](uint8_t on) {
        for (int row = cells.y0 / kMsCell; row < (cells.y1 + kMsCell - 1) / kMsCell; ++row)
            for (int column = cells.x0 / kMsCell; column < (cells.x1 + kMsCell - 1) / kMsCell; ++column) {
                msCells_[size_t(row) * columns + column] = on;
                msCleared_[size_t(row) * columns + column] = 0;  // the run's depth is there afterwards
            }
    };
    markCells(1);
    glEnable(GL_SCISSOR_TEST);
    glScissor(cells.x0, cells.y0, cells.x1 - cells.x0, cells.y1 - cells.y0);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glClearColor(0, 0, 0, 0);
    const RecordedOp& clear = recorded_[0];  // the frame's first clear
    glClearDepth(clear.z);
    glClearStencil(GLint(clear.stencil));
    glClear(GL_COLOR_BUFFER_BIT | (clear.mask & (GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT)));
    glDisable(GL_SCISSOR_TEST);
    ApplyRenderState(D3DRS_ZWRITEENABLE);

    // Drawn whole, whatever part of the frame is being drawn: the layer serves
    // the frames after this one too. Only the multisampled target is written,
    // alpha too, where a back buffer without alpha keeps it at 1.
    const bool wasClamping = clamping_;
    clamping_ = false;
    for (size_t k = first; k < end; ++k) {
        const RecordedOp& op = recorded_[k];
        ApplyState(op.state);
        DrawIndexedNow(op.mode, op.base, op.minIndex, op.numVertices, op.start, op.count, op.indexSize);
    }
    FlushFillCount();
    glBindFramebuffer(GL_FRAMEBUFFER, layerFbo_);
    DrawPixelRects(resolveProgram_, resolveRect_, resolveSize_, {cells});
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, params_.BackBufferFormat == D3DFMT_A8R8G8B8);
    clamping_ = wasClamping;
    markCells(0);
    msActive_ = false;
    keyDirty_ = true;
    glBindFramebuffer(GL_FRAMEBUFFER, resolveFbo_);
    layerCells_ = cells;
}

// The layer laid over the single-sample target within the part being drawn.
void Device::DrawLayer(const TileCoverage::Rect& cells)
{
    EndMultisample();
    SettleUnder(RECT{cells.x0, cells.y0, cells.x1, cells.y1});
    FlushFillCount();
    BeginFillCount(true);
    glActiveTexture(GL_TEXTURE0 + kCopyUnit);
    glBindTexture(GL_TEXTURE_2D, layerColor_);
    DrawPixelRects(copyProgram_, copyRect_, copySize_, {cells}, true);
    glBindTexture(GL_TEXTURE_2D, resolveColor_);
    FlushFillCount();
}

}  // namespace d3d9
