#include "core/CosineEase.h"

#include <cmath>

float CosineEase(float x)
{
    const float pi = 3.1415927f;
    float angle = x * pi;
    float cosine = static_cast<float>(std::cos(static_cast<double>(angle)));
    return 1.0f - (cosine + 1.0f) * 0.5f;
}
