#include "cvcore/plainfilestream.h"

#include <sys/stat.h>

#include <algorithm>

namespace cvcore {
namespace {

const char* ModeText(int32_t mode) {
    switch (mode) {
    case STREAM_READ: return "rb";
    case STREAM_WRITE: return "wb";
    case STREAM_READWRITE: return "r+b";
    default: return nullptr;
    }
}

bool IsFolder(std::FILE* file) {
    struct stat info {};
    return fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::unique_ptr<PlainFileStream> PlainFileStream::Open(const char* path, int32_t mode) {
    const char* how = ModeText(mode);
    if (!path || !how) return nullptr;
    std::FILE* file = std::fopen(path, how);
    if (!file) return nullptr;
    // Linux opens folders for reading; they are not files to the program.
    if (IsFolder(file)) {
        std::fclose(file);
        return nullptr;
    }
    return std::unique_ptr<PlainFileStream>(new PlainFileStream(file));
}

PlainFileStream::~PlainFileStream() {
    if (file_) std::fclose(file_);
}

int32_t PlainFileStream::Seek(int32_t offset, int32_t origin) {
    int whence = 0;
    switch (origin) {
    case SEEK_FROM_START: whence = SEEK_SET; break;
    case SEEK_FROM_CURRENT: whence = SEEK_CUR; break;
    case SEEK_FROM_END: whence = SEEK_END; break;
    default: return Tell();
    }
    std::fseek(file_, offset, whence);
    lastWasWrite_ = false;
    return Tell();
}

// The runtime library needs a positioning call between a write and a read on
// the same handle; a zero seek supplies it without moving.
int32_t PlainFileStream::Read(void* buffer, int32_t count) {
    if (count < 1) return 0;
    if (lastWasWrite_) std::fseek(file_, 0, SEEK_CUR);
    lastWasWrite_ = false;
    return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(count), file_));
}

int32_t PlainFileStream::Write(const void* buffer, int32_t count) {
    if (count < 1) return 0;
    if (!lastWasWrite_) std::fseek(file_, 0, SEEK_CUR);
    lastWasWrite_ = true;
    return static_cast<int32_t>(std::fwrite(buffer, 1, static_cast<size_t>(count), file_));
}

int32_t PlainFileStream::Tell() {
    const long position = std::ftell(file_);
    return static_cast<int32_t>(std::clamp<long>(position, 0, INT32_MAX));
}

int32_t PlainFileStream::Size() {
    const long here = std::ftell(file_);
    std::fseek(file_, 0, SEEK_END);
    const long end = std::ftell(file_);
    std::fseek(file_, here, SEEK_SET);
    lastWasWrite_ = false;
    return static_cast<int32_t>(std::clamp<long>(end, 0, INT32_MAX));
}

bool PlainFileStream::IsEOF() { return Tell() >= Size(); }

}  // namespace cvcore
