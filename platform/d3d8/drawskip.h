#pragma once
// Whether a draw cannot change a single pixel of the frame, so no back end
// need draw it: a faded-out overlay blended by its own alpha, which is zero
// throughout, and which writes neither depth nor stencil.
#include "d3d8/backend.h"

namespace d3d8 {

// call is resolved (the vertex buffer's bytes are there for buffer draws);
// depthBuffer and stencilBuffer say whether the device has each.
bool FadedOutDrawCannotChangeFrame(const DeviceState& state, const DrawCall& call, bool depthBuffer,
                                   bool stencilBuffer);
// Most draws do not blend: they are answered without a call.
inline bool CannotChangeFrame(const DeviceState& state, const DrawCall& call, bool depthBuffer, bool stencilBuffer) {
    return state.rs[D3DRS_ALPHABLENDENABLE] && FadedOutDrawCannotChangeFrame(state, call, depthBuffer, stencilBuffer);
}

}  // namespace d3d8
