#include "engine/frustum.h"

void Frustum::SetShape(const CameraFrustum& shape) {
    shape_ = shape;
    dirty_ = true;
}

void Frustum::SetMatrix(const Matrix4& cameraWorld) {
    cameraWorld_ = cameraWorld;
    dirty_ = true;
}

const FrustumPlane& Frustum::GetPlane(int32_t side) { return GetPlanes()[side]; }

const FrustumPlane* Frustum::GetPlanes() {
    if (dirty_) {
        ComputePlanes();
        dirty_ = false;
    }
    return planes_;
}

namespace {

// The plane through three points, facing the side from which p1, p2, p3 run
// clockwise in the left-handed frame.
FrustumPlane PlaneThrough(const Vector3& p1, const Vector3& p2, const Vector3& p3) {
    FrustumPlane plane;
    plane.normal = (p2 - p1).Cross(p3 - p1).Normalized();
    plane.d = plane.normal.Dot(p1);
    return plane;
}

}  // namespace

void Frustum::ComputePlanes() {
    const Matrix4& m = cameraWorld_;
    const float n = shape_.nearZ;
    const Vector3 leftTop = m.TransformPoint({shape_.left, shape_.top, n});
    const Vector3 rightTop = m.TransformPoint({shape_.right, shape_.top, n});
    const Vector3 leftBottom = m.TransformPoint({shape_.left, shape_.bottom, n});
    const Vector3 rightBottom = m.TransformPoint({shape_.right, shape_.bottom, n});
    const Vector3 eye = m.GetTranslation();

    planes_[Left] = PlaneThrough(leftTop, leftBottom, eye);
    planes_[Right] = PlaneThrough(rightBottom, rightTop, eye);
    planes_[Top] = PlaneThrough(rightTop, leftTop, eye);
    planes_[Bottom] = PlaneThrough(leftBottom, rightBottom, eye);

    const Vector3 forward(m.m[8], m.m[9], m.m[10]);
    planes_[Near].normal = forward;
    planes_[Near].d = forward.Dot(eye + forward * n);
    planes_[Far].normal = -forward;
    planes_[Far].d = -forward.Dot(eye + forward * shape_.farZ);
}
