#pragma once
#include <cstdint>
#include <windows.h>
#include <d3d8.h>

// The viewer's device choices: filled by the setup dialog, consumed by
// Device3D::CreateDevice.
struct DeviceSettings {
    // flags bits
    static constexpr uint8_t FULLSCREEN = 0x01;
    static constexpr uint8_t HARDWARE_TNL = 0x02;
    static constexpr uint8_t STENCIL = 0x04;  // the depth buffer should have stencil bits
    // The back buffer can be locked and read (tools that save frames); the
    // show never asks for it, as a lockable back buffer may cost speed.
    static constexpr uint8_t LOCKABLE_BACKBUFFER = 0x08;

    uint32_t adapter = 0;   // adapter ordinal
    HWND window = nullptr;  // focus window of the device
    uint32_t width = 0;     // back-buffer size in full-screen mode
    uint32_t height = 0;
    uint32_t refreshRate = 0;           // full-screen refresh rate in Hz, 0 = default
    D3DFORMAT format = D3DFMT_UNKNOWN;  // full-screen back-buffer format; also
                                        // the adapter format of the depth check
    uint8_t flags = 0;
};
