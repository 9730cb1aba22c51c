// The audio library over libopenmpt, libsndfile and SDL2.
//
// One lock guards every channel. Mixing runs under it: on SDL's audio thread in
// live runs, on the worker thread with the silent device, on the main thread at
// each frame boundary in virtual runs. Sync callbacks always run after the lock
// is released: on the worker thread (live) or in the frame hook (virtual).
//
// Time is counted in output frames (44.1 kHz). `mixed` is how many have been
// mixed; the heard clock trails it by the output's latency. Every mixed block
// leaves a stamp per channel (output frames -> source frames) and a copy of
// its samples before volume, so position, level and spectrum are read at the
// heard clock, not at the mix.
//
// Latency: with SDL the heard clock trails the mix by two callback blocks (the
// one just filled and the one the device plays; 2 x 512 frames, about 23 ms),
// advancing in real time between callbacks but never past the next block. The
// silent device plays from a real-time clock and mixes one 256-frame block
// ahead. Virtual runs hear exactly what was mixed, at each frame boundary.
#include "platform/bass/bass.h"

#include "platform/bass/AudioSource.h"
#include "platform/bass/Fft.h"
#include "platform/host/Host.h"
#include "platform/win32/Log.h"
#include "platform/win32/Utf8.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kOutRate = 44100;
constexpr int64_t kHistoryFrames = 16384;   // per channel; far more than latency + FFT size
constexpr int64_t kLevelFrames = kOutRate / 50;   // 20 ms
constexpr int64_t kMixChunk = 2048;         // frames mixed in one pass
constexpr int kSdlBufferFrames = 512;       // SDL callback size asked for
constexpr int kSilentBufferFrames = 256;    // the silent device's block
constexpr size_t kReadChunk = 1024;         // frames decoded at once

enum class Device { Virtual, Sdl, Silent };
enum class State { Stopped, Playing, Paused };

struct Sync {
    HSYNC handle;
    DWORD type;
    SYNCPROC* proc;
    void* user;
};

struct Stamp {
    int64_t outStart, outEnd;     // output frames
    uint64_t srcStart, srcEnd;    // channel frames
};

struct Fire {
    HSYNC handle;
    DWORD channel;
    SYNCPROC* proc;
    void* user;
};

struct Channel {
    DWORD handle = 0;
    bool music = false;
    std::unique_ptr<bass::AudioSource> source;
    int rate = kOutRate;
    uint64_t length = 0;          // frames at `rate`

    // Decoded frames not yet used.
    std::vector<float> chunk;
    size_t chunkAt = 0, chunkCount = 0;
    uint64_t readIndex = 0;       // next frame the reader hands out
    bool sourceDry = false;       // the decoder gave out before `length`: pad with silence

    // Cubic resampler for rates other than the output's.
    bool resample = false;
    double step = 1.0;
    double frac = 0.0;
    float taps[4][2] = {};
    bool primed = false;

    uint64_t pos = 0;             // next channel frame to mix
    State state = State::Stopped;
    bool mixedToEnd = false;      // the last frame is mixed; heard at endOut
    int64_t endOut = 0;
    bool ended = false;           // its end was heard

    float volume = 1.0f;          // 0..1
    int pan = 0;                  // -100..100

    std::deque<Stamp> stamps;     // mixed, not yet heard
    std::vector<float> history;   // stereo, indexed by output frame modulo kHistoryFrames
    int64_t runStart = 0;         // output frame where the current run of playing began
    std::vector<Sync> syncs;
};

struct Library {
    std::mutex mutex;
    std::condition_variable wake;
    bool initialised = false;
    Device device = Device::Virtual;
    bool running = false;         // BASS_Start / BASS_Stop
    std::map<DWORD, std::unique_ptr<Channel>> channels;
    std::vector<Fire> due;        // syncs whose moment came, not yet called

    int64_t mixed = 0;
    int64_t lastHeard = 0;
    // SDL: the last callback's time and size, and the frames between mix and ear.
    Clock::time_point lastCallback;
    int64_t callbackFrames = kSdlBufferFrames;
    int64_t latency = 0;
    // Silent device: real time since start, stopped while the output is stopped.
    Clock::time_point silentStart;
    int64_t silentBase = 0;

    SDL_AudioDeviceID sdlDevice = 0;
    std::thread worker;
    bool quit = false;
    uint64_t generation = 0;      // one per BASS_Init: a detached old worker knows it is done
    int frameHook = -1;

    std::vector<float> mixBuffer, channelBuffer;
};

Library& Lib()
{
    static Library library;
    return library;
}

// Handles are never reused, so an old handle can never reach a new channel.
std::atomic<DWORD> nextChannelHandle{0x10000};
std::atomic<DWORD> nextSyncHandle{0x20000};

thread_local int lastError = BASS_OK;

template <typename T>
T Fail(int code, T result)
{
    lastError = code;
    return result;
}

template <typename T>
T Ok(T result)
{
    lastError = BASS_OK;
    return result;
}

std::string PathOf(const void* file, DWORD flags)
{
    if (flags & BASS_UNICODE) return Utf8FromWide(static_cast<const wchar_t*>(file));
    return static_cast<const char*>(file);
}

Channel* Find(Library& lib, DWORD handle)
{
    if (!lib.initialised) return nullptr;
    auto it = lib.channels.find(handle);
    return it == lib.channels.end() ? nullptr : it->second.get();
}

// ---- the heard clock ----------------------------------------------------------

// The silent device plays in real time from its start, less the time stopped.
int64_t SilentClock(const Library& lib)
{
    if (!lib.running) return lib.silentBase;
    double since = std::chrono::duration<double>(Clock::now() - lib.silentStart).count();
    return lib.silentBase + static_cast<int64_t>(since * kOutRate);
}

int64_t Heard(Library& lib)
{
    int64_t heard = lib.lastHeard;
    if (lib.device == Device::Virtual) {
        heard = lib.mixed;
    } else if (lib.running) {
        auto now = Clock::now();
        if (lib.device == Device::Sdl) {
            // The callback's block starts sounding `latency` frames after the
            // mix; between callbacks the clock runs on in real time, but never
            // past the next block's start.
            double since = std::chrono::duration<double>(now - lib.lastCallback).count();
            int64_t base = lib.mixed - lib.latency;
            heard = base + std::min<int64_t>(static_cast<int64_t>(since * kOutRate), lib.callbackFrames);
        } else {
            heard = SilentClock(lib);
        }
    }
    heard = std::clamp<int64_t>(heard, lib.lastHeard, lib.mixed);
    lib.lastHeard = heard;
    return heard;
}

// ---- decoding -----------------------------------------------------------------

// Next channel frame into `frame`; silence beyond the length or when the decoder ran dry.
void Pull(Channel& ch, float* frame)
{
    if (ch.readIndex >= ch.length) {
        frame[0] = frame[1] = 0.0f;
        return;
    }
    if (ch.chunkAt == ch.chunkCount && !ch.sourceDry) {
        ch.chunk.resize(kReadChunk * 2);
        ch.chunkCount = ch.source->Read(ch.chunk.data(), kReadChunk);
        ch.chunkAt = 0;
        if (ch.chunkCount == 0) ch.sourceDry = true;
    }
    if (ch.chunkAt < ch.chunkCount) {
        frame[0] = ch.chunk[ch.chunkAt * 2];
        frame[1] = ch.chunk[ch.chunkAt * 2 + 1];
        ++ch.chunkAt;
    } else {
        frame[0] = frame[1] = 0.0f;
    }
    ++ch.readIndex;
}

// Up to n output frames of the channel, before volume. Returns how many: fewer
// than n only at the end.
int64_t Render(Channel& ch, float* out, int64_t n)
{
    if (!ch.resample) {
        int64_t count = std::min<int64_t>(n, static_cast<int64_t>(ch.length - ch.pos));
        for (int64_t i = 0; i < count; ++i) Pull(ch, out + i * 2);
        ch.pos += static_cast<uint64_t>(count);
        return count;
    }
    if (!ch.primed) {
        // taps: frames pos-1 .. pos+2; the frame before the start is silence.
        ch.taps[0][0] = ch.taps[0][1] = 0.0f;
        for (int t = 1; t < 4; ++t) Pull(ch, ch.taps[t]);
        ch.primed = true;
    }
    int64_t count = 0;
    while (count < n && ch.pos < ch.length) {
        float x = static_cast<float>(ch.frac);
        for (int c = 0; c < 2; ++c) {
            // Catmull-Rom through the four taps.
            float p0 = ch.taps[0][c], p1 = ch.taps[1][c], p2 = ch.taps[2][c], p3 = ch.taps[3][c];
            float a = -0.5f * p0 + 1.5f * p1 - 1.5f * p2 + 0.5f * p3;
            float b = p0 - 2.5f * p1 + 2.0f * p2 - 0.5f * p3;
            float d = -0.5f * p0 + 0.5f * p2;
            out[count * 2 + c] = ((a * x + b) * x + d) * x + p1;
        }
        ++count;
        ch.frac += ch.step;
        while (ch.frac >= 1.0 && ch.pos < ch.length) {
            ch.frac -= 1.0;
            for (int t = 0; t < 3; ++t) {
                ch.taps[t][0] = ch.taps[t + 1][0];
                ch.taps[t][1] = ch.taps[t + 1][1];
            }
            Pull(ch, ch.taps[3]);
            ++ch.pos;
        }
    }
    return count;
}

void Rewind(Channel& ch)
{
    ch.source->Rewind();
    ch.chunkAt = ch.chunkCount = 0;
    ch.readIndex = 0;
    ch.sourceDry = false;
    ch.frac = 0.0;
    ch.primed = false;
    ch.pos = 0;
    ch.mixedToEnd = false;
    ch.ended = false;
    ch.stamps.clear();
}

// ---- mixing -------------------------------------------------------------------

// Mixes n frames (n <= kMixChunk) into out (interleaved 16-bit stereo, may be null).
void MixBlock(Library& lib, int64_t n, int16_t* out)
{
    lib.mixBuffer.assign(static_cast<size_t>(n * 2), 0.0f);
    lib.channelBuffer.resize(static_cast<size_t>(kMixChunk * 2));
    float* mix = lib.mixBuffer.data();
    float* buf = lib.channelBuffer.data();
    int64_t heard = Heard(lib);
    for (auto& [handle, chp] : lib.channels) {
        Channel& ch = *chp;
        while (!ch.stamps.empty() && ch.stamps.front().outEnd <= heard) ch.stamps.pop_front();
        if (ch.state != State::Playing || ch.mixedToEnd) continue;
        uint64_t srcStart = ch.pos;
        int64_t count = Render(ch, buf, n);
        if (count > 0) {
            for (int64_t i = 0; i < count; ++i) {
                size_t at = static_cast<size_t>(((lib.mixed + i) % kHistoryFrames) * 2);
                ch.history[at] = buf[i * 2];
                ch.history[at + 1] = buf[i * 2 + 1];
            }
            ch.stamps.push_back({lib.mixed, lib.mixed + count, srcStart, ch.pos});
            float left = ch.volume * (ch.pan > 0 ? 1.0f - ch.pan / 100.0f : 1.0f);
            float right = ch.volume * (ch.pan < 0 ? 1.0f + ch.pan / 100.0f : 1.0f);
            for (int64_t i = 0; i < count; ++i) {
                mix[i * 2] += buf[i * 2] * left;
                mix[i * 2 + 1] += buf[i * 2 + 1] * right;
            }
        }
        if (ch.pos >= ch.length) {
            ch.mixedToEnd = true;
            ch.endOut = lib.mixed + count;
        }
    }
    if (out) {
        for (int64_t i = 0; i < n * 2; ++i) {
            float v = std::nearbyint(mix[i] * 32768.0f);
            out[i] = static_cast<int16_t>(std::clamp(v, -32768.0f, 32767.0f));
        }
    }
    lib.mixed += n;
}

// Channels whose last frame has now been heard end here; their END syncs are
// queued in lib.due, ONETIME ones removed.
void SettleEnds(Library& lib, int64_t heard)
{
    for (auto& [handle, chp] : lib.channels) {
        Channel& ch = *chp;
        if (ch.state != State::Playing || !ch.mixedToEnd || heard < ch.endOut) continue;
        ch.state = State::Stopped;
        ch.ended = true;
        ch.stamps.clear();
        for (auto it = ch.syncs.begin(); it != ch.syncs.end();) {
            lib.due.push_back({it->handle, ch.handle, it->proc, it->user});
            if (it->type & BASS_SYNC_ONETIME) it = ch.syncs.erase(it);
            else ++it;
        }
    }
}

void CallDue(std::vector<Fire>& fires)
{
    for (const Fire& f : fires) f.proc(f.handle, f.channel, 0, f.user);
}

// True while what the channel plays is still being heard.
bool Audible(const Channel& ch, int64_t heard)
{
    return ch.state == State::Playing && !(ch.mixedToEnd && heard >= ch.endOut);
}

uint64_t HeardPosition(Channel& ch, int64_t heard)
{
    if (ch.state == State::Playing) {
        while (!ch.stamps.empty() && ch.stamps.front().outEnd <= heard) ch.stamps.pop_front();
        if (!ch.stamps.empty()) {
            const Stamp& s = ch.stamps.front();
            if (heard <= s.outStart) return s.srcStart;
            double f = static_cast<double>(heard - s.outStart) / static_cast<double>(s.outEnd - s.outStart);
            return s.srcStart + static_cast<uint64_t>(f * static_cast<double>(s.srcEnd - s.srcStart));
        }
    }
    return ch.pos;
}

// The frame heard at output frame f, before volume; silence outside the current run.
void HeardFrame(const Channel& ch, int64_t f, float* frame)
{
    if (f < ch.runStart || f < 0 || (ch.mixedToEnd && f >= ch.endOut)) {
        frame[0] = frame[1] = 0.0f;
        return;
    }
    size_t at = static_cast<size_t>((f % kHistoryFrames) * 2);
    frame[0] = ch.history[at];
    frame[1] = ch.history[at + 1];
}

// ---- output devices ------------------------------------------------------------

void SDLCALL SdlCallback(void*, Uint8* stream, int bytes)
{
    Library& lib = Lib();
    std::lock_guard<std::mutex> lock(lib.mutex);
    int64_t frames = bytes / 4;
    int16_t* out = reinterpret_cast<int16_t*>(stream);
    if (!lib.initialised || !lib.running) {
        std::fill(out, out + frames * 2, int16_t{0});
        return;
    }
    for (int64_t done = 0; done < frames;) {
        int64_t n = std::min(kMixChunk, frames - done);
        MixBlock(lib, n, out + done * 2);
        done += n;
    }
    lib.lastCallback = Clock::now();
    lib.callbackFrames = frames;
}

// Live runs: fires END syncs once they are heard and, with the silent device,
// keeps the mix a block ahead of real time.
void WorkerLoop(uint64_t generation)
{
    Library& lib = Lib();
    std::unique_lock<std::mutex> lock(lib.mutex);
    while (!lib.quit && lib.generation == generation) {
        lib.wake.wait_for(lock, std::chrono::milliseconds(2));
        if (lib.quit || lib.generation != generation) break;
        if (lib.device == Device::Silent && lib.running) {
            int64_t target = SilentClock(lib) + kSilentBufferFrames;
            while (lib.mixed < target) MixBlock(lib, kSilentBufferFrames, nullptr);
        }
        SettleEnds(lib, Heard(lib));
        if (lib.due.empty()) continue;
        std::vector<Fire> fires;
        fires.swap(lib.due);
        lock.unlock();
        CallDue(fires);
        lock.lock();
    }
}

// Virtual runs: the samples of the frame interval that just ended go to the
// host's sound sink, then the syncs that came due.
void VirtualFrame()
{
    Library& lib = Lib();
    uint64_t frame = host::FrameIndex();
    int64_t n = frame ? static_cast<int64_t>(host::SampleFramesAt(frame) - host::SampleFramesAt(frame - 1)) : 0;
    std::vector<int16_t> out(static_cast<size_t>(n * 2), 0);
    std::vector<Fire> fires;
    {
        std::lock_guard<std::mutex> lock(lib.mutex);
        if (!lib.initialised) return;
        if (lib.running) {
            for (int64_t done = 0; done < n;) {
                int64_t count = std::min(kMixChunk, n - done);
                MixBlock(lib, count, out.data() + done * 2);
                done += count;
            }
        }
        SettleEnds(lib, Heard(lib));
        fires.swap(lib.due);
    }
    if (n > 0) host::SubmitSound(out.data(), static_cast<size_t>(n));
    CallDue(fires);
}

bool OpenSdl(Library& lib)
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec want{};
    want.freq = kOutRate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kSdlBufferFrames;
    want.callback = SdlCallback;
    SDL_AudioSpec have{};
    SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    lib.sdlDevice = device;
    // The block being filled plus the one the device is playing.
    lib.callbackFrames = have.samples;
    lib.latency = 2 * static_cast<int64_t>(have.samples);
    return true;
}

Channel* AddChannel(Library& lib, std::unique_ptr<bass::AudioSource> source, bool music)
{
    auto ch = std::make_unique<Channel>();
    ch->handle = nextChannelHandle++;
    ch->music = music;
    ch->rate = source->Rate();
    ch->length = source->Frames();
    ch->resample = ch->rate != kOutRate;
    ch->step = static_cast<double>(ch->rate) / kOutRate;
    ch->source = std::move(source);
    Channel* raw = ch.get();
    lib.channels[raw->handle] = std::move(ch);
    return raw;
}

BOOL FreeChannel(DWORD handle, bool music)
{
    Library& lib = Lib();
    std::unique_ptr<Channel> doomed;
    {
        std::lock_guard<std::mutex> lock(lib.mutex);
        Channel* ch = Find(lib, handle);
        if (!ch || ch->music != music) return Fail(BASS_ERROR_HANDLE, FALSE);
        doomed = std::move(lib.channels[handle]);
        lib.channels.erase(handle);
        std::erase_if(lib.due, [&](const Fire& f) { return f.channel == handle; });
    }
    return Ok(TRUE);   // the decoder closes here, outside the lock
}

}  // namespace

// ---- library lifetime -------------------------------------------------------------

BOOL BASS_Init(int device, DWORD freq, DWORD flags, HWND win, const void* clsid)
{
    Library& lib = Lib();
    {
        std::lock_guard<std::mutex> lock(lib.mutex);
        if (lib.initialised) return Fail(BASS_ERROR_ALREADY, FALSE);
    }
    Device kind = Device::Virtual;
    if (!host::IsVirtual()) {
        if (device != 0 && OpenSdl(lib)) {
            kind = Device::Sdl;
        } else {
            if (device != 0) LogPrintf("[bass] no sound device could be opened; playing silently in real time\n");
            kind = Device::Silent;
        }
    }
    {
        std::lock_guard<std::mutex> lock(lib.mutex);
        lib.initialised = true;
        lib.device = kind;
        lib.running = true;
        lib.quit = false;
        ++lib.generation;
        lib.mixed = 0;
        lib.lastHeard = 0;
        lib.lastCallback = Clock::now();
        lib.silentStart = Clock::now();
        lib.silentBase = 0;
        lib.due.clear();
        if (kind == Device::Silent) lib.latency = kSilentBufferFrames;
        if (kind == Device::Virtual) lib.latency = 0;
    }
    if (kind == Device::Virtual) {
        int hook = host::AddFrameHook(VirtualFrame);
        std::lock_guard<std::mutex> lock(lib.mutex);
        lib.frameHook = hook;
    } else {
        SDL_AudioDeviceID sdl = 0;
        {
            std::lock_guard<std::mutex> lock(lib.mutex);
            lib.worker = std::thread(WorkerLoop, lib.generation);
            sdl = lib.sdlDevice;
        }
        // Outside our lock: SDL holds its own while it runs our callback.
        if (sdl) SDL_PauseAudioDevice(sdl, 0);
    }
    return Ok(TRUE);
}

BOOL BASS_Start()
{
    Library& lib = Lib();
    SDL_AudioDeviceID sdl = 0;
    {
        std::lock_guard<std::mutex> lock(lib.mutex);
        if (!lib.initialised) return Fail(BASS_ERROR_INIT, FALSE);
        if (!lib.running) {
            lib.running = true;
            lib.lastCallback = Clock::now();
            lib.silentStart = Clock::now();
        }
        sdl = lib.sdlDevice;
    }
    // Outside our lock: SDL holds its own while it runs our callback.
    if (sdl) SDL_PauseAudioDevice(sdl, 0);
    return Ok(TRUE);
}

BOOL BASS_Stop()
{
    Library& lib = Lib();
    SDL_AudioDeviceID sdl = 0;
    {
        std::lock_guard<std::mutex> lock(lib.mutex);
        if (!lib.initialised) return Fail(BASS_ERROR_INIT, FALSE);
        if (lib.running) {
            lib.silentBase = Heard(lib);
            lib.running = false;
        }
        sdl = lib.sdlDevice;
    }
    if (sdl) SDL_PauseAudioDevice(sdl, 1);
    return Ok(TRUE);
}

BOOL BASS_Free()
{
    Library& lib = Lib();
    std::map<DWORD, std::unique_ptr<Channel>> doomed;
    SDL_AudioDeviceID sdl = 0;
    std::thread worker;
    int hook = -1;
    {
        std::lock_guard<std::mutex> lock(lib.mutex);
        if (!lib.initialised) return Fail(BASS_ERROR_INIT, FALSE);
        lib.initialised = false;
        lib.running = false;
        lib.quit = true;
        doomed.swap(lib.channels);
        lib.due.clear();
        sdl = lib.sdlDevice;
        lib.sdlDevice = 0;
        worker = std::move(lib.worker);
        hook = lib.frameHook;
        lib.frameHook = -1;
    }
    lib.wake.notify_all();
    if (sdl) {
        SDL_CloseAudioDevice(sdl);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    if (worker.joinable()) {
        // A sync callback may free the library from the worker itself.
        if (worker.get_id() == std::this_thread::get_id()) worker.detach();
        else worker.join();
    }
    if (hook >= 0) host::RemoveFrameHook(hook);
    return Ok(TRUE);
}

int BASS_ErrorGetCode()
{
    return lastError;
}

// ---- channels ------------------------------------------------------------------

HMUSIC BASS_MusicLoad(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags, DWORD freq)
{
    Library& lib = Lib();
    {
        std::lock_guard<std::mutex> lock(lib.mutex);
        if (!lib.initialised) return Fail(BASS_ERROR_INIT, HMUSIC{0});
    }
    if (!file) return Fail(BASS_ERROR_FILEOPEN, HMUSIC{0});
    std::vector<uint8_t> bytes;
    if (mem) {
        if (length == 0) return Fail(BASS_ERROR_ILLPARAM, HMUSIC{0});
        const uint8_t* data = static_cast<const uint8_t*>(file) + offset;
        bytes.assign(data, data + length);
    } else if (!bass::ReadFileBytes(PathOf(file, flags), offset, length, bytes)) {
        return Fail(BASS_ERROR_FILEOPEN, HMUSIC{0});
    }
    std::unique_ptr<bass::AudioSource> source;
    int code = bass::OpenModule(std::move(bytes), static_cast<int>(freq), source);
    if (code != 0) return Fail(code, HMUSIC{0});
    std::lock_guard<std::mutex> lock(lib.mutex);
    if (!lib.initialised) return Fail(BASS_ERROR_INIT, HMUSIC{0});
    return Ok(AddChannel(lib, std::move(source), true)->handle);
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags)
{
    Library& lib = Lib();
    {
        std::lock_guard<std::mutex> lock(lib.mutex);
        if (!lib.initialised) return Fail(BASS_ERROR_INIT, HSTREAM{0});
    }
    if (!file) return Fail(BASS_ERROR_FILEOPEN, HSTREAM{0});
    // Streams are decoded straight from whole files.
    if (mem || offset != 0 || length != 0) return Fail(BASS_ERROR_NOTAVAIL, HSTREAM{0});
    std::unique_ptr<bass::AudioSource> source;
    int code = bass::OpenStream(PathOf(file, flags), source);
    if (code != 0) return Fail(code, HSTREAM{0});
    std::lock_guard<std::mutex> lock(lib.mutex);
    if (!lib.initialised) return Fail(BASS_ERROR_INIT, HSTREAM{0});
    return Ok(AddChannel(lib, std::move(source), false)->handle);
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
    Library& lib = Lib();
    std::lock_guard<std::mutex> lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, ~QWORD{0});
    return Ok(QWORD{ch->length} * 4);
}

float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos)
{
    Library& lib = Lib();
    std::lock_guard<std::mutex> lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, -1.0f);
    return Ok(static_cast<float>(static_cast<double>(pos) / (4.0 * ch->rate)));
}

QWORD BASS_ChannelGetPosition(DWORD handle)
{
    Library& lib = Lib();
    std::lock_guard<std::mutex> lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, ~QWORD{0});
    return Ok(QWORD{HeardPosition(*ch, Heard(lib))} * 4);
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart)
{
    Library& lib = Lib();
    std::lock_guard<std::mutex> lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, FALSE);
    SettleEnds(lib, Heard(lib));
    if (ch->state == State::Playing && !restart) return Ok(TRUE);
    // Restart, or resume a channel that has nothing left: from the beginning.
    // A paused channel whose last frames were already mixed resumes into its end.
    if (restart || ch->ended || (ch->state == State::Stopped && ch->pos >= ch->length)) Rewind(*ch);
    if (ch->history.empty()) ch->history.assign(static_cast<size_t>(kHistoryFrames * 2), 0.0f);
    ch->state = State::Playing;
    ch->stamps.clear();
    ch->runStart = lib.mixed;
    return Ok(TRUE);
}

BOOL BASS_ChannelPause(DWORD handle)
{
    Library& lib = Lib();
    std::lock_guard<std::mutex> lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, FALSE);
    SettleEnds(lib, Heard(lib));
    if (ch->state != State::Playing) return Fail(BASS_ERROR_NOPLAY, FALSE);
    // What is already mixed still sounds; the position rests after it.
    ch->state = State::Paused;
    ch->stamps.clear();
    return Ok(TRUE);
}

BOOL BASS_ChannelStop(DWORD handle)
{
    Library& lib = Lib();
    std::lock_guard<std::mutex> lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, FALSE);
    SettleEnds(lib, Heard(lib));
    ch->state = State::Stopped;
    ch->stamps.clear();
    return Ok(TRUE);
}

HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc, void* user)
{
    Library& lib = Lib();
    std::lock_guard<std::mutex> lock(lib.mutex);
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
    Library& lib = Lib();
    std::lock_guard<std::mutex> lock(lib.mutex);
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
    Library& lib = Lib();
    std::lock_guard<std::mutex> lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, FALSE);
    if (volume != -1) ch->volume = static_cast<float>(std::clamp(volume, 0, 100)) / 100.0f;
    if (pan != -101) ch->pan = std::clamp(pan, -100, 100);
    // Channels play at their own rate; asking for another one is refused.
    if (freq != -1 && freq != 0 && freq != ch->rate) return Fail(BASS_ERROR_NOTAVAIL, FALSE);
    return Ok(TRUE);
}

DWORD BASS_ChannelGetLevel(DWORD handle)
{
    Library& lib = Lib();
    std::lock_guard<std::mutex> lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, ~DWORD{0});
    int64_t heard = Heard(lib);
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
    Library& lib = Lib();
    std::lock_guard<std::mutex> lock(lib.mutex);
    Channel* ch = Find(lib, handle);
    if (!ch) return Fail(BASS_ERROR_HANDLE, ~DWORD{0});
    size_t n = 0;
    if (length == BASS_DATA_FFT256) n = 256;
    else if (length == BASS_DATA_FFT512) n = 512;
    if (n == 0 || !buffer) return Fail(BASS_ERROR_ILLPARAM, ~DWORD{0});
    float* out = static_cast<float*>(buffer);
    int64_t heard = Heard(lib);
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
    bass::HannSpectrum(mono, n, out);
    return Ok(static_cast<DWORD>(n / 2 * sizeof(float)));
}
