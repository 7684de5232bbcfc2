#pragma once
// The one way a reader takes numbers out of file data: little-endian (and,
// for the formats that store them so, big-endian) fields, never read past
// the end of what is there. No reader trusts a size in a file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace cvcore {

// Bytes of a block of memory, taken from a position that moves forward.
class MemoryBytes {
public:
    MemoryBytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t Left() const { return size_ - position_; }
    // n is never more than Left().
    bool Read(void* out, size_t n) {
        if (n) std::memcpy(out, data_ + position_, n);
        position_ += n;
        return true;
    }
    void Advance(size_t n) { position_ += n; }
    void Exhaust() { position_ = size_; }

    bool Seek(size_t position) {
        if (position > size_) return false;
        position_ = position;
        return true;
    }
    size_t Position() const { return position_; }
    size_t Size() const { return size_; }
    const uint8_t* Data() const { return data_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// Reads fields from a Source (Left, Read, Advance, Exhaust). The first read
// that does not fit clears Ok(), gives zeros and leaves nothing to read, so a
// reader can check once after a run of fields instead of after each.
template <class Source>
class BasicByteReader {
public:
    template <class... Args>
    explicit BasicByteReader(Args&&... args) : source_(static_cast<Args&&>(args)...) {}

    bool Ok() const { return ok_; }
    size_t Remaining() const { return source_.Left(); }

    uint8_t U8() {
        uint8_t b[1] = {};
        Bytes(b, 1);
        return b[0];
    }
    uint16_t U16() {
        uint8_t b[2] = {};
        Bytes(b, 2);
        return static_cast<uint16_t>(b[0] | b[1] << 8);
    }
    uint32_t U32() {
        uint8_t b[4] = {};
        Bytes(b, 4);
        return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    uint16_t U16BE() {
        uint8_t b[2] = {};
        Bytes(b, 2);
        return static_cast<uint16_t>(b[0] << 8 | b[1]);
    }
    uint32_t U32BE() {
        uint8_t b[4] = {};
        Bytes(b, 4);
        return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | uint32_t{b[3]};
    }

    // Copies n bytes; false (and nothing copied) when fewer are left.
    bool Bytes(void* out, size_t n) {
        if (!Available(n)) return false;
        if (!source_.Read(out, n)) return Fail();
        return true;
    }
    bool Skip(size_t n) {
        if (!Available(n)) return false;
        source_.Advance(n);
        return true;
    }

    // Only for sources that can move back (memory).
    bool Seek(size_t position) { return source_.Seek(position) || Fail(); }
    size_t Position() const { return source_.Position(); }
    size_t Size() const { return source_.Size(); }
    const uint8_t* Data() const { return source_.Data(); }
    const uint8_t* Here() const { return source_.Data() + source_.Position(); }

protected:
    bool Available(size_t n) { return n <= source_.Left() || Fail(); }
    bool Fail() {
        ok_ = false;
        source_.Exhaust();
        return false;
    }

    Source source_;

private:
    bool ok_ = true;
};

class ByteReader : public BasicByteReader<MemoryBytes> {
public:
    ByteReader(const uint8_t* data, size_t size) : BasicByteReader(data, size) {}
    explicit ByteReader(std::span<const uint8_t> data) : ByteReader(data.data(), data.size()) {}
    explicit ByteReader(const std::vector<uint8_t>& data) : ByteReader(data.data(), data.size()) {}

    // The field at an offset from the start, without moving; zero (and the
    // reader failed) when it does not fit.
    uint16_t U16At(size_t offset) {
        const uint8_t* p = At(offset, 2);
        return p ? static_cast<uint16_t>(p[0] | p[1] << 8) : 0;
    }
    uint32_t U32At(size_t offset) {
        const uint8_t* p = At(offset, 4);
        return p ? uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24 : 0;
    }

private:
    const uint8_t* At(size_t offset, size_t n) {
        if (offset <= Size() && n <= Size() - offset) return Data() + offset;
        Fail();
        return nullptr;
    }
};

}  // namespace cvcore
