// PNG reader over libpng: everything becomes 8-bit grey or 32-bit
// blue-green-red-alpha. Messages from the library are never printed.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <png.h>

#include "cvcore/codecs.h"
#include "cvcore/image.h"
#include "cvcore/stream.h"
#include "decodeutil.h"

namespace cvcore {

namespace {

// The gamma of the display the pictures were made for, and the file gamma
// assumed when a file has no gAMA chunk. Their product is so close to 1 for
// ordinary files that libpng leaves the samples alone.
constexpr double kScreenGamma = 2.3;
constexpr double kDefaultFileGamma = 0.45;
constexpr png_alloc_size_t kMaxChunkBytes = 8000000;
constexpr png_byte kIgnoredChunks[] =
    "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf\0pCAL\0sCAL\0hIST\0tIME\0oFFs\0pHYs\0sBIT\0cHRM\0sRGB\0bKGD";
constexpr int kIgnoredChunkCount = 16;
// Widest and tallest picture accepted, and how many ancillary chunks are
// kept at most: a header or a flood of chunks may claim anything.
constexpr png_uint_32 kMaxSide = 65535;
constexpr png_uint_32 kMaxCachedChunks = 128;
// Deflate turns one byte into at most 1032 (258-byte matches coded in two
// bits); a file whose image data could not inflate to its picture is cut
// or lies about its size.
constexpr uint64_t kMaxInflateRatio = 1032;
constexpr uint64_t kInflateSlack = 1024;

struct Reading {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t position = 0;
    std::unique_ptr<uint8_t[]> pixels;
    std::vector<png_bytep> rows;
    int32_t width = 0;
    int32_t height = 0;
    bool grey = false;
};

// A read past the end of a cut file is an error, not foreign memory.
void ReadData(png_structp png, png_bytep out, png_size_t count) {
    auto* r = static_cast<Reading*>(png_get_io_ptr(png));
    if (count > r->size - r->position) png_error(png, "read past the end of the file");
    std::memcpy(out, r->data + r->position, count);
    r->position += count;
}

uint32_t BigEndian32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// The compressed image data the file holds: the IDAT chunks as far as the
// file really contains them.
uint64_t ImageDataBytes(const Reading& r) {
    uint64_t total = 0;
    for (size_t at = 8; r.size - at >= 8;) {
        const uint64_t length = BigEndian32(r.data + at);
        const uint64_t present = std::min<uint64_t>(length, r.size - at - 8);
        if (std::memcmp(r.data + at + 4, "IDAT", 4) == 0) total += present;
        if (present < length || r.size - at - 8 - present < 4) break;
        at += 12 + static_cast<size_t>(length);
    }
    return total;
}

// Checked before any picture-sized memory is taken, by us or by libpng.
bool DataCanHold(png_structp png, png_infop info, const Reading& r) {
    const uint64_t bits = uint64_t{png_get_bit_depth(png, info)} * png_get_channels(png, info);
    const uint64_t raw = (uint64_t{png_get_image_width(png, info)} * png_get_image_height(png, info) * bits + 7) / 8;
    return raw <= ImageDataBytes(r) * kMaxInflateRatio + kInflateSlack;
}

void Silent(png_structp, png_const_charp) {}

[[noreturn]] void Fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Grey pictures stay one byte per pixel; everything else, grey with alpha
// or transparency included, becomes blue, green, red and alpha bytes.
void SetTransformations(png_structp png, png_infop info, Reading& r) {
    const png_byte colourType = png_get_color_type(png, info);
    const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    png_set_strip_16(png);
    png_set_packing(png);
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_expand(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8) png_set_expand(png);
    if (transparency) png_set_expand(png);
    double fileGamma = kDefaultFileGamma;
    png_get_gAMA(png, info, &fileGamma);
    png_set_gamma(png, kScreenGamma, fileGamma);
    r.grey = colourType == PNG_COLOR_TYPE_GRAY && !transparency;
    if (!r.grey) {
        if (!(colourType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
        png_set_bgr(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
}

bool RunReading(png_structp png, png_infop info, Reading& r) {
    if (setjmp(png_jmpbuf(png))) return false;
    // A chunk may claim any length. Chunks the decoder has no use for are
    // skipped unread instead of being allocated, and what is kept is capped.
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_set_chunk_cache_max(png, kMaxCachedChunks);
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks, kIgnoredChunkCount);
    png_set_read_fn(png, &r, &ReadData);
    png_read_info(png, info);
    if (!DataCanHold(png, info, r)) return false;
    SetTransformations(png, info, r);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    const int32_t bytes = r.grey ? 1 : 4;
    const int64_t size = decode::PixelBytes(w, h, bytes);
    // The row layout must be the one the pixel buffer is made for.
    if (size < 0 || png_get_rowbytes(png, info) != size_t{w} * static_cast<size_t>(bytes)) return false;
    r.pixels = decode::AllocatePixels(size);
    r.rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y) r.rows[y] = r.pixels.get() + size_t{y} * w * static_cast<size_t>(bytes);
    for (int pass = 0; pass < passes; ++pass) png_read_rows(png, r.rows.data(), nullptr, h);
    png_read_end(png, nullptr);
    r.width = static_cast<int32_t>(w);
    r.height = static_cast<int32_t>(h);
    return true;
}

}  // namespace

bool DecodePNG(Image& image, Stream& stream) {
    const std::vector<uint8_t> file = decode::ReadAll(stream);
    if (file.size() < 8 || png_sig_cmp(file.data(), 0, 8) != 0) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, &Fail, &Silent);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    Reading r;
    r.data = file.data();
    r.size = file.size();
    const bool ok = RunReading(png, info, r);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) return false;
    const PixelFormat format = PixelFormat::Standard(r.grey ? FORMAT_INTENSITY8 : FORMAT_A8R8G8B8);
    image.SetPixels(r.width, r.height, format, std::move(r.pixels));
    return true;
}

}  // namespace cvcore
