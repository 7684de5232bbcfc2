#include "klxinput.h"
#include <algorithm>
#include <climits>
#include "cvcore/stream.h"

namespace {
constexpr int64_t kBlock = 64 * 1024;
}

KlxInput::KlxInput(cvcore::Stream& stream) : stream_(stream), buffer_(static_cast<size_t>(kBlock)) {
    size_ = std::max<int64_t>(stream_.Size(), 0);
}

int64_t KlxInput::ReadStream(int64_t at, uint8_t* dst, int64_t n) {
    if (at < 0 || at >= size_) return 0;
    n = std::min(n, size_ - at);
    if (streamPos_ != at) {
        streamPos_ = stream_.Seek(static_cast<int32_t>(at), cvcore::SEEK_FROM_START);
        if (streamPos_ != at) return 0;
    }
    int64_t done = 0;
    while (done < n) {
        const int32_t got = stream_.Read(dst + done, static_cast<int32_t>(std::min<int64_t>(n - done, INT32_MAX)));
        if (got <= 0) break;
        done += got;
    }
    streamPos_ = at + done;
    return done;
}

bool KlxInput::ReadSlow(uint8_t* dst, size_t n) {
    int64_t left = static_cast<int64_t>(n);
    while (left > 0) {
        if (pos_ >= bufferStart_ && pos_ < bufferStart_ + bufferLength_) {
            const int64_t take = std::min(left, bufferStart_ + bufferLength_ - pos_);
            std::memcpy(dst, buffer_.data() + (pos_ - bufferStart_), static_cast<size_t>(take));
            dst += take;
            pos_ += take;
            left -= take;
        } else if (left >= kBlock) {
            // Large arrays go straight to their destination.
            const int64_t got = ReadStream(pos_, dst, left);
            pos_ += got;
            if (got != left) return false;
            left = 0;
        } else {
            bufferStart_ = pos_;
            bufferLength_ = ReadStream(pos_, buffer_.data(), kBlock);
            if (bufferLength_ == 0) return false;
        }
    }
    return true;
}
