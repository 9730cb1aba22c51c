#include "math/RotationTrack.h"

#include "math/TrackSearch.h"

RotationTrack::RotationTrack(int32_t count)
{
    if (count <= 0) return;
    keyCount = count;
    keys = std::make_unique<RotationKey[]>(static_cast<size_t>(count));
}

void ComputeTangents(RotationTrack& track)
{
    const int n = track.keyCount;
    if (n <= 1) return;
    RotationKey* keys = track.keys.get();

    {
        RotationKey& k = keys[0];
        const float t = (1.0f + k.bias * k.continuity) * (1.0f - k.tension) / 3.0f;
        k.controlIn = k.controlOut = Slerp(k.rotation, keys[1].rotation, t);
    }
    {
        RotationKey& k = keys[n - 1];
        const float t = (1.0f - k.bias * k.continuity) * (1.0f - k.tension) / 3.0f;
        k.controlIn = k.controlOut = Slerp(k.rotation, keys[n - 2].rotation, t);
    }
    for (int i = 1; i < n - 1; ++i) {
        RotationKey& k = keys[i];
        const Quaternion g1 = Slerp(k.rotation, keys[i - 1].rotation, -(1.0f + k.bias) / 3.0f);
        const Quaternion g2 = Slerp(k.rotation, keys[i + 1].rotation, (1.0f - k.bias) / 3.0f);
        for (int slot = 0; slot < 2; ++slot) {
            const float s = slot == 0 ? 1.0f : -1.0f;  // +1 for the incoming control
            const Quaternion g3 = Slerp(g1, g2, 0.5f + s * 0.5f * k.continuity);
            const Quaternion control = Slerp(k.rotation, g3, s * (k.tension - 1.0f));
            (slot == 0 ? k.controlIn : k.controlOut) = control;
        }
    }
}

Quaternion Evaluate(const RotationTrack& track, float time)
{
    if (track.keyCount <= 0) return Quaternion();
    const RotationKey* keys = track.keys.get();
    if (track.keyCount == 1) return keys[0].rotation;

    TrackSpan span;
    if (!FindSpan(keys, track.keyCount, time, span)) return keys[span.key].rotation;

    const float u = span.u;
    const RotationKey& a = keys[span.key];
    const RotationKey& b = keys[span.key + 1];
    const Quaternion r1 = Slerp(a.rotation, a.controlOut, u);
    const Quaternion r2 = Slerp(a.controlOut, b.controlIn, u);
    const Quaternion r3 = Slerp(b.controlIn, b.rotation, u);
    const Quaternion r4 = Slerp(r1, r2, u);
    const Quaternion r5 = Slerp(r2, r3, u);
    return Slerp(r4, r5, u);
}
