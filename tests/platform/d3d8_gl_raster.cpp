// The GL back end against Direct3D 8's rasterisation: pre-transformed
// vertices covering exact pixels, clip space, culling winding, depth order,
// blending, clears, viewports, and the batching and skipping of draws.
#include "d3d8_fixture.h"

namespace {

using namespace d3d8test;

class RasterTest : public GLDeviceTest {};

TEST_F(RasterTest, PreTransformedQuadCoversExactPixels) {
    Open(16, 12);
    Plain();
    Clear(0x000000);
    device->SetVertexShader(TL_FVF);
    TLVertex q[4];
    // Pixel centres are at integer coordinates: (2,3)-(6,8) covers columns
    // 2..5 and rows 3..7.
    TLQuad(q, 2, 3, 6, 8, 0xFFFF8040);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, q, sizeof(TLVertex)), D3D_OK);
    device->EndScene();
    Read();
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool inside = x >= 2 && x < 6 && y >= 3 && y < 8;
            EXPECT_EQ(At(x, y), inside ? 0xFF8040u : 0u) << x << "," << y;
        }
}

TEST_F(RasterTest, HalfPixelShiftedQuadStillCoversItsPixels) {
    // Texel-aligned drawing puts edges on pixel boundaries (x - 0.5).
    Open(8, 8);
    Plain();
    Clear(0);
    device->SetVertexShader(TL_FVF);
    TLVertex q[4];
    TLQuad(q, 1.5f, 1.5f, 5.5f, 3.5f, 0xFFFFFFFF);
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, q, sizeof(TLVertex));
    Read();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x <= 5 && y >= 2 && y <= 3;
            EXPECT_EQ(At(x, y), inside ? 0xFFFFFFu : 0u) << x << "," << y;
        }
}

struct Vertex {
    float x, y, z;
    DWORD color;
};

// Culling follows the winding on screen (y down): with the default
// D3DCULL_CCW, counter-clockwise triangles disappear.
TEST_F(RasterTest, CullModesFollowScreenWinding) {
    Open(32, 32);
    Plain();
    device->SetVertexShader(TL_FVF);
    TLVertex clockwise[3] = {
        {4, 4, 0.5f, 1, 0xFF00FF00, 0, 0}, {28, 4, 0.5f, 1, 0xFF00FF00, 0, 0}, {4, 28, 0.5f, 1, 0xFF00FF00, 0, 0}};
    TLVertex counter[3] = {clockwise[0], clockwise[2], clockwise[1]};
    struct Case {
        DWORD cull;
        bool cwVisible, ccwVisible;
    } cases[] = {{D3DCULL_CCW, true, false}, {D3DCULL_CW, false, true}, {D3DCULL_NONE, true, true}};
    for (const Case& c : cases) {
        device->SetRenderState(D3DRS_CULLMODE, c.cull);
        Clear(0);
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, clockwise, sizeof(TLVertex));
        Read();
        EXPECT_EQ(At(8, 8) != 0, c.cwVisible) << "cull " << c.cull;
        Clear(0);
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, counter, sizeof(TLVertex));
        Read();
        EXPECT_EQ(At(8, 8) != 0, c.ccwVisible) << "cull " << c.cull;
    }
    // The same with transformed vertices: y up in clip space is y down on
    // screen, so (−1,1) (1,1) (−1,−1) is clockwise on screen.
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    Vertex tri[3] = {{-1, 1, 0.5f, 0xFFFF0000}, {1, 1, 0.5f, 0xFFFF0000}, {-1, -1, 0.5f, 0xFFFF0000}};
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    Clear(0);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(Vertex));
    Read();
    EXPECT_EQ(At(4, 4), 0xFF0000u);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    Clear(0);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(Vertex));
    Read();
    EXPECT_EQ(At(4, 4), 0u);
}

TEST_F(RasterTest, ClipSpaceDepthRunsFromZeroToW) {
    Open(16, 16);
    Plain();
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    // Identity transforms: z = -0.1 is in front of the near plane and
    // clipped; z = 0.05 and 0.95 are inside; z = 1.05 is behind the far plane.
    const float depths[] = {-0.1f, 0.05f, 0.95f, 1.05f};
    const bool visible[] = {false, true, true, false};
    for (int i = 0; i < 4; ++i) {
        Clear(0);
        Vertex quad[4] = {{-1, 1, depths[i], 0xFFFFFFFF},
                          {1, 1, depths[i], 0xFFFFFFFF},
                          {1, -1, depths[i], 0xFFFFFFFF},
                          {-1, -1, depths[i], 0xFFFFFFFF}};
        device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(Vertex));
        Read();
        EXPECT_EQ(At(8, 8) != 0, visible[i]) << "z " << depths[i];
    }
}

TEST_F(RasterTest, DepthTestKeepsTheNearerSurface) {
    Open(16, 16);
    Plain();
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetVertexShader(TL_FVF);
    Clear(0);
    TLVertex nearQuad[4], farQuad[4];
    TLQuad(nearQuad, 0, 0, 16, 16, 0xFF0000FF, 0, 0, 1, 1, 0.3f);
    TLQuad(farQuad, 4, 4, 12, 12, 0xFFFF0000, 0, 0, 1, 1, 0.6f);
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, nearQuad, sizeof(TLVertex));
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, farQuad, sizeof(TLVertex));
    Read();
    EXPECT_EQ(At(8, 8), 0x0000FFu);
    // Without z writes the far quad is still tested against the cleared 1.0.
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    Clear(0);
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, nearQuad, sizeof(TLVertex));
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, farQuad, sizeof(TLVertex));
    Read();
    EXPECT_EQ(At(8, 8), 0xFF0000u);
    // Nothing wrote depth since: a depth clear to 1.0 again may be skipped,
    // one to 0.5 may not, and a partial one is seen by the next whole one.
    Clear(0);
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, farQuad, sizeof(TLVertex));
    Read();
    EXPECT_EQ(At(8, 8), 0xFF0000u);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 0.5f, 0);
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, farQuad, sizeof(TLVertex));
    Read();
    EXPECT_EQ(At(8, 8), 0u);
    Clear(0);
    const D3DRECT corner = {0, 0, 8, 8};
    device->Clear(1, &corner, D3DCLEAR_ZBUFFER, 0, 0.0f, 0);
    Clear(0);
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, farQuad, sizeof(TLVertex));
    Read();
    EXPECT_EQ(At(4, 4), 0xFF0000u);
}

TEST_F(RasterTest, BlendFactorsFollowTheFormula) {
    Open(16, 16);
    Plain();
    device->SetVertexShader(TL_FVF);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    struct Case {
        DWORD src, dst;
        int expectRed;  // background red 200, source red 100, source alpha 64/255
    } cases[] = {
        {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, int(100 * 64 / 255.0 + 200 * (191 / 255.0) + 0.5)},
        {D3DBLEND_SRCALPHA, D3DBLEND_ONE, 225},
        {D3DBLEND_ONE, D3DBLEND_ONE, 255},
        {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, int(200 * 100 / 255.0 + 0.5)},
    };
    for (const Case& c : cases) {
        device->SetRenderState(D3DRS_SRCBLEND, c.src);
        device->SetRenderState(D3DRS_DESTBLEND, c.dst);
        Clear(0x00C80000);
        TLVertex q[4];
        TLQuad(q, 0, 0, 16, 16, D3DCOLOR_ARGB(64, 100, 0, 0));
        device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, q, sizeof(TLVertex));
        Read();
        EXPECT_NEAR(RgbAt(5, 5).r, c.expectRed, 1) << c.src << " " << c.dst;
    }
}

TEST_F(RasterTest, ClearRespectsRectanglesAndViewport) {
    Open(16, 16);
    Clear(0x112233);
    D3DRECT rect = {2, 3, 6, 5};
    device->Clear(1, &rect, D3DCLEAR_TARGET, 0x00FF0000, 1.0f, 0);
    Read();
    EXPECT_EQ(At(2, 3), 0xFF0000u);
    EXPECT_EQ(At(5, 4), 0xFF0000u);
    EXPECT_EQ(At(6, 4), 0x112233u);
    EXPECT_EQ(At(2, 5), 0x112233u);
    D3DVIEWPORT8 vp = {8, 8, 4, 4, 0, 1};
    ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x0000FF00, 1.0f, 0);
    Read();
    EXPECT_EQ(At(8, 8), 0x00FF00u);
    EXPECT_EQ(At(11, 11), 0x00FF00u);
    EXPECT_EQ(At(12, 12), 0x112233u);
    EXPECT_EQ(At(7, 8), 0x112233u);
    D3DVIEWPORT8 outside = {8, 8, 9, 4, 0, 1};
    EXPECT_EQ(device->SetViewport(&outside), D3DERR_INVALIDCALL);
}

TEST_F(RasterTest, ViewportMapsClipSpace) {
    Open(20, 20);
    Plain();
    Clear(0);  // the whole target: a clear covers only the viewport
    D3DVIEWPORT8 vp = {4, 6, 8, 10, 0, 1};
    device->SetViewport(&vp);
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    Vertex quad[4] = {
        {-1, 1, 0.5f, 0xFFFFFFFF}, {1, 1, 0.5f, 0xFFFFFFFF}, {1, -1, 0.5f, 0xFFFFFFFF}, {-1, -1, 0.5f, 0xFFFFFFFF}};
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(Vertex));
    Read();
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool inside = x >= 4 && x < 12 && y >= 6 && y < 16;
            EXPECT_EQ(At(x, y) != 0, inside) << x << "," << y;
        }
}

// Also what a profile counts of them: triangles, bytes sent, and with
// profiling on the fragments shaded, which arrive a frame or two later.
TEST_F(RasterTest, ConsecutiveUserDrawsBecomeOneGLDraw) {
    Open(64, 64);
    Plain();
    device->SetVertexShader(TL_FVF);
    ASSERT_EQ(D3D8_SetProfiling(device, TRUE), D3D_OK);
    Clear(0);
    D3D8Stats before = {};
    D3D8_GetStats(device, &before);
    auto drawFrame = [&] {
        // 64 one-pixel-wide strips and fans alternating colours, then a strip.
        for (int i = 0; i < 32; ++i) {
            TLVertex q[4];
            TLQuad(q, float(i * 2), 0, float(i * 2 + 1), 32, i % 2 ? 0xFF00FF00 : 0xFFFF0000);
            device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, q, sizeof(TLVertex));
        }
        TLVertex strip[4] = {{0, 40, 0.5f, 1, 0xFF0000FF, 0, 0},
                             {64, 40, 0.5f, 1, 0xFF0000FF, 0, 0},
                             {0, 48, 0.5f, 1, 0xFF0000FF, 0, 0},
                             {64, 48, 0.5f, 1, 0xFF0000FF, 0, 0}};
        device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, strip, sizeof(TLVertex));
        WORD list[6] = {0, 1, 2, 2, 1, 3};
        TLVertex indexed[4] = {{0, 52, 0.5f, 1, 0xFFFFFF00, 0, 0},
                               {64, 52, 0.5f, 1, 0xFFFFFF00, 0, 0},
                               {0, 56, 0.5f, 1, 0xFFFFFF00, 0, 0},
                               {64, 56, 0.5f, 1, 0xFFFFFF00, 0, 0}};
        device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, list, D3DFMT_INDEX16, indexed, sizeof(TLVertex));
    };
    drawFrame();
    Read();
    D3D8Stats after = {};
    D3D8_GetStats(device, &after);
    EXPECT_EQ(after.draws - before.draws, 34u);
    EXPECT_EQ(after.glDraws - before.glDraws, 1u);
    EXPECT_EQ(after.triangles - before.triangles, 68u);
    EXPECT_GE(after.bytesUploaded - before.bytesUploaded, 34u * 4 * sizeof(TLVertex));
    // 32 strips of 1x32 pixels, 64x8 and 64x4.
    for (int i = 0; i < 4 && after.fragmentFrames < 1; ++i) {
        device->Present(nullptr, nullptr, nullptr, nullptr);
        D3D8_GetStats(device, &after);
    }
    EXPECT_GE(after.fragmentFrames, 1u);
    EXPECT_EQ(after.fragments, 32u * 32 + 64 * 8 + 64 * 4);
    // Shaded in blocks, one-pixel strips shade more than they cover.
    if (after.shadedCounted) {
        EXPECT_GT(after.shadedFragments, after.fragments);
    }
    // Later frames reuse the spent queries, each for its own target, and
    // count the same again.
    const D3D8Stats first = after;
    for (int frame = 0; frame < 3; ++frame) {
        Clear(0);
        drawFrame();
        device->Present(nullptr, nullptr, nullptr, nullptr);
    }
    for (int i = 0; i < 8 && after.fragmentFrames < first.fragmentFrames + 3; ++i) {
        device->Present(nullptr, nullptr, nullptr, nullptr);
        D3D8_GetStats(device, &after);
    }
    EXPECT_EQ(after.fragments, 4 * first.fragments);
    EXPECT_EQ(after.shadedFragments, 4 * first.shadedFragments);
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(At(i * 2, 10), i % 2 ? 0x00FF00u : 0xFF0000u) << i;
        EXPECT_EQ(At(i * 2 + 1, 10), 0u) << i;
    }
    EXPECT_EQ(At(30, 44), 0x0000FFu);
    EXPECT_EQ(At(30, 54), 0xFFFF00u);
    EXPECT_EQ(At(30, 50), 0u);
}

TEST_F(RasterTest, DrawsThatCannotChangeTheFrameAreSkipped) {
    Open(16, 16);
    Plain();
    device->SetVertexShader(TL_FVF);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    Clear(0x404040);
    D3D8Stats before = {};
    D3D8_GetStats(device, &before);
    TLVertex q[4];
    TLQuad(q, 0, 0, 16, 16, 0x00FFFFFF);  // alpha 0: an overlay faded out
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, q, sizeof(TLVertex));
    TLQuad(q, 0, 0, 8, 16, 0x80FF0000);  // visible
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, q, sizeof(TLVertex));
    D3D8Stats after = {};
    D3D8_GetStats(device, &after);
    EXPECT_EQ(after.skippedDraws - before.skippedDraws, 1u);
    Read();
    EXPECT_EQ(At(12, 5), 0x404040u);
    EXPECT_NEAR(RgbAt(4, 5).r, int(255 * 128 / 255.0 + 64 * 127 / 255.0 + 0.5), 1);
    // With the texture factor's alpha at zero and a modulating stage the
    // draw is skipped too, whatever the vertices say.
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0x00FFFFFF);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
    TLQuad(q, 0, 0, 16, 16, 0xFFFFFFFF);
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, q, sizeof(TLVertex));
    D3D8_GetStats(device, &after);
    EXPECT_EQ(after.skippedDraws - before.skippedDraws, 2u);
}

TEST_F(RasterTest, BufferDrawsListsStripsAndFans) {
    Open(32, 32);
    Plain();
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(8 * sizeof(TLVertex), D3DUSAGE_WRITEONLY, TL_FVF, D3DPOOL_DEFAULT, &vb),
              D3D_OK);
    ASSERT_EQ(device->CreateIndexBuffer(6 * 2, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib), D3D_OK);
    BYTE* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);
    TLVertex* v = reinterpret_cast<TLVertex*>(data);
    TLQuad(v, 0, 0, 16, 16, 0xFFFF0000);
    TLQuad(v + 4, 16, 16, 32, 32, 0xFF00FF00);
    vb->Unlock();
    ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
    const WORD indices[6] = {0, 1, 2, 0, 2, 3};
    std::memcpy(data, indices, sizeof indices);
    ib->Unlock();
    device->SetVertexShader(TL_FVF);
    device->SetStreamSource(0, vb, sizeof(TLVertex));
    device->SetIndices(ib, 4);  // base vertex: the second quad
    Clear(0);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3D_OK);
    Read();
    EXPECT_EQ(At(8, 8), 0xFF0000u);
    EXPECT_EQ(At(24, 24), 0x00FF00u);
    EXPECT_EQ(At(24, 8), 0u);
    // Relocking with DISCARD replaces the contents seen by the next draw.
    ASSERT_EQ(vb->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);
    TLQuad(reinterpret_cast<TLVertex*>(data), 16, 0, 32, 16, 0xFF0000FF);
    vb->Unlock();
    Clear(0);
    device->DrawPrimitive(D3DPT_TRIANGLEFAN, 0, 2);
    Read();
    EXPECT_EQ(At(24, 8), 0x0000FFu);
    EXPECT_EQ(At(8, 8), 0u);
    vb->Release();
    ib->Release();
}

TEST_F(RasterTest, PresentHookSeesTheFrame) {
    Open(8, 8);
    struct Seen {
        uint32_t pixel = 0;
        int calls = 0;
    } seen;
    D3D8_SetPresentHook(
        device,
        [](void* user, IDirect3DDevice8* dev) {
            auto* s = static_cast<Seen*>(user);
            std::vector<uint32_t> pixels(64);
            D3D8_ReadBackBuffer(dev, pixels.data(), 32, nullptr, nullptr);
            s->pixel = pixels[9];
            ++s->calls;
        },
        &seen);
    Clear(0x00ABCDEF);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.pixel, 0xFFABCDEFu);
}

}  // namespace

namespace {

// The GL back end's adapters: one per SDL display, named after the display
// and the renderer; the offscreen display knows only its desktop mode, so
// the standard list stands in.
TEST(GLAdapters, DisplaysRendererAndModes) {
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    ASSERT_GE(d3d->GetAdapterCount(), 1u);
    D3DADAPTER_IDENTIFIER8 id = {};
    ASSERT_EQ(d3d->GetAdapterIdentifier(0, D3DENUM_NO_WHQL_LEVEL, &id), D3D_OK);
    EXPECT_NE(std::string(id.Description).find("("), std::string::npos) << id.Description;
    EXPECT_EQ(d3d->GetAdapterModeCount(0), 14u);
    D3DDISPLAYMODE first = {}, last = {};
    d3d->EnumAdapterModes(0, 0, &first);
    d3d->EnumAdapterModes(0, 13, &last);
    EXPECT_EQ(first.Width, 640u);
    EXPECT_EQ(first.Format, D3DFMT_R5G6B5);
    EXPECT_EQ(last.Width, 1920u);
    EXPECT_EQ(last.Format, D3DFMT_X8R8G8B8);
    D3DDISPLAYMODE desktop = {};
    EXPECT_EQ(d3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
    EXPECT_GT(desktop.Width, 0u);
    // Every format of the texture factory's table, DXT included; no render
    // targets; the depth formats the device factory tries.
    for (D3DFORMAT f :
         {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,
          D3DFMT_A4R4G4B4, D3DFMT_X4R4G4B4, D3DFMT_A8R3G3B2, D3DFMT_R3G3B2, D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5})
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, desktop.Format, 0, D3DRTYPE_TEXTURE, f), D3D_OK) << f;
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, desktop.Format, 0, D3DRTYPE_TEXTURE, D3DFMT_V8U8),
              D3DERR_NOTAVAILABLE);
    for (D3DFORMAT f : {D3DFMT_D16, D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D32})
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, desktop.Format, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, f),
                  D3D_OK)
            << f;
    d3d->Release();
}

}  // namespace
