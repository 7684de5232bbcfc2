#pragma once
#include <cstdint>
#include "cvcore/object.h"

namespace cvcore {

class Image;
class Stream;

// Descriptor of one image codec: its operations are plain functions held in
// the descriptor. A codec that cannot write has an Encode that returns false.
class ImageCodec : public Object {
public:
    using GetNameCountFn = int32_t (*)();
    using GetNameFn = const char* (*)(int32_t index);
    using CanFn = bool (*)();
    using DecodeFn = bool (*)(Image& image, Stream& stream);
    using EncodeFn = bool (*)(const Image& image, Stream& stream);

    ImageCodec(GetNameCountFn getNameCount, GetNameFn getName, CanFn canRead, CanFn canWrite, DecodeFn decode,
               EncodeFn encode);

    GetNameCountFn GetNameCount;  // number of file extensions
    GetNameFn GetName;            // extension for 0..count-1, "" otherwise
    CanFn CanRead;
    CanFn CanWrite;
    DecodeFn Decode;  // false when the stream holds no picture of this kind
    EncodeFn Encode;
};

// The codec answering to name (an extension, compared without regard to
// ASCII case), or null. The registry fills itself on the first call with, in
// lookup order: tga, pcx, rgb/rgba/bw/sgi, bmp, jpg/jpeg/jfif, png, dds, fxt1.
const ImageCodec* FindImageCodec(const char* name);
// The registered codecs in lookup order.
int32_t GetImageCodecCount();
const ImageCodec* GetImageCodec(int32_t index);

}  // namespace cvcore
