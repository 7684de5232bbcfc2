#include "pictures/procedural.h"

namespace content {
namespace {

std::uint32_t Hash(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
    std::uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

int Wrap(int v, int period) { return ((v % period) + period) % period; }

}  // namespace

float Noise2::Grad(int ix, int iy, float dx, float dy, int period) const {
    std::uint32_t h = Hash(static_cast<std::uint32_t>(Wrap(ix, period)), static_cast<std::uint32_t>(Wrap(iy, period)),
                           seed_ + static_cast<std::uint32_t>(period));
    float angle = static_cast<float>(h & 1023u) * (6.2831853f / 1024.0f);
    return std::cos(angle) * dx + std::sin(angle) * dy;
}

float Noise2::AtPeriod(float x, float y, int period) const {
    float fx = std::floor(x), fy = std::floor(y);
    int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    float dx = x - fx, dy = y - fy;
    auto fade = [](float t) { return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f); };
    float u = fade(dx), v = fade(dy);
    float a = Grad(ix, iy, dx, dy, period);
    float b = Grad(ix + 1, iy, dx - 1.0f, dy, period);
    float c = Grad(ix, iy + 1, dx, dy - 1.0f, period);
    float d = Grad(ix + 1, iy + 1, dx - 1.0f, dy - 1.0f, period);
    return 1.4f * (a + (b - a) * u + (c - a) * v + (a - b - c + d) * u * v);
}

float Noise2::At(float x, float y) const { return AtPeriod(x, y, period_); }

float Noise2::Fbm(float x, float y, int octaves, float gain) const {
    float sum = 0.0f, amp = 1.0f, norm = 0.0f;
    int period = period_;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * AtPeriod(x, y, period);
        norm += amp;
        amp *= gain;
        x *= 2.0f;
        y *= 2.0f;
        period *= 2;
    }
    return sum / norm;
}

Rgba Ramp::At(float t) const {
    if (t <= stops[0].at) return stops[0].c;
    for (int i = 1; i < count; ++i)
        if (t <= stops[i].at)
            return Mix(stops[i - 1].c, stops[i].c, (t - stops[i - 1].at) / (stops[i].at - stops[i - 1].at));
    return stops[count - 1].c;
}

float SdCircle(float x, float y, float r) { return std::sqrt(x * x + y * y) - r; }

float SdBox(float x, float y, float hw, float hh) {
    float qx = std::fabs(x) - hw, qy = std::fabs(y) - hh;
    float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f);
}

float SdSegment(float px, float py, float ax, float ay, float bx, float by) {
    float pax = px - ax, pay = py - ay, bax = bx - ax, bay = by - ay;
    float h = Clamp01((pax * bax + pay * bay) / (bax * bax + bay * bay));
    float dx = pax - bax * h, dy = pay - bay * h;
    return std::sqrt(dx * dx + dy * dy);
}

}  // namespace content
