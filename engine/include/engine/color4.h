#pragma once
#include <cstdint>

// A floating-point colour: r, g, b, a as four floats, each nominally 0..1.
struct Color4 {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;

    constexpr Color4() = default;
    constexpr Color4(float r_, float g_, float b_, float a_) : r(r_), g(g_), b(b_), a(a_) {}
    constexpr bool operator==(const Color4& o) const = default;

    // From a packed A8R8G8B8 value: each byte times the float nearest 1/255.
    static Color4 FromARGB(uint32_t argb);
    // Back to A8R8G8B8, each channel clamped to 0..1 and rounded to nearest.
    uint32_t ToARGB() const;
};

static_assert(sizeof(Color4) == 16);
