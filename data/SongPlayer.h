// Plays the catalogue's songs one at a time: start, stop, pause, previous/next
// and moving on by itself when a song ends.
#pragma once

#include "core/MediaItem.h"

#include <atomic>
#include <cstdint>

class SongPlayer {
public:
    enum Command : uint32_t {
        CmdPrevious = 0,
        CmdPlay = 1,
        CmdPause = 2,
        CmdStop = 3,
        CmdNext = 4,
        CmdToggleRepeat = 5,
        CmdToggleShuffle = 6,
    };

    MediaItem* current = nullptr;  // data.songs[currentIndex] while loaded into playback
    int32_t currentIndex = 0;      // selected song, kept across a stop
    int32_t paused = 0;
    int32_t shuffle = 0;
    int32_t repeat = 0;
    float volume = 1.0f;  // x100 gives the library volume when a song starts

    void PlaySong(int32_t n);
    void StopSong();
    void TogglePause();
    int32_t StepIndex(int32_t step);
    // Moves on to the next song after the current one ended; main thread only.
    // True when it did: the carousel then turns a quarter turn forward.
    bool OnSongEnd();
    void PlayerCommand(uint32_t command);

    // The library's end callback (its own thread): only records the event for
    // HandlePendingSongEnd. user is the player.
    static void SongEndSync(DWORD sync, DWORD channel, DWORD data, void* user);
    // Called by the frame loop on every pass: runs OnSongEnd if a song ended and
    // returns what it returned (false when nothing ended).
    bool HandlePendingSongEnd();

private:
    // PlaySong; `adopt`: the song already plays, started gaplessly at the end
    // of the last one, and is taken over rather than restarted.
    void Start(int32_t n, bool adopt);
    // Lets the song that follows the current one by the player's rules start
    // right at its end, so the advance has no gap.
    void ArrangeNext();

    // The sync handle that fired last and is not handled yet (0: none). Sync
    // handles are never reused, so a stale event (the song was changed in the
    // meantime) is recognised and dropped.
    std::atomic<DWORD> endedSync_{0};
};

extern SongPlayer player;
