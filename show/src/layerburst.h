#pragma once
#include <d3d8.h>

#include "comptr.h"
#include "engine/vector3.h"

class Device3D;

// A row of textured quads travelling one after another from an origin along
// a direction, fading in and out with the distance they have covered.
class LayerBurst {
public:
    LayerBurst(Device3D& device, const char* textureName);

    void SetCount(int count) { count_ = count; }
    void SetPath(Vector3 direction, float spacing) {
        direction_ = direction;
        spacing_ = spacing;
    }
    void SetOrigin(Vector3 origin) { origin_ = origin; }
    void SetAxes(Vector3 axisA, Vector3 axisB) {
        axisA_ = axisA;
        axisB_ = axisB;
    }
    void SetHold(float hold) { hold_ = hold; }
    void SetFade(float fade) { fade_ = fade; }

    void Draw(float time, bool setStates);

    // Alpha factor 0..1 of a quad that has travelled `distance`.
    float AlphaFactor(float distance) const;

private:
    Device3D* device_;
    IDirect3DTexture8* texture_;  // owned by the texture factory
    ComPtr<IDirect3DVertexBuffer8> vertexBuffer_;
    int count_ = 0;
    Vector3 origin_{0, 0, 0};
    Vector3 direction_{0, 0, 1};
    float spacing_ = 0;
    Vector3 axisA_{1, 0, 0};
    Vector3 axisB_{0, 1, 0};
    float hold_ = 0;
    float fade_ = 1;
};
