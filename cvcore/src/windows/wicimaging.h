#pragma once
// Pictures decoded and JPEG files written through the Windows Imaging
// Component, for the JPEG and PNG codecs of the Windows build.
#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace cvcore::wic {

struct Pixels {
    std::unique_ptr<uint8_t[]> data;
    int32_t width = 0;
    int32_t height = 0;
};

// The native pixel format of the file's first frame, or GUID_NULL when the
// container's decoder does not take the file.
GUID NativeFormat(const std::vector<uint8_t>& file, const GUID& container);

// The first frame converted to `format` (bytesPerPixel bytes, rows packed),
// refused when width x height x bytesPerPixel exceeds mostBytes.
bool Decode(const std::vector<uint8_t>& file, const GUID& container, const GUID& format, int32_t bytesPerPixel,
            int64_t mostBytes, Pixels& out);

// A baseline JPEG of blue-green-red rows; quality 1..100, full-resolution
// colour when fullColour.
bool EncodeJpeg(const uint8_t* rows, int32_t pitch, int32_t width, int32_t height, int32_t quality, bool fullColour,
                std::vector<uint8_t>& out);

}  // namespace cvcore::wic
