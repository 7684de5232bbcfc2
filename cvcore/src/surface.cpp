#include "cvcore/surface.h"

namespace cvcore {

Surface::Surface() = default;

Surface::Surface(int32_t width, int32_t height, int32_t pitch, const PixelFormat& format, void* pixels)
    : width_(width), height_(height), pitch_(pitch), format_(format), pixels_(static_cast<uint8_t*>(pixels)) {}

Surface::~Surface() = default;

}  // namespace cvcore
