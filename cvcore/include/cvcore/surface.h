#pragma once
#include <cstdint>
#include "cvcore/object.h"
#include "cvcore/pixelformat.h"

namespace cvcore {

// Fill flags.
enum : uint32_t { FILL_COLOR = 1, FILL_ALPHA = 2 };
// Blit modes: copy the overlap, scale with nearest sampling, scale with
// bilinear filtering (same formats only; converting blits scale nearest).
enum : int32_t { BLIT_COPY = 0, BLIT_SCALE = 1, BLIT_FILTER = 2 };

// A view of pixel memory owned elsewhere (a locked texture level, an
// image's buffer) together with its format. Rows run top to bottom, pitch
// bytes apart. Only the format's palette copy belongs to the surface.
class Surface : public Object {
public:
    Surface(int32_t width, int32_t height, int32_t pitch, const PixelFormat& format, void* pixels);
    ~Surface() override;
    Surface(const Surface&) = default;
    Surface& operator=(const Surface&) = default;

    int32_t GetWidth() const { return width_; }
    int32_t GetHeight() const { return height_; }
    int32_t GetPitch() const { return pitch_; }
    const PixelFormat& GetFormat() const { return format_; }
    // Mutable so a caller can update the palette of an indexed surface.
    PixelFormat& GetFormat() { return format_; }
    uint8_t* GetPixels() const { return pixels_; }

    // Every pixel becomes colour (A8R8G8B8, mapped to this format) in the
    // channels flags selects; the other channels keep their bits.
    void Fill(uint32_t colour, uint32_t flags);
    // Copies source into this surface, converting the format and, for modes
    // 1 and 2, resizing. False when no conversion exists between the two
    // formats (nothing is drawn); empty surfaces are ignored (true).
    bool Blit(const Surface& source, int32_t mode);

protected:
    Surface();  // empty: for Image

    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t pitch_ = 0;
    PixelFormat format_;
    uint8_t* pixels_ = nullptr;
};

}  // namespace cvcore
