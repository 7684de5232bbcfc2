#include "decodeutil.h"

#include <cstring>

#include "cvcore/stream.h"

namespace cvcore::decode {

std::vector<uint8_t> ReadAll(Stream& stream) {
    stream.Seek(0, SEEK_FROM_START);
    const int32_t size = stream.Size();
    std::vector<uint8_t> data(size > 0 ? static_cast<size_t>(size) : 0);
    const int32_t got = data.empty() ? 0 : stream.Read(data.data(), size);
    data.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return data;
}

int64_t PixelBytes(int64_t width, int64_t height, int64_t bytesPerPixel) {
    if (width <= 0 || height <= 0 || bytesPerPixel <= 0) return -1;
    if (width > kMaxPixelBytes || height > kMaxPixelBytes) return -1;
    const int64_t bytes = width * height * bytesPerPixel;
    return bytes > kMaxPixelBytes ? -1 : bytes;
}

uint64_t BlocksNeeded(int64_t width, int64_t height, int64_t blockWidth, int64_t blockHeight) {
    const auto whole = static_cast<uint64_t>((width / blockWidth) * (height / blockHeight));
    if (whole > 0) return whole;
    return static_cast<uint64_t>(((width + blockWidth - 1) / blockWidth) * ((height + blockHeight - 1) / blockHeight));
}

std::unique_ptr<uint8_t[]> AllocatePixels(int64_t bytes) {
    return std::unique_ptr<uint8_t[]>(new uint8_t[static_cast<size_t>(bytes)]());
}

bool Cursor::Take(size_t n) {
    if (n > size_ - position_) {
        ok_ = false;
        position_ = size_;
        return false;
    }
    return true;
}

uint8_t Cursor::U8() {
    if (!Take(1)) return 0;
    return data_[position_++];
}

uint16_t Cursor::U16() {
    if (!Take(2)) return 0;
    const uint16_t v = static_cast<uint16_t>(data_[position_] | data_[position_ + 1] << 8);
    position_ += 2;
    return v;
}

uint32_t Cursor::U32() {
    const uint32_t low = U16();
    return low | uint32_t{U16()} << 16;
}

uint16_t Cursor::U16BE() {
    if (!Take(2)) return 0;
    const uint16_t v = static_cast<uint16_t>(data_[position_] << 8 | data_[position_ + 1]);
    position_ += 2;
    return v;
}

uint32_t Cursor::U32BE() {
    const uint32_t high = U16BE();
    return high << 16 | U16BE();
}

bool Cursor::Bytes(void* out, size_t n) {
    if (!Take(n)) return false;
    if (n) std::memcpy(out, data_ + position_, n);
    position_ += n;
    return true;
}

bool Cursor::Skip(size_t n) {
    if (!Take(n)) return false;
    position_ += n;
    return true;
}

bool Cursor::Seek(size_t position) {
    if (position > size_) {
        ok_ = false;
        position_ = size_;
        return false;
    }
    position_ = position;
    return true;
}

}  // namespace cvcore::decode
