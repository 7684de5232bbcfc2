#pragma once
#include <cstdint>
#include <d3d8.h>
#include "engine/scenenode.h"

// A light of the scene. Scene::Update places and aims it from its world
// matrix and hands the record to the device; the traversal ignores it.
class SceneLight : public SceneNode {
public:
    explicit SceneLight(Device3D* device);

    Device3D* device;
    uint8_t enabled = 1;  // a cleared byte leaves the light out of the device
    D3DLIGHT8 light;
};
