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

constexpr uint16_t kMagic = 0x4D42;  // "BM"

struct BmpHeader {
    uint32_t dataOffset = 0;
    uint32_t infoSize = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t bits = 0;
    uint32_t compression = 0;
    uint32_t coloursUsed = 0;
};

bool ReadHeader(decode::Cursor& c, BmpHeader& h) {
    if (c.U16() != kMagic) return false;
    c.U32();  // file size
    c.U32();  // reserved
    h.dataOffset = c.U32();
    h.infoSize = c.U32();
    if (h.infoSize == 12 || h.infoSize == 240) {
        h.width = c.U16();
        h.height = c.U16();
        c.U16();  // planes
        h.bits = c.U16();
    } else if (h.infoSize == 40) {
        h.width = static_cast<int32_t>(c.U32());
        h.height = static_cast<int32_t>(c.U32());
        c.U16();  // planes
        h.bits = c.U16();
        h.compression = c.U32();
        c.Skip(12);  // image size, resolution
        h.coloursUsed = c.U32();
        c.U32();  // colours important
    } else {
        return false;
    }
    return c.Ok();
}

PixelFormat FormatFor(uint16_t bits) {
    switch (bits) {
        case 1:
        case 4:
        case 8: return PixelFormat::Standard(FORMAT_INDEXED8);
        case 16: return PixelFormat::Standard(FORMAT_R5G6B5);
        case 24: return PixelFormat::Standard(FORMAT_R8G8B8);
        default: return PixelFormat::Standard(FORMAT_A8R8G8B8);
    }
}

// The palette lies between the information header and the pixel data;
// indices beyond the entries found read as entry 0.
void ReadPalette(decode::Cursor& c, const BmpHeader& h, uint32_t* palette) {
    const bool small = h.infoSize != 40;
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
bool ReadRows(decode::Cursor& c, const BmpHeader& h, Image& image, bool topDown) {
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
void DecodeRle8(decode::Cursor& c, Image& image) {
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

}  // namespace

bool DecodeBMP(Image& image, Stream& stream) {
    const std::vector<uint8_t> data = decode::ReadAll(stream);
    decode::Cursor c(data);
    BmpHeader h;
    if (!ReadHeader(c, h)) return false;
    if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 16 && h.bits != 24 && h.bits != 32) return false;
    // A negative height marks rows stored top to bottom (uncompressed only).
    const bool topDown = h.height < 0 && h.height != INT32_MIN;
    const int32_t height = topDown ? -h.height : h.height;
    if (h.compression != 0 && (topDown || (h.bits != 8 && h.bits != 4))) return false;
    PixelFormat format = FormatFor(h.bits);
    if (decode::PixelBytes(h.width, height, format.BytesPerPixel()) < 0) return false;
    if (format.IsIndexed()) ReadPalette(c, h, format.Palette());
    Image decoded(h.width, height, format);
    if (!decoded.GetPixels() || !c.Seek(h.dataOffset)) return false;
    if (h.compression == 0) {
        if (!ReadRows(c, h, decoded, topDown)) return false;
    } else if (h.bits == 8) {
        DecodeRle8(c, decoded);
    }
    // 4-bit run-length pictures are accepted but stay cleared.
    image = std::move(decoded);
    return true;
}

}  // namespace cvcore
