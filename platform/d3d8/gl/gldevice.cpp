#include "d3d8/gl/gldevice.h"

#include <algorithm>

#include "d3d8/gl/gltexture.h"
#include "d3d8/presentparams.h"

namespace d3d8 {
namespace {

// The context, current before any part of the device makes GL objects.
std::unique_ptr<GLContext> MadeCurrent(std::unique_ptr<GLContext> context) {
    context->MakeCurrent();
    return context;
}

// A cache that matches GL's state, with the pixel layout every transfer uses.
GLBindCache PreparedCache() {
    GLBindCache cache;
    cache.Reset();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    return cache;
}

}  // namespace

GLDevice::GLDevice(std::unique_ptr<GLContext> context, const D3DPRESENT_PARAMETERS& params, bool s3tc)
    : context_(MadeCurrent(std::move(context))),
      s3tc_(s3tc),
      cache_(PreparedCache()),
      fixed_(cache_, stats_),
      batcher_(cache_, fixed_, stats_),
      presenter_(*context_, cache_, fixed_, params) {}

GLDevice::~GLDevice() { MakeCurrent(); }

HRESULT GLDevice::Reset(D3DPRESENT_PARAMETERS& params) {
    MakeCurrent();
    Flush();
    context_->SetFullScreen(!params.Windowed);
    CompletePresentParams(params, UINT(std::max(1, context_->DrawableWidth())),
                          UINT(std::max(1, context_->DrawableHeight())), D3DFMT_UNKNOWN);
    fragments_.Abandon();
    presenter_.Reset(params);
    return D3D_OK;
}

std::unique_ptr<BackendResource> GLDevice::CreateTexture(const TextureDesc& desc) {
    GLFormat format;
    if (!GLFormatOf(desc.format, s3tc_, format)) return nullptr;
    Flush();
    return std::make_unique<GLTexture>(*this, desc, format);
}

void GLDevice::UploadTexture(BackendResource& texture, UINT level, const TextureLevelView& data, const RECT& dirty) {
    static_cast<GLTexture&>(texture).Upload(level, data, dirty);
}

std::unique_ptr<BackendResource> GLDevice::CreateBuffer(UINT size, bool index) {
    Flush();
    return std::make_unique<GLBuffer>(*this, size, index);
}

void GLDevice::UploadBuffer(BackendResource& buffer, const uint8_t* data, UINT offset, UINT size, bool discard) {
    static_cast<GLBuffer&>(buffer).Upload(data, offset, size, discard);
}

void GLDevice::Flush() {
    if (batcher_.Pending()) {
        MakeCurrent();
        batcher_.DrawBatch();
    }
}

void GLDevice::Draw(const DeviceState& state, const DrawCall& call) {
    MakeCurrent();
    fragments_.Drawing();
    fixed_.Note(state);
    // A change of program ends the batch: it was drawn with the old one.
    if (fixed_.Dirty() & (DIRTY_SHADER | DIRTY_VERTEX_FORMAT | DIRTY_TEXTURES)) {
        batcher_.DrawBatch();
        if (!fixed_.Apply(state, call.textures)) return;
    }
    if (GLBatcher::Batchable(call)) {
        batcher_.Append(state, call);
        return;
    }
    batcher_.DrawBatch();
    if (!fixed_.Apply(state, call.textures)) return;
    if (call.userVertices)
        batcher_.DrawUser(state, call);
    else
        batcher_.DrawBuffers(state, call);
}

void GLDevice::Clear(const DeviceState& state, DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                     DWORD stencil) {
    MakeCurrent();
    presenter_.Clear(state.viewport, count, rects, flags, color, z, stencil);
}

void GLDevice::Present() {
    MakeCurrent();
    fragments_.EndFrame();
    presenter_.Present();
}

HRESULT GLDevice::ReadBackBuffer(void* pixels, UINT pitch) {
    MakeCurrent();
    presenter_.ReadBackBuffer(pixels, pitch);
    return D3D_OK;
}

HRESULT GLDevice::WriteBackBuffer(const void* pixels, UINT pitch, const RECT& rect) {
    MakeCurrent();
    presenter_.WriteBackBuffer(pixels, pitch, rect);
    return D3D_OK;
}

HRESULT GLDevice::ReadFrontBuffer(void* pixels, UINT pitch) {
    MakeCurrent();
    presenter_.ReadFrontBuffer(pixels, pitch);
    return D3D_OK;
}

D3D8Stats GLDevice::Stats() const {
    D3D8Stats stats = stats_;
    stats.bindHits = cache_.Saved();
    stats.bindMisses = cache_.Calls();
    stats.programBinds = cache_.ProgramBinds();
    stats.textureBinds = cache_.TextureBinds();
    stats.fragments = fragments_.Fragments();
    stats.shadedFragments = fragments_.Invocations();
    stats.shadedCounted = fragments_.CountsInvocations();
    stats.fragmentFrames = fragments_.Frames();
    return stats;
}

}  // namespace d3d8
