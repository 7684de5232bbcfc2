#pragma once
// Everything a Direct3D 8 device remembers between calls, kept once by the
// front end. The back ends read it at draw time; the dirty bits say which
// groups changed since a back end last looked.
#include <d3d8.h>

#include <cstdint>
#include <vector>

#include "formatinfo.h"

namespace d3d8 {

class Texture8;
class VertexBuffer8;
class IndexBuffer8;

enum DirtyBit : uint32_t {
    kDirtyPipeline = 1u << 0,     // blending, depth, culling, stencil, fill, colour writes
    kDirtyShader = 1u << 1,       // states that may change the generated program
    kDirtyConstants = 1u << 2,    // texture factor, fog values, ambient, alpha reference
    kDirtyWorldView = 1u << 3,
    kDirtyProjection = 1u << 4,
    kDirtyTexMatrix = 1u << 5,
    kDirtyLights = 1u << 6,
    kDirtyMaterial = 1u << 7,
    kDirtyViewport = 1u << 8,
    kDirtySamplers = 1u << 9,
    kDirtyTextures = 1u << 10,
    kDirtyVertexFormat = 1u << 11,
    kDirtyStreams = 1u << 12,
    kDirtyIndices = 1u << 13,
    kDirtyAll = 0xFFFFFFFFu,
};

constexpr int kStages = 8;
constexpr int kRenderStates = 256;
constexpr int kStageStates = 32;
constexpr int kMaxActiveLights = 8;

struct LightSlot {
    D3DLIGHT8 light;
    bool enabled = false;
};

struct DeviceState {
    DWORD rs[kRenderStates] = {};
    DWORD tss[kStages][kStageStates] = {};
    D3DMATRIX world = {};
    D3DMATRIX view = {};
    D3DMATRIX projection = {};
    D3DMATRIX texture[kStages] = {};
    D3DMATRIX extraWorld[3] = {};  // D3DTS_WORLD1..3, kept for GetTransform
    D3DVIEWPORT8 viewport = {};
    D3DMATERIAL8 material = {};
    std::vector<LightSlot> lights;
    Texture8* textures[kStages] = {};
    VertexBuffer8* stream = nullptr;
    UINT streamStride = 0;
    IndexBuffer8* indices = nullptr;
    UINT baseVertexIndex = 0;
    DWORD fvf = 0;
    FvfLayout layout;
    uint32_t dirty = kDirtyAll;
    uint32_t dirtySamplerStages = 0xFF;

    // Lights that are enabled, in index order, at most kMaxActiveLights.
    int ActiveLights(const LightSlot* out[kMaxActiveLights]) const;
};

// The defaults of a freshly created device. Depth testing is on only with an
// automatic depth buffer.
void ResetDeviceState(DeviceState& state, bool autoDepth, UINT width, UINT height);

// Which dirty group a render state belongs to (0 for states nothing reads).
uint32_t RenderStateGroup(D3DRENDERSTATETYPE state);
uint32_t StageStateGroup(D3DTEXTURESTAGESTATETYPE type);

}  // namespace d3d8
