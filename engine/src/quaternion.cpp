#include "engine/quaternion.h"
#include <cmath>

namespace {
// Below this distance from 1 the arc is too short (or too close to a half
// turn) for sin(theta) to divide by: blend linearly instead.
constexpr float kLinearThreshold = 1.1920929e-05f;
constexpr float kPi = 3.1415927f;
}  // namespace

Quaternion& Slerp(Quaternion& out, const Quaternion& a, const Quaternion& b, float t, int32_t spin) {
    float c = a.Dot(b);
    float sign = 1.0f;
    if (c < 0.0f) {
        // Take the shorter arc by negating b's weight.
        c = -c;
        sign = -1.0f;
    }
    float s0;
    float s1;
    if (1.0f - c < kLinearThreshold) {
        s0 = 1.0f - t;
        s1 = sign * t;
    } else {
        const float theta = std::acos(c);
        const float phi = theta + static_cast<float>(spin) * kPi;
        const float sinTheta = std::sin(theta);
        s0 = std::sin(theta - t * phi) / sinTheta;
        s1 = sign * std::sin(t * phi) / sinTheta;
    }
    out = Quaternion(s0 * a.x + s1 * b.x, s0 * a.y + s1 * b.y, s0 * a.z + s1 * b.z, s0 * a.w + s1 * b.w);
    return out;
}
