#include "devicestatesnapshot.h"

#include <cstring>

namespace {

constexpr DWORD kStages = 8;
constexpr DWORD kLights = 8;  // the show and its scenes use no more

const D3DTRANSFORMSTATETYPE kTransforms[] = {D3DTS_VIEW,
                                             D3DTS_PROJECTION,
                                             D3DTS_TEXTURE0,
                                             D3DTS_TEXTURE1,
                                             D3DTS_TEXTURE2,
                                             D3DTS_TEXTURE3,
                                             D3DTS_TEXTURE4,
                                             D3DTS_TEXTURE5,
                                             D3DTS_TEXTURE6,
                                             D3DTS_TEXTURE7,
                                             static_cast<D3DTRANSFORMSTATETYPE>(256)};  // D3DTS_WORLD

bool InDefaultPool(IDirect3DBaseTexture8* texture) {
    if (texture->GetType() != D3DRTYPE_TEXTURE) return false;
    D3DSURFACE_DESC desc;
    return SUCCEEDED(static_cast<IDirect3DTexture8*>(texture)->GetLevelDesc(0, &desc)) && desc.Pool == D3DPOOL_DEFAULT;
}

}  // namespace

DeviceStateSnapshot::~DeviceStateSnapshot() { Clear(); }

void DeviceStateSnapshot::Clear() {
    for (IDirect3DBaseTexture8*& texture : textures_) {
        if (texture) texture->Release();
        texture = nullptr;
    }
    renderStates_.clear();
    stageStates_.clear();
    transforms_.clear();
    lights_.clear();
    captured_ = false;
}

void DeviceStateSnapshot::Capture(IDirect3DDevice8* d) {
    Clear();
    for (DWORD s = D3DRS_ZENABLE; s <= D3DRS_NORMALORDER; ++s) {
        DWORD value;
        if (SUCCEEDED(d->GetRenderState(static_cast<D3DRENDERSTATETYPE>(s), &value)))
            renderStates_.push_back({s, value});
    }
    for (DWORD stage = 0; stage < kStages; ++stage) {
        for (DWORD t = D3DTSS_COLOROP; t <= D3DTSS_RESULTARG; ++t) {
            DWORD value;
            if (SUCCEEDED(d->GetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(t), &value)))
                stageStates_.push_back({stage, t, value});
        }
        IDirect3DBaseTexture8* texture = nullptr;
        if (SUCCEEDED(d->GetTexture(stage, &texture)) && texture) {
            if (InDefaultPool(texture))
                texture->Release();
            else
                textures_[stage] = texture;
        }
    }
    for (D3DTRANSFORMSTATETYPE which : kTransforms) {
        D3DMATRIX m;
        if (SUCCEEDED(d->GetTransform(which, &m))) transforms_.push_back({which, m});
    }
    for (DWORD i = 0; i < kLights; ++i) {
        Light light{i, {}, FALSE};
        if (SUCCEEDED(d->GetLight(i, &light.light)) && SUCCEEDED(d->GetLightEnable(i, &light.enabled)))
            lights_.push_back(light);
    }
    d->GetMaterial(&material_);
    d->GetViewport(&viewport_);
    d->GetVertexShader(&fvf_);
    captured_ = true;
}

void DeviceStateSnapshot::Restore(IDirect3DDevice8* d) {
    if (!captured_) return;
    for (const Value& v : renderStates_) {
        DWORD now;
        const auto state = static_cast<D3DRENDERSTATETYPE>(v.which);
        if (FAILED(d->GetRenderState(state, &now)) || now != v.value) d->SetRenderState(state, v.value);
    }
    for (const StageValue& v : stageStates_) {
        DWORD now;
        const auto type = static_cast<D3DTEXTURESTAGESTATETYPE>(v.which);
        if (FAILED(d->GetTextureStageState(v.stage, type, &now)) || now != v.value)
            d->SetTextureStageState(v.stage, type, v.value);
    }
    for (DWORD stage = 0; stage < kStages; ++stage)
        if (textures_[stage]) d->SetTexture(stage, textures_[stage]);
    for (const Transform& t : transforms_) {
        D3DMATRIX now;
        if (FAILED(d->GetTransform(t.which, &now)) || std::memcmp(&now, &t.matrix, sizeof now) != 0)
            d->SetTransform(t.which, &t.matrix);
    }
    for (const Light& l : lights_) {
        d->SetLight(l.index, &l.light);
        if (l.enabled) d->LightEnable(l.index, TRUE);
    }
    d->SetMaterial(&material_);
    d->SetViewport(&viewport_);
    if (fvf_) d->SetVertexShader(fvf_);
    Clear();
}
