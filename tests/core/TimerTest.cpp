#include "core/CosineEase.h"
#include "core/Timer.h"
#include "platform/host/Host.h"
#include "platform/win32/win32.h"

#include <gtest/gtest.h>

TEST(Timer, ProgressFollowsUnsignedTicks)
{
    struct Case {
        uint32_t start, duration, now;
        float expected;
    };
    const Case cases[] = {
        {Timer::kNotStarted, 1000, 5000, 0.0f},         // never started: stays at 0
        {Timer::kNotStarted, 1000, 0xFFFFFFFFu, 0.0f},  // even on the very last tick
        {1000, 1000, 1000, 0.0f},                       // exactly at the start
        {1000, 1000, 1500, 0.5f},
        {1000, 1000, 2000, 1.0f},  // exactly at the end: 1000/1000
        {1000, 1000, 2001, 1.0f},
        // Started 256 ms before the tick count wraps: it still runs its whole second.
        {0xFFFFFF00u, 1000, 0xFFFFFFFFu, 0.255f},
        {0xFFFFFF00u, 1000, 0x00000100u, 0.512f},
        {0xFFFFFF00u, 1000, 0x000002E7u, 0.999f},
        {0xFFFFFF00u, 1000, 0x000002E8u, 1.0f},
        {0xFFFFFF00u, 60000, 0x00000010u, 272.0f / 60000},  // the end screen's minute
    };
    for (const Case& c : cases) {
        Timer timer{c.duration, c.start};
        EXPECT_FLOAT_EQ(timer.ProgressAt(c.now), c.expected) << "start " << c.start << " now " << c.now;
    }
}

TEST(Timer, StartReadsTheVirtualClock)
{
    host::Reset();
    host::SetRunMode(host::RunMode::Virtual);
    host::SetFps(100);
    Timer timer{1000, Timer::kNotStarted};
    timer.Start();
    EXPECT_EQ(timer.startTick, host::kVirtualTickBase);
    for (int i = 0; i < 25; ++i) host::EndFrame();  // 250 ms
    EXPECT_FLOAT_EQ(timer.Progress(), 0.25f);
    host::Reset();
}

TEST(CosineEase, EndsMiddleAndSymmetry)
{
    EXPECT_EQ(CosineEase(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(CosineEase(1.0f), 1.0f);
    EXPECT_NEAR(CosineEase(0.5f), 0.5f, 1e-7f);
    // Slow at both ends, symmetric about the middle.
    EXPECT_LT(CosineEase(0.1f), 0.1f);
    EXPECT_GT(CosineEase(0.9f), 0.9f);
    EXPECT_NEAR(CosineEase(0.25f) + CosineEase(0.75f), 1.0f, 1e-6f);
}
