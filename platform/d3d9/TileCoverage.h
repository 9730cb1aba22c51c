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

    // A rectangle: [x0, x1) x [y0, y1); empty when x0 >= x1 or y0 >= y1.
    struct Rect {
        int x0, y0, x1, y1;
        bool Empty() const { return x0 >= x1 || y0 >= y1; }
        bool operator==(const Rect&) const = default;
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
    // Every tile there opaque (clamped to the map; false for an empty range).
    bool AllOpaque(int c0, int r0, int c1, int r1) const;
    bool AnyOpaque() const { return opaqueTiles_ > 0; }
    // The smallest rectangle of texels holding every texel that can show in the
    // tiles of columns [c0, c1] and rows [r0, r1] (clamped to the map); empty
    // when none can.
    Rect ShowingBox(int c0, int r0, int c1, int r1) const;
    int Columns() const { return columns_; }
    int Rows() const { return rows_; }

    // The rectangles of a columns x rows grid of cells (row by row, each inside
    // its cell, empty for none) as fewer rectangles covering exactly the same
    // points: neighbours along a row that touch and span the same rows join,
    // then a run joins the one below it that touches it and spans the same
    // columns.
    static std::vector<Rect> Merge(const std::vector<Rect>& cells, int columns, int rows);
    // The points of both rectangles (empty when they do not meet).
    static Rect Intersect(const Rect& a, const Rect& b);
    // The points of r outside hole, as at most four rectangles added to out.
    static void Cut(const Rect& r, const Rect& hole, std::vector<Rect>& out);
    // Adds the points of r that no rectangle of set holds yet, as rectangles
    // apart from them.
    static void AddApart(std::vector<Rect>& set, const Rect& r);
    // The points of every rectangle of rects outside every one of holes.
    static std::vector<Rect> CutAll(const std::vector<Rect>& rects, const std::vector<Rect>& holes);

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
    // Each tile's showing texels lie in this box, relative to the tile.
    struct Box {
        uint8_t x0, y0, x1, y1;
    };
    std::vector<Box> boxes_;
};

}  // namespace d3d9
