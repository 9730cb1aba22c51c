// A 4x4 single-precision matrix stored row by row: m[R][C] is row R, column C.
// Points are row vectors multiplied on the left (p * M), so the translation sits in
// row 3 and "A then B" is A * B. Projections are left-handed with depth 0..1.
// The layout is exactly sixteen floats in row order, the layout the device's
// SetTransform takes, so a Matrix4 can be handed to it unchanged.
// Every result element is rounded to 32 bits.
#pragma once

#include "math/Vector3.h"

struct Matrix4 {
    float m[4][4];

    // Leaves the elements unset: start from Identity() or one of the builders.
    Matrix4() = default;
    // The sixteen values in row order.
    Matrix4(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13, float m20,
            float m21, float m22, float m23, float m30, float m31, float m32, float m33);

    // this = identity; returns *this.
    Matrix4& Identity();
    // this = the sixteen values in row order; returns a copy.
    Matrix4 Set(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13,
                float m20, float m21, float m22, float m23, float m30, float m31, float m32, float m33);

    // out[i][j] = sum over k of a[i][k] * b[k][j]. b is taken by value and each row
    // of a is read before the same row of out is written, so out may be a.
    static void Multiply(Matrix4& out, const Matrix4& a, Matrix4 b);
    Matrix4 operator*(const Matrix4& b) const;
    Matrix4& operator*=(const Matrix4& b);

    // (v.x, v.y, v.z, 1) * this, first three components, no divide by w.
    Vector3 TransformPoint(const Vector3& v) const;
    // A copy with all sixteen elements multiplied by s.
    Matrix4 Scaled(float s) const;
    // m30 += v.x, m31 += v.y, m32 += v.z; nothing else changes.
    void Translate(const Vector3& v);
    // m00 *= v.x, m11 *= v.y, m22 *= v.z; nothing else changes.
    void ScaleAxes(const Vector3& v);
    // this = this * Ry(v.y) * Rx(v.x) * Rz(v.z), angles in radians.
    void RotateEuler(const Vector3& v);

    // (-1)^(i+j) times the determinant of the 3x3 minor without row i and column j,
    // rows and columns taken cyclically (i+1, i+2, i+3 mod 4), by the rule of Sarrus.
    float Cofactor(int i, int j) const;
    // Expansion along row 0.
    float Determinant() const;
    // out[j][i] = Cofactor(i, j) / Determinant(); this is unchanged. Returns 1.
    // A matrix whose determinant is 0 or not finite has no inverse: out becomes the
    // identity and the result is 0.
    int Inverse(Matrix4& out) const;

    // Orthographic projection: x l..r -> -1..1, y t..b -> 1..-1, z n..f -> 0..1.
    void OrthoOffCenter(float left, float right, float top, float bottom, float nearZ, float farZ);
    // Perspective projection with the vertical field of view in degrees; pi is taken
    // as 3.1415, which gives the framing the scenes were made for (2.414293, not
    // 2.414214, for 45 degrees).
    void PerspectiveFov(float fovDegrees, float aspect, float nearZ, float farZ);
};

static_assert(sizeof(Matrix4) == 16 * sizeof(float), "Matrix4 must be sixteen packed floats");
