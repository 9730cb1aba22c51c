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
            // Whether any texel shows and whether all are opaque; both known
            // once a texel showing and one not opaque were seen.
            bool any = false, all = true;
            for (int y = ty0; y < ty1 && (all || !any); ++y) {
                const uint8_t* p = bgra + size_t(y) * size_t(pitch) + size_t(tx0) * 4 + 3;
                for (int x = tx0; x < tx1; ++x, p += 4) {
                    any = any || *p != 0;
                    all = all && *p == 255;
                }
            }
            uint8_t& tile = tiles_[size_t(row) * columns_ + column];
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

std::vector<TileCoverage::Rect> TileCoverage::Merge(const std::vector<uint8_t>& grid, int columns, int rows)
{
    auto set = [&](int column, int row) { return grid[size_t(row) * columns + column] != 0; };
    std::vector<Rect> done;
    std::vector<Rect> open;  // runs still growing downwards
    for (int row = 0; row <= rows; ++row) {
        std::vector<Rect> next;
        for (int column = 0; row < rows && column < columns;) {
            if (!set(column, row)) {
                ++column;
                continue;
            }
            int end = column;
            while (end < columns && set(end, row)) ++end;
            Rect run{column, row, end, row + 1};
            for (Rect& r : open)
                if (r.x0 == run.x0 && r.x1 == run.x1) {
                    run.y0 = r.y0;
                    r.x0 = r.x1 = -1;  // continued by this run
                    break;
                }
            next.push_back(run);
            column = end;
        }
        for (const Rect& r : open)
            if (r.x0 >= 0) done.push_back(r);
        open = std::move(next);
    }
    return done;
}

}  // namespace d3d9
