#pragma once
#include <cstdint>

namespace cvcore {

// The framework's owned, zero-terminated byte string. It is deliberately
// minimal: the buffer is always exactly length + 1 bytes, every append
// reallocates to the exact new size, and copies never share a buffer.
class String {
public:
    String();
    String(const String& other);
    String(const char* text);  // null gives the empty string
    ~String();

    String& operator=(const String& other);
    String& operator=(const char* text);  // null leaves the string unchanged

    String& Append(const String& other);
    String& Append(const char* text);  // text must not be null
    String& Append(int32_t value);
    String& Append(uint32_t value);

    const char* Text() const { return data_; }
    int32_t Length() const { return length_; }

private:
    void Assign(const char* text, int32_t length);
    void Concat(const char* text, int32_t length);

    char* data_;
    int32_t length_;
};

}  // namespace cvcore
