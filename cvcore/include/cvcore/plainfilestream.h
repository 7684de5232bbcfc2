#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include "cvcore/stream.h"

namespace cvcore {

// A stream over a buffered runtime-library file. Opened through
// PlainFileType(); the handle is closed by the destructor.
class PlainFileStream : public Stream {
public:
    // Mode 1 opens "rb", 2 "wb", 3 "r+b". Returns null for any other mode, a
    // file that cannot be opened, or a folder.
    static std::unique_ptr<PlainFileStream> Open(const char* path, int32_t mode);

    ~PlainFileStream() override;
    PlainFileStream(const PlainFileStream&) = delete;
    PlainFileStream& operator=(const PlainFileStream&) = delete;

    int32_t Seek(int32_t offset, int32_t origin) override;
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Tell() override;
    int32_t Size() override;
    bool IsOpen() override { return file_ != nullptr; }
    bool IsEOF() override;

private:
    explicit PlainFileStream(std::FILE* file) : file_(file) {}

    std::FILE* file_;
    bool lastWasWrite_ = false;
};

}  // namespace cvcore
