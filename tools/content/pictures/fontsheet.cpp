#include "pictures/fontsheet.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "pictures/textrender.h"

namespace content {

std::u32string GlyphOrder() {
    return U"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!'#@$"
           U"\u00F4%&/()=+'-\u00C5\u00C4\u00D6\u00E5\u00E4\u00F6^*,.;:<>|\u00CF";
}

Picture MakeFontSheet() {
    const int gap = 3;
    TextRenderer text("DejaVuSans-Bold.ttf", 21);
    struct Column {
        std::vector<float> alpha;
    };
    std::vector<std::vector<Column>> glyphs;
    int height = 0;
    for (char32_t c : GlyphOrder()) {
        TextMask m = text.Glyph(c);
        height = std::max(height, m.height);
        std::vector<Column> cols;
        for (int x = 0; x < m.width; ++x) {
            Column col;
            float peak = 0.0f;
            for (int y = 0; y < m.height; ++y) {
                float v = m.At(x, y);
                v = v < 0.03f ? 0.0f : v;
                col.alpha.push_back(v);
                peak = std::max(peak, v);
            }
            if (peak > 0.0f || !cols.empty()) cols.push_back(col);
        }
        while (!cols.empty() && *std::max_element(cols.back().alpha.begin(), cols.back().alpha.end()) == 0.0f)
            cols.pop_back();
        glyphs.push_back(cols);
    }
    int width = gap;
    for (const auto& g : glyphs) width += static_cast<int>(g.size()) + gap;
    Picture sheet(width, height);
    int x = gap;
    for (const auto& g : glyphs) {
        for (const Column& col : g) {
            bool empty = *std::max_element(col.alpha.begin(), col.alpha.end()) < 0.02f;
            for (int y = 0; y < static_cast<int>(col.alpha.size()); ++y)
                sheet.At(x, y) = {1.0f, 1.0f, 1.0f, col.alpha[static_cast<std::size_t>(y)]};
            // A glyph made of separate strokes (the dots of Ï) must still
            // read as one run of columns: an all but invisible pixel joins them.
            if (empty) sheet.At(x, height / 2) = {1.0f, 1.0f, 1.0f, 4.0f / 255.0f};
            ++x;
        }
        x += gap;
    }
    return sheet;
}

SheetMeasure MeasureFontSheet(const Picture& sheet) {
    std::vector<std::uint32_t> px = sheet.Argb();
    const int t = 1;
    auto alpha = [&](int x, int y) {
        return static_cast<int>(px[static_cast<std::size_t>(y * sheet.Width() + x)] >> 24);
    };
    int top = sheet.Height(), bottom = 0;
    for (int x = 0; x < sheet.Width(); ++x)
        for (int y = 0; y < sheet.Height(); ++y)
            if (alpha(x, y) > t) {
                top = std::min(top, y);
                bottom = std::max(bottom, y + 1);
            }
    int h = bottom - top;
    SheetMeasure m;
    long area = 0;
    bool inside = false;
    const int wanted = static_cast<int>(GlyphOrder().size());
    for (int x = 0; x < sheet.Width() && m.glyphs < wanted; ++x) {
        int peak = 0;
        for (int y = top; y < bottom; ++y) peak = std::max(peak, alpha(x, y));
        if (!inside && peak <= t) continue;
        inside = true;
        area += h + 1;
        if (peak < t) {
            inside = false;
            ++m.glyphs;
        }
    }
    int side = static_cast<int>(std::sqrt(static_cast<double>(area) * 1.21));
    m.side = side <= 15 ? 16 : 32;
    while (m.side <= side) m.side *= 2;
    return m;
}

}  // namespace content
