#include "engine/skintrimesh.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <limits>
#include "cvcore/exception.h"
#include "engine/device3d.h"

SkinTriMesh::SkinTriMesh(Device3D* device) : TriMesh(device) {}

SkinTriMesh::~SkinTriMesh() = default;  // the output record releases itself

namespace {

bool HasPosition(uint32_t fvf, int32_t stride) { return (fvf & D3DFVF_POSITION_MASK) != 0 && stride >= 12; }

Vector3 ReadPosition(const uint8_t* vertex) {
    float p[3];
    std::memcpy(p, vertex, sizeof p);
    return {p[0], p[1], p[2]};
}

void WritePosition(uint8_t* vertex, const Vector3& p) {
    const float f[3] = {p.x, p.y, p.z};
    std::memcpy(vertex, f, sizeof f);
}

// The eight corners of a box taken through m, sorted back into a box.
void TransformBox(const Matrix4& m, Vector3& minimum, Vector3& maximum) {
    Vector3 lo(std::numeric_limits<float>::max(), std::numeric_limits<float>::max(), std::numeric_limits<float>::max());
    Vector3 hi = -lo;
    for (int c = 0; c < 8; ++c) {
        const Vector3 p = m.TransformPoint(
            {(c & 1) ? maximum.x : minimum.x, (c & 2) ? maximum.y : minimum.y, (c & 4) ? maximum.z : minimum.z});
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    minimum = lo;
    maximum = hi;
}

inline void Grow(Vector3& minimum, Vector3& maximum, const Vector3& p) {
    minimum = {std::min(minimum.x, p.x), std::min(minimum.y, p.y), std::min(minimum.z, p.z)};
    maximum = {std::max(maximum.x, p.x), std::max(maximum.y, p.y), std::max(maximum.z, p.z)};
}

}  // namespace

void SkinTriMesh::SetBindPose(const Matrix4& bind, uint32_t boundsMode) {
    output_.Release();
    output_.vertexCount = vertexCount_;
    output_.fvf = fvf_;
    output_.stride = stride_;
    output_.texCoordCount = texCoordCount_;
    boundsMode_ = boundsMode;
    bind_ = bind;
    inverseBind_.SetInverse(bind);
    if (!output_.Create(device_ != nullptr ? device_->GetDevice() : nullptr)) {
        throw cvcore::Exception("TriMesh::CreateVertexBuffer()", "Failed!", "skintrimesh");
    }
    skinVertices_.resize(static_cast<size_t>(std::max(vertexCount_, 0)));
    if (vertexBuffer_ == nullptr) {
        return;
    }
    uint8_t* out = output_.Lock(D3DLOCK_DISCARD);
    LockVertices(LOCK_READ_ONLY);
    if (out != nullptr && lockedVertices_ != nullptr) {
        const size_t stride = static_cast<size_t>(stride_);
        std::memcpy(out, lockedVertices_, stride * skinVertices_.size());
        // Without a position field there is nothing to skin.
        if (HasPosition(fvf_, stride_)) {
            for (size_t v = 0; v < skinVertices_.size(); ++v) {
                const Vector3 p = bind_.TransformPoint(ReadPosition(lockedVertices_ + v * stride));
                skinVertices_[v].bindPosition = p;
                WritePosition(out + v * stride, p);
            }
        }
    }
    UnlockVertices(0);
    output_.Unlock();
}

void SkinTriMesh::SetBoneCount(int32_t count) { bones_.resize(static_cast<size_t>(std::max(count, 0))); }

void SkinTriMesh::SetBone(int32_t index, SceneNode* node, const Matrix4& inverseBind) {
    if (index < 0 || index >= GetBoneCount()) {
        return;
    }
    SkinBone& bone = bones_[static_cast<size_t>(index)];
    bone.node = node;
    bone.inverseBind = inverseBind;
    bone.skinMatrix.SetIdentity();
}

void SkinTriMesh::SetWeightCount(int32_t vertex, int32_t count) {
    if (vertex < 0 || static_cast<size_t>(vertex) >= skinVertices_.size()) {
        return;
    }
    SkinVertex& v = skinVertices_[static_cast<size_t>(vertex)];
    v.weightCount = std::max(count, 0);
    v.bones.assign(static_cast<size_t>(v.weightCount), 0);
    v.weights.assign(static_cast<size_t>(v.weightCount), 0.0f);
}

void SkinTriMesh::SetWeight(int32_t vertex, int32_t slot, int32_t bone, float weight) {
    if (vertex < 0 || static_cast<size_t>(vertex) >= skinVertices_.size()) {
        return;
    }
    SkinVertex& v = skinVertices_[static_cast<size_t>(vertex)];
    if (slot < 0 || slot >= v.weightCount) {
        return;
    }
    v.bones[static_cast<size_t>(slot)] = bone;
    v.weights[static_cast<size_t>(slot)] = weight;
}

void SkinTriMesh::StartBox(Vector3& minimum, Vector3& maximum) const {
    if ((boundsMode_ & BoundsFromVertex0) != 0) {
        minimum = maximum = skinVertices_.empty() ? Vector3() : skinVertices_[0].bindPosition;
    } else {
        minimum = bounds.boxMinimum;
        maximum = bounds.boxMaximum;
        TransformBox(bind_, minimum, maximum);
    }
}

void SkinTriMesh::StoreBounds(const Vector3& minimum, const Vector3& maximum, bool tracked) {
    if (tracked) {
        Vector3 lo = minimum, hi = maximum;
        TransformBox(inverseBind_, lo, hi);
        bounds.boxMinimum = lo;
        bounds.boxMaximum = hi;
    }
    if ((boundsMode_ & SphereFromBox) != 0) {
        bounds.sphereCentre = (bounds.boxMinimum + bounds.boxMaximum) * 0.5f;
        bounds.sphereRadius = (bounds.boxMaximum - bounds.boxMinimum).Length() * 0.5f;
    } else if ((boundsMode_ & SphereFromPoints) != 0 && HasPosition(output_.fvf, output_.stride)) {
        ComputeBoundingSphere(output_.locked, output_.stride, output_.vertexCount);
        bounds.sphereCentre = inverseBind_.TransformPoint(bounds.sphereCentre);
        const float unit = 0.57735026f;
        bounds.sphereRadius *= inverseBind_.TransformVector({unit, unit, unit}).Length();
    }
}

void SkinTriMesh::Skin() {
    if (output_.buffer == nullptr) {
        return;
    }
    for (SkinBone& bone : bones_) {
        // A bone without a node stays where it was bound.
        bone.skinMatrix = bone.node != nullptr ? bone.inverseBind * bone.node->GetWorld() : Matrix4();
    }
    const bool tracked = (boundsMode_ & (BoundsFromNodeBox | BoundsFromVertex0)) != 0;
    Vector3 minimum, maximum;
    if (tracked) {
        StartBox(minimum, maximum);
    }
    // Vertices without weights keep what the output holds, so the lock must
    // not throw the contents away.
    uint8_t* out = output_.Lock(0);
    if (out == nullptr) {
        return;
    }
    if (HasPosition(output_.fvf, output_.stride)) {
        const size_t stride = static_cast<size_t>(output_.stride);
        const size_t count = std::min(skinVertices_.size(), static_cast<size_t>(std::max(output_.vertexCount, 0)));
        const int32_t boneCount = GetBoneCount();
        for (size_t v = 0; v < count; ++v) {
            const SkinVertex& sv = skinVertices_[v];
            if (sv.weightCount <= 0) {
                continue;
            }
            const Vector3& b = sv.bindPosition;
            float x = 0.0f, y = 0.0f, z = 0.0f;
            for (int32_t k = 0; k < sv.weightCount; ++k) {
                const int32_t index = sv.bones[static_cast<size_t>(k)];
                if (index < 0 || index >= boneCount) {
                    continue;  // no bone there: the pair has nothing to add
                }
                const float* m = bones_[static_cast<size_t>(index)].skinMatrix.m;
                const float w = sv.weights[static_cast<size_t>(k)];
                x += w * (b.x * m[0] + b.y * m[4] + b.z * m[8] + m[12]);
                y += w * (b.x * m[1] + b.y * m[5] + b.z * m[9] + m[13]);
                z += w * (b.x * m[2] + b.y * m[6] + b.z * m[10] + m[14]);
            }
            const Vector3 p(x, y, z);
            WritePosition(out + v * stride, p);
            if (tracked) {
                Grow(minimum, maximum, p);
            }
        }
    }
    StoreBounds(minimum, maximum, tracked);
    output_.Unlock();
}

void SkinTriMesh::Draw(Device3D& device) {
    if (output_.buffer == nullptr) {
        return;
    }
    Skin();
    IDirect3DDevice8* d3d = device.GetDevice();
    D3DMATRIX saved{};
    d3d->GetTransform(D3DTS_WORLD, &saved);
    const Matrix4 identity;
    d3d->SetTransform(D3DTS_WORLD, reinterpret_cast<const D3DMATRIX*>(identity.m));
    {
        // The base class draws whatever vertexBuffer_ holds: lend it the
        // skinned output for the call.
        struct Lend {
            IDirect3DVertexBuffer8*& slot;
            IDirect3DVertexBuffer8* own;
            ~Lend() { slot = own; }
        } lend{vertexBuffer_, std::exchange(vertexBuffer_, output_.buffer)};
        TriMesh::Draw(device);
    }
    d3d->SetTransform(D3DTS_WORLD, &saved);
}
