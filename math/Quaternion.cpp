#include "math/Quaternion.h"

#include <algorithm>
#include <cmath>

Quaternion FromAxisAngle(const Vector3& axis, float angle)
{
    const float half = angle / 2.0f;
    const float s = std::sin(half);
    return Quaternion(std::cos(half), axis.x * s, axis.y * s, axis.z * s);
}

Quaternion Multiply(const Quaternion& p, const Quaternion& q)
{
    return Quaternion(
        p.w * q.w - p.x * q.x - p.y * q.y - p.z * q.z, p.w * q.x + q.w * p.x + p.y * q.z - p.z * q.y,
        p.w * q.y + q.w * p.y + p.z * q.x - p.x * q.z, p.w * q.z + q.w * p.z + p.x * q.y - p.y * q.x);
}

Quaternion Add(const Quaternion& p, const Quaternion& q)
{
    return Quaternion(p.w + q.w, p.x + q.x, p.y + q.y, p.z + q.z);
}

Quaternion Scale(const Quaternion& q, float s)
{
    return Quaternion(q.w * s, q.x * s, q.y * s, q.z * s);
}

float Dot(const Quaternion& p, const Quaternion& q)
{
    return p.x * q.x + p.y * q.y + p.z * q.z + p.w * q.w;
}

Quaternion Normalize(const Quaternion& q)
{
    const float sum = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
    if (sum == 0.0f) return q;
    return Scale(q, 1.0f / std::sqrt(sum));
}

Matrix4 ToMatrix(const Quaternion& q)
{
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    Matrix4 r;
    r.Identity();
    r.m[0][0] = 1.0f - 2.0f * y * y - 2.0f * z * z;
    r.m[0][1] = 2.0f * x * y + 2.0f * z * w;
    r.m[0][2] = 2.0f * x * z - 2.0f * y * w;
    r.m[1][0] = 2.0f * x * y - 2.0f * z * w;
    r.m[1][1] = 1.0f - 2.0f * x * x - 2.0f * z * z;
    r.m[1][2] = 2.0f * y * z + 2.0f * x * w;
    r.m[2][0] = 2.0f * x * z + 2.0f * y * w;
    r.m[2][1] = 2.0f * y * z - 2.0f * x * w;
    r.m[2][2] = 1.0f - 2.0f * x * x - 2.0f * y * y;
    return r;
}

Quaternion Slerp(const Quaternion& p, const Quaternion& q, float t)
{
    // Two equal unit quaternions can give a dot product just above 1: clamp it so
    // acos stays defined.
    const float cosine = std::clamp(Dot(p, q), -1.0f, 1.0f);
    const float theta = std::acos(cosine);
    float wp, wq;
    if (theta < 1.0f) {
        wp = 1.0f - t;
        wq = t;
    } else {
        // theta lies between 1 and acos(-1) here, where sin(theta) is never 0.
        const float s = std::sin(theta);
        wp = std::sin((1.0f - t) * theta) / s;
        wq = std::sin(t * theta) / s;
    }
    return Normalize(Add(Scale(p, wp), Scale(q, wq)));
}
