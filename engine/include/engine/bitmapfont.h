#pragma once
#include <cstdint>
#include <d3d8.h>
#include "engine/vector2.h"

namespace cvcore {
class Image;
}

class Device3D;

// Draws text in screen pixels from a font picture: one band of glyphs side
// by side in a known order, separated by transparent columns.
class BitmapFont {
public:
    struct Glyph {
        float left = 0.0f, top = 0.0f, right = 0.0f, bottom = 0.0f;  // packed texture rectangle
        int32_t width = 0;                                           // pixels; 0: the character has no glyph
    };
    static constexpr int TEXT_BUFFER = 256;  // formatted texts are cut at 255 characters

    BitmapFont() = default;
    ~BitmapFont();
    BitmapFont(const BitmapFont&) = delete;
    BitmapFont& operator=(const BitmapFont&) = delete;

    // Reads the picture through the image codecs and builds the font. A font
    // that cannot be built keeps no texture and draws nothing visible.
    void Load(Device3D* device, const char* fileName, const char* glyphOrder, int32_t spaceWidth, int32_t spacing);
    // Builds the font from a picture already in memory (32-bit ARGB only);
    // false when no font could be made.
    bool Build(Device3D* device, const cvcore::Image& image, const char* glyphOrder, int32_t spaceWidth,
               int32_t spacing);

    // Formats like printf and draws one pre-transformed quad per character
    // from the top-left corner (x, y). False when the font has no device.
    bool Print(float x, float y, Vector2 scale, const char* format, ...) __attribute__((format(printf, 5, 6)));

    const Glyph& GetGlyph(unsigned char c) const { return glyphs_[c]; }
    int32_t GetSpaceWidth() const { return spaceWidth_; }
    int32_t GetSpacing() const { return spacing_; }
    int32_t GetLineHeight() const { return lineHeight_; }
    IDirect3DTexture8* GetTexture() const { return texture_; }

private:
    class Picture;  // alpha access to the 32-bit font picture
    void ReleaseTexture();
    // Glyph widths and the band at threshold t; true when every glyph of
    // the order was found. area: the pixels the glyphs need when packed.
    bool Measure(Picture& picture, int t, const char* order, int length, long& area);
    // Copies the glyphs into the square picture and sets their rectangles;
    // false when a glyph does not fit.
    bool Pack(const Picture& picture, int t, const char* order, int length, cvcore::Image& packed);

    Glyph glyphs_[256];
    int32_t spaceWidth_ = 0;
    int32_t spacing_ = 0;
    int32_t lineHeight_ = 0;
    Device3D* device_ = nullptr;
    IDirect3DTexture8* texture_ = nullptr;  // owned
};
