#pragma once
// Memory layouts of the Direct3D formats and vertex formats the stand-in
// supports, shared by the front end and both back ends.
#include <d3d8types.h>

#include <cstdint>
#include <vector>

namespace d3d8 {

struct FormatInfo {
    D3DFORMAT format = D3DFMT_UNKNOWN;
    UINT bytesPerPixel = 0;  // bytes per 4x4 block for block-compressed formats
    bool blockCompressed = false;
    bool texture = false;  // may be a texture
    bool depthStencil = false;
    bool display = false;  // may be a display / back-buffer format
    bool stencil = false;  // a depth format with stencil bits
};

// Null for a format the stand-in does not know.
const FormatInfo* FindFormat(D3DFORMAT format);

// Bytes between rows (of blocks, for compressed formats) and bytes of a whole
// level of width x height.
UINT FormatPitch(const FormatInfo& info, UINT width);
UINT FormatRows(const FormatInfo& info, UINT height);
UINT FormatLevelSize(const FormatInfo& info, UINT width, UINT height);
// Bytes an upload of the rectangle [left, right) x [top, bottom) of a level
// of width x height sends: compressed levels go whole.
UINT FormatUploadSize(const FormatInfo& info, UINT width, UINT height, LONG left, LONG top, LONG right, LONG bottom);

// Whether a depth format has stencil bits.
bool FormatHasStencil(D3DFORMAT format);

// Every known format with this property (texture, depthStencil, ...), in
// table order.
std::vector<D3DFORMAT> FormatsWith(bool FormatInfo::*property);

// Number of levels of a full mipmap chain down to 1x1.
UINT FullMipCount(UINT width, UINT height);

// Where each component of a flexible vertex format lies; -1 = absent.
struct FvfLayout {
    DWORD fvf = 0;
    UINT stride = 0;
    int position = -1;
    bool rhw = false;  // D3DFVF_XYZRHW: pre-transformed
    UINT weights = 0;  // blend weights stored after the position
    int normal = -1;
    int pointSize = -1;
    int diffuse = -1;
    int specular = -1;
    UINT texCount = 0;
    int tex[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    UINT texSize[8] = {};  // floats per set
};

// False for codes that are not a valid fixed-function vertex format.
bool DecodeFvf(DWORD fvf, FvfLayout& layout);

// Vertices a primitive count needs; 0 for an unknown type.
UINT VertexCountOf(D3DPRIMITIVETYPE type, UINT primitiveCount);

}  // namespace d3d8
