#pragma once
// The surface description at the start of a DDS file, read once for every
// DDS reader (the software decoder and the texture loader).
#include <cstddef>
#include <cstdint>

#include "cvcore/bytereader.h"

namespace cvcore {

constexpr uint32_t DDS_MAGIC = 0x20534444;  // "DDS "
constexpr uint32_t DDS_DESCRIPTION_SIZE = 124;
// The magic and the description: where the surface data starts.
constexpr size_t DDS_FILE_HEADER_SIZE = 4 + DDS_DESCRIPTION_SIZE;
constexpr uint32_t DDSD_DEPTH = 0x800000;
constexpr uint32_t DDSCAPS2_CUBE_ANY = 0xFE00;
constexpr uint32_t DDPF_RGB = 0x40;
constexpr uint32_t DDPF_RGB_ALPHA = 0x41;

constexpr uint32_t DdsFourCC(char a, char b, char c, char d) {
    return uint32_t{static_cast<uint8_t>(a)} | uint32_t{static_cast<uint8_t>(b)} << 8 |
           uint32_t{static_cast<uint8_t>(c)} << 16 | uint32_t{static_cast<uint8_t>(d)} << 24;
}

// The fields of the description the readers use. `size` is the
// description's own claim of its size; writers do not all fill it in.
struct DdsHeader {
    uint32_t size = 0, flags = 0, height = 0, width = 0, depth = 0, mipmaps = 0;
    uint32_t formatFlags = 0, fourCC = 0, bitCount = 0, greenMask = 0, alphaMask = 0, caps2 = 0;
};

// Reads the magic and the whole description from the reader's position;
// false when the data holds no DDS file or ends within the description.
bool ReadDdsHeader(ByteReader& reader, DdsHeader& header);

}  // namespace cvcore
