#include "math/ScalarTrack.h"

#include "math/TrackSearch.h"

ScalarTrack::ScalarTrack(int32_t count)
{
    if (count <= 0) return;
    keyCount = count;
    keys = std::make_unique<ScalarKey[]>(static_cast<size_t>(count));  // value-initialised: zero
}

namespace {

// The middle-key tangent of key i; flag 0 is the incoming slot, flag 1 the outgoing.
float MiddleTangent(const ScalarKey* keys, int i, int flag)
{
    const ScalarKey& key = keys[i];
    const float d0 = key.value - keys[i - 1].value;
    const float d1 = keys[i + 1].value - key.value;
    const float half = 0.5f * key.continuity;
    const float k = flag == 0 ? 0.5f + half : 0.5f - half;
    const float plus = (1.0f + key.bias) * d0;
    const float minus = (1.0f - key.bias) * d1;
    return (1.0f - key.tension) * (plus + k * (minus - plus));
}

}  // namespace

void ComputeTangents(ScalarTrack& track)
{
    const int n = track.keyCount;
    if (n <= 1) return;
    ScalarKey* keys = track.keys.get();

    for (int i = 1; i < n - 1; ++i) {
        keys[i].tangentIn = MiddleTangent(keys, i, 0);
        keys[i].tangentOut = MiddleTangent(keys, i, 1);
    }

    // The end keys lean on the neighbouring middle key's tangent (its incoming slot at
    // the start, its outgoing slot at the end) when there is one.
    const float firstDelta = keys[1].value - keys[0].value;
    float first = firstDelta;
    if (n > 2) first = 1.5f * firstDelta - 0.5f * keys[1].tangentIn;
    first = (1.0f - keys[0].tension) * first;

    const float lastDelta = keys[n - 1].value - keys[n - 2].value;
    float last = lastDelta;
    if (n > 2) last = 1.5f * lastDelta - 0.5f * keys[n - 2].tangentOut;
    last = (1.0f - keys[n - 1].tension) * last;

    keys[0].tangentIn = keys[0].tangentOut = first;
    keys[n - 1].tangentIn = keys[n - 1].tangentOut = last;
}

float Evaluate(const ScalarTrack& track, float time)
{
    if (track.keyCount <= 0) return 0.0f;
    const ScalarKey* keys = track.keys.get();
    if (track.keyCount == 1) return keys[0].value;

    TrackSpan span;
    if (!FindSpan(keys, track.keyCount, time, span)) return keys[span.key].value;

    const float u = span.u;
    const float u2 = u * u, u3 = u2 * u;
    const ScalarKey& a = keys[span.key];
    const ScalarKey& b = keys[span.key + 1];
    const float h0 = 2.0f * u3 - 3.0f * u2 + 1.0f;
    const float h1 = 3.0f * u2 - 2.0f * u3;
    const float h2 = u3 - 2.0f * u2 + u;
    const float h3 = u3 - u2;
    return h0 * a.value + h1 * b.value + h2 * a.tangentIn + h3 * b.tangentOut;
}
