#include "mappedfile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cvcore {

// Empty files, folders and files beyond the 32-bit sizes an archive can
// address are left unmapped. The descriptor is not needed once mapped.
MappedFile::MappedFile(const char* path) {
    if (!path) return;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 && info.st_size <= UINT32_MAX) {
        void* view = ::mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (view != MAP_FAILED) {
            base_ = static_cast<const uint8_t*>(view);
            size_ = static_cast<uint32_t>(info.st_size);
        }
    }
    ::close(fd);
}

MappedFile::~MappedFile() {
    if (base_) ::munmap(const_cast<uint8_t*>(base_), size_);
}

}  // namespace cvcore
