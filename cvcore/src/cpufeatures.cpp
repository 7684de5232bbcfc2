#include "cvcore/blitter.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace cvcore {

namespace {

uint32_t TestProcessor() {
    uint32_t features = 0;
#if defined(__x86_64__) || defined(__i386__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d)) {
        if (d & (1u << 23)) features |= CPU_MMX;
        if (d & (1u << 25)) features |= CPU_SSE;
    }
    if (__get_cpuid(0x80000001u, &a, &b, &c, &d) && (d & (1u << 31))) features |= CPU_3DNOW;
#endif
    return features;
}

}  // namespace

uint32_t GetProcessorFeatures() {
    static const uint32_t features = TestProcessor();
    return features;
}

}  // namespace cvcore
