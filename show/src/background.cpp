#include "background.h"

#include <algorithm>
#include <cmath>

#include "cvcore/exception.h"
#include "engine/device3d.h"
#include "glowstates.h"
#include "screen2d.h"

namespace {

constexpr float kPi = 3.1415927f;

D3DCOLOR LayerAlpha(float intensity, float factor) {
    const float a = std::min(intensity * factor, 1.0f);
    return (static_cast<uint32_t>(static_cast<int>(a * 255.0f)) << 24) | 0x00FFFFFFu;
}

}  // namespace

BackgroundLayers::BackgroundLayers(Device3D& device) : device_(&device) {
    CreateVertexBuffer();
    device_->AddLostHandler(this);
}

BackgroundLayers::~BackgroundLayers() { device_->RemoveLostHandler(this); }

void BackgroundLayers::CreateVertexBuffer() {
    if (FAILED(device_->GetDevice()->CreateVertexBuffer(4 * sizeof(ScreenVertex), D3DUSAGE_WRITEONLY, SCREEN_FVF,
                                                        D3DPOOL_DEFAULT, vertexBuffer_.Out())))
        throw cvcore::Exception("Credits::Credits()", "Unable to create Vertexbuffer!", "background");
}

void BackgroundLayers::OnDeviceLost() { vertexBuffer_.Reset(); }

void BackgroundLayers::OnDeviceReset() { CreateVertexBuffer(); }

void BackgroundLayers::AddLayer(const char* name) { layers_.push_back(device_->textureFactory.Load(name, 1)); }

void BackgroundLayers::Draw(float time, float intensity) {
    IDirect3DDevice8* d = device_->GetDevice();
    SetGlowStates(d, D3DZB_FALSE);
    SetScreenTransforms(d);
    d->SetStreamSource(0, vertexBuffer_.Get(), sizeof(ScreenVertex));
    d->SetVertexShader(SCREEN_FVF);

    // No buffer while a lost device waits for its reset: nothing to draw.
    const int n = vertexBuffer_ ? static_cast<int>(layers_.size()) : 0;
    const float k = n > 0 ? 1.0f / static_cast<float>(n) : 0.0f;
    for (int i = 0; i < n; ++i) {
        const float p = time + 2.0f * kPi * static_cast<float>(i) * k;
        d->SetTexture(0, layers_[i]);
        BYTE* data = nullptr;
        if (SUCCEEDED(vertexBuffer_->Lock(0, 0, &data, D3DLOCK_DISCARD))) {
            auto* v = reinterpret_cast<ScreenVertex*>(data);
            v[0] = {-200,
                    200,
                    200,
                    LayerAlpha(intensity, (std::cos(0.94f * p) + 1) * k),
                    0.1f * std::cos(0.96f * p),
                    0.1f * std::sin(1.05f * p)};
            v[1] = {200,
                    200,
                    200,
                    LayerAlpha(intensity, (std::sin(0.97f * p) + 1) * k),
                    1 + 0.1f * std::sin(1.08f * p),
                    0.1f * std::cos(1.1f * p)};
            v[2] = {-200,
                    -200,
                    200,
                    LayerAlpha(intensity, (std::sin(1.02f * p) + 1) * k),
                    0.1f * std::sin(0.92f * p),
                    1 + 0.1f * std::sin(p)};
            v[3] = {200,
                    -200,
                    200,
                    LayerAlpha(intensity, (std::cos(1.05f * p) + 1) * k),
                    1 + 0.1f * std::cos(p),
                    1 + 0.1f * std::cos(1.04f * p)};
            vertexBuffer_->Unlock();
        }
        d->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    }

    d->SetRenderState(D3DRS_ZENABLE, D3DZB_USEW);
    d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
}
