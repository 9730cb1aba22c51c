// A Kochanek-Bartels spline track of orientations, keyed by frame number.
#pragma once

#include <cstdint>
#include <memory>

#include "math/Quaternion.h"

struct RotationKey {
    Quaternion rotation;    // absolute orientation at this key
    Quaternion controlIn;   // set by ComputeTangents
    Quaternion controlOut;  // set by ComputeTangents
    float tension;
    float continuity;
    float bias;
    int32_t frame;  // compared with times as an unsigned number
};

struct RotationTrack {
    int32_t keyCount = 0;
    std::unique_ptr<RotationKey[]> keys;

    RotationTrack() = default;
    // A track of count keys whose quaternions and parameters are all zero.
    explicit RotationTrack(int32_t count);
};

// Fills every key's control quaternions. Tracks of 0 or 1 key are left alone.
void ComputeTangents(RotationTrack& track);
// The orientation at time (in frames), by de Casteljau's construction with Slerp;
// the zero quaternion for an empty track.
Quaternion Evaluate(const RotationTrack& track, float time);
