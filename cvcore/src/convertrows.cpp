// The converting row routine families. Every family is one template; its
// members differ only in pixel sizes or in the fixed formats they are
// instantiated for, so each member runs exactly the generic per-pixel rule.
#include <array>
#include <utility>

#include "pixelrows.h"

namespace cvcore::rows {

namespace {

// Runs op over one row, either pixel for pixel or sampling the nearest
// source pixel at 16.16 positions x, x + step, ...
template <int SB, int DB, class Op, bool Scale>
void Row(const Converter& converter, const RowParams& row) {
    const Op op(converter);
    const uint8_t* __restrict source = row.source;
    uint8_t* __restrict dest = row.dest;
    const int32_t count = row.count;
    if constexpr (Scale) {
        uint32_t position = row.x;
        for (int32_t i = 0; i < count; ++i) {
            WritePixel<DB>(dest + i * DB, op(ReadPixel<SB>(source + (position >> 16) * SB)));
            position += row.step;
        }
    } else {
        for (int32_t i = 0; i < count; ++i) WritePixel<DB>(dest + i * DB, op(ReadPixel<SB>(source + i * SB)));
    }
}

// OR of the four channel mappings and alphaFill (also moves an index
// through the blue mapping between indexed formats).
struct GenericOp {
    const Converter& c;
    explicit GenericOp(const Converter& converter) : c(converter) {}
    uint32_t operator()(uint32_t p) const {
        return c.red.Apply(p) | c.green.Apply(p) | c.blue.Apply(p) | c.alpha.Apply(p) | c.alphaFill;
    }
};

// Weighted sum of the source channels aligned to 8 bits (the converter's
// red, green and blue mappings end in 0xFF), placed by the intensity mapping.
struct IntensityOp {
    const Converter& c;
    const IntensityTables& t;
    explicit IntensityOp(const Converter& converter) : c(converter), t(GetIntensityTables()) {}
    uint32_t operator()(uint32_t p) const {
        const uint32_t v = uint32_t{t.red[c.red.Apply(p)]} + t.green[c.green.Apply(p)] + t.blue[c.blue.Apply(p)];
        return c.intensity.Apply(v) | c.alpha.Apply(p) | c.alphaFill;
    }
};

template <int DB>
struct PaletteOp {
    const Converter& c;
    explicit PaletteOp(const Converter& converter) : c(converter) {}
    uint32_t operator()(uint32_t p) const {
        return c.alpha.Apply(p) | ReadPixel<DB>(c.table + c.index.Apply(p) * DB) | c.alphaFill;
    }
};

template <int DB>
struct PaletteStandardOp {
    const uint8_t* table;
    uint32_t fill;
    explicit PaletteStandardOp(const Converter& converter) : table(converter.table), fill(converter.alphaFill) {}
    uint32_t operator()(uint32_t p) const { return ReadPixel<DB>(table + (p & 0xFF) * DB) | fill; }
};

// Standard to standard with every mask fixed at compile time.
template <int S, int D>
struct StandardOp {
    static constexpr FormatMasks s = STANDARD_MASKS[S];
    static constexpr FormatMasks d = STANDARD_MASKS[D];
    static constexpr uint32_t fill = s.alpha == 0 ? d.alpha : 0;
    // An intensity source feeds its one channel into red, green and blue.
    static constexpr uint32_t sr = s.intensity ? s.blue : s.red;
    static constexpr uint32_t sg = s.intensity ? s.blue : s.green;
    static constexpr uint32_t sb = s.blue;
    const IntensityTables& t;
    explicit StandardOp(const Converter&) : t(GetIntensityTables()) {}

    uint32_t operator()(uint32_t p) const {
        if constexpr (d.intensity) {
            constexpr ChannelMapping r = MapChannelC(sr, 0xFF), g = MapChannelC(sg, 0xFF), b = MapChannelC(sb, 0xFF);
            constexpr ChannelMapping out = MapChannelC(0xFF, d.blue);
            const uint32_t v = uint32_t{t.red[r.Apply(p)]} + t.green[g.Apply(p)] + t.blue[b.Apply(p)];
            return out.Apply(v) | fill;
        } else {
            constexpr ChannelMapping r = MapChannelC(sr, d.red), g = MapChannelC(sg, d.green);
            constexpr ChannelMapping b = MapChannelC(sb, d.blue), a = MapChannelC(s.alpha, d.alpha);
            return r.Apply(p) | g.Apply(p) | b.Apply(p) | a.Apply(p) | fill;
        }
    }
};

template <int SB, int DB>
using GenericOpT = GenericOp;
template <int SB, int DB>
using IntensityOpT = IntensityOp;
template <int SB, int DB>
using PaletteOpT = PaletteOp<DB>;

template <template <int, int> class Op, bool Scale, size_t... I>
constexpr std::array<RowRoutine, 16> SizePairTable(std::index_sequence<I...>) {
    return {{&Row<int(I / 4 + 1), int(I % 4 + 1), Op<int(I / 4 + 1), int(I % 4 + 1)>, Scale>...}};
}

template <template <int, int> class Op>
RowRoutine BySizePair(int sourceBytes, int destBytes, bool scale) {
    static constexpr auto plain = SizePairTable<Op, false>(std::make_index_sequence<16>());
    static constexpr auto scaled = SizePairTable<Op, true>(std::make_index_sequence<16>());
    if (sourceBytes < 1 || sourceBytes > 4 || destBytes < 1 || destBytes > 4) return nullptr;
    const size_t i = static_cast<size_t>((sourceBytes - 1) * 4 + destBytes - 1);
    return scale ? scaled[i] : plain[i];
}

template <size_t I, bool Scale>
constexpr RowRoutine StandardEntry() {
    constexpr int S = int(I / 7 + 1), D = int(I % 7 + 1);
    if constexpr (S == D) {
        return nullptr;
    } else {
        return &Row<STANDARD_MASKS[S].bytes, STANDARD_MASKS[D].bytes, StandardOp<S, D>, Scale>;
    }
}

template <bool Scale, size_t... I>
constexpr std::array<RowRoutine, 49> StandardTable(std::index_sequence<I...>) {
    return {{StandardEntry<I, Scale>()...}};
}

template <int B>
void NearestCopyRow(const Converter&, const RowParams& row) {
    uint32_t position = row.x;
    for (int32_t i = 0; i < row.count; ++i) {
        std::memcpy(row.dest + i * B, row.source + (position >> 16) * B, B);
        position += row.step;
    }
}

}  // namespace

RowRoutine NearestCopy(int bytes) {
    static constexpr RowRoutine table[4] = {&NearestCopyRow<1>, &NearestCopyRow<2>, &NearestCopyRow<3>,
                                            &NearestCopyRow<4>};
    return bytes >= 1 && bytes <= 4 ? table[bytes - 1] : nullptr;
}

RowRoutine GenericRow(int sourceBytes, int destBytes, bool scale) {
    return BySizePair<GenericOpT>(sourceBytes, destBytes, scale);
}

RowRoutine PaletteGenericRow(int sourceBytes, int destBytes, bool scale) {
    return BySizePair<PaletteOpT>(sourceBytes, destBytes, scale);
}

RowRoutine IntensityRow(int sourceBytes, int destBytes, bool scale) {
    return BySizePair<IntensityOpT>(sourceBytes, destBytes, scale);
}

RowRoutine PaletteStandardRow(int destBytes, bool scale) {
    static constexpr RowRoutine plain[4] = {
        &Row<1, 1, PaletteStandardOp<1>, false>, &Row<1, 2, PaletteStandardOp<2>, false>,
        &Row<1, 3, PaletteStandardOp<3>, false>, &Row<1, 4, PaletteStandardOp<4>, false>};
    static constexpr RowRoutine scaled[4] = {
        &Row<1, 1, PaletteStandardOp<1>, true>, &Row<1, 2, PaletteStandardOp<2>, true>,
        &Row<1, 3, PaletteStandardOp<3>, true>, &Row<1, 4, PaletteStandardOp<4>, true>};
    if (destBytes < 1 || destBytes > 4) return nullptr;
    return scale ? scaled[destBytes - 1] : plain[destBytes - 1];
}

RowRoutine StandardRow(int sourceIndex, int destIndex, bool scale) {
    static constexpr auto plain = StandardTable<false>(std::make_index_sequence<49>());
    static constexpr auto scaled = StandardTable<true>(std::make_index_sequence<49>());
    if (sourceIndex < 1 || sourceIndex > 7 || destIndex < 1 || destIndex > 7) return nullptr;
    const size_t i = static_cast<size_t>((sourceIndex - 1) * 7 + destIndex - 1);
    return scale ? scaled[i] : plain[i];
}

}  // namespace cvcore::rows
