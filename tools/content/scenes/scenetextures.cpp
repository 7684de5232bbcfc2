#include "scenes/scenetextures.h"

#include <cmath>

#include "pictures/procedural.h"

namespace content {

Picture MetalTexture(unsigned seed, unsigned tint, bool rivets) {
    Picture p(256, 256);
    Noise2 noise(seed, 4);
    Rgba base = Hex(tint);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float u = x / 256.0f, v = y / 256.0f;
            // Brushing: noise stretched along x; plates: darker seams.
            float brush = noise.Fbm(u * 2.0f, v * 64.0f, 3) * 0.12f;
            float blot = noise.Fbm(u * 4.0f + 3.0f, v * 4.0f, 4) * 0.15f;
            float seam =
                std::min(std::fabs(std::fmod(u * 2.0f, 1.0f) - 0.5f), std::fabs(std::fmod(v * 2.0f, 1.0f) - 0.5f));
            float shade = 0.8f + brush + blot - Smooth(0.49f, 0.5f, 0.5f - seam + 0.49f) * 0.0f;
            shade -= Smooth(0.02f, 0.0f,
                            0.5f - std::max(std::fabs(std::fmod(u * 2.0f, 1.0f) - 0.5f),
                                            std::fabs(std::fmod(v * 2.0f, 1.0f) - 0.5f))) *
                     0.35f;
            if (rivets) {
                float rx = std::fmod(u * 8.0f, 1.0f) - 0.5f, ry = std::fmod(v * 2.0f, 1.0f) - 0.08f;
                float d = std::sqrt(rx * rx * 0.25f + ry * ry * 16.0f);
                if (d < 0.06f) shade += 0.3f * (1.0f - d / 0.06f) - (ry > 0 ? 0.15f : 0.0f);
            }
            p.At(x, y) = {base.r * shade, base.g * shade, base.b * shade, 1.0f};
        }
    return p;
}

Picture EnvironmentMap(unsigned sky, unsigned horizon, unsigned ground, unsigned light) {
    Picture p(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float u = (x + 0.5f) / 128.0f - 1.0f, v = (y + 0.5f) / 128.0f - 1.0f;
            float r2 = u * u + v * v;
            if (r2 > 1.0f) {
                p.At(x, y) = Hex(horizon);
                continue;
            }
            // The sphere map shows the world reflected in a ball: up at the
            // top, the horizon as a band, soft window lights as hot spots.
            float ny = -v;
            Rgba c = ny > 0.0f ? Mix(Hex(horizon), Hex(sky), Smooth(0.0f, 0.8f, ny))
                               : Mix(Hex(horizon), Hex(ground), Smooth(0.0f, -0.5f, ny));
            float w1 = std::exp(-((u - 0.45f) * (u - 0.45f) + (v + 0.45f) * (v + 0.45f)) * 40.0f);
            float w2 = std::exp(-((u + 0.5f) * (u + 0.5f) * 6.0f + (v + 0.2f) * (v + 0.2f) * 60.0f));
            Rgba l = Hex(light);
            c.r = Clamp01(c.r + l.r * (w1 + w2 * 0.6f));
            c.g = Clamp01(c.g + l.g * (w1 + w2 * 0.6f));
            c.b = Clamp01(c.b + l.b * (w1 + w2 * 0.6f));
            c.a = 1.0f;
            p.At(x, y) = c;
        }
    return p;
}

Picture GlassTexture() {
    Picture p(128, 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            float v = y / 128.0f;
            float streak = std::pow(0.5f + 0.5f * std::sin((x + y * 0.3f) * 0.15f), 8.0f);
            p.At(x, y) = {0.75f, 0.9f, 1.0f, 0.25f + 0.4f * streak + 0.2f * v};
        }
    return p;
}

Picture TileTexture() {
    Picture p(512, 512);
    Noise2 noise(77u, 8);
    const int tiles = 12;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            float u = x / 512.0f * tiles, v = y / 512.0f * tiles;
            float fu = u - std::floor(u), fv = v - std::floor(v);
            float edge = std::min(std::min(fu, 1.0f - fu), std::min(fv, 1.0f - fv));
            float seam = Smooth(0.06f, 0.0f, edge);
            float glowRim = Smooth(0.2f, 0.04f, edge) * 0.5f;
            float n = noise.Fbm(x / 64.0f, y / 64.0f, 4);
            // Each tile gets its own sheen so the light picks them out.
            float cell = 0.8f + 0.2f * std::sin(std::floor(u) * 12.9898f + std::floor(v) * 78.233f);
            float body = (0.85f + 0.15f * n) * cell;
            Rgba c = {body * 0.85f, body * 0.9f, body, 1.0f};
            c = Mix(c, Hex(0xFFFFFF), glowRim * 0.6f);
            c = Mix(c, Hex(0x202028), seam);
            p.At(x, y) = c;
        }
    return p;
}

Picture OrbTexture(unsigned colour) {
    Picture p(128, 128);
    Rgba c = Hex(colour);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            float u = (x + 0.5f) / 64.0f - 1.0f, v = (y + 0.5f) / 64.0f - 1.0f;
            float r = std::sqrt(u * u + v * v);
            float hot = std::exp(-r * r * 3.0f);
            p.At(x, y) = {Clamp01(c.r * 0.6f + hot), Clamp01(c.g * 0.6f + hot), Clamp01(c.b * 0.6f + hot), 1.0f};
        }
    return p;
}

Picture ScaleTexture() {
    Picture p(256, 256);
    Noise2 noise(88u, 4);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float u = x / 256.0f, v = y / 256.0f;
            float su = u * 24.0f, sv = v * 12.0f + (static_cast<int>(su) % 2) * 0.5f;
            float fu = su - std::floor(su), fv = sv - std::floor(sv);
            float scale = std::sqrt((fu - 0.5f) * (fu - 0.5f) + (fv - 0.2f) * (fv - 0.2f) * 0.7f);
            float rim = Smooth(0.4f, 0.5f, scale) * 0.35f;
            float belly = Smooth(0.35f, 0.8f, v);
            Rgba c = Mix(Hex(0x1A2C40), Hex(0x9AA8B4), belly);
            float n = noise.Fbm(u * 6.0f, v * 6.0f, 3) * 0.1f;
            float k = 0.85f - rim + n;
            p.At(x, y) = {c.r * k, c.g * k, c.b * k, 1.0f};
        }
    return p;
}

Picture RyeTexture() {
    Picture p(512, 512);
    Noise2 noise(99u, 8);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            float u = x / 512.0f, v = y / 512.0f;
            float n = noise.Fbm(u * 8.0f, v * 8.0f, 6);
            float grain = noise.Fbm(u * 64.0f, v * 64.0f, 2);
            // Docking holes in rows across the crust.
            float du = std::fmod(u * 14.0f, 1.0f) - 0.5f,
                  dv = std::fmod(v * 14.0f + 0.5f * std::floor(u * 14.0f), 1.0f) - 0.5f;
            float hole = Smooth(0.13f, 0.07f, std::sqrt(du * du + dv * dv));
            Rgba c = Mix(Hex(0x6A4028), Hex(0xC89060), Clamp01(0.55f + n * 0.8f));
            c = Mix(c, Hex(0xE8C8A0), Smooth(0.3f, 0.7f, grain) * 0.35f);
            c = Mix(c, Hex(0x301808), hole * 0.8f);
            c.a = 1.0f;
            p.At(x, y) = c;
        }
    return p;
}

Picture BreadLightMap() {
    Picture p(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float u = (x + 0.5f) / 128.0f - 1.0f, v = (y + 0.5f) / 128.0f - 1.0f;
            float r = std::sqrt(u * u + v * v);
            // Light from the upper left, shadow inside the hole and at the rim.
            float key = 0.75f + 0.25f * (-u * 0.6f - v * 0.8f);
            float ao = Smooth(0.15f, 0.35f, r) * Smooth(1.02f, 0.85f, r);
            float k = Clamp01(0.35f + key * ao * 0.75f);
            p.At(x, y) = {Clamp01(k * 1.08f), k, Clamp01(k * 0.9f), 1.0f};
        }
    return p;
}

Picture PetalTexture() {
    Picture p(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float u = x / 256.0f, v = y / 256.0f;
            float vein = std::pow(0.5f + 0.5f * std::cos((u - 0.5f) * 40.0f), 12.0f) * 0.25f;
            Rgba c = Mix(Hex(0xF6E8FF), Hex(0x9A4AD8), Smooth(0.1f, 0.95f, v));
            c = Mix(c, Hex(0xFFE070), Smooth(0.18f, 0.0f, v) * 0.8f);
            c.r = Clamp01(c.r - vein * 0.5f);
            c.g = Clamp01(c.g - vein * 0.5f);
            c.a = 1.0f;
            p.At(x, y) = c;
        }
    return p;
}

Picture StemTexture() {
    Picture p(128, 128);
    Noise2 noise(111u, 4);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            float n = noise.Fbm(x / 32.0f, y / 8.0f, 3);
            float k = 0.75f + 0.25f * n + 0.15f * std::sin(x / 128.0f * 6.2831853f * 6.0f);
            p.At(x, y) = {0.25f * k, 0.55f * k, 0.3f * k, 1.0f};
        }
    return p;
}

Picture MossTexture() {
    Picture p(256, 256);
    Noise2 noise(122u, 8);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float n = noise.Fbm(x / 32.0f, y / 32.0f, 5);
            Rgba c = Mix(Hex(0x1C3020), Hex(0x6A8A50), Clamp01(0.5f + n));
            c.a = 1.0f;
            p.At(x, y) = c;
        }
    return p;
}

Picture MossLightMap() {
    Picture p(128, 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            float u = (x + 0.5f) / 64.0f - 1.0f, v = (y + 0.5f) / 64.0f - 1.0f;
            float r = std::sqrt(u * u + v * v);
            // A soft pool of light under the flower.
            float k = Clamp01(0.25f + 0.95f * std::exp(-r * r * 3.0f));
            p.At(x, y) = {Clamp01(k * 1.05f), k * 0.9f, Clamp01(k * 1.1f), 1.0f};
        }
    return p;
}

float TerrainHeight(float x, float z) {
    static const Noise2 noise(1234u, 64);
    float u = x / 400.0f, v = z / 400.0f;
    float hills = noise.Fbm(u + 10.0f, v + 10.0f, 5, 0.5f) * 95.0f;
    // A lake valley along the middle, hills rising to the far side.
    float valley = -35.0f * std::exp(-std::pow((z + 60.0f + 80.0f * std::sin(x / 300.0f)) / 160.0f, 2.0f));
    float rise = 40.0f * Smooth(-100.0f, 400.0f, z);
    return hills + valley + rise + 10.0f;
}

Picture TerrainColour(int size) {
    Picture p(size, size);
    Noise2 noise(4321u, 16);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float u = (x + 0.5f) / size, v = (y + 0.5f) / size;
            float wx = (u - 0.5f) * TERRAIN_SIZE_X, wz = (0.5f - v) * TERRAIN_SIZE_Z;
            float h = TerrainHeight(wx, wz);
            float e = 4.0f;
            float dx = (TerrainHeight(wx + e, wz) - TerrainHeight(wx - e, wz)) / (2.0f * e);
            float dz = (TerrainHeight(wx, wz + e) - TerrainHeight(wx, wz - e)) / (2.0f * e);
            // Normal (-dx, 1, -dz); dawn sun low in the east (+x), a little south.
            float nx = -dx, ny = 1.0f, nz = -dz;
            float len = std::sqrt(nx * nx + ny * ny + nz * nz);
            float lambert = Clamp01((nx * 0.75f + ny * 0.45f + nz * -0.3f) / len);
            float slope = 1.0f - ny / len;
            float n = noise.Fbm(u * 16.0f, v * 16.0f, 4);
            Rgba grass = Mix(Hex(0x2E4A36), Hex(0x587A4A), Clamp01(0.5f + n));
            Rgba rock = Mix(Hex(0x5A5060), Hex(0x8A8090), Clamp01(0.5f + n));
            Rgba shore = Hex(0x8A7E6A);
            Rgba c = Mix(grass, rock, Smooth(0.25f, 0.55f, slope + n * 0.1f));
            c = Mix(c, shore, Smooth(6.0f, 0.0f, h) * Smooth(-12.0f, -2.0f, h));
            c = Mix(c, Hex(0xE8E4F0), Smooth(110.0f, 140.0f, h + n * 20.0f));
            // Warm dawn light on the sunny faces, cool violet shade elsewhere.
            Rgba lit = {c.r * (0.35f + 0.95f * lambert * 1.05f), c.g * (0.35f + 0.85f * lambert),
                        c.b * (0.42f + 0.7f * lambert), 1.0f};
            lit.r = Clamp01(lit.r + 0.08f * lambert);
            p.At(x, y) = lit;
        }
    return p;
}

Picture DetailTexture() {
    Picture p(256, 256);
    Noise2 noise(555u, 16);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float n = noise.Fbm(x / 16.0f, y / 16.0f, 4);
            float k = Clamp01(0.86f + n * 0.25f);
            p.At(x, y) = {k, k, k, 1.0f};
        }
    return p;
}

Picture WaterTexture() {
    Picture p(256, 256);
    Noise2 noise(666u, 8);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float n = noise.Fbm(x / 32.0f, y / 8.0f, 4);
            Rgba c = Mix(Hex(0x1A2A48), Hex(0x40587A), Clamp01(0.5f + n));
            c.a = 1.0f;
            p.At(x, y) = c;
        }
    return p;
}

}  // namespace content
