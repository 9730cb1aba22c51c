#include "platform/d3d9/FixedFunction.h"

#include <cmath>

namespace d3d9 {

void Multiply(const D3DMATRIX& a, const D3DMATRIX& b, D3DMATRIX& out)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out.m[r][c] =
                a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c] + a.m[r][3] * b.m[3][c];
}

void ColorToFloats(D3DCOLOR c, float out[4])
{
    out[0] = float((c >> 16) & 0xFF) / 255.0f;
    out[1] = float((c >> 8) & 0xFF) / 255.0f;
    out[2] = float(c & 0xFF) / 255.0f;
    out[3] = float(c >> 24) / 255.0f;
}

void NormalMatrix(const D3DMATRIX& worldView, float out[9])
{
    const float(*m)[4] = worldView.m;
    float cof[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
            cof[r][c] = m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1];
        }
    float det = m[0][0] * cof[0][0] + m[0][1] * cof[0][1] + m[0][2] * cof[0][2];
    // inverse = cofactorᵀ / det, so inverse transpose = cofactor / det (row-major).
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) out[r * 3 + c] = det != 0 ? cof[r][c] / det : 0.0f;
}

void DirectionToLight(const D3DVECTOR& d, const D3DMATRIX& view, float out[3])
{
    float lv[3];
    for (int c = 0; c < 3; ++c) lv[c] = d.x * view.m[0][c] + d.y * view.m[1][c] + d.z * view.m[2][c];
    float len = std::sqrt(lv[0] * lv[0] + lv[1] * lv[1] + lv[2] * lv[2]);
    for (int c = 0; c < 3; ++c) out[c] = len > 0 ? -lv[c] / len : 0.0f;
}

void AmbientAndEmissive(D3DCOLOR globalAmbient, const D3DMATERIAL9& material, const D3DLIGHT9& light, bool on,
                        float out[4])
{
    float ambient[4];
    ColorToFloats(globalAmbient, ambient);
    const D3DCOLORVALUE& ma = material.Ambient;
    const D3DCOLORVALUE& me = material.Emissive;
    const D3DCOLORVALUE& la = light.Ambient;
    out[0] = me.r + ma.r * (ambient[0] + (on ? la.r : 0));
    out[1] = me.g + ma.g * (ambient[1] + (on ? la.g : 0));
    out[2] = me.b + ma.b * (ambient[2] + (on ? la.b : 0));
    out[3] = 0;
}

}  // namespace d3d9
