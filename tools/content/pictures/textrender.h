#pragma once
#include <memory>
#include <string>
#include <vector>

namespace content {

// Coverage of a rendered text line: one float per pixel, 0..1.
struct TextMask {
    int width = 0, height = 0;
    int baseline = 0;  // row of the baseline
    std::vector<float> coverage;
    float At(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return 0.0f;
        return coverage[static_cast<std::size_t>(y * width + x)];
    }
};

// Text through FreeType with one of the DejaVu faces, kerned, anti-aliased.
class TextRenderer {
public:
    // face: a file name in the DejaVu folder, such as "DejaVuSans-Bold.ttf".
    TextRenderer(const std::string& face, int pixelSize);
    ~TextRenderer();
    TextRenderer(const TextRenderer&) = delete;
    TextRenderer& operator=(const TextRenderer&) = delete;

    // One line of text, characters as Unicode code points; the mask is as
    // tall as the face's ascent plus descent, as wide as the inked advance.
    TextMask Render(const std::u32string& text, float tracking = 0.0f) const;
    // One glyph cropped to its ink, in a band of the face's full height.
    TextMask Glyph(char32_t c) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace content
