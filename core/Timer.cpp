#include "core/Timer.h"

#include "platform/win32/win32.h"

float Timer::Progress() const
{
    return ProgressAt(GetTickCount());
}

float Timer::ProgressAt(uint32_t now) const
{
    // A timer that was never started stays at 0, even on the tick 0xFFFFFFFF itself.
    if (startTick == kNotStarted || now < startTick) return 0.0f;
    if (now > startTick + durationMs) return 1.0f;
    return static_cast<float>(now - startTick) / static_cast<float>(durationMs);
}

void Timer::Start()
{
    startTick = GetTickCount();
}
