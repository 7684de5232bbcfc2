// A plain Direct3D 8 program reading back its own frames, as one written for
// Windows would: a lockable back buffer, GetFrontBuffer and CopyRects, each
// compared with D3D8_ReadBackBuffer; and Reset to other sizes.
#include "d3d8/gl/gldevice.h"
#include "d3d8_fixture.h"

namespace {

using namespace d3d8test;

class ReadBackTest : public GLDeviceTest {
protected:
    // Red background, a green rectangle in the top-left quarter.
    void DrawFrame() {
        Plain();
        device->SetVertexShader(TL_FVF);
        Clear(0xFF0000);
        device->BeginScene();
        TLVertex quad[4];
        TLQuad(quad, 0, 0, float(w) / 2, float(h) / 2, 0xFF00FF00);
        device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(TLVertex));
        device->EndScene();
    }

    IDirect3DSurface8* Image(UINT width, UINT height, D3DFORMAT format) {
        IDirect3DSurface8* s = nullptr;
        EXPECT_EQ(device->CreateImageSurface(width, height, format, &s), D3D_OK);
        return s;
    }

    // Rows of a locked 32-bit surface against the frame read back.
    void ExpectSameAsFrame(const D3DLOCKED_RECT& locked, const char* what) {
        int differ = 0;
        for (UINT y = 0; y < h; ++y)
            for (UINT x = 0; x < w; ++x) {
                const uint32_t p = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(locked.pBits) +
                                                                     size_t(y) * locked.Pitch)[x];
                differ += (p & 0xFFFFFF) != At(int(x), int(y));
            }
        EXPECT_EQ(differ, 0) << what;
    }
};

TEST_F(ReadBackTest, LockableBackBufferFrontBufferAndCopyRectsShowTheFrame) {
    Open(64, 48, TRUE, D3DPRESENTFLAG_LOCKABLE_BACKBUFFER);
    DrawFrame();
    Read();
    ASSERT_EQ(At(5, 5), 0x00FF00u);
    ASSERT_EQ(At(50, 40), 0xFF0000u);

    IDirect3DSurface8* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(back->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    ExpectSameAsFrame(locked, "read-only lock");
    EXPECT_EQ(back->UnlockRect(), D3D_OK);

    // Written pixels reach the frame; the rest of it stays.
    const RECT blue = {40, 4, 48, 12};
    ASSERT_EQ(back->LockRect(&locked, &blue, 0), D3D_OK);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch)[x] = 0x0000FF;
    EXPECT_EQ(back->UnlockRect(), D3D_OK);
    Read();
    EXPECT_EQ(At(40, 4), 0x0000FFu);
    EXPECT_EQ(At(47, 11), 0x0000FFu);
    EXPECT_EQ(At(48, 12), 0xFF0000u);
    EXPECT_EQ(At(5, 5), 0x00FF00u);

    IDirect3DSurface8* copy = Image(w, h, D3DFMT_X8R8G8B8);
    ASSERT_EQ(device->CopyRects(back, nullptr, 0, copy, nullptr), D3D_OK);
    ASSERT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    ExpectSameAsFrame(locked, "CopyRects");
    copy->UnlockRect();

    // The front buffer keeps the presented frame while the next is drawn.
    const std::vector<uint32_t> presented = frame;
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    Clear(0x123456);
    IDirect3DSurface8* front = Image(w + 8, h + 8, D3DFMT_A8R8G8B8);
    ASSERT_EQ(device->GetFrontBuffer(front), D3D_OK);
    ASSERT_EQ(front->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    ExpectSameAsFrame(locked, "GetFrontBuffer");
    front->UnlockRect();

    // Refused: a bad rectangle, another format, a surface too small, a
    // copy into the back buffer.
    const RECT outside = {60, 40, 70, 50};
    EXPECT_EQ(back->LockRect(&locked, &outside, 0), D3DERR_INVALIDCALL);
    IDirect3DSurface8* small = Image(w - 1, h, D3DFMT_A8R8G8B8);
    IDirect3DSurface8* wide = Image(w, h, D3DFMT_R5G6B5);
    EXPECT_EQ(device->GetFrontBuffer(small), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetFrontBuffer(wide), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CopyRects(back, nullptr, 0, wide, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CopyRects(copy, nullptr, 0, back, nullptr), D3DERR_INVALIDCALL);
    const RECT part = {0, 0, 16, 16};
    const POINT past = {LONG(w) - 8, 0};
    EXPECT_EQ(device->CopyRects(back, &part, 1, copy, &past), D3DERR_INVALIDCALL);
    for (IDirect3DSurface8* s : {back, copy, front, small, wide}) s->Release();
}

TEST_F(ReadBackTest, WithoutTheFlagTheBackBufferDoesNotLockAndTheFrontIsKeptOnDemand) {
    Open(32, 32);
    IDirect3DSurface8* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(back->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3DERR_INVALIDCALL);
    // Copying out of it is still allowed.
    DrawFrame();
    Read();
    IDirect3DSurface8* copy = Image(w, h, D3DFMT_X8R8G8B8);
    ASSERT_EQ(device->CopyRects(back, nullptr, 0, copy, nullptr), D3D_OK);
    ASSERT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    ExpectSameAsFrame(locked, "CopyRects");
    copy->UnlockRect();

    // No copy of each presented frame is kept until the front buffer is
    // asked for; the first request still sees the frame just presented, and
    // from then on the device keeps it while the next one is drawn.
    IDirect3DSurface8* front = Image(w, h, D3DFMT_A8R8G8B8);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(device->GetFrontBuffer(front), D3D_OK);
    ASSERT_EQ(front->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    ExpectSameAsFrame(locked, "first GetFrontBuffer");
    front->UnlockRect();
    DrawFrame();
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    Clear(0x123456);
    ASSERT_EQ(device->GetFrontBuffer(front), D3D_OK);
    ASSERT_EQ(front->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    ExpectSameAsFrame(locked, "later GetFrontBuffer");
    front->UnlockRect();
    for (IDirect3DSurface8* s : {back, copy, front}) s->Release();
}

TEST_F(ReadBackTest, ResetToAnotherSizeAndBack) {
    Open(64, 64);
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(96, D3DUSAGE_WRITEONLY, TL_FVF, D3DPOOL_DEFAULT, &vb), D3D_OK);
    D3DPRESENT_PARAMETERS p = {};
    p.Windowed = TRUE;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.BackBufferWidth = 40;
    p.BackBufferHeight = 30;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D24S8;
    EXPECT_EQ(device->Reset(&p), D3DERR_INVALIDCALL) << "a default-pool buffer is alive";
    vb->Release();
    ASSERT_EQ(device->Reset(&p), D3D_OK);
    EXPECT_EQ(p.BackBufferFormat, D3DFMT_X8R8G8B8) << "completed from the desktop";
    UINT rw = 0, rh = 0;
    D3D8_ReadBackBuffer(device, nullptr, 0, &rw, &rh);
    EXPECT_EQ(rw, 40u);
    EXPECT_EQ(rh, 30u);
    D3DVIEWPORT8 vp;
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 40u);
    w = 40;
    h = 30;
    DrawFrame();
    Read();
    EXPECT_EQ(At(2, 2), 0x00FF00u);
    EXPECT_EQ(At(39, 29), 0xFF0000u);

    p.BackBufferWidth = 64;
    p.BackBufferHeight = 64;
    ASSERT_EQ(device->Reset(&p), D3D_OK);
    w = h = 64;
    DrawFrame();
    Read();
    EXPECT_EQ(At(31, 31), 0x00FF00u);
    EXPECT_EQ(At(32, 32), 0xFF0000u);
}

TEST(PresentScaling, ThePictureKeepsItsShapeCentredBetweenBlackBars) {
    const d3d8::PictureRect wide = d3d8::FitPicture(640, 480, 1920, 1080);
    EXPECT_EQ(wide.x, 240);
    EXPECT_EQ(wide.y, 0);
    EXPECT_EQ(wide.w, 1440);
    EXPECT_EQ(wide.h, 1080);
    const d3d8::PictureRect tall = d3d8::FitPicture(1280, 720, 1280, 1024);
    EXPECT_EQ(tall.x, 0);
    EXPECT_EQ(tall.y, 152);
    EXPECT_EQ(tall.h, 720);
    const d3d8::PictureRect same = d3d8::FitPicture(800, 600, 800, 600);
    EXPECT_EQ(same.w, 800);
    EXPECT_EQ(same.x, 0);
}

}  // namespace
