// SGI image reader: one (grey), three or four channels of 8 bits, verbatim
// or run-length encoded, rows stored from the bottom.
#include <algorithm>
#include <cstring>
#include <vector>

#include "cvcore/codecs.h"
#include "cvcore/image.h"
#include "cvcore/stream.h"
#include "decodeutil.h"

namespace cvcore {

namespace {

constexpr size_t kHeaderSize = 512;

struct SgiHeader {
    uint8_t storage;
    int32_t width, height, channels;
};

bool ReadHeader(ByteReader& c, SgiHeader& h) {
    const uint16_t magic = c.U16BE();
    h.storage = c.U8();
    const uint8_t bytesPerChannel = c.U8();
    const uint16_t dimension = c.U16BE();
    const int32_t x = c.U16BE(), y = c.U16BE(), z = c.U16BE();
    c.Skip(12 + 80);  // pixel range, reserved, name
    const uint32_t colourMap = c.U32BE();
    if (!c.Ok() || magic != 474 || bytesPerChannel != 1 || colourMap != 0 || h.storage > 1) return false;
    h.width = x;
    switch (dimension) {
    case 1:
        h.height = 1;
        h.channels = 1;
        return true;
    case 2:
        h.height = y;
        h.channels = 1;
        return true;
    case 3:
        h.height = y;
        h.channels = z;
        return z == 3 || z == 4;
    default: return false;
    }
}

PixelFormat FormatFor(int32_t channels) {
    // Channel c of a pixel is byte c: red first.
    if (channels == 1) return PixelFormat::Standard(FORMAT_INTENSITY8);
    if (channels == 3) return PixelFormat(24, 0xFF, 0xFF00, 0xFF0000, 0);
    return PixelFormat(32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000);
}

// One run-length row of one channel; packets past the row are cut off and
// an offset outside the data ends the row.
void DecodeRleRow(const std::vector<uint8_t>& data, uint32_t offset, uint8_t* out, int32_t width, int32_t step) {
    size_t p = offset;
    int32_t x = 0;
    while (p < data.size() && x < width) {
        const uint8_t packet = data[p++];
        const int32_t count = packet & 0x7F;
        if (count == 0) return;
        if (packet & 0x80) {
            for (int32_t i = 0; i < count && p < data.size(); ++i, ++p) {
                if (x < width) out[(x++) * step] = data[p];
            }
        } else {
            if (p >= data.size()) return;
            const uint8_t value = data[p++];
            for (int32_t i = 0; i < count && x < width; ++i) out[(x++) * step] = value;
        }
    }
}

// What the file must hold before the picture is allocated: every sample
// when stored verbatim; with run-length storage the table of row offsets
// and, for every row, packets of at most 127 samples (two bytes each), so a
// header cannot claim a picture far larger than its data. A file that
// points many rows at one shared coded row can fall below this and is
// refused with the hostile ones; writers code each row on its own.
bool DataCanHold(ByteReader& c, const SgiHeader& h, size_t pixelBytes) {
    if (!c.Seek(kHeaderSize)) return false;
    if (h.storage == 0) return c.Remaining() >= pixelBytes;
    const uint64_t rows = uint64_t{static_cast<uint32_t>(h.height)} * static_cast<uint32_t>(h.channels);
    const uint64_t perRow = (static_cast<uint32_t>(h.width) + 126u) / 127u * 2;
    return c.Remaining() >= rows * (4 + perRow);
}

}  // namespace

bool DecodeSGI(Image& image, Stream& stream) {
    const std::vector<uint8_t> data = decode::ReadAll(stream);
    ByteReader c(data);
    SgiHeader h;
    if (!ReadHeader(c, h)) return false;
    const int64_t size = decode::PixelBytes(h.width, h.height, h.channels);
    if (size < 0) return false;
    if (!DataCanHold(c, h, static_cast<size_t>(size))) return false;
    auto pixels = decode::AllocatePixels(size);
    const int32_t pitch = h.width * h.channels;
    if (h.storage == 0) {
        for (int32_t ch = 0; ch < h.channels; ++ch) {
            for (int32_t y = 0; y < h.height; ++y) {
                const uint8_t* in = data.data() + kHeaderSize + (static_cast<size_t>(ch) * h.height + y) * h.width;
                uint8_t* out = pixels.get() + static_cast<ptrdiff_t>(h.height - 1 - y) * pitch + ch;
                for (int32_t x = 0; x < h.width; ++x) out[x * h.channels] = in[x];
            }
        }
    } else {
        const size_t rows = static_cast<size_t>(h.height) * static_cast<size_t>(h.channels);
        c.Seek(kHeaderSize);
        for (size_t i = 0; i < rows; ++i) {
            const uint32_t offset = c.U32BE();
            const int32_t ch = static_cast<int32_t>(i / static_cast<size_t>(h.height));
            const int32_t y = static_cast<int32_t>(i % static_cast<size_t>(h.height));
            uint8_t* out = pixels.get() + static_cast<ptrdiff_t>(h.height - 1 - y) * pitch + ch;
            DecodeRleRow(data, offset, out, h.width, h.channels);
        }
    }
    image.SetPixels(h.width, h.height, FormatFor(h.channels), std::move(pixels));
    return true;
}

}  // namespace cvcore
