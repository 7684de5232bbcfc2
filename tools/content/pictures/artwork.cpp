#include "pictures/artwork.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "pictures/procedural.h"
#include "pictures/textrender.h"

namespace content {
namespace {

constexpr float kTau = 6.2831853f;

const Rgba kDeepBlue = Hex(0x0A1838);
const Rgba kViolet = Hex(0x5C2C8C);
const Rgba kTeal = Hex(0x22B0A8);
const Rgba kWarm = Hex(0xFFC98A);
const Rgba kIce = Hex(0xD4ECFF);

// Box blur run three times: close to a Gaussian, cheap, and exact in floats.
std::vector<float> Blur(const std::vector<float>& in, int w, int h, int radius) {
    std::vector<float> a = in, b(in.size());
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float s = 0.0f;
                for (int k = -radius; k <= radius; ++k)
                    s += a[static_cast<std::size_t>(y * w + std::clamp(x + k, 0, w - 1))];
                b[static_cast<std::size_t>(y * w + x)] = s / static_cast<float>(2 * radius + 1);
            }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float s = 0.0f;
                for (int k = -radius; k <= radius; ++k)
                    s += b[static_cast<std::size_t>(std::clamp(y + k, 0, h - 1) * w + x)];
                a[static_cast<std::size_t>(y * w + x)] = s / static_cast<float>(2 * radius + 1);
            }
    }
    return a;
}

// Draws a line of text centred at (cx, cy) with a vertical colour gradient
// and a soft halo behind it.
void Stamp(Picture& p, const TextMask& m, float cx, float cy, const Rgba& top, const Rgba& bottom, const Rgba& halo,
           float haloStrength, int haloRadius) {
    int ox = static_cast<int>(std::lround(cx - m.width * 0.5f));
    int oy = static_cast<int>(std::lround(cy - m.height * 0.5f));
    if (haloStrength > 0.0f) {
        int pad = haloRadius * 3;
        int w = m.width + pad * 2, h = m.height + pad * 2;
        std::vector<float> grown(static_cast<std::size_t>(w * h), 0.0f);
        for (int y = 0; y < m.height; ++y)
            for (int x = 0; x < m.width; ++x) grown[static_cast<std::size_t>((y + pad) * w + x + pad)] = m.At(x, y);
        std::vector<float> g = Blur(grown, w, h, haloRadius);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                p.Glow(ox + x - pad, oy + y - pad, halo,
                       std::min(1.0f, g[static_cast<std::size_t>(y * w + x)] * haloStrength));
    }
    for (int y = 0; y < m.height; ++y) {
        Rgba c = Mix(top, bottom, static_cast<float>(y) / static_cast<float>(m.height));
        for (int x = 0; x < m.width; ++x) {
            c.a = m.At(x, y);
            p.Over(ox + x, oy + y, c);
        }
    }
}

std::u32string U(const std::string& s) { return std::u32string(s.begin(), s.end()); }

}  // namespace

Picture MakeGlowPuff() {
    Picture p(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float dx = (x + 0.5f) / 128.0f - 1.0f, dy = (y + 0.5f) / 128.0f - 1.0f;
            float r2 = dx * dx + dy * dy;
            // The puffs are small on screen: a broad, soft falloff that fills
            // the quad reads as smoke rather than as a point of light.
            float r = std::sqrt(r2);
            float v =
                std::pow(Clamp01(1.0f - r2), 2.2f) * (0.55f + 0.45f * std::exp(-r2 * 6.0f)) * Smooth(1.0f, 0.9f, r);
            p.At(x, y) = {v * 0.92f, v * 0.95f, v * 1.0f, 1.0f};
        }
    return p;
}

Picture MakeBackLayer(int index) {
    const Ramp ramps[3] = {
        {{{0.0f, Hex(0x02040C)}, {0.45f, Hex(0x0B1E4A)}, {0.75f, Hex(0x2A5AA8)}, {1.0f, Hex(0xA8D0FF)}}, 4},
        {{{0.0f, Hex(0x05020C)}, {0.45f, Hex(0x2A1050)}, {0.75f, Hex(0x6E3AB0)}, {1.0f, Hex(0xE0B8FF)}}, 4},
        {{{0.0f, Hex(0x020808)}, {0.5f, Hex(0x0C2C40)}, {0.8f, Hex(0x2A8AA0)}, {1.0f, Hex(0xC8F4FF)}}, 4},
    };
    Noise2 noise(101u + static_cast<std::uint32_t>(index) * 17u, 4);
    Noise2 warp(202u + static_cast<std::uint32_t>(index) * 31u, 4);
    Picture p(512, 512);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            float u = x / 128.0f, v = y / 128.0f;
            float wx = warp.Fbm(u, v, 3) * 0.8f, wy = warp.Fbm(u + 1.7f, v + 9.2f, 3) * 0.8f;
            float n = noise.Fbm(u + wx, v + wy, 6, 0.55f);
            float t = Clamp01(0.5f + n * 0.9f);
            p.At(x, y) = ramps[index].At(t * t);
        }
    return p;
}

Picture MakeBlueCloud() {
    Noise2 noise(303u, 4);
    Picture p(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float dx = (x + 0.5f) / 128.0f - 1.0f, dy = (y + 0.5f) / 128.0f - 1.0f;
            float r = std::sqrt(dx * dx + dy * dy);
            float n = noise.Fbm(x / 64.0f, y / 64.0f, 5);
            float a = Smooth(1.0f, 0.2f, r + n * 0.35f) * (0.75f + 0.25f * n);
            Rgba c = Mix(Hex(0x4C7CE0), Hex(0xCFE4FF), Clamp01(0.5f + n));
            c.a = Clamp01(a);
            p.At(x, y) = c;
        }
    return p;
}

Picture MakeCreditPicture(int index) {
    Picture p(512, 512);
    Noise2 noise(404u + static_cast<std::uint32_t>(index), 8);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            float u = x / 512.0f, v = y / 512.0f;
            float n = noise.Fbm(u * 4.0f, v * 4.0f, 5);
            Rgba c;
            if (index == 0) {
                // Code: a glowing lattice receding to a horizon under a plasma sky.
                float horizon = 0.55f;
                if (v < horizon) {
                    float s = std::sin(u * 9.0f + std::sin(v * 7.0f) * 1.5f) + std::sin(v * 13.0f - u * 5.0f);
                    c = Mix(Hex(0x0A0830), Hex(0x3A1F78), Clamp01(0.5f + 0.25f * s + 0.3f * n));
                    c = Mix(c, kWarm, Smooth(horizon - 0.12f, horizon, v) * 0.55f);
                } else {
                    float depth = (v - horizon) + 0.02f;
                    float gz = 0.5f / depth, gx = (u - 0.5f) / depth * 1.6f;
                    float lx = std::fabs(gx - std::round(gx)), lz = std::fabs(gz - std::round(gz));
                    float width = 0.03f + 0.02f / (depth * 10.0f + 0.2f);
                    float line = std::max(Smooth(width, 0.0f, lx), Smooth(width * 2.0f, 0.0f, lz));
                    float fade = Smooth(0.0f, 0.12f, depth);
                    c = Mix(Hex(0x03101A), kTeal, line * (0.25f + 0.75f * fade));
                    c = Mix(c, Hex(0x1A5A70), (1.0f - fade) * 0.6f);
                    c = Mix(c, kWarm, Smooth(horizon + 0.05f, horizon, v) * 0.5f);
                }
            } else if (index == 1) {
                // Graphics: overlapping discs and rings over a violet plasma.
                float pl = std::sin(u * 10.0f) + std::sin(v * 8.0f + u * 3.0f) + std::sin((u + v) * 6.0f + n * 3.0f);
                c = Mix(Hex(0x140828), Hex(0x5C2C8C), Clamp01(0.5f + pl * 0.18f));
                float d1 = SdCircle(u - 0.38f, v - 0.45f, 0.22f);
                float d2 = std::fabs(SdCircle(u - 0.62f, v - 0.55f, 0.2f)) - 0.02f;
                float d3 = SdBox(u - 0.5f, v - 0.3f, 0.08f, 0.08f);
                c = Mix(c, Mix(kTeal, kIce, v), Cover(d1, 0.004f) * 0.7f);
                c = Mix(c, kWarm, Cover(d2, 0.004f));
                c = Mix(c, kIce, Cover(d3, 0.004f) * 0.5f);
                c = Mix(c, kWarm, Smooth(0.05f, 0.0f, std::fabs(d1)) * 0.6f);
            } else {
                // Music: rings spreading from a speaker, spectrum bars below.
                float r = std::sqrt((u - 0.5f) * (u - 0.5f) + (v - 0.42f) * (v - 0.42f));
                float ring = std::pow(0.5f + 0.5f * std::cos(r * 70.0f - n * 2.0f), 6.0f) * Smooth(0.45f, 0.05f, r);
                c = Mix(Hex(0x060A1E), Hex(0x1A2C60), Clamp01(0.6f - r + n * 0.2f));
                c = Mix(c, kWarm, ring * 0.8f);
                c = Mix(c, kIce, Smooth(0.06f, 0.0f, r));
                int bar = static_cast<int>(u * 32.0f);
                float height = 0.08f + 0.14f * (0.5f + 0.5f * std::sin(bar * 1.7f) * std::cos(bar * 0.63f));
                float bu = u * 32.0f - bar;
                if (v > 1.0f - height - 0.04f && v < 0.96f && bu > 0.15f && bu < 0.85f)
                    c = Mix(c, Mix(kTeal, kWarm, (0.96f - v) / 0.22f), 0.85f);
            }
            // A soft vignette keeps the edges quiet under the cross-fades.
            float vig = Smooth(0.95f, 0.35f, std::sqrt((u - 0.5f) * (u - 0.5f) + (v - 0.5f) * (v - 0.5f)) * 1.3f);
            c.r *= 0.3f + 0.7f * vig;
            c.g *= 0.3f + 0.7f * vig;
            c.b *= 0.3f + 0.7f * vig;
            c.a = 1.0f;
            p.At(x, y) = c;
        }
    return p;
}

Picture MakeCreditText(int index) {
    static const char* roles[3] = {"CODE", "GRAPHICS", "MUSIC"};
    static const char* names[3] = {"fennox", "sinisiipi", "kaamos"};
    // The card is small on screen (a quarter of its width), so the handle
    // fills it edge to edge and the role sits above it.
    Picture p(512, 256);
    TextRenderer small("DejaVuSans-Bold.ttf", 40);
    Stamp(p, small.Render(U(roles[index]), 12.0f), 256.0f, 48.0f, kTeal, Hex(0x7FE0D8), Hex(0x000000), 0.0f, 0);
    TextMask name;
    for (int size = 160; size >= 60; size -= 6) {
        name = TextRenderer("DejaVuSans-Bold.ttf", size).Render(U(names[index]));
        if (name.width <= 470 && name.height <= 190) break;
    }
    Stamp(p, name, 256.0f, 158.0f, kIce, kWarm, Hex(0x4060C0), 1.6f, 5);
    return p;
}

Picture MakeLogo() {
    Picture p(512, 512);
    // A quill: a curved vane of fine barbs around a shaft, drawn as distances.
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            float u = x / 512.0f, v = y / 512.0f;
            // Feather space: along the shaft s (0 at the nib), across it w.
            float ax = 0.30f, ay = 0.62f, bx = 0.70f, by = 0.16f;
            float dx = bx - ax, dy = by - ay, len = std::sqrt(dx * dx + dy * dy);
            float s = ((u - ax) * dx + (v - ay) * dy) / (len * len);
            float w = ((u - ax) * -dy + (v - ay) * dx) / len;
            w -= 0.06f * std::sin(s * 3.1f);
            float halfWidth = 0.09f * std::sin(Clamp01((s - 0.15f) / 0.85f) * 3.14159f) * (s > 0.15f ? 1.0f : 0.0f);
            float vane = Cover(std::fabs(w) - halfWidth, 0.004f);
            float barbs = 0.65f + 0.35f * std::sin((s * 90.0f + std::fabs(w) * 160.0f));
            float shaft = Cover(std::fabs(w) - 0.004f, 0.003f) * (s > -0.05f && s < 1.02f ? 1.0f : 0.0f);
            float a = std::max(vane * barbs, shaft);
            Rgba c = Mix(kTeal, kIce, Clamp01(s));
            c = Mix(c, kWarm, shaft);
            c.a = a;
            p.Over(x, y, c);
            float glow =
                std::exp(-std::pow(std::max(0.0f, std::fabs(w) - halfWidth), 2.0f) * 900.0f) * (s > 0.1f && s < 1.0f);
            p.Glow(x, y, kViolet, glow * 0.35f);
        }
    TextRenderer text("DejaVuSans-Bold.ttf", 78);
    Stamp(p, text.Render(U("quillmark"), 2.0f), 256.0f, 400.0f, kIce, kTeal, kViolet, 2.0f, 7);
    return p;
}

Picture MakeTitle() {
    Picture p(1024, 512);
    TextRenderer text("DejaVuSans-Bold.ttf", 150);
    TextRenderer light("DejaVuSans-ExtraLight.ttf", 190);
    TextMask word = text.Render(U("Halcyon"), 4.0f);
    TextMask two = light.Render(U("2"));
    float total = static_cast<float>(word.width + two.width + 30);
    float left = 512.0f - total * 0.5f;
    Stamp(p, word, left + word.width * 0.5f, 190.0f, kIce, Hex(0x8FB8F0), Hex(0x3050B0), 1.5f, 10);
    Stamp(p, two, left + word.width + 30 + two.width * 0.5f, 180.0f, kWarm, Hex(0xFF8A5C), Hex(0xFF9040), 1.8f, 12);
    return p;
}

Picture MakeByLine() {
    Picture p(1024, 512);
    TextRenderer text("DejaVuSans.ttf", 62);
    Stamp(p, text.Render(U("by quillmark"), 8.0f), 512.0f, 310.0f, kIce, kTeal, Hex(0x2040A0), 1.2f, 6);
    return p;
}

Picture MakeGreeting(int index) {
    static const char* groups[7] = {"Pakkasukko",  "Revontuli", "Tunturi Crew",  "Jäälautta",
                                    "Polar Pixel", "Kuura",     "Northern Drift"};
    Picture p(512, 128);
    std::string name = groups[index];
    std::u32string u;
    for (std::size_t i = 0; i < name.size(); ++i) {
        auto c = static_cast<unsigned char>(name[i]);
        if (c == 0xC3 && i + 1 < name.size()) {
            u.push_back(static_cast<char32_t>(0xC0 + (static_cast<unsigned char>(name[++i]) & 0x3F)));
        } else {
            u.push_back(c);
        }
    }
    // The longest names are set smaller so every name fits with a margin.
    TextMask m;
    for (int size = 64; size >= 30; size -= 4) {
        m = TextRenderer("DejaVuSans-Bold.ttf", size).Render(u, 1.0f);
        if (m.width <= 440) break;
    }
    Rgba tints[7] = {kIce, kWarm, kTeal, kIce, kWarm, Hex(0xE0B8FF), kIce};
    Stamp(p, m, 256.0f, 64.0f, Hex(0xFFFFFF), tints[index], kViolet, 1.4f, 6);
    return p;
}

Picture MakeSwirl() {
    Noise2 noise(505u, 4);
    Picture p(512, 512);
    const Ramp ramp{{{0.0f, Hex(0x050818)},
                     {0.35f, Hex(0x16306A)},
                     {0.6f, Hex(0x1F8C96)},
                     {0.8f, Hex(0x7A4AC0)},
                     {1.0f, Hex(0xF0E0FF)}},
                    5};
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            float u = x / 128.0f, v = y / 128.0f;
            // Domain warping twice turns plain noise into curling streams.
            float qx = noise.Fbm(u, v, 4), qy = noise.Fbm(u + 5.2f, v + 1.3f, 4);
            float rx = noise.Fbm(u + 2.0f * qx + 1.7f, v + 2.0f * qy + 9.2f, 4);
            float ry = noise.Fbm(u + 2.0f * qx + 8.3f, v + 2.0f * qy + 2.8f, 4);
            float n = noise.Fbm(u + 2.5f * rx, v + 2.5f * ry, 5);
            p.At(x, y) = ramp.At(Clamp01(0.5f + n * 1.1f));
        }
    return p;
}

Picture MakeBird() {
    // A swallow seen from below, flying right: body, head, forked tail and
    // two swept wings whose flight feathers fan out at the tips.
    Picture p(512, 512);
    auto wing = [](float u, float v, float side) {
        float d = 1e9f;
        const float sx = 0.06f, sy = 0.03f * side, cx = 0.22f, cy = 0.42f * side, tx = -0.28f, ty = 0.78f * side;
        for (int k = 0; k <= 48; ++k) {
            float t = static_cast<float>(k) / 48.0f;
            float bx = (1 - t) * (1 - t) * sx + 2 * (1 - t) * t * cx + t * t * tx;
            float by = (1 - t) * (1 - t) * sy + 2 * (1 - t) * t * cy + t * t * ty;
            float r = 0.1f * std::pow(1.0f - t, 0.7f) + 0.012f;
            d = std::min(d, SdCircle(u - bx, v - by, r));
        }
        // Primaries: thin capsules fanning back from near the tip.
        for (int f = 0; f < 4; ++f) {
            float ax = -0.1f - 0.03f * f, ay = (0.55f + 0.05f * f) * side;
            float ex = ax - 0.16f + 0.02f * f, ey = ay + (0.1f - 0.04f * f) * side;
            d = std::min(d, SdSegment(u, v, ax, ay, ex, ey) - 0.018f);
        }
        return d;
    };
    const int ss = 3;
    std::vector<float> alpha(512 * 512, 0.0f);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            float acc = 0.0f;
            for (int sy = 0; sy < ss; ++sy)
                for (int sx = 0; sx < ss; ++sx) {
                    float u = ((x + (sx + 0.5f) / ss) / 256.0f - 1.0f) * 1.25f;
                    float v = ((y + (sy + 0.5f) / ss) / 256.0f - 1.0f) * 1.25f;
                    float body = SdCircle((u - 0.04f) * 0.28f, v * 1.1f, 0.075f) / 0.4f;
                    float head = SdCircle(u - 0.33f, v + 0.01f, 0.07f);
                    float beak = SdSegment(u, v, 0.36f, 0.0f, 0.45f, 0.015f) - 0.012f;
                    float tail = std::min(SdSegment(u, v, -0.2f, 0.0f, -0.62f, -0.16f),
                                          SdSegment(u, v, -0.2f, 0.0f, -0.62f, 0.16f)) -
                                 0.035f * Smooth(-0.65f, -0.2f, u);
                    float d = std::min({body, head, beak, tail, wing(u, v, -1.0f), wing(u, v, 1.0f)});
                    acc += Cover(d, 2.5f / 256.0f);
                }
            alpha[static_cast<std::size_t>(y * 512 + x)] = acc / (ss * ss);
        }
    std::vector<float> halo = Blur(alpha, 512, 512, 10);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            float u = x / 512.0f, v = y / 512.0f;
            float a = alpha[static_cast<std::size_t>(y * 512 + x)];
            // Ice at the wing tips, warm light at the breast; slightly
            // see-through so the swirl shows in the feathers.
            float r = std::sqrt((u - 0.55f) * (u - 0.55f) + (v - 0.5f) * (v - 0.5f));
            Rgba c = Mix(kWarm, kIce, Smooth(0.05f, 0.35f, r));
            c.a = a * (0.92f - 0.25f * Smooth(0.2f, 0.45f, r));
            p.At(x, y) = c;
            p.Glow(x, y, Hex(0x80A0FF), halo[static_cast<std::size_t>(y * 512 + x)] * 0.35f);
        }
    return p;
}

Picture MakeVioletRipple() {
    // Rings spreading from the centre and from the corners (one point on the
    // torus the wrapped texture lives on), so the picture tiles without a
    // hard seam and the two ring sets interfere like ripples on water.
    Picture p(512, 512);
    Noise2 noise(606u, 4);
    const Ramp ramp{{{0.0f, Hex(0x0C0418)}, {0.4f, Hex(0x3A1466)}, {0.7f, Hex(0x8A4AD0)}, {1.0f, Hex(0xF4D8FF)}}, 4};
    auto wrap = [](float d) { return d - std::round(d); };
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            float u = x / 512.0f, v = y / 512.0f;
            float n = noise.Fbm(u * 4.0f, v * 4.0f, 4);
            float cx = wrap(u - 0.5f), cy = wrap(v - 0.5f), ex = wrap(u), ey = wrap(v);
            float r1 = std::sqrt(cx * cx + cy * cy), r2 = std::sqrt(ex * ex + ey * ey);
            float s = std::cos(kTau * 7.0f * r1 + n * 1.2f) * (1.1f - r1) +
                      std::cos(kTau * 5.0f * r2 - n) * (1.0f - r2) * 0.7f;
            float t = Clamp01(0.45f + s * 0.32f);
            p.At(x, y) = ramp.At(t * t * (3.0f - 2.0f * t));
        }
    return p;
}

}  // namespace content
