// Live runs with a sound card: SDL2 audio, whose call-back copies the queued
// mix. The heard clock trails what it took by two blocks (the one just taken
// and the one the device plays; 2 x 512 frames, about 23 ms).
#include "platform/bass/Output.h"

#include "platform/win32/Log.h"

#include <SDL.h>
#include <dlfcn.h>

namespace bass {
namespace {

constexpr int kSdlBufferFrames = 512;  // call-back size asked for

class SdlOutput final : public LiveOutput {
public:
    SdlOutput(Mixer& mixer, SDL_AudioDeviceID device, int blockFrames)
        : LiveOutput(mixer, blockFrames, 2 * static_cast<int64_t>(blockFrames)), device_(device)
    {
    }

    static void SDLCALL Callback(void* user, Uint8* stream, int bytes)
    {
        auto* self = *static_cast<SdlOutput**>(user);
        auto* out = reinterpret_cast<int16_t*>(stream);
        if (!self) {
            std::fill(out, out + bytes / 2, int16_t{0});
            return;
        }
        self->Take(out, bytes / 4);
    }

    void Begin() override
    {
        LiveOutput::Begin();
        // Outside our lock: SDL holds its own while it runs our call-back.
        SDL_PauseAudioDevice(device_, 0);
    }
    void Resume() override { SDL_PauseAudioDevice(device_, 0); }
    void Pause() override { SDL_PauseAudioDevice(device_, 1); }

    void Close() override
    {
        SDL_CloseAudioDevice(device_);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        LiveOutput::Close();
    }

private:
    SDL_AudioDeviceID device_;
};

// libasound reports every card it cannot find on standard error; SDL tries
// them while it looks for a device. Our own log line says what came of it.
void QuietAlsaError(const char*, int, const char*, int, const char*, ...) {}

void QuietAlsa()
{
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    // The same library SDL loads; left loaded, as our handler stays set in it.
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!alsa) return;
    if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler")))
        set(QuietAlsaError);
}

}  // namespace

std::shared_ptr<Output> OpenSdlOutput(Mixer& mixer, const char* why)
{
    // SDL's device thread feeds the sound server from the queue; it too must
    // not wait behind a busy renderer (real-time where the system allows it).
    SDL_SetHintWithPriority(SDL_HINT_THREAD_FORCE_REALTIME_TIME_CRITICAL, "1", SDL_HINT_DEFAULT);
    // What a sound server reached through SDL shows of us (no song titles here).
    SDL_SetHintWithPriority(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Mivola", SDL_HINT_DEFAULT);
    SDL_SetHintWithPriority(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "Music", SDL_HINT_DEFAULT);
    SDL_SetHintWithPriority(SDL_HINT_AUDIO_DEVICE_STREAM_ROLE, "music", SDL_HINT_DEFAULT);
    QuietAlsa();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
    // The device is opened before the object exists (its block size decides
    // the object's numbers), so the call-back looks the object up through a
    // slot that stays put; the device stays paused until Begin.
    static SdlOutput* slot = nullptr;
    slot = nullptr;
    SDL_AudioSpec want{};
    want.freq = kOutRate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kSdlBufferFrames;
    want.callback = SdlOutput::Callback;
    want.userdata = &slot;
    SDL_AudioSpec have{};
    SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    const char* driver = SDL_GetCurrentAudioDriver();
    LogPrintf("[bass] sound output: SDL's %s driver, %s\n", driver ? driver : "audio", why);
    auto output = std::make_shared<SdlOutput>(mixer, device, have.samples);
    SDL_LockAudioDevice(device);
    slot = output.get();
    SDL_UnlockAudioDevice(device);
    return output;
}

}  // namespace bass
