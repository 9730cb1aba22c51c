// The desktop's media controls act like the amplifier's buttons, and only in the
// interface screen. Songs of no audio kind keep the audio library out of it.
#include "app/FrameLoop.h"
#include "app/MediaControl.h"
#include "data/ArtshowData.h"
#include "data/SongPlayer.h"
#include "layers/ArtshowMonitor.h"
#include "tests/support/Audio.h"
#include "tests/support/Show.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

class MediaControl : public ::testing::Test {
protected:
    void SetUp() override
    {
        support::ResetShow();
        data.songs = songs;
        data.songCount = 3;
        player.PlaySong(0);
    }
    void TearDown() override
    {
        support::ResetShow();
        screen = ScreenIntro;
    }
    MediaItem songs[3]{};
};

TEST_F(MediaControl, RefusedOutsideTheInterface)
{
    for (Screen shown : {ScreenIntro, ScreenEnd}) {
        screen = shown;
        EXPECT_FALSE(RunMediaAction(MediaAction::Next));
        EXPECT_FALSE(RunMediaAction(MediaAction::PlayPause));
        // Not even the carousel moves: it would show the wrong title pictures later.
        EXPECT_EQ(monitor.turnAngle, 0.0f);
        EXPECT_EQ(player.currentIndex, 0);
        EXPECT_EQ(player.paused, 0);
    }
}

TEST_F(MediaControl, NextTurnsTheCarouselAndAPressDuringTheTurnIsUsedUp)
{
    screen = ScreenInterface;
    ASSERT_TRUE(RunMediaAction(MediaAction::Next));
    EXPECT_EQ(player.currentIndex, 1);
    EXPECT_EQ(player.current, &songs[1]);
    EXPECT_FLOAT_EQ(monitor.turnAngle, ArtshowMonitor::kQuarterTurn);
    // The turn runs for a second: a second press in it changes nothing (a press
    // in the very millisecond the turn began still counts, as with the buttons).
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(RunMediaAction(MediaAction::Previous));
    EXPECT_EQ(player.currentIndex, 1);
    EXPECT_FLOAT_EQ(monitor.turnAngle, ArtshowMonitor::kQuarterTurn);
}

TEST_F(MediaControl, PlayAndPauseUseThePlayersPause)
{
    screen = ScreenInterface;
    EXPECT_FALSE(RunMediaAction(MediaAction::Play));  // already playing
    EXPECT_TRUE(RunMediaAction(MediaAction::Pause));
    EXPECT_EQ(player.paused, 1);
    EXPECT_FALSE(RunMediaAction(MediaAction::Pause));  // a second pause must not resume
    EXPECT_EQ(player.paused, 1);
    EXPECT_TRUE(RunMediaAction(MediaAction::PlayPause));
    EXPECT_EQ(player.paused, 0);
    // Stopped, Play starts the selected song again.
    EXPECT_TRUE(RunMediaAction(MediaAction::Stop));
    EXPECT_EQ(player.current, nullptr);
    EXPECT_TRUE(RunMediaAction(MediaAction::Play));
    EXPECT_EQ(player.current, &songs[0]);
}

}  // namespace
