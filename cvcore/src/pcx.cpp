// PCX reader: 8-bit pictures with one plane (palette at the end) or three
// planes (red, green and blue lines one after the other).
#include <algorithm>
#include <cstring>
#include <vector>

#include "cvcore/codecs.h"
#include "cvcore/image.h"
#include "cvcore/stream.h"
#include "decodeutil.h"

namespace cvcore {

namespace {

constexpr size_t kHeaderSize = 128;

struct PcxHeader {
    int32_t width, height, planes, bytesPerLine;
    uint8_t bitsPerPixel;
};

bool ReadHeader(ByteReader& c, PcxHeader& h) {
    const uint8_t manufacturer = c.U8();
    c.U8();  // version
    c.U8();  // encoding
    h.bitsPerPixel = c.U8();
    const int32_t xmin = c.U16(), ymin = c.U16(), xmax = c.U16(), ymax = c.U16();
    c.Skip(4 + 48 + 1);  // resolution, 16-colour palette, reserved
    h.planes = c.U8();
    h.bytesPerLine = c.U16();
    if (!c.Seek(kHeaderSize)) return false;
    h.width = xmax - xmin + 1;
    h.height = ymax - ymin + 1;
    // Only 8 bits per plane sample make one byte per pixel and channel.
    return manufacturer == 10 && (h.planes == 1 || h.planes == 3) && h.bitsPerPixel == 8;
}

// One scan line of run-length bytes (all planes); a run past its end is cut.
bool DecodeLine(ByteReader& c, uint8_t* line, size_t length) {
    size_t done = 0;
    while (done < length) {
        const uint8_t b = c.U8();
        if (!c.Ok()) return false;
        if (b < 192) {
            line[done++] = b;
            continue;
        }
        const size_t count = std::min<size_t>(b & 0x3F, length - done);
        const uint8_t value = c.U8();
        if (!c.Ok()) return false;
        std::memset(line + done, value, count);
        done += count;
    }
    return true;
}

// Every line is coded in runs of at most 63 bytes, two file bytes each, and
// a one-plane picture ends with its palette: the least a file can hold for
// its header's size, checked before the picture is allocated.
bool DataCanHold(const ByteReader& c, const PcxHeader& h, size_t lineLength) {
    const uint64_t perLine = (lineLength + 62) / 63 * 2;
    const uint64_t palette = h.planes == 1 ? 1 + 256 * 3 : 0;
    return c.Remaining() >= perLine * static_cast<uint32_t>(h.height) + palette;
}

}  // namespace

bool DecodePCX(Image& image, Stream& stream) {
    const std::vector<uint8_t> data = decode::ReadAll(stream);
    ByteReader c(data);
    PcxHeader h;
    if (!ReadHeader(c, h)) return false;
    PixelFormat format = PixelFormat::Standard(h.planes == 1 ? FORMAT_INDEXED8 : FORMAT_R8G8B8);
    if (decode::PixelBytes(h.width, h.height, h.planes) < 0) return false;
    // Lines are padded to bytesPerLine per plane; a smaller value is a
    // broken header and the width rules.
    const size_t planeLine = static_cast<size_t>(std::max(h.width, h.bytesPerLine));
    const size_t lineLength = planeLine * static_cast<size_t>(h.planes);
    if (!DataCanHold(c, h, lineLength)) return false;
    std::vector<uint8_t> line(lineLength);
    Image decoded(h.width, h.height, format);
    if (!decoded.GetPixels()) return false;
    for (int32_t y = 0; y < h.height; ++y) {
        if (!DecodeLine(c, line.data(), line.size())) return false;
        uint8_t* row = decoded.GetPixels() + static_cast<ptrdiff_t>(y) * decoded.GetPitch();
        if (h.planes == 1) {
            std::memcpy(row, line.data(), static_cast<size_t>(h.width));
            continue;
        }
        for (int32_t x = 0; x < h.width; ++x) {
            row[3 * x + 0] = line[2 * planeLine + static_cast<size_t>(x)];
            row[3 * x + 1] = line[planeLine + static_cast<size_t>(x)];
            row[3 * x + 2] = line[static_cast<size_t>(x)];
        }
    }
    if (h.planes == 1) {
        c.U8();  // palette marker
        uint32_t* palette = decoded.GetFormat().Palette();
        for (int32_t i = 0; i < 256; ++i) {
            const uint32_t r = c.U8(), g = c.U8(), b = c.U8();
            palette[i] = 0xFF000000u | r << 16 | g << 8 | b;
        }
        if (!c.Ok()) return false;
    }
    image = std::move(decoded);
    return true;
}

}  // namespace cvcore
