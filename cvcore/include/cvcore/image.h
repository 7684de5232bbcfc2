#pragma once
#include <cstdint>
#include <memory>
#include "cvcore/surface.h"

namespace cvcore {

// A Surface that owns its pixels (pitch = width x bytes per pixel). Decoders
// deliver their result through SetPixels.
class Image : public Surface {
public:
    Image();  // empty: size 0, format all zero, no pixels
    // Allocates zeroed pixels; a size that is not positive or whose byte size
    // overflows leaves the image empty (with the format set).
    Image(int32_t width, int32_t height, const PixelFormat& format);
    // Empty, then Load(fileName).
    explicit Image(const char* fileName);
    Image(const Image& other);
    Image& operator=(const Image& other);
    // Takes the other image's pixels; the other image becomes empty.
    Image(Image&& other) noexcept;
    Image& operator=(Image&& other) noexcept;
    ~Image() override;

    // Decodes fileName through the codec its extension selects. An unknown
    // extension or a codec that cannot read leaves the image unchanged; a
    // missing file throws from FileStream; a decoder's refusal is ignored.
    void Load(const char* fileName);

    // Replaces size, format and pixels; takes ownership of buffer, which must
    // hold height x width x bytes-per-pixel bytes.
    void SetPixels(int32_t width, int32_t height, const PixelFormat& format, std::unique_ptr<uint8_t[]> buffer);

    // Byte size of a width x height picture in format, or -1 when the size is
    // not positive or does not fit a signed 32-bit count. Decoders check
    // every header through it before allocating.
    static int64_t ByteSize(int32_t width, int32_t height, int32_t bytesPerPixel);

private:
    std::unique_ptr<uint8_t[]> buffer_;
};

}  // namespace cvcore
