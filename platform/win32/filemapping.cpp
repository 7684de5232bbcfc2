// kernel32's files and read-only file mappings over POSIX descriptors and
// mmap. Handles are the addresses of live kernel objects kept in one table,
// so a stale or foreign handle is refused with ERROR_INVALID_HANDLE instead
// of closing a descriptor that belongs to someone else.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>

#include "windows.h"

namespace {

constexpr uint64_t kAllocationGranularity = 65536;

// An open descriptor, closed with its owner.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { ::close(fd_); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// A file handle and a mapping handle both hold the descriptor; a mapping
// shares it so that closing the file handle first leaves the mapping usable.
struct KernelObject {
    enum class Kind { File, Mapping } kind;
    std::shared_ptr<Descriptor> descriptor;
    uint64_t mappingSize = 0;
};

struct KernelTable {
    std::mutex lock;
    std::map<HANDLE, std::unique_ptr<KernelObject>> objects;
    std::map<const void*, size_t> views;
};

KernelTable& Table() {
    static KernelTable table;
    return table;
}

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG: return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_ACCESS_DENIED;
    }
}

template <typename T>
T Fail(DWORD error, T result) {
    SetLastError(error);
    return result;
}

HANDLE Register(std::unique_ptr<KernelObject> object) {
    KernelTable& table = Table();
    const std::lock_guard guard(table.lock);
    const HANDLE handle = object.get();
    table.objects.emplace(handle, std::move(object));
    return handle;
}

// The object behind a handle, or null; the caller holds the table's lock.
KernelObject* Find(KernelTable& table, HANDLE handle, KernelObject::Kind kind) {
    const auto it = table.objects.find(handle);
    return it != table.objects.end() && it->second->kind == kind ? it->second.get() : nullptr;
}

bool FileSize(int fd, uint64_t& size) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return false;
    size = static_cast<uint64_t>(info.st_size);
    return true;
}

uint64_t Join(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD, LPSECURITY_ATTRIBUTES, DWORD creationDisposition,
                          DWORD, HANDLE) {
    if (!fileName || creationDisposition != OPEN_EXISTING || (desiredAccess & ~GENERIC_READ) != 0)
        return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    const int fd = ::open(fileName, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail(ErrorFromErrno(errno), INVALID_HANDLE_VALUE);
    auto descriptor = std::make_shared<Descriptor>(fd);
    // Windows opens a folder only when asked to with a flag this subset
    // does not offer.
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    auto object = std::make_unique<KernelObject>(KernelObject{KernelObject::Kind::File, std::move(descriptor)});
    SetLastError(ERROR_SUCCESS);
    return Register(std::move(object));
}

DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh) {
    KernelTable& table = Table();
    const std::lock_guard guard(table.lock);
    const KernelObject* object = Find(table, file, KernelObject::Kind::File);
    if (!object) return Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
    uint64_t size = 0;
    if (!FileSize(object->descriptor->Get(), size)) return Fail(ErrorFromErrno(errno), INVALID_FILE_SIZE);
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
    // A low part that happens to be all ones is told from a failure by the
    // last error, as on Windows.
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

HANDLE WINAPI CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD maximumSizeHigh,
                                 DWORD maximumSizeLow, LPCSTR name) {
    if (protect != PAGE_READONLY || name) return Fail(ERROR_INVALID_PARAMETER, HANDLE{nullptr});
    KernelTable& table = Table();
    std::unique_lock guard(table.lock);
    const KernelObject* source = Find(table, file, KernelObject::Kind::File);
    if (!source) return Fail(ERROR_INVALID_HANDLE, HANDLE{nullptr});
    uint64_t fileSize = 0;
    if (!FileSize(source->descriptor->Get(), fileSize)) return Fail(ErrorFromErrno(errno), HANDLE{nullptr});
    const uint64_t requested = Join(maximumSizeHigh, maximumSizeLow);
    if (requested == 0 && fileSize == 0) return Fail(ERROR_FILE_INVALID, HANDLE{nullptr});
    // A read-only mapping cannot grow the file.
    if (requested > fileSize) return Fail(ERROR_NOT_ENOUGH_MEMORY, HANDLE{nullptr});
    auto object = std::make_unique<KernelObject>(
        KernelObject{KernelObject::Kind::Mapping, source->descriptor, requested ? requested : fileSize});
    guard.unlock();
    SetLastError(ERROR_SUCCESS);
    return Register(std::move(object));
}

LPVOID WINAPI MapViewOfFile(HANDLE mapping, DWORD desiredAccess, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytesToMap) {
    if (desiredAccess != FILE_MAP_READ) return Fail(ERROR_ACCESS_DENIED, LPVOID{nullptr});
    KernelTable& table = Table();
    const std::lock_guard guard(table.lock);
    const KernelObject* object = Find(table, mapping, KernelObject::Kind::Mapping);
    if (!object) return Fail(ERROR_INVALID_HANDLE, LPVOID{nullptr});
    const uint64_t offset = Join(offsetHigh, offsetLow);
    if (offset % kAllocationGranularity != 0) return Fail(ERROR_MAPPED_ALIGNMENT, LPVOID{nullptr});
    if (offset >= object->mappingSize || bytesToMap > object->mappingSize - offset)
        return Fail(ERROR_ACCESS_DENIED, LPVOID{nullptr});
    const size_t length = bytesToMap ? bytesToMap : static_cast<size_t>(object->mappingSize - offset);
    void* view = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, object->descriptor->Get(), static_cast<off_t>(offset));
    if (view == MAP_FAILED) return Fail(ERROR_NOT_ENOUGH_MEMORY, LPVOID{nullptr});
    table.views.emplace(view, length);
    SetLastError(ERROR_SUCCESS);
    return view;
}

BOOL WINAPI UnmapViewOfFile(LPCVOID baseAddress) {
    KernelTable& table = Table();
    const std::lock_guard guard(table.lock);
    const auto it = table.views.find(baseAddress);
    if (it == table.views.end()) return Fail(ERROR_INVALID_ADDRESS, BOOL{FALSE});
    ::munmap(const_cast<void*>(it->first), it->second);
    table.views.erase(it);
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE object) {
    KernelTable& table = Table();
    const std::lock_guard guard(table.lock);
    if (table.objects.erase(object) == 0) return Fail(ERROR_INVALID_HANDLE, BOOL{FALSE});
    return TRUE;
}
