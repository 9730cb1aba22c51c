// The lighting maths checked against first principles, for matrices the
// render tests do not reach: sheared, rotated and singular ones.
#include "platform/d3d9/FixedFunction.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

D3DMATRIX Matrix(std::initializer_list<float> rows)
{
    D3DMATRIX m{};
    auto v = rows.begin();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m.m[r][c] = *v++;
    return m;
}

}  // namespace

// The normal matrix N is the inverse transpose of the upper 3 x 3 block A:
// A x Nᵀ is the identity, whatever the translation row holds.
TEST(FixedFunctionTest, NormalMatrixIsTheInverseTransposeOfWorldView)
{
    const D3DMATRIX shearedRotatedScaled = Matrix({0.0f, 2.0f, 0.5f, 0,   //
                                                   -3.0f, 0.0f, 1.0f, 0,  //
                                                   0.25f, 0.0f, 4.0f, 0,  //
                                                   7, -8, 9, 1});
    float n[9];
    d3d9::NormalMatrix(shearedRotatedScaled, n);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            float dot = 0;
            for (int k = 0; k < 3; ++k) dot += shearedRotatedScaled.m[r][k] * n[c * 3 + k];
            EXPECT_NEAR(dot, r == c ? 1.0f : 0.0f, 1e-5f) << r << "," << c;
        }
    // A uniform scale by 2 halves the normals: the mesh is lit half as bright.
    d3d9::NormalMatrix(Matrix({2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1}), n);
    EXPECT_FLOAT_EQ(n[0], 0.5f);
    EXPECT_FLOAT_EQ(n[4], 0.5f);
    EXPECT_FLOAT_EQ(n[8], 0.5f);
    // A flattened mesh has no inverse: zeros, never infinities or NaN.
    d3d9::NormalMatrix(Matrix({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), n);
    for (float v : n) EXPECT_EQ(v, 0.0f);
}

TEST(FixedFunctionTest, DirectionToLightIsUnitLengthInViewSpaceAndPointsBack)
{
    // A view turned 90 degrees about y: view-space x = world z, z = -world x.
    const D3DMATRIX view = Matrix({0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 5, 1});
    float toLight[3];
    d3d9::DirectionToLight(D3DVECTOR{0, 0, 10}, view, toLight);  // shining along world +z
    EXPECT_FLOAT_EQ(toLight[0], -1.0f);
    EXPECT_FLOAT_EQ(toLight[1], 0.0f);
    EXPECT_FLOAT_EQ(toLight[2], 0.0f);
    d3d9::DirectionToLight(D3DVECTOR{0, 0, 0}, view, toLight);
    for (float v : toLight) EXPECT_EQ(v, 0.0f);
}

TEST(FixedFunctionTest, LightAmbientCountsOnlyWhileTheLightIsOn)
{
    D3DMATERIAL9 material{};
    material.Ambient = D3DCOLORVALUE{0.5f, 1, 0, 1};
    material.Emissive = D3DCOLORVALUE{0.25f, 0, 0, 1};
    D3DLIGHT9 light{};
    light.Ambient = D3DCOLORVALUE{0.2f, 0.2f, 0.2f, 1};
    float out[4];
    d3d9::AmbientAndEmissive(0xFF336699u, material, light, false, out);  // 0x33 = 0.2
    EXPECT_NEAR(out[0], 0.25f + 0.5f * 0.2f, 1e-6f);
    EXPECT_NEAR(out[1], 1.0f * 0.4f, 1e-6f);
    EXPECT_EQ(out[2], 0.0f);
    EXPECT_EQ(out[3], 0.0f);
    d3d9::AmbientAndEmissive(0xFF336699u, material, light, true, out);
    EXPECT_NEAR(out[0], 0.25f + 0.5f * 0.4f, 1e-6f);
    EXPECT_NEAR(out[1], 1.0f * 0.6f, 1e-6f);
}
