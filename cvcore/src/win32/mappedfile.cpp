#include "mappedfile.h"

#include <windows.h>

namespace cvcore {

// Existing files only, shared with no one while mapped. Empty files, folders
// and files beyond the 32-bit sizes an archive can address are left
// unmapped; any failure closes what was opened.
MappedFile::MappedFile(const char* path) {
    if (!path) return;
    const HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    file_ = file;
    DWORD sizeHigh = 0;
    SetLastError(0);
    const DWORD size = GetFileSize(file_, &sizeHigh);
    if ((size == INVALID_FILE_SIZE && GetLastError() != 0) || sizeHigh != 0 || size == 0) {
        Close();
        return;
    }
    mapping_ = CreateFileMappingA(file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const void* view = mapping_ ? MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (!view) {
        Close();
        return;
    }
    base_ = static_cast<const uint8_t*>(view);
    size_ = size;
}

MappedFile::~MappedFile() { Close(); }

void MappedFile::Close() {
    if (base_) UnmapViewOfFile(base_);
    if (mapping_) CloseHandle(mapping_);
    if (file_) CloseHandle(file_);
    base_ = nullptr;
    mapping_ = nullptr;
    file_ = nullptr;
    size_ = 0;
}

}  // namespace cvcore
