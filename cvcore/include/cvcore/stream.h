#pragma once
#include <cstdint>
#include "cvcore/object.h"

namespace cvcore {

// Seek origins.
enum : int32_t { SEEK_FROM_START = 0, SEEK_FROM_CURRENT = 1, SEEK_FROM_END = 2 };

// Open modes of FileStream and archive types.
enum : int32_t { STREAM_READ = 1, STREAM_WRITE = 2, STREAM_READWRITE = 3 };

// Seeks are unchecked by design, but a position must never wrap around:
// results beyond the 32-bit range stick at its ends.
inline int32_t SaturatePosition(int64_t position) {
    if (position > INT32_MAX) return INT32_MAX;
    if (position < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(position);
}

// A byte stream. Positions, counts and sizes are signed 32-bit byte counts.
class Stream : public Object {
public:
    ~Stream() override = default;
    // origin 0 from the start, 1 from the current position, 2 from the end;
    // any other origin changes nothing. Returns the new position.
    virtual int32_t Seek(int32_t offset, int32_t origin) = 0;
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    virtual int32_t Tell() = 0;
    virtual int32_t Size() = 0;
    virtual bool IsOpen() = 0;
    virtual bool IsEOF() = 0;  // position at or past the size
};

}  // namespace cvcore
