// The show's globals (the catalogue `data`, the song player `player`, the
// carousel `monitor`) back to their start values, for fixtures to call before
// and after each test. Nothing is freed: a test owns what it hands to `data`.
#pragma once

#include "data/ArtshowData.h"
#include "data/SongPlayer.h"
#include "layers/ArtshowMonitor.h"

namespace support {

inline void ResetShow()
{
    // A pending song end is drained while nothing is current.
    player.current = nullptr;
    player.HandlePendingSongEnd();
    player.currentIndex = 0;
    player.paused = player.shuffle = player.repeat = 0;
    player.volume = 1.0f;
    data = ArtshowData{};
    monitor.turnAngle = 0;
    monitor.turnDirection = 0;
    monitor.turnTimer = Timer{1000, Timer::kNotStarted};
}

}  // namespace support
