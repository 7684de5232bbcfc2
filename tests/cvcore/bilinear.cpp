#include <gtest/gtest.h>

#include <algorithm>
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

Image RandomImage(int32_t w, int32_t h, const PixelFormat& f, uint32_t seed) {
    Image image(w, h, f);
    std::mt19937 rng(seed);
    for (int32_t i = 0; i < image.GetPitch() * h; ++i) image.GetPixels()[i] = static_cast<uint8_t>(rng());
    return image;
}

struct Channel {
    uint32_t mask;
};

// A channel as a value with its top bit at bit 7 (low bits zero).
uint32_t Align8(uint32_t pixel, uint32_t mask) {
    const int top = 31 - __builtin_clz(mask);
    const uint32_t v = pixel & mask;
    return top >= 7 ? (v >> (top - 7)) & 0xFF : (v << (7 - top)) & 0xFF;
}

uint32_t Unalign8(uint32_t v, uint32_t mask) {
    const int top = 31 - __builtin_clz(mask);
    return (top >= 7 ? v << (top - 7) : v >> (7 - top)) & mask;
}

// The filtering rule written out plainly: blend each channel horizontally in
// both rows, then vertically, with weightBits-bit weights. weightBits 16
// means the channels are first aligned to 8 bits.
uint32_t Filter(const PixelFormat& f, uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t fx16, uint32_t fy16) {
    int weightBits = 16;
    switch (f.StandardIndex()) {
    case FORMAT_R8G8B8:
    case FORMAT_A8R8G8B8: weightBits = 8; break;
    case FORMAT_R5G6B5:
    case FORMAT_A1R5G5B5: weightBits = 5; break;
    case FORMAT_A4R4G4B4: weightBits = 4; break;
    default: break;
    }
    const uint32_t one = 1u << weightBits, fx = fx16 >> (16 - weightBits), fy = fy16 >> (16 - weightBits);
    const auto blend = [&](uint32_t p, uint32_t q, uint32_t w) { return (p * (one - w) + q * w) >> weightBits; };
    std::vector<uint32_t> masks = {f.RedMask(), f.GreenMask(), f.BlueMask(), f.AlphaMask()};
    uint32_t out = 0;
    if (f.StandardIndex() == FORMAT_A1R5G5B5) {
        masks.pop_back();
        out = a & 0x8000;
    }
    for (uint32_t m : masks) {
        if (!m) continue;
        if (weightBits == 16) {
            out |= Unalign8(blend(blend(Align8(a, m), Align8(b, m), fx), blend(Align8(c, m), Align8(d, m), fx), fy), m);
        } else {
            const int low = __builtin_ctz(m);
            const auto v = [&](uint32_t p) { return (p & m) >> low; };
            out |= (blend(blend(v(a), v(b), fx), blend(v(c), v(d), fx), fy) << low) & m;
        }
    }
    return out;
}

// Filters src into a W x H image with the given start and step per axis.
std::vector<uint32_t> Reference(const Image& src, int32_t W, int32_t H, uint32_t x0, uint32_t stepX, uint32_t y0,
                                uint32_t stepY) {
    const PixelFormat& f = src.GetFormat();
    const int bytes = f.BytesPerPixel();
    const auto at = [&](int32_t x, int32_t y) {
        x = std::min(x, src.GetWidth() - 1);
        y = std::min(y, src.GetHeight() - 1);
        return Read(src.GetPixels() + y * src.GetPitch() + x * bytes, bytes);
    };
    std::vector<uint32_t> out;
    for (int32_t r = 0; r < H; ++r) {
        const uint32_t y = y0 + r * stepY;
        const int32_t sy = static_cast<int32_t>(y >> 16);
        const int32_t ny = r == H - 1 ? sy : sy + 1;
        for (int32_t i = 0; i < W; ++i) {
            const uint32_t x = x0 + i * stepX;
            const int32_t sx = static_cast<int32_t>(x >> 16);
            out.push_back(Filter(f, at(sx, sy), at(sx + 1, sy), at(sx, ny), at(sx + 1, ny), x & 0xFFFF, y & 0xFFFF));
        }
    }
    return out;
}

std::vector<uint32_t> Pixels(const Image& image) {
    std::vector<uint32_t> out;
    const int bytes = image.GetFormat().BytesPerPixel();
    for (int32_t y = 0; y < image.GetHeight(); ++y)
        for (int32_t x = 0; x < image.GetWidth(); ++x)
            out.push_back(Read(image.GetPixels() + y * image.GetPitch() + x * bytes, bytes));
    return out;
}

std::vector<PixelFormat> FilteredFormats() {
    return {PixelFormat::Standard(FORMAT_INTENSITY8), PixelFormat::Standard(FORMAT_R3G3B2),
            PixelFormat::Standard(FORMAT_R5G6B5), PixelFormat::Standard(FORMAT_R8G8B8),
            PixelFormat::Standard(FORMAT_A1R5G5B5), PixelFormat::Standard(FORMAT_A4R4G4B4),
            PixelFormat::Standard(FORMAT_A8R8G8B8),
            // Non-standard layouts take the generic routines.
            PixelFormat(24, 0xFF, 0xFF00, 0xFF0000, 0), PixelFormat(16, 0x7C00, 0x3E0, 0x1F, 0),
            PixelFormat(PIXELFORMAT_INTENSITY | 16, 0, 0, 0xFFF0, 0xF)};
}

}  // namespace

// Shrinking 256 -> 128 steps 131072 from 32768; enlarging 128 -> 256 steps
// 32639 from 0; doubling 2 -> 4 steps 21845 from 0. (Each axis is stepped
// on its own, so flat pictures check the steps of both.)
TEST(Bilinear, BlitFollowsTheSteppingAndTheRule) {
    struct Case {
        int32_t w, h, W, H;
        uint32_t x0, stepX, y0, stepY;
    };
    const Case cases[] = {{256, 8, 128, 4, 32768, 131072, 32768, 131072},
                          {6, 256, 3, 128, 32768, 131072, 32768, 131072},
                          {128, 2, 256, 4, 0, 32639, 0, 21845},
                          {3, 128, 5, 256, 0, 32768, 0, 32639},
                          {2, 2, 4, 4, 0, 21845, 0, 21845},
                          {10, 3, 3, 7, 65536 * 10 / 3 / 2 - 32768, 65536 * 10 / 3, 0, 65536 * 2 / 6},
                          {5, 5, 1, 1, 5 * 65536 / 2 - 32768, 5 * 65536, 5 * 65536 / 2 - 32768, 5 * 65536}};
    uint32_t seed = 10;
    for (const PixelFormat& f : FilteredFormats()) {
        for (const Case& c : cases) {
            const Image src = RandomImage(c.w, c.h, f, ++seed);
            Image dst(c.W, c.H, f);
            ASSERT_TRUE(dst.Blit(src, BLIT_FILTER));
            ASSERT_EQ(Pixels(dst), Reference(src, c.W, c.H, c.x0, c.stepX, c.y0, c.stepY))
                << "bits " << std::hex << f.Bits() << " masks " << f.RedMask() << " " << std::dec << c.w << "->" << c.W;
        }
    }
}

TEST(Bilinear, DoublingKeepsTheFirstPixelAndTheLastRowPairsWithItself) {
    const Image src = RandomImage(2, 2, PixelFormat::Standard(FORMAT_A8R8G8B8), 99);
    Image dst(4, 4, PixelFormat::Standard(FORMAT_A8R8G8B8));
    ASSERT_TRUE(dst.Blit(src, BLIT_FILTER));
    EXPECT_EQ(Read(dst.GetPixels(), 4), Read(src.GetPixels(), 4));
}

TEST(Bilinear, TunedRoutinesEqualThePortableOnes) {
    std::mt19937 rng(5);
    std::vector<uint8_t> a(4 * 300), b(4 * 300);
    for (auto& v : a) v = static_cast<uint8_t>(rng());
    for (auto& v : b) v = static_cast<uint8_t>(rng());
    for (int k : {FORMAT_R5G6B5, FORMAT_A1R5G5B5, FORMAT_A4R4G4B4, FORMAT_R8G8B8, FORMAT_A8R8G8B8}) {
        const PixelFormat f = PixelFormat::Standard(k);
        auto tuned = BuildConverter(f, f, CONVERT_SCALE | CONVERT_FILTER, RoutineChoice::Fastest);
        auto portable = BuildConverter(f, f, CONVERT_SCALE | CONVERT_FILTER, RoutineChoice::Portable);
        ASSERT_TRUE(tuned->row && portable->row);
        for (uint32_t yf : {0u, 1u, 2047u, 2048u, 32768u, 65535u}) {
            std::vector<uint8_t> o1(4 * 400, 0), o2(4 * 400, 0);
            RowParams p1{o1.data(), a.data(), b.data(), 400, 12345, 48611, yf, 300};
            RowParams p2 = p1;
            p2.dest = o2.data();
            tuned->row(*tuned, p1);
            portable->row(*portable, p2);
            ASSERT_EQ(o1, o2) << "format " << k << " yFraction " << yf;
        }
    }
}

TEST(Bilinear, IndexedSurfacesScaleWithNearestSampling) {
    PixelFormat f = PixelFormat::Standard(FORMAT_INDEXED8);
    Image src(4, 1, f);
    for (int i = 0; i < 4; ++i) src.GetPixels()[i] = static_cast<uint8_t>(10 * i + 1);
    Image dst(2, 1, f);
    ASSERT_TRUE(dst.Blit(src, BLIT_FILTER));
    // step 131072, start 65536: columns 1 and 3.
    EXPECT_EQ(dst.GetPixels()[0], 11);
    EXPECT_EQ(dst.GetPixels()[1], 31);
}
