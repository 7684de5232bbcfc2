#include "engine/scenecamera.h"
#include <cmath>

void SceneCamera::UpdateFrustum(const CameraParameters& parameters) {
    const bool clip = parameters.clip != 0;
    const float nearZ = clip ? parameters.nearClip : 1.0f;
    const float farZ = clip ? parameters.farClip : 10000.0f;
    const float x = std::tan(parameters.fovHorizontal * 0.5f) * nearZ;
    const float y = std::tan(parameters.fovVertical * 0.5f) * nearZ;
    frustum_.left = -x;
    frustum_.right = x;
    frustum_.top = y;
    frustum_.bottom = -y;
    frustum_.nearZ = nearZ;
    frustum_.farZ = farZ;
    frustum_.orthographic = 0;
}
