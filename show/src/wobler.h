#pragma once
#include <d3d8.h>

#include "comptr.h"
#include "plasma.h"

#include <cstdint>
#include <vector>

class Device3D;

// One triangle strip over a columns x rows vertex grid (vertex (i, j) at
// j * columns + i); row pairs join through repeated indices.
std::vector<uint16_t> BuildGridStrip(int columns, int rows);

// One picture drawn over the whole screen as a 32 x 24 grid whose texture
// coordinates swirl and whose per-vertex alpha comes from a moving plasma.
class Wobbler {
public:
    static constexpr int COLUMNS = 32;
    static constexpr int ROWS = 24;
    static constexpr int INDEX_COUNT = (2 * ROWS - 2) * (COLUMNS + 1);  // 1518

    Wobbler(Device3D& device, const char* textureName);

    void DrawWarp(float time, float alpha, bool style);
    void DrawLogo(float time, float amount);
    void DrawRipple(float time, float alpha);

    const Plasma& GetPlasma() const { return plasma_; }

private:
    struct Mode;
    void FillIndices();
    void WriteGrid(const Mode& mode, float time, float level);
    void Draw(D3DBLEND destBlend, bool ripple);

    Device3D* device_;
    IDirect3DTexture8* texture_;  // owned by the texture factory
    ComPtr<IDirect3DVertexBuffer8> vertexBuffer_;
    ComPtr<IDirect3DIndexBuffer8> indexBuffer_;
    Plasma plasma_;
};
