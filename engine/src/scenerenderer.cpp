#include "engine/scenerenderer.h"

void SceneRenderer::ResetStatistics() {
    sphereTests = 0;
    nodesTested = 0;
    boxTests = 0;
    nodesPassed = 0;
}

namespace {

constexpr float kInvSqrt3 = 0.57735026f;

bool SphereOutside(const FrustumPlane* planes, const Vector3& centre, float radius) {
    for (int32_t i = 0; i < Frustum::SideCount; ++i) {
        if (planes[i].normal.Dot(centre) - planes[i].d < -radius) {
            return true;
        }
    }
    return false;
}

bool BoxOutside(const FrustumPlane* planes, const Vector3* corners) {
    for (int32_t i = 0; i < Frustum::SideCount; ++i) {
        int32_t outside = 0;
        for (int32_t c = 0; c < 8; ++c) {
            if (planes[i].normal.Dot(corners[c]) - planes[i].d < 0.0f) {
                ++outside;
            }
        }
        if (outside == 8) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool SceneRenderer::CullTest(SceneNode& node) {
    const FrustumPlane* planes = frustum.GetPlanes();
    const Matrix4& world = node.GetWorld();
    const NodeBounds& b = node.bounds;
    if ((b.flags & NodeBounds::SphereValid) != 0) {
        ++sphereTests;
        const Vector3 centre = world.TransformPoint(b.sphereCentre);
        // The radius scales with the world matrix's average axis stretch.
        const float scale = world.TransformVector({kInvSqrt3, kInvSqrt3, kInvSqrt3}).Length();
        if (SphereOutside(planes, centre, b.sphereRadius * scale)) {
            return false;
        }
    }
    ++nodesTested;
    if ((b.flags & NodeBounds::BoxValid) != 0) {
        ++boxTests;
        Vector3 corners[8];
        for (int32_t c = 0; c < 8; ++c) {
            corners[c] = world.TransformPoint({(c & 1) ? b.boxMaximum.x : b.boxMinimum.x,
                                               (c & 2) ? b.boxMaximum.y : b.boxMinimum.y,
                                               (c & 4) ? b.boxMaximum.z : b.boxMinimum.z});
        }
        if (BoxOutside(planes, corners)) {
            return false;
        }
    }
    ++nodesPassed;
    return true;
}
