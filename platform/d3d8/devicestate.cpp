#include "devicestate.h"

#include <cstring>

namespace d3d8 {
namespace {

D3DMATRIX Identity() {
    D3DMATRIX m = {};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

DWORD FloatBits(float f) {
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

}  // namespace

int DeviceState::ActiveLights(const LightSlot* out[MAX_ACTIVE_LIGHTS]) const {
    int n = 0;
    for (const LightSlot& slot : lights)
        if (slot.enabled && n < MAX_ACTIVE_LIGHTS) out[n++] = &slot;
    return n;
}

void ResetDeviceState(DeviceState& s, bool autoDepth, UINT width, UINT height) {
    std::memset(s.rs, 0, sizeof(s.rs));
    s.rs[D3DRS_ZENABLE] = autoDepth ? D3DZB_TRUE : D3DZB_FALSE;
    s.rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    s.rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    s.rs[D3DRS_ZWRITEENABLE] = TRUE;
    s.rs[D3DRS_LASTPIXEL] = TRUE;
    s.rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    s.rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    s.rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    s.rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    s.rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    s.rs[D3DRS_FOGSTART] = FloatBits(0.0f);
    s.rs[D3DRS_FOGEND] = FloatBits(1.0f);
    s.rs[D3DRS_FOGDENSITY] = FloatBits(1.0f);
    s.rs[D3DRS_STENCILFAIL] = D3DSTENCILOP_KEEP;
    s.rs[D3DRS_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    s.rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    s.rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    s.rs[D3DRS_STENCILMASK] = 0xFFFFFFFF;
    s.rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
    s.rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    s.rs[D3DRS_CLIPPING] = TRUE;
    s.rs[D3DRS_LIGHTING] = TRUE;
    s.rs[D3DRS_COLORVERTEX] = TRUE;
    s.rs[D3DRS_LOCALVIEWER] = TRUE;
    s.rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    s.rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    s.rs[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
    s.rs[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
    s.rs[D3DRS_POINTSIZE] = FloatBits(1.0f);
    s.rs[D3DRS_POINTSIZE_MIN] = FloatBits(0.0f);
    s.rs[D3DRS_POINTSCALE_A] = FloatBits(1.0f);
    s.rs[D3DRS_POINTSIZE_MAX] = FloatBits(64.0f);
    s.rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    s.rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
    s.rs[D3DRS_PATCHSEGMENTS] = FloatBits(1.0f);
    s.rs[D3DRS_COLORWRITEENABLE] = 0xF;
    s.rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    s.rs[D3DRS_POSITIONORDER] = 3;  // cubic
    s.rs[D3DRS_NORMALORDER] = 1;    // linear

    std::memset(s.tss, 0, sizeof(s.tss));
    for (int i = 0; i < STAGES; ++i) {
        DWORD* t = s.tss[i];
        t[D3DTSS_COLOROP] = i == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        t[D3DTSS_ALPHAOP] = i == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        t[D3DTSS_TEXCOORDINDEX] = DWORD(i);
        t[D3DTSS_ADDRESSU] = D3DTADDRESS_WRAP;
        t[D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
        t[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
        t[D3DTSS_MAGFILTER] = D3DTEXF_POINT;
        t[D3DTSS_MINFILTER] = D3DTEXF_POINT;
        t[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
        t[D3DTSS_MAXANISOTROPY] = 1;
        t[D3DTSS_COLORARG0] = D3DTA_CURRENT;
        t[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        t[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }

    s.world = s.view = s.projection = Identity();
    for (D3DMATRIX& m : s.texture) m = Identity();
    for (D3DMATRIX& m : s.extraWorld) m = Identity();
    s.viewport = {0, 0, width, height, 0.0f, 1.0f};
    s.material = {};
    s.lights.clear();
    for (Texture8*& t : s.textures) t = nullptr;
    s.stream = nullptr;
    s.streamStride = 0;
    s.indices = nullptr;
    s.baseVertexIndex = 0;
    s.fvf = 0;
    s.layout = FvfLayout();
    s.dirty = DIRTY_ALL;
    s.dirtySamplerStages = 0xFF;
}

uint32_t RenderStateGroup(D3DRENDERSTATETYPE state) {
    switch (state) {
    case D3DRS_ZENABLE:  // also decides whether pre-transformed depth is kept
        return DIRTY_PIPELINE | DIRTY_SHADER;
    case D3DRS_FILLMODE:
    case D3DRS_ZWRITEENABLE:
    case D3DRS_SRCBLEND:
    case D3DRS_DESTBLEND:
    case D3DRS_CULLMODE:
    case D3DRS_ZFUNC:
    case D3DRS_ALPHABLENDENABLE:
    case D3DRS_STENCILENABLE:
    case D3DRS_STENCILFAIL:
    case D3DRS_STENCILZFAIL:
    case D3DRS_STENCILPASS:
    case D3DRS_STENCILFUNC:
    case D3DRS_STENCILREF:
    case D3DRS_STENCILMASK:
    case D3DRS_STENCILWRITEMASK:
    case D3DRS_COLORWRITEENABLE:
    case D3DRS_BLENDOP:
    case D3DRS_ZBIAS: return DIRTY_PIPELINE;
    case D3DRS_SHADEMODE:
    case D3DRS_ALPHATESTENABLE:
    case D3DRS_ALPHAFUNC:
    case D3DRS_FOGENABLE:
    case D3DRS_SPECULARENABLE:
    case D3DRS_FOGTABLEMODE:
    case D3DRS_RANGEFOGENABLE:
    case D3DRS_LIGHTING:
    case D3DRS_FOGVERTEXMODE:
    case D3DRS_COLORVERTEX:
    case D3DRS_LOCALVIEWER:
    case D3DRS_NORMALIZENORMALS:
    case D3DRS_DIFFUSEMATERIALSOURCE:
    case D3DRS_SPECULARMATERIALSOURCE:
    case D3DRS_AMBIENTMATERIALSOURCE:
    case D3DRS_EMISSIVEMATERIALSOURCE:
    case D3DRS_VERTEXBLEND: return DIRTY_SHADER;
    case D3DRS_ALPHAREF:
    case D3DRS_FOGCOLOR:
    case D3DRS_FOGSTART:
    case D3DRS_FOGEND:
    case D3DRS_FOGDENSITY:
    case D3DRS_TEXTUREFACTOR:
    case D3DRS_AMBIENT: return DIRTY_CONSTANTS;
    default: return 0;
    }
}

uint32_t StageStateGroup(D3DTEXTURESTAGESTATETYPE type) {
    switch (type) {
    case D3DTSS_COLOROP:
    case D3DTSS_COLORARG1:
    case D3DTSS_COLORARG2:
    case D3DTSS_ALPHAOP:
    case D3DTSS_ALPHAARG1:
    case D3DTSS_ALPHAARG2:
    case D3DTSS_TEXCOORDINDEX:
    case D3DTSS_TEXTURETRANSFORMFLAGS:
    case D3DTSS_COLORARG0:
    case D3DTSS_ALPHAARG0:
    case D3DTSS_RESULTARG: return DIRTY_SHADER;
    case D3DTSS_ADDRESSU:
    case D3DTSS_ADDRESSV:
    case D3DTSS_ADDRESSW:
    case D3DTSS_BORDERCOLOR:
    case D3DTSS_MAGFILTER:
    case D3DTSS_MINFILTER:
    case D3DTSS_MIPFILTER:
    case D3DTSS_MIPMAPLODBIAS:
    case D3DTSS_MAXMIPLEVEL:
    case D3DTSS_MAXANISOTROPY: return DIRTY_SAMPLERS;
    default: return 0;
    }
}

}  // namespace d3d8
