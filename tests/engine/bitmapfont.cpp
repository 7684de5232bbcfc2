#include "engine/bitmapfont.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "cvcore/filestream.h"
#include "cvcore/image.h"
#include "cvcore/pixelformat.h"
#include "tracedevice.h"

using tracetest::DataTag;
using tracetest::LinesWith;
using tracetest::MakeDevice;

namespace {

constexpr int W = 24;
constexpr int H = 8;

// A glyph band on rows 3 and 4: A (columns 1-3), a faint alpha-1 column that
// joins it to B (5-6), an apostrophe (8), C (10-13) and the apostrophe again
// (15). The faint column makes threshold 1 see A and B as one glyph.
cvcore::Image FontPicture() {
    cvcore::Image image(W, H, cvcore::PixelFormat::Standard(cvcore::FORMAT_A8R8G8B8));
    auto set = [&](int x, uint32_t argb) {
        for (int y = 3; y <= 4; ++y) std::memcpy(image.GetPixels() + y * image.GetPitch() + 4 * x, &argb, 4);
    };
    for (int x : {1, 2, 3, 5, 6, 8, 10, 11, 12, 13, 15}) set(x, 0xFF000000u | static_cast<uint32_t>(x));
    set(4, 0x01FFFFFF);
    return image;
}

struct Vertex {
    float x, y, z, rhw, u, v;
};

class BitmapFontTest : public ::testing::Test {
protected:
    void SetUp() override { device_ = MakeDevice(); }
    void TearDown() override {
        device_.reset();
        D3D8Trace_Disable();
    }

    tracetest::TraceDevice device_;
};

TEST_F(BitmapFontTest, MeasuresAtTheFirstThresholdThatFindsEveryGlyph) {
    BitmapFont font;
    ASSERT_TRUE(font.Build(device_.get(), FontPicture(), "AB'C'", 5, 1));
    EXPECT_EQ(font.GetLineHeight(), 3);      // band of two rows plus one
    EXPECT_EQ(font.GetGlyph('A').width, 4);  // three columns and the ending one
    EXPECT_EQ(font.GetGlyph('B').width, 3);
    EXPECT_EQ(font.GetGlyph('C').width, 5);
    EXPECT_EQ(font.GetGlyph('\'').width, 4);  // both occurrences together
    EXPECT_EQ(font.GetGlyph(' ').width, 5);
    EXPECT_EQ(font.GetGlyph('x').width, 0);
    EXPECT_NE(font.GetTexture(), nullptr);
    EXPECT_EQ(LinesWith("CreateTexture(16, 16, 1, 0x0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED)").size(), 1u);
}

TEST_F(BitmapFontTest, PacksGlyphsIntoRowsOfThePowerOfTwoPicture) {
    BitmapFont font;
    ASSERT_TRUE(font.Build(device_.get(), FontPicture(), "AB'C'", 5, 1));
    const BitmapFont::Glyph& a = font.GetGlyph('A');
    EXPECT_EQ(a.left, 1 / 16.0f);
    EXPECT_EQ(a.right, 4 / 16.0f);
    EXPECT_EQ(a.top, 0.0f);
    EXPECT_EQ(a.bottom, 3 / 16.0f);
    EXPECT_EQ(font.GetGlyph('C').left, 10 / 16.0f);
    EXPECT_EQ(font.GetGlyph('C').right, 14 / 16.0f);
    // The later apostrophe did not fit the first row: its rectangle wins.
    const BitmapFont::Glyph& q = font.GetGlyph('\'');
    EXPECT_EQ(q.left, 0.0f);
    EXPECT_EQ(q.right, 1 / 16.0f);
    EXPECT_EQ(q.top, 3 / 16.0f);
    EXPECT_EQ(q.bottom, 6 / 16.0f);

    IDirect3DTexture8* texture = font.GetTexture();
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    auto pixel = [&](int x, int y) {
        uint32_t p;
        std::memcpy(&p, static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch + 4 * x, 4);
        return p;
    };
    EXPECT_EQ(pixel(1, 0), 0xFF000001u);  // A's first column
    EXPECT_EQ(pixel(3, 1), 0xFF000003u);
    EXPECT_EQ(pixel(4, 0), 0u);            // the faint column is not copied
    EXPECT_EQ(pixel(5, 0), 0xFF000005u);   // B after one empty column
    EXPECT_EQ(pixel(13, 1), 0xFF00000Du);  // C keeps its source column order
    EXPECT_EQ(pixel(0, 3), 0xFF00000Fu);   // second row
    EXPECT_EQ(pixel(0, 2), 0u);
    texture->UnlockRect(0);
}

TEST_F(BitmapFontTest, PrintDrawsOneQuadPerGlyph) {
    BitmapFont font;
    ASSERT_TRUE(font.Build(device_.get(), FontPicture(), "AB'C'", 5, 1));
    D3D8Trace_Clear();
    EXPECT_TRUE(font.Print(10.0f, 20.0f, Vector2(2.0f, 1.0f), "AB %c'x", 'C'));
    const auto draws = LinesWith("DrawPrimitiveUP(");
    ASSERT_EQ(draws.size(), 4u);
    const Vertex c[4] = {{38, 20, 0, 1, 10 / 16.0f, 0},
                         {48, 20, 0, 1, 14 / 16.0f, 0},
                         {48, 23, 0, 1, 14 / 16.0f, 3 / 16.0f},
                         {38, 23, 0, 1, 10 / 16.0f, 3 / 16.0f}};
    EXPECT_NE(draws[2].find("DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, " + DataTag(c, sizeof c) + ", 24)"),
              std::string::npos)
        << draws[2];
    const Vertex quote[4] = {{50, 20, 0, 1, 0, 3 / 16.0f},
                             {58, 20, 0, 1, 1 / 16.0f, 3 / 16.0f},
                             {58, 23, 0, 1, 1 / 16.0f, 6 / 16.0f},
                             {50, 23, 0, 1, 0, 6 / 16.0f}};
    EXPECT_NE(draws[3].find(DataTag(quote, sizeof quote)), std::string::npos) << draws[3];
    EXPECT_EQ(LinesWith("SetVertexShader(0x104)").size(), 1u);
    EXPECT_EQ(LinesWith("SetTextureStageState(0, D3DTSS_COLORARG2, 1)").size(), 1u);
    EXPECT_EQ(LinesWith("SetTextureStageState(1, D3DTSS_COLOROP, 1)").size(), 1u);
    EXPECT_EQ(LinesWith("SetTexture(0, texture#1)").size(), 1u);
}

TEST_F(BitmapFontTest, LineFeedReturnsToTheStart) {
    BitmapFont font;
    ASSERT_TRUE(font.Build(device_.get(), FontPicture(), "AB'C'", 5, 1));
    D3D8Trace_Clear();
    font.Print(10.0f, 20.0f, Vector2(1.0f, 2.0f), "A\nB");
    const auto draws = LinesWith("DrawPrimitiveUP(");
    ASSERT_EQ(draws.size(), 2u);
    const Vertex b[4] = {{10, 26, 0, 1, 5 / 16.0f, 0},
                         {13, 26, 0, 1, 7 / 16.0f, 0},
                         {13, 32, 0, 1, 7 / 16.0f, 3 / 16.0f},
                         {10, 32, 0, 1, 5 / 16.0f, 3 / 16.0f}};
    EXPECT_NE(draws[1].find(DataTag(b, sizeof b)), std::string::npos) << draws[1];
}

TEST_F(BitmapFontTest, LongTextsAreCutAt255Characters) {
    BitmapFont font;
    ASSERT_TRUE(font.Build(device_.get(), FontPicture(), "AB'C'", 5, 1));
    D3D8Trace_Clear();
    const std::string text(300, 'A');
    EXPECT_TRUE(font.Print(0.0f, 0.0f, Vector2(1.0f, 1.0f), "%s", text.c_str()));
    EXPECT_EQ(LinesWith("DrawPrimitiveUP(").size(), 255u);
}

TEST_F(BitmapFontTest, OnlyA32BitPictureMakesAFont) {
    cvcore::Image rgb(W, H, cvcore::PixelFormat::Standard(cvcore::FORMAT_R8G8B8));
    BitmapFont font;
    EXPECT_FALSE(font.Build(device_.get(), rgb, "AB'C'", 5, 1));
    EXPECT_EQ(font.GetTexture(), nullptr);
    EXPECT_TRUE(LinesWith("CreateTexture(").empty());
    EXPECT_TRUE(font.Print(0.0f, 0.0f, Vector2(1.0f, 1.0f), "AB C"));
    EXPECT_TRUE(LinesWith("DrawPrimitiveUP(").empty());

    // A glyph order the picture cannot satisfy at any threshold.
    EXPECT_FALSE(font.Build(device_.get(), FontPicture(), "AB'C'DE", 5, 1));
    EXPECT_EQ(font.GetTexture(), nullptr);
    EXPECT_EQ(font.GetGlyph('A').width, 0);
    EXPECT_FALSE(font.Build(device_.get(), FontPicture(), nullptr, 5, 1));
}

TEST(BitmapFontNoDeviceTest, PrintNeedsADevice) {
    BitmapFont font;
    EXPECT_FALSE(font.Print(0.0f, 0.0f, Vector2(1.0f, 1.0f), "A"));
}

TEST_F(BitmapFontTest, LoadsAPictureMadeByImageMagick) {
    const auto folder = std::filesystem::temp_directory_path() / ("halcyon2-font-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    // Two glyphs of 3 and 2 columns on rows 2-5 of a transparent picture.
    const std::string command =
        "convert -size 16x8 xc:none +antialias -fill white -draw 'rectangle 2,2 4,5' "
        "-draw 'rectangle 7,2 8,5' -depth 8 'TGA:" +
        (folder / "font.tga").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    cvcore::Image probe((folder / "font.tga").c_str());
    if (probe.GetPixels() == nullptr) {
        std::filesystem::remove_all(folder);
        GTEST_SKIP() << "no TGA decoder in this build";
    }
    cvcore::SetBasePath((folder.string() + "/").c_str());
    BitmapFont font;
    font.Load(device_.get(), "font.tga", "ij", 8, 0);
    cvcore::SetBasePath("");
    std::filesystem::remove_all(folder);
    EXPECT_EQ(font.GetGlyph('i').width, 4);
    EXPECT_EQ(font.GetGlyph('j').width, 3);
    EXPECT_EQ(font.GetLineHeight(), 5);
    EXPECT_NE(font.GetTexture(), nullptr);
}

}  // namespace
