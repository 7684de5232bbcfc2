#include "presentparams.h"

#include <algorithm>

namespace d3d8 {

void CompletePresentParams(D3DPRESENT_PARAMETERS& params, UINT windowWidth, UINT windowHeight,
                           D3DFORMAT desktopFormat) {
    if (params.Windowed) {
        if (params.BackBufferWidth == 0) params.BackBufferWidth = std::max(1u, windowWidth);
        if (params.BackBufferHeight == 0) params.BackBufferHeight = std::max(1u, windowHeight);
        if (params.BackBufferFormat == D3DFMT_UNKNOWN) params.BackBufferFormat = desktopFormat;
    }
    if (params.BackBufferCount == 0) params.BackBufferCount = 1;
}

}  // namespace d3d8
