#pragma once
#include <cstdint>
#include "engine/frustum.h"
#include "engine/scenenode.h"

// Base of Scene: the culling frustum and what the last Render counted.
class SceneRenderer : public SceneNode {
public:
    SceneRenderer() = default;

    // Sphere test first, then the box test; true when the node is drawn.
    bool CullTest(SceneNode& node);
    void ResetStatistics();

    int32_t sphereTests = 0;
    int32_t nodesTested = 0;
    int32_t boxTests = 0;
    int32_t nodesPassed = 0;
    Frustum frustum;
    Matrix4 cameraWorld = Matrix4(1.0f);
};
