#include "engine/material.h"

#include <cstring>
#include "engine/device3d.h"

namespace {

constexpr float kByteToFloat = 0.003921569f;

D3DCOLORVALUE ToColorValue(uint32_t argb) {
    D3DCOLORVALUE c;
    c.r = static_cast<float>((argb >> 16) & 0xFF) * kByteToFloat;
    c.g = static_cast<float>((argb >> 8) & 0xFF) * kByteToFloat;
    c.b = static_cast<float>(argb & 0xFF) * kByteToFloat;
    c.a = static_cast<float>(argb >> 24) * kByteToFloat;
    return c;
}

DWORD FloatBits(float value) {
    DWORD bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

bool SlotEnabled(const MaterialRecord& record, int slot) {
    return record.maps[slot] != nullptr && record.maps[slot][0] != '\0';
}

}  // namespace

Material::Material(Device3D* d) : device(d) {
    std::memset(&material, 0, sizeof material);
    material.Diffuse.r = material.Diffuse.g = material.Diffuse.b = material.Diffuse.a = 1.0f;
}

void Material::Apply() {
    IDirect3DDevice8* d = device != nullptr ? device->GetDevice() : nullptr;
    if (d == nullptr) {
        return;
    }
    d->SetRenderState(D3DRS_CULLMODE, cullMode);
    d->SetRenderState(D3DRS_ZENABLE, zEnable);
    d->SetRenderState(D3DRS_ZWRITEENABLE, zWriteEnable);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, alphaBlendEnable);
    d->SetRenderState(D3DRS_BLENDOP, blendOp);
    d->SetRenderState(D3DRS_DESTBLEND, destBlend);
    d->SetRenderState(D3DRS_SRCBLEND, srcBlend);
    d->SetRenderState(D3DRS_NORMALIZENORMALS, normalizeNormals);
    d->SetRenderState(D3DRS_TEXTUREFACTOR, textureFactor);
    d->SetMaterial(&material);

    DWORD i = 0;
    for (; i < STAGES; ++i) {
        const TextureStage& s = stages[i];
        d->SetTextureStageState(i, D3DTSS_COLOROP, s.colorOp);
        if (s.colorOp == D3DTOP_DISABLE) {
            break;
        }
        d->SetTextureStageState(i, D3DTSS_COLORARG1, s.colorArg1);
        d->SetTextureStageState(i, D3DTSS_COLORARG2, s.colorArg2);
        d->SetTextureStageState(i, D3DTSS_ALPHAOP, s.alphaOp);
        d->SetTextureStageState(i, D3DTSS_ALPHAARG1, s.alphaArg1);
        d->SetTextureStageState(i, D3DTSS_ALPHAARG2, s.alphaArg2);
        d->SetTextureStageState(i, D3DTSS_TEXCOORDINDEX, s.texCoordIndex);
        d->SetTextureStageState(i, D3DTSS_TEXTURETRANSFORMFLAGS, s.textureTransformFlags);
        if (s.textureTransformFlags != 0) {
            d->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + i),
                            reinterpret_cast<const D3DMATRIX*>(&s.textureMatrix));
        }
        if (s.colorOp == D3DTOP_BUMPENVMAP || s.colorOp == D3DTOP_BUMPENVMAPLUMINANCE) {
            d->SetTextureStageState(i, D3DTSS_BUMPENVMAT00, FloatBits(s.bumpEnvMat00));
            d->SetTextureStageState(i, D3DTSS_BUMPENVMAT01, FloatBits(s.bumpEnvMat01));
            d->SetTextureStageState(i, D3DTSS_BUMPENVMAT10, FloatBits(s.bumpEnvMat10));
            d->SetTextureStageState(i, D3DTSS_BUMPENVMAT11, FloatBits(s.bumpEnvMat11));
        }
        d->SetTexture(i, s.texture);
    }
    // Stages past the first disabled one may hold coordinate indices of an
    // earlier material; reset them so no stale set is read.
    for (; i < STAGES; ++i) {
        d->SetTextureStageState(i, D3DTSS_TEXCOORDINDEX, 0);
    }
}

void Material::Build(const MaterialRecord& record) {
    opacity = record.opacity;
    for (int i = 0; i < 3; ++i) {
        extra[i] = record.extra[i];
    }
    material.Ambient = ToColorValue(record.ambient);
    material.Diffuse = ToColorValue(record.diffuse);
    material.Specular = ToColorValue(record.specular);
    material.Emissive = ToColorValue(record.emissive);

    const bool translucent = opacity < 1.0f;
    if (translucent) {
        alphaBlendEnable = 1;
        zWriteEnable = 0;
        srcBlend = D3DBLEND_SRCALPHA;
        destBlend = (record.flags & MaterialRecord::FLAG_ADDITIVE) != 0 ? D3DBLEND_ONE : D3DBLEND_INVSRCALPHA;
    }
    if ((record.flags & MaterialRecord::FLAG_TWO_SIDED) != 0) {
        cullMode = D3DCULL_NONE;
    }

    int s = 0;
    auto take = [&](int slot, uint32_t colorOp, uint32_t texCoordIndex) -> TextureStage& {
        TextureStage& stage = stages[s];
        stage.colorOp = colorOp;
        if (translucent) {
            stage.alphaOp = D3DTOP_MODULATE;
        }
        stage.texCoordIndex = texCoordIndex;
        stage.texture = device != nullptr ? device->textureFactory.Load(record.maps[slot], 1) : nullptr;
        ++s;
        return stage;
    };
    if (SlotEnabled(record, MaterialRecord::SLOT_BASE)) {
        take(MaterialRecord::SLOT_BASE, D3DTOP_MODULATE, 0);
    }
    if (SlotEnabled(record, MaterialRecord::SLOT_SECOND)) {
        take(MaterialRecord::SLOT_SECOND, D3DTOP_MODULATE, static_cast<uint32_t>(s));
    }
    if (SlotEnabled(record, MaterialRecord::SLOT_REFLECTION)) {
        // A sphere map: the camera-space normal's x and y, mapped from
        // -1..1 to 0..1, index the texture.
        TextureStage& stage = take(MaterialRecord::SLOT_REFLECTION, s > 0 ? D3DTOP_ADD : D3DTOP_MODULATE,
                                   static_cast<uint32_t>(s) | D3DTSS_TCI_CAMERASPACENORMAL);
        stage.textureTransformFlags = D3DTTFF_COUNT2;
        stage.textureMatrix = Matrix4(1.0f);
        stage.textureMatrix.m[0] = 0.5f;
        stage.textureMatrix.m[5] = 0.5f;
        stage.textureMatrix.m[10] = 0.0f;
        stage.textureMatrix.m[12] = 0.5f;
        stage.textureMatrix.m[13] = 0.5f;
        normalizeNormals = 1;
    }
}

std::unique_ptr<Material> Material::MakeLightMapVariant(IDirect3DTexture8* lightMap) const {
    auto variant = std::make_unique<Material>(device);
    variant->opacity = opacity;
    for (int i = 0; i < 3; ++i) {
        variant->extra[i] = extra[i];
    }
    variant->cullMode = cullMode;
    variant->zEnable = zEnable;
    variant->zWriteEnable = zWriteEnable;
    variant->alphaBlendEnable = alphaBlendEnable;
    variant->blendOp = blendOp;
    variant->destBlend = destBlend;
    variant->srcBlend = srcBlend;
    variant->normalizeNormals = normalizeNormals;
    variant->textureFactor = textureFactor;

    int copied = 0;
    uint32_t usedSets = 0;  // copied stages that read a coordinate set above 0
    while (copied < STAGES && stages[copied].colorOp != D3DTOP_DISABLE) {
        variant->stages[copied] = stages[copied];
        if ((stages[copied].texCoordIndex & 0xFF) != 0) {
            ++usedSets;
        }
        ++copied;
    }
    if (copied >= 2) {
        return variant;
    }
    const TextureStage& base = stages[copied];
    TextureStage& light = variant->stages[copied];
    light.colorOp = D3DTOP_MODULATE;
    light.colorArg1 = base.colorArg1;
    light.colorArg2 = base.colorArg2;
    light.alphaOp = opacity >= 1.0f ? base.alphaOp : static_cast<uint32_t>(D3DTOP_MODULATE);
    light.alphaArg1 = base.alphaArg1;
    light.alphaArg2 = base.alphaArg2;
    light.texCoordIndex = usedSets + 1;
    light.textureTransformFlags = base.textureTransformFlags;
    light.textureMatrix = base.textureMatrix;
    light.bumpEnvMat00 = base.bumpEnvMat00;
    light.bumpEnvMat01 = base.bumpEnvMat01;
    light.bumpEnvMat10 = base.bumpEnvMat10;
    light.bumpEnvMat11 = base.bumpEnvMat11;
    light.texture = lightMap;
    return variant;
}
