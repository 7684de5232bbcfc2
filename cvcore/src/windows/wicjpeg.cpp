// JPEG reader and writer through the Windows Imaging Component, with the
// results of the libjpeg codec: colour and grey files both become
// blue-green-red pictures, other colour models are refused.
#include <algorithm>

#include "cvcore/codecs.h"
#include "cvcore/image.h"
#include "cvcore/stream.h"
#include "../decodeutil.h"
#include "wicimaging.h"

namespace cvcore {

namespace {

// Coded data spends at least one bit on every 8 x 8 block of every
// component: a few hundred bytes cannot claim hundreds of megabytes.
constexpr int64_t kMaxPictureBytesPerFileByte = 4096;
constexpr int64_t kPictureSlack = int64_t{1} << 20;
constexpr int32_t kMaxSide = 65500;

bool ColourOrGrey(const GUID& format) {
    return IsEqualGUID(format, GUID_WICPixelFormat24bppBGR) || IsEqualGUID(format, GUID_WICPixelFormat8bppGray);
}

}  // namespace

bool DecodeJPEG(Image& image, Stream& stream) {
    const std::vector<uint8_t> file = decode::ReadAll(stream);
    if (file.empty() || !ColourOrGrey(wic::NativeFormat(file, GUID_ContainerFormatJpeg))) return false;
    wic::Pixels pixels;
    const int64_t mostBytes = static_cast<int64_t>(file.size()) * kMaxPictureBytesPerFileByte + kPictureSlack;
    if (!wic::Decode(file, GUID_ContainerFormatJpeg, GUID_WICPixelFormat24bppBGR, 3, mostBytes, pixels)) return false;
    image.SetPixels(pixels.width, pixels.height, PixelFormat::Standard(FORMAT_R8G8B8), std::move(pixels.data));
    return true;
}

bool EncodeJPEG(const Surface& image, Stream& stream, int32_t quality) {
    if (image.GetWidth() <= 0 || image.GetHeight() <= 0 || image.GetWidth() > kMaxSide ||
        image.GetHeight() > kMaxSide || !image.GetPixels())
        return false;
    Image pixels(image.GetWidth(), image.GetHeight(), PixelFormat::Standard(FORMAT_R8G8B8));
    if (!pixels.GetPixels() || !pixels.Blit(image, BLIT_COPY)) return false;
    std::vector<uint8_t> out;
    // At high quality keep the colour at full resolution too.
    if (!wic::EncodeJpeg(pixels.GetPixels(), pixels.GetPitch(), pixels.GetWidth(), pixels.GetHeight(),
                         std::clamp(quality, 1, 100), quality >= 90, out) ||
        out.size() > static_cast<size_t>(INT32_MAX))
        return false;
    const int32_t size = static_cast<int32_t>(out.size());
    return stream.Write(out.data(), size) == size;
}

bool EncodeJPEG(const Image& image, Stream& stream) {
    return EncodeJPEG(static_cast<const Surface&>(image), stream, 100);
}

}  // namespace cvcore
