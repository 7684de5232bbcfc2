#pragma once
#include <cstdint>
#include <vector>
#include <d3d8.h>

// Camera-facing quads: each record's position goes through a view matrix and
// becomes a square of its size in view space, drawn as a small fan.
class SpriteBatch {
public:
    struct Quad {
        uint8_t flag;
        float x, y, z;
        D3DCOLOR colour;
        float size;
    };

    void SetCapacity(int slots) { quads_.assign(static_cast<size_t>(slots), Quad{}); }
    void SetView(const D3DMATRIX& view) { view_ = view; }
    void Clear();
    Quad& operator[](int i) { return quads_[static_cast<size_t>(i)]; }
    int Capacity() const { return static_cast<int>(quads_.size()); }

    void Draw(IDirect3DDevice8* device) const;

private:
    std::vector<Quad> quads_;
    D3DMATRIX view_{};
};
