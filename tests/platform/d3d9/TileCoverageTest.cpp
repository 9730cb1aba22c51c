// The map of a picture's tiles that hold visible texels, and its rectangles.

#include <gtest/gtest.h>

#include <algorithm>
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

// The box of the texels that show, over a range of tiles: exact after a whole
// look, only growing under partial locks, the whole tile while nothing is known.
TEST(TileCoverageTest, ShowingBoxIsTightAndNeverMissesATexel)
{
    Picture p(3 * T, 2 * T);
    p.SetAlpha(T + 3, 4, 1);
    p.SetAlpha(2 * T + 9, T + 2, 200);
    TileCoverage c;
    c.Reset(p.width, p.height, true);
    auto box = c.ShowingBox(0, 0, 2, 1);
    EXPECT_EQ(box.x0, 0);
    EXPECT_EQ(box.y1, 2 * T);
    p.Scan(c);
    box = c.ShowingBox(0, 0, 2, 1);
    EXPECT_EQ(box.x0, T + 3);
    EXPECT_EQ(box.y0, 4);
    EXPECT_EQ(box.x1, 2 * T + 10);
    EXPECT_EQ(box.y1, T + 3);
    box = c.ShowingBox(1, 0, 1, 0);
    EXPECT_EQ(box.x1 - box.x0, 1);
    EXPECT_EQ(box.y1 - box.y0, 1);
    EXPECT_TRUE(c.ShowingBox(0, 0, 0, 1).Empty());
    EXPECT_TRUE(c.ShowingBox(5, 5, 9, 9).Empty());
    // A partial lock that clears a texel cannot shrink the box; one that adds
    // a texel grows it.
    p.SetAlpha(T + 3, 4, 0);
    p.SetAlpha(T + 12, 9, 7);
    c.Update(p.bgra.data(), p.width * 4, T + 10, 0, T + 14, 12, false);
    box = c.ShowingBox(1, 0, 1, 0);
    EXPECT_EQ(box.x0, T + 3);
    EXPECT_EQ(box.x1, T + 13);
    EXPECT_EQ(box.y1, 10);
    p.Scan(c);
    box = c.ShowingBox(1, 0, 1, 0);
    EXPECT_EQ(box.x0, T + 12);
    EXPECT_EQ(box.y0, 9);
}

// Merging keeps exactly the points of the cells: whole cells (an L, a ring,
// single cells) and cells holding only part of themselves, which join their
// neighbours only where they touch with the same span.
TEST(TileCoverageTest, MergedRectanglesAreDisjointAndCoverExactlyTheCells)
{
    const int columns = 7, rows = 6, size = 4;
    const char* rowsText[rows] = {"XX..XXX", "XX..X.X", "XXXXXXX", "ttt.bbb", "X.X.X.X", "X.X.XXX"};
    std::vector<TileCoverage::Rect> cells;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            TileCoverage::Rect cell{c * size, r * size, (c + 1) * size, (r + 1) * size};
            switch (rowsText[r][c]) {
            case '.': cell = {0, 0, 0, 0}; break;
            case 't': cell.y1 = cell.y0 + 1; break;  // a line along the top
            case 'b': cell.y0 = cell.y1 - 1; cell.x0 += 1; break;  // along the bottom, cut
            }
            cells.push_back(cell);
        }
    const int width = columns * size, height = rows * size;
    std::vector<int> hits(size_t(width) * height, 0), want(hits.size(), 0);
    for (const auto& r : cells)
        for (int y = r.y0; y < r.y1; ++y)
            for (int x = r.x0; x < r.x1; ++x) want[size_t(y) * width + x] = 1;
    auto rects = TileCoverage::Merge(cells, columns, rows);
    for (const auto& r : rects)
        for (int y = r.y0; y < r.y1; ++y)
            for (int x = r.x0; x < r.x1; ++x) ++hits[size_t(y) * width + x];
    EXPECT_EQ(hits, want);
    EXPECT_LE(rects.size(), 16u);
    EXPECT_TRUE(TileCoverage::Merge(std::vector<TileCoverage::Rect>(12, {0, 0, 0, 0}), 4, 3).empty());
    std::vector<TileCoverage::Rect> all;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) all.push_back({c, r, c + 1, r + 1});
    auto whole = TileCoverage::Merge(all, 4, 3);
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_EQ(whole[0].x1 * whole[0].y1, 12);
}


// Cutting holes: the pieces of each rectangle never overlap and hold exactly the points of the
// rectangles outside every hole, for holes inside, across, beside and around.
TEST(TileCoverageTest, CutPiecesAreDisjointAndLeaveExactlyTheHoles)
{
    using Rect = TileCoverage::Rect;
    const std::vector<Rect> rects = {{2, 3, 30, 20}, {25, 0, 40, 10}};
    const std::vector<std::vector<Rect>> holeSets = {
        {},
        {{5, 5, 10, 10}},                   // inside
        {{0, 8, 50, 12}},                   // across both
        {{30, 0, 45, 30}, {2, 3, 30, 20}},  // beside, and the whole first one
        {{-5, -5, 60, 60}},                 // around everything
        {{10, 10, 10, 15}, {20, 1, 22, 2}}, // empty, and touching nothing
    };
    for (const auto& holes : holeSets) {
        const std::vector<Rect> pieces = TileCoverage::CutAll(rects, holes);
        for (int y = -1; y < 32; ++y)
            for (int x = -1; x < 50; ++x) {
                auto in = [x, y](const Rect& r) { return x >= r.x0 && x < r.x1 && y >= r.y0 && y < r.y1; };
                const bool want = std::any_of(rects.begin(), rects.end(), in) &&
                                  std::none_of(holes.begin(), holes.end(), in);
                const auto count = std::count_if(pieces.begin(), pieces.end(), in);
                // Points in both rectangles are in both sets of pieces.
                const auto expected = want ? std::count_if(rects.begin(), rects.end(), in) : 0;
                EXPECT_EQ(count, expected) << x << "," << y;
            }
        for (const Rect& p : pieces) EXPECT_FALSE(p.Empty());
    }
    EXPECT_TRUE(TileCoverage::Intersect({0, 0, 4, 4}, {4, 0, 8, 4}).Empty());
}

}  // namespace
