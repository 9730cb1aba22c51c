// Calls of this program's own beyond the audio library's: a gapless hand-over
// from one channel to the next, and what the desktop's sound settings show
// about our sound.
#pragma once

#include "platform/bass/bass.h"

#include <string>

namespace bass {

// When `channel` plays to its natural end, `next` (0: none) starts from its
// beginning at the very next output frame, while the END syncs of `channel`
// still fire once its end is heard. A command that takes back what was mixed
// from before that frame takes the start back too; stopping `channel` stops a
// follower it started. False for an unknown handle.
bool SetFollower(DWORD channel, DWORD next);
// The follower `channel` started at its end and that plays on, else 0.
DWORD StartedFollower(DWORD channel);

// Around the commands of one action (a stop, then a start): the output is
// given only its outcome, never a state in between. Calls nest.
void BeginChange();
void EndChange();

// The title of what plays now (UTF-8), shown by the sound server with our
// stream; kept for an output opened later.
void SetMediaTitle(const std::string& title);

}  // namespace bass
