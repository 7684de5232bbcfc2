#pragma once
#include <cstdint>
#include "engine/scenenode.h"

// What a KLX camera carries: the environment ranges feed the fog, the fields
// of view and clip distances make the frustum.
struct CameraParameters {
    float environmentNear = 0.0f;
    float environmentFar = 0.0f;
    float fovHorizontal = 0.0f;  // radians
    float fovVertical = 0.0f;    // radians
    uint32_t clip = 0;           // non-zero: use nearClip and farClip
    float nearClip = 0.0f;
    float farClip = 0.0f;
};

// The view volume in camera space: the near-plane rectangle plus the depths.
struct CameraFrustum {
    float left = 0.0f;
    float right = 0.0f;
    float top = 0.0f;
    float bottom = 0.0f;
    float nearZ = 0.0f;
    float farZ = 0.0f;
    uint32_t orthographic = 0;
};

class SceneCamera : public SceneNode {
public:
    SceneCamera() = default;

    void SetParameters(const CameraParameters& parameters) { parameters_ = parameters; }
    void GetParameters(CameraParameters& parameters) const { parameters = parameters_; }
    const CameraParameters& GetParameters() const { return parameters_; }

    // Without the clip flag the file's clip distances are ignored in favour
    // of 1 and 10000.
    void UpdateFrustum(const CameraParameters& parameters);
    void GetFrustum(CameraFrustum& frustum) const { frustum = frustum_; }
    const CameraFrustum& GetFrustum() const { return frustum_; }

private:
    CameraParameters parameters_;
    CameraFrustum frustum_;
};
