// Feeds arbitrary bytes to the texture factory's DDS reader on a trace
// device: headers, sizes and level counts come from the input.
#include <d3d8.h>
#include <d3d8ext.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "cvcore/exception.h"
#include "cvcore/memorystream.h"
#include "engine/device3d.h"

namespace {

Device3D& TraceDevice() {
    static std::unique_ptr<Device3D> device = [] {
        D3D8TraceConfig config;
        config.record = false;
        config.adapters[0].caps.MaxTextureWidth = 256;
        config.adapters[0].caps.MaxTextureHeight = 256;
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
    Device3D& device = TraceDevice();
    auto buffer = std::make_unique<uint8_t[]>(size);
    if (size > 0) std::memcpy(buffer.get(), data, size);
    cvcore::MemoryStream stream(std::move(buffer), static_cast<int32_t>(size));
    try {
        if (IDirect3DTexture8* texture = device.textureFactory.LoadDDS(stream)) {
            texture->Release();
        }
    } catch (const cvcore::Exception&) {
    }
    return 0;
}
