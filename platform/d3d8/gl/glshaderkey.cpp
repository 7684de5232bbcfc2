#include "d3d8/gl/glshaderkey.h"

#include <algorithm>

namespace d3d8 {
namespace {

enum ArgUse : uint8_t { kUse0 = 1, kUse1 = 2, kUse2 = 4 };

uint8_t ArgsOf(DWORD op)
{
    switch (op) {
    case D3DTOP_SELECTARG1: return kUse1;
    case D3DTOP_SELECTARG2: return kUse2;
    case D3DTOP_MULTIPLYADD:
    case D3DTOP_LERP: return kUse0 | kUse1 | kUse2;
    default: return kUse1 | kUse2;
    }
}

bool SupportedOp(DWORD op)
{
    return op >= D3DTOP_SELECTARG1 && op <= D3DTOP_LERP && op != D3DTOP_BUMPENVMAP &&
           op != D3DTOP_BUMPENVMAPLUMINANCE && op != D3DTOP_PREMODULATE;
}

bool ReadsTexture(DWORD op, const DWORD args[3], uint8_t use)
{
    if (op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM)
        return true;
    for (int i = 0; i < 3; ++i)
        if ((use & (1 << i)) && (args[i] & D3DTA_SELECTMASK) == D3DTA_TEXTURE)
            return true;
    return false;
}

// One operation of a stage, normalised. A stage without a texture whose
// operation reads the texture passes the current value through.
void NormaliseOp(DWORD op, const DWORD in[3], bool texture, bool alpha, uint8_t& outOp,
                 uint8_t outArgs[3])
{
    if (!SupportedOp(op)) {
        op = D3DTOP_SELECTARG1;
        in = nullptr;
    }
    DWORD args[3] = {D3DTA_CURRENT, D3DTA_CURRENT, D3DTA_CURRENT};
    if (in)
        for (int i = 0; i < 3; ++i)
            args[i] = in[i];
    uint8_t use = ArgsOf(op);
    if (!texture && ReadsTexture(op, args, use)) {
        op = D3DTOP_SELECTARG1;
        args[1] = D3DTA_CURRENT;
        use = kUse1;
    }
    outOp = uint8_t(op);
    for (int i = 0; i < 3; ++i) {
        DWORD a = (use & (1 << i)) ? args[i] : 0;
        if (alpha)
            a &= ~DWORD(D3DTA_ALPHAREPLICATE);
        if ((a & D3DTA_SELECTMASK) > D3DTA_TEMP)
            a = D3DTA_CURRENT;
        outArgs[i] = uint8_t(a & (D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE));
    }
}

uint8_t MaterialSource(DWORD source, bool colorVertex, bool diffuse, bool specular)
{
    if (!colorVertex)
        return D3DMCS_MATERIAL;
    if (source == D3DMCS_COLOR1 && diffuse)
        return D3DMCS_COLOR1;
    if (source == D3DMCS_COLOR2 && specular)
        return D3DMCS_COLOR2;
    return D3DMCS_MATERIAL;
}

}  // namespace

size_t ShaderKeyHash::operator()(const ShaderKey& key) const
{
    uint32_t words[sizeof(ShaderKey) / 4];
    std::memcpy(words, &key, sizeof words);
    uint64_t h = 1469598103934665603ull;
    for (uint32_t w : words) {
        h ^= w;
        h *= 1099511628211ull;
    }
    return size_t(h);
}

ShaderKey MakeShaderKey(const DeviceState& state, uint32_t boundTextures, bool depthBuffer)
{
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
    for (; n < kStages; ++n) {
        const DWORD* t = state.tss[n];
        if (t[D3DTSS_COLOROP] == D3DTOP_DISABLE)
            break;
        StageKey& s = k.stages[n];
        const bool texture = (boundTextures >> n) & 1;
        const DWORD colorArgs[3] = {t[D3DTSS_COLORARG0], t[D3DTSS_COLORARG1], t[D3DTSS_COLORARG2]};
        const DWORD alphaArgs[3] = {t[D3DTSS_ALPHAARG0], t[D3DTSS_ALPHAARG1], t[D3DTSS_ALPHAARG2]};
        NormaliseOp(t[D3DTSS_COLOROP], colorArgs, texture, false, s.colorOp, s.colorArg);
        // A disabled alpha operation keeps the alpha that came in.
        const DWORD alphaOp = t[D3DTSS_ALPHAOP] == D3DTOP_DISABLE ? DWORD(D3DTOP_SELECTARG1)
                                                                  : t[D3DTSS_ALPHAOP];
        const DWORD passAlpha[3] = {D3DTA_CURRENT, D3DTA_CURRENT, D3DTA_CURRENT};
        NormaliseOp(alphaOp, t[D3DTSS_ALPHAOP] == D3DTOP_DISABLE ? passAlpha : alphaArgs, texture,
                    true, s.alphaOp, s.alphaArg);
        if (s.colorOp == D3DTOP_DOTPRODUCT3) {
            s.alphaOp = 0;  // the dot product goes to alpha as well
            s.alphaArg[0] = s.alphaArg[1] = s.alphaArg[2] = 0;
        }
        s.resultTemp = t[D3DTSS_RESULTARG] == D3DTA_TEMP;
        const DWORD colorIn[3] = {s.colorArg[0], s.colorArg[1], s.colorArg[2]};
        const DWORD alphaIn[3] = {s.alphaArg[0], s.alphaArg[1], s.alphaArg[2]};
        s.sample = texture && (ReadsTexture(s.colorOp, colorIn, ArgsOf(s.colorOp)) ||
                               (s.alphaOp && ReadsTexture(s.alphaOp, alphaIn, ArgsOf(s.alphaOp))));
        if (!s.sample)
            continue;
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
            k.specularSource =
                MaterialSource(rs[D3DRS_SPECULARMATERIALSOURCE], cv, k.hasDiffuse, k.hasSpecular);
            k.localViewer = k.hasNormal && rs[D3DRS_LOCALVIEWER] != 0;
        }
        const LightSlot* lights[kMaxActiveLights];
        k.lightCount = uint8_t(state.ActiveLights(lights));
        for (int i = 0; i < k.lightCount; ++i)
            k.lightTypes[i] = uint8_t(lights[i]->light.Type);
    }
    k.specularAdd = rs[D3DRS_SPECULARENABLE] && (lit || k.hasSpecular);

    if (rs[D3DRS_FOGENABLE]) {
        const D3DMATRIX& p = state.projection;
        if (rs[D3DRS_FOGTABLEMODE] != D3DFOG_NONE && rs[D3DRS_FOGTABLEMODE] <= D3DFOG_LINEAR) {
            k.tableFog = uint8_t(rs[D3DRS_FOGTABLEMODE]);
            k.tableFogW = layout.rhw || !(p._14 == 0 && p._24 == 0 && p._34 == 0 && p._44 == 1);
        } else if (rs[D3DRS_FOGVERTEXMODE] != D3DFOG_NONE &&
                   rs[D3DRS_FOGVERTEXMODE] <= D3DFOG_LINEAR && !layout.rhw) {
            k.vertexFog = uint8_t(rs[D3DRS_FOGVERTEXMODE]);
            k.rangeFog = rs[D3DRS_RANGEFOGENABLE] != 0;
        } else {
            k.vertexFog = 4;  // the fog factor is the specular alpha
        }
    }
    k.flatDepth = layout.rhw && !(rs[D3DRS_ZENABLE] && depthBuffer);
    if (rs[D3DRS_ALPHATESTENABLE] && rs[D3DRS_ALPHAFUNC] != D3DCMP_ALWAYS &&
        rs[D3DRS_ALPHAFUNC] >= D3DCMP_NEVER && rs[D3DRS_ALPHAFUNC] <= D3DCMP_ALWAYS)
        k.alphaFunc = uint8_t(rs[D3DRS_ALPHAFUNC]);
    return k;
}

}  // namespace d3d8
