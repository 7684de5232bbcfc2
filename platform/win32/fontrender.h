#pragma once
// Text through FreeType with DejaVu Sans: the faces behind every GDI font and
// dialog font of the stand-in. Text is Windows-1252 bytes.
#include <cstdint>
#include <string_view>

namespace win32 {

struct FontSpec {
    int pixelSize = 11;  // em size in pixels
    bool bold = false;
};

struct FontMetrics {
    int ascent = 0;   // pixels above the baseline
    int descent = 0;  // pixels below it
    int height = 0;   // ascent + descent: one text line
    int averageWidth = 0;
};

// A pixel target: 0x00RRGGBB, clipped to clip (inclusive-exclusive).
struct PixelTarget {
    uint32_t* pixels;
    int width, height, pitch;  // pitch in pixels
    int clipLeft, clipTop, clipRight, clipBottom;
};

FontMetrics MeasureFont(const FontSpec& font);
int MeasureText(const FontSpec& font, std::string_view text);
// Draws text with its cell's top-left corner at (x, y); colour 0x00RRGGBB.
// Returns false when no font file could be loaded (nothing is drawn).
bool DrawText(const PixelTarget& target, const FontSpec& font, int x, int y, std::string_view text, uint32_t color);

}  // namespace win32
