// JPEG reader and writer over libjpeg(-turbo), with our own memory source
// and destination and an error manager that never prints and returns to
// the caller through a jump buffer.
#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "cvcore/codecs.h"
#include "cvcore/image.h"
#include "cvcore/stream.h"
#include "decodeutil.h"

namespace cvcore {

namespace {

// Huffman-coded data spends at least one bit on every 8 x 8 block of every
// component, so a whole file yields at most 1536 picture bytes per file
// byte. Allowing more than twice that still decodes files cut in half (the
// missing rows stay grey) while a few hundred bytes cannot claim a picture
// of hundreds of megabytes.
constexpr int64_t kMaxPictureBytesPerFileByte = 4096;
constexpr int64_t kPictureSlack = int64_t{1} << 20;
// libjpeg's own memory on top of the picture: whole-image coefficient
// buffers (progressive and multi-scan files) take at most two bytes per
// sample of the picture padded to its largest MCU, plus its row buffers.
// A file asking for more is refused instead of being allowed to take it.
constexpr int64_t kMcuPadding = 32;
constexpr int64_t kLibrarySlack = int64_t{16} << 20;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void ErrorExit(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, -1); }

void OutputMessage(j_common_ptr) {}

void FormatMessage(j_common_ptr, char* buffer) { buffer[0] = '\0'; }

jpeg_error_mgr* InstallErrorManager(ErrorManager& e) {
    jpeg_std_error(&e.pub);  // trace level 0, the library's message table
    e.pub.error_exit = &ErrorExit;
    e.pub.output_message = &OutputMessage;
    e.pub.format_message = &FormatMessage;
    return &e.pub;
}

// The whole compressed file is in memory: the first fill hands all of it to
// the library; a fill after the end supplies an end-of-image marker so a cut
// file still decodes (with a warning), and an empty one is an error.
struct MemorySource {
    jpeg_source_mgr pub;
    const uint8_t* data;
    size_t size;
    size_t position;
    bool startOfFile;
};

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

MemorySource* Source(j_decompress_ptr info) { return reinterpret_cast<MemorySource*>(info->src); }

void InitSource(j_decompress_ptr info) { Source(info)->startOfFile = true; }

boolean FillInputBuffer(j_decompress_ptr info) {
    MemorySource* s = Source(info);
    if (s->position < s->size) {
        s->pub.next_input_byte = s->data + s->position;
        s->pub.bytes_in_buffer = s->size - s->position;
        s->position = s->size;
    } else {
        if (s->startOfFile) ERREXIT(info, JERR_INPUT_EMPTY);
        WARNMS(info, JWRN_JPEG_EOF);
        s->pub.next_input_byte = kEndOfImage;
        s->pub.bytes_in_buffer = 2;
    }
    s->startOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr info, long count) {
    if (count <= 0) return;
    MemorySource* s = Source(info);
    while (count > static_cast<long>(s->pub.bytes_in_buffer)) {
        count -= static_cast<long>(s->pub.bytes_in_buffer);
        FillInputBuffer(info);
    }
    s->pub.next_input_byte += count;
    s->pub.bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr) {}

struct Decoding {
    jpeg_decompress_struct info;
    ErrorManager error;
    MemorySource source;
    std::unique_ptr<uint8_t[]> pixels;
    std::vector<uint8_t> greyRow;
    int32_t width = 0;
    int32_t height = 0;
};

void ReadRows(Decoding& d, bool grey) {
    jpeg_decompress_struct& info = d.info;
    const size_t pitch = size_t{info.output_width} * 3;
    while (info.output_scanline < info.output_height) {
        uint8_t* target = d.pixels.get() + info.output_scanline * pitch;
        if (grey) {
            JSAMPROW row = d.greyRow.data();
            if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
            for (size_t x = 0; x < info.output_width; ++x) std::memset(target + 3 * x, d.greyRow[x], 3);
            continue;
        }
        // Several rows per call, straight into the picture.
        JSAMPROW rows[16];
        const JDIMENSION n = std::min<JDIMENSION>(16, info.output_height - info.output_scanline);
        for (JDIMENSION i = 0; i < n; ++i) rows[i] = target + i * pitch;
        if (jpeg_read_scanlines(&info, rows, n) == 0) break;
    }
}

// Everything that can end in the error exit; no local here needs a
// destructor, so the jump back skips nothing.
bool RunDecoding(Decoding& d, const std::vector<uint8_t>& file) {
    jpeg_decompress_struct& info = d.info;
    info.err = InstallErrorManager(d.error);
    if (setjmp(d.error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    d.source = MemorySource{{}, file.data(), file.size(), 0, true};
    d.source.pub.init_source = &InitSource;
    d.source.pub.fill_input_buffer = &FillInputBuffer;
    d.source.pub.skip_input_data = &SkipInputData;
    d.source.pub.resync_to_restart = &jpeg_resync_to_restart;
    d.source.pub.term_source = &TermSource;
    info.src = &d.source.pub;
    jpeg_read_header(&info, TRUE);
    const bool grey = info.jpeg_color_space == JCS_GRAYSCALE;
    if (!grey && info.num_components != 3) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    // Colour comes out blue, green, red: exactly the rgb-888 layout.
    info.out_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_calc_output_dimensions(&info);
    const int64_t bytes = decode::PixelBytes(info.output_width, info.output_height, 3);
    const int64_t mostBytes = static_cast<int64_t>(file.size()) * kMaxPictureBytesPerFileByte + kPictureSlack;
    if (bytes < 0 || bytes > mostBytes || (!grey && info.output_components != 3)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    const int64_t padded = (int64_t{info.image_width} + kMcuPadding) * (int64_t{info.image_height} + kMcuPadding);
    const int64_t coefficients = padded * info.num_components * int64_t{sizeof(JCOEF)};
    info.mem->max_memory_to_use = static_cast<long>(std::min<int64_t>(coefficients + kLibrarySlack, LONG_MAX));
    d.pixels = decode::AllocatePixels(bytes);
    d.greyRow.resize(grey ? info.output_width : 0);
    jpeg_start_decompress(&info);
    ReadRows(d, grey);
    d.width = static_cast<int32_t>(info.output_width);
    d.height = static_cast<int32_t>(info.output_height);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

bool DecodeJPEG(Image& image, Stream& stream) {
    const std::vector<uint8_t> file = decode::ReadAll(stream);
    if (file.empty()) return false;
    auto d = std::make_unique<Decoding>();
    if (!RunDecoding(*d, file)) return false;
    image.SetPixels(d->width, d->height, PixelFormat::Standard(FORMAT_R8G8B8), std::move(d->pixels));
    return true;
}

namespace {

struct MemoryDestination {
    jpeg_destination_mgr pub;
    std::vector<uint8_t>* out;
    JOCTET buffer[4096];
};

MemoryDestination* Destination(j_compress_ptr info) { return reinterpret_cast<MemoryDestination*>(info->dest); }

void InitDestination(j_compress_ptr info) {
    MemoryDestination* d = Destination(info);
    d->pub.next_output_byte = d->buffer;
    d->pub.free_in_buffer = sizeof d->buffer;
}

boolean EmptyOutputBuffer(j_compress_ptr info) {
    MemoryDestination* d = Destination(info);
    d->out->insert(d->out->end(), d->buffer, d->buffer + sizeof d->buffer);
    InitDestination(info);
    return TRUE;
}

void TermDestination(j_compress_ptr info) {
    MemoryDestination* d = Destination(info);
    d->out->insert(d->out->end(), d->buffer, d->buffer + (sizeof d->buffer - d->pub.free_in_buffer));
}

struct Encoding {
    jpeg_compress_struct info;
    ErrorManager error;
    MemoryDestination destination;
};

bool RunEncoding(Encoding& e, const Image& pixels, int32_t quality, std::vector<uint8_t>& out) {
    jpeg_compress_struct& info = e.info;
    info.err = InstallErrorManager(e.error);
    if (setjmp(e.error.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    e.destination.out = &out;
    e.destination.pub.init_destination = &InitDestination;
    e.destination.pub.empty_output_buffer = &EmptyOutputBuffer;
    e.destination.pub.term_destination = &TermDestination;
    info.dest = &e.destination.pub;
    info.image_width = static_cast<JDIMENSION>(pixels.GetWidth());
    info.image_height = static_cast<JDIMENSION>(pixels.GetHeight());
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, std::clamp(quality, 1, 100), TRUE);
    if (quality >= 90) {
        // At high quality keep the colour at full resolution too.
        for (int i = 0; i < info.num_components; ++i)
            info.comp_info[i].h_samp_factor = info.comp_info[i].v_samp_factor = 1;
    }
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = pixels.GetPixels() + static_cast<size_t>(info.next_scanline) * pixels.GetPitch();
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

bool EncodeJPEG(const Surface& image, Stream& stream, int32_t quality) {
    if (image.GetWidth() <= 0 || image.GetHeight() <= 0 || image.GetWidth() > JPEG_MAX_DIMENSION ||
        image.GetHeight() > JPEG_MAX_DIMENSION || !image.GetPixels())
        return false;
    Image pixels(image.GetWidth(), image.GetHeight(), PixelFormat::Standard(FORMAT_R8G8B8));
    if (!pixels.GetPixels() || !pixels.Blit(image, BLIT_COPY)) return false;
    std::vector<uint8_t> out;
    auto e = std::make_unique<Encoding>();
    if (!RunEncoding(*e, pixels, quality, out)) return false;
    if (out.size() > static_cast<size_t>(INT32_MAX)) return false;
    const int32_t size = static_cast<int32_t>(out.size());
    return stream.Write(out.data(), size) == size;
}

bool EncodeJPEG(const Image& image, Stream& stream) {
    return EncodeJPEG(static_cast<const Surface&>(image), stream, 100);
}

}  // namespace cvcore
