// A point or direction in 3D: three 32-bit floats, copied by value.
// Every result is rounded to 32 bits (the operations work in float throughout).
#pragma once

struct Vector3 {
    float x, y, z;

    Vector3() : x(0), y(0), z(0) {}
    Vector3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    // v / |v| with |v| = sqrt(x*x + y*y + z*z); (0, 0, 0) when |v| is exactly 0.
    Vector3 Normalized() const;

    Vector3 operator+(const Vector3& b) const;
    Vector3 operator-(const Vector3& b) const;
    Vector3 operator*(float s) const;  // (s*x, s*y, s*z)
    Vector3 operator-() const;
    Vector3& operator+=(const Vector3& b);
    Vector3& operator-=(const Vector3& b);
    // Exact component-wise equality.
    bool operator==(const Vector3& b) const;
    bool operator!=(const Vector3& b) const { return !(*this == b); }
};

Vector3 operator*(float s, const Vector3& v);

// ax*bx + ay*by + az*bz, summed left to right.
float Dot(const Vector3& a, const Vector3& b);
// (ay*bz - az*by, az*bx - ax*bz, ax*by - ay*bx)
Vector3 Cross(const Vector3& a, const Vector3& b);
