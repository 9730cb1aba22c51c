// Frames drawn again only where they changed. A frame that starts with a clear
// of the whole viewport (colour, and depth and stencil where there are any) is
// recorded instead of drawn: each clear and draw with the states it was given.
// At Present it is compared with the previous frame (FrameRecord), and drawn
// over the rectangles where the two can differ, pass by pass, every write kept
// inside the pass's rectangle; the target keeps the previous frame elsewhere,
// which is what this frame would have drawn there.
#include <algorithm>
#include <cstring>

#include "platform/d3d9/D3d9Stats.h"
#include "platform/d3d9/DeviceImpl.h"

namespace d3d9 {

namespace {

// Drawn again over more than this share of the target, the frame is drawn
// whole, in one pass without scissors.
constexpr double kWholeShare = 0.5;
// The rectangles to draw again are widened to cells of this side and joined:
// each pass goes through every draw that reaches it, so a few larger passes
// cost less than many slivers.
constexpr int kPassCell = 32;

// The cells of side kPassCell that the rectangles meet, as few rectangles.
std::vector<TileCoverage::Rect> PassesOver(const std::vector<TileCoverage::Rect>& rects, int width,
                                           int height)
{
    const int columns = (width + kPassCell - 1) / kPassCell, rows = (height + kPassCell - 1) / kPassCell;
    std::vector<TileCoverage::Rect> cells(size_t(columns) * rows, TileCoverage::Rect{0, 0, 0, 0});
    for (const TileCoverage::Rect& r : rects) {
        const TileCoverage::Rect in = TileCoverage::Intersect(r, {0, 0, width, height});
        if (in.Empty()) continue;
        for (int row = in.y0 / kPassCell; row <= (in.y1 - 1) / kPassCell; ++row)
            for (int column = in.x0 / kPassCell; column <= (in.x1 - 1) / kPassCell; ++column)
                cells[size_t(row) * columns + column] = {column * kPassCell, row * kPassCell,
                                                         std::min((column + 1) * kPassCell, width),
                                                         std::min((row + 1) * kPassCell, height)};
    }
    return TileCoverage::Merge(cells, columns, rows);
}

}  // namespace

bool Device::StartsRecord(DWORD count, const D3DRECT* rects, GLbitfield mask) const
{
    if (RedrawEverything() || (count > 0 && rects)) return false;
    if (!(mask & GL_COLOR_BUFFER_BIT) || (depth_ && !(mask & GL_DEPTH_BUFFER_BIT))) return false;
    return depthFormat_ != GL_DEPTH24_STENCIL8 || (mask & GL_STENCIL_BUFFER_BIT);
}

// A clear into the record, with the pixels it changes.
void Device::RecordClear(DWORD count, const D3DRECT* rects, GLbitfield mask, D3DCOLOR color, float z,
                         DWORD stencil)
{
    RecordedOp op{};
    op.kind = RecordedOp::kClear;
    if (count > 0 && rects) op.rects.assign(rects, rects + count);
    op.mask = mask;
    op.color = color;
    op.z = z;
    op.stencil = stencil;
    SaveState(op.state);
    // A clear depends on nothing but its values, its rectangles and the viewport.
    const int vx0 = int(viewport_.X), vy0 = int(viewport_.Y);
    const int vx1 = vx0 + int(viewport_.Width), vy1 = vy0 + int(viewport_.Height);
    TileCoverage::Rect bounds{vx0, vy0, vx1, vy1};
    if (!op.rects.empty()) {
        TileCoverage::Rect around{vx1, vy1, vx0, vy0};
        for (const D3DRECT& r : op.rects)
            around = {std::min(around.x0, int(r.x1)), std::min(around.y0, int(r.y1)),
                      std::max(around.x1, int(r.x2)), std::max(around.y1, int(r.y2))};
        bounds = TileCoverage::Intersect(bounds, around);
    }
    record_.Begin(bounds);
    record_.Key(&op.kind, sizeof op.kind);
    record_.Key(&mask, sizeof mask);
    record_.Key(&color, sizeof color);
    record_.Key(&z, sizeof z);
    record_.Key(&stencil, sizeof stencil);
    record_.Key(&viewport_, sizeof viewport_);
    if (!op.rects.empty()) record_.Key(op.rects.data(), op.rects.size() * sizeof(D3DRECT));
    recorded_.push_back(std::move(op));
}

// A draw into the record: its states, its key (everything it depends on: the
// states, the call, and the content of the buffers and textures it reads) and
// the pixels it can change.
HRESULT Device::RecordDraw(RecordedOp& op, uint64_t firstVertex, uint64_t vertices)
{
    if (!(fvf_ & D3DFVF_XYZ)) return D3DERR_INVALIDCALL;  // as drawing it would answer
    if (activeDevice != this) Activate();
    RECT b;
    ScreenBounds(firstVertex, vertices, b);
    record_.Begin(TileCoverage::Rect{int(b.left), int(b.top), int(b.right), int(b.bottom)});
    SaveState(keyState_);
    op.state = keyState_;
    record_.Key(&keyState_, sizeof keyState_);
    record_.Key(&op.kind, sizeof op.kind);
    record_.Key(&op.mode, sizeof op.mode);
    record_.Key(&op.count, sizeof op.count);
    record_.Key(&op.base, sizeof op.base);
    record_.Key(&op.minIndex, sizeof op.minIndex);
    record_.Key(&op.numVertices, sizeof op.numVertices);
    record_.Key(&op.start, sizeof op.start);
    uint64_t serials[kStages + 2] = {stream_ ? stream_->Serial() : 0, indices_ ? indices_->Serial() : 0};
    for (int s = 0; s < kStages; ++s)
        if (textures_[s] && textures_[s]->GetType() == D3DRTYPE_TEXTURE)
            serials[s + 2] = static_cast<Texture*>(static_cast<IDirect3DTexture9*>(textures_[s]))->Serial();
    record_.Key(serials, sizeof serials);
    recorded_.push_back(std::move(op));
    return D3D_OK;
}

// At Present: the record drawn where it can differ from the previous frame,
// and kept for the next one.
Device::Rects Device::FinishRecord()
{
    recording_ = false;
    const int width = int(params_.BackBufferWidth), height = int(params_.BackBufferHeight);
    const TileCoverage::Rect whole{0, 0, width, height};
    // The first clear may reach only the viewport (a screen with bands around
    // the picture): pixels outside it keep what the previous frame left, so an
    // operation reaching them would not give the same pixels twice.
    bool inside = true;
    const TileCoverage::Rect& cleared = record_.Bounds(0);
    for (size_t i = 1; i < record_.Size(); ++i) {
        const TileCoverage::Rect& b = record_.Bounds(i);
        if (!b.Empty() && (b.x0 < cleared.x0 || b.y0 < cleared.y0 || b.x1 > cleared.x1 || b.y1 > cleared.y1))
            inside = false;
    }
    Rects passes = lastFrameKept_ && inside ? PassesOver(record_.Damage(lastRecord_), width, height) : Rects{whole};
    uint64_t area = 0;
    for (const TileCoverage::Rect& r : passes) area += uint64_t(r.x1 - r.x0) * uint64_t(r.y1 - r.y0);
    if (double(area) > kWholeShare * double(width) * double(height)) passes = {whole};
    ReplayRecord(passes, true);
    std::swap(record_, lastRecord_);
    lastFrameKept_ = inside;
    return passes;
}

// Something a recorded draw reads is about to change: the record is drawn
// whole now, and the rest of the frame as it comes.
void Device::FlushRecord()
{
    recording_ = false;
    ReplayRecord(Rects{{0, 0, int(params_.BackBufferWidth), int(params_.BackBufferHeight)}});
    lastFrameKept_ = false;
}

// Drawn over each pass in turn; with `layers`, a run of meshes that can be
// laid as a layer (DeviceLayer.cpp) is, made again only where it changed.
void Device::ReplayRecord(const Rects& passes, bool layers)
{
    DrawState current;
    SaveState(current);
    replaying_ = true;
    size_t layerFirst = 0, layerEnd = 0;
    TileCoverage::Rect layerCells{0, 0, 0, 0};
    const bool layered = layers && FindLayerRun(layerFirst, layerEnd, layerCells);
    bool layerMade = layered && LayerHolds(layerFirst, layerEnd, layerCells);
    const TileCoverage::Rect whole{0, 0, int(params_.BackBufferWidth), int(params_.BackBufferHeight)};
    for (const TileCoverage::Rect& pass : passes) {
        if (pass.Empty()) continue;
        clamping_ = pass.x0 > 0 || pass.y0 > 0 || pass.x1 < whole.x1 || pass.y1 < whole.y1;
        clamp_ = pass;
        for (size_t i = 0; i < recorded_.size(); ++i) {
            if (layered && i == layerFirst) {
                if (!TileCoverage::Intersect(layerCells, pass).Empty()) {
                    if (!layerMade) MakeLayer(layerFirst, layerEnd, layerCells);
                    layerMade = true;
                    DrawLayer(layerCells);
                }
                i = layerEnd - 1;
                continue;
            }
            if (TileCoverage::Intersect(record_.Bounds(i), pass).Empty()) continue;
            const RecordedOp& op = recorded_[i];
            ApplyState(op.state);
            switch (op.kind) {
            case RecordedOp::kClear:
                ClearNow(DWORD(op.rects.size()), op.rects.empty() ? nullptr : op.rects.data(), op.mask,
                         op.color, op.z, op.stencil);
                break;
            case RecordedOp::kDraw:
                DrawNow(op.mode, GLint(op.start), op.count);
                break;
            case RecordedOp::kDrawIndexed:
                DrawIndexedNow(op.mode, op.base, op.minIndex, op.numVertices, op.start, op.count,
                               op.indexSize);
                break;
            }
        }
        EndMultisample();
    }
    clamping_ = false;
    replaying_ = false;
    if (layers) {
        layerHeld_ = layerMade;
        layerFirst_ = layerFirst;
        layerCount_ = layerEnd - layerFirst;
    }
    recorded_.clear();
    ApplyState(current);
}

// The device brought to a saved state through its own setters, which leave
// alone what is already so.
void Device::ApplyState(const DrawState& s)
{
    for (DWORD i = 0; i < kRenderStates; ++i) SetRenderState(D3DRENDERSTATETYPE(i), s.renderStates[i]);
    for (DWORD stage = 0; stage < kStages; ++stage) {
        for (DWORD type = 0; type < 33; ++type)
            SetTextureStageState(stage, D3DTEXTURESTAGESTATETYPE(type), s.stageStates[stage][type]);
        for (DWORD type = 0; type < 14; ++type)
            SetSamplerState(stage, D3DSAMPLERSTATETYPE(type), s.samplerStates[stage][type]);
        SetTexture(stage, s.textures[stage]);
    }
    auto transform = [this](D3DTRANSFORMSTATETYPE type, const D3DMATRIX& now, const D3DMATRIX& saved) {
        if (std::memcmp(&now, &saved, sizeof saved) != 0) SetTransform(type, &saved);
    };
    transform(D3DTS_WORLD, world_, s.world);
    transform(D3DTS_VIEW, view_, s.view);
    transform(D3DTS_PROJECTION, projection_, s.projection);
    for (int stage = 0; stage < kStages; ++stage)
        transform(D3DTRANSFORMSTATETYPE(D3DTS_TEXTURE0 + stage), textureMatrix_[stage],
                  s.textureMatrix[stage]);
    if (std::memcmp(&viewport_, &s.viewport, sizeof s.viewport) != 0) SetViewport(&s.viewport);
    if (std::memcmp(&material_, &s.material, sizeof s.material) != 0) SetMaterial(&s.material);
    if (std::memcmp(&light_, &s.light, sizeof s.light) != 0) SetLight(0, &s.light);
    LightEnable(0, s.lightEnabled);
    SetFVF(s.fvf);
    SetStreamSource(0, s.stream, s.streamOffset, s.streamStride);
    SetIndices(s.indices);
}

bool Device::Clamp(TileCoverage::Rect& r) const
{
    if (clamping_) r = TileCoverage::Intersect(r, clamp_);
    return !r.Empty();
}

void Device::BeginClamp()
{
    if (!clamping_) return;
    glEnable(GL_SCISSOR_TEST);
    glScissor(clamp_.x0, clamp_.y0, clamp_.x1 - clamp_.x0, clamp_.y1 - clamp_.y0);
}

void Device::EndClamp()
{
    if (clamping_) glDisable(GL_SCISSOR_TEST);
}

}  // namespace d3d9
