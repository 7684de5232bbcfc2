#include "d3d8/drawskip.h"

#include "d3d8/stageops.h"

namespace d3d8 {
namespace {

// Is the diffuse alpha zero at every vertex of the draw?
bool DiffuseAlphaZero(const DeviceState& s, const DrawCall& call) {
    const DWORD* rs = s.rs;
    const FvfLayout& layout = s.layout;
    const bool lit = rs[D3DRS_LIGHTING] && !layout.rhw;
    int offset = -1;
    if (lit) {
        const DWORD source = rs[D3DRS_COLORVERTEX] ? rs[D3DRS_DIFFUSEMATERIALSOURCE] : 0;
        if (source == D3DMCS_COLOR1 && layout.diffuse >= 0)
            offset = layout.diffuse;
        else if (source == D3DMCS_COLOR2 && layout.specular >= 0)
            offset = layout.specular;
        else
            return s.material.Diffuse.a <= 0.0f;
    } else {
        offset = layout.diffuse;
        if (offset < 0) return false;  // white
    }
    const uint8_t* base;
    UINT stride, first;
    const UINT count = call.indexed ? call.numVertices : call.vertexCount;
    if (call.userVertices) {
        base = call.userVertices;
        stride = call.userStride;
        first = call.indexed ? call.minIndex : 0;
    } else {
        base = call.vertexBytes;
        stride = call.vertexStride;
        first = call.indexed ? call.baseVertexIndex + call.minIndex : call.startVertex;
    }
    if (count > 64) return false;  // not worth the look
    for (UINT i = 0; i < count; ++i)
        if (base[size_t(first + i) * stride + size_t(offset) + 3] != 0) return false;
    return true;
}

}  // namespace

bool FadedOutDrawCannotChangeFrame(const DeviceState& s, const DrawCall& call, bool depthBuffer, bool stencilBuffer) {
    // Only blending whose source weight is the source alpha, with nothing
    // written to depth or stencil, can make a draw invisible: then a final
    // alpha of zero everywhere leaves every pixel as it was.
    const DWORD* rs = s.rs;
    if (!rs[D3DRS_ALPHABLENDENABLE] || rs[D3DRS_BLENDOP] != D3DBLENDOP_ADD || rs[D3DRS_SRCBLEND] != D3DBLEND_SRCALPHA ||
        (rs[D3DRS_DESTBLEND] != D3DBLEND_ONE && rs[D3DRS_DESTBLEND] != D3DBLEND_INVSRCALPHA))
        return false;
    if (depthBuffer && rs[D3DRS_ZENABLE] && rs[D3DRS_ZWRITEENABLE]) return false;
    if (stencilBuffer && rs[D3DRS_STENCILENABLE]) return false;

    // Walk the alpha operations: zero, unknown.
    bool diffuseKnown = false, diffuseZero = false;
    auto diffuse = [&] {
        if (!diffuseKnown) {
            diffuseZero = DiffuseAlphaZero(s, call);
            diffuseKnown = true;
        }
        return diffuseZero;
    };
    bool current = false;  // whether the current alpha is known to be zero
    auto argZero = [&](uint8_t arg, int stage) -> bool {
        if (arg & D3DTA_COMPLEMENT) return false;
        switch (arg & D3DTA_SELECTMASK) {
        case D3DTA_DIFFUSE: return diffuse();
        case D3DTA_CURRENT: return stage == 0 ? diffuse() : current;
        case D3DTA_TFACTOR: return (rs[D3DRS_TEXTUREFACTOR] >> 24) == 0;
        default: return false;
        }
    };
    current = argZero(D3DTA_DIFFUSE, 0);
    for (int i = 0; i < STAGES && s.tss[i][D3DTSS_COLOROP] != D3DTOP_DISABLE; ++i) {
        const StageOps st = NormaliseStage(s.tss[i], s.textures[i] != nullptr);
        bool zero;
        switch (st.alphaOp) {
        case D3DTOP_SELECTARG1: zero = argZero(st.alphaArg[1], i); break;
        case D3DTOP_SELECTARG2: zero = argZero(st.alphaArg[2], i); break;
        case D3DTOP_MODULATE:
        case D3DTOP_MODULATE2X:
        case D3DTOP_MODULATE4X: zero = argZero(st.alphaArg[1], i) || argZero(st.alphaArg[2], i); break;
        default: zero = false; break;
        }
        if (s.tss[i][D3DTSS_RESULTARG] != D3DTA_TEMP) current = zero;
    }
    return current;
}

}  // namespace d3d8
