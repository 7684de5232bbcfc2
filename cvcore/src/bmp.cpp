#include "cvcore/codecs.h"
#include "cvcore/image.h"
#include "cvcore/stream.h"

namespace cvcore {

bool DecodeBMP(Image&, Stream&) { return false; }

}  // namespace cvcore
