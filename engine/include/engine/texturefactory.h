#pragma once
#include <cstdint>
#include <vector>
#include <d3d8.h>
#include "cvcore/string.h"

namespace cvcore {
class Image;
class PixelFormat;
class Stream;
}  // namespace cvcore

class Device3D;

// Turns images into Direct3D textures and caches the textures loaded by name
// for the lifetime of the bound device. Textures from Load belong to the
// cache: callers never release them.
class TextureFactory {
public:
    // One row of the format search table.
    struct FormatRow {
        D3DFORMAT format;
        int bits, alpha, red, green, blue;
    };
    static constexpr int FORMAT_COUNT = 10;
    static const FormatRow TextureFormatTable[FORMAT_COUNT];

    TextureFactory() = default;
    ~TextureFactory();
    TextureFactory(const TextureFactory&) = delete;
    TextureFactory& operator=(const TextureFactory&) = delete;

    // Empties the cache and reads the device's caps and display mode. Throws
    // cvcore::Exception when either cannot be read.
    void Bind(Device3D& device);

    // The cached texture for (name ignoring case, flag), or a new one from a
    // DDS reader or the image codecs. Throws when the file cannot be made
    // into a texture.
    IDirect3DTexture8* Load(const char* name, int flag);
    // A new one-level texture holding the image converted (and resampled to
    // the texture size) by the blitter. Not cached: the caller owns it.
    IDirect3DTexture8* CreateTextureFromImage(const cvcore::Image& image, int flag);

    // The texture's pixel format, Direct3D format and size for an image.
    void GetImageFormat(const cvcore::Image& image, cvcore::PixelFormat& pixelFormat, D3DFORMAT& format,
                        uint32_t& width, uint32_t& height);
    // The device-accepted table row nearest to the pixel format; false when
    // the device accepts none.
    bool ChooseFormat(const cvcore::PixelFormat& pixelFormat, D3DFORMAT& format);
    // The packed layout of a table format; false for formats outside it.
    static bool GetPixelFormat(D3DFORMAT format, cvcore::PixelFormat& pixelFormat);
    // The texture size the hardware allows for an image of the given size.
    void GetTextureSize(uint32_t imageWidth, uint32_t imageHeight, uint32_t& width, uint32_t& height) const;
    void GetTextureSize(const cvcore::Image& image, uint32_t& width, uint32_t& height) const;
    // A texture with every mipmap level of a DDS file, or null when the file
    // is no DDS this reader handles (the caller then tries the codecs).
    // Throws for volume and cube maps.
    IDirect3DTexture8* LoadDDS(cvcore::Stream& stream);

    void ReleaseAll();
    // Drops the device and the Direct3D reference taken by Bind.
    void Unbind();
    int GetCacheCount() const { return static_cast<int>(cache_.size()); }
    const D3DCAPS8& GetCaps() const { return caps_; }
    const D3DDISPLAYMODE& GetDisplayMode() const { return displayMode_; }

private:
    struct CacheEntry {
        CacheEntry(const char* name, uint8_t flags, IDirect3DTexture8* texture);
        ~CacheEntry();
        CacheEntry(CacheEntry&& other) noexcept;
        CacheEntry& operator=(CacheEntry&& other) noexcept;
        CacheEntry(const CacheEntry&) = delete;
        CacheEntry& operator=(const CacheEntry&) = delete;

        cvcore::String name;
        uint8_t flags;               // bit 0: the caller's flag
        IDirect3DTexture8* texture;  // one reference, owned
    };

    IDirect3DTexture8* Find(const char* name, uint8_t flags) const;
    IDirect3DTexture8* Remember(const char* name, uint8_t flags, IDirect3DTexture8* texture);
    bool DeviceAccepts(D3DFORMAT format) const;
    // The nearest offered format, among those with alpha only if asked.
    bool ChooseNearest(const cvcore::PixelFormat& pixelFormat, bool withAlphaOnly, D3DFORMAT& format) const;

    std::vector<CacheEntry> cache_;       // creation order
    IDirect3D8* direct3d_ = nullptr;      // one reference from GetDirect3D
    IDirect3DDevice8* device_ = nullptr;  // not owned
    D3DCAPS8 caps_{};
    D3DDISPLAYMODE displayMode_{};
};
