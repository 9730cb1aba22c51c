#include <gtest/gtest.h>

#include <cmath>

#include "math/Quaternion.h"
#include "math/RotationTrack.h"
#include "math/ScalarTrack.h"

namespace {

constexpr float kHalfPi = 1.57079633f;

ScalarTrack Track(std::initializer_list<std::pair<int32_t, float>> keys)
{
    ScalarTrack track(static_cast<int32_t>(keys.size()));
    int i = 0;
    for (const auto& [frame, value] : keys) {
        track.keys[i].frame = frame;
        track.keys[i].value = value;
        ++i;
    }
    return track;
}

void ExpectNear(const Quaternion& a, const Quaternion& b, float tolerance = 1e-5f)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
    EXPECT_NEAR(a.w, b.w, tolerance);
}

}  // namespace

TEST(Quaternion, MatrixAndProduct)
{
    // The zero quaternion, what an empty rotation track gives, is the identity.
    const Matrix4 zero = ToMatrix(Quaternion());
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(zero.m[r][c], r == c ? 1.0f : 0.0f);

    // A quarter turn about z turns x into y, as RotateEuler does.
    const Quaternion q = FromAxisAngle(Vector3(0, 0, 1), kHalfPi);
    const Vector3 turned = ToMatrix(q).TransformPoint(Vector3(1, 0, 0));
    EXPECT_NEAR(turned.x, 0, 1e-6f);
    EXPECT_NEAR(turned.y, 1, 1e-6f);

    // Two quarter turns make a half turn; the axis is taken without normalising.
    ExpectNear(Multiply(q, q), FromAxisAngle(Vector3(0, 0, 1), 2 * kHalfPi));
    const Quaternion long_axis = FromAxisAngle(Vector3(0, 0, 2), kHalfPi);
    EXPECT_NEAR(long_axis.z, 2 * std::sin(kHalfPi / 2), 1e-6f);

    EXPECT_EQ(Normalize(Quaternion()).w, 0.0f);  // no NaN from a zero length
}

TEST(Quaternion, Slerp)
{
    const Quaternion unit = Normalize(Quaternion(0.3f, 0.5f, -0.6f, 0.55f));
    // Equal unit quaternions can have a dot product just above 1.
    for (float t : {0.0f, 0.25f, 1.0f}) {
        const Quaternion same = Slerp(unit, unit, t);
        EXPECT_FALSE(std::isnan(same.w));
        ExpectNear(same, unit);
    }

    // Below one radian the blend is linear and renormalised.
    const Quaternion p(1, 0, 0, 0);
    const Quaternion q(std::cos(0.9f), std::sin(0.9f), 0, 0);  // acos(dot) = 0.9
    const Quaternion linear = Slerp(p, q, 0.25f);
    const Quaternion expected = Normalize(Add(Scale(p, 0.75f), Scale(q, 0.25f)));
    ExpectNear(linear, expected, 1e-7f);
    EXPECT_GT(std::fabs(std::atan2(linear.x, linear.w) - 0.225f), 1e-3f);  // not spherical

    // From one radian on it is spherical: the angle grows evenly with t.
    const Quaternion far(std::cos(1.2f), std::sin(1.2f), 0, 0);
    const Quaternion mid = Slerp(p, far, 0.25f);
    EXPECT_NEAR(std::atan2(mid.x, mid.w), 0.3f, 1e-5f);
}

TEST(ScalarTrack, TangentsAtTheEnds)
{
    struct Case {
        const char* name;
        float tension0, continuity1;
        float first, in1, out1, last;
    };
    // Values 0, 10, 30 at frames 0, 10, 20: the end keys lean on key 1's incoming
    // tangent at the start and its outgoing tangent at the end.
    const Case cases[] = {
        {"plain", 0, 0, 7.5f, 15, 15, 22.5f},
        {"first key tense", 0.5f, 0, 3.75f, 15, 15, 22.5f},
        {"continuity splits the middle", 0, 0.5f, 6.25f, 17.5f, 12.5f, 23.75f},
    };
    for (const Case& c : cases) {
        ScalarTrack track = Track({{0, 0}, {10, 10}, {20, 30}});
        track.keys[0].tension = c.tension0;
        track.keys[1].continuity = c.continuity1;
        ComputeTangents(track);
        EXPECT_FLOAT_EQ(track.keys[0].tangentIn, c.first) << c.name;
        EXPECT_FLOAT_EQ(track.keys[0].tangentOut, c.first) << c.name;
        EXPECT_FLOAT_EQ(track.keys[1].tangentIn, c.in1) << c.name;
        EXPECT_FLOAT_EQ(track.keys[1].tangentOut, c.out1) << c.name;
        EXPECT_FLOAT_EQ(track.keys[2].tangentIn, c.last) << c.name;
        EXPECT_FLOAT_EQ(track.keys[2].tangentOut, c.last) << c.name;
    }

    // Two keys: each end's own tension times the difference.
    ScalarTrack two = Track({{0, 2}, {5, 6}});
    two.keys[0].tension = 0.25f;
    two.keys[1].tension = -1.0f;
    ComputeTangents(two);
    EXPECT_FLOAT_EQ(two.keys[0].tangentIn, 3.0f);
    EXPECT_FLOAT_EQ(two.keys[1].tangentOut, 8.0f);

    // A single key has nothing to lean on and is left alone.
    ScalarTrack one = Track({{0, 5}});
    one.keys[0].tangentIn = 42;
    ComputeTangents(one);
    EXPECT_EQ(one.keys[0].tangentIn, 42);
}

TEST(ScalarTrack, Evaluate)
{
    EXPECT_EQ(Evaluate(ScalarTrack(), 3.0f), 0.0f);  // no scale keys: collapses to 0
    EXPECT_EQ(Evaluate(Track({{40, 7}}), 0.0f), 7.0f);

    ScalarTrack track = Track({{10, 1}, {20, 3}, {40, -1}});
    ComputeTangents(track);
    struct Case {
        float time, expected;
    };
    const Case cases[] = {
        {0, 1}, {-5, 1}, {10, 1}, {20, 3}, {40, -1}, {1000, -1},
    };
    for (const Case& c : cases) EXPECT_FLOAT_EQ(Evaluate(track, c.time), c.expected) << c.time;

    // Halfway: the Hermite weights 1/2, 1/2, 1/8, -1/8 on p0, p1, key 0's incoming
    // tangent and key 1's outgoing tangent.
    const ScalarKey& a = track.keys[0];
    const ScalarKey& b = track.keys[1];
    EXPECT_FLOAT_EQ(Evaluate(track, 15),
                    0.5f * a.value + 0.5f * b.value + 0.125f * a.tangentIn - 0.125f * b.tangentOut);
}

TEST(ScalarTrack, FramesCompareUnsigned)
{
    // Frame -1 is 4294967295 as an unsigned number: the time 100 lies at the very
    // start of the span, not after the last key.
    ScalarTrack track = Track({{0, 5}, {-1, 9}});
    ComputeTangents(track);
    EXPECT_NEAR(Evaluate(track, 100.0f), 5.0f, 1e-3f);
    // A first key at frame -1 holds every time up to there.
    ScalarTrack late = Track({{-1, 2}, {3, 4}});
    EXPECT_EQ(Evaluate(late, 1000.0f), 2.0f);
}

TEST(RotationTrack, EvaluatesThroughItsKeys)
{
    EXPECT_EQ(Evaluate(RotationTrack(), 1.0f).w, 0.0f);

    RotationTrack track(3);
    const float angles[] = {0.0f, kHalfPi, 2 * kHalfPi};
    for (int i = 0; i < 3; ++i) {
        track.keys[i].frame = i * 10;
        track.keys[i].rotation = FromAxisAngle(Vector3(0, 1, 0), angles[i]);
    }
    ComputeTangents(track);
    for (int i = 0; i < 3; ++i) {
        ExpectNear(track.keys[i].controlIn, track.keys[i].controlIn);  // defined (not NaN)
        EXPECT_FALSE(std::isnan(track.keys[i].controlOut.w));
    }
    ExpectNear(Evaluate(track, 0), track.keys[0].rotation);
    ExpectNear(Evaluate(track, 10), track.keys[1].rotation, 1e-4f);
    ExpectNear(Evaluate(track, 20), track.keys[2].rotation, 1e-4f);
    ExpectNear(Evaluate(track, 99), track.keys[2].rotation);

    // Between the keys the angle about y moves monotonically from 0 to 90 degrees.
    float previous = -1;
    for (int t = 1; t < 10; ++t) {
        const Quaternion q = Evaluate(track, static_cast<float>(t));
        const float angle = 2 * std::atan2(q.y, q.w);
        EXPECT_GT(angle, previous);
        EXPECT_LT(angle, kHalfPi + 1e-3f);
        previous = angle;
    }
}
