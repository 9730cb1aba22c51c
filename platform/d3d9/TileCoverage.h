// Which square tiles of a picture hold a texel that can show (alpha above 0),
// and whether every texel is opaque (alpha 255). Blended draws whose alpha
// comes from the picture leave the target unchanged wherever the picture is
// fully transparent, so the device draws only the rectangles this map covers;
// over an opaque picture they replace the target, so they need no blending.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace d3d9 {

class TileCoverage {
public:
    static constexpr int kTile = 16;  // texels on a tile's side

    // A covered rectangle in texels: [x0, x1) x [y0, y1).
    struct Rect {
        int x0, y0, x1, y1;
    };

    // A map of width x height texels, every tile covered (nothing known yet) or
    // none; with opaque, every texel is known to read alpha 255.
    void Reset(int width, int height, bool covered, bool opaque = false);
    // Looks again at the tiles that meet the texels [x0, x1) x [y0, y1). BGRA
    // texels, pitch bytes a row, the whole picture's rows. With whole set the
    // buffer holds every texel of those tiles; without it only the rectangle's
    // are known, so a tile can gain coverage there but never lose it, and can
    // stay opaque but never become so.
    void Update(const uint8_t* bgra, int pitch, int x0, int y0, int x1, int y1, bool whole);
    // Every tile covered: nothing to skip.
    bool Full() const { return coveredTiles_ == columns_ * rows_; }
    bool Empty() const { return coveredTiles_ == 0; }
    // Every texel opaque.
    bool Opaque() const { return opaqueTiles_ == columns_ * rows_ && opaqueTiles_ > 0; }
    bool Covered(int column, int row) const { return tiles_[size_t(row) * columns_ + column] != kClear; }
    // Any tile covered in columns [c0, c1] and rows [r0, r1], clamped to the map.
    bool AnyCovered(int c0, int r0, int c1, int r1) const;
    int Columns() const { return columns_; }
    int Rows() const { return rows_; }

    // The set cells of a columns x rows grid (row by row) as few disjoint
    // rectangles, in cells: runs along each row, a run continued downwards while
    // the rows below hold the same run.
    static std::vector<Rect> Merge(const std::vector<uint8_t>& grid, int columns, int rows);

    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    int width_ = 0, height_ = 0;
    int columns_ = 0, rows_ = 0;
    // A tile: every texel transparent, some texel showing, every texel opaque.
    enum : uint8_t { kClear, kShowing, kOpaque };
    int coveredTiles_ = 0;
    int opaqueTiles_ = 0;
    std::vector<uint8_t> tiles_;
};

}  // namespace d3d9
