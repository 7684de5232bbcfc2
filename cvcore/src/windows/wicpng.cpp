// PNG reader through the Windows Imaging Component, with the results of
// the libpng codec: grey files without transparency stay one byte per pixel,
// everything else becomes blue, green, red and alpha; a file gamma in a gAMA
// chunk is corrected for the display the pictures were made for. The chunk
// walk here decides those rules, the size limits and that the file is whole
// before WIC allocates.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "cvcore/codecs.h"
#include "cvcore/image.h"
#include "cvcore/stream.h"
#include "../decodeutil.h"
#include "wicimaging.h"

namespace cvcore {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr double kScreenGamma = 2.3;
// A correction this close to none is not made (libpng's threshold).
constexpr double kGammaThreshold = 0.05;
constexpr uint32_t kMaxSide = 65535;
// Deflate turns one byte into at most 1032: image data that could not
// inflate to the picture belongs to a cut file or one lying about its size.
constexpr uint64_t kMaxInflateRatio = 1032;
constexpr uint64_t kInflateSlack = 1024;

uint32_t BigEndian32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

struct Header {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitsPerPixel = 0;
    uint8_t colourType = 0;
    bool transparency = false;
    double fileGamma = 0;  // 0: no gAMA chunk
    uint64_t imageDataBytes = 0;
    bool ended = false;  // every chunk whole, up to and with IEND
};

uint32_t Channels(uint8_t colourType) {
    switch (colourType) {
    case 0:
    case 3: return 1;
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 0;
    }
}

// The header, and the chunks that decide the result, as far as the file
// really holds them.
bool ReadHeader(const std::vector<uint8_t>& file, Header& h) {
    if (file.size() < 33 || std::memcmp(file.data(), kSignature, 8) != 0 || BigEndian32(&file[8]) != 13 ||
        std::memcmp(&file[12], "IHDR", 4) != 0)
        return false;
    h.width = BigEndian32(&file[16]);
    h.height = BigEndian32(&file[20]);
    h.colourType = file[25];
    h.bitsPerPixel = uint32_t{file[24]} * Channels(h.colourType);
    for (size_t at = 8; file.size() - at >= 8;) {
        const uint64_t length = BigEndian32(&file[at]);
        const uint64_t present = std::min<uint64_t>(length, file.size() - at - 8);
        const uint8_t* type = &file[at + 4];
        if (std::memcmp(type, "IDAT", 4) == 0) h.imageDataBytes += present;
        if (std::memcmp(type, "tRNS", 4) == 0) h.transparency = true;
        if (std::memcmp(type, "gAMA", 4) == 0 && present == 4) h.fileGamma = BigEndian32(&file[at + 8]) / 100000.0;
        if (present < length || file.size() - at - 8 - present < 4) break;
        if (std::memcmp(type, "IEND", 4) == 0) h.ended = true;
        at += 12 + static_cast<size_t>(length);
    }
    const uint64_t raw = (uint64_t{h.width} * h.height * h.bitsPerPixel + 7) / 8;
    // A file cut short is refused even when its pixels are all there, as
    // libpng refuses it: some system decoders stop reading at the last row.
    return h.ended && h.width > 0 && h.height > 0 && h.width <= kMaxSide && h.height <= kMaxSide &&
           h.bitsPerPixel > 0 && raw <= h.imageDataBytes * kMaxInflateRatio + kInflateSlack;
}

// Colour (or grey) samples to the display's gamma; alpha is left alone.
void CorrectGamma(const Header& h, bool grey, uint8_t* pixels, size_t count) {
    if (h.fileGamma <= 0 || std::fabs(h.fileGamma * kScreenGamma - 1.0) < kGammaThreshold) return;
    const double exponent = 1.0 / (h.fileGamma * kScreenGamma);
    uint8_t table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<uint8_t>(std::floor(255.0 * std::pow(i / 255.0, exponent) + 0.5));
    const size_t step = grey ? 1 : 4;
    const size_t samples = grey ? 1 : 3;
    for (size_t i = 0; i < count; i += step)
        for (size_t c = 0; c < samples; ++c) pixels[i + c] = table[pixels[i + c]];
}

}  // namespace

bool DecodePNG(Image& image, Stream& stream) {
    const std::vector<uint8_t> file = decode::ReadAll(stream);
    Header h;
    if (!ReadHeader(file, h)) return false;
    const bool grey = h.colourType == 0 && !h.transparency;
    const int32_t bytes = grey ? 1 : 4;
    wic::Pixels pixels;
    if (!wic::Decode(file, GUID_ContainerFormatPng, grey ? GUID_WICPixelFormat8bppGray : GUID_WICPixelFormat32bppBGRA,
                     bytes, decode::MAX_PIXEL_BYTES, pixels))
        return false;
    CorrectGamma(h, grey, pixels.data.get(),
                 static_cast<size_t>(pixels.width) * static_cast<size_t>(pixels.height) * static_cast<size_t>(bytes));
    const PixelFormat format = PixelFormat::Standard(grey ? FORMAT_INTENSITY8 : FORMAT_A8R8G8B8);
    image.SetPixels(pixels.width, pixels.height, format, std::move(pixels.data));
    return true;
}

}  // namespace cvcore
