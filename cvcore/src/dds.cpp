// DDS reader for the top level of DXT1, DXT3 and DXT5 block-compressed
// surfaces, expanded in software to 32-bit pixels.
#include <algorithm>
#include <cstring>
#include <vector>

#include "cvcore/codecs.h"
#include "cvcore/ddsheader.h"
#include "cvcore/image.h"
#include "cvcore/stream.h"
#include "decodeutil.h"

namespace cvcore {

namespace {

constexpr size_t kHeaderSize = DDS_FILE_HEADER_SIZE;

// Bytes blue, green, red, alpha.
struct Colour {
    uint8_t b, g, r, a;
};

Colour FromR5G6B5(uint32_t c) {
    return {static_cast<uint8_t>((c & 0x1F) << 3), static_cast<uint8_t>(((c >> 5) & 0x3F) << 2),
            static_cast<uint8_t>(((c >> 11) & 0x1F) << 3), 255};
}

Colour Mix(const Colour& p, const Colour& q, int wp, int wq, int divisor, uint8_t alpha) {
    const auto mix = [&](int x, int y) { return static_cast<uint8_t>((wp * x + wq * y) / divisor); };
    return {mix(p.b, q.b), mix(p.g, q.g), mix(p.r, q.r), alpha};
}

// A 4 x 4 colour block: two 5-6-5 endpoints and sixteen 2-bit indices.
void DecodeColourBlock(const uint8_t* block, bool threeColourAllowed, Colour (&texels)[16]) {
    const uint32_t c0 = block[0] | block[1] << 8, c1 = block[2] | block[3] << 8;
    Colour palette[4] = {FromR5G6B5(c0), FromR5G6B5(c1), {}, {}};
    if (!threeColourAllowed || c0 > c1) {
        palette[2] = Mix(palette[0], palette[1], 2, 1, 3, 255);
        palette[3] = Mix(palette[0], palette[1], 1, 2, 3, 255);
    } else {
        palette[2] = Mix(palette[0], palette[1], 1, 1, 2, 255);
        palette[3] = {255, 255, 0, 0};
    }
    for (int t = 0; t < 16; ++t) texels[t] = palette[(block[4 + t / 4] >> (2 * (t % 4))) & 3];
}

void ExplicitAlpha(const uint8_t* block, Colour (&texels)[16]) {
    for (int t = 0; t < 16; ++t) {
        const uint32_t row = block[2 * (t / 4)] | block[2 * (t / 4) + 1] << 8;
        texels[t].a = static_cast<uint8_t>(((row >> (4 * (t % 4))) & 0xF) * 17);
    }
}

void InterpolatedAlpha(const uint8_t* block, Colour (&texels)[16]) {
    const int a0 = block[0], a1 = block[1];
    int alpha[8] = {a0, a1};
    if (a1 < a0) {
        for (int i = 2; i < 8; ++i) alpha[i] = ((8 - i) * a0 + (i - 1) * a1) / 7;
    } else {
        for (int i = 2; i < 6; ++i) alpha[i] = ((6 - i) * a0 + (i - 1) * a1) / 5;
        alpha[6] = 0;
        alpha[7] = 255;
    }
    for (int group = 0; group < 2; ++group) {
        const uint8_t* g = block + 2 + 3 * group;
        const uint32_t bits = g[0] | g[1] << 8 | g[2] << 16;
        for (int t = 0; t < 8; ++t) texels[8 * group + t].a = static_cast<uint8_t>(alpha[(bits >> (3 * t)) & 7]);
    }
}

enum class Kind { DXT1, DXT3, DXT5, Undecoded };

void DecodeBlock(Kind kind, const uint8_t* block, Colour (&texels)[16]) {
    switch (kind) {
    case Kind::DXT1: DecodeColourBlock(block, true, texels); break;
    case Kind::DXT3:
        DecodeColourBlock(block + 8, false, texels);
        ExplicitAlpha(block, texels);
        break;
    case Kind::DXT5:
        DecodeColourBlock(block + 8, false, texels);
        InterpolatedAlpha(block, texels);
        break;
    case Kind::Undecoded: break;
    }
}

}  // namespace

bool DecodeDDS(Image& image, Stream& stream) {
    const std::vector<uint8_t> data = decode::ReadAll(stream);
    ByteReader reader(data);
    DdsHeader header;
    if (!ReadDdsHeader(reader, header)) return false;
    const auto height = static_cast<int32_t>(header.height);
    const auto width = static_cast<int32_t>(header.width);
    const uint32_t fourCC = header.fourCC;
    Kind kind;
    size_t blockSize = 16;
    if (fourCC == DdsFourCC('D', 'X', 'T', '1')) {
        kind = Kind::DXT1;
        blockSize = 8;
    } else if (fourCC == DdsFourCC('D', 'X', 'T', '3')) {
        kind = Kind::DXT3;
    } else if (fourCC == DdsFourCC('D', 'X', 'T', '5')) {
        kind = Kind::DXT5;
    } else if (fourCC == DdsFourCC('D', 'X', 'T', '2') || fourCC == DdsFourCC('D', 'X', 'T', '4')) {
        kind = Kind::Undecoded;  // accepted; the picture stays cleared
    } else {
        return false;
    }
    const int64_t size = decode::PixelBytes(width, height, 4);
    if (size < 0) return false;
    // Blocks follow the header row by row. All of them must be there before
    // the picture is allocated; only whole blocks are decoded.
    const size_t available = data.size() > kHeaderSize ? (data.size() - kHeaderSize) / blockSize : 0;
    if (available < decode::BlocksNeeded(width, height, 4, 4)) return false;
    auto pixels = decode::AllocatePixels(size);
    const size_t blocksX = static_cast<size_t>(width / 4), blocksY = static_cast<size_t>(height / 4);
    const size_t count = blocksX * blocksY;
    for (size_t i = 0; i < count; ++i) {
        Colour texels[16] = {};
        DecodeBlock(kind, data.data() + kHeaderSize + i * blockSize, texels);
        if (kind == Kind::Undecoded) continue;
        const size_t bx = i % blocksX, by = i / blocksX;
        for (int t = 0; t < 16; ++t) {
            uint8_t* p = pixels.get() + ((by * 4 + t / 4) * static_cast<size_t>(width) + bx * 4 + t % 4) * 4;
            std::memcpy(p, &texels[t], 4);
        }
    }
    image.SetPixels(width, height, PixelFormat::Standard(FORMAT_A8R8G8B8), std::move(pixels));
    return true;
}

}  // namespace cvcore
