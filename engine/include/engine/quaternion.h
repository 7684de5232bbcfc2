#pragma once
#include <cstdint>

// A rotation: the vector part x, y, z first, the scalar part w last.
struct Quaternion {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;

    constexpr Quaternion() = default;
    constexpr Quaternion(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}

    constexpr Quaternion operator+(const Quaternion& o) const { return {x + o.x, y + o.y, z + o.z, w + o.w}; }
    constexpr Quaternion operator*(float s) const { return {x * s, y * s, z * s, w * s}; }
    constexpr Quaternion operator-() const { return {-x, -y, -z, -w}; }
    constexpr float Dot(const Quaternion& o) const { return x * o.x + y * o.y + z * o.z + w * o.w; }
    constexpr bool operator==(const Quaternion& o) const = default;
};

static_assert(sizeof(Quaternion) == 16);

// Spherical interpolation from a (t = 0) to b (t = 1) along the shorter arc,
// with `spin` extra half-turns about the arc. t is not clamped, so values
// outside 0..1 extrapolate; nearly equal (or opposite) quaternions are blended
// linearly. The result is not renormalised. Writes and returns out.
Quaternion& Slerp(Quaternion& out, const Quaternion& a, const Quaternion& b, float t, int32_t spin = 0);
