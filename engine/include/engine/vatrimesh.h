#pragma once
#include <cstdint>
#include <vector>
#include "engine/trimesh.h"
#include "engine/vertexbufferrecord.h"

// One stored key frame of the whole vertex set.
struct MorphFrame {
    int32_t time = 0;  // ticks
    VertexBufferRecord vertices;
};

// A mesh whose vertices blend between key frames over time. Draw uses the
// blended output buffer; the mesh's own buffer only seeds it.
class VATriMesh : public TriMesh {
public:
    explicit VATriMesh(Device3D* device);
    ~VATriMesh() override;

    void SetFrameCount(int32_t count);
    int32_t GetFrameCount() const { return static_cast<int32_t>(frames_.size()); }
    void SetFrameTime(int32_t frame, int32_t ticks);
    int32_t GetFrameTime(int32_t frame) const;
    // Locks a frame for filling (its old contents are discarded), or with
    // LOCK_READ_ONLY for reading it back.
    void LockFrame(int32_t frame, uint32_t flags = 0);
    void UnlockFrame(int32_t frame);
    void SetFrameVertex(int32_t frame, int32_t index, const MeshVertex& vertex);
    void GetFrameVertex(int32_t frame, int32_t index, MeshVertex& vertex) const;
    MeshVertex GetFrameVertex(int32_t frame, int32_t index) const;

    void SetTime(float ticks);
    void Draw(Device3D& device) override;

    const VertexBufferRecord& GetOutput() const { return output_; }

private:
    void Blend(MorphFrame& a, MorphFrame& b, float f);

    VertexBufferRecord output_;
    std::vector<MorphFrame> frames_;
};
