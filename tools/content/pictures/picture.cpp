#include "pictures/picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include <jpeglib.h>

#include "cvcore/codecs.h"
#include "cvcore/image.h"
#include "cvcore/memorystream.h"
#include "cvcore/pixelformat.h"

namespace content {
namespace {

std::uint8_t Quantise(float v, int x, int y) {
    static const float bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    float d = (bayer[y & 3][x & 3] + 0.5f) / 16.0f - 0.5f;
    float q = std::floor(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f + d);
    return static_cast<std::uint8_t>(std::clamp(q, 0.0f, 255.0f));
}

cvcore::Image ToImage(const Picture& p) {
    cvcore::Image image(p.Width(), p.Height(), cvcore::PixelFormat::Standard(cvcore::FORMAT_A8R8G8B8));
    std::vector<std::uint32_t> argb = p.Argb();
    std::uint8_t* dst = image.GetPixels();
    for (std::size_t i = 0; i < argb.size(); ++i) {
        dst[i * 4 + 0] = static_cast<std::uint8_t>(argb[i]);
        dst[i * 4 + 1] = static_cast<std::uint8_t>(argb[i] >> 8);
        dst[i * 4 + 2] = static_cast<std::uint8_t>(argb[i] >> 16);
        dst[i * 4 + 3] = static_cast<std::uint8_t>(argb[i] >> 24);
    }
    return image;
}

std::vector<std::uint8_t> StreamBytes(cvcore::MemoryStream& s) {
    return std::vector<std::uint8_t>(s.Buffer(), s.Buffer() + s.Size());
}

// Direct writers for when the framework's encoder declines a picture.
std::vector<std::uint8_t> PlainTga(const Picture& p, bool alpha) {
    std::vector<std::uint8_t> out(18, 0);
    out[2] = 2;
    out[12] = static_cast<std::uint8_t>(p.Width());
    out[13] = static_cast<std::uint8_t>(p.Width() >> 8);
    out[14] = static_cast<std::uint8_t>(p.Height());
    out[15] = static_cast<std::uint8_t>(p.Height() >> 8);
    out[16] = alpha ? 32 : 24;
    out[17] = static_cast<std::uint8_t>(0x20 | (alpha ? 8 : 0));
    for (std::uint32_t c : p.Argb()) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
        out.push_back(static_cast<std::uint8_t>(c >> 16));
        if (alpha) out.push_back(static_cast<std::uint8_t>(c >> 24));
    }
    return out;
}

std::vector<std::uint8_t> PlainJpeg(const Picture& p, int quality) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &mem, &size);
    cinfo.image_width = static_cast<JDIMENSION>(p.Width());
    cinfo.image_height = static_cast<JDIMENSION>(p.Height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint32_t> argb = p.Argb();
    std::vector<unsigned char> row(static_cast<std::size_t>(p.Width()) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const std::uint32_t* src =
            argb.data() + static_cast<std::size_t>(cinfo.next_scanline) * static_cast<std::size_t>(p.Width());
        for (int x = 0; x < p.Width(); ++x) {
            row[static_cast<std::size_t>(x) * 3 + 0] = static_cast<unsigned char>(src[x] >> 16);
            row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<unsigned char>(src[x] >> 8);
            row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<unsigned char>(src[x]);
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> out(mem, mem + size);
    std::free(mem);
    return out;
}

}  // namespace

void Picture::Over(int x, int y, const Rgba& c) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || c.a <= 0.0f) return;
    Rgba& d = At(x, y);
    float a = c.a + d.a * (1.0f - c.a);
    if (a <= 0.0f) return;
    d.r = (c.r * c.a + d.r * d.a * (1.0f - c.a)) / a;
    d.g = (c.g * c.a + d.g * d.a * (1.0f - c.a)) / a;
    d.b = (c.b * c.a + d.b * d.a * (1.0f - c.a)) / a;
    d.a = a;
}

void Picture::Glow(int x, int y, const Rgba& c, float amount) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || amount <= 0.0f) return;
    Rgba& d = At(x, y);
    // Work premultiplied so light added over transparency keeps its colour.
    float pr = d.r * d.a + c.r * amount, pg = d.g * d.a + c.g * amount, pb = d.b * d.a + c.b * amount;
    float a = std::min(1.0f, std::max({d.a + amount, pr, pg, pb}));
    if (a <= 0.0f) return;
    d.r = std::min(1.0f, pr / a);
    d.g = std::min(1.0f, pg / a);
    d.b = std::min(1.0f, pb / a);
    d.a = a;
}

std::vector<std::uint32_t> Picture::Argb() const {
    std::vector<std::uint32_t> out(pixels_.size());
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            const Rgba& c = At(x, y);
            out[static_cast<std::size_t>(y * width_ + x)] =
                (static_cast<std::uint32_t>(Quantise(c.a, x, y)) << 24) |
                (static_cast<std::uint32_t>(Quantise(c.r, x, y)) << 16) |
                (static_cast<std::uint32_t>(Quantise(c.g, x + 1, y + 2)) << 8) | Quantise(c.b, x + 2, y + 1);
        }
    return out;
}

std::vector<std::uint8_t> Picture::Tga(bool alpha) const {
    cvcore::Image image = ToImage(*this);
    cvcore::MemoryStream stream(0);
    if (cvcore::EncodeTGA(image, stream, false, alpha)) return StreamBytes(stream);
    return PlainTga(*this, alpha);
}

std::vector<std::uint8_t> Picture::Jpeg(int quality) const {
    cvcore::Image image = ToImage(*this);
    cvcore::MemoryStream stream(0);
    if (cvcore::EncodeJPEG(image, stream, quality)) return StreamBytes(stream);
    return PlainJpeg(*this, quality);
}

}  // namespace content
