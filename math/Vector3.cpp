#include "math/Vector3.h"

#include <cmath>

Vector3 Vector3::Normalized() const
{
    float sum = x * x + y * y + z * z;
    float length = std::sqrt(sum);
    if (length == 0.0f) return Vector3();
    return Vector3(x / length, y / length, z / length);
}

Vector3 Vector3::operator+(const Vector3& b) const
{
    return Vector3(x + b.x, y + b.y, z + b.z);
}
Vector3 Vector3::operator-(const Vector3& b) const
{
    return Vector3(x - b.x, y - b.y, z - b.z);
}
Vector3 Vector3::operator*(float s) const
{
    return Vector3(s * x, s * y, s * z);
}
Vector3 Vector3::operator-() const
{
    return Vector3(-x, -y, -z);
}

Vector3& Vector3::operator+=(const Vector3& b)
{
    *this = *this + b;
    return *this;
}

Vector3& Vector3::operator-=(const Vector3& b)
{
    *this = *this - b;
    return *this;
}

bool Vector3::operator==(const Vector3& b) const
{
    return x == b.x && y == b.y && z == b.z;
}

Vector3 operator*(float s, const Vector3& v)
{
    return v * s;
}

float Dot(const Vector3& a, const Vector3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vector3 Cross(const Vector3& a, const Vector3& b)
{
    return Vector3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
