// A small scene through the whole stand-in, as a user would look at it: a
// lit, fogged, sphere-mapped ball over a textured floor, with a translucent
// screen-space overlay and a pre-transformed banner. It is compared with the
// golden image tests/platform/golden/d3d8_demo.png (made by this test with
// HALCYON2_UPDATE_GOLDEN=1 and looked at). Tolerance: another rasteriser may
// round shading and edge coverage differently, so channels may differ by 6
// and up to 0.5 % of the pixels (edges) by more.
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "d3d8_fixture.h"

namespace {

using namespace d3d8test;

constexpr int kW = 160, kH = 120;

struct NVertex {
    float x, y, z, nx, ny, nz;
    float u, v;
};

D3DMATRIX Identity() {
    D3DMATRIX m = {};
    m._11 = m._22 = m._33 = m._44 = 1;
    return m;
}

D3DMATRIX Perspective(float fovY, float aspect, float zn, float zf) {
    D3DMATRIX m = {};
    const float yScale = 1.0f / std::tan(fovY / 2), xScale = yScale / aspect;
    m._11 = xScale;
    m._22 = yScale;
    m._33 = zf / (zf - zn);
    m._34 = 1;
    m._43 = -zn * zf / (zf - zn);
    return m;
}

IDirect3DTexture8* Checker(IDirect3DDevice8* device, UINT size, DWORD a, DWORD b, int cells) {
    IDirect3DTexture8* t = nullptr;
    device->CreateTexture(size, size, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t);
    D3DLOCKED_RECT locked;
    t->LockRect(0, &locked, nullptr, 0);
    for (UINT y = 0; y < size; ++y)
        for (UINT x = 0; x < size; ++x)
            reinterpret_cast<DWORD*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch)[x] =
                ((x * cells / size + y * cells / size) & 1) ? a : b;
    t->UnlockRect(0);
    return t;
}

void RenderScene(IDirect3DDevice8* device) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00304060, 1.0f, 0);
    device->BeginScene();
    D3DMATRIX view = Identity();
    view._42 = -0.5f;  // camera half a unit up
    view._43 = 4.0f;
    device->SetTransform(D3DTS_VIEW, &view);
    D3DMATRIX proj = Perspective(1.0f, float(kW) / kH, 0.5f, 50.0f);
    device->SetTransform(D3DTS_PROJECTION, &proj);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_USEW);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    device->SetRenderState(D3DRS_FOGCOLOR, 0x00304060);
    device->SetRenderState(D3DRS_FOGSTART, F2D(4.0f));
    device->SetRenderState(D3DRS_FOGEND, F2D(14.0f));
    device->SetRenderState(D3DRS_AMBIENT, 0x00303030);

    D3DLIGHT8 sun = {};
    sun.Type = D3DLIGHT_DIRECTIONAL;
    sun.Diffuse = {1.0f, 0.95f, 0.8f, 1};
    sun.Specular = {1, 1, 1, 1};
    sun.Direction = {-0.5f, -1.0f, 0.7f};
    device->SetLight(0, &sun);
    device->LightEnable(0, TRUE);
    D3DLIGHT8 lamp = {};
    lamp.Type = D3DLIGHT_POINT;
    lamp.Diffuse = {0.2f, 0.5f, 1.0f, 1};
    lamp.Position = {1.5f, 0.2f, -1.0f};
    lamp.Range = 5;
    lamp.Attenuation0 = 0.3f;
    lamp.Attenuation1 = 0.3f;
    device->SetLight(1, &lamp);
    device->LightEnable(1, TRUE);

    // Floor: a textured quad, wrapped four times.
    IDirect3DTexture8* floor = Checker(device, 32, 0xFFC0C0C0, 0xFF404040, 2);
    D3DMATERIAL8 grey = {};
    grey.Diffuse = {0.9f, 0.9f, 0.9f, 1};
    grey.Ambient = {1, 1, 1, 1};
    device->SetMaterial(&grey);
    device->SetTexture(0, floor);
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    NVertex ground[4] = {{-6, -1, -2, 0, 1, 0, 0, 0},
                         {6, -1, -2, 0, 1, 0, 4, 0},
                         {6, -1, 12, 0, 1, 0, 4, 4},
                         {-6, -1, 12, 0, 1, 0, 0, 4}};
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, ground, sizeof(NVertex));

    // Ball: a tessellated sphere in an index buffer, sphere-mapped, lit.
    const int rings = 16, segments = 24;
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    const UINT vertices = (rings + 1) * (segments + 1);
    device->CreateVertexBuffer(vertices * sizeof(NVertex), D3DUSAGE_WRITEONLY, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1,
                               D3DPOOL_MANAGED, &vb);
    BYTE* data = nullptr;
    vb->Lock(0, 0, &data, D3DLOCK_DISCARD);
    NVertex* v = reinterpret_cast<NVertex*>(data);
    for (int r = 0; r <= rings; ++r)
        for (int s = 0; s <= segments; ++s) {
            const float theta = 3.14159265f * float(r) / rings;
            const float phi = 2 * 3.14159265f * float(s) / segments;
            const float nx = std::sin(theta) * std::cos(phi), ny = std::cos(theta),
                        nz = std::sin(theta) * std::sin(phi);
            *v++ = {nx, ny, nz, nx, ny, nz, float(s) / segments, float(r) / rings};
        }
    vb->Unlock();
    const UINT indices = rings * segments * 6;
    device->CreateIndexBuffer(indices * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib);
    ib->Lock(0, 0, &data, D3DLOCK_DISCARD);
    WORD* index = reinterpret_cast<WORD*>(data);
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const WORD a = WORD(r * (segments + 1) + s), b = WORD(a + segments + 1);
            *index++ = a, *index++ = WORD(a + 1), *index++ = b;
            *index++ = b, *index++ = WORD(a + 1), *index++ = WORD(b + 1);
        }
    ib->Unlock();
    IDirect3DTexture8* env = Checker(device, 64, 0xFFFFD080, 0xFF802010, 8);
    D3DMATERIAL8 shiny = {};
    shiny.Diffuse = {1, 1, 1, 1};
    shiny.Ambient = {0.6f, 0.6f, 0.6f, 1};
    shiny.Specular = {1, 1, 1, 1};
    shiny.Power = 20;
    device->SetMaterial(&shiny);
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);  // front faces run clockwise
    device->SetTexture(0, env);
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    D3DMATRIX sphereMap = Identity();
    sphereMap._11 = sphereMap._22 = 0.5f;
    sphereMap._33 = 0;
    sphereMap._41 = sphereMap._42 = 0.5f;
    device->SetTransform(D3DTS_TEXTURE0, &sphereMap);
    D3DMATRIX world = Identity();
    world._41 = -0.4f;
    world._42 = 0.1f;
    world._43 = 1.0f;
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetStreamSource(0, vb, sizeof(NVertex));
    device->SetIndices(ib, 0);
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, vertices, 0, indices / 3);
    device->SetTransform(D3DTS_WORLD, &(world = Identity()));
    device->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);

    // The show's screen-space overlay: untextured, translucent, fogged too.
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTexture(0, nullptr);
    D3DMATRIX screen = {};
    screen._11 = screen._22 = screen._33 = screen._34 = 1;
    screen._43 = -1;
    D3DMATRIX id = Identity();
    device->SetTransform(D3DTS_VIEW, &id);
    device->SetTransform(D3DTS_PROJECTION, &screen);
    device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    struct Screen {
        float x, y, z;
        DWORD c;
        float u, v;
    } overlay[4] = {{-200, 200, 200, 0x60FF2000, 0, 0},
                    {-60, 200, 200, 0x60FF2000, 1, 0},
                    {-200, 120, 200, 0x00FF2000, 0, 1},
                    {-60, 120, 200, 0x00FF2000, 1, 1}};
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, overlay, sizeof(Screen));

    // A pre-transformed banner with the floor texture, texel-exact.
    device->SetTexture(0, floor);
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_POINT);
    device->SetVertexShader(TL_FVF);
    TLVertex banner[4];
    TLQuad(banner, 127.5f, 87.5f, 159.5f, 119.5f, 0xC0FFFFFF);
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, banner, sizeof(TLVertex));
    device->EndScene();

    device->SetTexture(0, nullptr);
    device->SetStreamSource(0, nullptr, 0);
    device->SetIndices(nullptr, 0);
    vb->Release();
    ib->Release();
    floor->Release();
    env->Release();
}

bool ReadPpm(const std::string& path, std::vector<uint32_t>& pixels, int& w, int& h) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int max = 0;
    in >> magic >> w >> h >> max;
    in.get();
    if (magic != "P6" || max != 255) return false;
    pixels.resize(size_t(w) * h);
    for (uint32_t& p : pixels) {
        unsigned char rgb[3];
        in.read(reinterpret_cast<char*>(rgb), 3);
        p = (uint32_t(rgb[0]) << 16) | (uint32_t(rgb[1]) << 8) | rgb[2];
    }
    return bool(in);
}

class DemoTest : public GLDeviceTest {};

TEST_F(DemoTest, SceneMatchesTheGoldenImage) {
    Open(kW, kH);
    RenderScene(device);
    Read();
    const char* binDir = std::getenv("HALCYON2_BIN_DIR");
    const char* sourceDir = std::getenv("HALCYON2_SOURCE_DIR");
    const std::string out = std::string(binDir ? binDir : ".") + "/d3d8_demo";
    SavePpm(out + ".ppm");
    const std::string golden = std::string(sourceDir ? sourceDir : "..") + "/tests/platform/golden/d3d8_demo.png";
    if (std::getenv("HALCYON2_UPDATE_GOLDEN")) {
        ASSERT_EQ(std::system(("convert " + out + ".ppm " + golden).c_str()), 0);
        GTEST_SKIP() << "golden image written: " << golden;
    }
    ASSERT_EQ(std::system(("convert " + golden + " -depth 8 " + out + "_golden.ppm").c_str()), 0)
        << "no golden image (make it with HALCYON2_UPDATE_GOLDEN=1 and look at it)";
    std::vector<uint32_t> expected;
    int gw = 0, gh = 0;
    ASSERT_TRUE(ReadPpm(out + "_golden.ppm", expected, gw, gh));
    ASSERT_EQ(gw, kW);
    ASSERT_EQ(gh, kH);
    int far = 0, worst = 0;
    for (int i = 0; i < kW * kH; ++i) {
        const Rgb a = RgbOf(frame[size_t(i)]), b = RgbOf(expected[size_t(i)]);
        const int d = std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
        worst = std::max(worst, d);
        if (d > 6) ++far;
    }
    EXPECT_LE(far, kW * kH / 200) << "worst difference " << worst << "; frame in " << out << ".ppm";
}

}  // namespace
