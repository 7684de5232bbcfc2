#include "cvcore/codecs.h"
#include "cvcore/image.h"
#include "cvcore/stream.h"

namespace cvcore {

bool DecodeTGA(Image&, Stream&) { return false; }

}  // namespace cvcore
namespace cvcore {
bool EncodeTGA(const Surface&, Stream&, bool, bool) { return false; }
bool EncodeTGA(const Image& image, Stream& stream) { return EncodeTGA(image, stream, false, image.GetFormat().AlphaMask() != 0); }
}  // namespace cvcore
