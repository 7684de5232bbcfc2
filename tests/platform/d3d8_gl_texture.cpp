// Textures through the GL back end: every format of the texture factory's
// table and DXT1 to DXT5 read back texel for texel, addressing, filtering
// and texture coordinate transforms. Tolerances: widening a 4-, 5- or 6-bit
// channel to the 8-bit frame may round either way (1 step); filtering and
// DXT interpolation use the implementation's fixed-point weights (2 steps).
#include "d3d8_fixture.h"

namespace {

using namespace d3d8test;

int Widen(unsigned v, unsigned bits) {
    const double max = double((1u << bits) - 1);
    return int(v / max * 255.0 + 0.5);
}

class TextureTest : public GLDeviceTest {
protected:
    void SetUp() override {
        GLDeviceTest::SetUp();
        Open(16, 16, FALSE);
        Plain();
        device->SetVertexShader(TL_FVF);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    }

    IDirect3DTexture8* Make(UINT width, UINT height, D3DFORMAT format, const void* texels, UINT rowBytes, UINT rows) {
        IDirect3DTexture8* t = nullptr;
        EXPECT_EQ(device->CreateTexture(width, height, 1, 0, format, D3DPOOL_MANAGED, &t), D3D_OK);
        if (!t) return nullptr;
        D3DLOCKED_RECT locked;
        EXPECT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < rows; ++y)
            std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch,
                        static_cast<const uint8_t*>(texels) + y * rowBytes, rowBytes);
        EXPECT_EQ(t->UnlockRect(0), D3D_OK);
        return t;
    }

    // Draws the texture texel-exact over the top-left width x height pixels.
    void DrawTexelExact(IDirect3DTexture8* t, UINT width, UINT height, bool alpha = false) {
        device->SetTexture(0, t);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, alpha ? D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE : D3DTA_TEXTURE);
        Clear(0x00FF00FF);
        TLVertex q[4];
        TLQuad(q, -0.5f, -0.5f, float(width) - 0.5f, float(height) - 0.5f, 0xFFFFFFFF);
        device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, q, sizeof(TLVertex));
        Read();
    }
};

struct PackedCase {
    D3DFORMAT format;
    UINT bytes;
    // Channel positions and sizes: alpha, red, green, blue (size 0 = absent).
    int aShift, aBits, rShift, rBits, gShift, gBits, bShift, bBits;
};

TEST_F(TextureTest, EveryPackedFormatRoundTrips) {
    const PackedCase cases[] = {
        {D3DFMT_A8R8G8B8, 4, 24, 8, 16, 8, 8, 8, 0, 8}, {D3DFMT_X8R8G8B8, 4, 24, 0, 16, 8, 8, 8, 0, 8},
        {D3DFMT_R8G8B8, 3, 0, 0, 16, 8, 8, 8, 0, 8},    {D3DFMT_R5G6B5, 2, 0, 0, 11, 5, 5, 6, 0, 5},
        {D3DFMT_X1R5G5B5, 2, 15, 0, 10, 5, 5, 5, 0, 5}, {D3DFMT_A1R5G5B5, 2, 15, 1, 10, 5, 5, 5, 0, 5},
        {D3DFMT_A4R4G4B4, 2, 12, 4, 8, 4, 4, 4, 0, 4},  {D3DFMT_X4R4G4B4, 2, 12, 0, 8, 4, 4, 4, 0, 4},
        {D3DFMT_A8R3G3B2, 2, 8, 8, 5, 3, 2, 3, 0, 2},   {D3DFMT_R3G3B2, 1, 0, 0, 5, 3, 2, 3, 0, 2},
    };
    for (const PackedCase& c : cases) {
        SCOPED_TRACE(c.format);
        // 5 x 3 texels (odd sizes, rows not aligned) with varied patterns.
        const UINT tw = 5, th = 3;
        std::vector<uint32_t> values(tw * th);
        std::vector<uint8_t> bytes(tw * th * c.bytes);
        for (UINT i = 0; i < tw * th; ++i) {
            const uint32_t v = (0x9E3779B9u * (i + 1)) ^ (0x85EBCA6Bu * (i + 7) >> 3);
            values[i] = c.bytes == 4 ? v : v & ((1u << (8 * c.bytes)) - 1);
            std::memcpy(&bytes[i * c.bytes], &values[i], c.bytes);
        }
        IDirect3DTexture8* t = Make(tw, th, c.format, bytes.data(), tw * c.bytes, th);
        ASSERT_NE(t, nullptr);
        auto channel = [](uint32_t v, int shift, int bits) {
            return bits ? Widen((v >> shift) & ((1u << bits) - 1), bits) : 255;
        };
        DrawTexelExact(t, tw, th);
        for (UINT y = 0; y < th; ++y)
            for (UINT x = 0; x < tw; ++x) {
                const uint32_t v = values[y * tw + x];
                const Rgb got = RgbAt(int(x), int(y));
                EXPECT_NEAR(got.r, channel(v, c.rShift, c.rBits), 1) << x << "," << y;
                EXPECT_NEAR(got.g, channel(v, c.gShift, c.gBits), 1) << x << "," << y;
                EXPECT_NEAR(got.b, channel(v, c.bShift, c.bBits), 1) << x << "," << y;
            }
        EXPECT_EQ(At(int(tw), 0), 0xFF00FFu);  // nothing beyond the texture's pixels
        DrawTexelExact(t, tw, th, true);
        for (UINT y = 0; y < th; ++y)
            for (UINT x = 0; x < tw; ++x)
                EXPECT_NEAR(RgbAt(int(x), int(y)).r, channel(values[y * tw + x], c.aShift, c.aBits), 1)
                    << "alpha " << x << "," << y;
        t->Release();
    }
}

// DXT blocks built here, decoded by the rules of the S3TC formats.
struct Color565 {
    int r, g, b;
};
Color565 Expand565(uint16_t c) { return {Widen(c >> 11, 5), Widen((c >> 5) & 63, 6), Widen(c & 31, 5)}; }

TEST_F(TextureTest, DxtBlocksDecode) {
    const uint16_t c0 = 0xF800 | (20 << 5) | 3;      // reddish
    const uint16_t c1 = (4 << 11) | (50 << 5) | 28;  // greenish blue
    // Texel i of the 4x4 block uses index i % 4.
    const uint32_t indices = 0xE4E4E4E4;  // 0,1,2,3 in every row
    uint8_t dxt1[8];
    std::memcpy(dxt1, &c0, 2);
    std::memcpy(dxt1 + 2, &c1, 2);
    std::memcpy(dxt1 + 4, &indices, 4);
    const Color565 e0 = Expand565(c0), e1 = Expand565(c1);
    auto mix = [](int a, int b, int wa, int wb) { return (a * wa + b * wb) / double(wa + wb); };
    const double expectR[4] = {double(e0.r), double(e1.r), mix(e0.r, e1.r, 2, 1), mix(e0.r, e1.r, 1, 2)};
    const double expectG[4] = {double(e0.g), double(e1.g), mix(e0.g, e1.g, 2, 1), mix(e0.g, e1.g, 1, 2)};

    IDirect3DTexture8* t = Make(4, 4, D3DFMT_DXT1, dxt1, 8, 1);
    ASSERT_NE(t, nullptr);
    DrawTexelExact(t, 4, 4);
    for (int x = 0; x < 4; ++x) {
        EXPECT_NEAR(RgbAt(x, 2).r, expectR[x], 2) << x;
        EXPECT_NEAR(RgbAt(x, 2).g, expectG[x], 2) << x;
    }
    t->Release();

    // c0 <= c1: three colours and transparent black at index 3.
    uint8_t punch[8];
    std::memcpy(punch, &c1, 2);
    std::memcpy(punch + 2, &c0, 2);
    std::memcpy(punch + 4, &indices, 4);
    t = Make(4, 4, D3DFMT_DXT1, punch, 8, 1);
    DrawTexelExact(t, 4, 4, true);
    EXPECT_EQ(RgbAt(0, 0).r, 255);
    EXPECT_EQ(RgbAt(3, 0).r, 0);  // alpha 0
    DrawTexelExact(t, 4, 4);
    EXPECT_NEAR(RgbAt(2, 1).r, mix(e1.r, e0.r, 1, 1), 2);
    t->Release();

    // DXT3: explicit 4-bit alpha, texel i has alpha i.
    uint8_t dxt3[16];
    for (int i = 0; i < 8; ++i) dxt3[i] = uint8_t((2 * i) | ((2 * i + 1) << 4));
    std::memcpy(dxt3 + 8, dxt1, 8);
    for (D3DFORMAT f : {D3DFMT_DXT2, D3DFMT_DXT3}) {
        t = Make(4, 4, f, dxt3, 16, 1);
        DrawTexelExact(t, 4, 4, true);
        for (int i = 0; i < 16; ++i) EXPECT_NEAR(RgbAt(i % 4, i / 4).r, Widen(unsigned(i), 4), 1) << "dxt3 " << i;
        t->Release();
    }

    // DXT5: alpha 0 = 255, alpha 1 = 0, eight-step ramp; texel i uses index i % 8.
    uint8_t dxt5[16] = {255, 0};
    uint64_t bits = 0;
    for (int i = 0; i < 16; ++i) bits |= uint64_t(i % 8) << (3 * i);
    std::memcpy(dxt5 + 2, &bits, 6);
    std::memcpy(dxt5 + 8, dxt1, 8);
    const double alphas[8] = {
        255, 0, 255 * 6 / 7.0, 255 * 5 / 7.0, 255 * 4 / 7.0, 255 * 3 / 7.0, 255 * 2 / 7.0, 255 * 1 / 7.0};
    for (D3DFORMAT f : {D3DFMT_DXT4, D3DFMT_DXT5}) {
        t = Make(4, 4, f, dxt5, 16, 1);
        DrawTexelExact(t, 4, 4, true);
        for (int i = 0; i < 16; ++i) EXPECT_NEAR(RgbAt(i % 4, i / 4).r, alphas[i % 8], 2) << "dxt5 " << i;
        t->Release();
    }
}

TEST_F(TextureTest, LockedSubRectangleUploadsOnlyItsTexels) {
    uint32_t texels[4 * 4];
    for (uint32_t& t : texels) t = 0xFF000080;
    IDirect3DTexture8* t = Make(4, 4, D3DFMT_A8R8G8B8, texels, 16, 4);
    RECT r = {1, 2, 3, 3};
    D3DLOCKED_RECT locked;
    ASSERT_EQ(t->LockRect(0, &locked, &r, 0), D3D_OK);
    uint32_t* row = static_cast<uint32_t*>(locked.pBits);
    row[0] = 0xFFFF0000;
    row[1] = 0xFF00FF00;
    t->UnlockRect(0);
    DrawTexelExact(t, 4, 4);
    EXPECT_EQ(At(1, 2), 0xFF0000u);
    EXPECT_EQ(At(2, 2), 0x00FF00u);
    EXPECT_EQ(At(0, 2), 0x000080u);
    EXPECT_EQ(At(1, 1), 0x000080u);
    t->Release();
}

TEST_F(TextureTest, WrapAndClampAddressing) {
    // A 2x1 texture, black then white, drawn over 8 pixels with u from -1 to 3.
    const uint32_t texels[2] = {0xFF000000, 0xFFFFFFFF};
    IDirect3DTexture8* t = Make(2, 1, D3DFMT_A8R8G8B8, texels, 8, 1);
    device->SetTexture(0, t);
    TLVertex q[4];
    TLQuad(q, -0.5f, -0.5f, 7.5f, 0.5f, 0xFFFFFFFF, -1, 0, 3, 1);
    device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
    Clear(0);
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, q, sizeof(TLVertex));
    Read();
    // Pixel i samples u = -1 + (i + 0.5) / 2: texel floor(2u) mod 2.
    for (int i = 0; i < 8; ++i) EXPECT_EQ(At(i, 0), (i % 2) ? 0xFFFFFFu : 0u) << "wrap " << i;
    device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    Clear(0);
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, q, sizeof(TLVertex));
    Read();
    const uint32_t clamped[8] = {0, 0, 0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(At(i, 0), clamped[i]) << "clamp " << i;
    t->Release();
}

TEST_F(TextureTest, LinearFilteringBlendsNeighbours) {
    const uint32_t texels[2] = {0xFF000000, 0xFFFFFFFF};
    IDirect3DTexture8* t = Make(2, 1, D3DFMT_A8R8G8B8, texels, 8, 1);
    device->SetTexture(0, t);
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    TLVertex q[4];
    TLQuad(q, -0.5f, -0.5f, 3.5f, 0.5f, 0xFFFFFFFF);
    Clear(0);
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, q, sizeof(TLVertex));
    Read();
    // Pixel i samples texel coordinate (i + 0.5) / 2 - 0.5.
    const double expected[4] = {0, 0.25 * 255, 0.75 * 255, 255};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(RgbAt(i, 0).r, expected[i], 2) << i;
    t->Release();
}

struct NormalVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};

TEST_F(TextureTest, TextureMatrixWithCount2ShiftsPassedThroughCoordinates) {
    // 4x1 texture: four colours; the matrix adds 0.25 to u through _31
    // (passed-through coordinates are (u, v, 1, 0)).
    const uint32_t texels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    IDirect3DTexture8* t = Make(4, 1, D3DFMT_A8R8G8B8, texels, 16, 1);
    device->SetTexture(0, t);
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    D3DMATRIX m = {};
    m._11 = m._22 = m._33 = m._44 = 1;
    m._31 = 0.25f;
    m._41 = 100.0f;  // row 4 is not a translation for (u, v, 1, 0)
    device->SetTransform(D3DTS_TEXTURE0, &m);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    // A quad over the left half of the screen in clip space, u 0..1.
    NormalVertex q[4] = {{-1, 1, 0.5f, 0, 0, -1, 0, 0},
                         {0, 1, 0.5f, 0, 0, -1, 1, 0},
                         {0, -1, 0.5f, 0, 0, -1, 1, 1},
                         {-1, -1, 0.5f, 0, 0, -1, 0, 1}};
    Clear(0);
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, q, sizeof(NormalVertex));
    Read();
    // Screen pixels 0..7 cover u 0..1; pixel 0 samples u 0.0625 + 0.25 -> texel 1.
    EXPECT_EQ(At(0, 8), 0x00FF00u);
    EXPECT_EQ(At(3, 8), 0x0000FFu);
    EXPECT_EQ(At(5, 8), 0xFFFFFFu);
    EXPECT_EQ(At(7, 8), 0xFF0000u);  // u 1.19: wrapped to texel 0
    t->Release();
}

TEST_F(TextureTest, SphereMapFromCameraSpaceNormals) {
    // 2x2 texture: the generated (n, 1) times the sphere-map matrix gives
    // u = 0.5 nx + 0.5, v = 0.5 ny + 0.5 (row 4 is the translation).
    const uint32_t texels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00};
    IDirect3DTexture8* t = Make(2, 2, D3DFMT_A8R8G8B8, texels, 8, 2);
    device->SetTexture(0, t);
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    D3DMATRIX m = {};
    m._11 = 0.5f;
    m._22 = 0.5f;
    m._41 = 0.5f;
    m._42 = 0.5f;
    m._44 = 1;
    device->SetTransform(D3DTS_TEXTURE0, &m);
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    // A rotated view: camera-space normals, not world ones, pick the texel.
    D3DMATRIX view = {};
    view._12 = 1;   // x -> y
    view._21 = -1;  // y -> -x
    view._33 = view._44 = 1;
    device->SetTransform(D3DTS_VIEW, &view);
    const float nz = 0.5291503f;
    auto draw = [&](float nx, float ny) {
        NormalVertex q[4];
        const float pos[4][2] = {{-1, 1}, {1, 1}, {1, -1}, {-1, -1}};
        for (int i = 0; i < 4; ++i)  // positions given in camera space: undo the view
            q[i] = {-pos[i][1], pos[i][0], 0.5f, nx, ny, -nz, 0, 0};
        Clear(0);
        device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, q, sizeof(NormalVertex));
        Read();
        return At(8, 8);
    };
    // Camera normal (0.6, -0.6): u 0.8 (column 1), v 0.2 (row 0) -> texels[1].
    EXPECT_EQ(draw(-0.6f, -0.6f), 0x00FF00u);
    // Camera normal (-0.6, 0.6): u 0.2, v 0.8 -> texels[2].
    EXPECT_EQ(draw(0.6f, 0.6f), 0x0000FFu);
    // Camera normal (0.6, 0.6): u 0.8, v 0.8 -> texels[3].
    EXPECT_EQ(draw(0.6f, -0.6f), 0xFFFF00u);
    // Unnormalised normals are normalised first with NORMALIZENORMALS.
    EXPECT_EQ(draw(-6.0f, -6.0f), 0x00FF00u);
    t->Release();
}

}  // namespace
