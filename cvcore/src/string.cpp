#include "cvcore/string.h"

#include <cstdio>
#include <cstring>

namespace cvcore {

String::String() : data_(new char[1]{0}), length_(0) {}

String::String(const String& other) : data_(new char[other.length_ + 1]), length_(other.length_) {
    std::memcpy(data_, other.data_, static_cast<size_t>(length_) + 1);
}

String::String(const char* text) : String() {
    if (text) Assign(text, static_cast<int32_t>(std::strlen(text)));
}

String::~String() { delete[] data_; }

String& String::operator=(const String& other) {
    if (this != &other) Assign(other.data_, other.length_);
    return *this;
}

String& String::operator=(const char* text) {
    if (text) Assign(text, static_cast<int32_t>(std::strlen(text)));
    return *this;
}

// Reuses the buffer when the length is unchanged; otherwise the buffer is
// replaced by one of exactly the new size. memmove keeps self-assignment of a
// sub-string safe.
void String::Assign(const char* text, int32_t length) {
    if (length != length_) {
        char* fresh = new char[static_cast<size_t>(length) + 1];
        std::memcpy(fresh, text, static_cast<size_t>(length));
        fresh[length] = 0;
        delete[] data_;
        data_ = fresh;
        length_ = length;
        return;
    }
    std::memmove(data_, text, static_cast<size_t>(length));
    data_[length] = 0;
}

void String::Concat(const char* text, int32_t length) {
    char* fresh = new char[static_cast<size_t>(length_) + static_cast<size_t>(length) + 1];
    std::memcpy(fresh, data_, static_cast<size_t>(length_));
    std::memcpy(fresh + length_, text, static_cast<size_t>(length));
    fresh[length_ + length] = 0;
    delete[] data_;
    data_ = fresh;
    length_ += length;
}

String& String::Append(const String& other) {
    Concat(other.data_, other.length_);
    return *this;
}

String& String::Append(const char* text) {
    Concat(text, static_cast<int32_t>(std::strlen(text)));
    return *this;
}

String& String::Append(int32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d", value);
    return Append(buffer);
}

String& String::Append(uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%u", value);
    return Append(buffer);
}

}  // namespace cvcore
