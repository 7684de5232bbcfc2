#include "pngfile.h"

#include <cstdio>
#include <memory>
#include <vector>
#include <zlib.h>

namespace {

// Keeps the deflated image within what zlib's 32-bit lengths hold on
// Windows (where its uLong is 32 bits) with room to spare.
constexpr uint64_t kMaxRawBytes = uint64_t(1) << 30;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// Length, type, data and the CRC over type and data.
void AppendChunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, size_t size) {
    PutBigEndian(out, static_cast<uint32_t>(size));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    if (size) out.insert(out.end(), data, data + size);
    const uLong crc = crc32(0L, out.data() + start, static_cast<uInt>(out.size() - start));
    PutBigEndian(out, static_cast<uint32_t>(crc));
}

// Each row gets the Sub filter: neighbouring pixels of a rendered frame are
// alike, so the differences deflate far better than the raw bytes, at no
// real cost.
std::vector<uint8_t> FilteredRows(const uint32_t* pixels, int width, int height) {
    const size_t rowBytes = static_cast<size_t>(width) * 3 + 1;
    std::vector<uint8_t> raw(rowBytes * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        uint8_t* row = raw.data() + rowBytes * static_cast<size_t>(y);
        const uint32_t* src = pixels + static_cast<size_t>(width) * static_cast<size_t>(y);
        row[0] = 1;
        uint32_t left = 0;
        for (int x = 0; x < width; ++x) {
            const uint32_t p = src[x];
            for (int c = 0; c < 3; ++c) {
                const int shift = 16 - 8 * c;
                row[1 + x * 3 + c] = static_cast<uint8_t>((p >> shift) - (left >> shift));
            }
            left = p;
        }
    }
    return raw;
}

}  // namespace

bool WritePngFile(const std::string& path, const uint32_t* pixels, int width, int height, std::string& error) {
    if (width <= 0 || height <= 0 ||
        (static_cast<uint64_t>(width) * 3 + 1) * static_cast<uint64_t>(height) > kMaxRawBytes) {
        error = "picture size out of range for PNG: " + std::to_string(width) + " x " + std::to_string(height);
        return false;
    }
    const std::vector<uint8_t> raw = FilteredRows(pixels, width, height);
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK) {
        error = "zlib could not compress the picture";
        return false;
    }

    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> file(kSignature, kSignature + 8);
    std::vector<uint8_t> header;
    PutBigEndian(header, static_cast<uint32_t>(width));
    PutBigEndian(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive filters, no interlace
    AppendChunk(file, "IHDR", header.data(), header.size());
    AppendChunk(file, "IDAT", packed.data(), packedSize);
    AppendChunk(file, "IEND", nullptr, 0);

    bool written = false;
    {
        std::unique_ptr<std::FILE, FileCloser> out(std::fopen(path.c_str(), "wb"));
        if (out) {
            written = std::fwrite(file.data(), 1, file.size(), out.get()) == file.size();
            written = (std::fclose(out.release()) == 0) && written;
        }
    }
    if (!written) {
        std::remove(path.c_str());
        error = "cannot write " + path;
    }
    return written;
}
