// Builds bitmap fonts from arbitrary 32-bit pictures: the first two bytes
// give the picture's width and height, the next one the glyph count, the
// rest the pixels (repeated as needed).
#include <d3d8.h>
#include <d3d8ext.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "cvcore/exception.h"
#include "cvcore/image.h"
#include "cvcore/pixelformat.h"
#include "engine/bitmapfont.h"
#include "engine/device3d.h"

namespace {

Device3D& TraceDevice() {
    static std::unique_ptr<Device3D> device = [] {
        D3D8TraceConfig config;
        config.record = false;
        D3D8Trace_Enable(config);
        auto d = std::make_unique<Device3D>();
        DeviceSettings settings;
        settings.format = D3DFMT_X8R8G8B8;
        d->CreateDevice(settings);
        return d;
    }();
    return *device;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const int width = 1 + data[0] % 128;
    const int height = 1 + data[1] % 32;
    std::string order;
    for (int i = 0; i < 1 + data[2] % 40; ++i) order.push_back(static_cast<char>('!' + i));
    cvcore::Image image(width, height, cvcore::PixelFormat::Standard(cvcore::FORMAT_A8R8G8B8));
    const uint8_t* pixels = data + 3;
    const size_t available = size - 3;
    uint8_t* out = image.GetPixels();
    for (size_t i = 0; i < static_cast<size_t>(width) * static_cast<size_t>(height) * 4; ++i) {
        out[i] = pixels[i % available];
    }
    BitmapFont font;
    try {
        font.Build(&TraceDevice(), image, order.c_str(), 4, 1);
        font.Print(0.0f, 0.0f, Vector2(1.0f, 1.0f), "%s", order.c_str());
    } catch (const cvcore::Exception&) {
    }
    return 0;
}
