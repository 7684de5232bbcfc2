#include "cvcore/filestream.h"
#include "cvcore/image.h"
#include "cvcore/imagecodec.h"

namespace cvcore {

Image::Image(const char* fileName) { Load(fileName); }

void Image::Load(const char* fileName) {
    const ImageCodec* codec = FindImageCodec(GetExtension(fileName).Text());
    if (!codec || !codec->CanRead()) return;
    FileStream stream(fileName, STREAM_READ);
    // A picture the decoder refuses leaves the image as the decoder left it;
    // the caller sees an empty image.
    codec->Decode(*this, stream);
    name = fileName;
}

}  // namespace cvcore
