// FXT1 reader: 128-bit blocks of 8 x 4 texels in the four modes CC-HI,
// CC-CHROMA, CC-ALPHA and CC-MIXED, expanded to 32-bit pixels.
#include <algorithm>
#include <cstring>
#include <vector>

#include "cvcore/codecs.h"
#include "cvcore/image.h"
#include "cvcore/stream.h"
#include "decodeutil.h"

namespace cvcore {

namespace {

constexpr uint32_t kMagic = 0x54455843;  // "CXET"
constexpr size_t kHeaderSize = 16;
constexpr size_t kBlockSize = 16;

// Channels 0 blue, 1 green, 2 red, 3 alpha: the byte order of a pixel.
struct Texel {
    int c[4];
};

constexpr Texel kTransparent = {{0, 0, 0, 0}};

class Block {
public:
    explicit Block(const uint8_t* bytes) {
        for (int i = 0; i < 4; ++i)
            words_[i] =
                bytes[4 * i] | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 | uint32_t{bytes[4 * i + 3]} << 24;
    }
    uint32_t Bits(int first, int count) const {
        uint32_t v = 0;
        for (int i = 0; i < count; ++i) v |= ((words_[(first + i) / 32] >> ((first + i) % 32)) & 1u) << i;
        return v;
    }
    uint32_t Bit(int n) const { return Bits(n, 1); }

private:
    uint32_t words_[4];
};

int Expand5(uint32_t v) { return static_cast<int>((v << 3) | (v >> 2)); }
int Expand6(uint32_t v) { return static_cast<int>((v << 2) | (v >> 4)); }

// A 15-bit colour: blue in the low 5 bits, then green, then red.
Texel Colour15(uint32_t c, int alpha) {
    return {{Expand5(c & 31), Expand5((c >> 5) & 31), Expand5((c >> 10) & 31), alpha}};
}

Texel Mix(const Texel& p, const Texel& q, int wp, int wq, int round, int divisor, bool withAlpha) {
    Texel t;
    for (int k = 0; k < 4; ++k) t.c[k] = (wp * p.c[k] + wq * q.c[k] + round) / divisor;
    if (!withAlpha) t.c[3] = 255;
    return t;
}

// Texel t of a half (t = 4 x row + column) and its index.
using Palette = Texel[8];

void HighResolution(const Block& b, Palette (&halves)[2], uint32_t (&index)[2][16]) {
    const Texel a = Colour15(b.Bits(96, 15), 255), c = Colour15(b.Bits(111, 15), 255);
    for (int i = 0; i < 7; ++i) halves[0][i] = Mix(a, c, 6 - i, i, 2, 6, false);
    halves[0][7] = kTransparent;
    std::copy(halves[0], halves[0] + 8, halves[1]);
    for (int t = 0; t < 16; ++t) {
        index[0][t] = b.Bits(3 * t, 3);
        index[1][t] = b.Bits(48 + 3 * t, 3);
    }
}

void TwoBitIndices(const Block& b, uint32_t (&index)[2][16]) {
    for (int t = 0; t < 16; ++t) {
        index[0][t] = b.Bits(2 * t, 2);
        index[1][t] = b.Bits(32 + 2 * t, 2);
    }
}

void Chroma(const Block& b, Palette (&halves)[2]) {
    for (int i = 0; i < 4; ++i) halves[0][i] = halves[1][i] = Colour15(b.Bits(64 + 15 * i, 15), 255);
}

void Alpha(const Block& b, Palette (&halves)[2]) {
    Texel colours[3];
    for (int i = 0; i < 3; ++i) colours[i] = Colour15(b.Bits(64 + 15 * i, 15), Expand5(b.Bits(109 + 5 * i, 5)));
    if (!b.Bit(124)) {
        for (int i = 0; i < 3; ++i) halves[0][i] = halves[1][i] = colours[i];
        halves[0][3] = halves[1][3] = kTransparent;
        return;
    }
    for (int i = 0; i < 4; ++i) {
        halves[0][i] = Mix(colours[0], colours[1], 3 - i, i, 1, 3, true);
        halves[1][i] = Mix(colours[2], colours[1], 3 - i, i, 1, 3, true);
    }
}

void Mixed(const Block& b, Palette (&halves)[2]) {
    const bool alphaFlag = b.Bit(124) != 0;
    for (int h = 0; h < 2; ++h) {
        const uint32_t ca = b.Bits(64 + 30 * h, 15), cb = b.Bits(79 + 30 * h, 15);
        const uint32_t g = b.Bit(125 + h);
        Texel a = Colour15(ca, 255), c = Colour15(cb, 255);
        a.c[1] = Expand6(((ca >> 5) & 31) << 1 | g);
        if (!alphaFlag) c.c[1] = Expand6(((cb >> 5) & 31) << 1 | (g ^ b.Bit(1 + 32 * h)));
        if (alphaFlag) {
            for (int i = 0; i < 3; ++i) halves[h][i] = Mix(c, a, 2 - i, i, 0, 2, false);
            halves[h][3] = kTransparent;
        } else {
            for (int i = 0; i < 4; ++i) halves[h][i] = Mix(c, a, 3 - i, i, 1, 3, false);
        }
    }
}

void DecodeBlock(const Block& b, uint8_t* topLeft, size_t pitch) {
    Palette halves[2] = {};
    uint32_t index[2][16];
    if (b.Bit(127)) {
        TwoBitIndices(b, index);
        Mixed(b, halves);
    } else if (!b.Bit(126)) {
        HighResolution(b, halves, index);
    } else {
        TwoBitIndices(b, index);
        if (b.Bit(125))
            Alpha(b, halves);
        else
            Chroma(b, halves);
    }
    for (int h = 0; h < 2; ++h) {
        for (int t = 0; t < 16; ++t) {
            const Texel& texel = halves[h][index[h][t]];
            uint8_t* p = topLeft + (t / 4) * pitch + (4 * h + t % 4) * 4;
            for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(texel.c[k]);
        }
    }
}

}  // namespace

bool DecodeFXT1(Image& image, Stream& stream) {
    const std::vector<uint8_t> data = decode::ReadAll(stream);
    ByteReader c(data);
    if (c.U32() != kMagic) return false;
    c.U32();
    const int32_t width = static_cast<int32_t>(c.U32());
    const int32_t height = static_cast<int32_t>(c.U32());
    if (!c.Ok()) return false;
    const int64_t size = decode::PixelBytes(width, height, 4);
    if (size < 0) return false;
    // Every block must be there before the picture is allocated; only whole
    // blocks are decoded and texels beyond them stay clear.
    if ((data.size() - kHeaderSize) / kBlockSize < decode::BlocksNeeded(width, height, 8, 4)) return false;
    auto pixels = decode::AllocatePixels(size);
    const size_t pitch = static_cast<size_t>(width) * 4;
    const size_t blocksX = static_cast<size_t>(width / 8), blocksY = static_cast<size_t>(height / 4);
    const size_t count = blocksX * blocksY;
    for (size_t i = 0; i < count; ++i) {
        const size_t bx = i % blocksX, by = i / blocksX;
        DecodeBlock(Block(data.data() + kHeaderSize + i * kBlockSize), pixels.get() + by * 4 * pitch + bx * 32, pitch);
    }
    image.SetPixels(width, height, PixelFormat::Standard(FORMAT_A8R8G8B8), std::move(pixels));
    return true;
}

}  // namespace cvcore
