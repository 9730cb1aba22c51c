// The desktop's media controls (the MPRIS methods and the keyboard's media
// keys) act on the show here, on the main thread, and only while the interface
// screen is shown: the intro and the end screen have no song to change.
#pragma once

#include <cstdint>

enum class MediaAction { Next, Previous, PlayPause, Play, Pause, Stop };

// Whether the controls act now (the interface screen is shown).
bool MediaControlsActive();

// Next and Previous do what the amplifier buttons do: a quarter turn of the
// carousel and the song change, or nothing during a turn. The others use the
// song player's pause, play and stop. Returns whether the show was changed.
bool RunMediaAction(MediaAction action);

// A window's WM_APPCOMMAND code (APPCOMMAND_MEDIA_*) as an action; false for
// codes the show has no use for.
bool MediaActionFromAppCommand(uint32_t command, MediaAction& action);

// Runs the media key the window received since the last call, if any (once a pass).
void HandleMediaKeys();
