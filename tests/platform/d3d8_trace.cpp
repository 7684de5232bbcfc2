// The trace back end: the exact call log, its handle numbering, the
// configured failures, and the validation the front end does for every back
// end (reference counts, stream 0 unset after user-pointer draws, draws that
// reach outside their buffers refused).
#include <d3d8.h>
#include <d3d8ext.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Vertex {
    float x, y, z;
    DWORD color;
};
const DWORD kFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

class TraceTest : public ::testing::Test {
protected:
    void Start(const D3D8TraceConfig& config = D3D8TraceConfig()) {
        D3D8Trace_Enable(config);
        d3d = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
    }
    HRESULT MakeDevice(DWORD behaviour = D3DCREATE_HARDWARE_VERTEXPROCESSING, BOOL depth = TRUE) {
        D3DPRESENT_PARAMETERS p = {};
        p.Windowed = TRUE;
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.BackBufferFormat = D3DFMT_X8R8G8B8;
        p.BackBufferWidth = 320;
        p.BackBufferHeight = 240;
        p.EnableAutoDepthStencil = depth;
        p.AutoDepthStencilFormat = D3DFMT_D16;
        return d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, behaviour, &p, &device);
    }
    void TearDown() override {
        if (device) device->Release();
        if (d3d) d3d->Release();
        D3D8Trace_Disable();
    }
    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* device = nullptr;
};

TEST_F(TraceTest, RecordsCallsWithNumberedHandles) {
    Start();
    ASSERT_EQ(MakeDevice(), D3D_OK);
    IDirect3DTexture8* a = nullptr;
    IDirect3DTexture8* b = nullptr;
    ASSERT_EQ(device->CreateTexture(64, 32, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &a), D3D_OK);
    ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &b), D3D_OK);
    D3D8Trace_Clear();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80FF0000);
    device->SetRenderState(D3DRS_FOGSTART, [] {
        float f = 2.5f;
        DWORD d;
        std::memcpy(&d, &f, 4);
        return d;
    }());
    device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1 | D3DTSS_TCI_CAMERASPACENORMAL);
    device->SetTexture(0, b);
    device->SetTexture(1, nullptr);
    device->SetVertexShader(kFvf);
    EXPECT_EQ(D3D8Trace_Log(),
              "device#1 SetRenderState(D3DRS_LIGHTING, 0)\n"
              "device#1 SetRenderState(D3DRS_TEXTUREFACTOR, 0x80ff0000)\n"
              "device#1 SetRenderState(D3DRS_FOGSTART, 2.5)\n"
              "device#1 SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0x10001)\n"
              "device#1 SetTexture(0, texture#2)\n"
              "device#1 SetTexture(1, null)\n"
              "device#1 SetVertexShader(0x42)\n");
    D3D8Trace_Clear();
    a->Release();
    EXPECT_EQ(D3D8Trace_Log(), "texture#1 Release() = 0\n");
    b->Release();  // still bound to stage 0: not the last reference
    EXPECT_EQ(D3D8Trace_Log(), "texture#1 Release() = 0\n");
}

TEST_F(TraceTest, CreationIsRecordedWithItsResult) {
    Start();
    ASSERT_EQ(MakeDevice(), D3D_OK);
    const std::vector<std::string> lines = D3D8Trace_Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Direct3DCreate8(120) = d3d8#1");
    EXPECT_EQ(lines[1].rfind("d3d8#1 CreateDevice(0, D3DDEVTYPE_HAL, null, 0x40, {320 240 "
                             "D3DFMT_X8R8G8B8 ",
                             0),
              0u)
        << lines[1];
    EXPECT_NE(lines[1].find(" = device#1"), std::string::npos);
}

TEST_F(TraceTest, ConfiguredDeviceFailuresAndFormats) {
    D3D8TraceConfig config;
    config.failCreateDeviceBehaviors = D3DCREATE_HARDWARE_VERTEXPROCESSING;
    config.textureFormats = {D3DFMT_R5G6B5};
    config.depthFormats = {D3DFMT_D16};
    Start(config);
    EXPECT_EQ(MakeDevice(D3DCREATE_HARDWARE_VERTEXPROCESSING), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(MakeDevice(D3DCREATE_MIXED_VERTEXPROCESSING), D3D_OK);
    EXPECT_NE(D3D8Trace_Log().find("0x40, {"), std::string::npos);
    EXPECT_NE(D3D8Trace_Log().find("= D3DERR_NOTAVAILABLE\n"), std::string::npos);

    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_R5G6B5), D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                     D3DFMT_D24S8),
              D3DERR_NOTAVAILABLE);
    IDirect3DTexture8* t = nullptr;
    EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
    EXPECT_EQ(t, nullptr);
}

TEST_F(TraceTest, ADeviceThatRefusesEveryTextureFormat) {
    D3D8TraceConfig config;
    EXPECT_FALSE(config.textureFormats.empty());  // starts with the GL back end's list
    config.textureFormats.clear();
    Start(config);
    for (D3DFORMAT f : {D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_DXT1})
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, f),
                  D3DERR_NOTAVAILABLE);
}

TEST_F(TraceTest, AdaptersModesAndDesktopFailure) {
    D3D8TraceConfig config;
    config.adapters[0].description = "First";
    config.adapters[0].modes = {{640, 480, 60, D3DFMT_R5G6B5}, {640, 480, 75, D3DFMT_R5G6B5}};
    config.adapters.push_back(D3D8TraceAdapter());
    config.adapters[1].desktopModeFails = true;
    config.adapters[1].caps.DevCaps = 0;
    Start(config);
    EXPECT_EQ(d3d->GetAdapterCount(), 2u);
    D3DADAPTER_IDENTIFIER8 id;
    ASSERT_EQ(d3d->GetAdapterIdentifier(0, D3DENUM_NO_WHQL_LEVEL, &id), D3D_OK);
    EXPECT_STREQ(id.Description, "First");
    EXPECT_EQ(d3d->GetAdapterModeCount(0), 2u);
    D3DDISPLAYMODE mode;
    ASSERT_EQ(d3d->EnumAdapterModes(0, 1, &mode), D3D_OK);
    EXPECT_EQ(mode.RefreshRate, 75u);
    EXPECT_EQ(d3d->EnumAdapterModes(0, 2, &mode), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->GetAdapterModeCount(1), 14u);  // the standard list
    EXPECT_EQ(d3d->GetAdapterDisplayMode(1, &mode), D3DERR_NOTAVAILABLE);
    D3DCAPS8 caps;
    ASSERT_EQ(d3d->GetDeviceCaps(1, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.DevCaps, 0u);
    EXPECT_EQ(caps.AdapterOrdinal, 1u);
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_TRUE(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    EXPECT_TRUE(caps.RasterCaps & D3DPRASTERCAPS_FOGVERTEX);
    EXPECT_FALSE(caps.TextureCaps & (D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY));
}

TEST_F(TraceTest, ModesFromTheEnvironment) {
    setenv("HALCYON2_DISPLAY_MODES", "320x240x16,1280x720x32", 1);
    Start();
    unsetenv("HALCYON2_DISPLAY_MODES");
    ASSERT_EQ(d3d->GetAdapterModeCount(0), 2u);
    D3DDISPLAYMODE mode;
    d3d->EnumAdapterModes(0, 0, &mode);
    EXPECT_EQ(mode.Width, 320u);
    EXPECT_EQ(mode.Format, D3DFMT_R5G6B5);
    d3d->EnumAdapterModes(0, 1, &mode);
    EXPECT_EQ(mode.Height, 720u);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
    d3d->Release();
    // A malformed list is ignored.
    setenv("HALCYON2_DISPLAY_MODES", "320x240x24", 1);
    d3d = Direct3DCreate8(D3D_SDK_VERSION);
    unsetenv("HALCYON2_DISPLAY_MODES");
    EXPECT_EQ(d3d->GetAdapterModeCount(0), 14u);
}

TEST_F(TraceTest, UserPointerDrawsUnsetStreamZeroAndIndices) {
    Start();
    ASSERT_EQ(MakeDevice(), D3D_OK);
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(3 * sizeof(Vertex), 0, kFvf, D3DPOOL_MANAGED, &vb), D3D_OK);
    ASSERT_EQ(device->CreateIndexBuffer(6, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib), D3D_OK);
    device->SetVertexShader(kFvf);
    device->SetStreamSource(0, vb, sizeof(Vertex));
    device->SetIndices(ib, 0);
    Vertex v[3] = {};
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(Vertex)), D3D_OK);
    IDirect3DVertexBuffer8* stream = vb;
    UINT stride = 1;
    device->GetStreamSource(0, &stream, &stride);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(stride, 0u);
    IDirect3DIndexBuffer8* indices = nullptr;
    UINT base = 7;
    device->GetIndices(&indices, &base);
    EXPECT_EQ(indices, ib);  // DrawPrimitiveUP leaves the indices alone
    indices->Release();

    WORD idx[3] = {0, 1, 2};
    ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, idx, D3DFMT_INDEX16, v, sizeof(Vertex)),
              D3D_OK);
    device->GetIndices(&indices, &base);
    EXPECT_EQ(indices, nullptr);
    vb->Release();
    ib->Release();
}

TEST_F(TraceTest, DrawsOutsideTheirBuffersAreRefused) {
    Start();
    ASSERT_EQ(MakeDevice(), D3D_OK);
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(4 * sizeof(Vertex), 0, kFvf, D3DPOOL_MANAGED, &vb), D3D_OK);
    ASSERT_EQ(device->CreateIndexBuffer(6 * 2, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib), D3D_OK);
    BYTE* data = nullptr;
    ASSERT_EQ(ib->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);
    const WORD indices[6] = {0, 1, 2, 2, 1, 9};  // the last index reaches past the buffer
    std::memcpy(data, indices, sizeof indices);
    ASSERT_EQ(ib->Unlock(), D3D_OK);
    device->SetVertexShader(kFvf);
    device->SetStreamSource(0, vb, sizeof(Vertex));
    device->SetIndices(ib, 0);

    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 3, 2), D3DERR_INVALIDCALL);
    device->SetIndices(ib, 2);  // base vertex 2: index 2 reaches vertex 4
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 2, 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 2, 0, 0), D3D_OK);

    Vertex v[3] = {};
    WORD bad[3] = {0, 1, 3};
    EXPECT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, bad, D3DFMT_INDEX16, v, sizeof(Vertex)),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, 4), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(8, 4 * sizeof(Vertex), &data, 0), D3DERR_INVALIDCALL);
    EXPECT_NE(D3D8Trace_Log().find("DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2) = D3DERR_INVALIDCALL"), std::string::npos);
    vb->Release();
    ib->Release();
}

// The front end decides, so every back end skips alike; buffer draws are
// judged by the vertices their indices reach from the base vertex.
TEST_F(TraceTest, FadedOutBufferDrawsAreSkipped) {
    Start();
    ASSERT_EQ(MakeDevice(), D3D_OK);
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(4 * sizeof(Vertex), 0, kFvf, D3DPOOL_MANAGED, &vb), D3D_OK);
    ASSERT_EQ(device->CreateIndexBuffer(3 * 2, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib), D3D_OK);
    BYTE* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    const Vertex v[4] = {{0, 0, 0, 0x00FFFFFF}, {1, 0, 0, 0x00FFFFFF}, {0, 1, 0, 0x00FFFFFF}, {1, 1, 0, 0x80FFFFFF}};
    std::memcpy(data, v, sizeof v);
    ASSERT_EQ(vb->Unlock(), D3D_OK);
    ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
    const WORD indices[3] = {0, 1, 2};
    std::memcpy(data, indices, sizeof indices);
    ASSERT_EQ(ib->Unlock(), D3D_OK);
    device->SetVertexShader(kFvf);
    device->SetStreamSource(0, vb, sizeof(Vertex));
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    auto skipped = [&] {
        D3D8Stats stats = {};
        D3D8_GetStats(device, &stats);
        return stats.skippedDraws;
    };
    device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
    EXPECT_EQ(skipped(), 0u);  // it writes depth
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
    EXPECT_EQ(skipped(), 1u);
    device->SetIndices(ib, 1);  // reaches the visible vertex
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1);
    EXPECT_EQ(skipped(), 1u);
    device->SetIndices(ib, 0);
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1);
    EXPECT_EQ(skipped(), 2u);
    // A stage that selects the texture factor's alpha makes it visible.
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1);
    EXPECT_EQ(skipped(), 2u);
    D3D8Stats stats = {};
    D3D8_GetStats(device, &stats);
    EXPECT_EQ(stats.draws, 5u);
    EXPECT_EQ(stats.triangles, 3u);  // skipped draws send none
    vb->Release();
    ib->Release();
}

TEST_F(TraceTest, UnsupportedStateValuesAreAcceptedAndCounted) {
    Start();
    ASSERT_EQ(MakeDevice(), D3D_OK);
    EXPECT_EQ(device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_2WEIGHTS), D3D_OK);
    EXPECT_EQ(device->SetRenderState((D3DRENDERSTATETYPE)250, 1), D3D_OK);
    EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP), D3D_OK);
    EXPECT_EQ(device->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_MODULATE), D3DERR_INVALIDCALL);
    D3D8Stats stats = {};
    ASSERT_EQ(D3D8_GetStats(device, &stats), D3D_OK);
    EXPECT_EQ(stats.ignoredStates, 3u);
    DWORD value = 0;
    device->GetRenderState(D3DRS_VERTEXBLEND, &value);
    EXPECT_EQ(value, DWORD(D3DVBF_2WEIGHTS));  // kept for Get, ignored for drawing
}

TEST_F(TraceTest, DefaultStatesOfANewDevice) {
    Start();
    ASSERT_EQ(MakeDevice(D3DCREATE_SOFTWARE_VERTEXPROCESSING, FALSE), D3D_OK);
    DWORD v = 0;
    device->GetRenderState(D3DRS_ZENABLE, &v);
    EXPECT_EQ(v, DWORD(D3DZB_FALSE));  // no automatic depth buffer
    device->GetRenderState(D3DRS_LIGHTING, &v);
    EXPECT_EQ(v, 1u);
    device->GetRenderState(D3DRS_CULLMODE, &v);
    EXPECT_EQ(v, DWORD(D3DCULL_CCW));
    device->GetRenderState(D3DRS_TEXTUREFACTOR, &v);
    EXPECT_EQ(v, 0xFFFFFFFFu);
    device->GetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, &v);
    EXPECT_EQ(v, DWORD(D3DMCS_COLOR1));
    device->GetTextureStageState(0, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, DWORD(D3DTOP_MODULATE));
    D3DCAPS8 caps;
    device->GetDeviceCaps(&caps);
    EXPECT_EQ(caps.RasterCaps & D3DPRASTERCAPS_WBUFFER, 0u) << "USEW is a z test here";
    device->GetTextureStageState(3, D3DTSS_TEXCOORDINDEX, &v);
    EXPECT_EQ(v, 3u);
    device->GetTextureStageState(1, D3DTSS_ALPHAOP, &v);
    EXPECT_EQ(v, DWORD(D3DTOP_DISABLE));
    IDirect3DSurface8* target = nullptr;
    ASSERT_EQ(device->GetRenderTarget(&target), D3D_OK);
    D3DSURFACE_DESC desc;
    target->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 320u);
    EXPECT_EQ(desc.Height, 240u);
    target->Release();
    IDirect3DSurface8* depth = nullptr;
    EXPECT_EQ(device->GetDepthStencilSurface(&depth), D3DERR_NOTFOUND);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
}

// MultiplyTransform puts the new matrix first (it acts before the current
// one), and every world matrix keeps its own value.
TEST_F(TraceTest, MultiplyTransformAndTheWorldMatrices) {
    Start();
    ASSERT_EQ(MakeDevice(D3DCREATE_SOFTWARE_VERTEXPROCESSING, FALSE), D3D_OK);
    D3DMATRIX translate = {}, scale = {};
    translate._11 = translate._22 = translate._33 = translate._44 = 1;
    translate._41 = 1;
    scale._11 = scale._22 = scale._33 = 2;
    scale._44 = 1;
    ASSERT_EQ(device->SetTransform(D3DTS_WORLD, &translate), D3D_OK);
    ASSERT_EQ(device->MultiplyTransform(D3DTS_WORLD, &scale), D3D_OK);
    D3DMATRIX m = {};
    ASSERT_EQ(device->GetTransform(D3DTS_WORLD, &m), D3D_OK);
    EXPECT_EQ(m._11, 2.0f);
    EXPECT_EQ(m._41, 1.0f);  // scaled first, then moved
    ASSERT_EQ(device->SetTransform(D3DTS_WORLD3, &scale), D3D_OK);
    ASSERT_EQ(device->GetTransform(D3DTS_WORLD3, &m), D3D_OK);
    EXPECT_EQ(m._41, 0.0f);
    ASSERT_EQ(device->GetTransform(D3DTS_WORLD, &m), D3D_OK);
    EXPECT_EQ(m._41, 1.0f);
    EXPECT_EQ(device->GetTransform(D3DTS_WORLDMATRIX(4), &m), D3DERR_INVALIDCALL);
}

TEST_F(TraceTest, TextureLocksUseDirect3DLayout) {
    Start();
    ASSERT_EQ(MakeDevice(), D3D_OK);
    IDirect3DTexture8* t = nullptr;
    ASSERT_EQ(device->CreateTexture(10, 6, 0, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &t), D3D_OK);
    EXPECT_EQ(t->GetLevelCount(), 4u);  // 10x6, 5x3, 2x1, 1x1
    D3DSURFACE_DESC desc;
    ASSERT_EQ(t->GetLevelDesc(1, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 5u);
    EXPECT_EQ(desc.Size, 2u * 1u * 8u);  // 2 x 1 blocks of 8 bytes
    D3DLOCKED_RECT locked;
    ASSERT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 3 * 8);
    EXPECT_EQ(t->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->UnlockRect(0), D3D_OK);
    EXPECT_EQ(t->UnlockRect(0), D3DERR_INVALIDCALL);
    RECT misaligned = {2, 0, 6, 4};
    EXPECT_EQ(t->LockRect(0, &locked, &misaligned, 0), D3DERR_INVALIDCALL);
    IDirect3DSurface8* level = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(2, &level), D3D_OK);
    level->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 2u);
    EXPECT_EQ(desc.Height, 1u);
    t->Release();  // the surface keeps the texture alive
    ASSERT_EQ(level->LockRect(&locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(level->UnlockRect(), D3D_OK);
    EXPECT_EQ(level->Release(), 0u);

    IDirect3DTexture8* rgb = nullptr;
    ASSERT_EQ(device->CreateTexture(5, 3, 1, 0, D3DFMT_R8G8B8, D3DPOOL_MANAGED, &rgb), D3D_OK);
    RECT r = {1, 1, 3, 2};
    ASSERT_EQ(rgb->LockRect(0, &locked, &r, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 15);
    rgb->UnlockRect(0);
    rgb->Release();
}

TEST_F(TraceTest, ALostDeviceWaitsForAResetThatFreesTheDefaultPool) {
    D3D8TraceConfig config;
    config.losePresents = {2};
    Start(config);
    ASSERT_EQ(MakeDevice(), D3D_OK);
    IDirect3DVertexBuffer8* dynamic = nullptr;
    IDirect3DVertexBuffer8* managed = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, kFvf, D3DPOOL_DEFAULT, &dynamic), D3D_OK);
    ASSERT_EQ(device->CreateVertexBuffer(64, 0, kFvf, D3DPOOL_MANAGED, &managed), D3D_OK);
    BYTE* bytes = nullptr;
    managed->Lock(0, 0, &bytes, 0);
    std::memset(bytes, 0x5A, 64);
    managed->Unlock();

    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    // Drawing goes on unseen while the device is lost.
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
    D3DPRESENT_PARAMETERS p = {};
    p.Windowed = TRUE;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D16;
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Reset(&p), D3DERR_DEVICELOST);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL);
    dynamic->Release();
    ASSERT_EQ(device->Reset(&p), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(managed->Lock(0, 0, &bytes, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(bytes[63], 0x5A) << "managed contents survive";
    managed->Unlock();
    // A discarding lock hands out undefined contents: poison here.
    ASSERT_EQ(managed->Lock(0, 0, &bytes, D3DLOCK_DISCARD), D3D_OK);
    EXPECT_EQ(bytes[0], 0xDE);
    EXPECT_EQ(bytes[63], 0xEF);
    managed->Unlock();
    managed->Release();

    // On demand, too; and the log shows the reset.
    ASSERT_EQ(D3D8_LoseDevice(device), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    const std::string log = D3D8Trace_Log();
    EXPECT_NE(log.find("device#1 Present(null, null, null, null) = D3DERR_DEVICELOST"), std::string::npos);
    EXPECT_NE(log.find("device#1 TestCooperativeLevel() = D3DERR_DEVICENOTRESET"), std::string::npos);
    EXPECT_NE(log.find("device#1 Reset({"), std::string::npos);
}

}  // namespace
