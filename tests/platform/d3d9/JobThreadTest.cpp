// The thread that presents frames and scales half of each: jobs run one at a
// time, in order; Wait returns after the last one; a job posted just before the
// end still runs.

#include <vector>

#include "platform/d3d9/JobThread.h"

#include <gtest/gtest.h>

TEST(JobThreadTest, RunsEachJobOnceInOrderAndFinishesTheLastBeforeItEnds)
{
    std::vector<int> ran;
    {
        d3d9::JobThread thread;
        thread.Wait();  // nothing posted yet
        for (int i = 0; i < 200; ++i) {
            thread.Post([&ran, i] { ran.push_back(i); });
            if (i % 50 == 0) {
                thread.Wait();
                ASSERT_EQ(ran.size(), size_t(i) + 1);
            }
        }
    }
    ASSERT_EQ(ran.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(ran[size_t(i)], i);
}
