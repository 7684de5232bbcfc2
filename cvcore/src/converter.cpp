// Compiling a conversion into a Converter, and the 64-slot converter cache.
#include <array>

#include "pixelrows.h"

namespace cvcore {

ChannelMapping MapChannel(uint32_t sourceMask, uint32_t destMask) { return rows::MapChannelC(sourceMask, destMask); }

namespace {

bool Convertible(const PixelFormat& dest, const PixelFormat& source) {
    const int32_t db = dest.BytesPerPixel(), sb = source.BytesPerPixel();
    // Nothing turns direct colour into palette indices.
    return db >= 1 && db <= 4 && sb >= 1 && sb <= 4 && (source.IsIndexed() || !dest.IsIndexed());
}

void SetMappings(Converter& c) {
    const PixelFormat& s = c.source;
    const PixelFormat& d = c.dest;
    // An intensity source feeds its one channel into red, green and blue.
    const uint32_t sr = s.IsIntensity() ? s.BlueMask() : s.RedMask();
    const uint32_t sg = s.IsIntensity() ? s.BlueMask() : s.GreenMask();
    const uint32_t sb = s.BlueMask();
    if (d.IsIntensity()) {
        // Channels aligned to 8 bits for the weight tables.
        c.red = MapChannel(sr, 0xFF);
        c.green = MapChannel(sg, 0xFF);
        c.blue = MapChannel(sb, 0xFF);
        c.intensity = MapChannel(0xFF, d.BlueMask());
    } else {
        c.red = MapChannel(sr, d.RedMask());
        c.green = MapChannel(sg, d.GreenMask());
        c.blue = MapChannel(sb, d.BlueMask());
    }
    c.alpha = MapChannel(s.AlphaMask(), d.AlphaMask());
    c.index = MapChannel(sb, 0xFF);
    c.alphaFill = s.AlphaMask() == 0 ? d.AlphaMask() : 0;
}

// The palette, read as a row of 256 A8R8G8B8 pixels, converted into
// destination pixels; rerun on every use so the current palette applies.
bool BuildTranslationTable(Converter& c) {
    const uint32_t* palette = c.source.Palette();
    if (!palette || !c.paletteConverter || !c.paletteConverter->row) return false;
    RowParams row{};
    row.dest = c.table;
    row.source = reinterpret_cast<const uint8_t*>(palette);
    row.count = PixelFormat::PALETTE_ENTRIES;
    c.paletteConverter->row(*c.paletteConverter, row);
    return true;
}

bool TunedAllowed(int32_t standardIndex) {
    if (standardIndex == FORMAT_R5G6B5 || standardIndex == FORMAT_A1R5G5B5 || standardIndex == FORMAT_A4R4G4B4)
        return true;
    return (standardIndex == FORMAT_R8G8B8 || standardIndex == FORMAT_A8R8G8B8) && (GetProcessorFeatures() & CPU_MMX);
}

RowRoutine ChooseConverting(Converter& c, bool scale, RoutineChoice choice) {
    const PixelFormat& s = c.source;
    const PixelFormat& d = c.dest;
    const int32_t sb = s.BytesPerPixel(), db = d.BytesPerPixel();
    const int32_t si = s.StandardIndex(), di = d.StandardIndex();
    const bool fast = choice != RoutineChoice::Generic;
    if (s.IsIndexed() && d.IsIndexed()) return rows::GenericRow(sb, db, scale);
    if (s.IsIndexed()) {
        c.paletteConverter = BuildConverter(d, PixelFormat::Standard(FORMAT_A8R8G8B8), CONVERT_CONVERT, choice);
        c.prepare = &BuildTranslationTable;
        if (fast && si == FORMAT_INDEXED8 && di >= 0) return rows::PaletteStandardRow(db, scale);
        return rows::PaletteGenericRow(sb, db, scale);
    }
    if (fast && si >= 1 && di >= 1) {
        if (RowRoutine r = rows::VectorStandardRow(si, di, scale)) return r;
        if (RowRoutine r = rows::StandardRow(si, di, scale)) return r;
    }
    if (d.IsIntensity()) return rows::IntensityRow(sb, db, scale);
    return rows::GenericRow(sb, db, scale);
}

RowRoutine ChooseFiltering(Converter& c, RoutineChoice choice) {
    const PixelFormat& s = c.source;
    const int32_t sb = s.BytesPerPixel();
    const int32_t si = s.StandardIndex();
    if (choice == RoutineChoice::Fastest && TunedAllowed(si)) {
        if (RowRoutine r = rows::VectorBilinear(si)) return r;
        if (RowRoutine r = rows::BilinearTuned(si)) return r;
    }
    if (RowRoutine r = rows::BilinearPortable(si)) return r;
    return s.IsIntensity() ? rows::BilinearIntensity(sb) : rows::BilinearGeneric(sb);
}

RowRoutine ChooseRoutine(Converter& c, RoutineChoice choice) {
    if (!Convertible(c.dest, c.source)) return nullptr;
    const bool scale = (c.flags & CONVERT_SCALE) != 0;
    if (c.flags & CONVERT_CONVERT) return ChooseConverting(c, scale, choice);
    if (!scale) return nullptr;  // a plain copy needs no converter
    if (c.flags & CONVERT_FILTER) return ChooseFiltering(c, choice);
    return rows::NearestCopy(c.source.BytesPerPixel());
}

uint32_t NormaliseFlags(uint32_t flags) {
    // Converting scales always sample the nearest pixel.
    return (flags & CONVERT_CONVERT) ? (flags & ~CONVERT_FILTER) : flags;
}

// Indices cannot be blended: an indexed source scales with nearest sampling
// (and its stepping) even when filtering was asked for.
uint32_t EffectiveFlags(const PixelFormat& source, uint32_t flags) {
    flags = NormaliseFlags(flags);
    return source.IsIndexed() ? (flags & ~CONVERT_FILTER) : flags;
}

uint32_t FormatHash(const PixelFormat& f) {
    return static_cast<uint32_t>(TopBit(f.AlphaMask()) ^ TopBit(f.BlueMask()) ^ TopBit(f.GreenMask()) ^
                                 TopBit(f.RedMask()) ^ f.BytesPerPixel());
}

std::array<std::unique_ptr<Converter>, 64>& Cache() {
    static std::array<std::unique_ptr<Converter>, 64> cache;
    return cache;
}

}  // namespace

std::unique_ptr<Converter> BuildConverter(const PixelFormat& dest, const PixelFormat& source, uint32_t flags,
                                          RoutineChoice choice) {
    auto c = std::make_unique<Converter>();
    c->dest = dest;
    c->source = source;
    c->flags = EffectiveFlags(source, flags);
    SetMappings(*c);
    c->row = ChooseRoutine(*c, choice);
    return c;
}

int32_t ConverterSlot(const PixelFormat& dest, const PixelFormat& source, uint32_t flags) {
    flags = NormaliseFlags(flags);
    const uint32_t slot = ((((flags & 3) << 3) ^ (FormatHash(source) & 7)) << 1) ^ (FormatHash(dest) & 15);
    return static_cast<int32_t>(slot);
}

const Converter* CachedConverter(int32_t slot) {
    if (slot < 0 || slot >= 64) return nullptr;
    return Cache()[static_cast<size_t>(slot)].get();
}

Converter* GetConverter(const PixelFormat& dest, const PixelFormat& source, uint32_t flags) {
    flags = EffectiveFlags(source, flags);
    std::unique_ptr<Converter>& slot = Cache()[static_cast<size_t>(ConverterSlot(dest, source, flags))];
    Converter* cached = slot.get();
    if (cached && cached->flags == flags && cached->source.IsSameFormat(source) && cached->dest.IsSameFormat(dest)) {
        if (cached->prepare) {
            // The same format may come with another palette.
            cached->source.SetPalette(source.Palette());
            if (!cached->prepare(*cached)) return nullptr;
        }
        return cached;
    }
    std::unique_ptr<Converter> fresh = BuildConverter(dest, source, flags);
    if (!fresh->row) return nullptr;
    if (fresh->prepare && !fresh->prepare(*fresh)) return nullptr;
    slot = std::move(fresh);
    return slot.get();
}

}  // namespace cvcore
