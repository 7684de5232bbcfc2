#pragma once
#include <cstdint>
#include <memory>
#include <vector>
#include <d3d8.h>
#include "engine/scenenode.h"
#include "engine/vector2.h"
#include "engine/vector3.h"

class Device3D;
class Material;

// A format-neutral vertex (30 four-byte words) that SetVertex writes from and
// GetVertex reads into; only the fields of the mesh's format are used.
struct MeshVertex {
    Vector3 position;
    float rhw = 0.0f;
    // Blend weights; with D3DFVF_LASTBETA_UBYTE4 the last stored slot carries
    // the packed matrix indices (as raw bits, see SetVertex).
    float weights[5] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    Vector3 normal;
    uint32_t diffuse = 0;   // A8R8G8B8
    uint32_t specular = 0;  // A8R8G8B8
    Vector2 texCoords[8];
};
static_assert(sizeof(MeshVertex) == 30 * 4);

// One group of faces: a 16-bit index buffer with one primitive type and one
// material.
struct Submesh {
    int indexCount = 0;
    int primitiveCount = 0;
    int minIndex = 0;  // recomputed on every UnlockIndices
    int maxIndex = 0;
    D3DPRIMITIVETYPE primitiveType = D3DPT_TRIANGLELIST;
    Material* material = nullptr;                  // not owned, may be null
    IDirect3DIndexBuffer8* indexBuffer = nullptr;  // owned, may be null
    uint16_t* lockedIndices = nullptr;             // null when unlocked
    bool lockedReadOnly = false;                   // the indices cannot have changed
};

// Drawable geometry: one vertex buffer in a flexible vertex format and any
// number of submeshes. Submeshes whose material is not fully opaque are
// transformed to world space on the CPU and handed to Device3D's translucent
// queue, which draws them back to front after the opaque geometry.
class TriMesh : public SceneNode {
public:
    // LockVertices flags
    static constexpr uint32_t LOCK_RESET_BOX = 0x1;
    static constexpr uint32_t LOCK_TRACK_BOUNDS = 0x2;
    // Keep the contents and only read them: D3DLOCK_READONLY instead of
    // D3DLOCK_DISCARD, whose contents Direct3D leaves undefined and which
    // makes the device take the whole buffer again. SetVertex is ignored.
    static constexpr uint32_t LOCK_READ_ONLY = 0x4;
    // UnlockVertices flags
    static constexpr uint32_t UNLOCK_SPHERE = 0x4;

    explicit TriMesh(Device3D* device);
    ~TriMesh() override;

    // The FVF code kept from a requested one and the stride it gives.
    static uint32_t AcceptedFVF(uint32_t requested);
    static int StrideOf(uint32_t fvf);
    // Bytes of the position field (with its rhw or blend weights), which the
    // normal follows.
    static int PositionBytesOf(uint32_t fvf);
    // Primitives drawn by count indices of a type; other types give -1.
    static int PrimitiveCount(D3DPRIMITIVETYPE type, int indexCount);

    // Replaces the vertex buffer; throws cvcore::Exception when the device
    // cannot make it.
    void CreateVertexBuffer(int count, uint32_t requestedFVF);
    int GetVertexCount() const { return vertexCount_; }
    uint32_t GetFVF() const { return fvf_; }
    int GetStride() const { return stride_; }
    int GetTexCoordCount() const { return texCoordCount_; }
    IDirect3DVertexBuffer8* GetVertexBuffer() const { return vertexBuffer_; }

    void LockVertices(uint32_t flags);
    // Require locked vertices; an index outside the buffer is ignored
    // (GetVertex gives a zeroed record).
    void SetVertex(int index, const MeshVertex& vertex);
    MeshVertex GetVertex(int index) const;
    void UnlockVertices(uint32_t flags);
    uint8_t* GetLockedVertices() const { return lockedVertices_; }

    void SetSubmeshCount(int count);
    int GetSubmeshCount() const { return static_cast<int>(submeshes_.size()); }
    Submesh& GetSubmesh(int index) { return submeshes_[static_cast<size_t>(index)]; }
    const Submesh& GetSubmesh(int index) const { return submeshes_[static_cast<size_t>(index)]; }
    // Throws cvcore::Exception when the device cannot make the buffer.
    void CreateIndexBuffer(int index, int indexCount, D3DPRIMITIVETYPE type, Material* material);
    uint16_t* LockIndices(int index);
    // Reading only: the contents stay, and nothing goes to the device again.
    const uint16_t* LockIndicesReadOnly(int index);
    // Records the smallest and largest index, then unlocks.
    void UnlockIndices(int index);
    // Whether the submesh's indices all lie inside the vertex buffer: one
    // that does not is never drawn nor queued.
    bool IndicesValid(int index) const;

    void Draw(Device3D& device) override;

protected:
    // Transforms the used vertex range to world space and queues the
    // submesh's triangles in the device's translucent queue.
    void QueueTranslucent(Device3D& device, int index);
    // Copies vertices minIndex..maxIndex to world space, with view depths.
    void TransformRange(IDirect3DDevice8* device, const Submesh& submesh);
    void QueueTriangles(Device3D& device, const Submesh& submesh, const uint16_t* indices);
    void ReleaseVertexBuffer();
    void ReleaseIndexBuffer(Submesh& submesh);

    Device3D* device_;
    int vertexCount_ = 0;
    uint32_t fvf_ = 0;
    int stride_ = 0;
    int texCoordCount_ = 0;
    IDirect3DVertexBuffer8* vertexBuffer_ = nullptr;
    uint8_t* lockedVertices_ = nullptr;
    bool readOnlyVertices_ = false;       // locked with LOCK_READ_ONLY
    std::vector<uint8_t> worldVertices_;  // made on the first translucent draw
    std::vector<float> depths_;
    std::vector<Submesh> submeshes_;
    bool trackBounds_ = false;
};
