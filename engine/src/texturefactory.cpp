#include "engine/texturefactory.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <strings.h>
#include <utility>
#include "cvcore/bytereader.h"
#include "cvcore/ddsheader.h"
#include "cvcore/exception.h"
#include "cvcore/filestream.h"
#include "cvcore/image.h"
#include "cvcore/pixelformat.h"
#include "cvcore/stream.h"
#include "cvcore/surface.h"
#include "engine/device3d.h"

namespace {

const char* const kModule = "texturefactory";

bool IsCompressed(D3DFORMAT format) {
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
           format == D3DFMT_DXT5;
}

// Bytes per pixel of the uncompressed DDS layouts; 0 for anything else.
int DdsBytesPerPixel(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_R8G8B8: return 3;
    case D3DFMT_A8R8G8B8: return 4;
    case D3DFMT_R5G6B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4: return 2;
    default: return 0;
    }
}

// The texture format of a DDS pixel format, or D3DFMT_UNKNOWN.
D3DFORMAT MapDdsFormat(uint32_t flags, uint32_t fourCC, uint32_t bits, uint32_t greenMask, uint32_t alphaMask) {
    static const std::pair<uint32_t, D3DFORMAT> compressed[] = {{cvcore::DdsFourCC('D', 'X', 'T', '1'), D3DFMT_DXT1},
                                                                {cvcore::DdsFourCC('D', 'X', 'T', '2'), D3DFMT_DXT2},
                                                                {cvcore::DdsFourCC('D', 'X', 'T', '3'), D3DFMT_DXT3},
                                                                {cvcore::DdsFourCC('D', 'X', 'T', '4'), D3DFMT_DXT4},
                                                                {cvcore::DdsFourCC('D', 'X', 'T', '5'), D3DFMT_DXT5}};
    for (const auto& [code, format] : compressed) {
        if (fourCC == code) {
            return format;
        }
    }
    if (flags == cvcore::DDPF_RGB_ALPHA && bits == 32 && alphaMask == 0xFF000000u) return D3DFMT_A8R8G8B8;
    if (flags == cvcore::DDPF_RGB && bits == 24) return D3DFMT_R8G8B8;
    if (flags == cvcore::DDPF_RGB && bits == 16 && greenMask == 0x07E0) return D3DFMT_R5G6B5;
    if (flags == cvcore::DDPF_RGB_ALPHA && bits == 16 && alphaMask == 0x8000) return D3DFMT_A1R5G5B5;
    if (flags == cvcore::DDPF_RGB_ALPHA && bits == 16 && alphaMask == 0xF000) return D3DFMT_A4R4G4B4;
    return D3DFMT_UNKNOWN;
}

// Levels of a full mipmap chain down to 1 x 1.
uint32_t FullChain(uint32_t width, uint32_t height) {
    return static_cast<uint32_t>(std::bit_width(std::max(width, height)));
}

uint32_t RoundUpPow2(uint32_t value) {
    if (value == 0) {
        return 0;
    }
    const uint32_t p = std::bit_floor(value);
    return p == value ? p : 2 * p;
}

// Reads the magic and the description; false when the stream holds no DDS
// file. The stream is then at the first level.
bool ReadDdsHeader(cvcore::Stream& stream, cvcore::DdsHeader& dds) {
    stream.Seek(0, cvcore::SEEK_FROM_START);
    uint8_t bytes[cvcore::DDS_FILE_HEADER_SIZE];
    if (stream.Read(bytes, sizeof bytes) != static_cast<int32_t>(sizeof bytes)) {
        return false;
    }
    cvcore::ByteReader reader(bytes, sizeof bytes);
    return cvcore::ReadDdsHeader(reader, dds) && dds.size == cvcore::DDS_DESCRIPTION_SIZE;
}

// Reads one level into locked memory; false when the file ran out first.
bool ReadLevel(cvcore::Stream& stream, const D3DSURFACE_DESC& desc, const D3DLOCKED_RECT& locked, D3DFORMAT format) {
    auto* bits = static_cast<uint8_t*>(locked.pBits);
    if (IsCompressed(format)) {
        const uint32_t blocks = std::max(1u, (desc.Width + 3) / 4) * std::max(1u, (desc.Height + 3) / 4);
        const uint32_t size = blocks * (format == D3DFMT_DXT1 ? 8u : 16u);
        const auto wanted = static_cast<int32_t>(std::min(size, desc.Size != 0 ? desc.Size : size));
        return stream.Read(bits, wanted) == wanted;
    }
    const int32_t row = static_cast<int32_t>(desc.Width) * DdsBytesPerPixel(format);
    if (locked.Pitch < row) {
        return false;
    }
    for (uint32_t y = 0; y < desc.Height; ++y) {
        if (stream.Read(bits + static_cast<size_t>(y) * static_cast<size_t>(locked.Pitch), row) != row) {
            return false;
        }
    }
    return true;
}

// Fills one level of the texture from the stream; false when the filling
// has to end here (the level could not be reached or locked, or the file ran
// out, which leaves the remaining levels as the device gave them).
bool FillLevel(cvcore::Stream& stream, IDirect3DTexture8* texture, uint32_t level, D3DFORMAT format) {
    IDirect3DSurface8* surface = nullptr;
    if (FAILED(texture->GetSurfaceLevel(level, &surface)) || surface == nullptr) {
        return false;
    }
    D3DSURFACE_DESC desc{};
    surface->GetDesc(&desc);
    D3DLOCKED_RECT locked{};
    if (desc.Format != format || FAILED(surface->LockRect(&locked, nullptr, 0)) || locked.pBits == nullptr) {
        surface->Release();
        return false;
    }
    const bool complete = ReadLevel(stream, desc, locked, format);
    const bool unlocked = SUCCEEDED(surface->UnlockRect());
    surface->Release();
    return complete && unlocked;
}

}  // namespace

const TextureFactory::FormatRow TextureFactory::TextureFormatTable[FORMAT_COUNT] = {
    {D3DFMT_A8R8G8B8, 32, 8, 8, 8, 8}, {D3DFMT_A4R4G4B4, 16, 4, 4, 4, 4}, {D3DFMT_A1R5G5B5, 16, 1, 5, 5, 5},
    {D3DFMT_A8R3G3B2, 16, 8, 3, 3, 2}, {D3DFMT_R8G8B8, 24, 0, 8, 8, 8},   {D3DFMT_X8R8G8B8, 32, 0, 8, 8, 8},
    {D3DFMT_R5G6B5, 16, 0, 5, 6, 5},   {D3DFMT_X1R5G5B5, 16, 0, 5, 5, 5}, {D3DFMT_X4R4G4B4, 16, 0, 4, 4, 4},
    {D3DFMT_R3G3B2, 8, 0, 3, 3, 2},
};

TextureFactory::CacheEntry::CacheEntry(const char* n, uint8_t f, IDirect3DTexture8* t)
    : name(n), flags(f), texture(t) {}

TextureFactory::CacheEntry::~CacheEntry() {
    if (texture != nullptr) {
        texture->Release();
    }
}

TextureFactory::CacheEntry::CacheEntry(CacheEntry&& other) noexcept
    : name(other.name), flags(other.flags), texture(std::exchange(other.texture, nullptr)) {}

TextureFactory::CacheEntry& TextureFactory::CacheEntry::operator=(CacheEntry&& other) noexcept {
    if (this != &other) {
        if (texture != nullptr) {
            texture->Release();
        }
        name = other.name;
        flags = other.flags;
        texture = std::exchange(other.texture, nullptr);
    }
    return *this;
}

TextureFactory::~TextureFactory() {
    ReleaseAll();
    Unbind();
}

void TextureFactory::ReleaseAll() { cache_.clear(); }

void TextureFactory::Unbind() {
    if (direct3d_ != nullptr) {
        direct3d_->Release();
        direct3d_ = nullptr;
    }
    device_ = nullptr;
}

void TextureFactory::Bind(Device3D& device) {
    ReleaseAll();
    Unbind();
    device_ = device.GetDevice();
    if (device_ == nullptr || FAILED(device_->GetDeviceCaps(&caps_))) {
        device_ = nullptr;
        throw cvcore::Exception("GetImageFormat:GetDeviceCaps", "Failed!", kModule);
    }
    if (FAILED(device_->GetDirect3D(&direct3d_)) || direct3d_ == nullptr) {
        direct3d_ = nullptr;
        throw cvcore::Exception("GetImageFormat:GetDirect3D", "Failed!", kModule);
    }
    if (FAILED(direct3d_->GetAdapterDisplayMode(caps_.AdapterOrdinal, &displayMode_))) {
        throw cvcore::Exception("GetImageFormat:GetAdapterDisplayMode", "Failed!", kModule);
    }
}

IDirect3DTexture8* TextureFactory::Find(const char* name, uint8_t flags) const {
    for (const CacheEntry& entry : cache_) {
        if (entry.flags == flags && strcasecmp(entry.name.Text(), name) == 0) {
            return entry.texture;
        }
    }
    return nullptr;
}

IDirect3DTexture8* TextureFactory::Remember(const char* name, uint8_t flags, IDirect3DTexture8* texture) {
    cache_.emplace_back(name, flags, texture);
    return texture;
}

IDirect3DTexture8* TextureFactory::Load(const char* name, int flag) {
    if (name == nullptr) {
        throw cvcore::Exception("TextureFactory::Load()", "No file name!", kModule);
    }
    const auto flags = static_cast<uint8_t>(flag & 1);
    if (IDirect3DTexture8* cached = Find(name, flags)) {
        return cached;
    }
    if (strcasecmp(cvcore::GetExtension(name).Text(), "dds") == 0) {
        IDirect3DTexture8* texture = nullptr;
        {
            cvcore::FileStream stream(name, cvcore::STREAM_READ);
            texture = LoadDDS(stream);
        }
        if (texture != nullptr) {
            return Remember(name, flags, texture);
        }
    }
    cvcore::Image image(name);
    return Remember(name, flags, CreateTextureFromImage(image, flag));
}

IDirect3DTexture8* TextureFactory::CreateTextureFromImage(const cvcore::Image& image, int /*flag*/) {
    cvcore::PixelFormat pixelFormat;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    uint32_t width = 0;
    uint32_t height = 0;
    GetImageFormat(image, pixelFormat, format, width, height);

    // An image that decoded to nothing has no pixels to copy; the device
    // would refuse the empty texture anyway.
    IDirect3DTexture8* texture = nullptr;
    if (device_ == nullptr || image.GetPixels() == nullptr || width == 0 || height == 0 ||
        FAILED(device_->CreateTexture(width, height, 1, 0, format, D3DPOOL_MANAGED, &texture)) || texture == nullptr) {
        throw cvcore::Exception("CreateTexture::CreateTexture()", "Failed!", kModule);
    }
    IDirect3DSurface8* surface = nullptr;
    if (FAILED(texture->GetSurfaceLevel(0, &surface)) || surface == nullptr) {
        texture->Release();
        throw cvcore::Exception("CreateTexture::GetSurfaceLevel()", "Failed!", kModule);
    }
    D3DSURFACE_DESC desc{};
    surface->GetDesc(&desc);
    D3DLOCKED_RECT locked{};
    if (FAILED(surface->LockRect(&locked, nullptr, 0)) || locked.pBits == nullptr) {
        surface->Release();
        texture->Release();
        throw cvcore::Exception("CreateTexture::LockRect()", "Failed!", kModule);
    }
    cvcore::Surface target(static_cast<int32_t>(desc.Width), static_cast<int32_t>(desc.Height), locked.Pitch,
                           pixelFormat, locked.pBits);
    target.Blit(image, cvcore::BLIT_FILTER);
    surface->UnlockRect();
    surface->Release();
    return texture;
}

void TextureFactory::GetImageFormat(const cvcore::Image& image, cvcore::PixelFormat& pixelFormat, D3DFORMAT& format,
                                    uint32_t& width, uint32_t& height) {
    pixelFormat = image.GetFormat();
    if (pixelFormat.IsIndexed() || pixelFormat.IsIntensity()) {
        const int32_t alpha = pixelFormat.AlphaSize();
        if (alpha == 0) {
            pixelFormat = cvcore::PixelFormat(16, 0xF800, 0x07E0, 0x001F, 0);
        } else if (alpha == 1) {
            pixelFormat = cvcore::PixelFormat(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
        } else {
            pixelFormat = cvcore::PixelFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000);
        }
    }
    if (pixelFormat.IsIndexed() || pixelFormat.IsIntensity()) {
        throw cvcore::Exception("GetImageFormat", "Impossible error!", kModule);
    }
    if (!ChooseFormat(pixelFormat, format)) {
        throw cvcore::Exception("TetureFactoryDX8::GetImageFormat()", "3D HW doesn't support any Direct image format!",
                                kModule);
    }
    if (!GetPixelFormat(format, pixelFormat)) {
        throw cvcore::Exception("TetureFactoryDX8::GetPixelFormat()", "No PixelFormat found for current D3DFORMAT!",
                                kModule);
    }
    GetTextureSize(image, width, height);
}

bool TextureFactory::DeviceAccepts(D3DFORMAT format) const {
    return direct3d_ != nullptr &&
           SUCCEEDED(direct3d_->CheckDeviceFormat(caps_.AdapterOrdinal, caps_.DeviceType, displayMode_.Format, 0,
                                                  D3DRTYPE_TEXTURE, format));
}

bool TextureFactory::ChooseFormat(const cvcore::PixelFormat& pixelFormat, D3DFORMAT& format) {
    // A picture with alpha keeps it whenever the device offers a format
    // that has some: losing transparency shows far more than losing colour
    // depth. Only without such a format does the nearest format win.
    if (pixelFormat.AlphaSize() > 0 && ChooseNearest(pixelFormat, true, format)) {
        return true;
    }
    return ChooseNearest(pixelFormat, false, format);
}

bool TextureFactory::ChooseNearest(const cvcore::PixelFormat& pixelFormat, bool withAlphaOnly,
                                   D3DFORMAT& format) const {
    const int bits = pixelFormat.BitsPerPixel();
    const int alpha = pixelFormat.AlphaSize();
    const int red = pixelFormat.RedSize();
    const int green = pixelFormat.GreenSize();
    const int blue = pixelFormat.BlueSize();
    bool found = false;
    int best = 0;
    for (const FormatRow& row : TextureFormatTable) {
        if ((withAlphaOnly && row.alpha == 0) || !DeviceAccepts(row.format)) {
            continue;
        }
        const int dg = row.green - green;
        const int db = row.blue - blue;
        const int dr = row.red - red;
        const int da = 2 * (row.alpha - alpha);  // alpha weighs four times a colour channel
        const int dbits = row.bits - bits;
        const int distance = dg * dg + db * db + dr * dr + da * da + dbits * dbits;
        if (!found || distance < best) {
            found = true;
            best = distance;
            format = row.format;
            if (distance == 0) {
                break;
            }
        }
    }
    return found;
}

bool TextureFactory::GetPixelFormat(D3DFORMAT format, cvcore::PixelFormat& pixelFormat) {
    for (const FormatRow& row : TextureFormatTable) {
        if (row.format != format) {
            continue;
        }
        const uint32_t blue = (1u << row.blue) - 1;
        const uint32_t green = ((1u << row.green) - 1) << row.blue;
        const uint32_t red = ((1u << row.red) - 1) << (row.blue + row.green);
        const uint32_t alpha = ((1u << row.alpha) - 1) << (row.blue + row.green + row.red);
        pixelFormat = cvcore::PixelFormat(static_cast<uint32_t>(row.bits), red, green, blue, alpha);
        return true;
    }
    return false;
}

void TextureFactory::GetTextureSize(uint32_t imageWidth, uint32_t imageHeight, uint32_t& width,
                                    uint32_t& height) const {
    width = imageWidth;
    height = imageHeight;
    auto maxWidth = static_cast<uint32_t>(caps_.MaxTextureWidth);
    auto maxHeight = static_cast<uint32_t>(caps_.MaxTextureHeight);
    if ((caps_.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) != 0) {
        width = height = std::max(width, height);
        // Different limits per side must not make a square texture oblong.
        maxWidth = maxHeight = std::min(maxWidth, maxHeight);
    }
    if ((caps_.TextureCaps & D3DPTEXTURECAPS_POW2) != 0) {
        width = RoundUpPow2(width);
        height = RoundUpPow2(height);
    }
    width = std::min(width, maxWidth);
    height = std::min(height, maxHeight);
}

void TextureFactory::GetTextureSize(const cvcore::Image& image, uint32_t& width, uint32_t& height) const {
    GetTextureSize(static_cast<uint32_t>(std::max(image.GetWidth(), 0)),
                   static_cast<uint32_t>(std::max(image.GetHeight(), 0)), width, height);
}

IDirect3DTexture8* TextureFactory::LoadDDS(cvcore::Stream& stream) {
    cvcore::DdsHeader dds;
    if (!ReadDdsHeader(stream, dds)) {
        return nullptr;
    }
    if (((caps_.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) != 0 && dds.width != dds.height) ||
        dds.width > caps_.MaxTextureWidth || dds.height > caps_.MaxTextureHeight || dds.width == 0 || dds.height == 0) {
        return nullptr;
    }
    // A count beyond the full chain cannot describe real levels; the file
    // holds at most that many.
    const uint32_t levels = std::min(dds.mipmaps == 0 ? 1u : dds.mipmaps, FullChain(dds.width, dds.height));
    if ((dds.flags & cvcore::DDSD_DEPTH) != 0 && dds.depth > 0) {
        throw cvcore::Exception("TextureFactory::LoadDDS()", "DXTC Volume Maps not supported!", kModule);
    }
    if ((dds.caps2 & cvcore::DDSCAPS2_CUBE_ANY) != 0) {
        throw cvcore::Exception("TextureFactory::LoadDDS()", "DXTC Cube Maps not supported!", kModule);
    }
    const D3DFORMAT format = MapDdsFormat(dds.formatFlags, dds.fourCC, dds.bitCount, dds.greenMask, dds.alphaMask);
    if (format == D3DFMT_UNKNOWN || !DeviceAccepts(format)) {
        return nullptr;
    }
    IDirect3DTexture8* texture = nullptr;
    if (device_ == nullptr ||
        FAILED(device_->CreateTexture(dds.width, dds.height, levels, 0, format, D3DPOOL_MANAGED, &texture)) ||
        texture == nullptr) {
        throw cvcore::Exception("LoadDDS::CreateTexture()", "Failed!", kModule);
    }
    for (uint32_t level = 0; level < levels; ++level) {
        if (!FillLevel(stream, texture, level, format)) {
            break;
        }
    }
    return texture;
}
