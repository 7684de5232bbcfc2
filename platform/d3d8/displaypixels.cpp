#include "displaypixels.h"

#include <cstring>

namespace d3d8 {
namespace {

// Widens an n-bit channel to 8 bits the way hardware does: the top bits
// repeat in the low ones, so full intensity stays 0xFF.
uint32_t Widen(uint32_t v, int bits) { return (v << (8 - bits)) | (v >> (2 * bits - 8)); }

}  // namespace

bool ConvertibleDisplayFormat(D3DFORMAT format) {
    return format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8 || format == D3DFMT_R5G6B5 ||
           format == D3DFMT_X1R5G5B5;
}

void RowFromArgb(D3DFORMAT format, const uint32_t* argb, uint8_t* out, UINT count) {
    switch (format) {
    case D3DFMT_R5G6B5:
        for (UINT i = 0; i < count; ++i) {
            const uint32_t p = argb[i];
            const uint16_t v = uint16_t(((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x1F));
            std::memcpy(out + 2 * i, &v, 2);
        }
        break;
    case D3DFMT_X1R5G5B5:
        for (UINT i = 0; i < count; ++i) {
            const uint32_t p = argb[i];
            const uint16_t v = uint16_t(0x8000 | ((p >> 9) & 0x7C00) | ((p >> 6) & 0x03E0) | ((p >> 3) & 0x1F));
            std::memcpy(out + 2 * i, &v, 2);
        }
        break;
    default: std::memcpy(out, argb, size_t(count) * 4); break;
    }
}

void RowToArgb(D3DFORMAT format, const uint8_t* in, uint32_t* argb, UINT count) {
    switch (format) {
    case D3DFMT_R5G6B5:
        for (UINT i = 0; i < count; ++i) {
            uint16_t v;
            std::memcpy(&v, in + 2 * i, 2);
            argb[i] = 0xFF000000u | Widen(v >> 11, 5) << 16 | Widen((v >> 5) & 0x3F, 6) << 8 | Widen(v & 0x1F, 5);
        }
        break;
    case D3DFMT_X1R5G5B5:
        for (UINT i = 0; i < count; ++i) {
            uint16_t v;
            std::memcpy(&v, in + 2 * i, 2);
            argb[i] =
                0xFF000000u | Widen((v >> 10) & 0x1F, 5) << 16 | Widen((v >> 5) & 0x1F, 5) << 8 | Widen(v & 0x1F, 5);
        }
        break;
    case D3DFMT_X8R8G8B8:
        std::memcpy(argb, in, size_t(count) * 4);
        for (UINT i = 0; i < count; ++i) argb[i] |= 0xFF000000u;
        break;
    default: std::memcpy(argb, in, size_t(count) * 4); break;
    }
}

}  // namespace d3d8
