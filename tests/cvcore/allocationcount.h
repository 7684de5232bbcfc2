#pragma once
// Counts what a test program holds through operator new, and the most it
// held at once, so a test can bound a decoder's memory by its input.
// Include it in exactly one source file of a test program: it replaces the
// global operator new and delete of that program.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace allocations {

struct Counts {
    size_t live = 0;
    size_t peak = 0;
};

inline Counts& Current() {
    static Counts counts;
    return counts;
}

// The most held at once since construction, above what was held then.
class PeakSince {
public:
    PeakSince() : start_(Current().live) { Current().peak = start_; }
    size_t Bytes() const { return Current().peak - start_; }

private:
    size_t start_;
};

// Each block carries its size in front, kept at the strictest alignment.
constexpr size_t kPrefix = alignof(std::max_align_t);

}  // namespace allocations

void* operator new(size_t size) {
    auto* block = static_cast<unsigned char*>(std::malloc(size + allocations::kPrefix));
    if (!block) throw std::bad_alloc();
    *reinterpret_cast<size_t*>(block) = size;
    allocations::Counts& c = allocations::Current();
    c.live += size;
    c.peak = std::max(c.peak, c.live);
    return block + allocations::kPrefix;
}

void operator delete(void* p) noexcept {
    if (!p) return;
    // Through an integer: the compiler cannot see that p came from new.
    auto* block = reinterpret_cast<size_t*>(reinterpret_cast<uintptr_t>(p) - allocations::kPrefix);
    allocations::Current().live -= *block;
    std::free(block);
}

void* operator new[](size_t size) { return operator new(size); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }
