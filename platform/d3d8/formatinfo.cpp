#include "formatinfo.h"

#include <algorithm>

namespace d3d8 {
namespace {

const FormatInfo kFormats[] = {
    {D3DFMT_A8R8G8B8, 4, false, true, false, true},     {D3DFMT_X8R8G8B8, 4, false, true, false, true},
    {D3DFMT_R8G8B8, 3, false, true, false, false},      {D3DFMT_R5G6B5, 2, false, true, false, true},
    {D3DFMT_X1R5G5B5, 2, false, true, false, true},     {D3DFMT_A1R5G5B5, 2, false, true, false, false},
    {D3DFMT_A4R4G4B4, 2, false, true, false, false},    {D3DFMT_X4R4G4B4, 2, false, true, false, false},
    {D3DFMT_A8R3G3B2, 2, false, true, false, false},    {D3DFMT_R3G3B2, 1, false, true, false, false},
    {D3DFMT_DXT1, 8, true, true, false, false},         {D3DFMT_DXT2, 16, true, true, false, false},
    {D3DFMT_DXT3, 16, true, true, false, false},        {D3DFMT_DXT4, 16, true, true, false, false},
    {D3DFMT_DXT5, 16, true, true, false, false},        {D3DFMT_D16, 2, false, false, true, false},
    {D3DFMT_D15S1, 2, false, false, true, false, true}, {D3DFMT_D24S8, 4, false, false, true, false, true},
    {D3DFMT_D24X8, 4, false, false, true, false},       {D3DFMT_D24X4S4, 4, false, false, true, false, true},
    {D3DFMT_D32, 4, false, false, true, false},
};

}  // namespace

const FormatInfo* FindFormat(D3DFORMAT format) {
    for (const FormatInfo& info : kFormats)
        if (info.format == format) return &info;
    return nullptr;
}

UINT FormatPitch(const FormatInfo& info, UINT width) {
    if (info.blockCompressed) return std::max(1u, (width + 3) / 4) * info.bytesPerPixel;
    return width * info.bytesPerPixel;
}

UINT FormatRows(const FormatInfo& info, UINT height) {
    return info.blockCompressed ? std::max(1u, (height + 3) / 4) : height;
}

UINT FormatLevelSize(const FormatInfo& info, UINT width, UINT height) {
    return FormatPitch(info, width) * FormatRows(info, height);
}

UINT FormatUploadSize(const FormatInfo& info, UINT width, UINT height, LONG left, LONG top, LONG right, LONG bottom) {
    if (info.blockCompressed) return FormatLevelSize(info, width, height);
    return UINT(right - left) * UINT(bottom - top) * info.bytesPerPixel;
}

bool FormatHasStencil(D3DFORMAT format) {
    const FormatInfo* info = FindFormat(format);
    return info && info->stencil;
}

std::vector<D3DFORMAT> FormatsWith(bool FormatInfo::*property) {
    std::vector<D3DFORMAT> formats;
    for (const FormatInfo& info : kFormats)
        if (info.*property) formats.push_back(info.format);
    return formats;
}

UINT FullMipCount(UINT width, UINT height) {
    UINT levels = 1;
    while (width > 1 || height > 1) {
        width = std::max(1u, width / 2);
        height = std::max(1u, height / 2);
        ++levels;
    }
    return levels;
}

bool DecodeFvf(DWORD fvf, FvfLayout& layout) {
    layout = FvfLayout();
    layout.fvf = fvf;
    if (fvf & (D3DFVF_RESERVED0 | D3DFVF_RESERVED2)) return false;
    UINT offset = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
    case 0: break;
    case D3DFVF_XYZ:
        layout.position = 0;
        offset = 12;
        break;
    case D3DFVF_XYZRHW:
        layout.position = 0;
        layout.rhw = true;
        offset = 16;
        break;
    default: {
        // XYZB1..XYZB5: the position then 1 to 5 weights.
        UINT weights = ((fvf & D3DFVF_POSITION_MASK) - D3DFVF_XYZB1) / 2 + 1;
        layout.position = 0;
        layout.weights = weights;
        offset = 12 + 4 * weights;
        break;
    }
    }
    if ((fvf & D3DFVF_LASTBETA_UBYTE4) && layout.weights == 0) return false;
    if (fvf & D3DFVF_NORMAL) {
        layout.normal = int(offset);
        offset += 12;
    }
    if (fvf & D3DFVF_PSIZE) {
        layout.pointSize = int(offset);
        offset += 4;
    }
    if (fvf & D3DFVF_DIFFUSE) {
        layout.diffuse = int(offset);
        offset += 4;
    }
    if (fvf & D3DFVF_SPECULAR) {
        layout.specular = int(offset);
        offset += 4;
    }
    layout.texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (layout.texCount > 8) return false;
    for (UINT i = 0; i < layout.texCount; ++i) {
        static const UINT kSizes[4] = {2, 3, 4, 1};  // D3DFVF_TEXTUREFORMAT2, 3, 4, 1
        UINT size = kSizes[(fvf >> (16 + 2 * i)) & 3];
        layout.tex[i] = int(offset);
        layout.texSize[i] = size;
        offset += 4 * size;
    }
    layout.stride = offset;
    return true;
}

UINT VertexCountOf(D3DPRIMITIVETYPE type, UINT primitiveCount) {
    switch (type) {
    case D3DPT_POINTLIST: return primitiveCount;
    case D3DPT_LINELIST: return primitiveCount * 2;
    case D3DPT_LINESTRIP: return primitiveCount + 1;
    case D3DPT_TRIANGLELIST: return primitiveCount * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return primitiveCount + 2;
    default: return 0;
    }
}

}  // namespace d3d8
