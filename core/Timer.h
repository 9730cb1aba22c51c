// A millisecond interval clock over GetTickCount, in unsigned 32-bit arithmetic.
#pragma once

#include <cstdint>

struct Timer {
    static constexpr uint32_t kNotStarted = 0xFFFFFFFFu;

    uint32_t durationMs = 0;
    uint32_t startTick = kNotStarted;  // a GetTickCount value; kNotStarted keeps progress at 0

    // The elapsed fraction (now - startTick, unsigned 32-bit, over durationMs)
    // as a float, 1 from the end on; 0 when not started. Reads GetTickCount once.
    float Progress() const;
    // Same, for a tick the caller has already read.
    float ProgressAt(uint32_t now) const;
    void Start();
};
