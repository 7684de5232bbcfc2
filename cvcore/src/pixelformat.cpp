#include "cvcore/pixelformat.h"

#include <bit>
#include <cstring>

namespace cvcore {

namespace {

struct StandardRow {
    uint32_t bits, red, green, blue, alpha;
    bool indexed;
};

constexpr StandardRow kStandard[STANDARD_FORMAT_COUNT] = {
    {8, 0, 0, 0xFF, 0, true},
    {PIXELFORMAT_INTENSITY | 8, 0, 0, 0xFF, 0, false},
    {8, 0xE0, 0x1C, 0x03, 0, false},
    {16, 0xF800, 0x07E0, 0x001F, 0, false},
    {24, 0xFF0000, 0x00FF00, 0x0000FF, 0, false},
    {16, 0x7C00, 0x03E0, 0x001F, 0x8000, false},
    {16, 0x0F00, 0x00F0, 0x000F, 0xF000, false},
    {32, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000, false},
};

std::unique_ptr<uint32_t[]> CopyPalette(const uint32_t* entries) {
    std::unique_ptr<uint32_t[]> palette(new uint32_t[PixelFormat::PALETTE_ENTRIES]());
    if (entries) std::memcpy(palette.get(), entries, PixelFormat::PALETTE_ENTRIES * sizeof(uint32_t));
    return palette;
}

}  // namespace

int32_t TopBit(uint32_t mask) { return mask ? 31 - std::countl_zero(mask) : -1; }

int32_t LowBit(uint32_t mask) { return mask ? std::countr_zero(mask) : -1; }

void MaskInfo(uint32_t mask, uint8_t& size, int8_t& topBit) {
    topBit = static_cast<int8_t>(TopBit(mask));
    size = mask ? static_cast<uint8_t>(TopBit(mask) - LowBit(mask) + 1) : 0;
}

PixelFormat::PixelFormat() = default;

PixelFormat::PixelFormat(uint32_t bits, uint32_t redMask, uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask)
    : bits_(bits), redMask_(redMask), greenMask_(greenMask), blueMask_(blueMask), alphaMask_(alphaMask) {
    Derive();
}

PixelFormat::PixelFormat(uint32_t bits, uint32_t redMask, uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask,
                         const uint32_t* palette)
    : PixelFormat(bits, redMask, greenMask, blueMask, alphaMask) {
    palette_ = CopyPalette(palette);
}

PixelFormat::PixelFormat(const PixelFormat& other)
    : palette_(other.palette_ ? CopyPalette(other.palette_.get()) : nullptr),
      bits_(other.bits_),
      redMask_(other.redMask_),
      greenMask_(other.greenMask_),
      blueMask_(other.blueMask_),
      alphaMask_(other.alphaMask_) {
    Derive();
}

PixelFormat::PixelFormat(PixelFormat&& other) noexcept = default;

PixelFormat& PixelFormat::operator=(const PixelFormat& other) {
    if (this != &other) {
        PixelFormat copy(other);
        *this = std::move(copy);
    }
    return *this;
}

PixelFormat& PixelFormat::operator=(PixelFormat&& other) noexcept = default;

PixelFormat::~PixelFormat() = default;

PixelFormat PixelFormat::Standard(int32_t index) {
    if (index < 0 || index >= STANDARD_FORMAT_COUNT) return PixelFormat();
    const StandardRow& row = kStandard[index];
    if (row.indexed) return PixelFormat(row.bits, row.red, row.green, row.blue, row.alpha, nullptr);
    return PixelFormat(row.bits, row.red, row.green, row.blue, row.alpha);
}

void PixelFormat::SetMasks(uint32_t redMask, uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask) {
    redMask_ = redMask;
    greenMask_ = greenMask;
    blueMask_ = blueMask;
    alphaMask_ = alphaMask;
    Derive();
}

void PixelFormat::SetPalette(const uint32_t* entries) {
    if (entries)
        palette_ = CopyPalette(entries);
    else
        palette_.reset();
}

uint32_t* PixelFormat::CreatePalette() {
    if (!palette_) palette_ = CopyPalette(nullptr);
    return palette_.get();
}

bool PixelFormat::IsSameFormat(const PixelFormat& other) const {
    return bits_ == other.bits_ && redMask_ == other.redMask_ && greenMask_ == other.greenMask_ &&
           blueMask_ == other.blueMask_ && alphaMask_ == other.alphaMask_ && IsIndexed() == other.IsIndexed();
}

int32_t PixelFormat::StandardIndex() const {
    for (int32_t k = 0; k < STANDARD_FORMAT_COUNT; ++k) {
        const StandardRow& row = kStandard[k];
        if (bits_ == row.bits && redMask_ == row.red && greenMask_ == row.green && blueMask_ == row.blue &&
            alphaMask_ == row.alpha && IsIndexed() == row.indexed)
            return k;
    }
    return -1;
}

void PixelFormat::Derive() {
    const uint32_t masks[4] = {blueMask_, greenMask_, redMask_, alphaMask_};
    for (int c = 0; c < 4; ++c) MaskInfo(masks[c], sizes_[c], topBits_[c]);
}

}  // namespace cvcore
