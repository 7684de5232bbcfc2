#pragma once
// Rows of the display formats a back buffer may have, to and from the
// A8R8G8B8 the back ends read and write: what a program sees when it locks
// the back buffer or copies rectangles out of it.
#include <d3d8types.h>

#include <cstdint>

namespace d3d8 {

// Whether rows of this format can be converted (the display formats).
bool ConvertibleDisplayFormat(D3DFORMAT format);

// count pixels of one row. X formats read back with alpha 0xFF.
void RowFromArgb(D3DFORMAT format, const uint32_t* argb, uint8_t* out, UINT count);
void RowToArgb(D3DFORMAT format, const uint8_t* in, uint32_t* argb, UINT count);

}  // namespace d3d8
