#include <gtest/gtest.h>

#include <cstring>

#include "cvcore/exception.h"
#include "cvcore/filestream.h"
#include "imagefixtures.h"

using namespace cvcore;

TEST(ImageCodecRegistry, LookupOrderNamesAndAbilities) {
    ASSERT_EQ(GetImageCodecCount(), 8);
    const char* first[] = {"tga", "pcx", "rgb", "bmp", "jpg", "png", "dds", "fxt1"};
    for (int32_t i = 0; i < 8; ++i) EXPECT_STREQ(GetImageCodec(i)->GetName(0), first[i]);
    const ImageCodec* sgi = FindImageCodec("SGI");
    EXPECT_EQ(sgi, GetImageCodec(2));
    EXPECT_EQ(sgi->GetNameCount(), 4);
    EXPECT_STREQ(sgi->GetName(2), "bw");
    EXPECT_STREQ(sgi->GetName(4), "");
    EXPECT_STREQ(sgi->GetName(-1), "");
    EXPECT_EQ(FindImageCodec("tga"), FindImageCodec("TGA"));
    EXPECT_EQ(FindImageCodec("Tga"), GetImageCodec(0));
    EXPECT_EQ(FindImageCodec("jfif"), GetImageCodec(4));
    EXPECT_EQ(FindImageCodec(nullptr), nullptr);
    EXPECT_EQ(FindImageCodec(""), nullptr);
    EXPECT_EQ(FindImageCodec("gif"), nullptr);
    for (int32_t i = 0; i < 8; ++i) {
        const ImageCodec* c = GetImageCodec(i);
        EXPECT_TRUE(c->CanRead());
        EXPECT_EQ(c->CanWrite(), i == 0 || i == 4) << i;
    }
    Image image(2, 2, PixelFormat::Standard(FORMAT_A8R8G8B8));
    MemoryStream out(0);
    EXPECT_FALSE(FindImageCodec("png")->Encode(image, out));
    EXPECT_EQ(out.Size(), 0);
    EXPECT_TRUE(FindImageCodec("tga")->Encode(image, out));
    EXPECT_EQ(out.Size(), 18 + 16);
}

TEST(Image, LoadPicksTheCodecByTheLastExtension) {
    const std::string dir = fixtures::TempDir();
    fixtures::Run("convert -size 5x3 xc:red " + dir + "/pic.b.jpg");
    fixtures::Run("cp " + dir + "/pic.b.jpg " + dir + "/noext");
    fixtures::Run("cp " + dir + "/pic.b.jpg " + dir + "/pic.gif");
    fixtures::Run("convert -size 4x2 xc:blue " + dir + "/PIC.Tga");
    Image jpeg((dir + "/pic.b.jpg").c_str());
    EXPECT_EQ(jpeg.GetWidth(), 5);
    EXPECT_STREQ(jpeg.name.Text(), (dir + "/pic.b.jpg").c_str());
    Image tga((dir + "/PIC.Tga").c_str());
    EXPECT_EQ(tga.GetWidth(), 4);
    // Unknown or missing extensions leave the image empty without an error.
    Image none((dir + "/noext").c_str());
    EXPECT_EQ(none.GetWidth(), 0);
    EXPECT_EQ(none.GetPixels(), nullptr);
    Image gif((dir + "/pic.gif").c_str());
    EXPECT_EQ(gif.GetWidth(), 0);
    // A picture the decoder refuses leaves the image empty; a missing file throws.
    fixtures::Run("cp " + dir + "/pic.b.jpg " + dir + "/wrong.png");
    Image wrong((dir + "/wrong.png").c_str());
    EXPECT_EQ(wrong.GetWidth(), 0);
    EXPECT_THROW(Image((dir + "/missing.tga").c_str()), cvcore::Exception);
    // Blitting from an empty image draws nothing.
    Image dest(2, 2, PixelFormat::Standard(FORMAT_A8R8G8B8));
    std::memset(dest.GetPixels(), 0x77, 16);
    EXPECT_TRUE(dest.Blit(none, BLIT_FILTER));
    EXPECT_EQ(dest.GetPixels()[15], 0x77);
}

TEST(Image, ConstructionAssignmentAndSetPixels) {
    Image empty;
    EXPECT_EQ(empty.GetWidth(), 0);
    EXPECT_EQ(empty.GetFormat().Bits(), 0u);
    EXPECT_FALSE(empty.GetFormat().IsIndexed());
    Image a(3, 2, PixelFormat::Standard(FORMAT_R8G8B8));
    EXPECT_EQ(a.GetPitch(), 9);
    for (int i = 0; i < 18; ++i) EXPECT_EQ(a.GetPixels()[i], 0);
    a.GetPixels()[17] = 5;
    Image b = a;
    EXPECT_NE(b.GetPixels(), a.GetPixels());
    EXPECT_EQ(b.GetPixels()[17], 5);
    Image moved = std::move(b);
    EXPECT_EQ(moved.GetPixels()[17], 5);
    EXPECT_EQ(b.GetPixels(), nullptr);
    EXPECT_EQ(b.GetWidth(), 0);
    b = std::move(moved);
    EXPECT_EQ(b.GetPitch(), 9);
    // Assigning an image without pixels frees them.
    b = empty;
    EXPECT_EQ(b.GetPixels(), nullptr);
    EXPECT_EQ(b.GetWidth(), 0);
    // Indexed formats carry their own copy of the palette.
    PixelFormat indexed = PixelFormat::Standard(FORMAT_INDEXED8);
    indexed.Palette()[9] = 0x12345678;
    Image c(1, 1, indexed);
    indexed.Palette()[9] = 0;
    EXPECT_EQ(c.GetFormat().Palette()[9], 0x12345678u);
    std::unique_ptr<uint8_t[]> pixels(new uint8_t[8]());
    uint8_t* raw = pixels.get();
    c.SetPixels(2, 1, PixelFormat::Standard(FORMAT_A8R8G8B8), std::move(pixels));
    EXPECT_EQ(c.GetPixels(), raw);
    EXPECT_EQ(c.GetPitch(), 8);
    EXPECT_FALSE(c.GetFormat().IsIndexed());
    // Sizes that are not positive, or too large to address, make no pixels.
    EXPECT_EQ(Image(-1, 5, PixelFormat::Standard(FORMAT_R8G8B8)).GetPixels(), nullptr);
    EXPECT_EQ(Image(70000, 70000, PixelFormat::Standard(FORMAT_A8R8G8B8)).GetPixels(), nullptr);
    EXPECT_EQ(Image::ByteSize(65536, 32768, 1), -1);
    EXPECT_EQ(Image::ByteSize(100, 100, 4), 40000);
}
