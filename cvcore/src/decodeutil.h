#pragma once
// Helpers shared by the image decoders: the whole stream in memory (read
// with cvcore::ByteReader) and the limits on what a header may ask for.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "cvcore/bytereader.h"

namespace cvcore {

class Stream;

namespace decode {

// Largest picture a decoder allocates (256 MiB): a header may claim any size.
constexpr int64_t MAX_PIXEL_BYTES = int64_t{1} << 28;

// Everything the stream delivers from position 0.
std::vector<uint8_t> ReadAll(Stream& stream);

// width x height x bytesPerPixel, or -1 when a size is not positive or the
// product is larger than MAX_PIXEL_BYTES.
int64_t PixelBytes(int64_t width, int64_t height, int64_t bytesPerPixel);

// Blocks a block-compressed picture of a positive size must hold: every
// whole block the decoders read, or, for a picture narrower or lower than
// one block, the partial blocks that cover it as writers store them (else a
// header of 3 x 100000000 texels would ask for no data at all).
uint64_t BlocksNeeded(int64_t width, int64_t height, int64_t blockWidth, int64_t blockHeight);

// Zeroed pixel memory: whatever a decoder does not write reads as 0.
std::unique_ptr<uint8_t[]> AllocatePixels(int64_t bytes);

}  // namespace decode
}  // namespace cvcore
