#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdlib>

#include "peakallocation.h"
#include "cvcore/codecs.h"
#include "imagefixtures.h"

using namespace cvcore;
using fixtures::ExpectSameAsImageMagick;
using fixtures::Plasma;
using fixtures::PlasmaAlpha;

TEST(JpegCodec, MatchesImageMagick) {
    ExpectSameAsImageMagick("jpg", Plasma(), "-quality 90", "colour.jpg");
    ExpectSameAsImageMagick("jpeg", Plasma(), "-quality 75 -sampling-factor 1x1", "colour444.jpeg");
    ExpectSameAsImageMagick("jfif", Plasma(), "-colorspace gray -quality 85", "JPEG:grey.jfif");
    ExpectSameAsImageMagick("jpg", Plasma(), "-interlace JPEG", "progressive.jpg");
}

TEST(JpegCodec, LayoutOfColourAndGreyPictures) {
    Image image;
    fixtures::Run("convert -size 16x8 xc:'rgb(255,0,0)' -quality 100 " + fixtures::Path("red.jpg"));
    ASSERT_TRUE(fixtures::Decode("jpg", fixtures::ReadFile(fixtures::Path("red.jpg")), image));
    EXPECT_TRUE(image.GetFormat().IsSameFormat(PixelFormat::Standard(FORMAT_R8G8B8)));
    const uint8_t* p = image.GetPixels();
    EXPECT_LT(p[0], 8);    // blue first
    EXPECT_GT(p[2], 247);  // red last
    fixtures::Run("convert " + Plasma() + " -colorspace gray " + fixtures::Path("grey.jpg"));
    ASSERT_TRUE(fixtures::Decode("jpg", fixtures::ReadFile(fixtures::Path("grey.jpg")), image));
    EXPECT_TRUE(image.GetFormat().IsSameFormat(PixelFormat::Standard(FORMAT_R8G8B8)));
    for (int32_t i = 0; i < image.GetWidth() * image.GetHeight(); ++i) {
        ASSERT_EQ(image.GetPixels()[3 * i], image.GetPixels()[3 * i + 1]);
        ASSERT_EQ(image.GetPixels()[3 * i], image.GetPixels()[3 * i + 2]);
    }
}

TEST(JpegCodec, CutEmptyAndCmykFiles) {
    fixtures::Run("convert " + Plasma() + " -quality 90 " + fixtures::Path("cut.jpg"));
    std::vector<uint8_t> file = fixtures::ReadFile(fixtures::Path("cut.jpg"));
    file.resize(file.size() / 2);
    Image image;
    ASSERT_TRUE(fixtures::Decode("jpg", file, image));
    EXPECT_EQ(image.GetWidth(), 37);
    EXPECT_EQ(image.GetHeight(), 23);
    Image untouched;
    EXPECT_FALSE(fixtures::Decode("jpg", {}, untouched));
    EXPECT_FALSE(fixtures::Decode("jpg", {0xFF, 0xD8, 0xFF}, untouched));
    EXPECT_FALSE(fixtures::Decode("jpg", std::vector<uint8_t>(100, 0x55), untouched));
    fixtures::Run("convert " + Plasma() + " -colorspace CMYK " + fixtures::Path("cmyk.jpg"));
    EXPECT_FALSE(fixtures::Decode("jpg", fixtures::ReadFile(fixtures::Path("cmyk.jpg")), untouched));
    EXPECT_EQ(untouched.GetWidth(), 0);
}

TEST(JpegCodec, EncodedFilesReadBackInImageMagick) {
    Image source;
    ASSERT_TRUE(fixtures::Decode("png", fixtures::ReadFile(Plasma()), source));
    for (int32_t quality : {100, 50}) {
        MemoryStream out(0);
        ASSERT_TRUE(EncodeJPEG(source, out, quality));
        const std::string path = fixtures::Path("encoded" + std::to_string(quality) + ".jpg");
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(out.Buffer(), 1, static_cast<size_t>(out.Size()), f);
        std::fclose(f);
        const fixtures::Rgba theirs = fixtures::ReferenceDecode(path);
        const fixtures::Rgba original = fixtures::ToRgba(source);
        ASSERT_EQ(theirs.pixels.size(), original.pixels.size());
        double error = 0;
        for (size_t i = 0; i < original.pixels.size(); ++i) error += std::abs(theirs.pixels[i] - original.pixels[i]);
        error /= static_cast<double>(original.pixels.size());
        EXPECT_LT(error, quality == 100 ? 1.5 : 10.0) << quality;
    }
    // The registered operation writes at quality 100 and accepts any format.
    const ImageCodec* codec = FindImageCodec("jpg");
    ASSERT_TRUE(codec->CanWrite());
    Image grey(8, 8, PixelFormat::Standard(FORMAT_INTENSITY8));
    MemoryStream out(0);
    EXPECT_TRUE(codec->Encode(grey, out));
    EXPECT_GT(out.Size(), 100);
}

TEST(TgaCodec, EncodedFilesReadBackExactly) {
    Image source;
    ASSERT_TRUE(fixtures::Decode("png", fixtures::ReadFile(PlasmaAlpha()), source));
    for (bool rle : {false, true}) {
        for (bool alpha : {false, true}) {
            MemoryStream out(0);
            ASSERT_TRUE(EncodeTGA(source, out, rle, alpha));
            const std::string path = fixtures::Path("encoded.tga");
            std::FILE* f = std::fopen(path.c_str(), "wb");
            ASSERT_NE(f, nullptr);
            std::fwrite(out.Buffer(), 1, static_cast<size_t>(out.Size()), f);
            std::fclose(f);
            fixtures::Rgba expected = fixtures::ToRgba(source);
            if (!alpha) {
                for (size_t i = 3; i < expected.pixels.size(); i += 4) expected.pixels[i] = 255;
            }
            EXPECT_EQ(fixtures::ReferenceDecode(path).pixels, expected.pixels) << rle << alpha;
            Image back;
            ASSERT_TRUE(fixtures::Decode("tga", std::vector<uint8_t>(out.Buffer(), out.Buffer() + out.Size()), back));
            EXPECT_EQ(fixtures::ToRgba(back).pixels, expected.pixels);
        }
    }
    // Runs of equal pixels shrink the file.
    Image flat(100, 10, PixelFormat::Standard(FORMAT_A8R8G8B8));
    MemoryStream out(0);
    ASSERT_TRUE(EncodeTGA(flat, out, true, true));
    EXPECT_LT(out.Size(), 18 + 10 * 2 * 5);
}

TEST(PngCodec, MatchesImageMagick) {
    ExpectSameAsImageMagick("png", PlasmaAlpha(), "-colors 16", "PNG8:palette-trns.png");
    ExpectSameAsImageMagick("png", Plasma(), "-colors 16", "PNG8:palette.png");
    // 16-bit samples keep their high byte.
    ExpectSameAsImageMagick("png", Plasma(), "-depth 16", "PNG48:rgb16.png", {true});
    ExpectSameAsImageMagick("png", PlasmaAlpha(), "-depth 16", "PNG64:rgba16.png", {true});
    ExpectSameAsImageMagick("png", PlasmaAlpha(), "-interlace PNG", "PNG32:interlaced.png");
    ExpectSameAsImageMagick("png", Plasma(), "-monochrome", "PNG:mono.png");
    ExpectSameAsImageMagick("png", Plasma(), "-colorspace gray -depth 8", "PNG:grey.png");
    ExpectSameAsImageMagick("png", Plasma(), "-colorspace gray -depth 16", "PNG:grey16.png", {true});
    ExpectSameAsImageMagick("png", PlasmaAlpha(), "-colorspace gray -depth 16 -define png:color-type=4",
                            "PNG:grey-alpha16.png", {true});
    ExpectSameAsImageMagick("png", PlasmaAlpha(), "-colorspace gray -depth 8 -define png:color-type=4",
                            "PNG:grey-alpha.png");
    ExpectSameAsImageMagick("png", Plasma(), "-colorspace gray -depth 8 -transparent black -define png:color-type=0",
                            "PNG:grey-trns.png");
}

TEST(PngCodec, LayoutsAndBrokenFiles) {
    Image image;
    fixtures::Run("convert " + Plasma() + " -monochrome PNG:" + fixtures::Path("mono1.png"));
    ASSERT_TRUE(fixtures::Decode("png", fixtures::ReadFile(fixtures::Path("mono1.png")), image));
    EXPECT_TRUE(image.GetFormat().IsSameFormat(PixelFormat::Standard(FORMAT_INTENSITY8)));
    for (int32_t i = 0; i < image.GetWidth() * image.GetHeight(); ++i) {
        ASSERT_TRUE(image.GetPixels()[i] == 0 || image.GetPixels()[i] == 255);
    }
    fixtures::Run("convert " + PlasmaAlpha() +
                  " -colorspace gray -define png:color-type=4 PNG:" + fixtures::Path("ga.png"));
    ASSERT_TRUE(fixtures::Decode("png", fixtures::ReadFile(fixtures::Path("ga.png")), image));
    EXPECT_TRUE(image.GetFormat().IsSameFormat(PixelFormat::Standard(FORMAT_A8R8G8B8)));
    // Interlaced and plain files give the same pixels.
    fixtures::Run("convert " + PlasmaAlpha() + " PNG32:" + fixtures::Path("plain.png"));
    fixtures::Run("convert " + PlasmaAlpha() + " -interlace PNG PNG32:" + fixtures::Path("adam7.png"));
    Image plain, adam7;
    ASSERT_TRUE(fixtures::Decode("png", fixtures::ReadFile(fixtures::Path("plain.png")), plain));
    ASSERT_TRUE(fixtures::Decode("png", fixtures::ReadFile(fixtures::Path("adam7.png")), adam7));
    EXPECT_EQ(fixtures::ToRgba(plain).pixels, fixtures::ToRgba(adam7).pixels);
    // A cut file and a file without the signature fail and leave the image alone.
    std::vector<uint8_t> file = fixtures::ReadFile(fixtures::Path("plain.png"));
    Image untouched;
    for (size_t cut : {size_t{8}, size_t{30}, file.size() / 2, file.size() - 13}) {
        EXPECT_FALSE(fixtures::Decode("png", std::vector<uint8_t>(file.begin(), file.begin() + cut), untouched));
    }
    // A chunk claiming far more bytes than the file holds.
    std::vector<uint8_t> huge(file.begin(), file.begin() + 33);
    huge.insert(huge.end(), {0x6D, 0x00, 0x00, 0x25, 't', 'E', 'X', 't', 'a', 0, 'b'});
    EXPECT_FALSE(fixtures::Decode("png", huge, untouched));
    file[1] = 'Q';
    EXPECT_FALSE(fixtures::Decode("png", file, untouched));
    EXPECT_EQ(untouched.GetWidth(), 0);
}

namespace {

// A picture made by ImageMagick whose header is then made to claim
// width x height; everything after the header stays as it was.
std::vector<uint8_t> ClaimingJpeg(const std::string& options, uint16_t width, uint16_t height) {
    const std::string path = fixtures::Path("claim.jpg");
    fixtures::Run("convert -size 64x64 plasma: " + options + " " + path);
    std::vector<uint8_t> file = fixtures::ReadFile(path);
    for (size_t i = 2; i + 9 < file.size(); ++i) {
        if (file[i] == 0xFF && (file[i + 1] == 0xC0 || file[i + 1] == 0xC2)) {
            file[i + 5] = static_cast<uint8_t>(height >> 8);
            file[i + 6] = static_cast<uint8_t>(height);
            file[i + 7] = static_cast<uint8_t>(width >> 8);
            file[i + 8] = static_cast<uint8_t>(width);
            return file;
        }
    }
    ADD_FAILURE() << "no frame header in " << path;
    return file;
}

std::vector<uint8_t> ClaimingPng(uint32_t width, uint32_t height) {
    const std::string path = fixtures::Path("claim.png");
    fixtures::Run("convert -size 64x64 plasma: PNG32:" + path);
    std::vector<uint8_t> file = fixtures::ReadFile(path);
    for (int i = 0; i < 4; ++i) {
        file[16 + i] = static_cast<uint8_t>(width >> (24 - 8 * i));
        file[20 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
    }
    const uLong crc = crc32(0, file.data() + 12, 17);
    for (int i = 0; i < 4; ++i) file[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    return file;
}

}  // namespace

TEST(JpegPngCodecs, HostileHeadersTakeMemoryInProportionToTheFile) {
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> files = {
        {"jpg", ClaimingJpeg("-interlace JPEG -quality 20", 8000, 8000)},
        {"jpg", ClaimingJpeg("-quality 20", 8000, 8000)},
        {"png", ClaimingPng(8000, 8000)},
        {"png", ClaimingPng(65535, 1000)},
    };
    for (const auto& [codec, file] : files) {
        const testsupport::PeakAllocation peak;
        Image image;
        EXPECT_FALSE(fixtures::Decode(codec, file, image)) << codec << " " << file.size();
        EXPECT_LE(peak.Bytes(), 64 * file.size() + 65536) << codec << " " << file.size();
    }
    // The most compressible pictures a writer makes still decode.
    fixtures::Run("convert -size 2000x1500 xc:white -interlace JPEG " + fixtures::Path("white.jpg"));
    Image white;
    ASSERT_TRUE(fixtures::Decode("jpg", fixtures::ReadFile(fixtures::Path("white.jpg")), white));
    EXPECT_EQ(white.GetPixels()[3 * 2000 * 1500 - 1], 255);
    fixtures::Run("convert -size 1000x1000 xc:white -type bilevel PNG:" + fixtures::Path("white.png"));
    ASSERT_TRUE(fixtures::Decode("png", fixtures::ReadFile(fixtures::Path("white.png")), white));
    EXPECT_EQ(white.GetWidth(), 1000);
}
