#include "layerburst.h"

#include <cmath>

#include "cvcore/exception.h"
#include "engine/device3d.h"
#include "screen2d.h"

LayerBurst::LayerBurst(Device3D& device, const char* textureName)
    : device_(&device), texture_(device.textureFactory.Load(textureName, 1)) {
    if (FAILED(device.GetDevice()->CreateVertexBuffer(4 * sizeof(ScreenVertex), D3DUSAGE_WRITEONLY, SCREEN_FVF,
                                                      D3DPOOL_MANAGED, vertexBuffer_.Out())))
        throw cvcore::Exception("LayerBurst::LayerBurst()", "Unable to create Vertexbuffer!", "layerburst");
}

float LayerBurst::AlphaFactor(float n) const {
    if (n < fade_) return n / fade_;
    if (n < fade_ + hold_) return 1.0f;
    if (n < hold_ + 2.0f * fade_) return (hold_ + 2.0f * fade_ - n) / fade_;
    return 0.0f;
}

void LayerBurst::Draw(float time, bool setStates) {
    IDirect3DDevice8* d = device_->GetDevice();
    if (setStates) {
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_ZENABLE, FALSE);
        d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
        d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        SetScreenTransforms(d);
    }
    d->SetTexture(0, texture_);
    d->SetStreamSource(0, vertexBuffer_.Get(), sizeof(ScreenVertex));
    d->SetVertexShader(SCREEN_FVF);

    const float step = spacing_ / direction_.Length();
    for (int i = 0; i < count_; ++i) {
        const float g = time - static_cast<float>(i) * step;
        if (g <= 0.0f) continue;
        const Vector3 travel = direction_ * g;
        const Vector3 c = origin_ + travel;
        const D3DCOLOR colour =
            (static_cast<uint32_t>(static_cast<int>(AlphaFactor(travel.Length()) * 72.85714f)) << 24) | 0x00FFFFFFu;
        const Vector3 a = axisA_, b = axisB_;
        auto corner = [&](const Vector3& p, float u, float v) { return ScreenVertex{p.x, p.y, p.z, colour, u, v}; };
        BYTE* data = nullptr;
        if (SUCCEEDED(vertexBuffer_->Lock(0, 0, &data, D3DLOCK_DISCARD))) {
            auto* v = reinterpret_cast<ScreenVertex*>(data);
            v[0] = corner(c + a + b, 1, 0);
            v[1] = corner(c + a - b, 1, 1);
            v[2] = corner(c - a + b, 0, 0);
            v[3] = corner(c - a - b, 0, 1);
            vertexBuffer_->Unlock();
        }
        d->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    }
    if (setStates) {
        d->SetRenderState(D3DRS_ZENABLE, D3DZB_USEW);
        d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    }
}
