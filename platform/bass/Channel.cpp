#include "platform/bass/Channel.h"

#include <algorithm>

namespace bass {
namespace {

constexpr size_t kReadChunk = 1024;  // frames decoded at once

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
    if (ch.sourceDry && ch.endsWhenDry && ch.chunkAt == ch.chunkCount) {
        ch.length = ch.readIndex;
        frame[0] = frame[1] = 0.0f;
        return;
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

// Up to n frames from the decoder, resampled to the output rate.
int64_t Decode(Channel& ch, float* out, int64_t n)
{
    if (!ch.resample) {
        int64_t count = 0;
        while (count < n && ch.pos < ch.length) {
            Pull(ch, out + count * 2);
            if (ch.readIndex == ch.pos) break;  // nothing came: the stream ended early
            ++count;
            ++ch.pos;
        }
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

}  // namespace

Channel::Channel(DWORD handle_, bool music_, std::unique_ptr<AudioSource> source_)
    : handle(handle_), music(music_), source(std::move(source_)), endsWhenDry(!music_)
{
    rate = source->Rate();
    length = source->Frames();
    resample = rate != kOutRate;
    step = static_cast<double>(rate) / kOutRate;
}

uint64_t SourceAt(const Channel& ch)
{
    size_t left = ch.replay.size() / 2;
    if (ch.replayAt >= left) return ch.pos;
    double f = static_cast<double>(ch.replayAt) / static_cast<double>(left);
    return ch.replaySrcStart +
           static_cast<uint64_t>(f * static_cast<double>(ch.replaySrcEnd - ch.replaySrcStart));
}

int64_t Render(Channel& ch, float* out, int64_t n)
{
    int64_t replayed = 0;
    size_t frames = ch.replay.size() / 2;
    if (ch.replayAt < frames) {
        replayed = std::min<int64_t>(n, static_cast<int64_t>(frames - ch.replayAt));
        std::copy_n(ch.replay.begin() + static_cast<std::ptrdiff_t>(ch.replayAt * 2), replayed * 2, out);
        ch.replayAt += static_cast<size_t>(replayed);
        if (ch.replayAt == frames) {
            ch.replay.clear();
            ch.replayAt = 0;
        }
        if (replayed == n) return n;
    }
    // Replayed frames come from the history, which already carries the gain.
    float* decoded = out + replayed * 2;
    int64_t count = Decode(ch, decoded, n - replayed);
    if (ch.gain != 1.0f)
        for (int64_t i = 0; i < count * 2; ++i) decoded[i] *= ch.gain;
    return replayed + count;
}

void Rewind(Channel& ch)
{
    ch.replay.clear();
    ch.replayAt = 0;
    ch.source->Rewind();
    ch.chunkAt = ch.chunkCount = 0;
    ch.readIndex = 0;
    ch.sourceDry = false;
    ch.frac = 0.0;
    ch.primed = false;
    ch.pos = 0;
    ch.mixedToEnd = false;
    ch.ended = false;
    ch.handedOver = false;
    ch.stamps.clear();
}

}  // namespace bass
