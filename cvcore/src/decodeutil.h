#pragma once
// Helpers shared by the image decoders: the whole stream in memory and a
// bounds-checked cursor over it, so no decoder trusts a size in a file.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace cvcore {

class Stream;

namespace decode {

// Largest picture a decoder allocates (256 MiB): a header may claim any size.
constexpr int64_t kMaxPixelBytes = int64_t{1} << 28;

// Everything the stream delivers from position 0.
std::vector<uint8_t> ReadAll(Stream& stream);

// width x height x bytesPerPixel, or -1 when a size is not positive or the
// product is larger than kMaxPixelBytes.
int64_t PixelBytes(int64_t width, int64_t height, int64_t bytesPerPixel);

// Blocks a block-compressed picture of a positive size must hold: every
// whole block the decoders read, or, for a picture narrower or lower than
// one block, the partial blocks that cover it as writers store them (else a
// header of 3 x 100000000 texels would ask for no data at all).
uint64_t BlocksNeeded(int64_t width, int64_t height, int64_t blockWidth, int64_t blockHeight);

// Zeroed pixel memory: whatever a decoder does not write reads as 0.
std::unique_ptr<uint8_t[]> AllocatePixels(int64_t bytes);

// Reads little- and big-endian fields; any read past the end yields zeros
// and clears Ok().
class Cursor {
public:
    Cursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit Cursor(const std::vector<uint8_t>& data) : Cursor(data.data(), data.size()) {}

    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    uint16_t U16BE();
    uint32_t U32BE();
    // Copies n bytes; false (and nothing copied) when fewer are left.
    bool Bytes(void* out, size_t n);
    bool Skip(size_t n);
    bool Seek(size_t position);

    bool Ok() const { return ok_; }
    size_t Position() const { return position_; }
    size_t Remaining() const { return size_ - position_; }
    size_t Size() const { return size_; }
    const uint8_t* Here() const { return data_ + position_; }
    const uint8_t* Data() const { return data_; }

private:
    bool Take(size_t n);

    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
    bool ok_ = true;
};

}  // namespace decode
}  // namespace cvcore
