#include "screen2d.h"

#include <algorithm>

#include "engine/device3d.h"

D3DMATRIX IdentityMatrix() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

D3DMATRIX ScreenProjection() {
    D3DMATRIX m{};
    m._11 = 1.0f;
    m._22 = 1.0f;
    m._33 = 1.0f;
    m._34 = 1.0f;
    m._43 = -1.0f;
    return m;
}

void SetScreenTransforms(IDirect3DDevice8* d) {
    const D3DMATRIX identity = IdentityMatrix();
    const D3DMATRIX projection = ScreenProjection();
    d->SetTransform(D3DTS_WORLD, &identity);
    d->SetTransform(D3DTS_VIEW, &identity);
    d->SetTransform(D3DTS_PROJECTION, &projection);
}

D3DCOLOR AlphaColour(uint32_t colour, float alpha) {
    const float clamped = std::clamp(alpha, 0.0f, 255.0f);
    return (static_cast<uint32_t>(static_cast<int>(clamped)) << 24) | (colour & 0x00FFFFFFu);
}

void SetShow2DState(IDirect3DDevice8* d) {
    d->SetRenderState(D3DRS_ZENABLE, FALSE);
    d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
}

void Begin2D(Device3D& device) {
    IDirect3DDevice8* d = device.GetDevice();
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_ZENABLE, FALSE);
    d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
    d->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    d->SetRenderState(D3DRS_NORMALIZENORMALS, FALSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    SetScreenTransforms(d);
    d->SetVertexShader(SCREEN_FVF);
}

void End2D(Device3D& device) {
    IDirect3DDevice8* d = device.GetDevice();
    d->SetRenderState(D3DRS_ZENABLE, D3DZB_USEW);
    d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
}

namespace {

void DrawScreenQuad(IDirect3DDevice8* d, float sx, float sy, D3DCOLOR colour) {
    const ScreenVertex quad[4] = {
        {-200.0f * sx, 200.0f * sy, 200.0f, colour, 0.0f, 0.0f},
        {200.0f * sx, 200.0f * sy, 200.0f, colour, 1.0f, 0.0f},
        {-200.0f * sx, -200.0f * sy, 200.0f, colour, 0.0f, 1.0f},
        {200.0f * sx, -200.0f * sy, 200.0f, colour, 1.0f, 1.0f},
    };
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex));
}

}  // namespace

void Overlay(Device3D& device, uint32_t colour, float alpha) {
    IDirect3DDevice8* d = device.GetDevice();
    d->SetTexture(0, nullptr);
    DrawScreenQuad(d, 1.0f, 1.0f, AlphaColour(colour, alpha));
}

void Sprite(Device3D& device, IDirect3DTexture8* texture, float sx, float sy, uint32_t colour, float alpha) {
    if (sx < 0.0f || sy < 0.0f) return;
    IDirect3DDevice8* d = device.GetDevice();
    d->SetTexture(0, texture);
    DrawScreenQuad(d, sx, sy, AlphaColour(colour, alpha));
}

void GrabFrame(Device3D&) {}
