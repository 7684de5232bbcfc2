// Vector versions of the busiest row routines. The processor test picks
// them; each gives exactly the bits of the routine it stands in for (the
// tests run both over the same rows).
#include <algorithm>

#include "pixelrows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define CVCORE_X86 1
#endif

namespace cvcore::rows {

#ifdef CVCORE_X86

namespace {

bool HasSsse3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}

// R8G8B8 -> A8R8G8B8, sixteen pixels per step: each 3-byte pixel gets a
// fourth byte of 0xFF (the source has no alpha).
__attribute__((target("ssse3"))) void R8G8B8ToA8R8G8B8(const Converter&, const RowParams& row) {
    const uint8_t* s = row.source;
    uint8_t* d = row.dest;
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int32_t i = 0;
    for (; i + 16 <= row.count; i += 16, s += 48, d += 64) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
        const __m128i p0 = _mm_shuffle_epi8(a, spread);
        const __m128i p1 = _mm_shuffle_epi8(_mm_alignr_epi8(b, a, 12), spread);
        const __m128i p2 = _mm_shuffle_epi8(_mm_alignr_epi8(c, b, 8), spread);
        const __m128i p3 = _mm_shuffle_epi8(_mm_srli_si128(c, 4), spread);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(p0, alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), _mm_or_si128(p1, alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32), _mm_or_si128(p2, alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 48), _mm_or_si128(p3, alpha));
    }
    for (; i < row.count; ++i, s += 3, d += 4) WritePixel<4>(d, ReadPixel<3>(s) | 0xFF000000u);
}

// A8R8G8B8 bilinear, two destination pixels per step: the two source
// columns of each pixel are adjacent, so one 8-byte load per row fetches
// both samples; channels are blended in 16-bit lanes with the same 8-bit
// weights and truncation as the portable routine.
void BilinearA8R8G8B8(const Converter& converter, const RowParams& row) {
    const int32_t last = std::max(row.sourceWidth - 1, 0);
    const uint32_t fy = row.yFraction >> 8;
    const __m128i zero = _mm_setzero_si128();
    const __m128i wy1 = _mm_set1_epi16(static_cast<short>(fy));
    const __m128i wy0 = _mm_set1_epi16(static_cast<short>(256 - fy));
    const auto pair = [&](const uint8_t* line, uint32_t l0, uint32_t l1, __m128i& left, __m128i& right) {
        const __m128i v0 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(line + l0)), zero);
        const __m128i v1 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(line + l1)), zero);
        left = _mm_unpacklo_epi64(v0, v1);
        right = _mm_unpackhi_epi64(v0, v1);
    };
    const auto blend = [](__m128i a, __m128i b, __m128i w0, __m128i w1) {
        return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(a, w0), _mm_mullo_epi16(b, w1)), 8);
    };
    uint32_t position = row.x;
    int32_t i = 0;
    for (; i + 2 <= row.count; i += 2) {
        const uint32_t p0 = position, p1 = position + row.step;
        const int32_t x0 = static_cast<int32_t>(p0 >> 16), x1 = static_cast<int32_t>(p1 >> 16);
        // At the last column the right-hand sample is the column itself.
        if (x0 >= last || x1 >= last) break;
        const uint32_t f0 = (p0 & 0xFFFF) >> 8, f1 = (p1 & 0xFFFF) >> 8;
        const __m128i wx1 =
            _mm_setr_epi16(short(f0), short(f0), short(f0), short(f0), short(f1), short(f1), short(f1), short(f1));
        const __m128i wx0 = _mm_sub_epi16(_mm_set1_epi16(256), wx1);
        __m128i a, b, c, d;
        pair(row.source, static_cast<uint32_t>(x0) * 4, static_cast<uint32_t>(x1) * 4, a, b);
        pair(row.nextSource, static_cast<uint32_t>(x0) * 4, static_cast<uint32_t>(x1) * 4, c, d);
        const __m128i top = blend(a, b, wx0, wx1), bottom = blend(c, d, wx0, wx1);
        const __m128i out = blend(top, bottom, wy0, wy1);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(row.dest + i * 4), _mm_packus_epi16(out, out));
        position += 2 * row.step;
    }
    if (i < row.count) {
        RowParams rest = row;
        rest.dest = row.dest + i * 4;
        rest.count = row.count - i;
        rest.x = position;
        BilinearTuned(FORMAT_A8R8G8B8)(converter, rest);
    }
}

}  // namespace

RowRoutine VectorStandardRow(int sourceIndex, int destIndex, bool scale) {
    if (!scale && sourceIndex == FORMAT_R8G8B8 && destIndex == FORMAT_A8R8G8B8 && HasSsse3()) return &R8G8B8ToA8R8G8B8;
    return nullptr;
}

RowRoutine VectorBilinear(int standardIndex) { return standardIndex == FORMAT_A8R8G8B8 ? &BilinearA8R8G8B8 : nullptr; }

#else

RowRoutine VectorStandardRow(int, int, bool) { return nullptr; }
RowRoutine VectorBilinear(int) { return nullptr; }

#endif

}  // namespace cvcore::rows
