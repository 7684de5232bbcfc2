#include "spritebatch.h"

#include "screen2d.h"

void SpriteBatch::Clear() {
    for (Quad& q : quads_) q.flag = 0;
}

void SpriteBatch::Draw(IDirect3DDevice8* d) const {
    d->SetVertexShader(SCREEN_FVF);
    const D3DMATRIX& V = view_;
    for (const Quad& q : quads_) {
        if (!q.flag) continue;
        const float X = q.x * V._11 + q.y * V._21 + q.z * V._31 + V._41;
        const float Y = q.x * V._12 + q.y * V._22 + q.z * V._32 + V._42;
        const float Z = q.x * V._13 + q.y * V._23 + q.z * V._33 + V._43;
        const float s = q.size;
        const ScreenVertex fan[4] = {
            {X - s, Y - s, Z, q.colour, 0, 0},
            {X - s, Y + s, Z, q.colour, 0, 1},
            {X + s, Y + s, Z, q.colour, 1, 1},
            {X + s, Y - s, Z, q.colour, 1, 0},
        };
        d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, fan, sizeof(ScreenVertex));
    }
}
