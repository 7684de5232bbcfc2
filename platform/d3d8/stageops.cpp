#include "d3d8/stageops.h"

namespace d3d8 {
namespace {

bool SupportedOp(DWORD op) {
    return op >= D3DTOP_SELECTARG1 && op <= D3DTOP_LERP && op != D3DTOP_BUMPENVMAP &&
           op != D3DTOP_BUMPENVMAPLUMINANCE && op != D3DTOP_PREMODULATE;
}

}  // namespace

uint8_t StageOpArgs(DWORD op) {
    switch (op) {
    case D3DTOP_SELECTARG1: return kUseArg1;
    case D3DTOP_SELECTARG2: return kUseArg2;
    case D3DTOP_MULTIPLYADD:
    case D3DTOP_LERP: return kUseArg0 | kUseArg1 | kUseArg2;
    default: return kUseArg1 | kUseArg2;
    }
}

bool StageOpReadsTexture(DWORD op, const DWORD args[3], uint8_t use) {
    if (op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM) return true;
    for (int i = 0; i < 3; ++i)
        if ((use & (1 << i)) && (args[i] & D3DTA_SELECTMASK) == D3DTA_TEXTURE) return true;
    return false;
}

void NormaliseStageOp(DWORD op, const DWORD in[3], bool texture, bool alpha, uint8_t& outOp, uint8_t outArgs[3]) {
    if (!SupportedOp(op)) {
        op = D3DTOP_SELECTARG1;
        in = nullptr;
    }
    DWORD args[3] = {D3DTA_CURRENT, D3DTA_CURRENT, D3DTA_CURRENT};
    if (in)
        for (int i = 0; i < 3; ++i) args[i] = in[i];
    uint8_t use = StageOpArgs(op);
    if (!texture && StageOpReadsTexture(op, args, use)) {
        op = D3DTOP_SELECTARG1;
        args[1] = D3DTA_CURRENT;
        use = kUseArg1;
    }
    outOp = uint8_t(op);
    for (int i = 0; i < 3; ++i) {
        DWORD a = (use & (1 << i)) ? args[i] : 0;
        if (alpha) a &= ~DWORD(D3DTA_ALPHAREPLICATE);
        if ((a & D3DTA_SELECTMASK) > D3DTA_TEMP) a = D3DTA_CURRENT;
        outArgs[i] = uint8_t(a & (D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE));
    }
}

StageOps NormaliseStage(const DWORD t[], bool texture) {
    StageOps s = {};
    const DWORD colorArgs[3] = {t[D3DTSS_COLORARG0], t[D3DTSS_COLORARG1], t[D3DTSS_COLORARG2]};
    const DWORD alphaArgs[3] = {t[D3DTSS_ALPHAARG0], t[D3DTSS_ALPHAARG1], t[D3DTSS_ALPHAARG2]};
    NormaliseStageOp(t[D3DTSS_COLOROP], colorArgs, texture, false, s.colorOp, s.colorArg);
    // A disabled alpha operation keeps the alpha that came in.
    const DWORD alphaOp = t[D3DTSS_ALPHAOP] == D3DTOP_DISABLE ? DWORD(D3DTOP_SELECTARG1) : t[D3DTSS_ALPHAOP];
    const DWORD passAlpha[3] = {D3DTA_CURRENT, D3DTA_CURRENT, D3DTA_CURRENT};
    NormaliseStageOp(alphaOp, t[D3DTSS_ALPHAOP] == D3DTOP_DISABLE ? passAlpha : alphaArgs, texture, true, s.alphaOp,
                     s.alphaArg);
    if (s.colorOp == D3DTOP_DOTPRODUCT3) {
        s.alphaOp = 0;  // the dot product goes to alpha as well
        s.alphaArg[0] = s.alphaArg[1] = s.alphaArg[2] = 0;
    }
    return s;
}

}  // namespace d3d8
