#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "cvcore/blitter.h"
#include "cvcore/image.h"

using namespace cvcore;

namespace {

uint32_t Read(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int k = 0; k < bytes; ++k) v |= uint32_t{p[k]} << (8 * k);
    return v;
}

void Write(uint8_t* p, int bytes, uint32_t v) {
    for (int k = 0; k < bytes; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}

// Converts one pixel through a 1 x 1 blit.
uint32_t ConvertPixel(const PixelFormat& to, const PixelFormat& from, uint32_t pixel) {
    uint8_t s[4] = {}, d[4] = {};
    Write(s, from.BytesPerPixel(), pixel);
    Surface src(1, 1, 4, from, s), dst(1, 1, 4, to, d);
    EXPECT_TRUE(dst.Blit(src, BLIT_COPY));
    return Read(d, to.BytesPerPixel());
}

Image RandomImage(int32_t w, int32_t h, const PixelFormat& f, uint32_t seed) {
    Image image(w, h, f);
    std::mt19937 rng(seed);
    const size_t bytes = static_cast<size_t>(image.GetPitch()) * static_cast<size_t>(h);
    for (size_t i = 0; i < bytes; ++i) image.GetPixels()[i] = static_cast<uint8_t>(rng());
    return image;
}

const PixelFormat kStd[8] = {PixelFormat::Standard(0), PixelFormat::Standard(1), PixelFormat::Standard(2),
                             PixelFormat::Standard(3), PixelFormat::Standard(4), PixelFormat::Standard(5),
                             PixelFormat::Standard(6), PixelFormat::Standard(7)};

}  // namespace

TEST(PixelFormat, DerivedSizesTopBitsAndSameness) {
    const PixelFormat& f = kStd[FORMAT_A1R5G5B5];
    EXPECT_EQ(f.BytesPerPixel(), 2);
    EXPECT_EQ(f.RedSize(), 5);
    EXPECT_EQ(f.AlphaSize(), 1);
    EXPECT_EQ(f.TopBit(CHANNEL_ALPHA), 15);
    EXPECT_EQ(kStd[FORMAT_R8G8B8].TopBit(CHANNEL_ALPHA), -1);
    EXPECT_EQ(kStd[FORMAT_INTENSITY8].BytesPerPixel(), 1);
    EXPECT_TRUE(kStd[FORMAT_INTENSITY8].IsIntensity());
    for (int k = 0; k < 8; ++k) EXPECT_EQ(kStd[k].StandardIndex(), k);
    // Same format ignores palette contents but not whether there is one.
    uint32_t palette[256] = {1, 2, 3};
    PixelFormat a(8, 0, 0, 0xFF, 0, palette);
    EXPECT_TRUE(a.IsSameFormat(kStd[0]));
    EXPECT_FALSE(PixelFormat(8, 0, 0, 0xFF, 0).IsSameFormat(kStd[0]));
    PixelFormat copy(a);
    EXPECT_NE(copy.Palette(), a.Palette());
    EXPECT_EQ(copy.Palette()[2], 3u);
    EXPECT_EQ(TopBit(0), -1);
    EXPECT_EQ(LowBit(0x7E0), 5);
}

TEST(Blitter, WorkedConversions) {
    EXPECT_EQ(ConvertPixel(kStd[FORMAT_A8R8G8B8], kStd[FORMAT_R5G6B5], 0xFFFF), 0xFFF8FCF8u);
    EXPECT_EQ(ConvertPixel(kStd[FORMAT_A1R5G5B5], kStd[FORMAT_A8R8G8B8], 0x80FF8040), 0xFE08u);
    EXPECT_EQ(ConvertPixel(kStd[FORMAT_R5G6B5], kStd[FORMAT_A8R8G8B8], 0x80FF8040), 0xFC08u);
    EXPECT_EQ(ConvertPixel(kStd[FORMAT_A4R4G4B4], kStd[FORMAT_R8G8B8], 0x123456) >> 12, 0xFu);
    EXPECT_EQ(ConvertPixel(kStd[FORMAT_INTENSITY8], kStd[FORMAT_R8G8B8], 0xFFFFFF), 254u);
    EXPECT_EQ(Intensity(255, 255, 255), 254u);
}

// The documented formulas of a few specialised pairs, over every input.
TEST(Blitter, SpecialisedPairsFollowTheirFormulas) {
    for (uint32_t p = 0; p < 65536; ++p) {
        const uint32_t r5 = p >> 11, g6 = (p >> 5) & 63, b5 = p & 31;
        ASSERT_EQ(ConvertPixel(kStd[FORMAT_A8R8G8B8], kStd[FORMAT_R5G6B5], p),
                  0xFF000000u | (r5 << 19) | (g6 << 10) | (b5 << 3));
    }
    for (uint32_t v = 0; v < 256; ++v) {
        ASSERT_EQ(ConvertPixel(kStd[FORMAT_R5G6B5], kStd[FORMAT_INTENSITY8], v),
                  ((v >> 3) << 11) | ((v >> 2) << 5) | (v >> 3));
        ASSERT_EQ(ConvertPixel(kStd[FORMAT_R5G6B5], kStd[FORMAT_R3G3B2], v),
                  ((v >> 5) << 13) | (((v >> 2) & 7) << 8) | ((v & 3) << 3));
    }
    std::mt19937 rng(7);
    for (int i = 0; i < 20000; ++i) {
        const uint32_t p = rng();
        ASSERT_EQ(ConvertPixel(kStd[FORMAT_R5G6B5], kStd[FORMAT_A8R8G8B8], p),
                  ((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x001F));
    }
}

// Runs a converter over one random row and returns the destination bytes.
static std::vector<uint8_t> RunRow(const Converter& c, const std::vector<uint8_t>& source, int32_t count, uint32_t x,
                                   uint32_t step) {
    std::vector<uint8_t> dest(static_cast<size_t>(count) * 4 + 8, 0xCD);
    RowParams row{dest.data(), source.data(), source.data(), count, x, step, 0, count};
    c.row(c, row);
    return dest;
}

TEST(Blitter, EveryStandardPairEqualsTheGenericRules) {
    std::mt19937 rng(1);
    std::vector<uint8_t> source(4 * 512 + 8);
    for (auto& b : source) b = static_cast<uint8_t>(rng());
    PixelFormat indexed = kStd[FORMAT_INDEXED8];
    for (int i = 0; i < 256; ++i) indexed.Palette()[i] = rng();
    for (int s = 0; s < 8; ++s) {
        for (int d = 1; d < 8; ++d) {
            if (s == d) continue;
            const PixelFormat& from = s == 0 ? indexed : kStd[s];
            for (uint32_t flags : {uint32_t{CONVERT_CONVERT}, uint32_t{CONVERT_CONVERT | CONVERT_SCALE}}) {
                auto fast = BuildConverter(kStd[d], from, flags, RoutineChoice::Fastest);
                auto generic = BuildConverter(kStd[d], from, flags, RoutineChoice::Generic);
                ASSERT_TRUE(fast->row && generic->row) << s << " -> " << d;
                if (fast->prepare) {
                    ASSERT_TRUE(fast->prepare(*fast) && generic->prepare(*generic));
                }
                const uint32_t step = (flags & CONVERT_SCALE) ? 45000 : 0;
                for (int32_t count : {512, 509, 3}) {
                    EXPECT_EQ(RunRow(*fast, source, count, 1234, step), RunRow(*generic, source, count, 1234, step))
                        << s << " -> " << d << " flags " << flags << " count " << count;
                }
            }
        }
    }
}

TEST(Blitter, ConversionsThatCannotBeMadeFailAndDrawNothing) {
    Image src = RandomImage(4, 4, kStd[FORMAT_A8R8G8B8], 3);
    Image dst(4, 4, kStd[FORMAT_INDEXED8]);
    std::memset(dst.GetPixels(), 9, 16);
    EXPECT_FALSE(dst.Blit(src, BLIT_COPY));
    EXPECT_FALSE(dst.Blit(src, BLIT_FILTER));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(dst.GetPixels()[i], 9);
    Image empty;
    EXPECT_TRUE(dst.Blit(empty, BLIT_COPY));
    EXPECT_EQ(dst.GetPixels()[0], 9);
}

TEST(Blitter, CopyModesCopyTheOverlap) {
    // Equal formats and sizes, different pitches: rows unchanged.
    std::vector<uint8_t> a(3 * 20, 0), b(3 * 12, 0xEE);
    for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<uint8_t>(i);
    Surface src(3, 3, 20, kStd[FORMAT_A8R8G8B8], a.data()), dst(3, 3, 12, kStd[FORMAT_A8R8G8B8], b.data());
    ASSERT_TRUE(dst.Blit(src, BLIT_COPY));
    for (int y = 0; y < 3; ++y) EXPECT_EQ(0, std::memcmp(&b[y * 12], &a[y * 20], 12));
    // A larger source in mode 0 only fills the top-left part.
    Image big = RandomImage(8, 8, kStd[FORMAT_R5G6B5], 4);
    Image small(3, 2, kStd[FORMAT_R5G6B5]);
    ASSERT_TRUE(small.Blit(big, BLIT_COPY));
    for (int y = 0; y < 2; ++y) EXPECT_EQ(0, std::memcmp(small.GetPixels() + y * 6, big.GetPixels() + y * 16, 6));
    // Mode 0 with conversion also converts only the overlap.
    Image wide(5, 5, kStd[FORMAT_A8R8G8B8]);
    std::memset(wide.GetPixels(), 0x11, 100);
    ASSERT_TRUE(wide.Blit(small, BLIT_COPY));
    EXPECT_EQ(Read(wide.GetPixels() + 4 * 3, 4), 0x11111111u);
    EXPECT_EQ(Read(wide.GetPixels() + 20 * 2, 4), 0x11111111u);
    EXPECT_EQ(Read(wide.GetPixels(), 4), ConvertPixel(kStd[7], kStd[3], Read(small.GetPixels(), 2)));
}

TEST(Blitter, ConvertingScaleSamplesTheNearestPixel) {
    // 24-bit into a 32-bit surface of another size: nearest, even in mode 2.
    const int32_t w = 7, h = 5, W = 11, H = 13;
    Image src = RandomImage(w, h, kStd[FORMAT_R8G8B8], 5);
    Image dst(W, H, kStd[FORMAT_A8R8G8B8]);
    ASSERT_TRUE(dst.Blit(src, BLIT_FILTER));
    const uint32_t stepX = (w * 65536) / W, stepY = (h * 65536) / H;
    for (int32_t y = 0; y < H; ++y) {
        for (int32_t x = 0; x < W; ++x) {
            const uint32_t sx = (stepX / 2 + x * stepX) >> 16, sy = (stepY / 2 + y * stepY) >> 16;
            const uint32_t expect = 0xFF000000u | Read(src.GetPixels() + sy * src.GetPitch() + sx * 3, 3);
            ASSERT_EQ(Read(dst.GetPixels() + y * dst.GetPitch() + x * 4, 4), expect) << x << "," << y;
        }
    }
}

TEST(Blitter, FillWritesOnlyTheSelectedChannels) {
    Image image(3, 2, kStd[FORMAT_A8R8G8B8]);
    std::memset(image.GetPixels(), 0x5A, 24);
    image.Fill(0x80FF0000, FILL_ALPHA);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Read(image.GetPixels() + 4 * i, 4), 0x805A5A5Au);
    image.Fill(0x12345678, FILL_COLOR);
    EXPECT_EQ(Read(image.GetPixels(), 4), 0x80345678u);
    Image r565(2, 2, kStd[FORMAT_R5G6B5]);
    r565.Fill(0xFFFF8040, FILL_COLOR | FILL_ALPHA);
    EXPECT_EQ(Read(r565.GetPixels() + 6, 2), 0xFC08u);
    Image grey(2, 1, kStd[FORMAT_INTENSITY8]);
    grey.Fill(0xFFFFFFFF, FILL_COLOR);
    EXPECT_EQ(grey.GetPixels()[1], 254);
}

TEST(Blitter, FillOfAPalettedSurfaceTakesTheFirstNearestEntry) {
    PixelFormat f = kStd[FORMAT_INDEXED8];
    for (int i = 0; i < 256; ++i) f.Palette()[i] = 0xFF000000;  // far from the colour below
    f.Palette()[3] = 0xFF100000 | 0x80;
    f.Palette()[7] = 0xFF300000 | 0x80;  // both 16 away in red
    Image image(4, 1, f);
    image.Fill(0x00200080, FILL_COLOR);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(image.GetPixels()[i], 3);
}

TEST(Blitter, IndexedSourcesUseTheCurrentPalette) {
    PixelFormat f = kStd[FORMAT_INDEXED8];
    f.Palette()[1] = 0x00112233;
    Image src(2, 1, f);
    src.GetPixels()[0] = 1;
    Image dst(2, 1, kStd[FORMAT_A8R8G8B8]);
    ASSERT_TRUE(dst.Blit(src, BLIT_COPY));
    // The palette's own alpha is replaced: indexed formats carry no alpha.
    EXPECT_EQ(Read(dst.GetPixels(), 4), 0xFF112233u);
    EXPECT_EQ(Read(dst.GetPixels() + 4, 4), 0xFF000000u);
    src.GetFormat().Palette()[1] = 0x00445566;
    ASSERT_TRUE(dst.Blit(src, BLIT_COPY));
    EXPECT_EQ(Read(dst.GetPixels(), 4), 0xFF445566u);
    // Indexed to indexed copies indices.
    Image copy(2, 1, kStd[FORMAT_INDEXED8]);
    Image src2(2, 1, PixelFormat(8, 0, 0, 0xFF, 0, f.Palette()));
    src2.GetPixels()[1] = 200;
    ASSERT_TRUE(copy.Blit(src2, BLIT_SCALE));
    EXPECT_EQ(copy.GetPixels()[1], 200);
}

TEST(ConverterCache, HitsReuseAndCollisionsReplace) {
    Converter* first = GetConverter(kStd[FORMAT_R5G6B5], kStd[FORMAT_A8R8G8B8], CONVERT_CONVERT);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetConverter(kStd[FORMAT_R5G6B5], kStd[FORMAT_A8R8G8B8], CONVERT_CONVERT), first);
    const int32_t slot = ConverterSlot(kStd[FORMAT_R5G6B5], kStd[FORMAT_A8R8G8B8], CONVERT_CONVERT);
    EXPECT_EQ(CachedConverter(slot), first);
    // The filter bit is dropped when converting: the same converter.
    EXPECT_EQ(GetConverter(kStd[FORMAT_R5G6B5], kStd[FORMAT_A8R8G8B8], CONVERT_CONVERT | CONVERT_FILTER), first);
    // Find another pair with the same slot: it takes the slot over.
    bool replaced = false;
    for (int s = 1; s < 8 && !replaced; ++s) {
        for (int d = 1; d < 8 && !replaced; ++d) {
            if (s == d || (s == FORMAT_A8R8G8B8 && d == FORMAT_R5G6B5)) continue;
            if (ConverterSlot(kStd[d], kStd[s], CONVERT_CONVERT) != slot) continue;
            Converter* other = GetConverter(kStd[d], kStd[s], CONVERT_CONVERT);
            ASSERT_NE(other, nullptr);
            EXPECT_EQ(CachedConverter(slot), other);
            EXPECT_TRUE(other->source.IsSameFormat(kStd[s]));
            replaced = true;
        }
    }
    EXPECT_TRUE(replaced);
    // A8R8G8B8: hash = 31 ^ 7 ^ 15 ^ 23 ^ 4; R5G6B5: -1 ^ 4 ^ 10 ^ 15 ^ 2.
    const uint32_t hs = static_cast<uint32_t>(31 ^ 7 ^ 15 ^ 23 ^ 4), hd = static_cast<uint32_t>(-1 ^ 4 ^ 10 ^ 15 ^ 2);
    EXPECT_EQ(slot, static_cast<int32_t>((((2u << 3) ^ (hs & 7)) << 1) ^ (hd & 15)));
}
