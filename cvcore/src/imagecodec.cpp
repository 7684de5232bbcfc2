#include "cvcore/imagecodec.h"

#include <vector>

#include "cvcore/codecs.h"
#include "cvcore/image.h"

namespace cvcore {

ImageCodec::ImageCodec(GetNameCountFn getNameCount, GetNameFn getName, CanFn canRead, CanFn canWrite, DecodeFn decode,
                       EncodeFn encode)
    : GetNameCount(getNameCount),
      GetName(getName),
      CanRead(canRead),
      CanWrite(canWrite),
      Decode(decode),
      Encode(encode) {}

namespace {

// Each codec's names, reached through a table so every descriptor's name
// functions stay plain functions without captures.
template <const char* const* Names, int32_t Count>
struct NameList {
    static int32_t GetNameCount() { return Count; }
    static const char* GetName(int32_t index) { return index >= 0 && index < Count ? Names[index] : ""; }
};

constexpr const char* kTgaNames[] = {"tga"};
constexpr const char* kPcxNames[] = {"pcx"};
constexpr const char* kSgiNames[] = {"rgb", "rgba", "bw", "sgi"};
constexpr const char* kBmpNames[] = {"bmp"};
constexpr const char* kJpegNames[] = {"jpg", "jpeg", "jfif"};
constexpr const char* kPngNames[] = {"png"};
constexpr const char* kDdsNames[] = {"dds"};
constexpr const char* kFxt1Names[] = {"fxt1"};

bool Yes() { return true; }
bool No() { return false; }
bool CannotEncode(const Image&, Stream&) { return false; }

template <const char* const* Names, int32_t Count>
ImageCodec MakeCodec(ImageCodec::DecodeFn decode, ImageCodec::EncodeFn encode) {
    return ImageCodec(&NameList<Names, Count>::GetNameCount, &NameList<Names, Count>::GetName, &Yes,
                      encode ? &Yes : &No, decode, encode ? encode : &CannotEncode);
}

// Filled on first use; lives until exit.
const std::vector<ImageCodec>& Registry() {
    static const std::vector<ImageCodec> codecs = {
        MakeCodec<kTgaNames, 1>(&DecodeTGA, static_cast<bool (*)(const Image&, Stream&)>(&EncodeTGA)),
        MakeCodec<kPcxNames, 1>(&DecodePCX, nullptr),
        MakeCodec<kSgiNames, 4>(&DecodeSGI, nullptr),
        MakeCodec<kBmpNames, 1>(&DecodeBMP, nullptr),
        MakeCodec<kJpegNames, 3>(&DecodeJPEG, static_cast<bool (*)(const Image&, Stream&)>(&EncodeJPEG)),
        MakeCodec<kPngNames, 1>(&DecodePNG, nullptr),
        MakeCodec<kDdsNames, 1>(&DecodeDDS, nullptr),
        MakeCodec<kFxt1Names, 1>(&DecodeFXT1, nullptr),
    };
    return codecs;
}

bool EqualsNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char ca = *a, cb = *b;
        if (ca >= 'A' && ca <= 'Z') ca = static_cast<char>(ca - 'A' + 'a');
        if (cb >= 'A' && cb <= 'Z') cb = static_cast<char>(cb - 'A' + 'a');
        if (ca != cb) return false;
        if (ca == 0) return true;
    }
}

}  // namespace

const ImageCodec* FindImageCodec(const char* name) {
    if (!name) return nullptr;
    for (const ImageCodec& codec : Registry()) {
        for (int32_t i = 0; i < codec.GetNameCount(); ++i) {
            if (EqualsNoCase(codec.GetName(i), name)) return &codec;
        }
    }
    return nullptr;
}

int32_t GetImageCodecCount() { return static_cast<int32_t>(Registry().size()); }

const ImageCodec* GetImageCodec(int32_t index) {
    if (index < 0 || index >= GetImageCodecCount()) return nullptr;
    return &Registry()[static_cast<size_t>(index)];
}

}  // namespace cvcore
