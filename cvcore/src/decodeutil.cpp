#include "decodeutil.h"

#include "cvcore/stream.h"

namespace cvcore::decode {

std::vector<uint8_t> ReadAll(Stream& stream) {
    stream.Seek(0, SEEK_FROM_START);
    const int32_t size = stream.Size();
    std::vector<uint8_t> data(size > 0 ? static_cast<size_t>(size) : 0);
    const int32_t got = data.empty() ? 0 : stream.Read(data.data(), size);
    data.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return data;
}

int64_t PixelBytes(int64_t width, int64_t height, int64_t bytesPerPixel) {
    if (width <= 0 || height <= 0 || bytesPerPixel <= 0) return -1;
    if (width > MAX_PIXEL_BYTES || height > MAX_PIXEL_BYTES) return -1;
    const int64_t bytes = width * height * bytesPerPixel;
    return bytes > MAX_PIXEL_BYTES ? -1 : bytes;
}

uint64_t BlocksNeeded(int64_t width, int64_t height, int64_t blockWidth, int64_t blockHeight) {
    const auto whole = static_cast<uint64_t>((width / blockWidth) * (height / blockHeight));
    if (whole > 0) return whole;
    return static_cast<uint64_t>(((width + blockWidth - 1) / blockWidth) * ((height + blockHeight - 1) / blockHeight));
}

std::unique_ptr<uint8_t[]> AllocatePixels(int64_t bytes) {
    return std::unique_ptr<uint8_t[]>(new uint8_t[static_cast<size_t>(bytes)]());
}

}  // namespace cvcore::decode
