#pragma once
#include <vector>
#include <d3d8.h>

#include "comptr.h"
#include "engine/devicelosthandler.h"

class Device3D;

// Full-screen textured layers blended additively, their texture coordinates
// and corner alphas drifting on slow curves: a breathing cloudy backdrop.
// Its vertex buffer lives in the default pool, so it is made again after the
// device has been lost.
class BackgroundLayers final : private DeviceLostHandler {
public:
    explicit BackgroundLayers(Device3D& device);
    ~BackgroundLayers();
    BackgroundLayers(const BackgroundLayers&) = delete;
    BackgroundLayers& operator=(const BackgroundLayers&) = delete;

    void AddLayer(const char* name);
    void Draw(float time, float intensity);

private:
    void CreateVertexBuffer();
    void OnDeviceLost() override;
    void OnDeviceReset() override;

    Device3D* device_;
    std::vector<IDirect3DTexture8*> layers_;  // owned by the texture factory
    ComPtr<IDirect3DVertexBuffer8> vertexBuffer_;
};
