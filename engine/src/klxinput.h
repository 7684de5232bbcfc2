#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

namespace cvcore {
class Stream;
}

// Buffered, position-tracking reading from a Stream for the KLX reader: the
// stream is asked for large blocks, small field reads are served from memory.
class KlxInput {
public:
    explicit KlxInput(cvcore::Stream& stream);

    int64_t Tell() const { return pos_; }
    void Seek(int64_t pos) { pos_ = pos; }
    // Bytes the stream holds in all.
    int64_t Size() const { return size_; }

    // Copies n bytes from the position and moves past them; false when the
    // stream ends first (the position is then undefined).
    bool Read(void* dst, size_t n) {
        if (n == 0) return true;
        if (pos_ >= bufferStart_ && pos_ + static_cast<int64_t>(n) <= bufferStart_ + bufferLength_) {
            std::memcpy(dst, buffer_.data() + (pos_ - bufferStart_), n);
            pos_ += static_cast<int64_t>(n);
            return true;
        }
        return ReadSlow(static_cast<uint8_t*>(dst), n);
    }

private:
    bool ReadSlow(uint8_t* dst, size_t n);
    int64_t ReadStream(int64_t at, uint8_t* dst, int64_t n);

    cvcore::Stream& stream_;
    std::vector<uint8_t> buffer_;
    int64_t bufferStart_ = 0;
    int64_t bufferLength_ = 0;
    int64_t pos_ = 0;
    int64_t streamPos_ = -1;  // where the stream stands, -1 when unknown
    int64_t size_ = 0;
};
