#pragma once
// Shared by the blitter's source files: pixel access, compile-time channel
// mappings and the factories of the row routine families.
#include <bit>
#include <cstdint>
#include <cstring>

#include "cvcore/blitter.h"

namespace cvcore::rows {

static_assert(std::endian::native == std::endian::little, "pixels are read as little-endian integers");

template <int Bytes>
inline uint32_t ReadPixel(const uint8_t* p) {
    if constexpr (Bytes == 1) {
        return p[0];
    } else if constexpr (Bytes == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    } else if constexpr (Bytes == 3) {
        return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
    } else {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
}

template <int Bytes>
inline void WritePixel(uint8_t* p, uint32_t v) {
    if constexpr (Bytes == 1) {
        p[0] = static_cast<uint8_t>(v);
    } else if constexpr (Bytes == 2) {
        const uint16_t w = static_cast<uint16_t>(v);
        std::memcpy(p, &w, 2);
    } else if constexpr (Bytes == 3) {
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
        p[2] = static_cast<uint8_t>(v >> 16);
    } else {
        std::memcpy(p, &v, 4);
    }
}

constexpr int32_t TopBitC(uint32_t mask) { return mask ? 31 - std::countl_zero(mask) : -1; }

// The channel mapping rule, usable at compile time.
constexpr ChannelMapping MapChannelC(uint32_t sourceMask, uint32_t destMask) {
    ChannelMapping m;
    if (sourceMask == 0 || destMask == 0) return m;
    const int32_t delta = TopBitC(destMask) - TopBitC(sourceMask);
    if (delta > 0) {
        m.left = static_cast<uint32_t>(delta);
    } else {
        m.right = static_cast<uint32_t>(-delta);
    }
    m.mask = destMask & ((sourceMask >> m.right) << m.left);
    return m;
}

// Masks of the standard formats, usable at compile time.
struct FormatMasks {
    int bytes;
    uint32_t red, green, blue, alpha;
    bool intensity;
};

constexpr FormatMasks STANDARD_MASKS[STANDARD_FORMAT_COUNT] = {
    {1, 0, 0, 0xFF, 0, false},
    {1, 0, 0, 0xFF, 0, true},
    {1, 0xE0, 0x1C, 0x03, 0, false},
    {2, 0xF800, 0x07E0, 0x001F, 0, false},
    {3, 0xFF0000, 0x00FF00, 0x0000FF, 0, false},
    {2, 0x7C00, 0x03E0, 0x001F, 0x8000, false},
    {2, 0x0F00, 0x00F0, 0x000F, 0xF000, false},
    {4, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000, false},
};

// Intensity weight tables (truncated single-precision products).
struct IntensityTables {
    uint8_t red[256];
    uint8_t green[256];
    uint8_t blue[256];
};
const IntensityTables& GetIntensityTables();

// Row routine factories; null when a family has no member for the arguments.
RowRoutine NearestCopy(int bytes);
RowRoutine GenericRow(int sourceBytes, int destBytes, bool scale);
RowRoutine PaletteGenericRow(int sourceBytes, int destBytes, bool scale);
RowRoutine PaletteStandardRow(int destBytes, bool scale);
RowRoutine IntensityRow(int sourceBytes, int destBytes, bool scale);
RowRoutine StandardRow(int sourceIndex, int destIndex, bool scale);
RowRoutine BilinearPortable(int standardIndex);
RowRoutine BilinearTuned(int standardIndex);
RowRoutine BilinearGeneric(int bytes);
RowRoutine BilinearIntensity(int bytes);
// Vector routines the processor allows, or null; same output bits as the
// routines they replace.
RowRoutine VectorStandardRow(int sourceIndex, int destIndex, bool scale);
RowRoutine VectorBilinear(int standardIndex);

}  // namespace cvcore::rows
