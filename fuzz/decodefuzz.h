#pragma once
// Shared body of the image decoder fuzz targets: decode the input from a
// MemoryStream and push whatever comes out through the blitter.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "cvcore/codecs.h"
#include "cvcore/image.h"
#include "cvcore/memorystream.h"

inline int FuzzDecode(bool (*decode)(cvcore::Image&, cvcore::Stream&), const uint8_t* data, size_t size) {
    if (size > (1u << 22)) return 0;
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size + 1]);
    if (size) std::memcpy(copy.get(), data, size);
    cvcore::MemoryStream stream(std::move(copy), static_cast<int32_t>(size));
    cvcore::Image image;
    if (!decode(image, stream)) return 0;
    cvcore::Image argb(17, 9, cvcore::PixelFormat::Standard(cvcore::FORMAT_A8R8G8B8));
    argb.Blit(image, cvcore::BLIT_FILTER);
    if (image.GetWidth() <= 64 && image.GetHeight() <= 64) {
        cvcore::Image same(image.GetWidth() + 3, image.GetHeight() + 1, image.GetFormat());
        same.Blit(image, cvcore::BLIT_FILTER);
    }
    return 0;
}
