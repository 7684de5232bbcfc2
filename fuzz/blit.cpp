// The blitter over arbitrary formats (any masks, intensity and palette
// flags, up to 4 bytes per pixel), sizes, pitches and modes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "cvcore/image.h"

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint32_t Next(int bytes) {
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) v = v << 8 | (at < size ? data[at++] : 0);
        return v;
    }
};

cvcore::PixelFormat Format(Input& in) {
    const uint32_t kind = in.Next(1);
    if (kind < 8 * 16) return cvcore::PixelFormat::Standard(static_cast<int32_t>(kind % 8));
    const uint32_t bytes = 1 + kind % 4;
    const uint32_t limit = bytes == 4 ? 0xFFFFFFFFu : (1u << (8 * bytes)) - 1;
    uint32_t bits = bytes * 8;
    if (kind & 0x10) bits |= cvcore::PIXELFORMAT_INTENSITY;
    cvcore::PixelFormat f(bits, in.Next(4) & limit, in.Next(4) & limit, in.Next(4) & limit, in.Next(4) & limit);
    if (kind & 0x20) {
        uint32_t palette[256];
        for (uint32_t& e : palette) e = in.Next(1) * 0x01010101u;
        f.SetPalette(palette);
    }
    return f;
}

cvcore::Image Picture(Input& in) {
    const cvcore::PixelFormat f = Format(in);
    const int32_t w = static_cast<int32_t>(in.Next(1) % 40), h = static_cast<int32_t>(in.Next(1) % 40);
    cvcore::Image image(w, h, f);
    if (image.GetPixels()) {
        for (int32_t i = 0; i < image.GetPitch() * h; ++i) image.GetPixels()[i] = static_cast<uint8_t>(in.Next(1) ^ i);
    }
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    cvcore::Image source = Picture(in);
    cvcore::Image dest = Picture(in);
    const int32_t mode = static_cast<int32_t>(in.Next(1) % 3);
    dest.Blit(source, mode);
    dest.Fill(in.Next(4), in.Next(1) & 3);
    // A view with a wider pitch over the same pixels.
    if (dest.GetPixels() && dest.GetHeight() > 1) {
        cvcore::Surface view(dest.GetWidth() / 2, dest.GetHeight() / 2, dest.GetPitch() * 2, dest.GetFormat(),
                             dest.GetPixels());
        view.Blit(source, 2 - mode);
    }
    return 0;
}
