// The --stats line: frame times summed up, and the fill the device counts.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/d3d9/FrameStats.h"

using d3d9::FrameStats;

TEST(FrameStatsTest, MedianNearestRankP99AndFill)
{
    FrameStats stats;
    EXPECT_EQ(stats.Line(), "stats: 0 frames, 0.0 fps, frame ms median 0.0 p99 0.0, fill 0.00 screens/frame");
    stats.AddFrame();
    // 200 intervals: 197 of 10 ms and three slow ones; nearest rank 198 of 200 is
    // the fastest of the slow three.
    for (int i = 0; i < 197; ++i) stats.AddInterval(10.0);
    stats.AddInterval(90.0);
    stats.AddInterval(40.0);
    stats.AddInterval(50.0);
    for (int i = 0; i < 200; ++i) stats.AddFrame();
    stats.AddFill(1500, 1000);
    stats.AddFill(500, 1000);
    stats.AddFill(7, 0);  // no back buffer: not counted
    // 200 intervals in 2150 ms.
    EXPECT_EQ(stats.Line(),
              "stats: 201 frames, 93.0 fps, frame ms median 10.0 p99 40.0, fill 1.00 screens/frame");
}

// Start-up is told once measured, and a later frame does not move it.
TEST(FrameStatsTest, StartUpFromTheDialogToTheFirstFrame)
{
    FrameStats stats;
    stats.MarkStartupEnd();  // no beginning: nothing measured
    EXPECT_EQ(stats.Line().find("start-up"), std::string::npos);
    stats.MarkStartupBegin();
    stats.MarkStartupEnd();
    const std::string line = stats.Line();
    ASSERT_NE(line.find(", start-up 0.0"), std::string::npos) << line;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stats.MarkStartupEnd();
    EXPECT_EQ(stats.Line(), line);
}
