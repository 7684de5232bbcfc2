#pragma once
#include <cstdint>

namespace cvcore {

// A whole file mapped read-only into memory through the Win32 file-mapping
// calls: the file handle, the mapping handle and the view, all released on
// destruction.
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
    void Close();

    // Win32 handles, kept as void* so that users of this class do not see
    // <windows.h> and its macros; null when not open.
    void* file_ = nullptr;
    void* mapping_ = nullptr;
    const uint8_t* base_ = nullptr;
    uint32_t size_ = 0;
};

}  // namespace cvcore
