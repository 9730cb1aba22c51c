// Live runs through a PulseAudio server (or PipeWire's Pulse server), the
// usual sound path on Linux desktops. We ask the server for 250 ms of
// latency, of which it keeps about half in our stream's buffer and asks for
// more in small pieces; its client thread answers each request
// by copying from the queue (that thread is the device's, raised to real-time
// priority like the mixer's), and reads the server's exact latency, which
// sets the heard clock. A server that runs dry reports it; that is an underrun.
// Why so deep: a loaded virtual machine can stall a CPU for 100 ms, and the
// server's thread on it then wakes to play that whole time from our buffer.
// A command is still heard at once: it rewrites what the server holds from
// just after the frame being played (a write that seeks back, which makes the
// server rewind), and what was taken back is written again straight away.
// The stream tells the server who we are and what plays, for the desktop's
// sound settings.
#include "platform/bass/Output.h"

#include "platform/win32/Log.h"

#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace bass {
namespace {

constexpr int64_t kRequestFrames = 256;   // the server asks for at least this much: 5.8 ms
constexpr int64_t kServerFrames = 11025;  // the latency asked of the server: 250 ms
constexpr pa_usec_t kRetryUs = 2000;      // a short write looks again this soon
// A rewrite keeps this much beyond the frame being played: the server plays
// it while our write reaches it.
constexpr int64_t kRewindGuardFrames = 441;  // 10 ms
constexpr int64_t kRewriteMixFrames = 2048;  // mixed at once after a rewrite: 46 ms
constexpr pa_usec_t kRewriteDelayUs = 1000;  // a rewrite is written this soon after

constexpr char kApplicationId[] = "org.mivola.Mivola";

// Who we are, for the server's client and our stream alike.
void Describe(pa_proplist* p)
{
    pa_proplist_sets(p, PA_PROP_APPLICATION_NAME, "Mivola");
    pa_proplist_sets(p, PA_PROP_APPLICATION_ID, kApplicationId);
    pa_proplist_sets(p, PA_PROP_APPLICATION_ICON_NAME, kApplicationId);
    pa_proplist_sets(p, PA_PROP_MEDIA_ROLE, "music");
}

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
        pa_proplist* props = pa_proplist_new();
        Describe(props);
        context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "Mivola", props);
        pa_proplist_free(props);
        if (!context_) return false;
        pa_context_set_state_callback(context_, Signal, this);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
        if (pa_threaded_mainloop_start(loop_) < 0) return false;
        pa_threaded_mainloop_lock(loop_);
        bool ok = WaitContext() && OpenStream();
        if (ok) {
            pa_operation* op = pa_context_get_server_info(context_, ServerInfo, this);
            while (op && pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(loop_);
            if (op) pa_operation_unref(op);
            // PipeWire's Pulse server names itself "PulseAudio (on PipeWire x.y.z)".
            LogPrintf("[bass] sound output: %s, the sound server that answered\n", server_.c_str());
        }
        pa_threaded_mainloop_unlock(loop_);
        return ok;
    }

    // Under the mixer's lock, like Retract.
    void SetTitle(const std::string& title) override
    {
        if (!loop_) return;
        pa_threaded_mainloop_lock(loop_);
        title_ = title;
        if (stream_) {
            pa_proplist* props = pa_proplist_new();
            pa_proplist_sets(props, PA_PROP_MEDIA_TITLE, title.c_str());
            pa_proplist_sets(props, PA_PROP_MEDIA_NAME, title.c_str());
            pa_operation* op = pa_stream_proplist_update(stream_, PA_UPDATE_REPLACE, props, nullptr, nullptr);
            if (op) pa_operation_unref(op);
            pa_proplist_free(props);
        }
        pa_threaded_mainloop_unlock(loop_);
    }

    // Under the mixer's lock; the client thread is held off until Refill.
    void Retract() override
    {
        if (!loop_) return LiveOutput::Retract();
        pa_threaded_mainloop_lock(loop_);
        locked_ = true;
        LiveOutput::Retract();
        if (!rewinds_ || !stream_ || !mixer_.running) return;
        pa_usec_t latency = 0;
        int negative = 0;
        if (pa_stream_get_latency(stream_, &latency, &negative) < 0) return;
        int64_t written = Taken();
        int64_t keep = written - (negative ? 0 : Frames(latency)) + kRewindGuardFrames;
        // Within one action every command rewrites from where the first did.
        if (held_ > 0) keep = holdKeep_ = std::min(keep, holdKeep_);
        int64_t back = TakeBack(keep);
        seekFrames_ += back;
        if (back > 0) restoreTo_ = std::max(restoreTo_, written);
    }

    void Hold() override
    {
        if (!loop_) return;
        pa_threaded_mainloop_lock(loop_);
        if (held_++ == 0) holdKeep_ = INT64_MAX;
        pa_threaded_mainloop_unlock(loop_);
    }

    void Release() override
    {
        if (!loop_) return;
        pa_threaded_mainloop_lock(loop_);
        if (held_ > 0 && --held_ == 0 && seekFrames_ > 0) {
            if (mixer_.running) MixAhead(std::min(kRewriteMixFrames, Taken() + kQueueFrames - mixer_.mixed));
            RetrySoon(0);
        }
        pa_threaded_mainloop_unlock(loop_);
    }

    void Refill() override
    {
        if (!locked_) return LiveOutput::Refill();
        bool rewound = seekFrames_ > 0 && held_ == 0;
        if (rewound && mixer_.running)
            MixAhead(std::min(kRewriteMixFrames, Taken() + kQueueFrames - mixer_.mixed));
        LiveOutput::Refill();
        if (rewound) {
            // Written from the client thread in a moment: the commands of one
            // action (a stop, then a start) reach the server as one rewrite.
            RetrySoon(kRewriteDelayUs);
        }
        locked_ = false;
        pa_threaded_mainloop_unlock(loop_);
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
        pa_proplist* props = pa_proplist_new();
        Describe(props);
        pa_proplist_sets(props, PA_PROP_MEDIA_TITLE, title_.c_str());
        stream_ = pa_stream_new_with_proplist(context_, title_.c_str(), &spec, nullptr, props);
        pa_proplist_free(props);
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
    static void Request(pa_stream*, size_t bytes, void* user)
    {
        static_cast<PulseOutput*>(user)->Write(bytes);
    }

    // With the loop locked.
    void Write(size_t bytes)
    {
        // An action in progress: the server still holds plenty, and the
        // outcome is written when the action is done.
        if (held_ > 0) {
            RetrySoon();
            return;
        }
        // What a rewrite took back is written again at once, asked for or not.
        int64_t owed = restoreTo_ - Taken();
        if (owed > 0) bytes = std::max(bytes, static_cast<size_t>(owed) * 4);
        while (bytes >= 4) {
            void* data = nullptr;
            size_t size = bytes;
            if (pa_stream_begin_write(stream_, &data, &size) < 0 || !data) return;
            int64_t frames = static_cast<int64_t>(std::min(size, bytes) / 4);
            // Only what is mixed: the server still holds tens of ms and asks
            // again soon, while silence written now would be heard for sure.
            int64_t got = Take(static_cast<int16_t*>(data), frames, false);
            if (got == 0) {
                pa_stream_cancel_write(stream_);
                break;
            }
            // The first write after a rewrite goes back over what the server holds.
            int64_t offset = -seekFrames_ * 4;
            if (pa_stream_write(stream_, data, static_cast<size_t>(got) * 4, nullptr, offset,
                                PA_SEEK_RELATIVE) < 0)
                return;
            seekFrames_ = 0;
            streamFrames_ += offset / 4 + got;
            if (offset != 0 && !checking_ && !checked_) {
                // Whether the server took the seek: its write index must be ours.
                checking_ = true;
                pa_operation* op = pa_stream_update_timing_info(stream_, Checked, this);
                if (op) pa_operation_unref(op);
            }
            bytes -= static_cast<size_t>(got) * 4;
            if (got < frames) break;
        }
        // Short of mixed sound: the server may not ask again before it runs
        // dry, so look again in a moment.
        if (bytes >= 4) RetrySoon();
        pa_usec_t latency = 0;
        int negative = 0;
        if (pa_stream_get_latency(stream_, &latency, &negative) < 0)
            latency = kServerFrames * 1000000 / kOutRate;
        if (negative) latency = 0;
        writtenAtNs_.store(NowNs(), std::memory_order_relaxed);
        heardAtWrite_.store(Taken() - Frames(latency), std::memory_order_release);
    }

    static int64_t Frames(pa_usec_t us)
    {
        return static_cast<int64_t>(static_cast<double>(us) * kOutRate / 1e6);
    }

    static void ServerInfo(pa_context*, const pa_server_info* info, void* user)
    {
        auto* self = static_cast<PulseOutput*>(user);
        if (info && info->server_name)
            self->server_ =
                std::string(info->server_name) + " " + (info->server_version ? info->server_version : "");
        pa_threaded_mainloop_signal(self->loop_, 0);
    }

    // On the client thread: the server's own count after our first rewrite.
    static void Checked(pa_stream* stream, int success, void* user)
    {
        auto* self = static_cast<PulseOutput*>(user);
        self->checking_ = false;
        const pa_timing_info* t = success ? pa_stream_get_timing_info(stream) : nullptr;
        if (!t || t->write_index_corrupt) return;
        self->checked_ = true;
        if (t->write_index == self->streamFrames_ * 4) return;
        // The server went on from where it was: no more seeks back. What it
        // holds is heard before a command, as without rewrites.
        self->rewinds_ = false;
        LogPrintf("[bass] this sound server does not rewrite what it holds; commands are heard after its "
                  "buffer\n");
    }

    // On the client thread, with the loop locked: writes what the server has room for.
    void Fill()
    {
        if (!stream_) return;
        size_t writable = pa_stream_writable_size(stream_);
        if (writable == static_cast<size_t>(-1)) writable = 0;
        if (writable >= 4 || restoreTo_ > Taken()) Write(writable);
    }

    void RetrySoon(pa_usec_t after = kRetryUs)
    {
        pa_usec_t at = pa_rtclock_now() + after;
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
    std::string title_ = "Mivola";  // with the loop locked, as are the fields below
    std::string server_ = "a Pulse server";
    // Rewrites: whether the server takes them, the seek the next write makes,
    // the write index before it (written again at once), and our count of
    // the server's write index, to check the first one.
    bool rewinds_ = true;
    bool locked_ = false;   // the loop is locked between Retract and Refill (mixer's lock)
    int held_ = 0;          // actions in progress (Hold without Release)
    int64_t holdKeep_ = 0;  // where the action's first rewrite began
    bool checking_ = false, checked_ = false;
    int64_t seekFrames_ = 0;
    int64_t restoreTo_ = 0;
    int64_t streamFrames_ = 0;
};

}  // namespace

std::shared_ptr<Output> OpenPulseOutput(Mixer& mixer)
{
    auto output = std::make_shared<PulseOutput>(mixer);
    if (!output->Open()) return nullptr;
    return output;
}

}  // namespace bass
