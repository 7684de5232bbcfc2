#pragma once
#include <cstdint>
#include <vector>
#include "engine/matrix4.h"
#include "engine/trimesh.h"
#include "engine/vector3.h"
#include "engine/vertexbufferrecord.h"

struct SkinBone {
    SceneNode* node = nullptr;            // not owned
    Matrix4 inverseBind = Matrix4(1.0f);  // bone's bind-pose world, inverted
    Matrix4 skinMatrix = Matrix4(1.0f);   // recomputed at every Draw
};

struct SkinVertex {
    Vector3 bindPosition{0.0f, 0.0f, 0.0f};  // world space at the bind pose
    int32_t weightCount = 0;
    std::vector<int32_t> bones;  // indices into the mesh's bones
    std::vector<float> weights;
};

// A mesh deformed on the CPU by bone nodes at every Draw. Only positions are
// skinned; the output is drawn in world space with the identity transform.
class SkinTriMesh : public TriMesh {
public:
    enum : uint32_t {
        BoundsFromNodeBox = 0x1,  // box starts from the node's box at bind
        BoundsFromVertex0 = 0x2,  // box starts at vertex 0's bind position
        SphereFromBox = 0x4,
        SphereFromPoints = 0x8,
    };

    explicit SkinTriMesh(Device3D* device);
    ~SkinTriMesh() override;

    void SetBindPose(const Matrix4& bind, uint32_t boundsMode);
    void SetBoneCount(int32_t count);
    int32_t GetBoneCount() const { return static_cast<int32_t>(bones_.size()); }
    const SkinBone& GetBone(int32_t index) const { return bones_[static_cast<size_t>(index)]; }
    void SetBone(int32_t index, SceneNode* node, const Matrix4& inverseBind);
    void SetWeightCount(int32_t vertex, int32_t count);
    void SetWeight(int32_t vertex, int32_t slot, int32_t bone, float weight);

    // Deforms the output buffer from the bones' current world matrices and
    // refreshes the node's bounds; Draw does this before drawing.
    void Skin();
    void Draw(Device3D& device) override;

    const VertexBufferRecord& GetOutput() const { return output_; }
    const Matrix4& GetBind() const { return bind_; }
    const Matrix4& GetInverseBind() const { return inverseBind_; }
    const SkinVertex& GetSkinVertex(int32_t index) const { return skinVertices_[static_cast<size_t>(index)]; }

private:
    void StartBox(Vector3& minimum, Vector3& maximum) const;
    void StoreBounds(const Vector3& minimum, const Vector3& maximum, bool tracked);

    uint32_t boundsMode_ = 0;
    std::vector<SkinBone> bones_;
    std::vector<SkinVertex> skinVertices_;
    VertexBufferRecord output_;
    Matrix4 bind_ = Matrix4(1.0f);
    Matrix4 inverseBind_ = Matrix4(1.0f);
};
