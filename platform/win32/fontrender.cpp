#include "fontrender.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

namespace win32 {
namespace {

// Windows-1252 bytes 0x80..0x9F that differ from Latin-1.
constexpr uint16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint32_t ToUnicode(unsigned char c) { return (c >= 0x80 && c < 0xA0) ? kCp1252High[c - 0x80] : c; }

struct Glyph {
    int left = 0, top = 0, width = 0, rows = 0, advance = 0;
    std::vector<uint8_t> coverage;
};

// FreeType library, the two faces and a glyph cache; loaded on first use and
// kept for the process, like the system's own font cache.
class FontCache {
public:
    static FontCache& Get() {
        static FontCache cache;
        return cache;
    }
    ~FontCache() {
        if (faces_[1] && faces_[1] != faces_[0]) FT_Done_Face(faces_[1]);
        if (faces_[0]) FT_Done_Face(faces_[0]);
        if (library_) FT_Done_FreeType(library_);
    }

    FT_Face Face(const FontSpec& style) {
        FT_Face face = faces_[style.bold ? 1 : 0];
        if (face) FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(style.pixelSize));
        return face;
    }

    const Glyph& GlyphFor(const FontSpec& style, uint32_t code) {
        auto key = std::make_tuple(style.bold, style.pixelSize, code);
        auto it = glyphs_.find(key);
        if (it != glyphs_.end()) return it->second;
        Glyph& glyph = glyphs_[key];
        FT_Face face = Face(style);
        if (face && FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) == 0) {
            const FT_Bitmap& bm = face->glyph->bitmap;
            glyph.left = face->glyph->bitmap_left;
            glyph.top = face->glyph->bitmap_top;
            glyph.width = static_cast<int>(bm.width);
            glyph.rows = static_cast<int>(bm.rows);
            glyph.advance = static_cast<int>((face->glyph->advance.x + 32) >> 6);
            glyph.coverage.resize(static_cast<size_t>(glyph.width) * glyph.rows);
            for (int y = 0; y < glyph.rows; ++y)
                for (int x = 0; x < glyph.width; ++x)
                    glyph.coverage[static_cast<size_t>(y) * glyph.width + x] = bm.buffer[y * bm.pitch + x];
        }
        return glyph;
    }

    std::mutex mutex;

private:
    FontCache() {
        if (FT_Init_FreeType(&library_) != 0) return;
        const std::string dir = HALCYON2_DEJAVU_DIR;
        const char* names[2] = {"/DejaVuSans.ttf", "/DejaVuSans-Bold.ttf"};
        for (int i = 0; i < 2; ++i)
            if (FT_New_Face(library_, (dir + names[i]).c_str(), 0, &faces_[i]) != 0)
                faces_[i] = faces_[0];  // a missing bold face falls back to the regular one
    }

    FT_Library library_ = nullptr;
    FT_Face faces_[2] = {nullptr, nullptr};
    std::map<std::tuple<bool, int, uint32_t>, Glyph> glyphs_;
};

}  // namespace

FontMetrics MeasureFont(const FontSpec& style) {
    FontCache& cache = FontCache::Get();
    std::lock_guard<std::mutex> lock(cache.mutex);
    FontMetrics m;
    FT_Face face = cache.Face(style);
    if (!face) {
        m.ascent = style.pixelSize;
        m.descent = style.pixelSize / 4;
    } else {
        m.ascent = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
        m.descent = static_cast<int>((-face->size->metrics.descender + 63) >> 6);
    }
    m.height = m.ascent + m.descent;
    // Average over the alphabet, rounded as dialog base units are.
    int total = 0;
    for (char c = 'A'; c <= 'Z'; ++c) total += cache.GlyphFor(style, static_cast<uint32_t>(c)).advance;
    for (char c = 'a'; c <= 'z'; ++c) total += cache.GlyphFor(style, static_cast<uint32_t>(c)).advance;
    m.averageWidth = face ? (total / 26 + 1) / 2 : style.pixelSize / 2;
    return m;
}

int MeasureText(const FontSpec& style, std::string_view text) {
    FontCache& cache = FontCache::Get();
    std::lock_guard<std::mutex> lock(cache.mutex);
    int width = 0;
    for (char c : text) width += cache.GlyphFor(style, ToUnicode(static_cast<unsigned char>(c))).advance;
    return width;
}

bool DrawText(const PixelTarget& t, const FontSpec& style, int x, int y, std::string_view text, uint32_t color) {
    const FontMetrics metrics = MeasureFont(style);
    FontCache& cache = FontCache::Get();
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (!cache.Face(style)) return false;
    const int baseline = y + metrics.ascent;
    const int cr = (color >> 16) & 0xFF, cg = (color >> 8) & 0xFF, cb = color & 0xFF;
    const int left = std::max(t.clipLeft, 0), top = std::max(t.clipTop, 0);
    const int right = std::min(t.clipRight, t.width), bottom = std::min(t.clipBottom, t.height);
    int penX = x;
    for (char c : text) {
        const Glyph& g = cache.GlyphFor(style, ToUnicode(static_cast<unsigned char>(c)));
        for (int gy = 0; gy < g.rows; ++gy) {
            const int py = baseline - g.top + gy;
            if (py < top || py >= bottom) continue;
            for (int gx = 0; gx < g.width; ++gx) {
                const int px = penX + g.left + gx;
                const int a = g.coverage[static_cast<size_t>(gy) * g.width + gx];
                if (px < left || px >= right || a == 0) continue;
                uint32_t& d = t.pixels[static_cast<size_t>(py) * t.pitch + px];
                const int dr = (d >> 16) & 0xFF, dg = (d >> 8) & 0xFF, db = d & 0xFF;
                const int r = dr + (cr - dr) * a / 255, gg = dg + (cg - dg) * a / 255, b = db + (cb - db) * a / 255;
                d = static_cast<uint32_t>((r << 16) | (gg << 8) | b);
            }
        }
        penX += g.advance;
    }
    return true;
}

}  // namespace win32
