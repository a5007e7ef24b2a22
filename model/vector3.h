// Vector3: the one vector type, three floats with double-precision length, cross and normalize.
#pragma once

#include <cmath>

struct Vector3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    Vector3() = default;
    Vector3(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

    // The squares are formed in double so that tiny vectors such as (1e-30, 0, 0) keep a length.
    double length() const
    {
        const double dx = x, dy = y, dz = z;
        return std::sqrt(dx * dx + dy * dy + dz * dz);
    }

    // A zero or NaN length divides by 1.0: the zero vector stays zero and no NaN is created here.
    void normalize()
    {
        double d = length();
        if (d == 0.0 || std::isnan(d)) d = 1.0;
        x = static_cast<float>(x / d);
        y = static_cast<float>(y / d);
        z = static_cast<float>(z / d);
    }
};

inline Vector3 operator+(Vector3 a, Vector3 b) { return Vector3(a.x + b.x, a.y + b.y, a.z + b.z); }
inline Vector3 operator-(Vector3 a, Vector3 b) { return Vector3(a.x - b.x, a.y - b.y, a.z - b.z); }
inline Vector3 operator*(Vector3 v, float s) { return Vector3(v.x * s, v.y * s, v.z * s); }

// The rounding to float happens here, whatever the optimiser makes of the code around it. GCC 12
// at -O2 vectorises a cross product that normalize() then reads and keeps the exact doubles of two
// components, skipping their rounding to float: the normal changes in its last bit wherever the
// product needs more than 24 bits. A volatile store must be made as written, so no compiler can
// skip it; it costs three stores per face.
inline float roundedToFloat(double value)
{
    volatile float rounded = static_cast<float>(value);
    return rounded;
}

// Each component is one double expression rounded once: exact for the 16-bit inputs of the model.
inline Vector3 cross(Vector3 a, Vector3 b)
{
    const double ax = a.x, ay = a.y, az = a.z, bx = b.x, by = b.y, bz = b.z;
    return Vector3(roundedToFloat(ay * bz - az * by), roundedToFloat(az * bx - ax * bz),
                   roundedToFloat(ax * by - ay * bx));
}
