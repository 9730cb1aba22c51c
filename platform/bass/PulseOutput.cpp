// Live runs through a PulseAudio server (or PipeWire's Pulse server), the
// usual sound path on Linux desktops. We ask the server for 250 ms of
// latency, of which it keeps about half in our stream's buffer and asks for
// more in small pieces; its client thread answers each request
// by copying from the queue (that thread is the device's, raised to real-time
// priority like the mixer's), and reads the server's exact latency, which
// sets the heard clock. A server that runs dry reports it; that is an underrun.
// Why so deep: a loaded virtual machine can stall a CPU for 100 ms, and the
// server's thread on it then wakes to play that whole time from our buffer.
// A command is heard after what the server holds (about 130 ms).
#include "platform/bass/Output.h"

#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

#include <algorithm>
#include <atomic>
#include <chrono>

namespace bass {
namespace {

constexpr int64_t kRequestFrames = 256;   // the server asks for at least this much: 5.8 ms
constexpr int64_t kServerFrames = 11025;  // the latency asked of the server: 250 ms
constexpr pa_usec_t kRetryUs = 2000;      // a short write looks again this soon

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class PulseOutput final : public LiveOutput {
public:
    explicit PulseOutput(Mixer& mixer) : LiveOutput(mixer, kRequestFrames, 0) {}
    ~PulseOutput() override { Disconnect(); }

    // Connects to the server (never starting one) and opens a corked stream.
    bool Open()
    {
        loop_ = pa_threaded_mainloop_new();
        if (!loop_) return false;
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Mivola");
        if (!context_) return false;
        pa_context_set_state_callback(context_, Signal, this);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
        if (pa_threaded_mainloop_start(loop_) < 0) return false;
        pa_threaded_mainloop_lock(loop_);
        bool ok = WaitContext() && OpenStream();
        pa_threaded_mainloop_unlock(loop_);
        return ok;
    }

    void Begin() override
    {
        LiveOutput::Begin();
        // The server's first request came before anything was mixed.
        pa_threaded_mainloop_lock(loop_);
        Fill();
        pa_threaded_mainloop_unlock(loop_);
        Cork(false);
    }

    int64_t Clock(const Mixer& mixer) override
    {
        if (!mixer.running) return mixer.lastHeard;
        // What the server had not yet played at the last write, then real
        // time, never past the next request.
        double since = static_cast<double>(NowNs() - writtenAtNs_.load(std::memory_order_relaxed)) / 1e9;
        int64_t ahead = std::clamp<int64_t>(static_cast<int64_t>(since * kOutRate), 0, 2 * kRequestFrames);
        return heardAtWrite_.load(std::memory_order_acquire) + ahead;
    }

    void Resume() override { Cork(false); }
    void Pause() override { Cork(true); }

    void Close() override
    {
        Disconnect();
        LiveOutput::Close();
    }

private:
    static void Signal(pa_context*, void* self)
    {
        pa_threaded_mainloop_signal(static_cast<PulseOutput*>(self)->loop_, 0);
    }
    static void StreamSignal(pa_stream*, void* self)
    {
        pa_threaded_mainloop_signal(static_cast<PulseOutput*>(self)->loop_, 0);
    }

    bool WaitContext()
    {
        for (;;) {
            pa_context_state_t state = pa_context_get_state(context_);
            if (state == PA_CONTEXT_READY) return true;
            if (!PA_CONTEXT_IS_GOOD(state)) return false;
            pa_threaded_mainloop_wait(loop_);
        }
    }

    bool OpenStream()
    {
        pa_sample_spec spec{};
        spec.format = PA_SAMPLE_S16NE;
        spec.rate = kOutRate;
        spec.channels = 2;
        stream_ = pa_stream_new(context_, "Music", &spec, nullptr);
        if (!stream_) return false;
        pa_stream_set_state_callback(stream_, StreamSignal, this);
        pa_stream_set_write_callback(stream_, Request, this);
        pa_stream_set_underflow_callback(stream_, Underflow, this);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = static_cast<uint32_t>(kServerFrames * 4);
        attr.prebuf = static_cast<uint32_t>(-1);
        attr.minreq = static_cast<uint32_t>(kRequestFrames * 4);
        attr.fragsize = static_cast<uint32_t>(-1);
        auto flags =
            static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                           PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
        if (pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0) return false;
        for (;;) {
            pa_stream_state_t state = pa_stream_get_state(stream_);
            if (state == PA_STREAM_READY) return true;
            if (!PA_STREAM_IS_GOOD(state)) return false;
            pa_threaded_mainloop_wait(loop_);
        }
    }

    // On the client thread: the server has room for `bytes`.
    static void Request(pa_stream* stream, size_t bytes, void* user)
    {
        auto* self = static_cast<PulseOutput*>(user);
        while (bytes >= 4) {
            void* data = nullptr;
            size_t size = bytes;
            if (pa_stream_begin_write(stream, &data, &size) < 0 || !data) return;
            int64_t frames = static_cast<int64_t>(std::min(size, bytes) / 4);
            // Only what is mixed: the server still holds tens of ms and asks
            // again soon, while silence written now would be heard for sure.
            int64_t got = self->Take(static_cast<int16_t*>(data), frames, false);
            if (got == 0) {
                pa_stream_cancel_write(stream);
                break;
            }
            if (pa_stream_write(stream, data, static_cast<size_t>(got) * 4, nullptr, 0, PA_SEEK_RELATIVE) < 0)
                return;
            bytes -= static_cast<size_t>(got) * 4;
            if (got < frames) break;
        }
        // Short of mixed sound: the server may not ask again before it runs
        // dry, so look again in a moment.
        if (bytes >= 4) self->RetrySoon();
        pa_usec_t latency = 0;
        int negative = 0;
        if (pa_stream_get_latency(stream, &latency, &negative) < 0)
            latency = kServerFrames * 1000000 / kOutRate;
        if (negative) latency = 0;
        int64_t pending = static_cast<int64_t>(static_cast<double>(latency) * kOutRate / 1e6);
        self->writtenAtNs_.store(NowNs(), std::memory_order_relaxed);
        self->heardAtWrite_.store(self->Taken() - pending, std::memory_order_release);
    }

    // On the client thread, with the loop locked: writes what the server has room for.
    void Fill()
    {
        if (!stream_) return;
        size_t writable = pa_stream_writable_size(stream_);
        if (writable != static_cast<size_t>(-1) && writable >= 4) Request(stream_, writable, this);
    }

    void RetrySoon()
    {
        pa_usec_t at = pa_rtclock_now() + kRetryUs;
        if (retry_) pa_context_rttime_restart(context_, retry_, at);
        else retry_ = pa_context_rttime_new(context_, at, Retry, this);
    }
    static void Retry(pa_mainloop_api*, pa_time_event*, const timeval*, void* self)
    {
        static_cast<PulseOutput*>(self)->Fill();
    }

    // On the client thread: the server ran out of what we wrote and played silence.
    static void Underflow(pa_stream*, void* user) { static_cast<PulseOutput*>(user)->CountDeviceUnderrun(); }

    void Cork(bool cork)
    {
        if (!loop_ || !stream_) return;
        pa_threaded_mainloop_lock(loop_);
        pa_operation* op = pa_stream_cork(stream_, cork ? 1 : 0, nullptr, nullptr);
        if (op) pa_operation_unref(op);
        pa_threaded_mainloop_unlock(loop_);
    }

    void Disconnect()
    {
        if (!loop_) return;
        pa_threaded_mainloop_lock(loop_);
        if (retry_) {
            pa_threaded_mainloop_get_api(loop_)->time_free(retry_);
            retry_ = nullptr;
        }
        if (stream_) {
            pa_stream_set_write_callback(stream_, nullptr, nullptr);
            pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
            stream_ = nullptr;
        }
        if (context_) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
        pa_threaded_mainloop_unlock(loop_);
        pa_threaded_mainloop_stop(loop_);
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
    }

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    pa_time_event* retry_ = nullptr;
    std::atomic<int64_t> writtenAtNs_{NowNs()};
    std::atomic<int64_t> heardAtWrite_{0};
};

}  // namespace

std::shared_ptr<Output> OpenPulseOutput(Mixer& mixer)
{
    auto output = std::make_shared<PulseOutput>(mixer);
    if (!output->Open()) return nullptr;
    return output;
}

}  // namespace bass
