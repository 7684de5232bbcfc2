// Surface::Blit: same-format row copies, converted rows, and resizing with
// 16.16 fixed-point stepping.
#include <algorithm>
#include <cstring>

#include "cvcore/blitter.h"
#include "cvcore/surface.h"

namespace cvcore {

namespace {

// Largest size the 16.16 stepping can address without overflowing.
constexpr int32_t kMaxScaledSize = 32767;

struct Stepping {
    uint32_t start;
    uint32_t step;
};

// Bilinear shrinking centres each destination pixel on its source span;
// bilinear enlarging pins the first and last pixels to the source edges;
// nearest sampling takes the centre of each span.
Stepping Axis(int32_t source, int32_t dest, bool filter) {
    const uint32_t s = static_cast<uint32_t>(source), d = static_cast<uint32_t>(dest);
    if (filter && d < s) {
        const uint32_t step = (s << 16) / d;
        return {step / 2 - 32768, step};
    }
    if (filter) return {0, ((s << 16) - 65536) / std::max(d - 1, 1u)};
    const uint32_t step = (s << 16) / d;
    return {step / 2, step};
}

bool Empty(const Surface& s) { return s.GetWidth() <= 0 || s.GetHeight() <= 0 || !s.GetPixels(); }

void CopyRows(Surface& dest, const Surface& source) {
    const size_t bytes = static_cast<size_t>(std::min(dest.GetWidth(), source.GetWidth())) *
                         static_cast<size_t>(source.GetFormat().BytesPerPixel());
    const int32_t rows = std::min(dest.GetHeight(), source.GetHeight());
    for (int32_t y = 0; y < rows; ++y) {
        std::memmove(dest.GetPixels() + static_cast<ptrdiff_t>(y) * dest.GetPitch(),
                     source.GetPixels() + static_cast<ptrdiff_t>(y) * source.GetPitch(), bytes);
    }
}

void ConvertRows(const Converter& c, Surface& dest, const Surface& source) {
    RowParams row{};
    row.count = std::min(dest.GetWidth(), source.GetWidth());
    row.sourceWidth = source.GetWidth();
    const int32_t rows = std::min(dest.GetHeight(), source.GetHeight());
    for (int32_t y = 0; y < rows; ++y) {
        row.dest = dest.GetPixels() + static_cast<ptrdiff_t>(y) * dest.GetPitch();
        row.source = source.GetPixels() + static_cast<ptrdiff_t>(y) * source.GetPitch();
        row.nextSource = row.source;
        c.row(c, row);
    }
}

void ScaleRows(const Converter& c, Surface& dest, const Surface& source) {
    const bool filter = (c.flags & CONVERT_FILTER) != 0;
    const Stepping sx = Axis(source.GetWidth(), dest.GetWidth(), filter);
    const Stepping sy = Axis(source.GetHeight(), dest.GetHeight(), filter);
    RowParams row{};
    row.count = dest.GetWidth();
    row.x = sx.start;
    row.step = sx.step;
    row.sourceWidth = source.GetWidth();
    const int32_t lastRow = source.GetHeight() - 1;
    uint32_t y = sy.start;
    for (int32_t r = 0; r < dest.GetHeight(); ++r, y += sy.step) {
        const int32_t sourceRow = std::min(static_cast<int32_t>(y >> 16), lastRow);
        // The last destination row pairs its source row with itself.
        const int32_t nextRow = r + 1 < dest.GetHeight() ? std::min(sourceRow + 1, lastRow) : sourceRow;
        row.dest = dest.GetPixels() + static_cast<ptrdiff_t>(r) * dest.GetPitch();
        row.source = source.GetPixels() + static_cast<ptrdiff_t>(sourceRow) * source.GetPitch();
        row.nextSource = source.GetPixels() + static_cast<ptrdiff_t>(nextRow) * source.GetPitch();
        row.yFraction = y & 0xFFFF;
        c.row(c, row);
    }
}

}  // namespace

bool Surface::Blit(const Surface& source, int32_t mode) {
    if (Empty(*this) || Empty(source)) return true;
    const bool sizesDiffer = width_ != source.width_ || height_ != source.height_;
    uint32_t flags = format_.IsSameFormat(source.format_) ? 0u : uint32_t{CONVERT_CONVERT};
    if (sizesDiffer && mode == BLIT_SCALE) flags |= CONVERT_SCALE;
    if (sizesDiffer && mode == BLIT_FILTER) flags |= CONVERT_SCALE | CONVERT_FILTER;
    if (flags == 0) {
        CopyRows(*this, source);
        return true;
    }
    if ((flags & CONVERT_SCALE) && std::max({width_, height_, source.width_, source.height_}) > kMaxScaledSize)
        return false;
    const Converter* c = GetConverter(format_, source.format_, flags);
    if (!c) return false;
    if (c->flags & CONVERT_SCALE)
        ScaleRows(*c, *this, source);
    else
        ConvertRows(*c, *this, source);
    return true;
}

}  // namespace cvcore
