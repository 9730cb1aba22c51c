// Live runs with a sound card: SDL2 audio. The call-back mixes each block.
//
// The heard clock trails the mix by two call-back blocks (the one just filled
// and the one the device plays; 2 x 512 frames, about 23 ms), advancing in
// real time between call-backs but never past the next block.
#include "platform/bass/Output.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>

namespace bass {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kSdlBufferFrames = 512;   // call-back size asked for

class SdlOutput final : public LiveOutput {
public:
    explicit SdlOutput(Mixer& mixer) : LiveOutput(mixer) {}

    // Opens the default device, paused until Begin.
    bool Open()
    {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
        SDL_AudioSpec want{};
        want.freq = kOutRate;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = kSdlBufferFrames;
        want.callback = Callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device_ == 0) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
        // The block being filled plus the one the device is playing.
        callbackFrames_ = have.samples;
        latency_ = 2 * static_cast<int64_t>(have.samples);
        return true;
    }

    static void SDLCALL Callback(void* user, Uint8* stream, int bytes)
    {
        static_cast<SdlOutput*>(user)->Fill(reinterpret_cast<int16_t*>(stream), bytes / 4);
    }

    void Begin() override
    {
        {
            std::lock_guard<std::mutex> lock(mixer_.mutex);
            lastCallback_ = SteadyClock::now();
        }
        LiveOutput::Begin();
        // Outside our lock: SDL holds its own while it runs our call-back.
        SDL_PauseAudioDevice(device_, 0);
    }

    int64_t Clock(const Mixer& mixer) override
    {
        if (!mixer.running) return mixer.lastHeard;
        // The call-back's block starts sounding `latency_` frames after the
        // mix; between call-backs the clock runs on in real time, but never
        // past the next block's start.
        double since = std::chrono::duration<double>(SteadyClock::now() - lastCallback_).count();
        int64_t base = mixer.mixed - latency_;
        return base + std::min<int64_t>(static_cast<int64_t>(since * kOutRate), callbackFrames_);
    }

    void Starting() override { lastCallback_ = SteadyClock::now(); }
    void Resume() override { SDL_PauseAudioDevice(device_, 0); }
    void Pause() override { SDL_PauseAudioDevice(device_, 1); }

    void Close() override
    {
        SDL_CloseAudioDevice(device_);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        LiveOutput::Close();
    }

private:
    void Fill(int16_t* out, int64_t frames)
    {
        std::lock_guard<std::mutex> lock(mixer_.mutex);
        if (!mixer_.output || !mixer_.running) {
            std::fill(out, out + frames * 2, int16_t{0});
            return;
        }
        mixer_.Mix(frames, out);
        lastCallback_ = SteadyClock::now();
        callbackFrames_ = frames;
    }

    SDL_AudioDeviceID device_ = 0;
    SteadyClock::time_point lastCallback_;
    int64_t callbackFrames_ = kSdlBufferFrames;
    int64_t latency_ = 2 * kSdlBufferFrames;
};

}  // namespace

std::shared_ptr<Output> OpenSdlOutput(Mixer& mixer)
{
    auto output = std::make_shared<SdlOutput>(mixer);
    if (!output->Open()) return nullptr;
    return output;
}

}  // namespace bass
