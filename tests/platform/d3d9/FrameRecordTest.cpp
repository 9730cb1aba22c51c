// Which pixels of a frame can differ from the previous one, from the two
// frames' operations.

#include <gtest/gtest.h>

#include <string>

#include "platform/d3d9/FrameRecord.h"

namespace {

using d3d9::FrameRecord;
using Rect = FrameRecord::Rect;

struct Op {
    std::string key;
    Rect bounds;
};

FrameRecord Record(const std::vector<Op>& ops)
{
    FrameRecord r;
    for (const Op& op : ops) {
        r.Begin(op.bounds);
        // Keys longer than a word and with a tail, as the device's are.
        const std::string key = op.key + "-key-of-some-length";
        r.Key(key.data(), key.size());
    }
    return r;
}

long Area(const std::vector<Rect>& rects)
{
    long area = 0;
    for (const Rect& r : rects) area += long(r.x1 - r.x0) * (r.y1 - r.y0);
    return area;
}

bool Holds(const std::vector<Rect>& rects, int x, int y)
{
    for (const Rect& r : rects)
        if (x >= r.x0 && x < r.x1 && y >= r.y0 && y < r.y1) return true;
    return false;
}

const Rect kScreen{0, 0, 100, 100};
const Rect kA{10, 10, 20, 20}, kB{30, 30, 40, 40}, kC{50, 50, 60, 60};

TEST(FrameRecordTest, TheSameFrameAgainDiffersNowhere)
{
    const std::vector<Op> ops = {{"clear", kScreen}, {"a", kA}, {"b", kB}};
    EXPECT_TRUE(Record(ops).Damage(Record(ops)).empty());
}

TEST(FrameRecordTest, ChangedMissingAndNewOperationsDifferOverTheirBounds)
{
    const FrameRecord before = Record({{"clear", kScreen}, {"a", kA}, {"b", kB}, {"c", kC}});

    // b moved: where it was and where it is.
    const Rect moved{32, 30, 42, 40};
    auto damage = Record({{"clear", kScreen}, {"a", kA}, {"b2", moved}, {"c", kC}}).Damage(before);
    EXPECT_TRUE(Holds(damage, 30, 30) && Holds(damage, 41, 39));
    EXPECT_FALSE(Holds(damage, 15, 15) || Holds(damage, 55, 55));
    EXPECT_EQ(Area(damage), 120);  // the two bounds, apart

    // b no longer drawn, then drawn again: only b; what follows still matches.
    damage = Record({{"clear", kScreen}, {"a", kA}, {"c", kC}}).Damage(before);
    EXPECT_EQ(Area(damage), 100);
    EXPECT_TRUE(Holds(damage, 35, 35));
    damage = before.Damage(Record({{"clear", kScreen}, {"a", kA}, {"c", kC}}));
    EXPECT_EQ(Area(damage), 100);
    EXPECT_TRUE(Holds(damage, 35, 35));

    // A different clear reaches everything.
    damage = Record({{"clear2", kScreen}, {"a", kA}, {"b", kB}, {"c", kC}}).Damage(before);
    EXPECT_EQ(Area(damage), 100 * 100);
}

TEST(FrameRecordTest, OperationsDrawnInAnotherOrderDiffer)
{
    // Where a and b overlap, the one drawn last shows.
    const Rect a{10, 10, 30, 30}, b{20, 20, 40, 40};
    const FrameRecord before = Record({{"clear", kScreen}, {"a", a}, {"b", b}});
    const auto damage = Record({{"clear", kScreen}, {"b", b}, {"a", a}}).Damage(before);
    EXPECT_TRUE(Holds(damage, 25, 25));
}

TEST(FrameRecordTest, EqualHashesAloneDoNotMatch)
{
    // Same length and bounds, bytes differing only past the first word.
    const FrameRecord before = Record({{"clear", kScreen}, {"aaaaaaaaaaaaaaaa1", kA}});
    const auto damage = Record({{"clear", kScreen}, {"aaaaaaaaaaaaaaaa2", kA}}).Damage(before);
    EXPECT_EQ(Area(damage), 100);
}

}  // namespace
