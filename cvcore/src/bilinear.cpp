// Bilinear row routines. For destination pixel i the source position is
// sx = x + i * step; the four samples are columns sx >> 16 and the one right
// of it (the last column pairs with itself) of the row and the next row.
// Each channel is blended horizontally in both rows, then vertically,
// truncating after every blend. The portable routines state the rule per
// channel; the tuned ones blend several channels in one word and give the
// same bits.
#include <algorithm>

#include "pixelrows.h"

namespace cvcore::rows {

namespace {

// Weighted blend of two channel values with weights (one - f, f).
template <int Shift>
inline uint32_t Blend(uint32_t a, uint32_t b, uint32_t f) {
    return (a * ((1u << Shift) - f) + b * f) >> Shift;
}

template <int Shift>
inline uint32_t Blend4(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t fx, uint32_t fy) {
    return Blend<Shift>(Blend<Shift>(a, b, fx), Blend<Shift>(c, d, fx), fy);
}

// Calls pixel(i, left, right, fraction) for every destination pixel with the
// byte offsets of the two source columns.
template <int Bytes, class PixelFn>
inline void ForEachSample(const RowParams& row, PixelFn pixel) {
    const uint32_t last = static_cast<uint32_t>(std::max(row.sourceWidth - 1, 0));
    uint32_t position = row.x;
    for (int32_t i = 0; i < row.count; ++i) {
        const uint32_t ix = position >> 16;
        const uint32_t left = std::min(ix, last) * Bytes;
        const uint32_t right = std::min(ix + 1, last) * Bytes;
        pixel(i, left, right, position & 0xFFFF);
        position += row.step;
    }
}

// A8R8G8B8 (4 channels) and R8G8B8 (3): 8-bit weights.
template <int Bytes>
void PortableRgb8(const Converter&, const RowParams& row) {
    const uint32_t fy = row.yFraction >> 8;
    ForEachSample<Bytes>(row, [&](int32_t i, uint32_t l, uint32_t r, uint32_t frac) {
        const uint32_t fx = frac >> 8;
        for (int k = 0; k < Bytes; ++k) {
            row.dest[i * Bytes + k] = static_cast<uint8_t>(
                Blend4<8>(row.source[l + k], row.source[r + k], row.nextSource[l + k], row.nextSource[r + k], fx, fy));
        }
    });
}

// 16-bit formats: each channel blended as a plain value with Shift-bit weights.
struct Field {
    int shift;
    uint32_t bits;  // mask of the channel after shifting down
};

template <int Shift, int Fields, bool KeepTopBit>
void Portable16(const RowParams& row, const Field (&fields)[Fields]) {
    const uint32_t fy = row.yFraction >> (16 - Shift);
    ForEachSample<2>(row, [&](int32_t i, uint32_t l, uint32_t r, uint32_t frac) {
        const uint32_t fx = frac >> (16 - Shift);
        const uint32_t a = ReadPixel<2>(row.source + l), b = ReadPixel<2>(row.source + r);
        const uint32_t c = ReadPixel<2>(row.nextSource + l), d = ReadPixel<2>(row.nextSource + r);
        uint32_t out = KeepTopBit ? (a & 0x8000) : 0;
        for (const Field& f : fields) {
            const auto get = [&](uint32_t p) { return (p >> f.shift) & f.bits; };
            out |= Blend4<Shift>(get(a), get(b), get(c), get(d), fx, fy) << f.shift;
        }
        WritePixel<2>(row.dest + i * 2, out);
    });
}

void PortableR5G6B5(const Converter&, const RowParams& row) {
    static constexpr Field fields[3] = {{11, 0x1F}, {5, 0x3F}, {0, 0x1F}};
    Portable16<5, 3, false>(row, fields);
}

void PortableA1R5G5B5(const Converter&, const RowParams& row) {
    static constexpr Field fields[3] = {{10, 0x1F}, {5, 0x1F}, {0, 0x1F}};
    Portable16<5, 3, true>(row, fields);
}

void PortableA4R4G4B4(const Converter&, const RowParams& row) {
    static constexpr Field fields[4] = {{12, 0xF}, {8, 0xF}, {4, 0xF}, {0, 0xF}};
    Portable16<4, 4, false>(row, fields);
}

// Channels aligned to top bit 7, blended with 16-bit weights, moved back.
template <int Bytes>
void GenericBilinear(const uint32_t (&masks)[4], const RowParams& row) {
    ChannelMapping down[4], up[4];
    for (int c = 0; c < 4; ++c) {
        down[c] = MapChannelC(masks[c], 0xFF);
        up[c] = MapChannelC(0xFF, masks[c]);
    }
    const uint32_t fy = row.yFraction & 0xFFFF;
    ForEachSample<Bytes>(row, [&](int32_t i, uint32_t l, uint32_t r, uint32_t frac) {
        const uint32_t a = ReadPixel<Bytes>(row.source + l), b = ReadPixel<Bytes>(row.source + r);
        const uint32_t c = ReadPixel<Bytes>(row.nextSource + l), d = ReadPixel<Bytes>(row.nextSource + r);
        uint32_t out = 0;
        for (int k = 0; k < 4; ++k) {
            if (!masks[k]) continue;
            const ChannelMapping& m = down[k];
            out |= up[k].Apply(Blend4<16>(m.Apply(a), m.Apply(b), m.Apply(c), m.Apply(d), frac, fy));
        }
        WritePixel<Bytes>(row.dest + i * Bytes, out);
    });
}

template <int Bytes>
void GenericFourChannel(const Converter& converter, const RowParams& row) {
    const PixelFormat& f = converter.source;
    const uint32_t masks[4] = {f.RedMask(), f.GreenMask(), f.BlueMask(), f.AlphaMask()};
    GenericBilinear<Bytes>(masks, row);
}

template <int Bytes>
void GenericIntensity(const Converter& converter, const RowParams& row) {
    const PixelFormat& f = converter.source;
    const uint32_t masks[4] = {0, 0, f.BlueMask(), f.AlphaMask()};
    GenericBilinear<Bytes>(masks, row);
}

void PortableIntensity8(const Converter&, const RowParams& row) {
    const uint32_t fy = row.yFraction & 0xFFFF;
    ForEachSample<1>(row, [&](int32_t i, uint32_t l, uint32_t r, uint32_t frac) {
        row.dest[i] = static_cast<uint8_t>(
            Blend4<16>(row.source[l], row.source[r], row.nextSource[l], row.nextSource[r], frac, fy));
    });
}

// Tuned: several channels spread apart inside one 32-bit word so one
// multiply blends them all; the gaps absorb the products without carries.
template <uint32_t Spread, int Shift>
inline uint32_t BlendSpread(uint32_t a, uint32_t b, uint32_t f) {
    return ((a * ((1u << Shift) - f) + b * f) >> Shift) & Spread;
}

template <uint32_t Spread, int Shift>
inline uint32_t BlendSpread4(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t fx, uint32_t fy) {
    return BlendSpread<Spread, Shift>(BlendSpread<Spread, Shift>(a, b, fx), BlendSpread<Spread, Shift>(c, d, fx), fy);
}

template <uint32_t Spread, int Shift, int Up, uint32_t KeepMask, class Join>
void Tuned16(const RowParams& row, Join join) {
    const uint32_t fy = row.yFraction >> (16 - Shift);
    const auto spread = [](uint32_t p) { return (p | p << Up) & Spread; };
    ForEachSample<2>(row, [&](int32_t i, uint32_t l, uint32_t r, uint32_t frac) {
        const uint32_t fx = frac >> (16 - Shift);
        const uint32_t a = ReadPixel<2>(row.source + l);
        const uint32_t v = BlendSpread4<Spread, Shift>(spread(a), spread(ReadPixel<2>(row.source + r)),
                                                       spread(ReadPixel<2>(row.nextSource + l)),
                                                       spread(ReadPixel<2>(row.nextSource + r)), fx, fy);
        WritePixel<2>(row.dest + i * 2, join(v) | (a & KeepMask));
    });
}

void TunedR5G6B5(const Converter&, const RowParams& row) {
    Tuned16<0x07E0F81F, 5, 16, 0>(row, [](uint32_t v) { return (v | v >> 16) & 0xFFFF; });
}

void TunedA1R5G5B5(const Converter&, const RowParams& row) {
    Tuned16<0x03E07C1F, 5, 16, 0x8000>(row, [](uint32_t v) { return (v | v >> 16) & 0x7FFF; });
}

void TunedA4R4G4B4(const Converter&, const RowParams& row) {
    Tuned16<0x0F0F0F0F, 4, 12, 0>(row, [](uint32_t v) { return (v & 0x0F0F) | ((v >> 12) & 0xF0F0); });
}

// R8G8B8 and A8R8G8B8: red and blue share one word, green and alpha another.
template <int Bytes>
void TunedRgb8(const Converter&, const RowParams& row) {
    const uint32_t fy = row.yFraction >> 8;
    constexpr uint32_t kKeep = Bytes == 4 ? 0xFFFFFFFFu : 0x00FFFFFFu;
    ForEachSample<Bytes>(row, [&](int32_t i, uint32_t l, uint32_t r, uint32_t frac) {
        const uint32_t fx = frac >> 8;
        const uint32_t a = ReadPixel<Bytes>(row.source + l), b = ReadPixel<Bytes>(row.source + r);
        const uint32_t c = ReadPixel<Bytes>(row.nextSource + l), d = ReadPixel<Bytes>(row.nextSource + r);
        constexpr uint32_t m = 0x00FF00FF;
        const uint32_t rb = BlendSpread4<m, 8>(a & m, b & m, c & m, d & m, fx, fy);
        const uint32_t ag = BlendSpread4<m, 8>(a >> 8 & m, b >> 8 & m, c >> 8 & m, d >> 8 & m, fx, fy);
        WritePixel<Bytes>(row.dest + i * Bytes, (rb | ag << 8) & kKeep);
    });
}

}  // namespace

RowRoutine BilinearPortable(int standardIndex) {
    switch (standardIndex) {
    case FORMAT_INTENSITY8: return &PortableIntensity8;
    case FORMAT_R5G6B5: return &PortableR5G6B5;
    case FORMAT_R8G8B8: return &PortableRgb8<3>;
    case FORMAT_A1R5G5B5: return &PortableA1R5G5B5;
    case FORMAT_A4R4G4B4: return &PortableA4R4G4B4;
    case FORMAT_A8R8G8B8: return &PortableRgb8<4>;
    default: return nullptr;
    }
}

RowRoutine BilinearTuned(int standardIndex) {
    switch (standardIndex) {
    case FORMAT_R5G6B5: return &TunedR5G6B5;
    case FORMAT_R8G8B8: return &TunedRgb8<3>;
    case FORMAT_A1R5G5B5: return &TunedA1R5G5B5;
    case FORMAT_A4R4G4B4: return &TunedA4R4G4B4;
    case FORMAT_A8R8G8B8: return &TunedRgb8<4>;
    default: return nullptr;
    }
}

RowRoutine BilinearGeneric(int bytes) {
    static constexpr RowRoutine table[4] = {&GenericFourChannel<1>, &GenericFourChannel<2>, &GenericFourChannel<3>,
                                            &GenericFourChannel<4>};
    return bytes >= 1 && bytes <= 4 ? table[bytes - 1] : nullptr;
}

RowRoutine BilinearIntensity(int bytes) {
    static constexpr RowRoutine table[4] = {&GenericIntensity<1>, &GenericIntensity<2>, &GenericIntensity<3>,
                                            &GenericIntensity<4>};
    return bytes >= 1 && bytes <= 4 ? table[bytes - 1] : nullptr;
}

}  // namespace cvcore::rows
