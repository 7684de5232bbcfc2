#include "wobler.h"

#include <algorithm>
#include <cmath>

#include "cvcore/exception.h"
#include "engine/device3d.h"
#include "screen2d.h"

namespace {

constexpr float kPi = 3.1415927f;

// Alphas truncate to an integer; anything that reads above 255 unsigned
// (negative values included) saturates.
D3DCOLOR GridAlpha(float value) {
    const auto a = static_cast<uint32_t>(static_cast<int>(value));
    return ((a > 255u ? 255u : a) << 24) | 0x00FFFFFFu;
}

}  // namespace

// The per-mode constants of the grid; everything else is shared.
struct Wobbler::Mode {
    enum Kind { WARP_FALSE, WARP_TRUE, LOGO, RIPPLE } kind;
    int step;  // plasma step per column and row
};

Wobbler::Wobbler(Device3D& device, const char* textureName)
    : device_(&device), texture_(device.textureFactory.Load(textureName, 0)) {
    IDirect3DDevice8* d = device.GetDevice();
    if (FAILED(d->CreateVertexBuffer(COLUMNS * ROWS * sizeof(ScreenVertex), 0, SCREEN_FVF, D3DPOOL_MANAGED,
                                     vertexBuffer_.Out())))
        throw cvcore::Exception("LayerBurst::LayerBurst()", "Unable to create Vertexbuffer!", "wobler");
    if (FAILED(d->CreateIndexBuffer(INDEX_COUNT * sizeof(uint16_t), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                    indexBuffer_.Out())))
        throw cvcore::Exception("TriMesh::CreateIndexBuffer()", "Failed!", "wobler");
    FillIndices();
}

std::vector<uint16_t> BuildGridStrip(int columns, int rows) {
    std::vector<uint16_t> strip;
    for (int j = 0; j <= rows - 2; ++j) {
        const int c = columns * j;
        strip.push_back(static_cast<uint16_t>(c));
        for (int k = 0; k < columns; ++k) {
            strip.push_back(static_cast<uint16_t>(c + k));
            strip.push_back(static_cast<uint16_t>(c + k + columns));
        }
        strip.push_back(static_cast<uint16_t>(c + 2 * columns - 1));
    }
    return strip;
}

void Wobbler::FillIndices() {
    const std::vector<uint16_t> strip = BuildGridStrip(COLUMNS, ROWS);
    if (static_cast<int>(strip.size()) != INDEX_COUNT) throw cvcore::Exception("ei pid\xE4 paikkaansa!", "", "wobler");
    BYTE* data = nullptr;
    if (FAILED(indexBuffer_->Lock(0, 0, &data, 0))) return;
    std::copy(strip.begin(), strip.end(), reinterpret_cast<uint16_t*>(data));
    indexBuffer_->Unlock();
}

void Wobbler::WriteGrid(const Mode& mode, float t, float level) {
    plasma_.Compute(t);
    int ox, oy;
    if (mode.kind == Mode::WARP_FALSE) {
        ox = static_cast<int>((std::cos(0.15f * t) + 1) / 2 * (255 - 32));
        oy = static_cast<int>((std::sin(0.15f * t) + 1) / 2 * (255 - 24));
    } else {
        ox = static_cast<int>((0.5f - 0.5f * std::cos(0.23f * t)) * (255 - 128));
        oy = static_cast<int>((std::sin(0.23f * t) + 1) / 2 * (255 - 96));
    }
    BYTE* data = nullptr;
    if (FAILED(vertexBuffer_->Lock(0, 0, &data, D3DLOCK_DISCARD))) return;
    auto* out = reinterpret_cast<ScreenVertex*>(data);

    float v = 0.0f, vStep = 1.0f / 23.0f;
    switch (mode.kind) {
    case Mode::WARP_FALSE:
        v = 0.01f * t;
        vStep += 0.005f * std::sin(1.32f * t);
        break;
    case Mode::WARP_TRUE:
        v = 0.001f * t;
        vStep += 0.001f * std::sin(1.32f * t);
        break;
    case Mode::LOGO: break;
    case Mode::RIPPLE: vStep += 0.005f * std::sin(1.12f * t); break;
    }
    for (int j = 0; j < ROWS; ++j) {
        float u = 0.0f;
        switch (mode.kind) {
        case Mode::WARP_FALSE:
        case Mode::RIPPLE: u = 0.015f * t + 0.1f * std::sin(v + t); break;
        case Mode::WARP_TRUE: u = 0.001f * t + 0.0015f * std::sin(v + t); break;
        case Mode::LOGO: break;
        }
        for (int i = 0; i < COLUMNS; ++i) {
            ScreenVertex& vx = out[j * COLUMNS + i];
            vx.x = -100.0f + static_cast<float>(i) * 200.0f / 31.0f;
            vx.y = 100.0f - static_cast<float>(j) * 200.0f / 23.0f;
            vx.z = 100.0f;
            const float p = plasma_.At(oy + mode.step * j, ox + mode.step * i);
            const float angle = kPi * (u + v);
            switch (mode.kind) {
            case Mode::WARP_FALSE:
                vx.diffuse = GridAlpha(p * level);
                vx.u = u + 0.05f * std::sin(angle + 0.3f * t);
                vx.v = v + 0.05f * std::cos(angle + 0.3f * t);
                break;
            case Mode::WARP_TRUE:
                vx.diffuse = GridAlpha(level * 255.0f);
                vx.u = u + 0.015f * std::sin(angle + 0.5f * t);
                vx.v = v + 0.015f * std::cos(angle + 0.5f * t);
                break;
            case Mode::LOGO:
                vx.diffuse = GridAlpha(p * level);
                vx.u = u;
                vx.v = v;
                break;
            case Mode::RIPPLE:
                vx.diffuse = GridAlpha(p * level);
                vx.u = u + 0.05f * std::cos(angle + 0.39f * t);
                vx.v = v + 0.05f * std::sin(angle + 0.42f * t);
                break;
            }
            u += 1.0f / 31.0f;
        }
        v += vStep;
    }
    vertexBuffer_->Unlock();
}

void Wobbler::Draw(D3DBLEND destBlend, bool ripple) {
    IDirect3DDevice8* d = device_->GetDevice();
    d->SetTexture(0, texture_);
    SetScreenTransforms(d);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_DESTBLEND, destBlend);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_ZENABLE, FALSE);
    d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    if (ripple) d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
    d->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    d->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetVertexShader(SCREEN_FVF);
    d->SetStreamSource(0, vertexBuffer_.Get(), sizeof(ScreenVertex));
    d->SetIndices(indexBuffer_.Get(), 0);
    d->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 0, COLUMNS * ROWS, 0, INDEX_COUNT - 2);
}

void Wobbler::DrawWarp(float time, float alpha, bool style) {
    if (alpha < 0.0f) alpha = 0.0f;
    WriteGrid(Mode{style ? Mode::WARP_TRUE : Mode::WARP_FALSE, 1}, time, alpha);
    Draw(D3DBLEND_INVSRCALPHA, false);
}

void Wobbler::DrawLogo(float time, float amount) {
    if (amount < 0.0f) amount = 0.0f;
    WriteGrid(Mode{Mode::LOGO, 4}, time, amount);
    Draw(D3DBLEND_INVSRCALPHA, false);
}

void Wobbler::DrawRipple(float time, float alpha) {
    if (alpha < 0.0f) alpha = 0.0f;
    WriteGrid(Mode{Mode::RIPPLE, 1}, time, alpha);
    Draw(D3DBLEND_ONE, true);
}
