#include "cvcore/codecs.h"
#include "cvcore/image.h"
#include "cvcore/stream.h"

namespace cvcore {

bool DecodeJPEG(Image&, Stream&) { return false; }
bool EncodeJPEG(const Surface&, Stream&, int32_t) { return false; }
bool EncodeJPEG(const Image& image, Stream& stream) { return EncodeJPEG(image, stream, 100); }

}  // namespace cvcore
