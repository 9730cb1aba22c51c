// The previous/next control: latching, hit test, turns and song changes, with
// the real song player over songs the audio library never sees (kind 0).
#include "data/ArtshowData.h"
#include "data/SongPlayer.h"
#include "layers/ArtshowControlLayer.h"
#include "layers/ArtshowMonitor.h"
#include "platform/host/Host.h"
#include "tests/support/Files.h"
#include "tests/support/Show.h"

#include <gtest/gtest.h>

#include <vector>

using support::ElementFromText;

namespace {

class ControlLayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        host::SetRunMode(host::RunMode::Virtual);
        host::SetFps(60);
        support::ResetShow();
        songs.assign(3, MediaItem{});
        data.songs = songs.data();
        data.songCount = 3;
        player.PlaySong(0);
    }
    void TearDown() override { support::ResetShow(); }
    // A 40 x 20 control at (100, 50).
    static ArtshowControlLayer Control(int direction)
    {
        ArtshowControlLayer c;
        c.x = 100;
        c.y = 50;
        c.direction = direction;
        c.image.imageInfo.Width = 40;
        c.image.imageInfo.Height = 20;
        return c;
    }
    // One frame of the interface's press dispatch: topmost first until one acts.
    static int Dispatch(std::vector<ArtshowLayer*> layers, float px, float py)
    {
        for (int i = int(layers.size()) - 1; i >= 0; --i) {
            if (layers[i]->Click(px, py)) return i;
        }
        return -1;
    }
    static void NextFrame(int frames = 1)
    {
        for (int i = 0; i < frames; ++i) host::EndFrame();
    }
    std::vector<MediaItem> songs;
};

TEST_F(ControlLayer, APressActsOnceOnItsFirstFrameWithInclusiveEdges)
{
    ArtshowControlLayer next = Control(1);
    EXPECT_EQ(next.Click(140, 70), 1);  // bottom-right corner is inside
    EXPECT_EQ(player.currentIndex, 1);
    EXPECT_EQ(player.current, &songs[1]);
    EXPECT_EQ(monitor.turnDirection, 1);
    EXPECT_FLOAT_EQ(monitor.turnAngle, 1.57f);
    // Held for many frames: nothing more.
    for (int i = 0; i < 5; ++i) {
        NextFrame(30);
        EXPECT_EQ(next.Click(120, 60), 0);
    }
    EXPECT_EQ(player.currentIndex, 1);
    next.ButtonUp(0, 0);
    EXPECT_EQ(next.Click(100, 50), 1);  // top-left corner
    EXPECT_EQ(player.currentIndex, 2);
}

TEST_F(ControlLayer, AMissLatchesSoADragOntoTheControlDoesNothing)
{
    ArtshowControlLayer next = Control(1);
    EXPECT_EQ(next.Click(141, 60), 0);
    EXPECT_TRUE(next.latched);
    EXPECT_EQ(next.Click(120, 60), 0);
    EXPECT_EQ(player.currentIndex, 0);
    next.ButtonUp(120, 60);
    EXPECT_FALSE(next.latched);
    // A pointer left of the viewport arrives as a huge unsigned value.
    EXPECT_EQ(next.Click(4.29e9f, 60), 0);
}

TEST_F(ControlLayer, APressDuringATurnIsConsumedWithoutASongChange)
{
    ArtshowControlLayer next = Control(1);
    ASSERT_EQ(next.Click(120, 60), 1);
    next.ButtonUp(0, 0);
    NextFrame(6);  // 100 ms into the 1000 ms turn
    EXPECT_EQ(next.Click(120, 60), 1);
    EXPECT_EQ(player.currentIndex, 1);
    EXPECT_FLOAT_EQ(monitor.turnAngle, 1.57f);
    next.ButtonUp(0, 0);
    NextFrame(60);  // the turn is over
    EXPECT_EQ(next.Click(120, 60), 1);
    EXPECT_EQ(player.currentIndex, 2);
    EXPECT_FLOAT_EQ(monitor.turnAngle, 3.14f);
}

TEST_F(ControlLayer, DirectionsOtherThanOneSelectThePreviousSong)
{
    ArtshowControlLayer back = Control(-1);
    EXPECT_EQ(back.Click(120, 60), 1);
    EXPECT_EQ(player.currentIndex, 2);  // previous from song 0 wraps
    EXPECT_FLOAT_EQ(monitor.turnAngle, -1.57f);
    NextFrame(70);
    ArtshowControlLayer two = Control(2);
    EXPECT_EQ(two.Click(120, 60), 1);
    EXPECT_EQ(player.currentIndex, 1);
    EXPECT_FLOAT_EQ(monitor.turnAngle, -1.57f + 3.14f);
    EXPECT_EQ(monitor.turnDirection, 2);
}

TEST_F(ControlLayer, OverlappingControlsActOnConsecutiveFrames)
{
    ArtshowControlLayer lower = Control(1), upper = Control(1);
    std::vector<ArtshowLayer*> layers{&lower, &upper};
    EXPECT_EQ(Dispatch(layers, 120, 60), 1);
    EXPECT_EQ(player.currentIndex, 1);
    // Same press, next frame: the upper one is latched and the lower one is reached.
    // The turn it would start is under way, so it consumes the press.
    NextFrame();
    EXPECT_EQ(Dispatch(layers, 120, 60), 0);
    EXPECT_EQ(player.currentIndex, 1);
    EXPECT_EQ(Dispatch(layers, 120, 60), -1);
}

TEST_F(ControlLayer, LoadReadsDirectionAndDefaultsToZero)
{
    ArtshowControlLayer c;
    c.Load(ElementFromText(L"<element type=\"ampcontrol\"><image path=\"n.png\" blend=\"add\"/>"
                           L"<control direction=\"1\"/></element>"));
    EXPECT_EQ(c.direction, 1);
    ArtshowControlLayer none;
    none.Load(ElementFromText(L"<element type=\"ampcontrol\"><image path=\"p.png\"/></element>"));
    EXPECT_EQ(none.direction, 0);
    ArtshowControlLayer junk;
    junk.Load(ElementFromText(L"<element type=\"ampcontrol\"><image path=\"p.png\"/>"
                              L"<control direction=\"x\"/></element>"));
    EXPECT_EQ(junk.direction, 0);
    EXPECT_EQ(data.imageCount, 3);
}

}  // namespace
