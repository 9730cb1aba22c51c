#include "platform/bass/Mixer.h"

#include "platform/bass/Output.h"

#include <algorithm>
#include <cmath>

namespace bass {

Mixer& TheMixer()
{
    static Mixer mixer;
    return mixer;
}

int64_t Mixer::Heard()
{
    int64_t heard = output ? output->Clock(*this) : lastHeard;
    heard = std::clamp<int64_t>(heard, lastHeard, mixed);
    lastHeard = heard;
    return heard;
}

void Mixer::MixBlock(int64_t n, int16_t* out)
{
    mixBuffer.assign(static_cast<size_t>(n * 2), 0.0f);
    channelBuffer.resize(static_cast<size_t>(kMixChunk * 2));
    float* mix = mixBuffer.data();
    float* buf = channelBuffer.data();
    int64_t heard = Heard();
    for (auto& [handle, chp] : channels) {
        Channel& ch = *chp;
        while (!ch.stamps.empty() && ch.stamps.front().outEnd <= heard) ch.stamps.pop_front();
        if (ch.state != State::Playing || ch.mixedToEnd) continue;
        uint64_t srcStart = ch.pos;
        int64_t count = Render(ch, buf, n);
        if (count > 0) {
            for (int64_t i = 0; i < count; ++i) {
                size_t at = static_cast<size_t>(((mixed + i) % kHistoryFrames) * 2);
                ch.history[at] = buf[i * 2];
                ch.history[at + 1] = buf[i * 2 + 1];
            }
            ch.stamps.push_back({mixed, mixed + count, srcStart, ch.pos});
            float left = ch.volume * (ch.pan > 0 ? 1.0f - ch.pan / 100.0f : 1.0f);
            float right = ch.volume * (ch.pan < 0 ? 1.0f + ch.pan / 100.0f : 1.0f);
            for (int64_t i = 0; i < count; ++i) {
                mix[i * 2] += buf[i * 2] * left;
                mix[i * 2 + 1] += buf[i * 2 + 1] * right;
            }
        }
        if (ch.pos >= ch.length) {
            ch.mixedToEnd = true;
            ch.endOut = mixed + count;
        }
    }
    if (out) {
        for (int64_t i = 0; i < n * 2; ++i) {
            float v = std::nearbyint(mix[i] * 32768.0f);
            out[i] = static_cast<int16_t>(std::clamp(v, -32768.0f, 32767.0f));
        }
    }
    mixed += n;
}

void Mixer::Mix(int64_t n, int16_t* out)
{
    for (int64_t done = 0; done < n;) {
        int64_t count = std::min(kMixChunk, n - done);
        MixBlock(count, out ? out + done * 2 : nullptr);
        done += count;
    }
}

void Mixer::SettleEnds(int64_t heard)
{
    for (auto& [handle, chp] : channels) {
        Channel& ch = *chp;
        if (ch.state != State::Playing || !ch.mixedToEnd || heard < ch.endOut) continue;
        ch.state = State::Stopped;
        ch.ended = true;
        ch.stamps.clear();
        for (auto it = ch.syncs.begin(); it != ch.syncs.end();) {
            due.push_back({it->handle, ch.handle, it->proc, it->user});
            if (it->type & BASS_SYNC_ONETIME) it = ch.syncs.erase(it);
            else ++it;
        }
    }
}

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

void CallDue(const std::vector<Fire>& fires)
{
    for (const Fire& f : fires) f.proc(f.handle, f.channel, 0, f.user);
}

}  // namespace bass
