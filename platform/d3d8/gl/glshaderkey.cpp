#include "d3d8/gl/glshaderkey.h"

#include <algorithm>

#include "d3d8/stageops.h"

namespace d3d8 {
namespace {

uint8_t MaterialSource(DWORD source, bool colorVertex, bool diffuse, bool specular) {
    if (!colorVertex) return D3DMCS_MATERIAL;
    if (source == D3DMCS_COLOR1 && diffuse) return D3DMCS_COLOR1;
    if (source == D3DMCS_COLOR2 && specular) return D3DMCS_COLOR2;
    return D3DMCS_MATERIAL;
}

}  // namespace

size_t ShaderKeyHash::operator()(const ShaderKey& key) const {
    uint32_t words[sizeof(ShaderKey) / 4];
    std::memcpy(words, &key, sizeof words);
    uint64_t h = 1469598103934665603ull;
    for (uint32_t w : words) {
        h ^= w;
        h *= 1099511628211ull;
    }
    return size_t(h);
}

ShaderKey MakeShaderKey(const DeviceState& state, uint32_t boundTextures, bool depthBuffer) {
    ShaderKey k;
    std::memset(&k, 0, sizeof k);
    const DWORD* rs = state.rs;
    const FvfLayout& layout = state.layout;
    k.rhw = layout.rhw;
    k.hasDiffuse = layout.diffuse >= 0;
    k.hasSpecular = layout.specular >= 0;
    const bool normal = layout.normal >= 0 && !layout.rhw;

    // Texture stages first: coordinate generation may need the normal.
    bool generatesFromNormal = false;
    int n = 0;
    for (; n < STAGES; ++n) {
        const DWORD* t = state.tss[n];
        if (t[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
        StageKey& s = k.stages[n];
        const bool texture = (boundTextures >> n) & 1;
        const StageOps ops = NormaliseStage(t, texture);
        s.colorOp = ops.colorOp;
        s.alphaOp = ops.alphaOp;
        std::memcpy(s.colorArg, ops.colorArg, 3);
        std::memcpy(s.alphaArg, ops.alphaArg, 3);
        s.resultTemp = t[D3DTSS_RESULTARG] == D3DTA_TEMP;
        const DWORD colorIn[3] = {s.colorArg[0], s.colorArg[1], s.colorArg[2]};
        const DWORD alphaIn[3] = {s.alphaArg[0], s.alphaArg[1], s.alphaArg[2]};
        s.sample = texture && (StageOpReadsTexture(s.colorOp, colorIn, StageOpArgs(s.colorOp)) ||
                               (s.alphaOp && StageOpReadsTexture(s.alphaOp, alphaIn, StageOpArgs(s.alphaOp))));
        if (!s.sample) continue;
        const DWORD index = t[D3DTSS_TEXCOORDINDEX];
        s.coordGen = uint8_t(layout.rhw ? 0 : std::min<DWORD>(index >> 16, 3));
        if (s.coordGen == 0) {
            s.coordSource = uint8_t(index & 7);
            s.coordSize = uint8_t(s.coordSource < layout.texCount ? layout.texSize[s.coordSource] : 0);
        } else if (s.coordGen != 2) {
            generatesFromNormal = true;
        }
        const DWORD flags = t[D3DTSS_TEXTURETRANSFORMFLAGS];
        if (!layout.rhw && (flags & 0xFF) >= D3DTTFF_COUNT1 && (flags & 0xFF) <= D3DTTFF_COUNT4) {
            s.coordCount = uint8_t(flags & 0xFF);
            s.projected = (flags & D3DTTFF_PROJECTED) != 0 && s.coordCount > 1;
        }
    }
    k.stageCount = uint8_t(n);

    const bool lit = rs[D3DRS_LIGHTING] && !layout.rhw;
    k.hasNormal = normal && (lit || generatesFromNormal);
    k.normalize = k.hasNormal && rs[D3DRS_NORMALIZENORMALS] != 0;
    if (lit) {
        k.lighting = 1;
        const bool cv = rs[D3DRS_COLORVERTEX] != 0;
        k.diffuseSource = MaterialSource(rs[D3DRS_DIFFUSEMATERIALSOURCE], cv, k.hasDiffuse, k.hasSpecular);
        k.ambientSource = MaterialSource(rs[D3DRS_AMBIENTMATERIALSOURCE], cv, k.hasDiffuse, k.hasSpecular);
        k.emissiveSource = MaterialSource(rs[D3DRS_EMISSIVEMATERIALSOURCE], cv, k.hasDiffuse, k.hasSpecular);
        if (rs[D3DRS_SPECULARENABLE]) {
            k.specularSource = MaterialSource(rs[D3DRS_SPECULARMATERIALSOURCE], cv, k.hasDiffuse, k.hasSpecular);
            k.localViewer = k.hasNormal && rs[D3DRS_LOCALVIEWER] != 0;
        }
        const LightSlot* lights[MAX_ACTIVE_LIGHTS];
        k.lightCount = uint8_t(state.ActiveLights(lights));
        for (int i = 0; i < k.lightCount; ++i) k.lightTypes[i] = uint8_t(lights[i]->light.Type);
    }
    k.specularAdd = rs[D3DRS_SPECULARENABLE] && (lit || k.hasSpecular);

    if (rs[D3DRS_FOGENABLE]) {
        const D3DMATRIX& p = state.projection;
        if (rs[D3DRS_FOGTABLEMODE] != D3DFOG_NONE && rs[D3DRS_FOGTABLEMODE] <= D3DFOG_LINEAR) {
            k.tableFog = uint8_t(rs[D3DRS_FOGTABLEMODE]);
            k.tableFogW = layout.rhw || !(p._14 == 0 && p._24 == 0 && p._34 == 0 && p._44 == 1);
        } else if (rs[D3DRS_FOGVERTEXMODE] != D3DFOG_NONE && rs[D3DRS_FOGVERTEXMODE] <= D3DFOG_LINEAR && !layout.rhw) {
            k.vertexFog = uint8_t(rs[D3DRS_FOGVERTEXMODE]);
            k.rangeFog = rs[D3DRS_RANGEFOGENABLE] != 0;
        } else {
            k.vertexFog = 4;  // the fog factor is the specular alpha
        }
    }
    k.flatDepth = layout.rhw && !(rs[D3DRS_ZENABLE] && depthBuffer);
    if (rs[D3DRS_ALPHATESTENABLE] && rs[D3DRS_ALPHAFUNC] != D3DCMP_ALWAYS && rs[D3DRS_ALPHAFUNC] >= D3DCMP_NEVER &&
        rs[D3DRS_ALPHAFUNC] <= D3DCMP_ALWAYS)
        k.alphaFunc = uint8_t(rs[D3DRS_ALPHAFUNC]);
    return k;
}

}  // namespace d3d8
