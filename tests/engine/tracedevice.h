#pragma once
// Shared by the engine's device-side tests: a Device3D on the trace back end
// and helpers to read its call log.
#include <d3d8.h>
#include <d3d8ext.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/device3d.h"
#include "engine/devicesettings.h"

namespace tracetest {

// A windowed device on a trace adapter configured by the caller.
inline std::unique_ptr<Device3D> MakeDevice(const D3D8TraceConfig& config = D3D8TraceConfig(),
                                            uint8_t flags = 0) {
    D3D8Trace_Enable(config);
    auto device = std::make_unique<Device3D>();
    DeviceSettings settings;
    settings.width = 640;
    settings.height = 480;
    settings.format = D3DFMT_R5G6B5;
    settings.flags = flags;
    device->CreateDevice(settings);
    D3D8Trace_Clear();
    return device;
}

// Lines of the log that contain text, in order.
inline std::vector<std::string> LinesWith(const std::string& text) {
    std::vector<std::string> found;
    for (const std::string& line : D3D8Trace_Lines()) {
        if (line.find(text) != std::string::npos) {
            found.push_back(line);
        }
    }
    return found;
}

// The log's form of user data handed to a UP draw.
inline std::string DataTag(const void* data, size_t bytes) {
    uint32_t hash = 2166136261u;
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < bytes; ++i) {
        hash = (hash ^ p[i]) * 16777619u;
    }
    char text[48];
    std::snprintf(text, sizeof text, "data:%zu:%x", bytes, hash);
    return text;
}

// Strips the "device#1 " style object name from a line.
inline std::string Call(const std::string& line) {
    const size_t space = line.find(' ');
    return space == std::string::npos ? line : line.substr(space + 1);
}

inline std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    for (const std::string& line : D3D8Trace_Lines()) {
        calls.push_back(Call(line));
    }
    return calls;
}

}  // namespace tracetest
