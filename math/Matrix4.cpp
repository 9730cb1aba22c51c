#include "math/Matrix4.h"

#include <cmath>

Matrix4::Matrix4(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13,
                 float m20, float m21, float m22, float m23, float m30, float m31, float m32, float m33)
    : m{{m00, m01, m02, m03}, {m10, m11, m12, m13}, {m20, m21, m22, m23}, {m30, m31, m32, m33}}
{
}

Matrix4& Matrix4::Identity()
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m[r][c] = r == c ? 1.0f : 0.0f;
    return *this;
}

Matrix4 Matrix4::Set(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13,
                     float m20, float m21, float m22, float m23, float m30, float m31, float m32, float m33)
{
    *this = Matrix4(m00, m01, m02, m03, m10, m11, m12, m13, m20, m21, m22, m23, m30, m31, m32, m33);
    return *this;
}

void Matrix4::Multiply(Matrix4& out, const Matrix4& a, Matrix4 b)
{
    for (int i = 0; i < 4; ++i) {
        // Row i of a is read whole before row i of out is written, so out may be a.
        float row[4] = {a.m[i][0], a.m[i][1], a.m[i][2], a.m[i][3]};
        for (int j = 0; j < 4; ++j) {
            float sum = row[0] * b.m[0][j];
            sum += row[1] * b.m[1][j];
            sum += row[2] * b.m[2][j];
            sum += row[3] * b.m[3][j];
            out.m[i][j] = sum;
        }
    }
}

Matrix4 Matrix4::operator*(const Matrix4& b) const
{
    Matrix4 result;
    Multiply(result, *this, b);
    return result;
}

Matrix4& Matrix4::operator*=(const Matrix4& b)
{
    Multiply(*this, *this, b);
    return *this;
}

Vector3 Matrix4::TransformPoint(const Vector3& v) const
{
    return Vector3(v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0] + m[3][0],
                   v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1] + m[3][1],
                   v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2] + m[3][2]);
}

Matrix4 Matrix4::Scaled(float s) const
{
    Matrix4 result;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) result.m[r][c] = m[r][c] * s;
    return result;
}

void Matrix4::Translate(const Vector3& v)
{
    m[3][0] += v.x;
    m[3][1] += v.y;
    m[3][2] += v.z;
}

void Matrix4::ScaleAxes(const Vector3& v)
{
    m[0][0] *= v.x;
    m[1][1] *= v.y;
    m[2][2] *= v.z;
}

void Matrix4::RotateEuler(const Vector3& v)
{
    float c = std::cos(v.y), s = std::sin(v.y);
    Matrix4 ry;
    ry.Identity();
    ry.m[0][0] = c;
    ry.m[0][2] = -s;
    ry.m[2][0] = s;
    ry.m[2][2] = c;
    Multiply(*this, *this, ry);

    c = std::cos(v.x);
    s = std::sin(v.x);
    Matrix4 rx;
    rx.Identity();
    rx.m[1][1] = c;
    rx.m[1][2] = s;
    rx.m[2][1] = -s;
    rx.m[2][2] = c;
    Multiply(*this, *this, rx);

    c = std::cos(v.z);
    s = std::sin(v.z);
    Matrix4 rz;
    rz.Identity();
    rz.m[0][0] = c;
    rz.m[0][1] = s;
    rz.m[1][0] = -s;
    rz.m[1][1] = c;
    Multiply(*this, *this, rz);
}

float Matrix4::Cofactor(int i, int j) const
{
    // The minor's rows and columns in cyclic order after i and j.
    const int r0 = (i + 1) & 3, r1 = (i + 2) & 3, r2 = (i + 3) & 3;
    const int c0 = (j + 1) & 3, c1 = (j + 2) & 3, c2 = (j + 3) & 3;
    const float a = m[r0][c0], b = m[r0][c1], c = m[r0][c2];
    const float d = m[r1][c0], e = m[r1][c1], f = m[r1][c2];
    const float g = m[r2][c0], h = m[r2][c1], k = m[r2][c2];
    // Rule of Sarrus; every product is a float rounded on its own.
    const float p0 = a * e * k, p1 = b * f * g, p2 = c * d * h;
    const float n0 = c * e * g, n1 = a * f * h, n2 = b * d * k;
    const float det = (p0 + p1 + p2) - (n0 + n1 + n2);
    return ((i + j) & 1) ? -det : det;
}

float Matrix4::Determinant() const
{
    return m[0][0] * Cofactor(0, 0) + m[0][1] * Cofactor(0, 1) + m[0][2] * Cofactor(0, 2) +
           m[0][3] * Cofactor(0, 3);
}

int Matrix4::Inverse(Matrix4& out) const
{
    const float det = Determinant();
    if (det == 0.0f || !std::isfinite(det)) {
        // No inverse: hand back the identity rather than infinities.
        out.Identity();
        return 0;
    }
    Matrix4 result;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) result.m[j][i] = Cofactor(i, j) / det;
    out = result;
    return 1;
}

void Matrix4::OrthoOffCenter(float l, float r, float t, float b, float n, float f)
{
    for (auto& row : m)
        for (float& e : row) e = 0.0f;
    m[0][0] = 2.0f / (r - l);
    m[1][1] = 2.0f / (t - b);
    m[2][2] = 1.0f / (f - n);
    m[3][0] = (l + r) / (l - r);
    m[3][1] = (t + b) / (b - t);
    m[3][2] = n / (n - f);
    m[3][3] = 1.0f;
}

void Matrix4::PerspectiveFov(float fovDegrees, float aspect, float n, float f)
{
    float half = fovDegrees / 180.0f;
    half = half * 3.1415f;
    half = half * 0.5f;
    const float ys = 1.0f / std::tan(half);
    for (auto& row : m)
        for (float& e : row) e = 0.0f;
    m[0][0] = ys / aspect;
    m[1][1] = ys;
    m[2][2] = f / (f - n);
    m[2][3] = 1.0f;
    m[3][2] = -n * f / (f - n);
}
