#pragma once
#include <cstdint>
#include <memory>
#include "cvcore/pixelformat.h"

namespace cvcore {

// Converter flags.
enum : uint32_t { CONVERT_SCALE = 1, CONVERT_CONVERT = 2, CONVERT_FILTER = 4 };

// The parameter block of every row routine. Non-scaling routines use only
// dest, source and count; x and step are 16.16 fixed point source positions;
// yFraction is the 16-bit weight of nextSource against source. Filtering
// routines clamp their right-hand samples to column sourceWidth - 1.
struct RowParams {
    uint8_t* dest;
    const uint8_t* source;
    const uint8_t* nextSource;
    int32_t count;
    uint32_t x;
    uint32_t step;
    uint32_t yFraction;
    int32_t sourceWidth;
};

// One channel move: (pixel >> right) << left & mask.
struct ChannelMapping {
    uint32_t left = 0;
    uint32_t right = 0;
    uint32_t mask = 0;
    uint32_t Apply(uint32_t pixel) const { return ((pixel >> right) << left) & mask; }
};

// Source mask s to destination mask d, aligned on their top bits; empty
// when either mask is 0.
ChannelMapping MapChannel(uint32_t sourceMask, uint32_t destMask);

class Converter;
using RowRoutine = void (*)(const Converter& converter, const RowParams& row);
using PrepareRoutine = bool (*)(Converter& converter);

// One compiled conversion from a source format to a destination format.
class Converter {
public:
    ChannelMapping red, green, blue, alpha, index, intensity;
    uint32_t alphaFill = 0;  // destination alpha mask when the source has none
    PixelFormat dest;
    PixelFormat source;
    uint32_t flags = 0;
    RowRoutine row = nullptr;
    PrepareRoutine prepare = nullptr;
    // Indexed sources: the palette converted to destination pixels, packed
    // at the destination pixel size.
    uint8_t table[PixelFormat::PALETTE_ENTRIES * 4] = {};
    // Indexed sources: converts the palette (A8R8G8B8 entries) into table.
    std::unique_ptr<Converter> paletteConverter;
};

// How BuildConverter picks its row routine: the fastest routine for the
// pair, or always the generic rules (the reference the fast ones equal).
enum class RoutineChoice { Fastest, Generic, Portable };

// Builds a converter without touching the cache; null row routine when the
// pair cannot be converted. Portable differs from Fastest only for bilinear
// filtering (portable routines instead of the tuned ones).
std::unique_ptr<Converter> BuildConverter(const PixelFormat& dest, const PixelFormat& source, uint32_t flags,
                                          RoutineChoice choice = RoutineChoice::Fastest);
// The cached converter for the pair (built on a miss, replacing the slot's
// previous one), its prepare routine run; null when none can be made. The
// pointer stays valid until another pair takes its slot.
Converter* GetConverter(const PixelFormat& dest, const PixelFormat& source, uint32_t flags);
// The cache slot (0..63) of a pair, and what a slot holds now (or null).
int32_t ConverterSlot(const PixelFormat& dest, const PixelFormat& source, uint32_t flags);
const Converter* CachedConverter(int32_t slot);

// Intensity of 8-bit red, green and blue: the sum of truncated
// 0.299 / 0.587 / 0.114 weights, at most 254.
uint32_t Intensity(uint32_t red8, uint32_t green8, uint32_t blue8);

// Processor feature word: bit 0 MMX, bit 1 3DNow!, bit 2 SSE; computed once.
enum : uint32_t { CPU_MMX = 1, CPU_3DNOW = 2, CPU_SSE = 4 };
uint32_t GetProcessorFeatures();

}  // namespace cvcore
