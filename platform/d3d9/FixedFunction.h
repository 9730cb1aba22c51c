// The fixed-function maths the device feeds its shaders with: matrix products
// in Direct3D's row-vector convention, colours as floats, and the terms of its
// per-vertex lighting with one directional light.
#pragma once

#include "platform/d3d9/d3d9.h"

namespace d3d9 {

// out = a x b (row vectors: a is applied first).
void Multiply(const D3DMATRIX& a, const D3DMATRIX& b, D3DMATRIX& out);

// A D3DCOLOR (A8R8G8B8) as r, g, b, a from 0 to 1.
void ColorToFloats(D3DCOLOR c, float out[4]);

// The matrix normals are lit with: the inverse transpose of worldView's upper
// 3 x 3, row-major. Not renormalised, so a scaled mesh is lit brighter or darker,
// as with NORMALIZENORMALS off. A singular matrix gives zeros.
void NormalMatrix(const D3DMATRIX& worldView, float out[9]);

// The unit vector from a surface towards a directional light, in view space.
// A zero direction gives zeros.
void DirectionToLight(const D3DVECTOR& direction, const D3DMATRIX& view, float out[3]);

// Emissive + ambient material x (global ambient + the light's ambient when the
// light is on), in r, g, b; the fourth value is 0.
void AmbientAndEmissive(D3DCOLOR globalAmbient, const D3DMATERIAL9& material, const D3DLIGHT9& light,
                        bool lightOn, float out[4]);

}  // namespace d3d9
