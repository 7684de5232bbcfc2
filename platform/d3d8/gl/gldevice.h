#pragma once
// The device half of the GL back end: turns the front end's state into
// generated programs, uniforms and GL pipeline state, batches consecutive
// user-pointer draws, and draws, clears and presents.
#include <memory>
#include <vector>

#include "d3d8/backend.h"
#include "d3d8/gl/glbindcache.h"
#include "d3d8/gl/glcontext.h"
#include "d3d8/gl/glprogram.h"
#include "d3d8/gl/glshaderkey.h"

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

// Where a width x height picture goes in a window: the largest rectangle of
// its shape, centred (GL's lower-left origin; either way it is symmetric).
struct PictureRect {
    int x, y, w, h;
};
PictureRect FitPicture(UINT width, UINT height, int windowWidth, int windowHeight);

class GLDevice final : public DeviceBackend {
public:
    GLDevice(std::unique_ptr<GLContext> context, const D3DPRESENT_PARAMETERS& params, bool s3tc);
    ~GLDevice() override;

    std::unique_ptr<BackendResource> CreateTexture(const TextureDesc& desc) override;
    void UploadTexture(BackendResource& texture, UINT level, const TextureLevelView& data,
                       const RECT& dirty) override;
    std::unique_ptr<BackendResource> CreateBuffer(UINT size, bool index) override;
    void UploadBuffer(BackendResource& buffer, const uint8_t* data, UINT offset, UINT size,
                      bool discard) override;
    void Flush() override;
    void Draw(DeviceState& state, const DrawCall& call) override;
    void Clear(const DeviceState& state, DWORD count, const D3DRECT* rects, DWORD flags,
               D3DCOLOR color, float z, DWORD stencil) override;
    void Present() override;
    HRESULT ReadBackBuffer(void* pixels, UINT pitch) override;
    HRESULT WriteBackBuffer(const void* pixels, UINT pitch, const RECT& rect) override;
    HRESULT ReadFrontBuffer(void* pixels, UINT pitch) override;
    HRESULT Reset(D3DPRESENT_PARAMETERS& params) override;
    D3D8Stats Stats() const override;
    void CountIgnoredState() override { ++stats_.ignoredStates; }

    void MakeCurrent() { context_->MakeCurrent(); }
    GLBindCache& Cache() { return cache_; }
    void CountTextureUpload() { ++stats_.textureUploads; }
    void CountBufferUpload() { ++stats_.bufferUploads; }
    void ForgetVertexSource(GLuint buffer);

private:
    struct VertexSource {
        GLuint buffer = 0;
        DWORD fvf = 0;
        UINT stride = 0;
        size_t offset = 0;
        bool operator==(const VertexSource&) const = default;
    };

    void CreateTarget();
    void SetSwapInterval(const D3DPRESENT_PARAMETERS& params);
    void DeleteTarget();
    void ShowScaled();
    void KeepFrontBuffer();
    // Rows of the bound read framebuffer, top-down, into pixels.
    void ReadRows(void* pixels, UINT pitch);
    bool ApplyState(DeviceState& state);
    void ComputeTransforms(const DeviceState& state);
    void ComputeViewport(const DeviceState& state);
    void ComputeLights(const DeviceState& state);
    void ComputeMaterial(const DeviceState& state);
    void ComputeConstants(const DeviceState& state);
    void ApplyPipeline(const DeviceState& state);
    void ApplySamplers(DeviceState& state);
    void BindVertices(const FvfLayout& layout, GLuint buffer, UINT stride, size_t offset);
    bool CannotChangeFrame(const DeviceState& state, const DrawCall& call) const;
    bool Batchable(const DrawCall& call) const;
    void AppendToBatch(DeviceState& state, const DrawCall& call);
    void DrawBatch();
    void DrawUser(DeviceState& state, const DrawCall& call);
    void DrawBuffers(DeviceState& state, const DrawCall& call);
    void Bump(UniformGroup group) { uniforms_.version[group] = ++version_; }
    void PaceFrames();

    std::unique_ptr<GLContext> context_;
    UINT width_, height_;
    bool depthBuffer_, stencilBuffer_;
    bool s3tc_;
    GLuint framebuffer_ = 0;  // 0: drawing straight into the window
    GLuint colorBuffer_ = 0, depthStencilBuffer_ = 0;
    // A copy of the last presented frame, for GetFrontBuffer.
    GLuint frontFramebuffer_ = 0, frontBuffer_ = 0;
    GLuint vao_ = 0;
    GLuint samplers_[kStages] = {};
    GLBindCache cache_;
    GLProgramCache programs_;
    GLProgram* program_ = nullptr;
    ShaderKey key_ = {};
    bool keyValid_ = false;
    bool pipelineInvalid_ = true;
    UniformValues uniforms_ = {};
    uint64_t version_ = 0;
    VertexSource source_;
    uint32_t enabledArrays_ = 0;
    std::unique_ptr<GLStreamBuffer> streamVertices_, streamIndices_;

    // The batch of user-pointer triangles waiting to be drawn as one list.
    DeviceState* batchState_ = nullptr;
    UINT batchStride_ = 0;
    std::vector<uint8_t> batchVertices_;
    std::vector<uint16_t> batchIndices_;

    D3D8Stats stats_ = {};

    // Fences of the frames still in flight: Present waits for the one two
    // frames back, so a driver that never blocks on swap (an offscreen
    // window, a software rasteriser) cannot queue unbounded work and memory.
    static constexpr int kFramesInFlight = 2;
    GLsync frameFences_[kFramesInFlight] = {};
    int frameFence_ = 0;
};

}  // namespace d3d8
