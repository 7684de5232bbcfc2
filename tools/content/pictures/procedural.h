#pragma once
// Procedural building blocks for the pictures: tileable gradient noise and
// its fractal sums, the classic sine plasma and a few signed distances.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "pictures/picture.h"

namespace content {

inline float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }
inline float Smooth(float e0, float e1, float x) {
    float t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3.0f - 2.0f * t);
}

// Gradient noise on a lattice that repeats every `period` cells, so a
// texture made from it wraps without a seam. Values roughly -1..1.
class Noise2 {
public:
    Noise2(std::uint32_t seed, int period) : seed_(seed), period_(period) {}
    float At(float x, float y) const;
    // Sum of octaves, each twice the frequency (and period) of the last.
    float Fbm(float x, float y, int octaves, float gain = 0.5f) const;

private:
    float Grad(int ix, int iy, float dx, float dy, int period) const;
    float AtPeriod(float x, float y, int period) const;
    std::uint32_t seed_;
    int period_;
};

// Colour ramp through a few stops at positions 0..1.
struct Ramp {
    struct Stop {
        float at;
        Rgba c;
    };
    Stop stops[6];
    int count;
    Rgba At(float t) const;
};

inline Rgba Hex(std::uint32_t rgb, float a = 1.0f) {
    return {static_cast<float>((rgb >> 16) & 255) / 255.0f, static_cast<float>((rgb >> 8) & 255) / 255.0f,
            static_cast<float>(rgb & 255) / 255.0f, a};
}

float SdCircle(float x, float y, float r);
float SdBox(float x, float y, float hw, float hh);
float SdSegment(float px, float py, float ax, float ay, float bx, float by);
// Coverage of a distance for anti-aliased edges (width in the same units).
inline float Cover(float d, float width) { return Clamp01(0.5f - d / width); }

}  // namespace content
