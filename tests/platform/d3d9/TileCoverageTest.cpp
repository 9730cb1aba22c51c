// The map of a picture's tiles that hold visible texels, and its rectangles.

#include <gtest/gtest.h>

#include <vector>

#include "platform/d3d9/TileCoverage.h"

using d3d9::TileCoverage;

namespace {

constexpr int T = TileCoverage::kTile;

struct Picture {
    int width, height;
    std::vector<uint8_t> bgra;
    Picture(int w, int h) : width(w), height(h), bgra(size_t(w) * h * 4, 0) {}
    void SetAlpha(int x, int y, uint8_t a) { bgra[(size_t(y) * width + x) * 4 + 3] = a; }
    void Scan(TileCoverage& c) const { c.Update(bgra.data(), width * 4, 0, 0, width, height, true); }
};

TEST(TileCoverageTest, TilesHoldingAnyAlphaAreCoveredUpToTheRaggedEdges)
{
    Picture p(3 * T + 5, 2 * T + 1);
    p.SetAlpha(0, 0, 1);                // corner texel, faintest alpha
    p.SetAlpha(3 * T + 4, 2 * T, 255);  // last texel, in the partial tiles
    p.SetAlpha(T + 7, 2 * T - 1, 0);    // alpha 0 with colour counts for nothing
    p.bgra[(size_t(2 * T - 1) * p.width + T + 7) * 4] = 255;
    TileCoverage c;
    c.Reset(p.width, p.height, true);
    EXPECT_TRUE(c.Full());
    p.Scan(c);
    EXPECT_EQ(c.Columns(), 4);
    EXPECT_EQ(c.Rows(), 3);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 4; ++column)
            EXPECT_EQ(c.Covered(column, row), (column == 0 && row == 0) || (column == 3 && row == 2))
                << column << "," << row;
    EXPECT_TRUE(c.AnyCovered(-5, -5, 0, 0));
    EXPECT_FALSE(c.AnyCovered(1, 0, 2, 2));
    EXPECT_TRUE(c.AnyCovered(1, 1, 9, 9));
}

TEST(TileCoverageTest, PartialLocksAddCoverageButOnlyWholeTilesLoseIt)
{
    Picture p(2 * T, T);
    TileCoverage c;
    c.Reset(p.width, p.height, false);
    EXPECT_TRUE(c.Empty());
    p.SetAlpha(5, 5, 9);
    p.SetAlpha(T + 5, 5, 9);
    p.Scan(c);
    EXPECT_TRUE(c.Full());
    // A lock of part of tile 0 without the rest of its texels: a transparent
    // rectangle cannot tell that the tile became transparent.
    p.SetAlpha(5, 5, 0);
    c.Update(p.bgra.data(), p.width * 4, 0, 0, 10, 10, false);
    EXPECT_TRUE(c.Covered(0, 0));
    // The whole of tile 1 in the rectangle: known transparent now.
    p.SetAlpha(T + 5, 5, 0);
    c.Update(p.bgra.data(), p.width * 4, T, 0, 2 * T, T, false);
    EXPECT_FALSE(c.Covered(1, 0));
    // With every texel known the first tile goes too.
    c.Update(p.bgra.data(), p.width * 4, 0, 0, 10, 10, true);
    EXPECT_TRUE(c.Empty());
}

// Opaque means every texel at 255: one texel below loses it, a partial lock can
// keep it but only a whole look wins it back; an X8R8G8B8 map starts opaque.
TEST(TileCoverageTest, OpaqueOnlyWhileEveryTexelIsKnownAt255)
{
    Picture p(2 * T + 3, T);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) p.SetAlpha(x, y, 255);
    TileCoverage c;
    c.Reset(p.width, p.height, true);
    EXPECT_FALSE(c.Opaque());  // nothing known yet
    p.Scan(c);
    EXPECT_TRUE(c.Opaque());
    c.Update(p.bgra.data(), p.width * 4, 2, 2, 6, 6, false);  // still 255 there
    EXPECT_TRUE(c.Opaque());
    p.SetAlpha(2 * T + 2, T - 1, 254);  // the last texel, in the ragged tile
    c.Update(p.bgra.data(), p.width * 4, 2 * T + 2, T - 1, 2 * T + 3, T, false);
    EXPECT_FALSE(c.Opaque());
    EXPECT_TRUE(c.Full());
    p.SetAlpha(2 * T + 2, T - 1, 255);
    c.Update(p.bgra.data(), p.width * 4, 2 * T + 2, T - 1, 2 * T + 3, T, false);
    EXPECT_FALSE(c.Opaque());  // the rest of that tile is not known from this lock
    p.Scan(c);
    EXPECT_TRUE(c.Opaque());
    c.Reset(p.width, p.height, true, true);
    EXPECT_TRUE(c.Opaque());
    c.Reset(0, 0, true, true);
    EXPECT_FALSE(c.Opaque());  // no texels: nothing to replace the target with
}

TEST(TileCoverageTest, MergedRectanglesAreDisjointAndCoverExactlyTheSetCells)
{
    const int columns = 7, rows = 6;
    // An L, a ring and single cells: runs of the same span join downwards.
    const char* rowsText[rows] = {"XX..XXX", "XX..X.X", "XXXXXXX", ".......", "X.X.X.X", "X.X.XXX"};
    std::vector<uint8_t> grid;
    for (const char* r : rowsText)
        for (int c = 0; c < columns; ++c) grid.push_back(r[c] == 'X');
    std::vector<int> hits(grid.size(), 0);
    auto rects = TileCoverage::Merge(grid, columns, rows);
    for (const auto& r : rects)
        for (int y = r.y0; y < r.y1; ++y)
            for (int x = r.x0; x < r.x1; ++x) ++hits[size_t(y) * columns + x];
    for (size_t i = 0; i < grid.size(); ++i) EXPECT_EQ(hits[i], grid[i] ? 1 : 0) << i;
    EXPECT_LE(rects.size(), 12u);
    EXPECT_TRUE(TileCoverage::Merge(std::vector<uint8_t>(12, 0), 4, 3).empty());
    auto whole = TileCoverage::Merge(std::vector<uint8_t>(12, 1), 4, 3);
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_EQ(whole[0].x1 * whole[0].y1, 12);
}

}  // namespace
