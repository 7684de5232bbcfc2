#include "cvcore/codecs.h"
#include "cvcore/image.h"
#include "cvcore/stream.h"

namespace cvcore {

bool DecodeSGI(Image&, Stream&) { return false; }

}  // namespace cvcore
