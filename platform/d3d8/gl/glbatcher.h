#pragma once
// How the GL back end feeds vertices to its draws: a stream buffer for
// vertices that live in memory, consecutive user-pointer triangles batched
// into one draw, and the vertex arrays set up only when their source changes.
#include <memory>
#include <vector>

#include "d3d8/backend.h"
#include "d3d8/gl/glbindcache.h"
#include "d3d8/gl/glfixedfunction.h"

namespace d3d8 {

// A buffer written front to back and started afresh (orphaned) when full,
// so writing never waits for draws that still read earlier parts.
class GLStreamBuffer {
public:
    GLStreamBuffer(GLBindCache& cache, size_t size);
    ~GLStreamBuffer();
    GLStreamBuffer(const GLStreamBuffer&) = delete;
    GLStreamBuffer& operator=(const GLStreamBuffer&) = delete;
    GLuint Name() const { return name_; }
    // Copies data in at an offset aligned to align; returns the offset.
    size_t Write(const void* data, size_t bytes, size_t align);

private:
    GLBindCache& cache_;
    GLuint name_ = 0;
    size_t size_;
    size_t offset_ = 0;
};

class GLBatcher {
public:
    GLBatcher(GLBindCache& cache, GLFixedFunction& fixed, D3D8Stats& stats);
    ~GLBatcher();
    GLBatcher(const GLBatcher&) = delete;
    GLBatcher& operator=(const GLBatcher&) = delete;

    // User-pointer triangles, which can join one indexed triangle list.
    static bool Batchable(const DrawCall& call);
    void Append(const DeviceState& state, const DrawCall& call);
    bool Pending() const { return batchState_ != nullptr; }
    // Draws what the batch holds, if anything, and empties it.
    void DrawBatch();
    // A draw on its own, with the state already applied.
    void DrawUser(const DeviceState& state, const DrawCall& call);
    void DrawBuffers(const DeviceState& state, const DrawCall& call);
    // A buffer is going away: the vertex arrays must not take it for current.
    void ForgetVertexSource(GLuint buffer);

private:
    struct VertexSource {
        GLuint buffer = 0;
        DWORD fvf = 0;
        UINT stride = 0;
        size_t offset = 0;
        bool operator==(const VertexSource&) const = default;
    };

    void BindVertices(const FvfLayout& layout, GLuint buffer, UINT stride, size_t offset);
    // Writes into a stream buffer, counting the bytes sent.
    size_t Stream(GLStreamBuffer& buffer, const void* data, size_t bytes, size_t align);

    GLBindCache& cache_;
    GLFixedFunction& fixed_;
    D3D8Stats& stats_;
    GLuint vao_ = 0;
    VertexSource source_;
    uint32_t enabledArrays_ = 0;
    GLStreamBuffer streamVertices_, streamIndices_;

    // The batch of user-pointer triangles waiting to be drawn as one list.
    // The front end flushes before it changes anything the batch reads.
    const DeviceState* batchState_ = nullptr;
    BackendResource* batchTextures_[STAGES] = {};
    UINT batchStride_ = 0;
    std::vector<uint8_t> batchVertices_;
    std::vector<uint16_t> batchIndices_;
};

}  // namespace d3d8
