#include "cvcore/ddsheader.h"

namespace cvcore {

bool ReadDdsHeader(ByteReader& reader, DdsHeader& header) {
    const size_t start = reader.Position();
    if (reader.Remaining() < DDS_FILE_HEADER_SIZE || reader.U32() != DDS_MAGIC) return false;
    const size_t description = start + 4;
    DdsHeader h;
    h.size = reader.U32At(description);
    h.flags = reader.U32At(description + 4);
    h.height = reader.U32At(description + 8);
    h.width = reader.U32At(description + 12);
    h.depth = reader.U32At(description + 20);
    h.mipmaps = reader.U32At(description + 24);
    h.formatFlags = reader.U32At(description + 76);
    h.fourCC = reader.U32At(description + 80);
    h.bitCount = reader.U32At(description + 84);
    h.greenMask = reader.U32At(description + 92);
    h.alphaMask = reader.U32At(description + 100);
    h.caps2 = reader.U32At(description + 108);
    header = h;
    return reader.Seek(start + DDS_FILE_HEADER_SIZE);
}

}  // namespace cvcore
