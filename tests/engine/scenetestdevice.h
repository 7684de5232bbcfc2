#pragma once
// A Device3D on the trace back end (or the GL back end for pictures), with a
// 640 x 480 back buffer, for the scene tests.
#include <d3d8.h>
#include <d3d8ext.h>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>
#include "engine/device3d.h"

inline std::unique_ptr<Device3D> MakeTestDevice(bool trace = true) {
    if (trace) {
        D3D8Trace_Enable();
    } else {
        D3D8Trace_Disable();
    }
    auto device = std::make_unique<Device3D>();
    DeviceSettings settings;
    settings.width = 640;
    settings.height = 480;
    settings.format = D3DFMT_X8R8G8B8;
    settings.flags = DeviceSettings::FULLSCREEN;
    device->CreateDevice(settings);
    return device;
}

// Trace lines that contain every one of the given parts.
inline std::vector<std::string> TraceLinesWith(const std::vector<std::string>& parts) {
    std::vector<std::string> out;
    for (const std::string& line : D3D8Trace_Lines()) {
        if (std::all_of(parts.begin(), parts.end(),
                        [&](const std::string& p) { return line.find(p) != std::string::npos; })) {
            out.push_back(line);
        }
    }
    return out;
}
