#pragma once
#include <cstdint>
#include <memory>

namespace cvcore {

// Marks an intensity format in PixelFormat::Bits(); the low bits still hold
// the bits per pixel.
constexpr uint32_t PIXELFORMAT_INTENSITY = 0x80000000u;

// Channel order of Size() and TopBit(): the byte order of an A8R8G8B8 pixel.
enum PixelChannel : int32_t { CHANNEL_BLUE = 0, CHANNEL_GREEN = 1, CHANNEL_RED = 2, CHANNEL_ALPHA = 3 };

// The eight formats the framework knows by name.
enum StandardFormat : int32_t {
    FORMAT_INDEXED8 = 0,    // 8-bit index into a 256-entry palette (index in blueMask)
    FORMAT_INTENSITY8 = 1,  // 8-bit intensity (intensity in blueMask)
    FORMAT_R3G3B2 = 2,
    FORMAT_R5G6B5 = 3,
    FORMAT_R8G8B8 = 4,
    FORMAT_A1R5G5B5 = 5,
    FORMAT_A4R4G4B4 = 6,
    FORMAT_A8R8G8B8 = 7,
    STANDARD_FORMAT_COUNT = 8
};

// Highest / lowest set bit of mask; -1 for an empty mask.
int32_t TopBit(uint32_t mask);
int32_t LowBit(uint32_t mask);
// Size (top bit - low bit + 1, 0 for an empty mask) and top bit of a mask.
void MaskInfo(uint32_t mask, uint8_t& size, int8_t& topBit);

// Describes the pixels of a surface: packed direct colour with arbitrary
// channel masks, 8-bit indexed colour with an owned 256-entry A8R8G8B8
// palette, or 8-bit intensity. Masks apply to a pixel read as a
// little-endian integer. Sizes and top bits are derived from the masks and
// kept current by every constructor and setter.
class PixelFormat {
public:
    static constexpr int32_t PALETTE_ENTRIES = 256;

    PixelFormat();  // all zero, no palette
    PixelFormat(uint32_t bits, uint32_t redMask, uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask);
    // With a palette: 256 entries are copied from palette; a null palette
    // still makes the format indexed, with all entries zero.
    PixelFormat(uint32_t bits, uint32_t redMask, uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask,
                const uint32_t* palette);
    PixelFormat(const PixelFormat& other);  // the palette is copied, never shared
    PixelFormat(PixelFormat&& other) noexcept;
    PixelFormat& operator=(const PixelFormat& other);
    PixelFormat& operator=(PixelFormat&& other) noexcept;
    ~PixelFormat();

    // Standard format k (0..7); anything else gives the empty format. The
    // indexed format comes with an all-zero palette.
    static PixelFormat Standard(int32_t index);

    uint32_t Bits() const { return bits_; }  // with the intensity flag
    int32_t BitsPerPixel() const { return static_cast<int32_t>(bits_ & ~PIXELFORMAT_INTENSITY); }
    int32_t BytesPerPixel() const { return BitsPerPixel() / 8; }
    bool IsIntensity() const { return (bits_ & PIXELFORMAT_INTENSITY) != 0; }
    bool IsIndexed() const { return palette_ != nullptr; }

    uint32_t RedMask() const { return redMask_; }
    uint32_t GreenMask() const { return greenMask_; }
    uint32_t BlueMask() const { return blueMask_; }
    uint32_t AlphaMask() const { return alphaMask_; }
    // Bits in a channel's mask and its highest bit (-1 when empty).
    int32_t Size(PixelChannel channel) const { return sizes_[channel]; }
    int32_t TopBit(PixelChannel channel) const { return topBits_[channel]; }
    int32_t RedSize() const { return sizes_[CHANNEL_RED]; }
    int32_t GreenSize() const { return sizes_[CHANNEL_GREEN]; }
    int32_t BlueSize() const { return sizes_[CHANNEL_BLUE]; }
    int32_t AlphaSize() const { return sizes_[CHANNEL_ALPHA]; }

    // 256 A8R8G8B8 entries, or null for a format without palette.
    uint32_t* Palette() { return palette_.get(); }
    const uint32_t* Palette() const { return palette_.get(); }

    void SetBits(uint32_t bits) { bits_ = bits; }
    void SetMasks(uint32_t redMask, uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask);
    // Copies 256 entries; null removes the palette.
    void SetPalette(const uint32_t* entries);
    // Gives the format an all-zero palette when it has none.
    uint32_t* CreatePalette();

    // The same format for the blitter: equal bits and masks, and both or
    // neither indexed (palette contents are not compared).
    bool IsSameFormat(const PixelFormat& other) const;
    bool operator==(const PixelFormat& other) const { return IsSameFormat(other); }
    // The standard index this format matches, or -1.
    int32_t StandardIndex() const;

private:
    void Derive();

    std::unique_ptr<uint32_t[]> palette_;
    uint32_t bits_ = 0;
    uint32_t redMask_ = 0;
    uint32_t greenMask_ = 0;
    uint32_t blueMask_ = 0;
    uint32_t alphaMask_ = 0;
    uint8_t sizes_[4] = {0, 0, 0, 0};       // blue, green, red, alpha
    int8_t topBits_[4] = {-1, -1, -1, -1};  // blue, green, red, alpha
};

}  // namespace cvcore
