#pragma once
// A GL device on a hidden (offscreen) window for the rendering tests, and
// reading its frame back.
#include <d3d8.h>
#include <d3d8ext.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace d3d8test {

inline DWORD F2D(float f) {
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

struct Rgb {
    int r, g, b;
};

inline Rgb RgbOf(uint32_t argb) { return {int((argb >> 16) & 0xFF), int((argb >> 8) & 0xFF), int(argb & 0xFF)}; }

class GLDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { D3D8Trace_Disable(); }

    void Open(UINT width = 64, UINT height = 64, BOOL depth = TRUE, DWORD flags = 0) {
        d3d = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr) << "no usable OpenGL";
        D3DPRESENT_PARAMETERS p = {};
        p.Windowed = TRUE;
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.BackBufferFormat = D3DFMT_X8R8G8B8;
        p.BackBufferWidth = width;
        p.BackBufferHeight = height;
        p.EnableAutoDepthStencil = depth;
        p.AutoDepthStencilFormat = D3DFMT_D24S8;
        p.Flags = flags;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device),
                  D3D_OK);
        w = width;
        h = height;
        hasDepth = depth;
    }

    void TearDown() override {
        if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
        if (d3d) d3d->Release();
    }

    // The back buffer as A8R8G8B8, top row first.
    void Read() {
        frame.assign(size_t(w) * h, 0);
        ASSERT_EQ(D3D8_ReadBackBuffer(device, frame.data(), w * 4, nullptr, nullptr), D3D_OK);
    }
    uint32_t At(int x, int y) const { return frame[size_t(y) * w + size_t(x)] & 0xFFFFFF; }
    Rgb RgbAt(int x, int y) const { return RgbOf(At(x, y)); }

    // Writes the frame as a binary PPM (for looking at; ImageMagick turns it
    // into PNG).
    void SavePpm(const std::string& path) const {
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return;
        std::fprintf(f, "P6\n%u %u\n255\n", w, h);
        for (uint32_t p : frame) {
            const unsigned char rgb[3] = {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)};
            std::fwrite(rgb, 1, 3, f);
        }
        std::fclose(f);
    }

    void Clear(D3DCOLOR color) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | (hasDepth ? D3DCLEAR_ZBUFFER : 0), color, 1.0f, 0);
    }

    // Lighting off, no culling, blending off, stage 0 passing the diffuse.
    void Plain() {
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    }

    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* device = nullptr;
    UINT w = 0, h = 0;
    BOOL hasDepth = FALSE;
    std::vector<uint32_t> frame;
};

struct TLVertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1
    float x, y, z, rhw;
    DWORD color;
    float u, v;
};
constexpr DWORD TL_FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// A pre-transformed rectangle as a two-triangle fan.
inline void TLQuad(TLVertex out[4], float x1, float y1, float x2, float y2, DWORD color, float u1 = 0, float v1 = 0,
                   float u2 = 1, float v2 = 1, float z = 0.5f) {
    out[0] = {x1, y1, z, 1, color, u1, v1};
    out[1] = {x2, y1, z, 1, color, u2, v1};
    out[2] = {x2, y2, z, 1, color, u2, v2};
    out[3] = {x1, y2, z, 1, color, u1, v2};
}

}  // namespace d3d8test
