#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "math/Matrix4.h"
#include "math/Vector3.h"

namespace {

Matrix4 Identity()
{
    Matrix4 m;
    m.Identity();
    return m;
}

void ExpectNear(const Vector3& actual, const Vector3& expected, float tolerance = 1e-6f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

void ExpectEqual(const Matrix4& a, const Matrix4& b)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(a.m[r][c], b.m[r][c]) << "element " << r << c;
}

Matrix4 RandomMatrix(std::mt19937& random)
{
    std::uniform_real_distribution<float> value(-4.0f, 4.0f);
    Matrix4 m;
    for (auto& row : m.m)
        for (float& e : row) e = value(random);
    return m;
}

// The textbook cofactor in double precision, by expansion of the 3x3 minor.
double TextbookCofactor(const Matrix4& m, int i, int j)
{
    double minor[3][3];
    for (int r = 0, mr = 0; r < 4; ++r) {
        if (r == i) continue;
        for (int c = 0, mc = 0; c < 4; ++c) {
            if (c == j) continue;
            minor[mr][mc++] = m.m[r][c];
        }
        ++mr;
    }
    const double det = minor[0][0] * (minor[1][1] * minor[2][2] - minor[1][2] * minor[2][1]) -
                       minor[0][1] * (minor[1][0] * minor[2][2] - minor[1][2] * minor[2][0]) +
                       minor[0][2] * (minor[1][0] * minor[2][1] - minor[1][1] * minor[2][0]);
    return ((i + j) % 2) ? -det : det;
}

}  // namespace

TEST(Vector3, Operations)
{
    EXPECT_EQ(Vector3(0, 0, 0).Normalized(), Vector3(0, 0, 0));
    EXPECT_EQ(Vector3(3, 0, 4).Normalized(), Vector3(0.6f, 0, 0.8f));
    EXPECT_EQ(Cross(Vector3(1, 0, 0), Vector3(0, 1, 0)), Vector3(0, 0, 1));
    EXPECT_EQ(Cross(Vector3(0, 1, 0), Vector3(1, 0, 0)), Vector3(0, 0, -1));
    EXPECT_EQ(Dot(Vector3(1, 2, 3), Vector3(4, -5, 6)), 12.0f);
    EXPECT_EQ(Vector3(1, 2, 3) * 2.0f - Vector3(1, 1, 1), Vector3(1, 3, 5));
    EXPECT_EQ(-Vector3(1, -2, 3), Vector3(-1, 2, -3));
    // A tiny vector whose squared length underflows to 0 normalises to zero, not NaN.
    EXPECT_EQ(Vector3(1e-30f, 0, 0).Normalized(), Vector3(0, 0, 0));
}

TEST(Matrix4, TransformsInRowVectorOrder)
{
    Matrix4 m = Identity();
    m.Translate(Vector3(5, 6, 7));
    EXPECT_EQ(m.TransformPoint(Vector3(1, 1, 1)), Vector3(6, 7, 8));

    // Scaling the axes of a pure translation keeps the translation row.
    m.ScaleAxes(Vector3(2, 2, 2));
    EXPECT_EQ(m.TransformPoint(Vector3(1, 1, 1)), Vector3(7, 8, 9));

    Matrix4 r = Identity();
    r.RotateEuler(Vector3(0, 0, 3.14159265f / 2));
    ExpectNear(r.TransformPoint(Vector3(1, 0, 0)), Vector3(0, 1, 0));

    // The result turns about y first, then x, then z.
    const Vector3 angles(0.3f, -1.1f, 0.7f);
    Matrix4 euler = Identity();
    euler.RotateEuler(angles);
    Matrix4 ry = Identity(), rx = Identity(), rz = Identity();
    ry.RotateEuler(Vector3(0, angles.y, 0));
    rx.RotateEuler(Vector3(angles.x, 0, 0));
    rz.RotateEuler(Vector3(0, 0, angles.z));
    const Vector3 p(1, 2, 3);
    ExpectNear(euler.TransformPoint(p), rz.TransformPoint(rx.TransformPoint(ry.TransformPoint(p))), 1e-5f);
    ExpectEqual(euler, ry * rx * rz);
}

TEST(Matrix4, MultiplyMayOverwriteItsOperands)
{
    std::mt19937 random(7);
    const Matrix4 a = RandomMatrix(random), b = RandomMatrix(random);
    Matrix4 separate;
    Matrix4::Multiply(separate, a, b);
    Matrix4 left = a;
    Matrix4::Multiply(left, left, b);
    ExpectEqual(left, separate);
    Matrix4 right = b;
    Matrix4::Multiply(right, a, right);
    ExpectEqual(right, separate);
    Matrix4 times = a;
    times *= b;
    ExpectEqual(times, separate);
}

TEST(Matrix4, EveryResultIsRoundedToFloat)
{
    // x * x is not a float; a fused multiply-add would keep the lost bit and leave
    // 2^-24 instead of 0.
    const float x = 1.0f + std::ldexp(1.0f, -12);
    const float xx = x * x;
    Matrix4 a = Identity(), b = Identity();
    a.m[0][0] = x;
    a.m[0][1] = -1.0f;
    b.m[0][0] = x;
    b.m[1][0] = xx;
    EXPECT_EQ((a * b).m[0][0], 0.0f);

    Matrix4 t = Identity();
    t.m[0][0] = x;
    t.m[3][0] = -xx;
    EXPECT_EQ(t.TransformPoint(Vector3(x, 0, 0)).x, 0.0f);
}

TEST(Matrix4, InverseAndCofactors)
{
    EXPECT_EQ(Identity().Determinant(), 1.0f);

    std::mt19937 random(1234);
    for (int trial = 0; trial < 50; ++trial) {
        Matrix4 m = RandomMatrix(random);
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                EXPECT_NEAR(m.Cofactor(i, j), TextbookCofactor(m, i, j), 1e-3) << i << j;
        if (std::fabs(m.Determinant()) < 0.5f) continue;
        Matrix4 inverse;
        ASSERT_EQ(m.Inverse(inverse), 1);
        const Matrix4 product = m * inverse;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) EXPECT_NEAR(product.m[r][c], r == c ? 1.0f : 0.0f, 1e-4f);
    }

    // Inverting in place reads the whole matrix before writing it.
    Matrix4 m = Identity();
    m.ScaleAxes(Vector3(2, 4, 8));
    m.Translate(Vector3(1, 2, 3));
    m.Inverse(m);
    ExpectNear(m.TransformPoint(Vector3(3, 6, 11)), Vector3(1, 1, 1));

    // A singular matrix has no inverse: the identity comes back instead of infinities.
    Matrix4 flat = Identity();
    flat.ScaleAxes(Vector3(1, 0, 1));
    Matrix4 out;
    EXPECT_EQ(flat.Inverse(out), 0);
    ExpectEqual(out, Identity());
}

TEST(Matrix4, Projections)
{
    Matrix4 p;
    p.PerspectiveFov(45.0f, 1280.0f / 720.0f, 1.0f, 100000.0f);
    // pi is taken as 3.1415: 2.414293 rather than the exact 2.414214.
    EXPECT_NEAR(p.m[1][1], 2.414293f, 2e-6f);
    EXPECT_NEAR(p.m[0][0], 1.358040f, 2e-6f);
    EXPECT_FLOAT_EQ(p.m[2][2], 100000.0f / 99999.0f);
    EXPECT_FLOAT_EQ(p.m[3][2], -100000.0f / 99999.0f);
    EXPECT_EQ(p.m[2][3], 1.0f);
    EXPECT_EQ(p.m[3][3], 0.0f);

    Matrix4 o;
    o.OrthoOffCenter(0, 1, 0, 1, -1, 1);
    const Matrix4 expected(2, 0, 0, 0, 0, -2, 0, 0, 0, 0, 0.5f, 0, -1, 1, 0.5f, 1);
    ExpectEqual(o, expected);
    ExpectNear(o.TransformPoint(Vector3(0, 0, -1)), Vector3(-1, 1, 0));
    ExpectNear(o.TransformPoint(Vector3(1, 1, 1)), Vector3(1, -1, 1));
}
