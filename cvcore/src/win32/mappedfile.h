#pragma once
#include <cstdint>

namespace cvcore {

// A whole file mapped read-only into memory, released on destruction. Stands
// in for the Win32 file + file-mapping + view handle triple.
class MappedFile {
public:
    explicit MappedFile(const char* path);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool IsOpen() const { return base_ != nullptr; }
    const uint8_t* Base() const { return base_; }
    uint32_t Size() const { return size_; }

private:
    const uint8_t* base_ = nullptr;
    uint32_t size_ = 0;
};

}  // namespace cvcore
