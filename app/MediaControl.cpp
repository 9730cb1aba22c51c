#include "app/MediaControl.h"

#include "app/FrameLoop.h"
#include "data/SongPlayer.h"
#include "gfx/kpxD3D.h"
#include "layers/ArtshowControlLayer.h"

bool MediaControlsActive()
{
    return screen == ScreenInterface;
}

bool RunMediaAction(MediaAction action)
{
    if (!MediaControlsActive()) return false;
    switch (action) {
    case MediaAction::Next:
        return ChangeSong(1);
    case MediaAction::Previous:
        return ChangeSong(-1);
    case MediaAction::PlayPause:
        // Stopped (no current song): play the selected one again.
        player.PlayerCommand(player.current ? SongPlayer::CmdPause : SongPlayer::CmdPlay);
        return true;
    case MediaAction::Play:
        if (player.current && !player.paused) return false;
        player.PlayerCommand(player.current ? SongPlayer::CmdPause : SongPlayer::CmdPlay);
        return true;
    case MediaAction::Pause:
        if (!player.current || player.paused) return false;
        player.PlayerCommand(SongPlayer::CmdPause);
        return true;
    case MediaAction::Stop:
        if (!player.current) return false;
        player.PlayerCommand(SongPlayer::CmdStop);
        return true;
    }
    return false;
}

bool MediaActionFromAppCommand(uint32_t command, MediaAction& action)
{
    switch (command) {
    case APPCOMMAND_MEDIA_NEXTTRACK:
        action = MediaAction::Next;
        return true;
    case APPCOMMAND_MEDIA_PREVIOUSTRACK:
        action = MediaAction::Previous;
        return true;
    case APPCOMMAND_MEDIA_STOP:
        action = MediaAction::Stop;
        return true;
    case APPCOMMAND_MEDIA_PLAY_PAUSE:
        action = MediaAction::PlayPause;
        return true;
    case APPCOMMAND_MEDIA_PLAY:
        action = MediaAction::Play;
        return true;
    case APPCOMMAND_MEDIA_PAUSE:
        action = MediaAction::Pause;
        return true;
    default:
        return false;
    }
}

void HandleMediaKeys()
{
    uint32_t command = appCommand;
    appCommand = 0;
    MediaAction action;
    if (command && MediaActionFromAppCommand(command, action)) RunMediaAction(action);
}
