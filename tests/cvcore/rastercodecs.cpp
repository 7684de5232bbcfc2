#include <gtest/gtest.h>

#include <cstring>

#include "peakallocation.h"
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
    // A 32-bit picture without an alpha mask is opaque whatever its spare bytes hold.
    ExpectSameAsImageMagick("bmp", PlasmaAlpha(), "-define bmp3:alpha=true", "BMP3:32.bmp", {false, 0, "-alpha off"});
    ExpectSameAsImageMagick("bmp", Plasma(), "-type truecolor", "BMP2:os2.bmp");
}

namespace {

// ImageMagick writes 124-byte headers only: put the same pixels under the
// first infoSize bytes of that header (a 108-byte header is the start of a
// 124-byte one), optionally without compression.
void ExpectSameUnderShorterHeader(const std::string& v5, uint32_t infoSize, bool plain, int tolerance) {
    const std::vector<uint8_t> file = fixtures::ReadFile(v5);
    ASSERT_GT(file.size(), 138u);
    std::vector<uint8_t> shorter(file.begin(), file.begin() + 14 + infoSize);
    shorter[10] = static_cast<uint8_t>(14 + infoSize);
    shorter[14] = static_cast<uint8_t>(infoSize);
    if (plain) shorter[30] = 0;
    shorter.insert(shorter.end(), file.begin() + 138, file.end());
    for (int i = 0; i < 4; ++i) shorter[2 + i] = static_cast<uint8_t>(shorter.size() >> (8 * i));
    const std::string path = v5 + "-" + std::to_string(infoSize) + ".bmp";
    fixtures::WriteFile(path, shorter);
    fixtures::ExpectSameDecoding("bmp", path, {false, tolerance});
}

}  // namespace

TEST(BmpCodec, LongerHeadersAndBitFieldsMatchImageMagick) {
    // 16-bit channels are widened without repeating their bits, so they
    // differ from ImageMagick's in the low bits.
    const struct {
        const char* name;
        std::string source, options;
        int tolerance;
    } pictures[] = {{"v5-24.bmp", Plasma(), "-type truecolor", 0},
                    {"v5-32.bmp", PlasmaAlpha(), "", 0},
                    {"v5-565.bmp", Plasma(), "-define bmp:subtype=RGB565", 7},
                    {"v5-555.bmp", Plasma(), "-define bmp:subtype=RGB555", 7},
                    {"v5-4444.bmp", PlasmaAlpha(), "-define bmp:subtype=ARGB4444", 15}};
    for (const auto& p : pictures) {
        ExpectSameAsImageMagick("bmp", p.source, p.options, std::string("BMP:") + p.name, {false, p.tolerance});
        ExpectSameUnderShorterHeader(fixtures::Path(p.name), 108, false, p.tolerance);
    }
    // Without compression, 16-bit pixels are 5-5-5 with a spare top bit.
    ExpectSameUnderShorterHeader(fixtures::Path("v5-555.bmp"), 40, true, 7);
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

TEST(TgaCodec, RunLengthPacketsContinueIntoTheNextRow) {
    // 4 x 2, bottom-up: a repeat packet of 6 fills the first stored row and
    // two pixels of the next; a raw packet of 2 finishes it.
    Bytes t = TgaHeader(10, 0, 0, 4, 2, 32, 0);
    t.u8(0x85).u32(0x11223344).u8(0x01).u32(5).u32(6);
    Image image;
    ASSERT_TRUE(fixtures::Decode("tga", t.b, image));
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Pixel32(image, x, 1), 0x11223344u);
    EXPECT_EQ(Pixel32(image, 1, 0), 0x11223344u);
    EXPECT_EQ(Pixel32(image, 2, 0), 5u);
    EXPECT_EQ(Pixel32(image, 3, 0), 6u);
    // Packets are cut at the last pixel of the picture.
    Bytes r = TgaHeader(10, 0, 0, 2, 2, 32, 0x20);
    r.u8(0x02).u32(1).u32(2).u32(3).u8(0x82).u32(4);
    ASSERT_TRUE(fixtures::Decode("tga", r.b, image));
    EXPECT_EQ(Pixel32(image, 1, 0), 2u);
    EXPECT_EQ(Pixel32(image, 0, 1), 3u);
    EXPECT_EQ(Pixel32(image, 1, 1), 4u);
    // ImageMagick codes rows apart: code its raw pixels as one sequence of
    // packets, as other writers do, and let ImageMagick read that back.
    for (const char* type : {"truecolor", "truecoloralpha", "palette"}) {
        const std::string raw = fixtures::Path(std::string("raw-") + type + ".tga");
        fixtures::Run("convert '" + PlasmaAlpha() + "' -posterize 3 -type " + type + " -compress None '" + raw + "'");
        std::vector<uint8_t> file = fixtures::ReadFile(raw);
        ASSERT_GT(file.size(), 18u);
        const size_t start = 18 + file[0] + (file[1] ? static_cast<size_t>(file[5] | file[6] << 8) * 3 : 0);
        const size_t bytes = file[16] / 8;
        std::vector<uint8_t> coded(file.begin(), file.begin() + static_cast<ptrdiff_t>(start));
        coded[2] |= 8;  // the run-length variant of the type
        const auto pixel = [&](size_t i) { return file.begin() + static_cast<ptrdiff_t>(start + i * bytes); };
        const size_t count = (file.size() - start) / bytes;
        for (size_t i = 0; i < count;) {
            size_t run = 1;
            while (i + run < count && run < 128 && std::equal(pixel(i), pixel(i + 1), pixel(i + run))) ++run;
            coded.push_back(static_cast<uint8_t>(run > 1 ? 0x80 | (run - 1) : 0));
            coded.insert(coded.end(), pixel(i), pixel(i + 1));
            i += run;
        }
        const std::string path = fixtures::Path(std::string("crossing-") + type + ".tga");
        fixtures::WriteFile(path, coded);
        fixtures::ExpectSameDecoding("tga", path);
    }
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
    // 16-bit pixels without bit fields are X1R5G5B5; 32-bit ones are opaque
    // unless the header names an alpha mask.
    Image argb(2, 1, PixelFormat::Standard(FORMAT_A8R8G8B8));
    ASSERT_TRUE(fixtures::Decode("bmp", BmpHeader(2, 1, 16, 0, 0).u16(0x7C00).u16(0x801F).b, image));
    ASSERT_TRUE(argb.Blit(image, BLIT_COPY));
    EXPECT_EQ(Pixel32(argb, 0, 0), 0xFFF80000u);
    EXPECT_EQ(Pixel32(argb, 1, 0), 0xFF0000F8u);
    ASSERT_TRUE(fixtures::Decode("bmp", BmpHeader(2, 1, 32, 0, 0).u32(0x00112233).u32(0x80445566).b, image));
    ASSERT_TRUE(argb.Blit(image, BLIT_COPY));
    EXPECT_EQ(Pixel32(argb, 0, 0), 0xFF112233u);
    EXPECT_EQ(Pixel32(argb, 1, 0), 0xFF445566u);
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
    // 4-bit run-length pictures are accepted and stay cleared; bit fields
    // that are not one run of bits each are refused.
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

namespace {

Bytes PcxHeader(uint8_t planes, uint16_t width, uint16_t height) {
    Bytes p;
    p.u8(10).u8(5).u8(1).u8(8).u16(0).u16(0).u16(width - 1).u16(height - 1).u16(72).u16(72).fill(48);
    p.u8(0).u8(planes).u16(width).u16(1);
    p.fill(128 - p.b.size());
    return p;
}

Bytes SgiHeader(uint8_t storage, uint16_t width, uint16_t height, uint16_t channels) {
    Bytes s;
    s.be16(474).u8(storage).u8(1).be16(3).be16(width).be16(height).be16(channels).fill(104 - 12).be32(0).fill(404);
    return s;
}

}  // namespace

TEST(RasterCodecs, HostileHeadersTakeMemoryInProportionToTheFile) {
    // Headers claiming pictures of about 250 MB over a few bytes of data,
    // raw and run-length coded; the run-length ones hold runs of the
    // longest kind.
    const std::vector<std::pair<const char*, Bytes>> files = {
        {"tga", TgaHeader(2, 0, 0, 8000, 8000, 32, 0).fill(4000)},
        {"tga", TgaHeader(10, 0, 0, 8000, 8000, 32, 0).u8(0xFF).u32(1).u8(0xFF).u32(2)},
        {"tga", TgaHeader(9, 256, 24, 16000, 16000, 8, 0).fill(768).u8(0xFF).u8(3)},
        {"bmp", BmpHeader(8000, 8000, 32, 0, 0).fill(4000)},
        {"bmp", BmpHeader(16000, 16000, 8, 1, 2).u32(0).u32(0).raw({255, 1, 0, 0, 0, 1})},
        {"bmp", BmpHeader(16000, 16000, 4, 2, 16).fill(64).raw({0, 1})},
        {"pcx", PcxHeader(1, 16000, 16000).raw({0xFF, 1}).fill(769, 12)},
        {"pcx", PcxHeader(3, 9000, 9000).raw({0xFF, 1, 0xFF, 2})},
        {"sgi", SgiHeader(0, 8000, 8000, 4).fill(4000)},
        {"sgi", SgiHeader(1, 8000, 8000, 4).be32(512).be32(512).raw({0xFF, 1, 0})},
    };
    for (const auto& [codec, file] : files) {
        const testsupport::PeakAllocation peak;
        Image image;
        EXPECT_FALSE(fixtures::Decode(codec, file.b, image)) << codec << " " << file.b.size();
        EXPECT_LE(peak.Bytes(), 64 * file.b.size() + 65536) << codec << " " << file.b.size();
    }
}
