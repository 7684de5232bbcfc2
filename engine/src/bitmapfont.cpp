#include "engine/bitmapfont.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include "cvcore/image.h"
#include "cvcore/pixelformat.h"
#include "engine/device3d.h"

namespace {

constexpr DWORD kFontFvf = D3DFVF_XYZRHW | D3DFVF_TEX1;

struct FontVertex {
    float x, y, z, rhw, u, v;
};
static_assert(sizeof(FontVertex) == 24);

bool IsArgb32(const cvcore::PixelFormat& format) {
    return !format.IsIndexed() && format.Bits() == 32 && format.RedMask() == 0xFF0000u &&
           format.GreenMask() == 0xFF00u && format.BlueMask() == 0xFFu && format.AlphaMask() == 0xFF000000u;
}

}  // namespace

// Alpha access and the glyph band of a 32-bit ARGB picture.
class BitmapFont::Picture {
public:
    explicit Picture(const cvcore::Image& image)
        : pixels_(image.GetPixels()), width_(image.GetWidth()), height_(image.GetHeight()), pitch_(image.GetPitch()) {}

    int Width() const { return width_; }
    uint32_t Pixel(int x, int y) const {
        uint32_t p;
        std::memcpy(&p, pixels_ + static_cast<ptrdiff_t>(y) * pitch_ + 4 * x, 4);
        return p;
    }
    int Alpha(int x, int y) const { return static_cast<int>(Pixel(x, y) >> 24); }

    // Rows from the first to one past the last holding alpha above t, over
    // all columns; an empty band when no pixel passes.
    void FindBand(int t) {
        top_ = height_;
        bottom_ = 0;
        for (int x = 0; x < width_; ++x) {
            for (int y = 0; y < height_; ++y) {
                if (Alpha(x, y) > t) {
                    top_ = std::min(top_, y);
                    break;
                }
            }
            for (int y = height_ - 1; y >= 0; --y) {
                if (Alpha(x, y) > t) {
                    bottom_ = std::max(bottom_, y + 1);
                    break;
                }
            }
        }
        if (bottom_ <= top_) {
            top_ = bottom_ = 0;
        }
    }
    int Top() const { return top_; }
    int BandHeight() const { return bottom_ - top_; }
    int ColumnMax(int x) const {
        int m = 0;
        for (int y = top_; y < bottom_; ++y) {
            m = std::max(m, Alpha(x, y));
        }
        return m;
    }

private:
    const uint8_t* pixels_;
    int width_;
    int height_;
    int pitch_;
    int top_ = 0;
    int bottom_ = 0;
};

BitmapFont::~BitmapFont() { ReleaseTexture(); }

void BitmapFont::ReleaseTexture() {
    if (texture_ != nullptr) {
        texture_->Release();
        texture_ = nullptr;
    }
}

void BitmapFont::Load(Device3D* device, const char* fileName, const char* glyphOrder, int32_t spaceWidth,
                      int32_t spacing) {
    device_ = device;
    ReleaseTexture();
    cvcore::Image image(fileName);
    Build(device, image, glyphOrder, spaceWidth, spacing);
}

bool BitmapFont::Build(Device3D* device, const cvcore::Image& image, const char* order, int32_t spaceWidth,
                       int32_t spacing) {
    device_ = device;
    ReleaseTexture();
    // A font that cannot be built must not keep glyphs of an earlier one
    // pointing into a texture it no longer has.
    std::fill(std::begin(glyphs_), std::end(glyphs_), Glyph{});
    if (order == nullptr || image.GetPixels() == nullptr || !IsArgb32(image.GetFormat())) {
        return false;
    }
    spaceWidth_ = spaceWidth;
    spacing_ = spacing;
    lineHeight_ = image.GetHeight();

    Picture picture(image);
    const auto length = static_cast<int>(std::strlen(order));
    int threshold = 0;
    long area = 0;
    for (int t = 1; t <= 254 && threshold == 0; ++t) {
        std::fill(std::begin(glyphs_), std::end(glyphs_), Glyph{});
        if (Measure(picture, t, order, length, area)) {
            threshold = t;
        }
    }
    if (threshold == 0) {
        std::fill(std::begin(glyphs_), std::end(glyphs_), Glyph{});
        return false;
    }
    const int fit = static_cast<int>(std::sqrt(static_cast<double>(area) * 1.21));
    int side = 16;
    if (fit > 15) {
        side = 32;
        while (side <= fit) {
            side *= 2;
        }
        if (side > 512 || fit >= 512) {
            std::fill(std::begin(glyphs_), std::end(glyphs_), Glyph{});
            return false;
        }
    }
    cvcore::Image packed(side, side, image.GetFormat());
    if (packed.GetPixels() == nullptr || !Pack(picture, threshold, order, length, packed)) {
        std::fill(std::begin(glyphs_), std::end(glyphs_), Glyph{});
        return false;
    }
    if (device_ == nullptr) {
        return false;
    }
    texture_ = device_->textureFactory.CreateTextureFromImage(packed, 0);
    glyphs_[static_cast<unsigned char>(' ')].width = spaceWidth;
    return true;
}

bool BitmapFont::Measure(Picture& picture, int t, const char* order, int length, long& area) {
    picture.FindBand(t);
    const int h = picture.BandHeight();
    lineHeight_ = h + 1;
    area = 0;
    int g = 0;
    bool inside = false;
    for (int x = 0; x < picture.Width() && g < length; ++x) {
        const int m = picture.ColumnMax(x);
        if (!inside) {
            if (m <= t) {
                continue;
            }
            inside = true;
        }
        // Every column of a glyph counts, also the one that ends it.
        glyphs_[static_cast<unsigned char>(order[g])].width += 1;
        area += h + 1;
        if (m < t) {
            inside = false;
            ++g;
        }
    }
    return g == length;
}

bool BitmapFont::Pack(const Picture& picture, int t, const char* order, int length, cvcore::Image& packed) {
    const int side = packed.GetWidth();
    const int h = picture.BandHeight();
    const float scale = 1.0f / static_cast<float>(side);
    uint8_t* out = packed.GetPixels();
    const int pitch = packed.GetPitch();
    int x = 0;
    int y = 0;
    int start = 0;
    int g = 0;
    bool inside = false;
    for (int column = 0; column < picture.Width() && g < length; ++column) {
        const int m = picture.ColumnMax(column);
        Glyph& glyph = glyphs_[static_cast<unsigned char>(order[g])];
        if (!inside) {
            if (m <= t) {
                continue;
            }
            inside = true;
            if (x + glyph.width + 1 < side) {
                x += 1;  // one empty column before the glyph
            } else {
                y += h + 1;
                x = 0;
            }
            start = x;
        }
        if (m < t) {
            glyph.left = static_cast<float>(start) * scale;
            glyph.top = static_cast<float>(y) * scale;
            glyph.right = static_cast<float>(x) * scale;
            glyph.bottom = static_cast<float>(y + h + 1) * scale;
            inside = false;
            ++g;
            continue;
        }
        if (x >= side || y + h > side) {
            return false;
        }
        for (int row = 0; row < h; ++row) {
            const uint32_t pixel = picture.Pixel(column, picture.Top() + row);
            if (static_cast<int>(pixel >> 24) > t / 2) {
                std::memcpy(out + static_cast<ptrdiff_t>(y + row) * pitch + 4 * x, &pixel, 4);
            }
        }
        x += 1;
    }
    return true;
}

bool BitmapFont::Print(float x, float y, Vector2 scale, const char* format, ...) {
    if (device_ == nullptr) {
        return false;
    }
    IDirect3DDevice8* d = device_->GetDevice();
    if (d == nullptr || format == nullptr) {
        return true;
    }
    d->SetVertexShader(kFontFvf);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
    d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    d->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, 0);
    d->SetTexture(0, texture_);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);

    // Longer texts are cut at TEXT_BUFFER - 1 characters.
    char text[TEXT_BUFFER];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);

    float penX = x;
    float penY = y;
    const float lineStep = static_cast<float>(lineHeight_) * scale.v;
    for (const char* c = text; *c != '\0'; ++c) {
        const auto code = static_cast<unsigned char>(*c);
        if (code == ' ') {
            penX += static_cast<float>(spaceWidth_) * scale.u;
            continue;
        }
        if (code == '\n') {
            penX = x;
            penY += lineStep;
            continue;
        }
        const Glyph& glyph = glyphs_[code];
        if (glyph.width == 0) {
            continue;
        }
        const float right = penX + static_cast<float>(glyph.width) * scale.u;
        const float bottom = penY + lineStep;
        const FontVertex quad[4] = {{penX, penY, 0.0f, 1.0f, glyph.left, glyph.top},
                                    {right, penY, 0.0f, 1.0f, glyph.right, glyph.top},
                                    {right, bottom, 0.0f, 1.0f, glyph.right, glyph.bottom},
                                    {penX, bottom, 0.0f, 1.0f, glyph.left, glyph.bottom}};
        d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(FontVertex));
        penX += static_cast<float>(spacing_ + glyph.width) * scale.u;
    }
    return true;
}
