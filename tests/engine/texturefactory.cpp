#include "engine/texturefactory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cvcore/exception.h"
#include "cvcore/filestream.h"
#include "cvcore/image.h"
#include "cvcore/memorystream.h"
#include "cvcore/pixelformat.h"
#include "tracedevice.h"

using tracetest::LinesWith;
using tracetest::MakeDevice;

namespace {

cvcore::PixelFormat Format(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    return cvcore::PixelFormat(bits, r, g, b, a);
}

D3D8TraceConfig Offering(std::vector<D3DFORMAT> formats, DWORD textureCaps = 0, DWORD maxSize = 2048) {
    D3D8TraceConfig config;
    config.textureFormats = std::move(formats);
    config.adapters[0].caps.TextureCaps = textureCaps;
    config.adapters[0].caps.MaxTextureWidth = maxSize;
    config.adapters[0].caps.MaxTextureHeight = maxSize;
    return config;
}

template <class F>
void ExpectThrows(F&& f, const char* method, const char* message) {
    try {
        f();
        ADD_FAILURE() << "no exception, expected " << message;
    } catch (const cvcore::Exception& e) {
        EXPECT_STREQ(e.Method().Text(), method);
        EXPECT_STREQ(e.Message().Text(), message);
        EXPECT_STREQ(e.File().Text(), "texturefactory");
    }
}

class TextureFactoryTest : public ::testing::Test {
protected:
    void TearDown() override { D3D8Trace_Disable(); }
};

TEST_F(TextureFactoryTest, ChooseFormatExamples) {
    auto device = MakeDevice(Offering({D3DFMT_A8R8G8B8, D3DFMT_R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}));
    TextureFactory& f = device->textureFactory;
    D3DFORMAT chosen = D3DFMT_UNKNOWN;
    ASSERT_TRUE(f.ChooseFormat(Format(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), chosen));
    EXPECT_EQ(chosen, D3DFMT_A8R8G8B8);
    ASSERT_TRUE(f.ChooseFormat(Format(24, 0xFF0000, 0xFF00, 0xFF, 0), chosen));
    EXPECT_EQ(chosen, D3DFMT_R8G8B8);

    auto without24 = MakeDevice(Offering({D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}));
    ASSERT_TRUE(without24->textureFactory.ChooseFormat(Format(24, 0xFF0000, 0xFF00, 0xFF, 0), chosen));
    EXPECT_EQ(chosen, D3DFMT_X8R8G8B8);  // distance 64 beats R5G6B5's 86

    // A picture with alpha keeps it where the device offers any format with
    // alpha, however much nearer a format without it is.
    auto narrow = MakeDevice(Offering({D3DFMT_A8R8G8B8, D3DFMT_R5G6B5}));
    ASSERT_TRUE(narrow->textureFactory.ChooseFormat(Format(16, 0x7C00, 0x3E0, 0x1F, 0x8000), chosen));
    EXPECT_EQ(chosen, D3DFMT_A8R8G8B8);
    auto no32 = MakeDevice(Offering({D3DFMT_X8R8G8B8, D3DFMT_A4R4G4B4, D3DFMT_A1R5G5B5, D3DFMT_R5G6B5}));
    ASSERT_TRUE(no32->textureFactory.ChooseFormat(Format(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), chosen));
    EXPECT_EQ(chosen, D3DFMT_A4R4G4B4);
    ASSERT_TRUE(no32->textureFactory.ChooseFormat(Format(16, 0x7C00, 0x3E0, 0x1F, 0x8000), chosen));
    EXPECT_EQ(chosen, D3DFMT_A1R5G5B5);
    ASSERT_TRUE(no32->textureFactory.ChooseFormat(Format(32, 0xFF0000, 0xFF00, 0xFF, 0), chosen));
    EXPECT_EQ(chosen, D3DFMT_X8R8G8B8);
    // Without any format with alpha, the nearest one takes it.
    auto opaque = MakeDevice(Offering({D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}));
    ASSERT_TRUE(opaque->textureFactory.ChooseFormat(Format(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), chosen));
    EXPECT_EQ(chosen, D3DFMT_X8R8G8B8);

    auto none = MakeDevice(Offering({D3DFMT_DXT1}));
    EXPECT_FALSE(none->textureFactory.ChooseFormat(Format(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), chosen));
    cvcore::Image image(4, 4, cvcore::PixelFormat::Standard(cvcore::FORMAT_A8R8G8B8));
    ExpectThrows([&] { none->textureFactory.CreateTextureFromImage(image, 0); }, "TetureFactoryDX8::GetImageFormat()",
                 "3D HW doesn't support any Direct image format!");
}

TEST_F(TextureFactoryTest, PixelFormatsOfTheTable) {
    cvcore::PixelFormat p;
    ASSERT_TRUE(TextureFactory::GetPixelFormat(D3DFMT_A8R3G3B2, p));
    EXPECT_EQ(p.BitsPerPixel(), 16);
    EXPECT_EQ(p.BlueMask(), 0x3u);
    EXPECT_EQ(p.GreenMask(), 0x1Cu);
    EXPECT_EQ(p.RedMask(), 0xE0u);
    EXPECT_EQ(p.AlphaMask(), 0xFF00u);
    ASSERT_TRUE(TextureFactory::GetPixelFormat(D3DFMT_X1R5G5B5, p));
    EXPECT_EQ(p.RedMask(), 0x7C00u);
    EXPECT_EQ(p.AlphaMask(), 0u);
    ASSERT_TRUE(TextureFactory::GetPixelFormat(D3DFMT_R8G8B8, p));
    EXPECT_EQ(p.BitsPerPixel(), 24);
    EXPECT_FALSE(TextureFactory::GetPixelFormat(D3DFMT_DXT1, p));
}

TEST_F(TextureFactoryTest, SizingFollowsTheHardwareRules) {
    uint32_t w = 0, h = 0;
    auto free = MakeDevice(Offering({D3DFMT_A8R8G8B8}, 0, 2048));
    free->textureFactory.GetTextureSize(100, 60, w, h);
    EXPECT_EQ(w, 100u);
    EXPECT_EQ(h, 60u);
    auto pow2 = MakeDevice(Offering({D3DFMT_A8R8G8B8}, D3DPTEXTURECAPS_POW2, 2048));
    pow2->textureFactory.GetTextureSize(100, 60, w, h);
    EXPECT_EQ(w, 128u);
    EXPECT_EQ(h, 64u);
    pow2->textureFactory.GetTextureSize(64, 1, w, h);
    EXPECT_EQ(w, 64u);
    EXPECT_EQ(h, 1u);
    auto square = MakeDevice(Offering({D3DFMT_A8R8G8B8}, D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY, 2048));
    square->textureFactory.GetTextureSize(100, 60, w, h);
    EXPECT_EQ(w, 128u);
    EXPECT_EQ(h, 128u);
    auto small = MakeDevice(Offering({D3DFMT_A8R8G8B8}, D3DPTEXTURECAPS_POW2, 256));
    small->textureFactory.GetTextureSize(1000, 3, w, h);
    EXPECT_EQ(w, 256u);
    EXPECT_EQ(h, 4u);
    // Square-only hardware with a lower limit on one side stays square.
    D3D8TraceConfig oblong = Offering({D3DFMT_A8R8G8B8}, D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY, 512);
    oblong.adapters[0].caps.MaxTextureHeight = 128;
    auto squareOnly = MakeDevice(oblong);
    squareOnly->textureFactory.GetTextureSize(300, 20, w, h);
    EXPECT_EQ(w, 128u);
    EXPECT_EQ(h, 128u);
}

TEST_F(TextureFactoryTest, CreateTextureConvertsAndResamples) {
    auto device = MakeDevice(Offering({D3DFMT_A8R8G8B8, D3DFMT_R5G6B5}, D3DPTEXTURECAPS_POW2));
    cvcore::Image image(100, 60, cvcore::PixelFormat::Standard(cvcore::FORMAT_A8R8G8B8));
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 100; ++x) {
            const uint32_t p = 0xFF204080;
            std::memcpy(image.GetPixels() + y * image.GetPitch() + 4 * x, &p, 4);
        }
    }
    IDirect3DTexture8* texture = device->textureFactory.CreateTextureFromImage(image, 0);
    ASSERT_NE(texture, nullptr);
    const auto created = LinesWith("CreateTexture(");
    ASSERT_EQ(created.size(), 1u);
    EXPECT_NE(created[0].find("CreateTexture(128, 64, 1, 0x0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED)"), std::string::npos)
        << created[0];
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    const auto* bits = static_cast<const uint8_t*>(locked.pBits);
    uint32_t corner, middle;
    std::memcpy(&corner, bits + 63 * locked.Pitch + 4 * 127, 4);
    std::memcpy(&middle, bits + 32 * locked.Pitch + 4 * 64, 4);
    EXPECT_EQ(corner, 0xFF204080u);  // a flat picture stays flat when stretched
    EXPECT_EQ(middle, 0xFF204080u);
    texture->UnlockRect(0);
    texture->Release();
}

TEST_F(TextureFactoryTest, PalettedPictureWithoutAlphaTakes565) {
    auto device = MakeDevice(Offering({D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5}));
    cvcore::Image image(8, 8, cvcore::PixelFormat::Standard(cvcore::FORMAT_INDEXED8));
    image.GetFormat().Palette()[0] = 0xFF00FF00;
    cvcore::PixelFormat pixelFormat;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    uint32_t w = 0, h = 0;
    device->textureFactory.GetImageFormat(image, pixelFormat, format, w, h);
    EXPECT_EQ(format, D3DFMT_R5G6B5);
    EXPECT_EQ(pixelFormat.GreenMask(), 0x07E0u);
    EXPECT_FALSE(pixelFormat.IsIndexed());
    EXPECT_EQ(w, 8u);
}

TEST_F(TextureFactoryTest, EmptyPictureMakesNoTexture) {
    auto device = MakeDevice(Offering({D3DFMT_A8R8G8B8}));
    cvcore::Image empty;
    empty.GetFormat() = cvcore::PixelFormat::Standard(cvcore::FORMAT_A8R8G8B8);
    ExpectThrows([&] { device->textureFactory.CreateTextureFromImage(empty, 0); }, "CreateTexture::CreateTexture()",
                 "Failed!");
}

// ---------------------------------------------------------------------------
// DDS files assembled in memory.

struct DdsFile {
    uint32_t width = 8, height = 8, mipmaps = 0, flags = 0x1007, depth = 0, caps2 = 0;
    uint32_t formatFlags = 0x4, fourCC = 0x31545844, bits = 0, red = 0, green = 0, blue = 0, alpha = 0;
    std::vector<uint8_t> data;

    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> out(128 + data.size(), 0);
        auto put = [&](size_t at, uint32_t v) { std::memcpy(out.data() + at, &v, 4); };
        put(0, 0x20534444);
        put(4, 124);
        put(8, flags);
        put(12, height);
        put(16, width);
        put(24, depth);
        put(28, mipmaps);
        put(4 + 72, 32);
        put(4 + 76, formatFlags);
        put(4 + 80, fourCC);
        put(4 + 84, bits);
        put(4 + 88, red);
        put(4 + 92, green);
        put(4 + 96, blue);
        put(4 + 100, alpha);
        put(4 + 108, caps2);
        if (!data.empty()) std::memcpy(out.data() + 128, data.data(), data.size());
        return out;
    }
};

IDirect3DTexture8* LoadFrom(TextureFactory& factory, const std::vector<uint8_t>& bytes) {
    auto buffer = std::make_unique<uint8_t[]>(bytes.size());
    std::memcpy(buffer.get(), bytes.data(), bytes.size());
    cvcore::MemoryStream stream(std::move(buffer), static_cast<int32_t>(bytes.size()));
    return factory.LoadDDS(stream);
}

std::vector<uint8_t> Counting(size_t n, uint8_t from = 1) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(from + i);
    return v;
}

TEST_F(TextureFactoryTest, DdsCompressedLevels) {
    auto device = MakeDevice(Offering({D3DFMT_A8R8G8B8, D3DFMT_DXT1, D3DFMT_DXT5}));
    DdsFile dds;
    dds.mipmaps = 3;
    dds.data = Counting(32 + 8 + 8);  // 8x8, 4x4, 2x2 in 4x4 blocks of 8 bytes
    IDirect3DTexture8* texture = LoadFrom(device->textureFactory, dds.Bytes());
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetLevelCount(), 3u);
    EXPECT_EQ(LinesWith("CreateTexture(8, 8, 3, 0x0, D3DFMT_DXT1, D3DPOOL_MANAGED)").size(), 1u);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(2, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(static_cast<const uint8_t*>(locked.pBits)[0], 41);
    texture->UnlockRect(2);
    texture->Release();

    dds.mipmaps = 0;  // no count: one level
    texture = LoadFrom(device->textureFactory, dds.Bytes());
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetLevelCount(), 1u);
    texture->Release();

    dds.fourCC = 0x33545844;  // DXT3: not offered
    EXPECT_EQ(LoadFrom(device->textureFactory, dds.Bytes()), nullptr);
}

TEST_F(TextureFactoryTest, DdsUncompressedRowsFollowThePitch) {
    auto device = MakeDevice(Offering({D3DFMT_R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5}));
    DdsFile dds;
    dds.width = 3;
    dds.height = 2;
    dds.formatFlags = 0x40;
    dds.fourCC = 0;
    dds.bits = 24;
    dds.data = Counting(3 * 3 * 2);
    IDirect3DTexture8* texture = LoadFrom(device->textureFactory, dds.Bytes());
    ASSERT_NE(texture, nullptr);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    const auto* bits = static_cast<const uint8_t*>(locked.pBits);
    EXPECT_EQ(bits[0], 1);
    EXPECT_EQ(bits[8], 9);
    EXPECT_EQ(bits[locked.Pitch], 10);
    EXPECT_EQ(bits[locked.Pitch + 8], 18);
    texture->UnlockRect(0);
    texture->Release();

    // 16-bit layouts are told apart by their masks; a paletted one is not a
    // layout this reader takes.
    dds.bits = 16;
    dds.green = 0x07E0;
    dds.data = Counting(3 * 2 * 2);
    texture = LoadFrom(device->textureFactory, dds.Bytes());
    ASSERT_NE(texture, nullptr);
    texture->Release();
    EXPECT_EQ(LinesWith("D3DFMT_R5G6B5, D3DPOOL_MANAGED").size(), 1u);
    dds.formatFlags = 0x20;  // palette indexed
    dds.bits = 8;
    EXPECT_EQ(LoadFrom(device->textureFactory, dds.Bytes()), nullptr);
}

TEST_F(TextureFactoryTest, DdsRefusals) {
    auto device = MakeDevice(Offering({D3DFMT_DXT1}, D3DPTEXTURECAPS_SQUAREONLY, 64));
    TextureFactory& f = device->textureFactory;
    DdsFile dds;
    dds.data = Counting(32);
    std::vector<uint8_t> bytes = dds.Bytes();
    bytes[0] = 'X';
    EXPECT_EQ(LoadFrom(f, bytes), nullptr);  // no magic
    bytes = dds.Bytes();
    bytes[4] = 100;
    EXPECT_EQ(LoadFrom(f, bytes), nullptr);  // wrong description size
    EXPECT_EQ(LoadFrom(f, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 60)), nullptr);
    DdsFile wide = dds;
    wide.width = 16;
    EXPECT_EQ(LoadFrom(f, wide.Bytes()), nullptr);  // not square
    DdsFile big = dds;
    big.width = big.height = 128;
    EXPECT_EQ(LoadFrom(f, big.Bytes()), nullptr);  // above the maximum size

    DdsFile cube = dds;
    cube.caps2 = 0x200;
    ExpectThrows([&] { LoadFrom(f, cube.Bytes()); }, "TextureFactory::LoadDDS()", "DXTC Cube Maps not supported!");
    DdsFile volume = cube;
    volume.flags |= 0x800000;
    volume.depth = 4;
    ExpectThrows([&] { LoadFrom(f, volume.Bytes()); }, "TextureFactory::LoadDDS()", "DXTC Volume Maps not supported!");
}

TEST_F(TextureFactoryTest, DdsReadsOnlyWhatTheFileHolds) {
    auto device = MakeDevice(Offering({D3DFMT_DXT1, D3DFMT_A8R8G8B8}));
    DdsFile dds;
    dds.width = dds.height = 16;
    dds.mipmaps = 5;
    dds.data = Counting(128 + 10);  // level 0 whole, level 1 cut short
    IDirect3DTexture8* texture = LoadFrom(device->textureFactory, dds.Bytes());
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetLevelCount(), 5u);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(static_cast<const uint8_t*>(locked.pBits)[127], 128);
    texture->UnlockRect(0);
    texture->Release();

    // A level count far beyond the picture's size is held to its chain.
    dds.mipmaps = 40;
    texture = LoadFrom(device->textureFactory, dds.Bytes());
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetLevelCount(), 5u);
    texture->Release();

    DdsFile rows;
    rows.formatFlags = 0x41;
    rows.fourCC = 0;
    rows.bits = 32;
    rows.alpha = 0xFF000000;
    rows.data = Counting(8 * 4 * 3);  // three of eight rows
    texture = LoadFrom(device->textureFactory, rows.Bytes());
    ASSERT_NE(texture, nullptr);
    texture->Release();
}

// ---------------------------------------------------------------------------
// The cache, with pictures written by ImageMagick.

class TextureCacheTest : public TextureFactoryTest {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() / ("halcyon2-textures-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        cvcore::SetBasePath((folder_.string() + "/").c_str());
    }
    void TearDown() override {
        cvcore::SetBasePath("");
        std::filesystem::remove_all(folder_);
        TextureFactoryTest::TearDown();
    }
    void Convert(const std::string& args, const std::string& name) {
        const std::string command = "convert " + args + " '" + (folder_ / name).string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        FILE* f = std::fopen((folder_ / name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }

    std::filesystem::path folder_;
};

TEST_F(TextureCacheTest, SameNameAnyCaseSameFlagSharesOneTexture) {
    Convert("-size 4x4 xc:'#FF8000'", "Wall.dds");
    auto device = MakeDevice(Offering({D3DFMT_A8R8G8B8, D3DFMT_DXT1}));
    TextureFactory& f = device->textureFactory;
    IDirect3DTexture8* first = f.Load("Wall.dds", 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(f.Load("WALL.DDS", 0), first);
    IDirect3DTexture8* other = f.Load("Wall.dds", 1);  // the file system is case-sensitive here
    EXPECT_NE(other, first);
    EXPECT_EQ(f.Load("wall.DDS", 1), other);
    EXPECT_EQ(f.GetCacheCount(), 2);
    EXPECT_EQ(LinesWith("CreateTexture(").size(), 2u);
    EXPECT_THROW(f.Load("missing.dds", 0), cvcore::Exception);
    EXPECT_EQ(f.GetCacheCount(), 2);

    // A new device empties the cache.
    DeviceSettings settings;
    settings.format = D3DFMT_R5G6B5;
    device->CreateDevice(settings);
    EXPECT_EQ(f.GetCacheCount(), 0);
}

TEST_F(TextureCacheTest, PicturesGoThroughTheCodecs) {
    Convert("-size 4x2 xc:'#FF8000'", "Wall.tga");
    cvcore::Image probe("Wall.tga");
    if (probe.GetPixels() == nullptr) GTEST_SKIP() << "no TGA decoder in this build";
    auto device = MakeDevice(Offering({D3DFMT_A8R8G8B8, D3DFMT_R8G8B8, D3DFMT_X8R8G8B8}));
    TextureFactory& f = device->textureFactory;
    IDirect3DTexture8* texture = f.Load("Wall.tga", 0);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(f.Load("wall.TGA", 0), texture);
    EXPECT_EQ(LinesWith("CreateTexture(4, 2, 1, 0x0, D3DFMT_R8G8B8, D3DPOOL_MANAGED)").size(), 1u);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    const auto* bits = static_cast<const uint8_t*>(locked.pBits);
    EXPECT_EQ(bits[0], 0x00);  // blue, green, red
    EXPECT_EQ(bits[1], 0x80);
    EXPECT_EQ(bits[2], 0xFF);
    texture->UnlockRect(0);
}

TEST_F(TextureCacheTest, ImageMagickDxt1WithItsMipmaps) {
    Convert("-size 8x8 gradient:red-blue", "ramp.dds");
    auto device = MakeDevice(Offering({D3DFMT_A8R8G8B8, D3DFMT_DXT1}));
    IDirect3DTexture8* texture = device->textureFactory.Load("ramp.dds", 0);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetLevelCount(), 4u);  // 8, 4, 2, 1
    FILE* file = std::fopen((folder_ / "ramp.dds").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    uint8_t bytes[128 + 32];
    ASSERT_EQ(std::fread(bytes, 1, sizeof bytes, file), sizeof bytes);
    std::fclose(file);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(std::memcmp(locked.pBits, bytes + 128, 32), 0);  // level 0: four blocks
    texture->UnlockRect(0);
}

TEST_F(TextureCacheTest, DdsNamesTryTheDdsReaderFirst) {
    auto device = MakeDevice(Offering({D3DFMT_A8R8G8B8, D3DFMT_DXT1}));
    DdsFile dds;
    dds.mipmaps = 2;
    dds.data = Counting(32 + 8);
    Write("stone.DDS", dds.Bytes());
    IDirect3DTexture8* texture = device->textureFactory.Load("stone.DDS", 0);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetLevelCount(), 2u);
    EXPECT_EQ(LinesWith("CreateTexture(8, 8, 2, 0x0, D3DFMT_DXT1, D3DPOOL_MANAGED)").size(), 1u);
    EXPECT_EQ(device->textureFactory.Load("STONE.dds", 0), texture);
}

}  // namespace
