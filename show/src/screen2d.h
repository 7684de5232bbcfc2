#pragma once
#include <cstdint>
#include <d3d8.h>

class Device3D;

// The show's screen-space vertex: position, diffuse colour, one texture
// coordinate pair (24 bytes).
struct ScreenVertex {
    float x, y, z;
    D3DCOLOR diffuse;
    float u, v;
};
constexpr DWORD SCREEN_FVF = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;  // 322
static_assert(sizeof(ScreenVertex) == 24);

// The projection under which a point at depth z with x, y in -z..z covers the
// screen: rows (1,0,0,0) (0,1,0,0) (0,0,1,1) (0,0,-1,0).
D3DMATRIX ScreenProjection();
D3DMATRIX IdentityMatrix();

// World and view identity, projection ScreenProjection().
void SetScreenTransforms(IDirect3DDevice8* device);

// White (or the low 24 bits of colour) with alpha clamped to 0..255 and
// truncated in the top byte.
D3DCOLOR AlphaColour(uint32_t colour, float alpha);

// The show's 2D state, set after loading and at the end of every frame.
void SetShow2DState(IDirect3DDevice8* device);

void Begin2D(Device3D& device);
void End2D(Device3D& device);
void Overlay(Device3D& device, uint32_t colour, float alpha);
void Sprite(Device3D& device, IDirect3DTexture8* texture, float sx, float sy, uint32_t colour, float alpha);

// The frame-grab hook: grabs are not written anywhere.
void GrabFrame(Device3D& device);
