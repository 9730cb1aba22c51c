#include "data/SongPlayer.h"

#include "data/ArtshowData.h"
#include "platform/bass/Extensions.h"
#include "platform/bass/bass.h"
#include "platform/win32/Log.h"
#include "platform/win32/Utf8.h"

#include <cstdlib>
#include <string>

SongPlayer player;

namespace {

bool IsAudio(const MediaItem* item)
{
    return item->kind == MediaModule || item->kind == MediaStream;
}

// Index into 0..n-1 for any integer (n > 0).
int32_t Wrap(int64_t value, int32_t n)
{
    int64_t r = value % n;
    return static_cast<int32_t>(r < 0 ? r + n : r);
}

// One action of the player: the sound changes once, to its outcome.
class Change {
public:
    Change() { bass::BeginChange(); }
    ~Change() { bass::EndChange(); }
    Change(const Change&) = delete;
    Change& operator=(const Change&) = delete;
};

bool HasSongs()
{
    return data.songCount > 0 && data.songs != nullptr;
}

// "Title — Artist": the catalogue's title, else the file name without its
// extension, and the artist when the catalogue gives one.
std::string MediaTitle(int32_t n)
{
    const SongLabel* label = n < data.songLabelCount && data.songLabels ? &data.songLabels[n] : nullptr;
    std::string title;
    if (label && label->title[0]) {
        title = Utf8FromWide(label->title);
    } else {
        std::string path = Utf8FromWide(data.songs[n].path);
        size_t slash = path.find_last_of("/\\");
        title = slash == std::string::npos ? path : path.substr(slash + 1);
        size_t dot = title.find_last_of('.');
        if (dot != std::string::npos && dot > 0) title.resize(dot);
    }
    if (label && label->artist[0]) title += " \u2014 " + Utf8FromWide(label->artist);
    return title;
}

}  // namespace

void SongPlayer::PlaySong(int32_t n)
{
    Start(n, false);
}

void SongPlayer::Start(int32_t n, bool adopt)
{
    // An empty catalogue or a number outside it plays nothing.
    if (!HasSongs() || n < 0 || n >= data.songCount) return;
    LogPrintf("Playing: %d\n", n);
    MediaItem* song = &data.songs[n];
    if (song == current && paused == 1) {
        TogglePause();
        return;
    }
    MediaItem* previous = current;
    current = song;
    currentIndex = n;
    bass::SetMediaTitle(MediaTitle(n));
    if (!IsAudio(song)) return;
    // A song carries at most one end-of-song sync.
    if (previous == song) BASS_ChannelRemoveSync(song->handle.channel, song->endSync);
    if (!adopt) BASS_ChannelPlay(song->handle.channel, TRUE);
    song->endSync = BASS_ChannelSetSync(song->handle.channel, BASS_SYNC_END | BASS_SYNC_ONETIME, 0,
                                        &SongPlayer::SongEndSync, this);
    BASS_ChannelSetAttributes(song->handle.channel, -1, static_cast<int>(volume * 100.0), -101);
    ArrangeNext();
}

void SongPlayer::ArrangeNext()
{
    if (!current || !IsAudio(current) || !HasSongs()) return;
    const int32_t n = data.songCount;
    DWORD next = 0;
    // Only the plain order is known ahead; a shuffled draw is made at the end.
    if (shuffle == 0 && (currentIndex != n - 1 || repeat == 1)) {
        MediaItem* song = &data.songs[Wrap(int64_t{currentIndex} + 1, n)];
        if (song != current && IsAudio(song)) {
            next = song->handle.channel;
            // It starts at the volume a start would give it.
            BASS_ChannelSetAttributes(next, -1, static_cast<int>(volume * 100.0), -101);
        }
    }
    bass::SetFollower(current->handle.channel, next);
}

void SongPlayer::StopSong()
{
    paused = 0;
    if (!current) return;
    if (IsAudio(current)) {
        BASS_ChannelStop(current->handle.channel);
        BASS_ChannelRemoveSync(current->handle.channel, current->endSync);
    }
    current = nullptr;
}

void SongPlayer::TogglePause()
{
    if (!current) return;
    if (paused == 1) {
        if (IsAudio(current)) BASS_ChannelPlay(current->handle.channel, FALSE);
        paused = 0;
    } else {
        if (IsAudio(current)) BASS_ChannelPause(current->handle.channel);
        paused = 1;
    }
}

int32_t SongPlayer::StepIndex(int32_t step)
{
    if (!HasSongs()) return currentIndex;
    // Never seeded: every run draws the same sequence.
    if (shuffle) return Wrap(std::rand(), data.songCount);
    return Wrap(int64_t{data.songCount} + currentIndex + step, data.songCount);
}

bool SongPlayer::OnSongEnd()
{
    if (!HasSongs()) return false;
    const int32_t n = data.songCount;
    // After the last song without repeat the finished song stays current, silent.
    if (currentIndex == n - 1 && repeat == 0) return false;
    if (!current) return false;
    Change change;
    int32_t next = shuffle ? Wrap(std::rand(), n) : Wrap(int64_t{currentIndex} + 1, n);
    // The next song may already play from the ended one's last sample on: it
    // is let go before the stop (which would stop it too) and then taken over.
    DWORD started = IsAudio(current) ? bass::StartedFollower(current->handle.channel) : 0;
    bool adopt = started != 0 && IsAudio(&data.songs[next]) && data.songs[next].handle.channel == started;
    if (IsAudio(current)) bass::SetFollower(current->handle.channel, 0);
    StopSong();
    Start(next, adopt);
    return true;
}

void SongPlayer::PlayerCommand(uint32_t command)
{
    Change change;
    switch (command) {
    case CmdPrevious:
    case CmdNext:
        currentIndex = StepIndex(command == CmdNext ? 1 : -1);
        if (current) {
            StopSong();
            PlaySong(currentIndex);
        }
        break;
    case CmdPlay:
        PlaySong(currentIndex);
        break;
    case CmdPause:
        TogglePause();
        break;
    case CmdStop:
        StopSong();
        break;
    case CmdToggleRepeat:
        repeat = repeat ? 0 : 1;
        ArrangeNext();
        break;
    case CmdToggleShuffle:
        shuffle = shuffle ? 0 : 1;
        ArrangeNext();
        break;
    default:
        break;
    }
}

void SongPlayer::SongEndSync(DWORD sync, DWORD, DWORD, void* user)
{
    // Runs on the audio library's thread: only hand the event over.
    static_cast<SongPlayer*>(user)->endedSync_.store(sync);
}

bool SongPlayer::HandlePendingSongEnd()
{
    DWORD sync = endedSync_.exchange(0);
    if (sync == 0) return false;
    // Only the end of the song that is current now and still carries that sync;
    // a song changed in the meantime drops the stale event.
    if (!current || !IsAudio(current) || current->endSync != sync) return false;
    return OnSongEnd();
}
