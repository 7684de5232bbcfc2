#pragma once
// How a texture stage's operations behave, as Direct3D defines them: which
// arguments an operation reads, and each operation reduced to what it
// actually does (unsupported ones select their first argument, ones that
// read a missing texture pass the current value through). The generated
// programs and the front end's draw analysis both read stages this way.
#include <d3d8.h>

#include <cstdint>

namespace d3d8 {

enum StageArgUse : uint8_t { kUseArg0 = 1, kUseArg1 = 2, kUseArg2 = 4 };

uint8_t StageOpArgs(DWORD op);
bool StageOpReadsTexture(DWORD op, const DWORD args[3], uint8_t use);
// One operation, normalised: unread arguments are zero, alpha arguments
// lose D3DTA_ALPHAREPLICATE, unknown sources read the current value.
void NormaliseStageOp(DWORD op, const DWORD in[3], bool texture, bool alpha, uint8_t& outOp, uint8_t outArgs[3]);
// A stage's normalised colour and alpha operations. The alpha operation is
// 0 when the colour operation writes alpha too (a dot product).
struct StageOps {
    uint8_t colorOp;
    uint8_t colorArg[3];
    uint8_t alphaOp;
    uint8_t alphaArg[3];
};
StageOps NormaliseStage(const DWORD tss[], bool texture);

}  // namespace d3d8
