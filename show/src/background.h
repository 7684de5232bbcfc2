#pragma once
#include <vector>
#include <d3d8.h>

#include "comptr.h"

class Device3D;

// Full-screen textured layers blended additively, their texture coordinates
// and corner alphas drifting on slow curves: a breathing cloudy backdrop.
class BackgroundLayers {
public:
    explicit BackgroundLayers(Device3D& device);

    void AddLayer(const char* name);
    void Draw(float time, float intensity);

private:
    Device3D* device_;
    std::vector<IDirect3DTexture8*> layers_;  // owned by the texture factory
    ComPtr<IDirect3DVertexBuffer8> vertexBuffer_;
};
