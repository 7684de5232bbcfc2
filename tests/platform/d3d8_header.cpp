// The declarations keep Direct3D 8's documented names, numbers and calling
// shapes, so code written against the real interface compiles unchanged.
#include <d3d8.h>
#include <gtest/gtest.h>

#include <cstddef>

namespace {

// Never run: only has to compile, in the shapes Direct3D 8 programs use.
[[maybe_unused]] void CallShapes(IDirect3DDevice8* device, LPDIRECT3DTEXTURE8 texture) {
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTexture(0, texture);
    D3DMATRIX m = {};
    m._11 = m.m[1][1] = 1.0f;
    device->SetTransform(D3DTS_WORLD, &m);
    device->SetTransform(D3DTS_TEXTURE0, &m);
    device->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    device->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    device->Present(NULL, NULL, NULL, NULL);
    IDirect3DSurface8* surface = NULL;
    if (SUCCEEDED(device->GetRenderTarget(&surface))) {
        D3DSURFACE_DESC desc;
        surface->GetDesc(&desc);
        surface->Release();
    }
    LPDIRECT3DVERTEXBUFFER8 vb = NULL;
    device->CreateVertexBuffer(96, D3DUSAGE_WRITEONLY, 322, D3DPOOL_DEFAULT, &vb);
    BYTE* data = NULL;
    vb->Lock(0, 0, &data, D3DLOCK_DISCARD);
    vb->Unlock();
    device->SetStreamSource(0, vb, 24);
    vb->Release();
}

TEST(D3D8Header, DocumentedNumbers) {
    EXPECT_EQ(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, 322);
    EXPECT_EQ(D3DFVF_XYZRHW | D3DFVF_TEX1, 0x104);
    EXPECT_EQ(D3DTS_WORLD, 256);
    EXPECT_EQ(D3DFMT_DXT1, 0x31545844);
    EXPECT_EQ(D3DFMT_D24S8, 75);
    EXPECT_EQ(D3DRS_BLENDOP, 171);
    EXPECT_EQ(D3DTSS_TEXTURETRANSFORMFLAGS, 24);
    EXPECT_EQ((uint32_t)D3DERR_INVALIDCALL, 0x8876086Cu);
    EXPECT_EQ((uint32_t)D3DERR_NOTAVAILABLE, 0x8876086Au);
    EXPECT_EQ(D3DCOLOR_ARGB(1, 2, 3, 4), 0x01020304u);
    EXPECT_EQ(sizeof(D3DMATRIX), 64u);
    EXPECT_EQ(sizeof(D3DLIGHT8), 104u);
    EXPECT_EQ(sizeof(D3DMATERIAL8), 68u);
    EXPECT_EQ(sizeof(D3DPRESENT_PARAMETERS), 56u);
    EXPECT_EQ(offsetof(D3DADAPTER_IDENTIFIER8, Description), 512u);
}

}  // namespace
