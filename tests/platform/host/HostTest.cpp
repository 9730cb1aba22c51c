#include "platform/host/Host.h"
#include "platform/win32/win32.h"

#include <gtest/gtest.h>

namespace {

struct VirtualHost : ::testing::Test {
    void SetUp() override
    {
        host::Reset();
        host::SetRunMode(host::RunMode::Virtual);
        host::SetFps(10);
    }
    void TearDown() override { host::Reset(); }
};

}  // namespace

TEST(HostInput, ParsesEveryEventKindAndRejectsMalformedLines)
{
    host::InputEvent e;
    ASSERT_TRUE(host::ParseInputEvent("1.5 key escape down", e));
    EXPECT_EQ(e.kind, host::InputEvent::KeyDown);
    EXPECT_EQ(e.key, VK_ESCAPE);
    EXPECT_DOUBLE_EQ(e.time, 1.5);
    ASSERT_TRUE(host::ParseInputEvent("2 key space up", e));
    EXPECT_EQ(e.kind, host::InputEvent::KeyUp);
    EXPECT_EQ(e.key, VK_SPACE);
    ASSERT_TRUE(host::ParseInputEvent("3 mouse 640 -20", e));
    EXPECT_EQ(e.kind, host::InputEvent::MouseMove);
    EXPECT_EQ(e.y, -20);
    ASSERT_TRUE(host::ParseInputEvent("4 lbutton down", e));
    EXPECT_EQ(e.kind, host::InputEvent::ButtonDown);
    ASSERT_TRUE(host::ParseInputEvent("5 close", e));
    EXPECT_EQ(e.kind, host::InputEvent::Close);

    for (const char* bad : {"", "x key escape down", "-1 close", "1 key tab down", "1 key escape sideways",
                            "1 mouse 3", "1 lbutton", "1 close now", "1 jump"}) {
        EXPECT_FALSE(host::ParseInputEvent(bad, e)) << bad;
    }
}

TEST_F(VirtualHost, ClockAdvancesOneFrameAtATime)
{
    EXPECT_EQ(GetTickCount(), host::kVirtualTickBase);
    host::EndFrame();
    host::EndFrame();
    host::EndFrame();
    EXPECT_EQ(host::FrameIndex(), 3u);
    EXPECT_EQ(GetTickCount(), host::kVirtualTickBase + 300);
    EXPECT_EQ(host::SampleFramesAt(3), 13230u);
    Sleep(5000);  // virtual time moves only by frames
    EXPECT_EQ(GetTickCount(), host::kVirtualTickBase + 300);
}

TEST_F(VirtualHost, ScriptedInputAppliesOnTheFirstFrameAtOrAfterItsTime)
{
    host::InputEvent e;
    ASSERT_TRUE(host::ParseInputEvent("0.25 key escape down", e));
    host::ScheduleInput(e);
    ASSERT_TRUE(host::ParseInputEvent("0.2 lbutton down", e));
    host::ScheduleInput(e);
    ASSERT_TRUE(host::ParseInputEvent("0 mouse 10 20", e));
    host::ScheduleInput(e);

    host::ApplyDueInput();  // time 0: only the mouse move
    int x = 0, y = 0;
    host::VirtualCursor(x, y);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 20);
    EXPECT_EQ(host::PopVirtualMessage(), host::VirtualMessage::None);

    host::EndFrame();  // 0.1 s
    host::EndFrame();  // 0.2 s: the button
    EXPECT_EQ(host::PopVirtualMessage(), host::VirtualMessage::ButtonDown);
    EXPECT_FALSE(host::VirtualKeyDown(VK_ESCAPE));
    host::EndFrame();  // 0.3 s: escape
    EXPECT_TRUE(host::VirtualKeyDown(VK_ESCAPE));
}

// A press and release inside one frame still reads as one press; a held key
// reads as down at every look.
TEST_F(VirtualHost, TapShorterThanAFrameCountsOnce)
{
    host::InputEvent e;
    for (const char* line :
         {"0.12 key space down", "0.15 key space up", "0.3 key escape down", "0.5 key escape up"}) {
        ASSERT_TRUE(host::ParseInputEvent(line, e));
        host::ScheduleInput(e);
    }
    host::EndFrame();
    host::EndFrame();  // 0.2 s: space went down and up again
    EXPECT_TRUE(host::VirtualKeyDown(VK_SPACE));
    EXPECT_FALSE(host::VirtualKeyDown(VK_SPACE));
    host::EndFrame();  // 0.3 s: escape held
    EXPECT_TRUE(host::VirtualKeyDown(VK_ESCAPE));
    EXPECT_TRUE(host::VirtualKeyDown(VK_ESCAPE));
    host::EndFrame();
    EXPECT_TRUE(host::VirtualKeyDown(VK_ESCAPE));
    host::EndFrame();  // 0.5 s: released after being seen: up
    EXPECT_FALSE(host::VirtualKeyDown(VK_ESCAPE));
}

TEST_F(VirtualHost, FrameHooksRunInOrderAndExitHooksOnce)
{
    std::string order;
    int a = host::AddFrameHook([&] { order += 'a'; });
    host::AddFrameHook([&] { order += 'b'; });
    host::EndFrame();
    host::RemoveFrameHook(a);
    host::EndFrame();
    EXPECT_EQ(order, "abb");

    int exits = 0;
    host::AddExitHook([&] { ++exits; });
    host::RunExitHooks();
    host::RunExitHooks();
    EXPECT_EQ(exits, 1);
}
