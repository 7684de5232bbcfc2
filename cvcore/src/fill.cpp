// Surface::Fill: one colour into the channels the flags select.
#include "cvcore/blitter.h"
#include "cvcore/surface.h"
#include "pixelrows.h"

namespace cvcore {

namespace {

// Nearest palette entry by squared distance over red, green and blue; the
// first of equally near entries wins.
uint32_t NearestEntry(const uint32_t* palette, uint32_t colour) {
    const int32_t r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
    uint32_t best = 0;
    int32_t bestDistance = 3 * 256 * 256;
    for (uint32_t i = 0; i < PixelFormat::PALETTE_ENTRIES; ++i) {
        const int32_t dr = static_cast<int32_t>((palette[i] >> 16) & 0xFF) - r;
        const int32_t dg = static_cast<int32_t>((palette[i] >> 8) & 0xFF) - g;
        const int32_t db = static_cast<int32_t>(palette[i] & 0xFF) - b;
        const int32_t distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

uint32_t FillValue(const PixelFormat& f, uint32_t colour) {
    if (f.IsIndexed()) return MapChannel(0xFF, f.BlueMask()).Apply(NearestEntry(f.Palette(), colour));
    if (f.IsIntensity()) {
        const uint32_t v = Intensity((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
        return MapChannel(0xFF, f.BlueMask()).Apply(v) | MapChannel(0xFF000000, f.AlphaMask()).Apply(colour);
    }
    return MapChannel(0xFF0000, f.RedMask()).Apply(colour) | MapChannel(0xFF00, f.GreenMask()).Apply(colour) |
           MapChannel(0xFF, f.BlueMask()).Apply(colour) | MapChannel(0xFF000000, f.AlphaMask()).Apply(colour);
}

template <int Bytes>
void FillRows(Surface& s, uint32_t value, uint32_t writeMask) {
    for (int32_t y = 0; y < s.GetHeight(); ++y) {
        uint8_t* p = s.GetPixels() + static_cast<ptrdiff_t>(y) * s.GetPitch();
        for (int32_t x = 0; x < s.GetWidth(); ++x, p += Bytes) {
            rows::WritePixel<Bytes>(p, value | (rows::ReadPixel<Bytes>(p) & ~writeMask));
        }
    }
}

}  // namespace

void Surface::Fill(uint32_t colour, uint32_t flags) {
    if (width_ <= 0 || height_ <= 0 || !pixels_) return;
    uint32_t writeMask = 0;
    if (flags & FILL_COLOR) writeMask |= format_.RedMask() | format_.GreenMask() | format_.BlueMask();
    if (flags & FILL_ALPHA) writeMask |= format_.AlphaMask();
    // Channels outside the write mask keep their bits.
    const uint32_t value = FillValue(format_, colour) & writeMask;
    switch (format_.BytesPerPixel()) {
    case 1: FillRows<1>(*this, value, writeMask); break;
    case 2: FillRows<2>(*this, value, writeMask); break;
    case 3: FillRows<3>(*this, value, writeMask); break;
    case 4: FillRows<4>(*this, value, writeMask); break;
    default: break;
    }
}

}  // namespace cvcore
