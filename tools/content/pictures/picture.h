#pragma once
#include <cstdint>
#include <vector>

namespace content {

struct Rgba {
    float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
};

inline Rgba Mix(const Rgba& x, const Rgba& y, float t) {
    return {x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t, x.a + (y.a - x.a) * t};
}

// A picture being painted: straight (not premultiplied) colour in floats,
// quantised with ordered dithering only when it is encoded, so soft glows
// do not band.
class Picture {
public:
    Picture(int width, int height)
        : width_(width), height_(height), pixels_(static_cast<std::size_t>(width * height)) {}
    int Width() const { return width_; }
    int Height() const { return height_; }
    Rgba& At(int x, int y) { return pixels_[static_cast<std::size_t>(y * width_ + x)]; }
    const Rgba& At(int x, int y) const { return pixels_[static_cast<std::size_t>(y * width_ + x)]; }
    // Premultiplied "over" of a colour with coverage alpha.
    void Over(int x, int y, const Rgba& c);
    // Adds light: colour times amount, alpha grows towards 1.
    void Glow(int x, int y, const Rgba& c, float amount);

    // A8R8G8B8 pixels, rows top to bottom.
    std::vector<std::uint32_t> Argb() const;
    // 32-bit TGA with alpha, or 24-bit without.
    std::vector<std::uint8_t> Tga(bool alpha) const;
    std::vector<std::uint8_t> Jpeg(int quality) const;

private:
    int width_, height_;
    std::vector<Rgba> pixels_;
};

}  // namespace content
