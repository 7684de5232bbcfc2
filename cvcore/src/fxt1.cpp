#include "cvcore/codecs.h"
#include "cvcore/image.h"
#include "cvcore/stream.h"

namespace cvcore {

bool DecodeFXT1(Image&, Stream&) { return false; }

}  // namespace cvcore
