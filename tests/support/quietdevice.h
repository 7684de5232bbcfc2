#pragma once
// A Direct3D device on the trace back end with its log off, in a small
// window that outlives it: what benchmarks and fuzzers draw through, so they
// exercise the program's own work and not a rasteriser.
#include <d3d8.h>
#include <d3d8ext.h>

#include <cstdlib>
#include <memory>

#include "cvcore/windowwrapper.h"
#include "engine/device3d.h"

struct QuietDevice {
    explicit QuietDevice(const char* title, int width = 320, int height = 240) {
        // Nothing is shown, so no graphics driver is loaded either: SDL's
        // dummy video driver gives the window without one. Only the first
        // video start reads this, so a program that already shows windows
        // keeps its own driver.
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        D3D8TraceConfig config;
        config.record = false;
        D3D8Trace_Enable(config);
        window.Open(width, height, title, 0);
        device = std::make_unique<Device3D>();
        DeviceSettings settings;
        settings.window = window.GetWindowHandle();
        settings.format = D3DFMT_X8R8G8B8;
        device->CreateDevice(settings);
    }

    cvcore::WindowWrapper window;
    std::unique_ptr<Device3D> device;
};
