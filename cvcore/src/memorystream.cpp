#include "cvcore/memorystream.h"

#include <algorithm>
#include <cstring>

namespace cvcore {

MemoryStream::MemoryStream(int32_t capacity)
    : size_(std::max(capacity, 0)),
      capacity_(std::max(capacity, 0)),
      buffer_(new uint8_t[static_cast<size_t>(std::max(capacity, 0))]) {}

MemoryStream::MemoryStream(std::unique_ptr<uint8_t[]> buffer, int32_t size)
    : size_(std::max(size, 0)), capacity_(std::max(size, 0)), buffer_(std::move(buffer)) {}

MemoryStream::~MemoryStream() = default;

int32_t MemoryStream::Seek(int32_t offset, int32_t origin) {
    switch (origin) {
    case SEEK_FROM_START: position_ = offset; break;
    case SEEK_FROM_CURRENT: position_ = SaturatePosition(int64_t{position_} + offset); break;
    case SEEK_FROM_END: position_ = SaturatePosition(int64_t{size_} - offset); break;
    default: break;
    }
    return position_;
}

// A position outside 0..size (seeks are unchecked) reads nothing rather than
// foreign memory.
int32_t MemoryStream::Read(void* buffer, int32_t count) {
    if (count < 1 || position_ < 0 || position_ >= size_) return 0;
    count = std::min(count, size_ - position_);
    std::memcpy(buffer, buffer_.get() + position_, static_cast<size_t>(count));
    position_ += count;
    return count;
}

// Grows to capacity * 1.25 + count when the write does not fit. A negative
// position writes nothing; a position past the size leaves the gap zeroed.
int32_t MemoryStream::Write(const void* buffer, int32_t count) {
    if (count < 1 || position_ < 0) return 0;
    const int64_t end = int64_t{position_} + count;
    if (end > INT32_MAX) return 0;
    if (end > capacity_) {
        int64_t grown = static_cast<int64_t>(capacity_ * 1.25 + count);
        grown = std::max<int64_t>(grown, end);
        if (grown > INT32_MAX) grown = end;
        std::unique_ptr<uint8_t[]> fresh(new uint8_t[static_cast<size_t>(grown)]());
        if (size_ > 0) std::memcpy(fresh.get(), buffer_.get(), static_cast<size_t>(size_));
        buffer_ = std::move(fresh);
        capacity_ = static_cast<int32_t>(grown);
    }
    if (position_ > size_) std::memset(buffer_.get() + size_, 0, static_cast<size_t>(position_ - size_));
    std::memcpy(buffer_.get() + position_, buffer, static_cast<size_t>(count));
    position_ += count;
    size_ = std::max(size_, position_);
    return count;
}

}  // namespace cvcore
