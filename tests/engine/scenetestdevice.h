#pragma once
// A Device3D on the trace back end (or the GL back end for pictures) in a
// 640 x 480 window, for the scene tests.
#include <d3d8.h>
#include <d3d8ext.h>
#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>
#include "cvcore/exception.h"
#include "cvcore/windowwrapper.h"
#include "engine/device3d.h"

class TestDevice {
public:
    explicit TestDevice(bool trace, const D3D8TraceConfig& config = D3D8TraceConfig()) {
        if (trace) {
            D3D8Trace_Enable(config);
        } else {
            D3D8Trace_Disable();
        }
        if (!window_.Open(640, 480, "scene test", 0)) {
            throw std::runtime_error("no test window");
        }
        device_ = std::make_unique<Device3D>();
        DeviceSettings settings;
        settings.window = window_.GetWindowHandle();
        settings.format = D3DFMT_X8R8G8B8;
        try {
            device_->CreateDevice(settings);
        } catch (const cvcore::Exception& e) {
            throw std::runtime_error(std::string("no test device: ") + e.Method().Text() + " " +
                                     e.Message().Text() + "\n" + D3D8Trace_Log());
        }
    }

    Device3D* get() const { return device_.get(); }
    IDirect3DDevice8* GetDevice() const { return device_->GetDevice(); }
    Device3D& operator*() const { return *device_; }
    operator Device3D&() const { return *device_; }
    Device3D* operator->() const { return device_.get(); }

private:
    cvcore::WindowWrapper window_;  // outlives the device
    std::unique_ptr<Device3D> device_;
};

inline std::unique_ptr<TestDevice> MakeTestDevice(bool trace = true,
                                                  const D3D8TraceConfig& config = D3D8TraceConfig()) {
    return std::make_unique<TestDevice>(trace, config);
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
