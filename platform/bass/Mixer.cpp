#include "platform/bass/Mixer.h"

#include "platform/bass/Output.h"

#include <algorithm>
#include <cmath>

namespace bass {

PriorityMutex::PriorityMutex()
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
    pthread_mutex_init(&mutex_, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

PriorityMutex::~PriorityMutex()
{
    pthread_mutex_destroy(&mutex_);
}

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
        uint64_t srcStart = SourceAt(ch);
        int64_t count = Render(ch, buf, n);
        if (count > 0) {
            for (int64_t i = 0; i < count; ++i) {
                size_t at = static_cast<size_t>(((mixed + i) % kHistoryFrames) * 2);
                ch.history[at] = buf[i * 2];
                ch.history[at + 1] = buf[i * 2 + 1];
            }
            ch.stamps.push_back({mixed, mixed + count, srcStart, SourceAt(ch)});
            float left = ch.volume * (ch.pan > 0 ? 1.0f - ch.pan / 100.0f : 1.0f);
            float right = ch.volume * (ch.pan < 0 ? 1.0f + ch.pan / 100.0f : 1.0f);
            for (int64_t i = 0; i < count; ++i) {
                mix[i * 2] += buf[i * 2] * left;
                mix[i * 2 + 1] += buf[i * 2 + 1] * right;
            }
        }
        if (ch.replay.empty() && ch.pos >= ch.length) {
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
    // A hand-over takes back part of a block, so progress is read from `mixed`.
    const int64_t base = mixed;
    while (mixed < base + n) {
        int64_t start = mixed;
        MixBlock(std::min(kMixChunk, base + n - start), out ? out + (start - base) * 2 : nullptr);
        HandOver(start);
    }
}

void Mixer::HandOver(int64_t blockStart)
{
    auto leads = [&](const Channel& ch) {
        if (ch.state != State::Playing || !ch.mixedToEnd || ch.handedOver || ch.follower == 0) return false;
        if (ch.endOut < blockStart || ch.follower == ch.handle) return false;
        auto it = channels.find(ch.follower);
        return it != channels.end() && it->second->state != State::Playing;
    };
    int64_t at = mixed + 1;
    for (auto& [handle, chp] : channels)
        if (leads(*chp)) at = std::min(at, chp->endOut);
    if (at > mixed) return;
    // The block is mixed again from the end sample on, with the followers playing.
    Rollback(at);
    for (auto& [handle, chp] : channels) {
        Channel& ch = *chp;
        if (!leads(ch) || ch.endOut != at) continue;
        Channel& next = *channels[ch.follower];
        Rewind(next);
        if (next.history.empty()) next.history.assign(static_cast<size_t>(kHistoryFrames * 2), 0.0f);
        next.state = State::Playing;
        next.runStart = mixed;
        next.startedBy = handle;
        next.startedAt = mixed;
        ch.handedOver = true;
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

namespace {

// The channel frame mixed at output frame f, from the stamps (f inside them).
uint64_t SourceAtOut(const Channel& ch, int64_t f)
{
    for (const Stamp& s : ch.stamps) {
        if (f >= s.outEnd) continue;
        if (f <= s.outStart) return s.srcStart;
        double part = static_cast<double>(f - s.outStart) / static_cast<double>(s.outEnd - s.outStart);
        return s.srcStart + static_cast<uint64_t>(part * static_cast<double>(s.srcEnd - s.srcStart));
    }
    return SourceAt(ch);
}

}  // namespace

void Mixer::Rollback(int64_t to)
{
    to = std::max(to, lastHeard);  // what was heard stays heard
    if (to >= mixed) return;
    for (auto& [handle, chp] : channels) {
        Channel& ch = *chp;
        // A follower handed over to after `to` has not started yet.
        if (ch.startedBy != 0 && ch.startedAt > to && ch.state == State::Playing) {
            Rewind(ch);
            ch.state = State::Stopped;
            ch.startedBy = 0;
            continue;
        }
        if (ch.stamps.empty() || ch.stamps.back().outEnd <= to) continue;
        // The frames this channel gave from `to` on, with the channel frames they carried.
        int64_t from = std::max(to, ch.stamps.front().outStart);
        int64_t until = ch.stamps.back().outEnd;
        uint64_t srcFrom = SourceAtOut(ch, from);
        uint64_t srcUntil = SourceAt(ch);
        std::vector<float> back;
        back.reserve(static_cast<size_t>(until - from) * 2 + ch.replay.size() - ch.replayAt * 2);
        for (int64_t f = from; f < until; ++f) {
            size_t at = static_cast<size_t>((f % kHistoryFrames) * 2);
            back.push_back(ch.history[at]);
            back.push_back(ch.history[at + 1]);
        }
        back.insert(back.end(), ch.replay.begin() + static_cast<std::ptrdiff_t>(ch.replayAt * 2),
                    ch.replay.end());
        if (!ch.replay.empty() && ch.replayAt < ch.replay.size() / 2) srcUntil = ch.replaySrcEnd;
        ch.replay = std::move(back);
        ch.replayAt = 0;
        ch.replaySrcStart = srcFrom;
        ch.replaySrcEnd = srcUntil;
        // Stamps end at `to`.
        while (!ch.stamps.empty() && ch.stamps.back().outStart >= to) ch.stamps.pop_back();
        if (!ch.stamps.empty() && ch.stamps.back().outEnd > to) {
            ch.stamps.back().outEnd = to;
            ch.stamps.back().srcEnd = srcFrom;
        }
        if (ch.mixedToEnd && ch.endOut > to) ch.mixedToEnd = ch.handedOver = false;
    }
    mixed = to;
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
    return SourceAt(ch);
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
