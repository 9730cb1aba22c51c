// A Kochanek-Bartels spline track of one float, keyed by frame number.
#pragma once

#include <cstdint>
#include <memory>

struct ScalarKey {
    float value;
    float tangentIn;   // set by ComputeTangents
    float tangentOut;  // set by ComputeTangents
    float tension;
    float continuity;
    float bias;
    int32_t frame;  // compared with times as an unsigned number
};

struct ScalarTrack {
    int32_t keyCount = 0;
    std::unique_ptr<ScalarKey[]> keys;  // keyCount keys in ascending frame order

    ScalarTrack() = default;
    // A track of count zero-filled keys (none for count <= 0).
    explicit ScalarTrack(int32_t count);
};

// Fills every key's tangents from the values and the tension, continuity and bias.
// Run once after the keys are filled; tracks of 0 or 1 key are left alone.
void ComputeTangents(ScalarTrack& track);
// The track's value at time (in frames): the first key's value before it, the last
// key's after it, a cubic Hermite curve in between; 0 for an empty track.
float Evaluate(const ScalarTrack& track, float time);
