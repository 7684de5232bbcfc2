#pragma once
#include <cstdint>
#include "engine/matrix4.h"
#include "engine/scenecamera.h"
#include "engine/vector3.h"

// A plane n.p - d; points with n.p - d >= 0 are inside.
struct FrustumPlane {
    Vector3 normal{0.0f, 0.0f, 0.0f};
    float d = 0.0f;
};

// The culling volume in world space, derived lazily from the camera frustum
// and the camera's world matrix.
class Frustum {
public:
    enum Side { Left, Right, Top, Bottom, Near, Far, SideCount };

    void SetShape(const CameraFrustum& shape);
    void SetMatrix(const Matrix4& cameraWorld);
    const FrustumPlane& GetPlane(int32_t side);
    const FrustumPlane* GetPlanes();

private:
    void ComputePlanes();

    CameraFrustum shape_;
    Matrix4 cameraWorld_ = Matrix4(1.0f);
    bool dirty_ = true;
    FrustumPlane planes_[SideCount];
};
