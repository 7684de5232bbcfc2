#pragma once
// The Device3D that tests, benchmarks and fuzzers draw through: on the trace
// back end (or the GL back end for pictures), with or without a window, and
// helpers to read the trace's call log.
#include <d3d8.h>
#include <d3d8ext.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "cvcore/exception.h"
#include "cvcore/windowwrapper.h"
#include "engine/device3d.h"
#include "engine/devicesettings.h"

namespace tracetest {

struct DeviceSetup {
    bool trace = true;  // false: the back end the environment selects
    D3D8TraceConfig config;
    const char* title = nullptr;  // opens a window of the size; none: windowless
    int width = 640;              // window size, or the back buffer's without one
    int height = 480;
    D3DFORMAT format = D3DFMT_X8R8G8B8;
    uint8_t flags = 0;
    // SDL's dummy video driver: a window without any graphics driver loaded.
    // Only the first video start reads it, so a program that already shows
    // windows keeps its own driver.
    bool noGraphicsDriver = false;
    bool clearLog = false;  // tests that read the log see only their own calls
};

// Owns the device and the window it needs, which outlives it. Reads like a
// pointer to the Device3D; empty when default-made or reset.
class TraceDevice {
public:
    TraceDevice() = default;
    explicit TraceDevice(const DeviceSetup& setup) {
        if (setup.noGraphicsDriver) {
            setenv("SDL_VIDEODRIVER", "dummy", 1);
        }
        if (setup.trace) {
            D3D8Trace_Enable(setup.config);
        } else {
            D3D8Trace_Disable();
        }
        DeviceSettings settings;
        if (setup.title) {
            window_ = std::make_unique<cvcore::WindowWrapper>();
            if (!window_->Open(setup.width, setup.height, setup.title, 0)) {
                throw std::runtime_error("no test window");
            }
            settings.window = window_->GetWindowHandle();
        } else {
            settings.width = static_cast<uint32_t>(setup.width);
            settings.height = static_cast<uint32_t>(setup.height);
        }
        settings.format = setup.format;
        settings.flags = setup.flags;
        Create(settings);
        if (setup.clearLog) {
            D3D8Trace_Clear();
        }
    }
    TraceDevice(TraceDevice&&) = default;
    TraceDevice& operator=(TraceDevice&& other) noexcept {
        reset();
        window_ = std::move(other.window_);
        device_ = std::move(other.device_);
        return *this;
    }
    ~TraceDevice() { reset(); }

    void reset() {
        device_.reset();
        window_.reset();
    }
    Device3D* get() const { return device_.get(); }
    Device3D& operator*() const { return *device_; }
    Device3D* operator->() const { return device_.get(); }
    explicit operator bool() const { return device_ != nullptr; }

private:
    // A device that cannot be made fails the test with the calls that led
    // there, which is what explains it on a machine without the right GL.
    void Create(const DeviceSettings& settings) {
        device_ = std::make_unique<Device3D>();
        try {
            device_->CreateDevice(settings);
        } catch (const cvcore::Exception& e) {
            throw std::runtime_error(std::string("no test device: ") + e.Method().Text() + " " + e.Message().Text() +
                                     "\n" + D3D8Trace_Log());
        }
    }

    std::unique_ptr<cvcore::WindowWrapper> window_;
    std::unique_ptr<Device3D> device_;
};

// A windowless 640 x 480 R5G6B5 device on a trace adapter configured by the
// caller, with an empty log.
inline TraceDevice MakeDevice(const D3D8TraceConfig& config = D3D8TraceConfig(), uint8_t flags = 0) {
    DeviceSetup setup;
    setup.config = config;
    setup.format = D3DFMT_R5G6B5;
    setup.flags = flags;
    setup.clearLog = true;
    return TraceDevice(setup);
}

// A device in a 640 x 480 window, for the scene tests; trace false draws
// pictures on the GL back end.
inline TraceDevice MakeSceneDevice(bool trace = true, const D3D8TraceConfig& config = D3D8TraceConfig()) {
    DeviceSetup setup;
    setup.trace = trace;
    setup.config = config;
    setup.title = "scene test";
    return TraceDevice(setup);
}

// A trace device with its log off in a small window: what benchmarks and
// fuzzers draw through, so they exercise the program's own work and not a
// rasteriser.
inline TraceDevice MakeQuietDevice(const char* title, int width = 320, int height = 240) {
    DeviceSetup setup;
    setup.config.record = false;
    setup.title = title;
    setup.width = width;
    setup.height = height;
    setup.noGraphicsDriver = true;
    return TraceDevice(setup);
}

// Lines of the log that contain every one of the texts, in order.
template <typename... Text>
std::vector<std::string> LinesWith(const Text&... texts) {
    std::vector<std::string> found;
    for (const std::string& line : D3D8Trace_Lines()) {
        if (((line.find(texts) != std::string::npos) && ...)) {
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
