#pragma once
#include <cstdint>
#include <memory>
#include <d3d8.h>
#include "cvcore/object.h"
#include "engine/matrix4.h"

class Device3D;

// A block of device state that a surface sets before it is drawn.
class RenderStateBlock : public cvcore::Object {
public:
    ~RenderStateBlock() override = default;
    virtual void Apply() {}

    float opacity = 1.0f;  // below 1.0: translucent, meshes defer its triangles
};

// One texture stage of a material.
struct TextureStage {
    uint32_t colorOp = D3DTOP_DISABLE;
    uint32_t colorArg1 = D3DTA_TEXTURE;
    uint32_t colorArg2 = D3DTA_CURRENT;
    uint32_t alphaOp = D3DTOP_SELECTARG1;
    uint32_t alphaArg1 = D3DTA_TEXTURE;
    uint32_t alphaArg2 = D3DTA_CURRENT;
    uint32_t texCoordIndex = 0;
    uint32_t textureTransformFlags = 0;
    Matrix4 textureMatrix{1.0f};
    float bumpEnvMat00 = 0.0f, bumpEnvMat01 = 0.0f, bumpEnvMat10 = 0.0f, bumpEnvMat11 = 0.0f;
    IDirect3DTexture8* texture = nullptr;  // not owned
};

// The parts of a scene file's material record that decide a Material.
struct MaterialRecord {
    static constexpr int MAP_SLOTS = 12;
    static constexpr int SLOT_BASE = 1;
    static constexpr int SLOT_SECOND = 7;
    static constexpr int SLOT_REFLECTION = 9;
    static constexpr uint32_t FLAG_TWO_SIDED = 0x01;
    static constexpr uint32_t FLAG_ADDITIVE = 0x08;

    uint32_t ambient = 0, diffuse = 0, specular = 0, emissive = 0;  // packed ARGB
    float opacity = 1.0f;
    uint32_t flags = 0;
    float extra[3] = {1.0f, 0.5f, 0.4f};
    // Image file name per map slot; null or empty for a disabled slot.
    const char* maps[MAP_SLOTS] = {};
};

// A complete, fixed block of render state for one surface: nine render
// states, the lighting material and up to eight texture stages. Apply sets
// every state again; nothing is cached between materials.
class Material : public RenderStateBlock {
public:
    static constexpr int STAGES = 8;

    explicit Material(Device3D* device);
    ~Material() override = default;

    void Apply() override;

    // Fills this fresh material from a scene file's material record; stage
    // textures come from the device's texture factory (Load(name, 1)).
    void Build(const MaterialRecord& record);
    // A variant of this material with a light-map stage using the given
    // texture (or, when this material already uses two or more stages, the
    // same stages without one). The caller owns and registers it.
    std::unique_ptr<Material> MakeLightMapVariant(IDirect3DTexture8* lightMap) const;

    float extra[3] = {0.0f, 0.0f, 0.0f};
    Device3D* device;
    uint32_t cullMode = D3DCULL_CCW;
    uint32_t zEnable = D3DZB_USEW;
    uint32_t zWriteEnable = 1;
    uint32_t alphaBlendEnable = 0;
    uint32_t blendOp = D3DBLENDOP_ADD;
    uint32_t destBlend = D3DBLEND_ZERO;
    uint32_t srcBlend = D3DBLEND_ONE;
    uint32_t normalizeNormals = 0;
    uint32_t textureFactor = 0;
    D3DMATERIAL8 material;
    TextureStage stages[STAGES];
};
