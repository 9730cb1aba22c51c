// Rotations as unit quaternions, in 32-bit floats.
#pragma once

#include "math/Matrix4.h"
#include "math/Vector3.h"

struct Quaternion {
    float x, y, z, w;  // w is the scalar part

    Quaternion() : x(0), y(0), z(0), w(0) {}
    // The scalar part comes first.
    Quaternion(float w_, float x_, float y_, float z_) : x(x_), y(y_), z(z_), w(w_) {}
};

// w = cos(angle / 2), (x, y, z) = axis * sin(angle / 2); the axis is not normalised.
Quaternion FromAxisAngle(const Vector3& axis, float angle);
// The Hamilton product p * q.
Quaternion Multiply(const Quaternion& p, const Quaternion& q);
Quaternion Add(const Quaternion& p, const Quaternion& q);
Quaternion Scale(const Quaternion& q, float s);
float Dot(const Quaternion& p, const Quaternion& q);
// q / |q|. The zero quaternion has no direction and stays zero.
Quaternion Normalize(const Quaternion& q);
// The rotation matrix of q for row vectors; the zero quaternion gives the identity.
Matrix4 ToMatrix(const Quaternion& q);
// Blends p towards q by t (any value, not only 0..1). Angles below one radian are
// blended linearly and renormalised; there is no flip towards the shorter arc.
Quaternion Slerp(const Quaternion& p, const Quaternion& q, float t);
