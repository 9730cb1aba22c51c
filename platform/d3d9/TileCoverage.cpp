#include "platform/d3d9/TileCoverage.h"

#include <algorithm>

namespace d3d9 {

void TileCoverage::Reset(int width, int height, bool covered, bool opaque)
{
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    columns_ = (width_ + kTile - 1) / kTile;
    rows_ = (height_ + kTile - 1) / kTile;
    const uint8_t tile = opaque ? kOpaque : covered ? kShowing : kClear;
    tiles_.assign(size_t(columns_) * rows_, tile);
    const Box box = tile != kClear ? Box{0, 0, kTile, kTile} : Box{0, 0, 0, 0};
    boxes_.assign(tiles_.size(), box);
    coveredTiles_ = tile != kClear ? columns_ * rows_ : 0;
    opaqueTiles_ = tile == kOpaque ? columns_ * rows_ : 0;
}

void TileCoverage::Update(const uint8_t* bgra, int pitch, int x0, int y0, int x1, int y1, bool whole)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width_);
    y1 = std::min(y1, height_);
    if (x0 >= x1 || y0 >= y1) return;
    for (int row = y0 / kTile; row <= (y1 - 1) / kTile; ++row)
        for (int column = x0 / kTile; column <= (x1 - 1) / kTile; ++column) {
            // The texels to look at: the whole tile when they are all known.
            int tx0 = column * kTile, ty0 = row * kTile;
            int tx1 = std::min(tx0 + kTile, width_), ty1 = std::min(ty0 + kTile, height_);
            const bool replace = whole || (tx0 >= x0 && ty0 >= y0 && tx1 <= x1 && ty1 <= y1);
            if (!whole) {
                tx0 = std::max(tx0, x0);
                ty0 = std::max(ty0, y0);
                tx1 = std::min(tx1, x1);
                ty1 = std::min(ty1, y1);
            }
            // Whether all texels are opaque, and the box of those that show.
            bool all = true;
            int bx0 = tx1, by0 = ty1, bx1 = tx0, by1 = ty0;
            for (int y = ty0; y < ty1; ++y) {
                const uint8_t* p = bgra + size_t(y) * size_t(pitch) + size_t(tx0) * 4 + 3;
                for (int x = tx0; x < tx1; ++x, p += 4) {
                    all = all && *p == 255;
                    if (*p != 0) {
                        bx0 = std::min(bx0, x);
                        bx1 = std::max(bx1, x + 1);
                        by0 = std::min(by0, y);
                        by1 = std::max(by1, y + 1);
                    }
                }
            }
            const bool any = bx0 < bx1;
            const size_t index = size_t(row) * columns_ + column;
            uint8_t& tile = tiles_[index];
            Box& box = boxes_[index];
            const int left = column * kTile, top = row * kTile;
            if (any) {
                Box seen{uint8_t(bx0 - left), uint8_t(by0 - top), uint8_t(bx1 - left), uint8_t(by1 - top)};
                // Only part of the tile seen: the texels it showed may still be there.
                if (!replace && tile != kClear) {
                    seen.x0 = std::min(seen.x0, box.x0);
                    seen.y0 = std::min(seen.y0, box.y0);
                    seen.x1 = std::max(seen.x1, box.x1);
                    seen.y1 = std::max(seen.y1, box.y1);
                }
                box = seen;
            } else if (replace) {
                box = Box{0, 0, 0, 0};
            }
            uint8_t now;
            if (replace) now = all ? kOpaque : any ? kShowing : kClear;
            else now = (tile == kOpaque && all) ? kOpaque : (any || tile != kClear) ? kShowing : kClear;
            coveredTiles_ += int(now != kClear) - int(tile != kClear);
            opaqueTiles_ += int(now == kOpaque) - int(tile == kOpaque);
            tile = now;
        }
}

bool TileCoverage::AnyCovered(int c0, int r0, int c1, int r1) const
{
    c0 = std::max(c0, 0);
    r0 = std::max(r0, 0);
    c1 = std::min(c1, columns_ - 1);
    r1 = std::min(r1, rows_ - 1);
    for (int row = r0; row <= r1; ++row)
        for (int column = c0; column <= c1; ++column)
            if (Covered(column, row)) return true;
    return false;
}

bool TileCoverage::AllOpaque(int c0, int r0, int c1, int r1) const
{
    c0 = std::max(c0, 0);
    r0 = std::max(r0, 0);
    c1 = std::min(c1, columns_ - 1);
    r1 = std::min(r1, rows_ - 1);
    if (c0 > c1 || r0 > r1) return false;
    for (int row = r0; row <= r1; ++row)
        for (int column = c0; column <= c1; ++column)
            if (tiles_[size_t(row) * columns_ + column] != kOpaque) return false;
    return true;
}

TileCoverage::Rect TileCoverage::ShowingBox(int c0, int r0, int c1, int r1) const
{
    c0 = std::max(c0, 0);
    r0 = std::max(r0, 0);
    c1 = std::min(c1, columns_ - 1);
    r1 = std::min(r1, rows_ - 1);
    Rect box{width_, height_, 0, 0};
    for (int row = r0; row <= r1; ++row)
        for (int column = c0; column <= c1; ++column) {
            const size_t index = size_t(row) * columns_ + column;
            if (tiles_[index] == kClear) continue;
            const Box& b = boxes_[index];
            box.x0 = std::min(box.x0, column * kTile + b.x0);
            box.y0 = std::min(box.y0, row * kTile + b.y0);
            box.x1 = std::max(box.x1, column * kTile + b.x1);
            box.y1 = std::max(box.y1, row * kTile + b.y1);
        }
    return box;
}

std::vector<TileCoverage::Rect> TileCoverage::Merge(const std::vector<Rect>& cells, int columns, int rows)
{
    std::vector<Rect> done;
    std::vector<Rect> open;  // runs still growing downwards
    for (int row = 0; row <= rows; ++row) {
        std::vector<Rect> next;
        for (int column = 0; row < rows && column < columns; ++column) {
            const Rect& cell = cells[size_t(row) * columns + column];
            if (cell.Empty()) continue;
            if (!next.empty()) {
                Rect& last = next.back();
                if (last.x1 == cell.x0 && last.y0 == cell.y0 && last.y1 == cell.y1) {
                    last.x1 = cell.x1;
                    continue;
                }
            }
            next.push_back(cell);
        }
        for (Rect& run : next)
            for (Rect& r : open)
                if (r.x0 == run.x0 && r.x1 == run.x1 && r.y1 == run.y0) {
                    run.y0 = r.y0;
                    r.x0 = r.x1 = 0;  // continued by this run
                    break;
                }
        for (const Rect& r : open)
            if (!r.Empty()) done.push_back(r);
        open = std::move(next);
    }
    return done;
}

TileCoverage::Rect TileCoverage::Intersect(const Rect& a, const Rect& b)
{
    return Rect{std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

void TileCoverage::Cut(const Rect& r, const Rect& hole, std::vector<Rect>& out)
{
    if (r.Empty()) return;
    const Rect h = Intersect(r, hole);
    if (h.Empty()) {
        out.push_back(r);
        return;
    }
    // The rows above and below the hole, then the parts beside it.
    if (r.y0 < h.y0) out.push_back(Rect{r.x0, r.y0, r.x1, h.y0});
    if (h.y1 < r.y1) out.push_back(Rect{r.x0, h.y1, r.x1, r.y1});
    if (r.x0 < h.x0) out.push_back(Rect{r.x0, h.y0, h.x0, h.y1});
    if (h.x1 < r.x1) out.push_back(Rect{h.x1, h.y0, r.x1, h.y1});
}

void TileCoverage::AddApart(std::vector<Rect>& set, const Rect& r)
{
    if (r.Empty()) return;
    for (const Rect& piece : CutAll(std::vector<Rect>{r}, set)) set.push_back(piece);
}

std::vector<TileCoverage::Rect> TileCoverage::CutAll(const std::vector<Rect>& rects, const std::vector<Rect>& holes)
{
    std::vector<Rect> left = rects, next;
    for (const Rect& hole : holes) {
        next.clear();
        for (const Rect& r : left) Cut(r, hole, next);
        left.swap(next);
    }
    return left;
}

}  // namespace d3d9
