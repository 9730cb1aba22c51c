// The audio library's calls over the channels, the mixer and the output
// chosen at BASS_Init (see Mixer.h and Output.h).
#include "platform/bass/bass.h"

#include "platform/bass/AudioSource.h"
#include "platform/bass/Channel.h"
#include "platform/bass/Extensions.h"
#include "platform/bass/Fft.h"
#include "platform/bass/Mixer.h"
#include "platform/bass/Output.h"
#include "platform/win32/Utf8.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

using namespace bass;

namespace {

constexpr int64_t kLevelFrames = kOutRate / 50;  // 20 ms

// The output in use; set at BASS_Init, dropped at BASS_Free. Under the mixer's lock.
std::shared_ptr<Output> output;
// What plays now, for the sound server. Under the mixer's lock.
std::string mediaTitle = "Mivola";

// Handles are never reused, so an old handle can never reach a new channel.
std::atomic<DWORD> nextChannelHandle{0x10000};
std::atomic<DWORD> nextSyncHandle{0x20000};

thread_local int lastError = BASS_OK;

template <typename T> T Fail(int code, T result)
{
    lastError = code;
    return result;
}

template <typename T> T Ok(T result)
{
    lastError = BASS_OK;
    return result;
}

std::string PathOf(const void* file, DWORD flags)
{
    if (flags & BASS_UNICODE) return Utf8FromWide(static_cast<const wchar_t*>(file));
    return static_cast<const char*>(file);
}

Channel* Find(Mixer& lib, DWORD handle)
{
    if (!lib.output) return nullptr;
    auto it = lib.channels.find(handle);
    return it == lib.channels.end() ? nullptr : it->second.get();
}

// A command that changes what is mixed, under the lock: in live runs what
// was queued beyond the device's next block is mixed again with the change,
// so it is heard at once.
class Rewrite {
public:
    Rewrite()
    {
        if (output) output->Retract();
    }
    ~Rewrite()
    {
        if (output) output->Refill();
    }
    Rewrite(const Rewrite&) = delete;
    Rewrite& operator=(const Rewrite&) = delete;
};

Channel* AddChannel(Mixer& lib, std::unique_ptr<AudioSource> source, bool music)
{
    auto ch = std::make_unique<Channel>(nextChannelHandle++, music, std::move(source));
    Channel* raw = ch.get();
    lib.channels[raw->handle] = std::move(ch);
    return raw;
}

BOOL FreeChannel(DWORD handle, bool music)
{
    Mixer& lib = TheMixer();
    std::unique_ptr<Channel> doomed;
    {
        Lock lock(lib.mutex);
        Channel* ch = Find(lib, handle);
        if (!ch || ch->music != music) return Fail(BASS_ERROR_HANDLE, FALSE);
        Rewrite rewrite;
        doomed = std::move(lib.channels[handle]);
        lib.channels.erase(handle);
        std::erase_if(lib.due, [&](const Fire& f) { return f.channel == handle; });
    }
    return Ok(TRUE);  // the decoder closes here, outside the lock
}

}  // namespace

// ---- library lifetime -------------------------------------------------------------

BOOL BASS_Init(int device, DWORD, DWORD, HWND, const void*)
{
    Mixer& lib = TheMixer();
    {
        Lock lock(lib.mutex);
        if (lib.output) return Fail(BASS_ERROR_ALREADY, FALSE);
    }
    std::shared_ptr<Output> opened = OpenOutput(lib, device);
    {
        Lock lock(lib.mutex);
        output = opened;
        lib.output = opened.get();
        lib.running = true;
        lib.mixed = 0;
        lib.lastHeard = 0;
        lib.due.clear();
        opened->SetTitle(mediaTitle);
    }
    opened->Begin();
    return Ok(TRUE);
}

BOOL BASS_Start()
{
    Mixer& lib = TheMixer();
    std::shared_ptr<Output> out;
    {
        Lock lock(lib.mutex);
        if (!lib.output) return Fail(BASS_ERROR_INIT, FALSE);
        if (!lib.running) {
            lib.running = true;
            output->Starting();
        }
        out = output;
    }
    out->Resume();
    return Ok(TRUE);
}

BOOL BASS_Stop()
{
    Mixer& lib = TheMixer();
    std::shared_ptr<Output> out;
    {
        Lock lock(lib.mutex);
        if (!lib.output) return Fail(BASS_ERROR_INIT, FALSE);
        if (lib.running) {
            output->Stopping(lib.Heard());
            lib.running = false;
        }
        out = output;
    }
    out->Pause();
    return Ok(TRUE);
}

BOOL BASS_Free()
{
    Mixer& lib = TheMixer();
    std::map<DWORD, std::unique_ptr<Channel>> doomed;
    std::shared_ptr<Output> out;
    {
        Lock lock(lib.mutex);
        if (!lib.output) return Fail(BASS_ERROR_INIT, FALSE);
        lib.output = nullptr;
        lib.running = false;
        doomed.swap(lib.channels);
        lib.due.clear();
        out = std::move(output);
    }
    out->Close();
    return Ok(TRUE);
}

int BASS_ErrorGetCode()
{
    return lastError;
}

// ---- channels ------------------------------------------------------------------

HMUSIC BASS_MusicLoad(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags, DWORD freq)
{
    Mixer& lib = TheMixer();
    {
        Lock lock(lib.mutex);
        if (!lib.output) return Fail(BASS_ERROR_INIT, HMUSIC{0});
    }
    if (!file) return Fail(BASS_ERROR_FILEOPEN, HMUSIC{0});
    std::vector<uint8_t> bytes;
    if (mem) {
        if (length == 0) return Fail(BASS_ERROR_ILLPARAM, HMUSIC{0});
        const uint8_t* data = static_cast<const uint8_t*>(file) + offset;
        bytes.assign(data, data + length);
    } else if (!ReadFileBytes(PathOf(file, flags), offset, length, bytes)) {
        return Fail(BASS_ERROR_FILEOPEN, HMUSIC{0});
    }
    std::unique_ptr<AudioSource> source;
    int code = OpenModule(std::move(bytes), static_cast<int>(freq), source);
    if (code != 0) return Fail(code, HMUSIC{0});
    Lock lock(lib.mutex);
    if (!lib.output) return Fail(BASS_ERROR_INIT, HMUSIC{0});
    Channel* ch = AddChannel(lib, std::move(source), true);
    ch->decode = (flags & BASS_MUSIC_DECODE) != 0;
    return Ok(ch->handle);
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags)
{
    Mixer& lib = TheMixer();
    {
        Lock lock(lib.mutex);
        if (!lib.output) return Fail(BASS_ERROR_INIT, HSTREAM{0});
    }
    if (!file) return Fail(BASS_ERROR_FILEOPEN, HSTREAM{0});
    // Streams are decoded straight from whole files.
    if (mem || offset != 0 || length != 0) return Fail(BASS_ERROR_NOTAVAIL, HSTREAM{0});
    std::unique_ptr<AudioSource> source;
    int code = OpenStream(PathOf(file, flags), source);
    if (code != 0) return Fail(code, HSTREAM{0});
    Lock lock(lib.mutex);
    if (!lib.output) return Fail(BASS_ERROR_INIT, HSTREAM{0});
    Channel* ch = AddChannel(lib, std::move(source), false);
    ch->decode = (flags & BASS_STREAM_DECODE) != 0;
    return Ok(ch->handle);
}

BOOL BASS_MusicFree(HMUSIC handle)
{
    return FreeChannel(handle, true);
}

BOOL BASS_StreamFree(HSTREAM handle)
{
    return FreeChannel(handle, false);
}

QWORD BASS_ChannelGetLength(DWORD handle)
{
    Mixer& lib = TheMixer();
    Lock lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, ~QWORD{0});
    return Ok(QWORD{ch->length} * 4);
}

float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos)
{
    Mixer& lib = TheMixer();
    Lock lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, -1.0f);
    return Ok(static_cast<float>(static_cast<double>(pos) / (4.0 * ch->rate)));
}

QWORD BASS_ChannelGetPosition(DWORD handle)
{
    Mixer& lib = TheMixer();
    Lock lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, ~QWORD{0});
    return Ok(QWORD{HeardPosition(*ch, lib.Heard())} * 4);
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart)
{
    Mixer& lib = TheMixer();
    Lock lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, FALSE);
    if (ch->decode) return Fail(BASS_ERROR_DECODE, FALSE);
    Rewrite rewrite;
    lib.SettleEnds(lib.Heard());
    if (ch->state == State::Playing && !restart) return Ok(TRUE);
    // Restart, or resume a channel that has nothing left: from the beginning.
    // A paused channel whose last frames were already mixed resumes into its end.
    if (restart || ch->ended || (ch->state == State::Stopped && ch->pos >= ch->length)) Rewind(*ch);
    if (ch->history.empty()) ch->history.assign(static_cast<size_t>(kHistoryFrames * 2), 0.0f);
    ch->state = State::Playing;
    ch->stamps.clear();
    ch->runStart = lib.mixed;
    ch->startedBy = 0;  // played by the caller now, not by a hand-over
    return Ok(TRUE);
}

BOOL BASS_ChannelPause(DWORD handle)
{
    Mixer& lib = TheMixer();
    Lock lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, FALSE);
    Rewrite rewrite;
    lib.SettleEnds(lib.Heard());
    if (ch->state != State::Playing) return Fail(BASS_ERROR_NOPLAY, FALSE);
    // What was queued beyond the device's next block was taken back: the
    // pause is heard at once, and the position rests where it stopped.
    ch->state = State::Paused;
    ch->stamps.clear();
    return Ok(TRUE);
}

BOOL BASS_ChannelStop(DWORD handle)
{
    Mixer& lib = TheMixer();
    Lock lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, FALSE);
    Rewrite rewrite;
    lib.SettleEnds(lib.Heard());
    ch->state = State::Stopped;
    ch->stamps.clear();
    // A follower this channel started at its end stops with it.
    Channel* next = ch->handedOver ? Find(lib, ch->follower) : nullptr;
    if (next && next->startedBy == handle) {
        next->state = State::Stopped;
        next->stamps.clear();
        next->startedBy = 0;
    }
    return Ok(TRUE);
}

HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc, void* user)
{
    Mixer& lib = TheMixer();
    Lock lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, HSYNC{0});
    // Only the end of a channel can be waited for.
    if (!proc || (type & ~BASS_SYNC_ONETIME) != BASS_SYNC_END) return Fail(BASS_ERROR_ILLPARAM, HSYNC{0});
    HSYNC sync = nextSyncHandle++;
    ch->syncs.push_back({sync, type, proc, user});
    return Ok(sync);
}

BOOL BASS_ChannelRemoveSync(DWORD handle, HSYNC sync)
{
    Mixer& lib = TheMixer();
    Lock lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, FALSE);
    // A sync that came due but was not called yet is cancelled too.
    size_t before = ch->syncs.size() + lib.due.size();
    std::erase_if(ch->syncs, [&](const Sync& s) { return s.handle == sync; });
    std::erase_if(lib.due, [&](const Fire& f) { return f.handle == sync; });
    if (ch->syncs.size() + lib.due.size() == before) return Fail(BASS_ERROR_HANDLE, FALSE);
    return Ok(TRUE);
}

BOOL BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan)
{
    Mixer& lib = TheMixer();
    Lock lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, FALSE);
    float newVolume = volume != -1 ? static_cast<float>(std::clamp(volume, 0, 100)) / 100.0f : ch->volume;
    int newPan = pan != -101 ? std::clamp(pan, -100, 100) : ch->pan;
    // Only a change to what plays rewrites what is queued.
    if (newVolume != ch->volume || newPan != ch->pan) {
        std::optional<Rewrite> rewrite;
        if (ch->state == State::Playing) rewrite.emplace();
        ch->volume = newVolume;
        ch->pan = newPan;
    }
    // Channels play at their own rate; asking for another one is refused.
    if (freq != -1 && freq != 0 && freq != ch->rate) return Fail(BASS_ERROR_NOTAVAIL, FALSE);
    return Ok(TRUE);
}

BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value)
{
    Mixer& lib = TheMixer();
    Lock lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, FALSE);
    if (!std::isfinite(value)) return Fail(BASS_ERROR_ILLPARAM, FALSE);
    if (attrib == BASS_ATTRIB_GAIN) {
        if (value < -60.0f || value > 24.0f) return Fail(BASS_ERROR_ILLPARAM, FALSE);
        ch->gain = static_cast<float>(std::pow(10.0, value / 20.0));
        return Ok(TRUE);
    }
    // Every module setting is a small whole number; a larger float would not convert.
    if (std::fabs(value) > 1000.0f) return Fail(BASS_ERROR_ILLPARAM, FALSE);
    const int v = static_cast<int>(value);
    bool valid = false;
    RenderOption option = RenderOption::StereoSeparation;
    switch (attrib) {
    case BASS_ATTRIB_MUSIC_PANSEP:
        valid = v >= 0 && v <= 200;
        break;
    case BASS_ATTRIB_MUSIC_INTERP:
        option = RenderOption::Interpolation;
        valid = v == 1 || v == 2 || v == 4 || v == 8;
        break;
    case BASS_ATTRIB_MUSIC_RAMPING:
        option = RenderOption::VolumeRamping;
        valid = v >= -1 && v <= 10;
        break;
    case BASS_ATTRIB_MUSIC_AMIGA:
        option = RenderOption::AmigaResampler;
        valid = v == 0 || v == 1;
        break;
    default:
        return Fail(BASS_ERROR_ILLTYPE, FALSE);
    }
    if (!valid || static_cast<float>(v) != value) return Fail(BASS_ERROR_ILLPARAM, FALSE);
    if (!ch->music) return Fail(BASS_ERROR_ILLTYPE, FALSE);
    int code = ch->source->SetRenderOption(option, v);
    return code ? Fail(code, FALSE) : Ok(TRUE);
}

DWORD BASS_ChannelGetLevel(DWORD handle)
{
    Mixer& lib = TheMixer();
    Lock lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, ~DWORD{0});
    int64_t heard = lib.Heard();
    if (!Audible(*ch, heard)) return Ok(DWORD{0});
    float peak[2] = {0.0f, 0.0f};
    for (int64_t f = heard - kLevelFrames; f < heard; ++f) {
        float frame[2];
        HeardFrame(*ch, f, frame);
        peak[0] = std::max(peak[0], std::fabs(frame[0]));
        peak[1] = std::max(peak[1], std::fabs(frame[1]));
    }
    DWORD left = static_cast<DWORD>(std::min(32768.0f, std::nearbyint(peak[0] * 32768.0f)));
    DWORD right = static_cast<DWORD>(std::min(32768.0f, std::nearbyint(peak[1] * 32768.0f)));
    return Ok(left | (right << 16));
}

DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length)
{
    Mixer& lib = TheMixer();
    Lock lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, ~DWORD{0});
    if (ch->decode && (length & BASS_DATA_FFT256) == 0 && (length & BASS_DATA_FLOAT) != 0) {
        if (!buffer) return Fail(BASS_ERROR_ILLPARAM, ~DWORD{0});
        const int64_t frames = static_cast<int64_t>((length & ~BASS_DATA_FLOAT) / (2 * sizeof(float)));
        const int64_t got = Render(*ch, static_cast<float*>(buffer), frames);
        return Ok(static_cast<DWORD>(got * 2 * static_cast<int64_t>(sizeof(float))));
    }
    size_t n = 0;
    if (length == BASS_DATA_FFT256) n = 256;
    else if (length == BASS_DATA_FFT512) n = 512;
    if (n == 0 || !buffer) return Fail(BASS_ERROR_ILLPARAM, ~DWORD{0});
    float* out = static_cast<float*>(buffer);
    int64_t heard = lib.Heard();
    if (!Audible(*ch, heard)) {
        std::fill(out, out + n / 2, 0.0f);
        return Ok(static_cast<DWORD>(n / 2 * sizeof(float)));
    }
    float mono[512];
    for (size_t i = 0; i < n; ++i) {
        float frame[2];
        HeardFrame(*ch, heard - static_cast<int64_t>(n) + static_cast<int64_t>(i), frame);
        mono[i] = 0.5f * (frame[0] + frame[1]);
    }
    HannSpectrum(mono, n, out);
    return Ok(static_cast<DWORD>(n / 2 * sizeof(float)));
}

// ---- this program's own calls ----------------------------------------------------------

namespace bass {

bool SetFollower(DWORD channel, DWORD next)
{
    Mixer& lib = TheMixer();
    Lock lock(lib.mutex);
    Channel* ch = Find(lib, channel);
    if (!ch) return false;
    if (next != 0) {
        Channel* following = Find(lib, next);
        if (!following || next == channel) return false;
        // Allocated here rather than by the mixer thread at the hand-over.
        if (following->history.empty())
            following->history.assign(static_cast<size_t>(kHistoryFrames * 2), 0.0f);
    }
    ch->follower = next;
    return true;
}

DWORD StartedFollower(DWORD channel)
{
    Mixer& lib = TheMixer();
    Lock lock(lib.mutex);
    Channel* ch = Find(lib, channel);
    if (!ch || !ch->handedOver) return 0;
    Channel* next = Find(lib, ch->follower);
    return next && next->startedBy == channel && next->state == State::Playing ? ch->follower : 0;
}

void BeginChange()
{
    Mixer& lib = TheMixer();
    Lock lock(lib.mutex);
    if (output) output->Hold();
}

void EndChange()
{
    Mixer& lib = TheMixer();
    Lock lock(lib.mutex);
    if (output) output->Release();
}

void SetMediaTitle(const std::string& title)
{
    Mixer& lib = TheMixer();
    Lock lock(lib.mutex);
    mediaTitle = title;
    if (output) output->SetTitle(title);
}

}  // namespace bass
