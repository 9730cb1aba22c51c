// Finding the pair of keys around a time, shared by the scalar and rotation tracks.
#pragma once

#include <cstdint>

struct TrackSpan {
    int key;  // the key before the time (or the key to return when outside)
    float u;  // 0..1 between key and key + 1
};

// Frame numbers are compared with times as unsigned numbers. Returns false when the
// time lies at or before the first key or after the last one; span.key is then the
// key whose value holds there. Otherwise span covers key and key + 1.
template <typename Key> bool FindSpan(const Key* keys, int count, float time, TrackSpan& span)
{
    auto frameOf = [&](int i) { return static_cast<uint32_t>(keys[i].frame); };
    if (time <= static_cast<float>(frameOf(0))) {
        span.key = 0;
        return false;
    }
    int j = 1;
    while (j < count && !(static_cast<float>(frameOf(j)) >= time)) ++j;
    if (j == count) {
        span.key = count - 1;
        return false;
    }
    const int a = j - 1;
    const uint32_t width = frameOf(j) - frameOf(a);
    span.key = a;
    // The time lies above key a's frame and at or below key j's, so the width is
    // above 0; guard anyway so that no division by zero can happen.
    span.u = width != 0 ? (time - static_cast<float>(frameOf(a))) / static_cast<float>(width) : 1.0f;
    return true;
}
