#pragma once
#include <cstdint>

namespace cvcore {

class Image;
class Stream;
class Surface;

// The decoders behind the registered codecs. Each reads from position 0 of
// the stream, returns false (leaving image unchanged) for a stream that does
// not hold a picture it accepts, and never reads or writes outside its
// buffers whatever the input.
bool DecodeTGA(Image& image, Stream& stream);
bool DecodePCX(Image& image, Stream& stream);
bool DecodeSGI(Image& image, Stream& stream);
bool DecodeBMP(Image& image, Stream& stream);
bool DecodeJPEG(Image& image, Stream& stream);
bool DecodePNG(Image& image, Stream& stream);
bool DecodeDDS(Image& image, Stream& stream);
bool DecodeFXT1(Image& image, Stream& stream);

// TGA writer. Writes at the stream's current position: 32-bit pixels with
// alpha (image descriptor alpha depth 8) when alpha is set, else 24-bit;
// run-length encoded (type 10) when rle is set, else raw (type 2). Rows are
// stored top to bottom. Any source format the blitter converts is accepted.
bool EncodeTGA(const Surface& image, Stream& stream, bool rle, bool alpha);
// JPEG writer: baseline, three components, quality 1..100 (clamped).
bool EncodeJPEG(const Surface& image, Stream& stream, int32_t quality);

// The registered Encode operations: TGA raw, with alpha exactly when the
// image's format has an alpha channel; JPEG at quality 100.
bool EncodeTGA(const Image& image, Stream& stream);
bool EncodeJPEG(const Image& image, Stream& stream);

}  // namespace cvcore
