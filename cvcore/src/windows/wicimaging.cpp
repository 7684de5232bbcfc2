#include "wicimaging.h"

#include <wrl/client.h>

#include <cstring>

#include "../decodeutil.h"

namespace cvcore::wic {

namespace {

using Microsoft::WRL::ComPtr;

// COM for the calling thread while a codec runs. A thread that already has
// COM in another apartment model keeps it (RPC_E_CHANGED_MODE) and the WIC
// objects still work there; only a successful initialisation is undone.
class ComScope {
public:
    ComScope() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~ComScope() {
        if (initialised_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool initialised_;
};

ComPtr<IWICImagingFactory> Factory() {
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))))
        return nullptr;
    return factory;
}

// The file's first frame; the memory stream reads the caller's bytes in place.
ComPtr<IWICBitmapFrameDecode> FirstFrame(IWICImagingFactory& factory, const std::vector<uint8_t>& file,
                                         const GUID& container) {
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    if (file.empty() || file.size() > UINT32_MAX || FAILED(factory.CreateStream(&stream)) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(file.data()), static_cast<DWORD>(file.size()))) ||
        FAILED(factory.CreateDecoder(container, nullptr, &decoder)) ||
        FAILED(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand)) ||
        FAILED(decoder->GetFrame(0, &frame)))
        return nullptr;
    return frame;
}

}  // namespace

GUID NativeFormat(const std::vector<uint8_t>& file, const GUID& container) {
    const ComScope com;
    GUID format = GUID_NULL;
    const ComPtr<IWICImagingFactory> factory = Factory();
    const ComPtr<IWICBitmapFrameDecode> frame = factory ? FirstFrame(*factory.Get(), file, container) : nullptr;
    if (!frame || FAILED(frame->GetPixelFormat(&format))) return GUID_NULL;
    return format;
}

namespace {

// The frame's pixels converted to format, or null when the system's
// converter cannot make that format from the frame's own.
std::unique_ptr<uint8_t[]> Converted(IWICBitmapSource& frame, const GUID& format, UINT width, UINT height,
                                     int32_t bytesPerPixel) {
    const int64_t bytes = decode::PixelBytes(width, height, bytesPerPixel);
    ComPtr<IWICBitmapSource> converted;
    if (bytes < 0 || FAILED(WICConvertBitmapSource(format, &frame, &converted))) return nullptr;
    std::unique_ptr<uint8_t[]> pixels = decode::AllocatePixels(bytes);
    const UINT pitch = width * static_cast<UINT>(bytesPerPixel);
    if (FAILED(converted->CopyPixels(nullptr, pitch, static_cast<UINT>(bytes), pixels.get()))) return nullptr;
    return pixels;
}

// Blue-green-red-alpha pixels cut down to bytesPerPixel: blue, green and red
// (3), or one channel of a grey picture, where all three are equal (1).
std::unique_ptr<uint8_t[]> Narrowed(const uint8_t* bgra, size_t count, int32_t bytesPerPixel) {
    const size_t size = static_cast<size_t>(bytesPerPixel);
    std::unique_ptr<uint8_t[]> pixels = decode::AllocatePixels(static_cast<int64_t>(count * size));
    for (size_t i = 0; i < count; ++i) std::memcpy(pixels.get() + i * size, bgra + i * 4, size);
    return pixels;
}

}  // namespace

bool Decode(const std::vector<uint8_t>& file, const GUID& container, const GUID& format, int32_t bytesPerPixel,
            int64_t mostBytes, Pixels& out) {
    const ComScope com;
    const ComPtr<IWICImagingFactory> factory = Factory();
    const ComPtr<IWICBitmapFrameDecode> frame = factory ? FirstFrame(*factory.Get(), file, container) : nullptr;
    UINT width = 0, height = 0;
    if (!frame || FAILED(frame->GetSize(&width, &height))) return false;
    const int64_t bytes = decode::PixelBytes(width, height, bytesPerPixel);
    if (bytes < 0 || bytes > mostBytes) return false;
    std::unique_ptr<uint8_t[]> pixels = Converted(*frame.Get(), format, width, height, bytesPerPixel);
    // Some converters (Wine's among them) make grey pictures into colour, and
    // deep grey into anything, only by way of 32-bit blue-green-red-alpha.
    if (!pixels && bytesPerPixel < 4) {
        const std::unique_ptr<uint8_t[]> bgra = Converted(*frame.Get(), GUID_WICPixelFormat32bppBGRA, width, height, 4);
        if (bgra) pixels = Narrowed(bgra.get(), size_t{width} * height, bytesPerPixel);
    }
    if (!pixels) return false;
    out = Pixels{std::move(pixels), static_cast<int32_t>(width), static_cast<int32_t>(height)};
    return true;
}

namespace {

// Asks for the encoder's options by name; an option this system's encoder
// does not know is left at its default.
void SetOption(IPropertyBag2& options, const wchar_t* name, VARIANT value) {
    PROPBAG2 option = {};
    option.pstrName = const_cast<LPOLESTR>(name);
    options.Write(1, &option, &value);
}

bool WriteFrame(IWICBitmapEncoder& encoder, const uint8_t* rows, int32_t pitch, int32_t width, int32_t height,
                int32_t quality, bool fullColour) {
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    if (FAILED(encoder.CreateNewFrame(&frame, &options))) return false;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_R4;
    value.fltVal = static_cast<float>(quality) / 100.0f;
    SetOption(*options.Get(), L"ImageQuality", value);
    if (fullColour) {
        value.vt = VT_UI1;
        value.bVal = WICJpegYCrCbSubsampling444;
        SetOption(*options.Get(), L"JpegYCrCbSubsampling", value);
    }
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    const UINT size = static_cast<UINT>(pitch) * static_cast<UINT>(height);
    return SUCCEEDED(frame->Initialize(options.Get())) &&
           SUCCEEDED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) &&
           SUCCEEDED(frame->SetPixelFormat(&format)) && IsEqualGUID(format, GUID_WICPixelFormat24bppBGR) &&
           SUCCEEDED(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(pitch), size,
                                        const_cast<BYTE*>(rows))) &&
           SUCCEEDED(frame->Commit());
}

// The bytes an HGLOBAL-backed stream holds.
bool StreamBytes(IStream& stream, std::vector<uint8_t>& out) {
    STATSTG info = {};
    if (FAILED(stream.Stat(&info, STATFLAG_NONAME)) || info.cbSize.QuadPart > UINT32_MAX) return false;
    out.resize(static_cast<size_t>(info.cbSize.QuadPart));
    LARGE_INTEGER start = {};
    ULONG read = 0;
    return SUCCEEDED(stream.Seek(start, STREAM_SEEK_SET, nullptr)) &&
           (out.empty() || SUCCEEDED(stream.Read(out.data(), static_cast<ULONG>(out.size()), &read))) &&
           read == out.size();
}

}  // namespace

bool EncodeJpeg(const uint8_t* rows, int32_t pitch, int32_t width, int32_t height, int32_t quality, bool fullColour,
                std::vector<uint8_t>& out) {
    const ComScope com;
    const ComPtr<IWICImagingFactory> factory = Factory();
    ComPtr<IStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    return factory && SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) &&
           SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &encoder)) &&
           SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
           WriteFrame(*encoder.Get(), rows, pitch, width, height, quality, fullColour) &&
           SUCCEEDED(encoder->Commit()) && StreamBytes(*stream.Get(), out);
}

}  // namespace cvcore::wic
