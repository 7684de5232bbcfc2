#pragma once
#include <string>

#include "pictures/picture.h"

namespace content {

// The show's glyph order as Unicode (the program reads it as Windows-1252).
std::u32string GlyphOrder();

// The font picture: every glyph of the order side by side in one band,
// white with coverage in alpha, fully transparent columns between glyphs.
Picture MakeFontSheet();

// Number of glyphs the program's column walk finds in a sheet at alpha
// threshold 1, and the side of the square texture it would pack them into.
struct SheetMeasure {
    int glyphs = 0;
    int side = 0;
};
SheetMeasure MeasureFontSheet(const Picture& sheet);

}  // namespace content
