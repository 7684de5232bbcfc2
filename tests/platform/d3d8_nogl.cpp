// Without a usable OpenGL (SDL's dummy video driver makes no contexts)
// Direct3DCreate8 gives null, as the real runtime does without Direct3D 8;
// the trace back end, asked for, still works.
#include <d3d8.h>
#include <d3d8ext.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(D3D8WithoutOpenGL, CreateGivesNullButTraceStillWorks) {
    // Before anything in this process has looked for OpenGL.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    EXPECT_EQ(Direct3DCreate8(D3D_SDK_VERSION), nullptr);
    EXPECT_EQ(Direct3DCreate8(D3D_SDK_VERSION), nullptr);
    EXPECT_EQ(Direct3DCreate8(31), nullptr);  // not a Direct3D 8 version

    setenv("HALCYON2_D3D8", "trace", 1);
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(d3d->GetAdapterCount(), 1u);
    d3d->Release();
    unsetenv("HALCYON2_D3D8");
}

}  // namespace
