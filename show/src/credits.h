#pragma once
#include <vector>
#include <d3d8.h>

#include "comptr.h"
#include "layerburst.h"

class Device3D;

// The credit pages: full-screen pictures cross-fading into each other, a
// text card turning about the vertical axis, and a cloud burst per page.
class Credits {
public:
    explicit Credits(Device3D& device);

    void AddPage(const char* text, const char* picture);
    void Draw(float time, bool setStates);

    // Pages that have both a text card and a picture.
    int PageCount() const;

private:
    void DrawPicture(IDirect3DDevice8* d, int index, float alpha);
    void DrawCard(IDirect3DDevice8* d, int index, float s);

    Device3D* device_;
    std::vector<IDirect3DTexture8*> texts_;     // owned by the texture factory
    std::vector<IDirect3DTexture8*> pictures_;  // owned by the texture factory
    ComPtr<IDirect3DVertexBuffer8> vertexBuffer_;
    LayerBurst burst_;
};
