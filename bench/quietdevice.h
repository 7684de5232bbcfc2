#pragma once
// A Direct3D device on the trace back end with its log off, in a small
// window that outlives it: what the CPU-side benchmarks draw through, so
// they time the program's own work and not a rasteriser.
#include <d3d8.h>
#include <d3d8ext.h>

#include <memory>

#include "cvcore/windowwrapper.h"
#include "engine/device3d.h"

struct QuietDevice {
    explicit QuietDevice(const char* title) {
        D3D8TraceConfig config;
        config.record = false;
        D3D8Trace_Enable(config);
        window.Open(320, 240, title, 0);
        device = std::make_unique<Device3D>();
        DeviceSettings settings;
        settings.window = window.GetWindowHandle();
        settings.format = D3DFMT_X8R8G8B8;
        device->CreateDevice(settings);
    }

    cvcore::WindowWrapper window;
    std::unique_ptr<Device3D> device;
};
