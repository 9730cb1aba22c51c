// The intro song: a radio being tuned. Hiss and whistles while the dial moves, snatches of
// stations where it slows down, then the disk's own station comes in clear and plays out.
#pragma once

#include "tools/contentart/Synth.h"

// Dial position (pixels) at time t, following the intro's tuning keys.
double DialPosition(double t);
// 43 seconds of radio at `rate`.
Stereo RenderRadio(int rate);
