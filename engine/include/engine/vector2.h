#pragma once

// A texture coordinate pair: two floats, u then v, no padding.
struct Vector2 {
    float u = 0.0f;
    float v = 0.0f;

    constexpr Vector2() = default;
    constexpr Vector2(float u_, float v_) : u(u_), v(v_) {}

    constexpr Vector2 operator+(const Vector2& o) const { return {u + o.u, v + o.v}; }
    constexpr Vector2 operator-(const Vector2& o) const { return {u - o.u, v - o.v}; }
    constexpr Vector2 operator*(float s) const { return {u * s, v * s}; }
    constexpr bool operator==(const Vector2& o) const = default;
};

static_assert(sizeof(Vector2) == 8);
