// BMP reader: 1-, 4- and 8-bit indexed, 16-, 24- and 32-bit direct colour,
// and 8-bit run-length encoding.
#include <algorithm>
#include <cstring>
#include <vector>

#include "cvcore/codecs.h"
#include "cvcore/image.h"
#include "cvcore/stream.h"
#include "decodeutil.h"

namespace cvcore {

namespace {

constexpr uint16_t kMagic = 0x4D42;   // "BM"
constexpr size_t kMasksAt = 14 + 40;  // masks follow the 40-byte layout, inside or after the header

enum : uint32_t { BI_RGB = 0, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6 };

struct BmpHeader {
    uint32_t dataOffset = 0;
    uint32_t infoSize = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t bits = 0;
    uint32_t compression = 0;
    uint32_t coloursUsed = 0;
    uint32_t masks[4] = {};  // red, green, blue, alpha as the file gives them
};

bool IsCoreHeader(uint32_t infoSize) { return infoSize == 12 || infoSize == 240; }

// Later header versions (52, 56, 108 and 124 bytes) begin with the 40-byte
// layout and carry the channel masks right after it.
bool IsInfoHeader(uint32_t infoSize) {
    return infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 108 || infoSize == 124;
}

bool HasBitFields(const BmpHeader& h) {
    return (h.compression == BI_BITFIELDS || h.compression == BI_ALPHABITFIELDS) && (h.bits == 16 || h.bits == 32);
}

// Masks sit at the same place whether they belong to a longer header or
// follow a 40-byte one as bit fields; the alpha mask only counts where the
// header or the compression has room for it.
void ReadMasks(ByteReader& c, BmpHeader& h) {
    int count = 0;
    if (h.infoSize >= 52 || HasBitFields(h)) count = 3;
    if (h.infoSize >= 56 || h.compression == BI_ALPHABITFIELDS) count = 4;
    if (count == 0 || !c.Seek(kMasksAt)) return;
    for (int i = 0; i < count; ++i) h.masks[i] = c.U32();
}

bool ReadHeader(ByteReader& c, BmpHeader& h) {
    if (c.U16() != kMagic) return false;
    c.U32();  // file size
    c.U32();  // reserved
    h.dataOffset = c.U32();
    h.infoSize = c.U32();
    if (IsCoreHeader(h.infoSize)) {
        h.width = c.U16();
        h.height = c.U16();
        c.U16();  // planes
        h.bits = c.U16();
    } else if (IsInfoHeader(h.infoSize)) {
        h.width = static_cast<int32_t>(c.U32());
        h.height = static_cast<int32_t>(c.U32());
        c.U16();  // planes
        h.bits = c.U16();
        h.compression = c.U32();
        c.Skip(12);  // image size, resolution
        h.coloursUsed = c.U32();
        c.U32();  // colours important
        ReadMasks(c, h);
    } else {
        return false;
    }
    return c.Ok();
}

// A usable mask is one run of set bits inside the pixel.
bool IsContiguous(uint32_t mask, uint16_t bits) {
    if (bits < 32 && (mask >> bits) != 0) return false;
    const uint32_t low = mask & (~mask + 1);
    return ((mask + low) & mask) == 0;
}

// Direct colour: 16-bit pixels are X1R5G5B5 and 32-bit ones X8R8G8B8 unless
// bit fields say otherwise. The spare bits are alpha only when the header
// names them so: many writers leave them 0, which would read as invisible.
bool DirectFormat(const BmpHeader& h, PixelFormat& format) {
    uint32_t red = h.bits == 16 ? 0x7C00 : 0xFF0000, green = h.bits == 16 ? 0x3E0 : 0xFF00;
    uint32_t blue = h.bits == 16 ? 0x1F : 0xFF;
    if (HasBitFields(h)) {
        red = h.masks[0];
        green = h.masks[1];
        blue = h.masks[2];
    }
    uint32_t alpha = h.masks[3];
    // A longer header names an alpha mask even for pictures it does not fit.
    if (!HasBitFields(h) && (!IsContiguous(alpha, h.bits) || (alpha & (red | green | blue)) != 0)) alpha = 0;
    const uint32_t all[4] = {red, green, blue, alpha};
    uint32_t seen = 0;
    for (uint32_t mask : all) {
        if (!IsContiguous(mask, h.bits) || (mask & seen) != 0) return false;
        seen |= mask;
    }
    if ((red | green | blue) == 0) return false;
    format = PixelFormat(h.bits, red, green, blue, alpha);
    return true;
}

bool FormatFor(const BmpHeader& h, PixelFormat& format) {
    switch (h.bits) {
    case 1:
    case 4:
    case 8: format = PixelFormat::Standard(FORMAT_INDEXED8); return true;
    case 24: format = PixelFormat::Standard(FORMAT_R8G8B8); return true;
    case 16:
    case 32: return DirectFormat(h, format);
    default: return false;
    }
}

// The palette lies between the information header and the pixel data;
// indices beyond the entries found read as entry 0.
void ReadPalette(ByteReader& c, const BmpHeader& h, uint32_t* palette) {
    const bool small = IsCoreHeader(h.infoSize);
    const size_t entrySize = small ? 3 : 4;
    size_t count = size_t{1} << h.bits;
    if (h.coloursUsed > 0 && h.coloursUsed < count) count = h.coloursUsed;
    const size_t start = 14 + size_t{h.infoSize};
    if (h.dataOffset > start) count = std::min(count, (h.dataOffset - start) / entrySize);
    if (!c.Seek(start)) return;
    size_t i = 0;
    for (; i < count && c.Remaining() >= entrySize; ++i) {
        const uint32_t b = c.U8(), g = c.U8(), r = c.U8();
        const uint32_t a = small ? 255 : c.U8();
        palette[i] = a << 24 | r << 16 | g << 8 | b;
    }
    std::fill(palette + i, palette + PixelFormat::PALETTE_ENTRIES, palette[0]);
}

// Uncompressed rows, padded to 4 bytes; sub-byte pixels are taken from the
// most significant bits first.
bool ReadRows(ByteReader& c, const BmpHeader& h, Image& image, bool topDown) {
    const int32_t w = image.GetWidth(), rows = image.GetHeight();
    const size_t stride = ((size_t{static_cast<uint32_t>(w)} * h.bits + 31) / 32) * 4;
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* in = c.Here();
        if (!c.Skip(stride)) return false;
        uint8_t* out = image.GetPixels() + static_cast<ptrdiff_t>(topDown ? y : rows - 1 - y) * image.GetPitch();
        if (h.bits >= 8) {
            std::memcpy(out, in, static_cast<size_t>(image.GetPitch()));
            continue;
        }
        const uint32_t perByte = 8u / h.bits, mask = (1u << h.bits) - 1;
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t shift = 8 - h.bits * (1 + static_cast<uint32_t>(x) % perByte);
            out[x] = static_cast<uint8_t>((in[static_cast<uint32_t>(x) / perByte] >> shift) & mask);
        }
    }
    return true;
}

// 8-bit run-length tokens from the bottom row up; runs, literals and moves
// past the row end or the image are cut off there.
void DecodeRle8(ByteReader& c, Image& image) {
    const int32_t w = image.GetWidth();
    int32_t x = 0, y = image.GetHeight() - 1;
    const auto put = [&](uint8_t value) {
        if (x < w) image.GetPixels()[static_cast<ptrdiff_t>(y) * image.GetPitch() + x] = value;
        ++x;
    };
    while (y >= 0 && c.Remaining() >= 2) {
        const uint8_t n = c.U8(), value = c.U8();
        if (n > 0) {
            for (int32_t i = 0; i < n; ++i) put(value);
        } else if (value == 0) {
            --y;
            x = 0;
        } else if (value == 1) {
            return;
        } else if (value == 2) {
            x += c.U8();
            y -= c.U8();
        } else {
            for (int32_t i = 0; i < value && c.Remaining() > 0; ++i) put(c.U8());
            if (value & 1) c.U8();
        }
    }
}

// The fewest bytes the pixel data can take: every padded row when stored
// as it is; a 2-byte token per 255 pixels when run-length encoded (writers
// code every row, so a file that leaves most of its picture undescribed is
// a header claiming a size the file does not have).
bool DataCanHold(const ByteReader& c, const BmpHeader& h, int32_t height, bool runLength) {
    const uint64_t width = static_cast<uint32_t>(h.width);
    const uint64_t needed = runLength ? (width * static_cast<uint32_t>(height) + 254) / 255 * 2
                                      : (width * h.bits + 31) / 32 * 4 * static_cast<uint32_t>(height);
    return c.Remaining() >= needed;
}

}  // namespace

bool DecodeBMP(Image& image, Stream& stream) {
    const std::vector<uint8_t> data = decode::ReadAll(stream);
    ByteReader c(data);
    BmpHeader h;
    if (!ReadHeader(c, h)) return false;
    // A negative height marks rows stored top to bottom (uncompressed only).
    const bool topDown = h.height < 0 && h.height != INT32_MIN;
    const int32_t height = topDown ? -h.height : h.height;
    const bool runLength = h.compression != BI_RGB && !HasBitFields(h);
    if (runLength && (topDown || (h.bits != 8 && h.bits != 4))) return false;
    PixelFormat format;
    if (!FormatFor(h, format) || decode::PixelBytes(h.width, height, format.BytesPerPixel()) < 0) return false;
    if (format.IsIndexed()) ReadPalette(c, h, format.Palette());
    if (!c.Seek(h.dataOffset) || !DataCanHold(c, h, height, runLength)) return false;
    Image decoded(h.width, height, format);
    if (!decoded.GetPixels()) return false;
    if (!runLength) {
        if (!ReadRows(c, h, decoded, topDown)) return false;
    } else if (h.bits == 8) {
        DecodeRle8(c, decoded);
    }
    // 4-bit run-length pictures are accepted but stay cleared.
    image = std::move(decoded);
    return true;
}

}  // namespace cvcore
