#include "engine/color4.h"

namespace {
constexpr float kByteScale = 0.003921569f;  // the float nearest 1/255

uint32_t ToByte(float v) {
    if (!(v > 0.0f)) return 0;  // also catches NaN
    if (v >= 1.0f) return 255;
    return static_cast<uint32_t>(v * 255.0f + 0.5f);
}
}  // namespace

Color4 Color4::FromARGB(uint32_t argb) {
    return Color4(static_cast<float>((argb >> 16) & 0xFF) * kByteScale,
                  static_cast<float>((argb >> 8) & 0xFF) * kByteScale, static_cast<float>(argb & 0xFF) * kByteScale,
                  static_cast<float>(argb >> 24) * kByteScale);
}

uint32_t Color4::ToARGB() const { return (ToByte(a) << 24) | (ToByte(r) << 16) | (ToByte(g) << 8) | ToByte(b); }
