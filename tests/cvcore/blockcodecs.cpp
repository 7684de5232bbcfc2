#include <gtest/gtest.h>

#include <cstring>

#include "peakallocation.h"
#include "cvcore/codecs.h"
#include "imagefixtures.h"

using namespace cvcore;

namespace {

// Plain restatement of the block rules, used as the reference for files
// that ImageMagick compresses.
struct Rgba8 {
    int r, g, b, a;
    bool operator==(const Rgba8&) const = default;
};

Rgba8 Endpoint(uint32_t c) { return {int((c >> 11) & 31) << 3, int((c >> 5) & 63) << 2, int(c & 31) << 3, 255}; }

Rgba8 ReferenceColour(const uint8_t* block, int t, bool dxt1) {
    const uint32_t c0 = block[0] | block[1] << 8, c1 = block[2] | block[3] << 8;
    const Rgba8 a = Endpoint(c0), b = Endpoint(c1);
    const int index = (block[4 + t / 4] >> (2 * (t % 4))) & 3;
    if (index == 0) return a;
    if (index == 1) return b;
    if (!dxt1 || c0 > c1) {
        if (index == 2) return {(2 * a.r + b.r) / 3, (2 * a.g + b.g) / 3, (2 * a.b + b.b) / 3, 255};
        return {(a.r + 2 * b.r) / 3, (a.g + 2 * b.g) / 3, (a.b + 2 * b.b) / 3, 255};
    }
    if (index == 2) return {(a.r + b.r) / 2, (a.g + b.g) / 2, (a.b + b.b) / 2, 255};
    return {0, 255, 255, 0};
}

int ReferenceAlpha(const uint8_t* block, int t, bool dxt5) {
    if (!dxt5) return ((block[2 * (t / 4)] | block[2 * (t / 4) + 1] << 8) >> (4 * (t % 4)) & 15) * 17;
    const int a0 = block[0], a1 = block[1];
    const uint8_t* g = block + 2 + 3 * (t / 8);
    const int index = ((g[0] | g[1] << 8 | g[2] << 16) >> (3 * (t % 8))) & 7;
    if (index == 0) return a0;
    if (index == 1) return a1;
    if (a1 < a0) return ((8 - index) * a0 + (index - 1) * a1) / 7;
    if (index == 6) return 0;
    if (index == 7) return 255;
    return ((6 - index) * a0 + (index - 1) * a1) / 5;
}

Rgba8 At(const Image& image, int x, int y) {
    const uint8_t* p = image.GetPixels() + y * image.GetPitch() + x * 4;
    return {p[2], p[1], p[0], p[3]};
}

void ExpectReferenceDecoding(const std::string& compression, const std::string& source) {
    const std::string path = fixtures::Path(compression + ".dds");
    fixtures::Run("convert '" + source + "' -resize 36x24! -define dds:compression=" + compression +
                  " -define dds:mipmaps=0 DDS:'" + path + "'");
    const std::vector<uint8_t> file = fixtures::ReadFile(path);
    Image image;
    ASSERT_TRUE(fixtures::Decode("dds", file, image));
    ASSERT_EQ(image.GetWidth(), 36);
    ASSERT_EQ(image.GetHeight(), 24);
    // This ImageMagick writes DXT5 when asked for DXT3: go by the file.
    const std::string code(file.begin() + 84, file.begin() + 88);
    const bool dxt1 = code == "DXT1", dxt5 = code == "DXT5";
    ASSERT_TRUE(dxt1 || dxt5 || code == "DXT3") << code;
    const size_t blockSize = dxt1 ? 8 : 16;
    for (int by = 0; by < 6; ++by) {
        for (int bx = 0; bx < 9; ++bx) {
            const uint8_t* block = file.data() + 128 + (by * 9 + bx) * blockSize;
            for (int t = 0; t < 16; ++t) {
                Rgba8 expected = ReferenceColour(dxt1 ? block : block + 8, t, dxt1);
                if (!dxt1) expected.a = ReferenceAlpha(block, t, dxt5);
                ASSERT_EQ(At(image, bx * 4 + t % 4, by * 4 + t / 4), expected)
                    << compression << " block " << bx << "," << by << " texel " << t;
            }
        }
    }
    // And ImageMagick sees nearly the same picture (it widens endpoints by
    // repeating bits where we shift).
    const fixtures::Rgba theirs = fixtures::ReferenceDecode(path);
    const fixtures::Rgba ours = fixtures::ToRgba(image);
    ASSERT_EQ(theirs.pixels.size(), ours.pixels.size());
    for (size_t i = 0; i < ours.pixels.size(); ++i) ASSERT_NEAR(ours.pixels[i], theirs.pixels[i], 8) << i;
}

std::vector<uint8_t> DdsFile(const char* fourCC, uint32_t width, uint32_t height, std::vector<uint8_t> blocks) {
    std::vector<uint8_t> f(128 + blocks.size(), 0);
    const uint32_t fields[] = {0x20534444, 124, 0x81007, height, width};
    std::memcpy(f.data(), fields, sizeof fields);
    std::memcpy(f.data() + 84, fourCC, 4);
    std::copy(blocks.begin(), blocks.end(), f.begin() + 128);
    return f;
}

}  // namespace

TEST(DdsCodec, MatchesTheBlockRules) {
    ExpectReferenceDecoding("dxt1", fixtures::Plasma());
    ExpectReferenceDecoding("dxt3", fixtures::PlasmaAlpha());
    ExpectReferenceDecoding("dxt5", fixtures::PlasmaAlpha());
}

TEST(DdsCodec, WorkedBlocks) {
    Image image;
    // c0 = white, c1 = black, indices 0, 1, 2, 3 in each row.
    ASSERT_TRUE(fixtures::Decode("dds", DdsFile("DXT1", 4, 4, {0xFF, 0xFF, 0, 0, 0xE4, 0xE4, 0xE4, 0xE4}), image));
    EXPECT_EQ(At(image, 0, 0), (Rgba8{248, 252, 248, 255}));
    EXPECT_EQ(At(image, 2, 1), (Rgba8{165, 168, 165, 255}));
    EXPECT_EQ(At(image, 3, 3), (Rgba8{82, 84, 82, 255}));
    // c0 = c1: three colours and transparent.
    ASSERT_TRUE(fixtures::Decode("dds", DdsFile("DXT1", 4, 4, {0x1F, 0, 0x1F, 0, 0xFF, 0, 0, 0}), image));
    EXPECT_EQ(At(image, 0, 0), (Rgba8{0, 255, 255, 0}));
    // DXT3 nibbles 15 and 8.
    std::vector<uint8_t> dxt3 = {0x8F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(fixtures::Decode("dds", DdsFile("DXT3", 4, 4, dxt3), image));
    EXPECT_EQ(At(image, 0, 0).a, 255);
    EXPECT_EQ(At(image, 1, 0).a, 136);
    // DXT5: a0 255, a1 0, index 2 -> 218; a0 0, a1 255, indices 6 and 7.
    std::vector<uint8_t> dxt5 = {255, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(fixtures::Decode("dds", DdsFile("DXT5", 4, 4, dxt5), image));
    EXPECT_EQ(At(image, 0, 0).a, 218);
    dxt5 = {0, 255, 6 | 7 << 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(fixtures::Decode("dds", DdsFile("DXT5", 4, 4, dxt5), image));
    EXPECT_EQ(At(image, 0, 0).a, 0);
    EXPECT_EQ(At(image, 1, 0).a, 255);
}

TEST(DdsCodec, PartialBlocksMissingDataAndUnknownCodes) {
    Image image;
    // 6 x 6: only the top-left block; the rest stays cleared.
    const std::vector<uint8_t> white = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(fixtures::Decode("dds", DdsFile("DXT1", 6, 6, white), image));
    EXPECT_EQ(At(image, 3, 3).a, 255);
    EXPECT_EQ(At(image, 4, 0), (Rgba8{0, 0, 0, 0}));
    EXPECT_EQ(At(image, 0, 4), (Rgba8{0, 0, 0, 0}));
    // A picture smaller than a block needs the block that covers it.
    ASSERT_TRUE(fixtures::Decode("dds", DdsFile("DXT1", 2, 3, white), image));
    EXPECT_EQ(At(image, 1, 2), (Rgba8{0, 0, 0, 0}));
    // 8 x 4 with one block and a half: refused, the image is left alone.
    std::vector<uint8_t> oneAndAHalf = white;
    oneAndAHalf.insert(oneAndAHalf.end(), {0xFF, 0xFF, 0, 0});
    EXPECT_FALSE(fixtures::Decode("dds", DdsFile("DXT1", 8, 4, oneAndAHalf), image));
    EXPECT_FALSE(fixtures::Decode("dds", DdsFile("DXT1", 2, 3, {}), image));
    EXPECT_EQ(image.GetWidth(), 2);
    // DXT2 and DXT4 are accepted and stay cleared.
    ASSERT_TRUE(fixtures::Decode("dds", DdsFile("DXT2", 4, 4, std::vector<uint8_t>(16, 0xFF)), image));
    EXPECT_EQ(At(image, 0, 0), (Rgba8{0, 0, 0, 0}));
    Image untouched;
    EXPECT_FALSE(fixtures::Decode("dds", DdsFile("ATI2", 4, 4, std::vector<uint8_t>(16)), untouched));
    EXPECT_FALSE(fixtures::Decode("dds", DdsFile("DXT1", 0, 4, {}), untouched));
    EXPECT_FALSE(fixtures::Decode("dds", DdsFile("DXT1", 0x7FFFFFFF, 0x7FFFFFFF, {}), untouched));
    EXPECT_EQ(untouched.GetWidth(), 0);
}

namespace {

// An FXT1 block assembled bit by bit.
struct Fxt1Block {
    uint8_t bytes[16] = {};
    Fxt1Block& Set(int first, int count, uint32_t value) {
        for (int i = 0; i < count; ++i) {
            const int n = first + i;
            if ((value >> i) & 1)
                bytes[n / 8] |= static_cast<uint8_t>(1 << (n % 8));
            else
                bytes[n / 8] &= static_cast<uint8_t>(~(1 << (n % 8)));
        }
        return *this;
    }
};

std::vector<uint8_t> Fxt1File(int32_t width, int32_t height, const std::vector<Fxt1Block>& blocks) {
    std::vector<uint8_t> f(16, 0);
    const int32_t fields[] = {0x54455843, 0, width, height};
    std::memcpy(f.data(), fields, sizeof fields);
    for (const Fxt1Block& b : blocks) f.insert(f.end(), b.bytes, b.bytes + 16);
    return f;
}

uint32_t Colour15(uint32_t r, uint32_t g, uint32_t b) { return r << 10 | g << 5 | b; }

int X5(int v) { return (v << 3) | (v >> 2); }

}  // namespace

TEST(Fxt1Codec, HighResolutionBlocks) {
    Fxt1Block b;
    b.Set(96, 15, 0x7FFF).Set(111, 15, 0);  // A white, B black; mode bits 0, 0
    for (int t = 0; t < 16; ++t) b.Set(3 * t, 3, 3).Set(48 + 3 * t, 3, static_cast<uint32_t>(t % 8));
    Image image;
    ASSERT_TRUE(fixtures::Decode("fxt1", Fxt1File(8, 4, {b}), image));
    EXPECT_EQ(At(image, 0, 0), (Rgba8{127, 127, 127, 255}));  // (3 x 255 + 2) / 6
    EXPECT_EQ(At(image, 4, 0), (Rgba8{255, 255, 255, 255}));  // right half, index 0
    EXPECT_EQ(At(image, 6, 0), (Rgba8{170, 170, 170, 255}));  // index 2: (4 x 255 + 2) / 6
    EXPECT_EQ(At(image, 7, 1), (Rgba8{0, 0, 0, 0}));          // index 7 (t = 7)
    Fxt1Block clear;
    for (int t = 0; t < 32; ++t) clear.Set(3 * t, 3, 7);
    ASSERT_TRUE(fixtures::Decode("fxt1", Fxt1File(8, 4, {clear}), image));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(At(image, x, y), (Rgba8{0, 0, 0, 0}));
}

TEST(Fxt1Codec, ChromaAndAlphaBlocks) {
    Fxt1Block chroma;
    chroma.Set(125, 3, 0b010);  // bits 125, 126, 127 = 0, 1, 0
    chroma.Set(64, 15, Colour15(31, 0, 0)).Set(79, 15, Colour15(0, 16, 0)).Set(94, 15, Colour15(0, 0, 1));
    chroma.Set(109, 15, Colour15(1, 2, 3));
    chroma.Set(0, 2, 1).Set(2, 2, 3).Set(32, 2, 2);
    Image image;
    ASSERT_TRUE(fixtures::Decode("fxt1", Fxt1File(8, 4, {chroma}), image));
    EXPECT_EQ(At(image, 0, 0), (Rgba8{0, 132, 0, 255}));
    EXPECT_EQ(At(image, 1, 0), (Rgba8{X5(1), X5(2), X5(3), 255}));
    EXPECT_EQ(At(image, 4, 0), (Rgba8{0, 0, 8, 255}));
    EXPECT_EQ(At(image, 2, 0), (Rgba8{255, 0, 0, 255}));

    Fxt1Block alpha;
    alpha.Set(125, 3, 0b011);  // colours with alpha, interpolation flag clear
    alpha.Set(64, 15, Colour15(31, 0, 0)).Set(79, 15, Colour15(0, 31, 0)).Set(94, 15, Colour15(0, 0, 31));
    alpha.Set(109, 5, 31).Set(114, 5, 16).Set(119, 5, 0);
    alpha.Set(0, 2, 1).Set(2, 2, 3).Set(32, 2, 2);
    ASSERT_TRUE(fixtures::Decode("fxt1", Fxt1File(8, 4, {alpha}), image));
    EXPECT_EQ(At(image, 0, 0), (Rgba8{0, 255, 0, 132}));
    EXPECT_EQ(At(image, 1, 0), (Rgba8{0, 0, 0, 0}));  // index 3: transparent black
    EXPECT_EQ(At(image, 2, 0), (Rgba8{255, 0, 0, 255}));
    EXPECT_EQ(At(image, 4, 0), (Rgba8{0, 0, 255, 0}));
    // Interpolation flag set: the left half runs from colour 0 to colour 1,
    // the right half from colour 2 to colour 1, alpha included.
    alpha.Set(124, 1, 1);
    ASSERT_TRUE(fixtures::Decode("fxt1", Fxt1File(8, 4, {alpha}), image));
    EXPECT_EQ(At(image, 0, 0), (Rgba8{(2 * 255 + 1) / 3, (255 + 1) / 3, 0, (2 * 255 + 132 + 1) / 3}));
    EXPECT_EQ(At(image, 4, 0), (Rgba8{0, (2 * 255 + 1) / 3, (255 + 1) / 3, (2 * 132 + 1) / 3}));
    EXPECT_EQ(At(image, 1, 0), (Rgba8{0, 255, 0, 132}));  // index 3 is colour 1
}

TEST(Fxt1Codec, MixedBlocks) {
    Fxt1Block mixed;
    mixed.Set(127, 1, 1);
    // Left: A = colour 0, B = colour 1; green low bit 1 (bit 125).
    mixed.Set(64, 15, Colour15(31, 31, 31)).Set(79, 15, Colour15(0, 0, 0)).Set(125, 1, 1);
    mixed.Set(94, 15, Colour15(0, 10, 0)).Set(109, 15, Colour15(0, 20, 0));
    mixed.Set(0, 2, 3).Set(2, 2, 0).Set(4, 2, 1).Set(32, 2, 0);
    Image image;
    ASSERT_TRUE(fixtures::Decode("fxt1", Fxt1File(8, 4, {mixed}), image));
    // Texel 0 has index 3: A, its green widened to 6 bits with the low bit 1.
    EXPECT_EQ(At(image, 0, 0), (Rgba8{255, 255, 255, 255}));
    // Texel 1, index 0: B; its green low bit is 1 XOR bit 1 (the first
    // index's high bit, 1) = 0.
    EXPECT_EQ(At(image, 1, 0), (Rgba8{0, 0, 0, 255}));
    EXPECT_EQ(At(image, 2, 0), (Rgba8{(2 * 0 + 255 + 1) / 3, (255 + 1) / 3, (255 + 1) / 3, 255}));
    // Right half: index 0 is B = colour 3, green 20 << 1 | (0 XOR bit 33 = 0).
    EXPECT_EQ(At(image, 4, 0), (Rgba8{0, (40 << 2) | (40 >> 4), 0, 255}));
    // Alpha flag set: index 3 transparent, index 1 the average, B green 5-bit.
    mixed.Set(124, 1, 1);
    ASSERT_TRUE(fixtures::Decode("fxt1", Fxt1File(8, 4, {mixed}), image));
    EXPECT_EQ(At(image, 0, 0), (Rgba8{0, 0, 0, 0}));
    EXPECT_EQ(At(image, 2, 0), (Rgba8{127, 127, 127, 255}));
    EXPECT_EQ(At(image, 4, 0), (Rgba8{0, X5(20), 0, 255}));
}

TEST(Fxt1Codec, BlockOrderPartialBlocksAndShortData) {
    std::vector<Fxt1Block> blocks(4);
    for (int i = 0; i < 4; ++i) {
        blocks[i].Set(96, 15, Colour15(static_cast<uint32_t>(i + 1), 0, 0)).Set(111, 15, 0);
    }
    Image image;
    ASSERT_TRUE(fixtures::Decode("fxt1", Fxt1File(16, 8, blocks), image));
    EXPECT_EQ(At(image, 0, 0).r, X5(1));
    EXPECT_EQ(At(image, 8, 0).r, X5(2));
    EXPECT_EQ(At(image, 0, 4).r, X5(3));
    EXPECT_EQ(At(image, 15, 7).r, X5(4));
    // A width of 12 decodes the first 8 columns; the rest stays cleared.
    ASSERT_TRUE(fixtures::Decode("fxt1", Fxt1File(12, 6, {blocks[0]}), image));
    EXPECT_EQ(At(image, 7, 3).a, 255);
    EXPECT_EQ(At(image, 8, 0), (Rgba8{0, 0, 0, 0}));
    EXPECT_EQ(At(image, 0, 4), (Rgba8{0, 0, 0, 0}));
    // Two blocks' worth of data for four blocks: refused.
    EXPECT_FALSE(fixtures::Decode("fxt1", Fxt1File(16, 8, {blocks[0], blocks[1]}), image));
    EXPECT_EQ(image.GetWidth(), 12);
    Image untouched;
    EXPECT_FALSE(fixtures::Decode("fxt1", {'X', 'X', 'E', 'T', 0, 0, 0, 0, 8, 0, 0, 0, 4, 0, 0, 0}, untouched));
    EXPECT_FALSE(fixtures::Decode("fxt1", Fxt1File(-8, 4, {}), untouched));
    EXPECT_EQ(untouched.GetWidth(), 0);
}

TEST(BlockCodecs, HostileHeadersTakeMemoryInProportionToTheFile) {
    // Headers claiming pictures of about 250 MB over a few blocks, and
    // pictures narrower than a block, whose whole blocks need no data.
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> files = {
        {"dds", DdsFile("DXT1", 8000, 8000, std::vector<uint8_t>(64))},
        {"dds", DdsFile("DXT5", 3, 20000000, std::vector<uint8_t>(64))},
        {"dds", DdsFile("DXT2", 8000, 8000, std::vector<uint8_t>(64))},
        {"fxt1", Fxt1File(8000, 8000, std::vector<Fxt1Block>(4))},
        {"fxt1", Fxt1File(7, 30000000, std::vector<Fxt1Block>(4))},
    };
    for (const auto& [codec, file] : files) {
        const testsupport::PeakAllocation peak;
        Image image;
        EXPECT_FALSE(fixtures::Decode(codec, file, image)) << codec;
        EXPECT_LE(peak.Bytes(), 64 * file.size() + 65536) << codec;
    }
}
