// The frame loop with its three screens, and the loading-screen frame.
#pragma once

#include "core/MediaItem.h"
#include "core/Timer.h"

#include <cstdint>

enum Screen : int32_t { ScreenIntro = 0, ScreenInterface = 1, ScreenEnd = 4 };

extern int32_t screen;
extern MediaItem loadingScreen;

// The shell's own media, loaded after the catalogue and kept until shutdown.
struct ShellMedia {
    MediaItem introSong{};
    MediaItem introBackground{};
    MediaItem introButton{};
    MediaItem introDial{};
    MediaItem introForeground{};
    MediaItem startScreen{};
    MediaItem invader[3]{};
    MediaItem endBackground{};
    MediaItem endScroller{};
    MediaItem endSong{};
    MediaItem endLetterbox{};
};

// Timers the screens share for the whole loop.
struct ShellTimers {
    Timer escapeFade{1000, Timer::kNotStarted};
    Timer endTimer{60000, Timer::kNotStarted};
};

// Draws one complete loading frame: the loading-screen picture and a light grey
// bar from x = 194 to 194 + 890 * progress.
void DrawLoadingFrame(float progress);

// Runs frames until quitRequested is set at the end of a pass.
void RunFrameLoop(ShellMedia& media, ShellTimers& timers);

// The intro song's position in seconds: the clock of the intro and the fade-in.
float IntroSeconds(const ShellMedia& media);
