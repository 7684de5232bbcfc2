#include "cvcore/image.h"

#include <cstring>

namespace cvcore {

int64_t Image::ByteSize(int32_t width, int32_t height, int32_t bytesPerPixel) {
    if (width <= 0 || height <= 0 || bytesPerPixel <= 0) return -1;
    const int64_t size = int64_t{width} * height * bytesPerPixel;
    if (size > INT32_MAX) return -1;
    return size;
}

Image::Image() = default;

Image::Image(int32_t width, int32_t height, const PixelFormat& format) {
    format_ = format;
    const int64_t size = ByteSize(width, height, format.BytesPerPixel());
    if (size < 0) return;
    // Zeroed so that whatever a decoder leaves unwritten reads as black.
    buffer_.reset(new uint8_t[static_cast<size_t>(size)]());
    width_ = width;
    height_ = height;
    pitch_ = width * format.BytesPerPixel();
    pixels_ = buffer_.get();
}

Image::Image(const Image& other) : Surface() {
    Object::operator=(other);
    *this = other;
}

// Assignment takes the picture, not the name.
Image& Image::operator=(const Image& other) {
    if (this == &other) return *this;
    if (!other.pixels_) {
        buffer_.reset();
        pixels_ = nullptr;
    } else {
        if (!buffer_ || pitch_ != other.pitch_ || height_ != other.height_) {
            buffer_.reset(new uint8_t[static_cast<size_t>(other.pitch_) * static_cast<size_t>(other.height_)]);
        }
        pixels_ = buffer_.get();
        std::memcpy(pixels_, other.pixels_, static_cast<size_t>(other.pitch_) * static_cast<size_t>(other.height_));
    }
    width_ = other.width_;
    height_ = other.height_;
    pitch_ = other.pitch_;
    format_ = other.format_;
    return *this;
}

Image::Image(Image&& other) noexcept : Surface() {
    Object::operator=(other);
    *this = std::move(other);
}

Image& Image::operator=(Image&& other) noexcept {
    if (this == &other) return *this;
    buffer_ = std::move(other.buffer_);
    pixels_ = other.pixels_;
    width_ = other.width_;
    height_ = other.height_;
    pitch_ = other.pitch_;
    format_ = std::move(other.format_);
    other.pixels_ = nullptr;
    other.width_ = other.height_ = other.pitch_ = 0;
    other.format_ = PixelFormat();
    return *this;
}

Image::~Image() = default;

void Image::SetPixels(int32_t width, int32_t height, const PixelFormat& format, std::unique_ptr<uint8_t[]> buffer) {
    buffer_ = std::move(buffer);
    pixels_ = buffer_.get();
    width_ = width;
    height_ = height;
    format_ = format;
    pitch_ = width * format.BytesPerPixel();
}

}  // namespace cvcore
