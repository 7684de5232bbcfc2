#include "pictures/textrender.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace content {

struct TextRenderer::Impl {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    int ascent = 0, descent = 0;
};

TextRenderer::TextRenderer(const std::string& face, int pixelSize) : impl_(std::make_unique<Impl>()) {
    if (FT_Init_FreeType(&impl_->library)) throw std::runtime_error("FreeType failed to start");
    std::string path = std::string(HALCYON2_DEJAVU_DIR) + "/" + face;
    if (FT_New_Face(impl_->library, path.c_str(), 0, &impl_->face)) {
        FT_Done_FreeType(impl_->library);
        throw std::runtime_error("cannot open font " + path);
    }
    FT_Set_Pixel_Sizes(impl_->face, 0, static_cast<FT_UInt>(pixelSize));
    impl_->ascent = static_cast<int>(impl_->face->size->metrics.ascender >> 6);
    impl_->descent = static_cast<int>(-(impl_->face->size->metrics.descender >> 6));
}

TextRenderer::~TextRenderer() {
    FT_Done_Face(impl_->face);
    FT_Done_FreeType(impl_->library);
}

TextMask TextRenderer::Render(const std::u32string& text, float tracking) const {
    FT_Face face = impl_->face;
    // First pass: pen positions, so the mask can be sized exactly.
    struct Placed {
        FT_UInt index;
        float x;
    };
    std::vector<Placed> placed;
    float pen = 0.0f;
    FT_UInt previous = 0;
    int minX = 1 << 30, maxX = -(1 << 30);
    for (char32_t c : text) {
        FT_UInt index = FT_Get_Char_Index(face, c);
        if (previous && index) {
            FT_Vector k;
            FT_Get_Kerning(face, previous, index, FT_KERNING_DEFAULT, &k);
            pen += static_cast<float>(k.x) / 64.0f;
        }
        FT_Load_Glyph(face, index, FT_LOAD_DEFAULT);
        placed.push_back({index, pen});
        FT_Glyph_Metrics& gm = face->glyph->metrics;
        if (gm.width > 0) {
            minX = std::min(minX, static_cast<int>(std::floor(pen + static_cast<float>(gm.horiBearingX) / 64.0f)));
            maxX = std::max(maxX,
                            static_cast<int>(std::ceil(pen + static_cast<float>(gm.horiBearingX + gm.width) / 64.0f)));
        }
        pen += static_cast<float>(face->glyph->advance.x) / 64.0f + tracking;
        previous = index;
    }
    TextMask mask;
    if (minX > maxX) return mask;
    mask.width = maxX - minX + 2;
    mask.height = impl_->ascent + impl_->descent + 2;
    mask.baseline = impl_->ascent + 1;
    mask.coverage.assign(static_cast<std::size_t>(mask.width * mask.height), 0.0f);
    for (const Placed& p : placed) {
        FT_Load_Glyph(face, p.index, FT_LOAD_DEFAULT);
        FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL);
        FT_Bitmap& bm = face->glyph->bitmap;
        int ox = static_cast<int>(std::lround(p.x)) - minX + face->glyph->bitmap_left;
        int oy = mask.baseline - face->glyph->bitmap_top;
        for (unsigned y = 0; y < bm.rows; ++y)
            for (unsigned x = 0; x < bm.width; ++x) {
                int tx = ox + static_cast<int>(x), ty = oy + static_cast<int>(y);
                if (tx < 0 || ty < 0 || tx >= mask.width || ty >= mask.height) continue;
                float v = bm.buffer[static_cast<int>(y) * bm.pitch + static_cast<int>(x)] / 255.0f;
                float& d = mask.coverage[static_cast<std::size_t>(ty * mask.width + tx)];
                d = std::max(d, v);
            }
    }
    return mask;
}

TextMask TextRenderer::Glyph(char32_t c) const {
    TextMask line = Render(std::u32string(1, c));
    return line;
}

}  // namespace content
