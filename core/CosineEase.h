#pragma once

// 1 - (cos(x * pi) + 1) * 0.5 in single precision: 0 at 0, 0.5 at 0.5, 1 at 1,
// slow at both ends.
float CosineEase(float x);
