// TGA reader (colour-mapped and true-colour, raw and run-length encoded)
// and writer (24- or 32-bit, raw or run-length encoded).
#include <algorithm>
#include <cstring>
#include <vector>

#include "cvcore/codecs.h"
#include "cvcore/image.h"
#include "cvcore/stream.h"
#include "decodeutil.h"

namespace cvcore {

namespace {

enum : uint8_t { TGA_MAPPED = 1, TGA_TRUECOLOR = 2, TGA_RLE_MAPPED = 9, TGA_RLE_TRUECOLOR = 10 };
constexpr uint8_t kTopDown = 0x20;

struct TgaHeader {
    uint8_t idLength, mapType, type;
    uint16_t mapLength;
    uint8_t mapEntrySize;
    uint16_t width, height;
    uint8_t depth, descriptor;
};

bool ReadHeader(ByteReader& c, TgaHeader& h) {
    h.idLength = c.U8();
    h.mapType = c.U8();
    h.type = c.U8();
    c.U16();  // first map entry: entries are stored from index 0
    h.mapLength = c.U16();
    h.mapEntrySize = c.U8();
    c.U16();  // origin
    c.U16();
    h.width = c.U16();
    h.height = c.U16();
    h.depth = c.U8();
    h.descriptor = c.U8();
    if (!c.Ok() || h.mapType > 1) return false;
    if (h.type != TGA_MAPPED && h.type != TGA_TRUECOLOR && h.type != TGA_RLE_MAPPED && h.type != TGA_RLE_TRUECOLOR)
        return false;
    if (h.depth != 8 && h.depth != 16 && h.depth != 24 && h.depth != 32) return false;
    const bool mapped = h.type == TGA_MAPPED || h.type == TGA_RLE_MAPPED;
    // Colour-mapped pictures need 8-bit indices into at most 256 24-bit entries.
    if (mapped && (h.mapLength > 256 || h.mapEntrySize != 24 || h.depth != 8)) return false;
    return true;
}

PixelFormat FormatFor(uint8_t depth) {
    switch (depth) {
    case 8: return PixelFormat::Standard(FORMAT_INDEXED8);
    case 16: return PixelFormat::Standard(FORMAT_A1R5G5B5);
    case 24: return PixelFormat::Standard(FORMAT_R8G8B8);
    default: return PixelFormat::Standard(FORMAT_A8R8G8B8);
    }
}

// Run-length packets cover the picture as one sequence of pixels: many
// writers let a packet run on from one row into the next, so a packet is
// split at each row end and continued in the row the next file row fills.
class RlePixels {
public:
    RlePixels(uint8_t* pixels, int32_t width, int32_t height, int32_t bytes, bool topDown)
        : pixels_(pixels), width_(width), height_(height), bytes_(bytes), topDown_(topDown) {}

    bool Decode(ByteReader& c) {
        while (row_ < height_) {
            const uint8_t packet = c.U8();
            int32_t count = (packet & 0x7F) + 1;
            uint8_t pixel[4] = {};
            const bool repeat = (packet & 0x80) != 0;
            if (repeat && !c.Bytes(pixel, static_cast<size_t>(bytes_))) return false;
            while (count > 0 && row_ < height_) {
                const int32_t n = std::min(count, width_ - x_);
                uint8_t* out = Row() + static_cast<ptrdiff_t>(x_) * bytes_;
                if (repeat) {
                    for (int32_t i = 0; i < n; ++i) std::memcpy(out + i * bytes_, pixel, static_cast<size_t>(bytes_));
                } else if (!c.Bytes(out, static_cast<size_t>(n) * static_cast<size_t>(bytes_))) {
                    return false;
                }
                Advance(n);
                count -= n;
            }
            // Whatever a packet holds beyond the last pixel is skipped.
            if (!repeat && count > 0 && !c.Skip(static_cast<size_t>(count) * static_cast<size_t>(bytes_))) return false;
            if (!c.Ok()) return false;
        }
        return true;
    }

private:
    uint8_t* Row() const {
        const int32_t target = topDown_ ? row_ : height_ - 1 - row_;
        return pixels_ + static_cast<ptrdiff_t>(target) * width_ * bytes_;
    }
    void Advance(int32_t n) {
        x_ += n;
        if (x_ == width_) {
            x_ = 0;
            ++row_;
        }
    }

    uint8_t* pixels_;
    int32_t width_, height_, bytes_;
    bool topDown_;
    int32_t row_ = 0, x_ = 0;
};

// The fewest bytes that can hold the pixels: raw rows, or run-length
// packets of at most 128 pixels each, so a header cannot make us allocate a
// picture the file is far too small to describe.
bool DataCanHold(const ByteReader& c, const TgaHeader& h, int32_t bytes, bool rle) {
    const uint64_t pixels = uint64_t{h.width} * h.height;
    const uint64_t size = static_cast<uint32_t>(bytes);
    const uint64_t needed = rle ? (pixels + 127) / 128 * (1 + size) : pixels * size;
    return c.Remaining() >= needed;
}

}  // namespace

bool DecodeTGA(Image& image, Stream& stream) {
    const std::vector<uint8_t> data = decode::ReadAll(stream);
    ByteReader c(data);
    TgaHeader h;
    if (!ReadHeader(c, h) || !c.Skip(h.idLength)) return false;
    PixelFormat format = FormatFor(h.depth);
    const int32_t bytes = h.depth / 8;
    const int64_t size = decode::PixelBytes(h.width, h.height, bytes);
    if (size < 0) return false;
    const bool mapped = h.type == TGA_MAPPED || h.type == TGA_RLE_MAPPED;
    if (mapped) {
        uint32_t* palette = format.Palette();
        for (int32_t i = 0; i < h.mapLength; ++i) {
            const uint32_t b = c.U8(), g = c.U8(), r = c.U8();
            palette[i] = 0xFF000000u | r << 16 | g << 8 | b;
        }
        // Indices beyond the map read as entry 0.
        std::fill(palette + h.mapLength, palette + 256, palette[0]);
    } else if (!c.Skip(size_t{h.mapLength} * ((h.mapEntrySize + 1u) / 8))) {
        return false;
    }
    const bool rle = h.type == TGA_RLE_MAPPED || h.type == TGA_RLE_TRUECOLOR;
    if (!c.Ok() || !DataCanHold(c, h, bytes, rle)) return false;
    auto pixels = decode::AllocatePixels(size);
    const bool topDown = (h.descriptor & kTopDown) != 0;
    if (rle) {
        if (!RlePixels(pixels.get(), h.width, h.height, bytes, topDown).Decode(c)) return false;
    } else {
        const int32_t pitch = h.width * bytes;
        for (int32_t y = 0; y < h.height; ++y) {
            // Rows are stored bottom-up unless the descriptor says otherwise.
            const int32_t target = topDown ? y : h.height - 1 - y;
            uint8_t* row = pixels.get() + static_cast<ptrdiff_t>(target) * pitch;
            if (!c.Bytes(row, static_cast<size_t>(pitch))) return false;
        }
    }
    image.SetPixels(h.width, h.height, format, std::move(pixels));
    return true;
}

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// Repeat packets for runs of two or more equal pixels, raw packets between.
void EncodeRleRow(std::vector<uint8_t>& out, const uint8_t* row, int32_t width, int32_t bytes) {
    const auto same = [&](int32_t a, int32_t b) {
        return std::memcmp(row + a * bytes, row + b * bytes, static_cast<size_t>(bytes)) == 0;
    };
    int32_t x = 0;
    while (x < width) {
        int32_t run = 1;
        while (x + run < width && run < 128 && same(x, x + run)) ++run;
        if (run >= 2) {
            out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
            out.insert(out.end(), row + x * bytes, row + (x + 1) * bytes);
            x += run;
            continue;
        }
        int32_t raw = 1;
        while (x + raw < width && raw < 128 && !(x + raw + 1 < width && same(x + raw, x + raw + 1))) ++raw;
        out.push_back(static_cast<uint8_t>(raw - 1));
        out.insert(out.end(), row + x * bytes, row + (x + raw) * bytes);
        x += raw;
    }
}

}  // namespace

bool EncodeTGA(const Surface& image, Stream& stream, bool rle, bool alpha) {
    const int32_t w = image.GetWidth(), h = image.GetHeight();
    if (w <= 0 || h <= 0 || w > 0xFFFF || h > 0xFFFF || !image.GetPixels()) return false;
    Image pixels(w, h, PixelFormat::Standard(alpha ? FORMAT_A8R8G8B8 : FORMAT_R8G8B8));
    if (!pixels.GetPixels() || !pixels.Blit(image, BLIT_COPY)) return false;
    const int32_t bytes = alpha ? 4 : 3;
    std::vector<uint8_t> out = {
        0, 0, static_cast<uint8_t>(rle ? TGA_RLE_TRUECOLOR : TGA_TRUECOLOR), 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(out, static_cast<uint32_t>(w));
    Put16(out, static_cast<uint32_t>(h));
    out.push_back(static_cast<uint8_t>(bytes * 8));
    out.push_back(static_cast<uint8_t>(kTopDown | (alpha ? 8 : 0)));
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = pixels.GetPixels() + static_cast<ptrdiff_t>(y) * pixels.GetPitch();
        if (rle)
            EncodeRleRow(out, row, w, bytes);
        else
            out.insert(out.end(), row, row + w * bytes);
    }
    if (out.size() > static_cast<size_t>(INT32_MAX)) return false;
    const int32_t size = static_cast<int32_t>(out.size());
    return stream.Write(out.data(), size) == size;
}

bool EncodeTGA(const Image& image, Stream& stream) {
    return EncodeTGA(static_cast<const Surface&>(image), stream, false, image.GetFormat().AlphaMask() != 0);
}

}  // namespace cvcore
