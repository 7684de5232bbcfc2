// Fixed-function vertex processing and the texture-stage cascade through the
// GL back end, against the Direct3D formulas evaluated here. Lighting and fog
// are checked on one-pixel points, whose colour is exactly the vertex's: the
// only tolerance is the rounding of the 8-bit frame (2 steps).
#include <cmath>

#include "d3d8_fixture.h"

namespace {

using namespace d3d8test;

struct Vec3 {
    double x, y, z;
};
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
Vec3 Normalize(Vec3 a) { return a * (1.0 / Length(a)); }

struct Color {
    double r, g, b;
};

int Byte(double v) { return int(std::lround(std::min(1.0, std::max(0.0, v)) * 255.0)); }

// One light's contribution at a camera-space point with a unit normal
// (view = identity, so world and camera space agree).
struct Terms {
    Color ambient{0, 0, 0}, diffuse{0, 0, 0}, specular{0, 0, 0};
};

void AddLight(const D3DLIGHT8& l, Vec3 p, Vec3 n, double power, bool localViewer, Terms& t) {
    Vec3 L;
    double att = 1;
    if (l.Type == D3DLIGHT_DIRECTIONAL) {
        L = Normalize(Vec3{-l.Direction.x, -l.Direction.y, -l.Direction.z});
    } else {
        const Vec3 toLight = Vec3{l.Position.x, l.Position.y, l.Position.z} - p;
        const double d = Length(toLight);
        L = toLight * (1 / d);
        if (d > l.Range) return;
        att = 1 / (l.Attenuation0 + l.Attenuation1 * d + l.Attenuation2 * d * d);
        if (l.Type == D3DLIGHT_SPOT) {
            const double rho = Dot(L * -1, Normalize(Vec3{l.Direction.x, l.Direction.y, l.Direction.z}));
            const double ct = std::cos(l.Theta / 2), cp = std::cos(l.Phi / 2);
            att *= rho > ct ? 1 : rho <= cp ? 0 : std::pow((rho - cp) / (ct - cp), l.Falloff);
        }
    }
    t.ambient = {t.ambient.r + l.Ambient.r * att, t.ambient.g + l.Ambient.g * att, t.ambient.b + l.Ambient.b * att};
    const double nl = Dot(n, L);
    if (nl <= 0) return;
    t.diffuse = {t.diffuse.r + l.Diffuse.r * nl * att, t.diffuse.g + l.Diffuse.g * nl * att,
                 t.diffuse.b + l.Diffuse.b * nl * att};
    const Vec3 h = Normalize(L + (localViewer ? Normalize(p * -1) : Vec3{0, 0, -1}));
    const double nh = Dot(n, h);
    if (nh > 0) {
        const double s = std::pow(nh, power) * att;
        t.specular = {t.specular.r + l.Specular.r * s, t.specular.g + l.Specular.g * s,
                      t.specular.b + l.Specular.b * s};
    }
}

struct LitVertex {
    float x, y, z;
    float nx, ny, nz;
    DWORD diffuse;
};
constexpr DWORD kLitFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE;

class ShadingTest : public GLDeviceTest {
protected:
    void SetUp() override {
        GLDeviceTest::SetUp();
        Open(32, 32, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        // The projection of the show's screen-space helpers: w = z, depth (z - 1) / z.
        D3DMATRIX proj = {};
        proj._11 = proj._22 = proj._33 = proj._34 = 1;
        proj._43 = -1;
        device->SetTransform(D3DTS_PROJECTION, &proj);
    }

    // A camera-space position that lands on the centre of pixel (px, py) at depth z.
    static LitVertex PointAt(int px, int py, float z, Vec3 n, DWORD diffuse = 0xFFFFFFFF) {
        const float x = (2.0f * float(px) / 32.0f - 1.0f) * z;
        const float y = (1.0f - 2.0f * float(py) / 32.0f) * z;
        return {x, y, z, float(n.x), float(n.y), float(n.z), diffuse};
    }
};

TEST_F(ShadingTest, VertexLightingMatchesTheFormula) {
    D3DMATERIAL8 m = {};
    m.Diffuse = {0.8f, 0.6f, 0.4f, 1.0f};
    m.Ambient = {0.5f, 0.5f, 1.0f, 1.0f};
    m.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    m.Emissive = {0.05f, 0.0f, 0.1f, 0.0f};
    m.Power = 8.0f;
    device->SetMaterial(&m);
    device->SetRenderState(D3DRS_AMBIENT, 0x00202020);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    // Material colours, not the vertices' white diffuse.
    device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);

    D3DLIGHT8 dir = {};
    dir.Type = D3DLIGHT_DIRECTIONAL;
    dir.Diffuse = {0.9f, 0.9f, 0.7f, 1};
    dir.Ambient = {0.1f, 0.0f, 0.0f, 1};
    dir.Direction = {0.3f, -0.5f, 1.0f};
    D3DLIGHT8 point = {};
    point.Type = D3DLIGHT_POINT;
    point.Diffuse = {0.2f, 0.7f, 1.0f, 1};
    point.Specular = {0.5f, 0.5f, 0.5f, 1};
    point.Ambient = {0.0f, 0.1f, 0.0f, 1};
    point.Position = {1.0f, 1.0f, 2.0f};
    point.Range = 4.0f;
    point.Attenuation0 = 0.5f;
    point.Attenuation1 = 0.2f;
    point.Attenuation2 = 0.05f;
    D3DLIGHT8 spot = {};
    spot.Type = D3DLIGHT_SPOT;
    spot.Diffuse = {1.0f, 0.3f, 0.3f, 1};
    spot.Position = {0.0f, 0.0f, 0.0f};
    spot.Direction = {0.0f, 0.0f, 1.0f};
    spot.Range = 100.0f;
    spot.Attenuation0 = 1.0f;
    spot.Theta = 0.5f;
    spot.Phi = 1.2f;
    spot.Falloff = 2.0f;

    struct Setup {
        std::vector<D3DLIGHT8> lights;
        bool specular, localViewer;
    } setups[] = {
        {{dir}, false, false},  {{point}, false, false}, {{spot}, false, false}, {{dir, point, spot}, true, true},
        {{point}, true, false},
    };
    for (const Setup& setup : setups) {
        for (DWORD i = 0; i < 8; ++i) device->LightEnable(i, FALSE);
        for (size_t i = 0; i < setup.lights.size(); ++i) {
            ASSERT_EQ(device->SetLight(DWORD(i), &setup.lights[i]), D3D_OK);
            device->LightEnable(DWORD(i), TRUE);
        }
        device->SetRenderState(D3DRS_SPECULARENABLE, setup.specular);
        device->SetRenderState(D3DRS_LOCALVIEWER, setup.localViewer);
        device->SetVertexShader(kLitFvf);
        std::vector<LitVertex> points;
        for (int py = 2; py < 32; py += 5)
            for (int px = 2; px < 32; px += 5) {
                const float z = 1.5f + 0.1f * float(px + py);
                // Unnormalised normals, some facing away from the lights.
                Vec3 n{std::sin(px * 0.7) * 2, std::cos(py * 0.5) * 2, -1.5 + 0.1 * px};
                points.push_back(PointAt(px, py, z, n));
            }
        Clear(0);
        device->DrawPrimitiveUP(D3DPT_POINTLIST, UINT(points.size()), points.data(), sizeof(LitVertex));
        Read();
        for (const LitVertex& v : points) {
            const Vec3 p{v.x, v.y, v.z};
            const Vec3 n = Normalize(Vec3{v.nx, v.ny, v.nz});
            Terms t;
            for (const D3DLIGHT8& l : setup.lights) AddLight(l, p, n, m.Power, setup.localViewer, t);
            const double ga = 0x20 / 255.0;
            Color c{m.Emissive.r + m.Ambient.r * (ga + t.ambient.r) + m.Diffuse.r * t.diffuse.r,
                    m.Emissive.g + m.Ambient.g * (ga + t.ambient.g) + m.Diffuse.g * t.diffuse.g,
                    m.Emissive.b + m.Ambient.b * (ga + t.ambient.b) + m.Diffuse.b * t.diffuse.b};
            c = {std::min(1.0, c.r), std::min(1.0, c.g), std::min(1.0, c.b)};
            if (setup.specular)
                c = {c.r + std::min(1.0, m.Specular.r * t.specular.r), c.g + std::min(1.0, m.Specular.g * t.specular.g),
                     c.b + std::min(1.0, m.Specular.b * t.specular.b)};
            const int px = int(std::lround((v.x / v.z + 1) * 16)), py = int(std::lround((1 - v.y / v.z) * 16));
            const Rgb got = RgbAt(px, py);
            EXPECT_NEAR(got.r, Byte(c.r), 2) << px << "," << py;
            EXPECT_NEAR(got.g, Byte(c.g), 2) << px << "," << py;
            EXPECT_NEAR(got.b, Byte(c.b), 2) << px << "," << py;
        }
    }
}

TEST_F(ShadingTest, ColourSourcesAndLightingOff) {
    D3DMATERIAL8 m = {};
    m.Diffuse = {0.2f, 0.2f, 0.2f, 1.0f};
    device->SetMaterial(&m);
    D3DLIGHT8 dir = {};
    dir.Type = D3DLIGHT_DIRECTIONAL;
    dir.Diffuse = {1, 1, 1, 1};
    dir.Direction = {0, 0, 1};
    device->SetLight(0, &dir);
    device->LightEnable(0, TRUE);
    device->SetVertexShader(kLitFvf);
    LitVertex v = PointAt(10, 10, 2.0f, {0, 0, -1}, 0xFF406080);
    // Default sources: the diffuse comes from the vertex colour (COLOR1).
    Clear(0);
    device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &v, sizeof v);
    Read();
    EXPECT_EQ(At(10, 10), 0x406080u);
    // COLORVERTEX off: the material's.
    device->SetRenderState(D3DRS_COLORVERTEX, FALSE);
    Clear(0);
    device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &v, sizeof v);
    Read();
    EXPECT_NEAR(RgbAt(10, 10).r, 51, 1);
    // No normal: only ambient and emissive light the vertex: black here.
    device->SetRenderState(D3DRS_COLORVERTEX, TRUE);
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    struct Plain {
        float x, y, z;
        DWORD c;
    } plain = {v.x, v.y, v.z, 0xFF406080};
    Clear(0x00FFFFFF);
    device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &plain, sizeof plain);
    Read();
    EXPECT_EQ(At(10, 10), 0u);
    // Lighting off: the vertex colour, or white without one.
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    Clear(0);
    device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &plain, sizeof plain);
    Read();
    EXPECT_EQ(At(10, 10), 0x406080u);
    device->SetVertexShader(D3DFVF_XYZ);
    Clear(0);
    device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &plain, 16);
    Read();
    EXPECT_EQ(At(10, 10), 0xFFFFFFu);
}

// State nothing reads must not select another program: the arguments of
// stages after the first disabled one, and lighting values with lighting off.
TEST_F(ShadingTest, StateNothingReadsBuildsNoProgram) {
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetVertexShader(kLitFvf);
    const LitVertex v = PointAt(10, 10, 2.0f, {0, 0, -1}, 0xFF406080);
    auto draw = [&] {
        Clear(0);
        device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &v, sizeof v);
        Read();
        return At(10, 10);
    };
    ASSERT_EQ(draw(), 0x406080u);
    D3D8Stats before = {};
    D3D8_GetStats(device, &before);

    device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_ADD);
    device->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
    device->SetTextureStageState(2, D3DTSS_COLORARG2, D3DTA_SPECULAR);
    device->SetTextureStageState(2, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL);
    D3DLIGHT8 light = {};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = {1, 0, 0, 1};
    light.Range = 10;
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
    D3DMATERIAL8 m = {};
    m.Emissive = {1, 1, 1, 1};
    device->SetMaterial(&m);
    device->SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFF);
    device->SetRenderState(D3DRS_COLORVERTEX, FALSE);
    device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    device->SetRenderState(D3DRS_LOCALVIEWER, FALSE);
    EXPECT_EQ(draw(), 0x406080u);
    D3D8Stats after = {};
    D3D8_GetStats(device, &after);
    EXPECT_EQ(after.programsBuilt, before.programsBuilt);
    EXPECT_EQ(after.programsFailed, 0u);
    EXPECT_GT(after.bindHits, before.bindHits);  // the same program, kept bound

    // The control: lighting on does need another program.
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    EXPECT_NE(draw(), 0x406080u);
    D3D8_GetStats(device, &after);
    EXPECT_EQ(after.programsBuilt, before.programsBuilt + 1);
}

TEST_F(ShadingTest, LinearVertexFogOnCameraDepth) {
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    device->SetRenderState(D3DRS_FOGCOLOR, 0x00204080);
    device->SetRenderState(D3DRS_FOGSTART, F2D(2.0f));
    device->SetRenderState(D3DRS_FOGEND, F2D(10.0f));
    device->SetVertexShader(kLitFvf);
    std::vector<LitVertex> points;
    for (int i = 0; i < 12; ++i) points.push_back(PointAt(2 + 2 * i, 16, 1.0f + float(i), {0, 0, -1}, 0xFFF0C010));
    Clear(0);
    device->DrawPrimitiveUP(D3DPT_POINTLIST, UINT(points.size()), points.data(), sizeof(LitVertex));
    Read();
    for (int i = 0; i < 12; ++i) {
        const double d = 1.0 + i;
        const double f = std::min(1.0, std::max(0.0, (10.0 - d) / 8.0));
        const Rgb got = RgbAt(2 + 2 * i, 16);
        EXPECT_NEAR(got.r, f * 0xF0 + (1 - f) * 0x20, 2) << d;
        EXPECT_NEAR(got.g, f * 0xC0 + (1 - f) * 0x40, 2) << d;
        EXPECT_NEAR(got.b, f * 0x10 + (1 - f) * 0x80, 2) << d;
    }
    // Range fog uses the distance, not the depth.
    device->SetRenderState(D3DRS_RANGEFOGENABLE, TRUE);
    LitVertex off = PointAt(2, 2, 4.0f, {0, 0, -1}, 0xFFF0C010);
    Clear(0);
    device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &off, sizeof off);
    Read();
    const double dist = Length(Vec3{off.x, off.y, off.z});
    const double f = (10.0 - dist) / 8.0;
    EXPECT_NEAR(RgbAt(2, 2).r, f * 0xF0 + (1 - f) * 0x20, 2);
}

class StageTest : public GLDeviceTest {
protected:
    void SetUp() override {
        GLDeviceTest::SetUp();
        Open(8, 8, FALSE);
        Plain();
        device->SetVertexShader(TL_FVF);
        const uint32_t texel = 0x80C06020;  // alpha 0x80
        ASSERT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
        D3DLOCKED_RECT locked;
        texture->LockRect(0, &locked, nullptr, 0);
        std::memcpy(locked.pBits, &texel, 4);
        texture->UnlockRect(0);
    }
    void TearDown() override {
        if (texture) texture->Release();
        GLDeviceTest::TearDown();
    }
    Rgb Draw(DWORD diffuse, DWORD background = 0) {
        Clear(background);
        TLVertex q[4];
        TLQuad(q, -0.5f, -0.5f, 7.5f, 7.5f, diffuse);
        device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, q, sizeof(TLVertex));
        Read();
        return RgbAt(3, 3);
    }
    IDirect3DTexture8* texture = nullptr;
};

TEST_F(StageTest, ModulateAddAndSelect) {
    device->SetTexture(0, texture);
    const DWORD diffuse = 0xFF808040;
    Rgb c = Draw(diffuse);  // default: MODULATE(TEXTURE, CURRENT)
    EXPECT_NEAR(c.r, 0xC0 * 0x80 / 255.0, 1);
    EXPECT_NEAR(c.g, 0x60 * 0x80 / 255.0, 1);
    EXPECT_NEAR(c.b, 0x20 * 0x40 / 255.0, 1);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
    c = Draw(diffuse);
    EXPECT_EQ(c.r, 255);  // saturates
    EXPECT_NEAR(c.g, 0x60 + 0x80, 1);
    EXPECT_NEAR(c.b, 0x20 + 0x40, 1);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    c = Draw(diffuse);
    EXPECT_EQ(c.r, 0x80);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF112233);
    c = Draw(diffuse);
    EXPECT_EQ(c.r, 0x11);
    EXPECT_EQ(c.b, 0x33);
    // A second stage adding the texture to the first's result.
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTexture(1, texture);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    c = Draw(diffuse);
    EXPECT_NEAR(c.g, 2 * 0x60, 1);
    EXPECT_NEAR(c.b, 2 * 0x20, 1);
    // Alpha through the stages: modulated texture and diffuse alpha, shown by
    // blending over white.
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    c = Draw(0x80000000, 0x00FFFFFF);
    const double a = (0x80 / 255.0) * (0x80 / 255.0);
    EXPECT_NEAR(c.r, 255 * (1 - a), 2);
}

TEST_F(StageTest, TextureArgumentOnAnEmptyStageReadsTheCurrentColour) {
    // No texture: MODULATE(TEXTURE, CURRENT) gives the plain diffuse colour
    // and alpha (the show's overlays rely on it).
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    Rgb c = Draw(0xFF336699);
    EXPECT_EQ(c.r, 0x33);
    EXPECT_EQ(c.g, 0x66);
    EXPECT_EQ(c.b, 0x99);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    c = Draw(0x40FF0000, 0);
    EXPECT_NEAR(c.r, 0x40, 1);
    // A second, empty stage adding its "texture" changes nothing either.
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    c = Draw(0xFF336699);
    EXPECT_EQ(c.g, 0x66);
}

}  // namespace
