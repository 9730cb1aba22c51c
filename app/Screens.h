// The three screens of the frame loop, each drawn inside the frame's scene.
#pragma once

#include "app/FrameLoop.h"

// t: the intro song's position in seconds.
void DrawIntro(float t, ShellMedia& media);
void DrawInterface(float t, ShellMedia& media, ShellTimers& timers);
void DrawEndScreen(ShellMedia& media, ShellTimers& timers);

// A key counts as down while the most significant bit of its state is set.
bool KeyDown(int virtualKey);
