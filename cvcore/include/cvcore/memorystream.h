#pragma once
#include <cstdint>
#include <memory>
#include "cvcore/stream.h"

namespace cvcore {

// A growable in-memory stream that owns its buffer. Archive entries are
// delivered as MemoryStreams over the inflated bytes.
class MemoryStream : public Stream {
public:
    // Allocates n bytes; the whole buffer counts as data (size n), so a
    // reader can fill it through Buffer() and hand it on.
    explicit MemoryStream(int32_t capacity);
    // Takes ownership of an existing buffer of n bytes.
    MemoryStream(std::unique_ptr<uint8_t[]> buffer, int32_t size);
    ~MemoryStream() override;

    int32_t Seek(int32_t offset, int32_t origin) override;
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Tell() override { return position_; }
    int32_t Size() override { return size_; }
    bool IsOpen() override { return true; }
    bool IsEOF() override { return position_ >= size_; }

    uint8_t* Buffer() { return buffer_.get(); }
    int32_t Capacity() const { return capacity_; }

private:
    int32_t position_ = 0;
    int32_t size_ = 0;
    int32_t capacity_ = 0;
    std::unique_ptr<uint8_t[]> buffer_;
};

}  // namespace cvcore
