// Held-back replacing draws: the parts of an opaque picture that a later
// opaque picture covered in the previous frame wait until something needs
// them, so that the pixels both would draw are drawn once.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/d3d9/DeviceImpl.h"

namespace d3d9 {

void Device::SaveState(DrawState& s) const
{
    std::memcpy(s.renderStates, renderStates_, sizeof renderStates_);
    std::memcpy(s.stageStates, stageStates_, sizeof stageStates_);
    std::memcpy(s.samplerStates, samplerStates_, sizeof samplerStates_);
    s.world = world_;
    s.view = view_;
    s.projection = projection_;
    std::copy(textureMatrix_, textureMatrix_ + kStages, s.textureMatrix);
    s.viewport = viewport_;
    s.material = material_;
    s.light = light_;
    s.lightEnabled = lightEnabled_;
    std::copy(textures_, textures_ + kStages, s.textures);
    s.stream = stream_;
    s.streamOffset = streamOffset_;
    s.streamStride = streamStride_;
    s.indices = indices_;
    s.fvf = fvf_;
}

// The states as saved; Activate then brings GL in line with them.
void Device::RestoreState(const DrawState& s)
{
    std::memcpy(renderStates_, s.renderStates, sizeof renderStates_);
    std::memcpy(stageStates_, s.stageStates, sizeof stageStates_);
    std::memcpy(samplerStates_, s.samplerStates, sizeof samplerStates_);
    world_ = s.world;
    view_ = s.view;
    projection_ = s.projection;
    std::copy(s.textureMatrix, s.textureMatrix + kStages, textureMatrix_);
    viewport_ = s.viewport;
    material_ = s.material;
    light_ = s.light;
    lightEnabled_ = s.lightEnabled;
    std::copy(s.textures, s.textures + kStages, textures_);
    stream_ = s.stream;
    streamOffset_ = s.streamOffset;
    streamStride_ = s.streamStride;
    indices_ = s.indices;
    fvf_ = s.fvf;
}

// The pixels a rectangle drawn as a four-vertex strip certainly writes: those
// whose sample point lies inside it, for the single-sample target's sample
// point (1/128 after the pixel's corner) and the multisampled programs' (its
// centre) alike, within the viewport. False for any other shape.
bool Device::CoveredPixels(GLint first, GLsizei count, TileCoverage::Rect& inner)
{
    float x[4], y[4];
    if (count != 4 || !StripRectangle(first, x, y) || x[0] == x[3] || y[0] == y[3]) return false;
    auto span = [](float a, float b, int lo, int hi, int& p0, int& p1) {
        const double from = std::min(a, b), to = std::max(a, b);
        p0 = int(std::clamp(std::ceil(from + 1e-3 - 1.0 / 128), double(lo), double(hi)));
        p1 = int(std::clamp(std::floor(to - 1e-3 - 0.5) + 1, double(lo), double(hi)));
    };
    const TileCoverage::Rect v = ViewportInTarget();
    span(x[0], x[3], v.x0, v.x1, inner.x0, inner.x1);
    span(y[0], y[3], v.y0, v.y1, inner.y0, inner.y1);
    return !inner.Empty();
}

// A replacing draw's rectangles: those a later replacing draw covered in the
// previous frame are held back, the rest returned to be drawn now. covered
// holds the pixels this draw certainly writes, for the next frame.
Device::Rects Device::HoldBack(GLenum mode, GLint first, GLsizei count, const Rects& replaced, const Rects& covered)
{
    // A frame drawn again over some rectangles goes through its draws once a
    // rectangle: their places would not match the previous frame's.
    if (clamping_) return replaced;
    const int place = replacingDraws_++;
    for (const TileCoverage::Rect& c : covered) covered_.emplace_back(place, c);
    // Drawn later, a draw tested against depth could meet other depths.
    if (depth_ && renderStates_[D3DRS_ZENABLE] != D3DZB_FALSE) return replaced;
    Rects hold;
    for (const auto& [later, rect] : lastCovered_) {
        if (later <= place) continue;
        for (const TileCoverage::Rect& r : replaced) {
            TileCoverage::AddApart(hold, TileCoverage::Intersect(r, rect));
        }
    }
    if (hold.empty()) return replaced;
    HeldDraw draw;
    SaveState(draw.state);
    draw.mode = mode;
    draw.first = first;
    draw.count = count;
    draw.rects = hold;
    held_.push_back(std::move(draw));
    return TileCoverage::CutAll(replaced, hold);
}

// A replacing draw writes these pixels: what was held back there is not needed.
void Device::Cover(const Rects& covered)
{
    for (HeldDraw& draw : held_) draw.rects = TileCoverage::CutAll(draw.rects, covered);
    DropSettled();
}

// Draws what is held back within region, oldest first, as it was meant to be
// drawn. True when anything was drawn: the current draw must prepare again.
bool Device::Settle(const Rects& region)
{
    bool drew = false;
    for (HeldDraw& draw : held_) {
        Rects now;
        for (const TileCoverage::Rect& r : draw.rects)
            for (const TileCoverage::Rect& g : region) TileCoverage::AddApart(now, TileCoverage::Intersect(r, g));
        if (now.empty()) continue;
        draw.rects = TileCoverage::CutAll(draw.rects, now);
        Replay(draw, now);
        drew = true;
    }
    if (drew) DropSettled();
    return drew;
}

// Held draws with nothing left to draw go.
void Device::DropSettled()
{
    held_.erase(std::remove_if(held_.begin(), held_.end(), [](const HeldDraw& d) { return d.rects.empty(); }),
                held_.end());
}

void Device::SettleAll()
{
    for (HeldDraw& draw : held_) Replay(draw, draw.rects);
    held_.clear();
}

// A held draw over rects, with its own states, into the single-sample target
// it was meant for; then the current states again.
void Device::Replay(HeldDraw& draw, const Rects& rects)
{
    const bool counting = fillCounting_;
    FlushFillCount();
    const bool multisampling = msActive_;
    DrawState current;
    SaveState(current);
    RestoreState(draw.state);
    msActive_ = false;
    Activate();
    if (PrepareDraw()) {
        BeginFillCount();
        glDisable(GL_BLEND);
        DrawUnderScissors(draw.mode, draw.first, draw.count, rects);
        FlushFillCount();
    }
    msActive_ = multisampling;
    RestoreState(current);
    Activate();
    if (counting) BeginFillCount();
}

// At Present: everything held is drawn, and this frame's covered pixels
// predict the next frame's.
void Device::EndHeldFrame()
{
    SettleAll();
    lastCovered_.swap(covered_);
    covered_.clear();
    replacingDraws_ = 0;
}

void Device::BeforeChange(const void* resource)
{
    if (recording_)
        for (const RecordedOp& op : recorded_) {
            const DrawState& s = op.state;
            if (op.kind != RecordedOp::kClear &&
                (s.stream == resource || s.indices == resource ||
                 std::find(s.textures, s.textures + kStages, resource) != s.textures + kStages)) {
                FlushRecord();
                break;
            }
        }
    for (const HeldDraw& draw : held_) {
        const DrawState& s = draw.state;
        if (s.stream == resource || std::find(s.textures, s.textures + kStages, resource) != s.textures + kStages) {
            SettleAll();
            return;
        }
    }
}

}  // namespace d3d9
