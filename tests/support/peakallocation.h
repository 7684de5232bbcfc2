#pragma once
// Counts what a test program allocates through operator new, so a test can
// bound the peak memory of one operation. Include this in exactly one file
// of a test program: it replaces the global operator new and delete there.
#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace testsupport {

inline std::atomic<size_t> liveHeapBytes{0};
inline std::atomic<size_t> peakHeapBytes{0};

// The highest number of bytes allocated at once, above what was live when
// the object was made. One at a time.
class PeakAllocation {
public:
    PeakAllocation() : base_(liveHeapBytes.load()) { peakHeapBytes = base_; }
    size_t Bytes() const { return peakHeapBytes.load() - base_; }

private:
    size_t base_;
};

// What the heap really set aside for a block, not what was asked for.
inline size_t UsableSize(void* p) {
#ifdef _WIN32
    return _msize(p);
#else
    return malloc_usable_size(p);
#endif
}

inline void* CountedAllocate(size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    const size_t now = liveHeapBytes += UsableSize(p);
    size_t peak = peakHeapBytes.load();
    while (now > peak && !peakHeapBytes.compare_exchange_weak(peak, now)) {
    }
    return p;
}

inline void CountedFree(void* p) noexcept {
    if (!p) return;
    liveHeapBytes -= UsableSize(p);
    std::free(p);
}

inline void* CountedAllocateOrNull(size_t size) noexcept {
    try {
        return CountedAllocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace testsupport

void* operator new(size_t size) { return testsupport::CountedAllocate(size); }
void* operator new[](size_t size) { return testsupport::CountedAllocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return testsupport::CountedAllocateOrNull(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return testsupport::CountedAllocateOrNull(size); }
void operator delete(void* p) noexcept { testsupport::CountedFree(p); }
void operator delete[](void* p) noexcept { testsupport::CountedFree(p); }
void operator delete(void* p, size_t) noexcept { testsupport::CountedFree(p); }
void operator delete[](void* p, size_t) noexcept { testsupport::CountedFree(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { testsupport::CountedFree(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { testsupport::CountedFree(p); }
