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
    DIRTY_PIPELINE = 1u << 0,   // blending, depth, culling, stencil, fill, colour writes
    DIRTY_SHADER = 1u << 1,     // states that may change the generated program
    DIRTY_CONSTANTS = 1u << 2,  // texture factor, fog values, ambient, alpha reference
    DIRTY_WORLD_VIEW = 1u << 3,
    DIRTY_PROJECTION = 1u << 4,
    DIRTY_TEX_MATRIX = 1u << 5,
    DIRTY_LIGHTS = 1u << 6,
    DIRTY_MATERIAL = 1u << 7,
    DIRTY_VIEWPORT = 1u << 8,
    DIRTY_SAMPLERS = 1u << 9,
    DIRTY_TEXTURES = 1u << 10,
    DIRTY_VERTEX_FORMAT = 1u << 11,
    DIRTY_STREAMS = 1u << 12,
    DIRTY_INDICES = 1u << 13,
    DIRTY_ALL = 0xFFFFFFFFu,
};

constexpr int STAGES = 8;
constexpr int RENDER_STATES = 256;
constexpr int STAGE_STATES = 32;
constexpr int MAX_ACTIVE_LIGHTS = 8;

struct LightSlot {
    D3DLIGHT8 light;
    bool enabled = false;
};

struct DeviceState {
    DWORD rs[RENDER_STATES] = {};
    DWORD tss[STAGES][STAGE_STATES] = {};
    D3DMATRIX world = {};
    D3DMATRIX view = {};
    D3DMATRIX projection = {};
    D3DMATRIX texture[STAGES] = {};
    D3DMATRIX extraWorld[3] = {};  // D3DTS_WORLD1..3, kept for GetTransform
    D3DVIEWPORT8 viewport = {};
    D3DMATERIAL8 material = {};
    std::vector<LightSlot> lights;
    Texture8* textures[STAGES] = {};
    VertexBuffer8* stream = nullptr;
    UINT streamStride = 0;
    IndexBuffer8* indices = nullptr;
    UINT baseVertexIndex = 0;
    DWORD fvf = 0;
    FvfLayout layout;
    uint32_t dirty = DIRTY_ALL;
    uint32_t dirtySamplerStages = 0xFF;

    // Lights that are enabled, in index order, at most MAX_ACTIVE_LIGHTS.
    int ActiveLights(const LightSlot* out[MAX_ACTIVE_LIGHTS]) const;
};

// The defaults of a freshly created device. Depth testing is on only with an
// automatic depth buffer.
void ResetDeviceState(DeviceState& state, bool autoDepth, UINT width, UINT height);

// Which dirty group a render state belongs to (0 for states nothing reads).
uint32_t RenderStateGroup(D3DRENDERSTATETYPE state);
uint32_t StageStateGroup(D3DTEXTURESTAGESTATETYPE type);

}  // namespace d3d8
