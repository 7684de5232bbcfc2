#pragma once
// The device half of the GL back end: owns the context and the parts that
// translate fixed-function state, feed vertices and present frames, and
// answers the front end's calls through them.
#include <memory>

#include "d3d8/backend.h"
#include "d3d8/gl/glbatcher.h"
#include "d3d8/gl/glbindcache.h"
#include "d3d8/gl/glcontext.h"
#include "d3d8/gl/glfixedfunction.h"
#include "d3d8/gl/glfragmentcounter.h"
#include "d3d8/gl/glpresenter.h"

namespace d3d8 {

class GLDevice final : public DeviceBackend {
public:
    GLDevice(std::unique_ptr<GLContext> context, const D3DPRESENT_PARAMETERS& params, bool s3tc);
    ~GLDevice() override;

    std::unique_ptr<BackendResource> CreateTexture(const TextureDesc& desc) override;
    void UploadTexture(BackendResource& texture, UINT level, const TextureLevelView& data, const RECT& dirty) override;
    std::unique_ptr<BackendResource> CreateBuffer(UINT size, bool index) override;
    void UploadBuffer(BackendResource& buffer, const uint8_t* data, UINT offset, UINT size, bool discard) override;
    void Flush() override;
    void Draw(const DeviceState& state, const DrawCall& call) override;
    void Clear(const DeviceState& state, DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
               DWORD stencil) override;
    void Present() override;
    HRESULT ReadBackBuffer(void* pixels, UINT pitch) override;
    HRESULT WriteBackBuffer(const void* pixels, UINT pitch, const RECT& rect) override;
    HRESULT ReadFrontBuffer(void* pixels, UINT pitch) override;
    HRESULT Reset(D3DPRESENT_PARAMETERS& params) override;
    D3D8Stats Stats() const override;
    void CountIgnoredState() override { ++stats_.ignoredStates; }
    void SetProfiling(bool enable) override {
        MakeCurrent();
        fragments_.Enable(enable);
    }

    void MakeCurrent() { context_->MakeCurrent(); }
    GLBindCache& Cache() { return cache_; }
    void CountTextureUpload(size_t bytes) {
        ++stats_.textureUploads;
        stats_.bytesUploaded += bytes;
    }
    void CountBufferUpload(size_t bytes) {
        ++stats_.bufferUploads;
        stats_.bytesUploaded += bytes;
    }
    void ForgetVertexSource(GLuint buffer) { batcher_.ForgetVertexSource(buffer); }

private:
    // Declared first: every part below holds GL objects of this context.
    std::unique_ptr<GLContext> context_;
    bool s3tc_;
    D3D8Stats stats_ = {};
    GLBindCache cache_;
    GLFixedFunction fixed_;
    GLBatcher batcher_;
    GLPresenter presenter_;
    GLFragmentCounter fragments_;
};

}  // namespace d3d8
