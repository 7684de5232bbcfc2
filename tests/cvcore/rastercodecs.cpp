#include <gtest/gtest.h>

#include <cstring>

#include "cvcore/codecs.h"
#include "imagefixtures.h"

using namespace cvcore;
using fixtures::ExpectSameAsImageMagick;
using fixtures::Plasma;
using fixtures::PlasmaAlpha;

TEST(TgaCodec, MatchesImageMagick) {
    ExpectSameAsImageMagick("tga", PlasmaAlpha(), "", "alpha.tga");
    ExpectSameAsImageMagick("tga", PlasmaAlpha(), "-compress RLE", "alpha-rle.tga");
    ExpectSameAsImageMagick("tga", Plasma(), "-type truecolor", "rgb.tga");
    ExpectSameAsImageMagick("tga", Plasma(), "-type truecolor -compress RLE", "rgb-rle.tga");
    ExpectSameAsImageMagick("tga", Plasma(), "-type palette", "mapped.tga");
    ExpectSameAsImageMagick("tga", Plasma(), "-type palette -compress RLE", "mapped-rle.tga");
    ExpectSameAsImageMagick("tga", Plasma(), "-orient TopLeft", "top-down.tga");
}

TEST(BmpCodec, MatchesImageMagick) {
    ExpectSameAsImageMagick("bmp", Plasma(), "-monochrome", "BMP3:mono.bmp");
    ExpectSameAsImageMagick("bmp", Plasma(), "-colors 16 -type palette -compress None", "BMP3:16.bmp");
    ExpectSameAsImageMagick("bmp", Plasma(), "-type palette -compress None", "BMP3:256.bmp");
    ExpectSameAsImageMagick("bmp", Plasma(), "-type palette -compress RLE", "BMP3:rle8.bmp");
    ExpectSameAsImageMagick("bmp", Plasma(), "-type truecolor", "BMP3:24.bmp");
    ExpectSameAsImageMagick("bmp", PlasmaAlpha(), "-define bmp3:alpha=true", "BMP3:32.bmp");
    ExpectSameAsImageMagick("bmp", Plasma(), "-type truecolor", "BMP2:os2.bmp");
}

TEST(PcxCodec, MatchesImageMagick) {
    ExpectSameAsImageMagick("pcx", Plasma(), "-type palette", "PCX:one-plane.pcx");
    ExpectSameAsImageMagick("pcx", Plasma(), "-type truecolor", "PCX:three-planes.pcx");
}

TEST(SgiCodec, MatchesImageMagick) {
    ExpectSameAsImageMagick("sgi", Plasma(), "-depth 8 -compress None", "SGI:rgb.sgi");
    ExpectSameAsImageMagick("rgb", Plasma(), "-depth 8 -compress RLE", "SGI:rgb-rle.rgb");
    ExpectSameAsImageMagick("rgba", PlasmaAlpha(), "-depth 8 -compress None", "SGI:rgba.rgba");
    ExpectSameAsImageMagick("rgba", PlasmaAlpha(), "-depth 8 -compress RLE", "SGI:rgba-rle.rgba");
    ExpectSameAsImageMagick("bw", Plasma(), "-depth 8 -colorspace gray -compress None", "SGI:grey.bw");
    ExpectSameAsImageMagick("bw", Plasma(), "-depth 8 -colorspace gray -compress RLE", "SGI:grey-rle.bw");
}

namespace {

// Little helpers to assemble files byte by byte.
struct Bytes {
    std::vector<uint8_t> b;
    Bytes& u8(uint32_t v) {
        b.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    Bytes& u16(uint32_t v) { return u8(v).u8(v >> 8); }
    Bytes& u32(uint32_t v) { return u16(v).u16(v >> 16); }
    Bytes& be16(uint32_t v) { return u8(v >> 8).u8(v); }
    Bytes& be32(uint32_t v) { return be16(v >> 16).be16(v); }
    Bytes& fill(size_t n, uint8_t v = 0) {
        b.insert(b.end(), n, v);
        return *this;
    }
    Bytes& raw(std::initializer_list<uint8_t> v) {
        b.insert(b.end(), v);
        return *this;
    }
};

Bytes TgaHeader(uint8_t type, uint16_t mapLength, uint8_t mapBits, uint16_t w, uint16_t h, uint8_t depth,
                uint8_t descriptor) {
    Bytes t;
    t.u8(0).u8(mapLength ? 1 : 0).u8(type).u16(0).u16(mapLength).u8(mapBits).u16(0).u16(0).u16(w).u16(h);
    t.u8(depth).u8(descriptor);
    return t;
}

uint32_t Pixel32(const Image& image, int x, int y) {
    uint32_t v;
    std::memcpy(&v, image.GetPixels() + y * image.GetPitch() + x * 4, 4);
    return v;
}

uint32_t Pixel16(const Image& image, int x, int y) {
    return image.GetPixels()[y * image.GetPitch() + x * 2] | image.GetPixels()[y * image.GetPitch() + x * 2 + 1] << 8;
}

}  // namespace

TEST(TgaCodec, RunLengthPacketsStayInsideTheirRow) {
    // 4 x 2, bottom-up: a repeat packet covering a whole row, then a repeat
    // packet of 6 that must stop at the end of the second row.
    Bytes t = TgaHeader(10, 0, 0, 4, 2, 32, 0);
    t.u8(0x83).u32(0x11223344);
    t.u8(0x85).u32(0x55667788);
    Image image;
    ASSERT_TRUE(fixtures::Decode("tga", t.b, image));
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(Pixel32(image, x, 1), 0x11223344u);
        EXPECT_EQ(Pixel32(image, x, 0), 0x55667788u);
    }
    // A raw packet past the row end is cut too; the next row starts with
    // the next packet.
    Bytes r = TgaHeader(10, 0, 0, 2, 2, 32, 0x20);
    r.u8(0x02).u32(1).u32(2).u32(3).u8(0x81).u32(4);
    ASSERT_TRUE(fixtures::Decode("tga", r.b, image));
    EXPECT_EQ(Pixel32(image, 1, 0), 2u);
    EXPECT_EQ(Pixel32(image, 0, 1), 4u);
    EXPECT_EQ(Pixel32(image, 1, 1), 4u);
}

TEST(TgaCodec, SixteenBitKeepsTheTopBitAsAlpha) {
    Bytes t = TgaHeader(2, 0, 0, 2, 1, 16, 0);
    t.u16(0xFC00).u16(0x7C00);
    Image image;
    ASSERT_TRUE(fixtures::Decode("tga", t.b, image));
    EXPECT_TRUE(image.GetFormat().IsSameFormat(PixelFormat::Standard(FORMAT_A1R5G5B5)));
    EXPECT_EQ(Pixel16(image, 0, 0), 0xFC00u);
    EXPECT_EQ(Pixel16(image, 1, 0), 0x7C00u);
}

TEST(TgaCodec, ColourMapsAreCheckedAndIndicesBeyondThemReadAsEntryZero) {
    Image image;
    EXPECT_FALSE(fixtures::Decode("tga", TgaHeader(1, 2, 16, 1, 1, 8, 0).u32(0).u8(0).b, image));
    EXPECT_FALSE(fixtures::Decode("tga", TgaHeader(1, 257, 24, 1, 1, 8, 0).fill(257 * 3 + 1).b, image));
    EXPECT_FALSE(fixtures::Decode("tga", TgaHeader(3, 0, 0, 1, 1, 8, 0).u8(0).b, image));
    EXPECT_FALSE(fixtures::Decode("tga", TgaHeader(2, 0, 0, 1, 1, 15, 0).u16(0).b, image));
    EXPECT_EQ(image.GetWidth(), 0);
    Bytes t = TgaHeader(1, 2, 24, 3, 1, 8, 0x20);
    t.raw({0x10, 0x20, 0x30, 0x40, 0x50, 0x60}).raw({1, 0, 200});
    ASSERT_TRUE(fixtures::Decode("tga", t.b, image));
    Image argb(3, 1, PixelFormat::Standard(FORMAT_A8R8G8B8));
    ASSERT_TRUE(argb.Blit(image, BLIT_COPY));
    EXPECT_EQ(Pixel32(argb, 0, 0), 0xFF605040u);
    EXPECT_EQ(Pixel32(argb, 1, 0), 0xFF302010u);
    EXPECT_EQ(Pixel32(argb, 2, 0), 0xFF302010u);
}

TEST(RasterCodecs, TruncatedAndEmptyPicturesAreRefused) {
    Image image;
    Bytes full = TgaHeader(2, 0, 0, 2, 2, 24, 0);
    full.fill(12, 7);
    ASSERT_TRUE(fixtures::Decode("tga", full.b, image));
    Image kept = image;
    for (size_t cut : {size_t{0}, size_t{10}, size_t{18}, full.b.size() - 1}) {
        std::vector<uint8_t> part(full.b.begin(), full.b.begin() + static_cast<ptrdiff_t>(cut));
        EXPECT_FALSE(fixtures::Decode("tga", part, image)) << cut;
    }
    EXPECT_EQ(image.GetPixels()[0], 7);  // unchanged
    EXPECT_FALSE(fixtures::Decode("tga", TgaHeader(2, 0, 0, 0, 5, 24, 0).b, image));
    // 65535 x 65535 x 4 bytes is more than any picture we accept.
    EXPECT_FALSE(fixtures::Decode("tga", TgaHeader(2, 0, 0, 65535, 65535, 32, 0).fill(64).b, image));
    for (const char* codec : {"bmp", "pcx", "sgi", "png", "jpg", "dds", "fxt1"}) {
        EXPECT_FALSE(fixtures::Decode(codec, {}, image)) << codec;
        EXPECT_FALSE(fixtures::Decode(codec, std::vector<uint8_t>(600, 0), image)) << codec;
    }
    EXPECT_EQ(image.GetWidth(), 2);
}

namespace {

Bytes BmpHeader(int32_t w, int32_t h, uint16_t bits, uint32_t compression, uint32_t paletteEntries) {
    Bytes b;
    b.u16(0x4D42).u32(0).u32(0).u32(14 + 40 + paletteEntries * 4);
    b.u32(40).u32(static_cast<uint32_t>(w)).u32(static_cast<uint32_t>(h)).u16(1).u16(bits).u32(compression);
    b.u32(0).u32(0).u32(0).u32(paletteEntries).u32(0);
    return b;
}

}  // namespace

TEST(BmpCodec, RowsAndPadding) {
    // 1 bit, width 33: two 32-bit words per row, first bits most significant.
    Bytes b = BmpHeader(33, 1, 1, 0, 2);
    b.u32(0x00000000).u32(0x00FFFFFF);
    b.raw({0x80, 0x00, 0x00, 0x01}).raw({0x80, 0, 0, 0});
    Image image;
    ASSERT_TRUE(fixtures::Decode("bmp", b.b, image));
    EXPECT_EQ(image.GetPixels()[0], 1);
    EXPECT_EQ(image.GetPixels()[1], 0);
    EXPECT_EQ(image.GetPixels()[31], 1);
    EXPECT_EQ(image.GetPixels()[32], 1);
    // 24 bit, width 5: one filler byte per row; rows bottom-up.
    Bytes c = BmpHeader(5, 2, 24, 0, 0);
    c.fill(15, 0x11).u8(0xEE).fill(15, 0x22).u8(0xEE);
    ASSERT_TRUE(fixtures::Decode("bmp", c.b, image));
    EXPECT_EQ(image.GetPixels()[0], 0x22);
    EXPECT_EQ(image.GetPixels()[14], 0x22);
    EXPECT_EQ(image.GetPixels()[15], 0x11);
    EXPECT_EQ(image.GetPixels()[29], 0x11);
    // An 8-bit picture with a two-entry palette: other indices read as entry 0.
    Bytes e = BmpHeader(4, 1, 8, 0, 2);
    e.u32(0x00112233).u32(0x00445566).raw({1, 0, 200, 255});
    ASSERT_TRUE(fixtures::Decode("bmp", e.b, image));
    const uint32_t* palette = image.GetFormat().Palette();
    EXPECT_EQ(palette[1], 0x00445566u);
    EXPECT_EQ(palette[200], palette[0]);
    EXPECT_EQ(palette[255], 0x00112233u);
    // A negative height stores rows top-down.
    Bytes d = BmpHeader(5, -2, 24, 0, 0);
    d.fill(15, 0x11).u8(0xEE).fill(15, 0x22).u8(0xEE);
    ASSERT_TRUE(fixtures::Decode("bmp", d.b, image));
    EXPECT_EQ(image.GetHeight(), 2);
    EXPECT_EQ(image.GetPixels()[0], 0x11);
}

TEST(BmpCodec, RunLengthTokensStayInsideThePicture) {
    Bytes b = BmpHeader(4, 3, 8, 1, 2);
    b.u32(0).u32(0);
    b.raw({6, 9});              // run of 6 in a row of 4: cut
    b.raw({0, 0});              // next row up
    b.raw({0, 3, 1, 2, 3, 0});  // literal of 3 with its pad byte
    b.raw({0, 2, 1, 1});        // move right 1, up 1
    b.raw({5, 4});              // run from x 4: nothing left in the row
    b.raw({0, 2, 0, 9});        // up past the top row: ends decoding
    b.raw({1, 8});
    Image image;
    ASSERT_TRUE(fixtures::Decode("bmp", b.b, image));
    const uint8_t* p = image.GetPixels();
    EXPECT_EQ(std::vector<uint8_t>(p, p + 12), (std::vector<uint8_t>{0, 0, 0, 0, 1, 2, 3, 0, 9, 9, 9, 9}));
    // 4-bit run-length pictures are accepted and stay cleared; bit fields are refused.
    Bytes f = BmpHeader(2, 2, 4, 2, 16);
    f.fill(64).raw({4, 0x12, 0, 1});
    ASSERT_TRUE(fixtures::Decode("bmp", f.b, image));
    EXPECT_EQ(image.GetPixels()[0], 0);
    Bytes g = BmpHeader(2, 2, 32, 3, 0);
    g.fill(16, 1);
    EXPECT_FALSE(fixtures::Decode("bmp", g.b, image));
}

TEST(PcxCodec, RunsRepeatAndStopAtTheLineEnd) {
    Bytes p;
    p.u8(10).u8(5).u8(1).u8(8).u16(0).u16(0).u16(3).u16(1).u16(72).u16(72).fill(48).u8(0).u8(1).u16(4).u16(1);
    p.fill(128 - p.b.size());
    p.raw({0xC3, 0x07, 0x05});  // three 7s, then a literal 5
    p.raw({0xC9, 0x01});        // a run of 9 into a line of 4: cut
    p.u8(12);
    for (int i = 0; i < 256; ++i) p.u8(i).u8(0).u8(255 - i);
    Image image;
    ASSERT_TRUE(fixtures::Decode("pcx", p.b, image));
    ASSERT_EQ(image.GetWidth(), 4);
    EXPECT_EQ((std::vector<uint8_t>(image.GetPixels(), image.GetPixels() + 8)),
              (std::vector<uint8_t>{7, 7, 7, 5, 1, 1, 1, 1}));
    EXPECT_EQ(image.GetFormat().Palette()[7], 0xFF0700F8u);
}

TEST(SgiCodec, GreyRowsAndBrokenRunLengthData) {
    // A "bw" file (dimension 2), run-length coded: bottom row first.
    Bytes s;
    s.be16(474).u8(1).u8(1).be16(2).be16(3).be16(2).be16(1).fill(104 - 12).be32(0).fill(404);
    const uint32_t data = 512 + 8 + 8;
    s.be32(data).be32(0xFFFFFF00);  // second row's offset lies outside the file
    s.be32(0).be32(0);
    s.raw({0x85, 1, 2, 3, 4, 5, 0});  // a literal of 5 in a row of 3: cut
    Image image;
    ASSERT_TRUE(fixtures::Decode("bw", s.b, image));
    EXPECT_TRUE(image.GetFormat().IsSameFormat(PixelFormat::Standard(FORMAT_INTENSITY8)));
    ASSERT_EQ(image.GetHeight(), 2);
    EXPECT_EQ((std::vector<uint8_t>(image.GetPixels(), image.GetPixels() + 6)),
              (std::vector<uint8_t>{0, 0, 0, 1, 2, 3}));
}
