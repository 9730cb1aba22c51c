#include "core/Timer.h"

#include "platform/win32/win32.h"

float Timer::Progress() const
{
    return ProgressAt(GetTickCount());
}

float Timer::ProgressAt(uint32_t now) const
{
    // A timer that was never started stays at 0, even on the tick 0xFFFFFFFF itself.
    if (startTick == kNotStarted) return 0.0f;
    // The elapsed time as an unsigned difference, so that a timer started just
    // before the 32-bit tick count wraps still runs its whole length.
    const uint32_t elapsed = now - startTick;
    if (elapsed >= durationMs) return 1.0f;
    return static_cast<float>(elapsed) / static_cast<float>(durationMs);
}

void Timer::Start()
{
    startTick = GetTickCount();
}
