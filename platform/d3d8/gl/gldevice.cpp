#include "d3d8/gl/gldevice.h"

#include <algorithm>

#include "d3d8/gl/gltexture.h"
#include "d3d8/presentparams.h"

namespace d3d8 {
namespace {

// The context, current before any part of the device makes GL objects.
std::unique_ptr<GLContext> MadeCurrent(std::unique_ptr<GLContext> context)
{
    context->MakeCurrent();
    return context;
}

// A cache that matches GL's state, with the pixel layout every transfer uses.
GLBindCache PreparedCache()
{
    GLBindCache cache;
    cache.Reset();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    return cache;
}

}  // namespace

GLDevice::GLDevice(std::unique_ptr<GLContext> context, const D3DPRESENT_PARAMETERS& params,
                   bool s3tc)
    : context_(MadeCurrent(std::move(context))), s3tc_(s3tc), cache_(PreparedCache()),
      fixed_(cache_, stats_), batcher_(cache_, fixed_, stats_),
      presenter_(*context_, cache_, fixed_, params)
{
}

GLDevice::~GLDevice()
{
    MakeCurrent();
}

HRESULT GLDevice::Reset(D3DPRESENT_PARAMETERS& params)
{
    MakeCurrent();
    Flush();
    context_->SetFullScreen(!params.Windowed);
    CompletePresentParams(params, UINT(std::max(1, context_->DrawableWidth())),
                          UINT(std::max(1, context_->DrawableHeight())), D3DFMT_UNKNOWN);
    presenter_.Reset(params);
    return D3D_OK;
}

std::unique_ptr<BackendResource> GLDevice::CreateTexture(const TextureDesc& desc)
{
    GLFormat format;
    if (!GLFormatOf(desc.format, s3tc_, format))
        return nullptr;
    Flush();
    return std::make_unique<GLTexture>(*this, desc, format);
}

void GLDevice::UploadTexture(BackendResource& texture, UINT level, const TextureLevelView& data,
                             const RECT& dirty)
{
    static_cast<GLTexture&>(texture).Upload(level, data, dirty);
}

std::unique_ptr<BackendResource> GLDevice::CreateBuffer(UINT size, bool index)
{
    Flush();
    return std::make_unique<GLBuffer>(*this, size, index);
}

void GLDevice::UploadBuffer(BackendResource& buffer, const uint8_t* data, UINT offset, UINT size,
                            bool discard)
{
    static_cast<GLBuffer&>(buffer).Upload(data, offset, size, discard);
}

bool GLDevice::CannotChangeFrame(const DeviceState& s, const DrawCall& call) const
{
    // Only blending whose source weight is the source alpha, with nothing
    // written to depth or stencil, can make a draw invisible: then a final
    // alpha of zero everywhere leaves every pixel as it was.
    const DWORD* rs = s.rs;
    if (!rs[D3DRS_ALPHABLENDENABLE] || rs[D3DRS_BLENDOP] != D3DBLENDOP_ADD ||
        rs[D3DRS_SRCBLEND] != D3DBLEND_SRCALPHA ||
        (rs[D3DRS_DESTBLEND] != D3DBLEND_ONE && rs[D3DRS_DESTBLEND] != D3DBLEND_INVSRCALPHA))
        return false;
    if (presenter_.DepthBuffer() && rs[D3DRS_ZENABLE] && rs[D3DRS_ZWRITEENABLE])
        return false;
    if (presenter_.StencilBuffer() && rs[D3DRS_STENCILENABLE])
        return false;
    const FvfLayout& layout = s.layout;
    const bool lit = rs[D3DRS_LIGHTING] && !layout.rhw;

    // Is the diffuse alpha zero at every vertex of the draw?
    auto diffuseAlphaZero = [&]() -> bool {
        int offset = -1;
        if (lit) {
            const DWORD source = rs[D3DRS_COLORVERTEX] ? rs[D3DRS_DIFFUSEMATERIALSOURCE] : 0;
            if (source == D3DMCS_COLOR1 && layout.diffuse >= 0)
                offset = layout.diffuse;
            else if (source == D3DMCS_COLOR2 && layout.specular >= 0)
                offset = layout.specular;
            else
                return s.material.Diffuse.a <= 0.0f;
        } else {
            offset = layout.diffuse;
            if (offset < 0)
                return false;  // white
        }
        const uint8_t* base;
        UINT stride, first, count;
        if (call.userVertices) {
            base = call.userVertices;
            stride = call.userStride;
            first = call.indexed ? call.minIndex : 0;
            count = call.indexed ? call.numVertices : call.vertexCount;
        } else {
            base = call.vertexBytes;
            stride = call.vertexStride;
            first = call.indexed ? call.baseVertexIndex + call.minIndex : call.startVertex;
            count = call.indexed ? call.numVertices : call.vertexCount;
        }
        if (count > 64)
            return false;  // not worth the look
        for (UINT i = 0; i < count; ++i)
            if (base[size_t(first + i) * stride + size_t(offset) + 3] != 0)
                return false;
        return true;
    };

    // Walk the alpha operations: zero, unknown.
    bool current = false;  // whether the current alpha is known to be zero
    bool diffuseKnown = false, diffuseZero = false;
    auto argZero = [&](uint8_t arg, int stage) -> bool {
        if (arg & D3DTA_COMPLEMENT)
            return false;
        switch (arg & D3DTA_SELECTMASK) {
        case D3DTA_DIFFUSE:
            if (!diffuseKnown) {
                diffuseZero = diffuseAlphaZero();
                diffuseKnown = true;
            }
            return diffuseZero;
        case D3DTA_CURRENT:
            return stage == 0 ? (diffuseKnown ? diffuseZero
                                              : (diffuseKnown = true, diffuseZero = diffuseAlphaZero()))
                              : current;
        case D3DTA_TFACTOR: return (rs[D3DRS_TEXTUREFACTOR] >> 24) == 0;
        default: return false;
        }
    };
    current = argZero(D3DTA_DIFFUSE, 0);
    for (int i = 0; fixed_.KeyValid() && i < fixed_.Key().stageCount; ++i) {
        const StageKey& st = fixed_.Key().stages[i];
        bool zero;
        switch (st.alphaOp) {
        case D3DTOP_SELECTARG1: zero = argZero(st.alphaArg[1], i); break;
        case D3DTOP_SELECTARG2: zero = argZero(st.alphaArg[2], i); break;
        case D3DTOP_MODULATE:
        case D3DTOP_MODULATE2X:
        case D3DTOP_MODULATE4X: zero = argZero(st.alphaArg[1], i) || argZero(st.alphaArg[2], i); break;
        default: zero = false; break;
        }
        if (!st.resultTemp)
            current = zero;
    }
    return current;
}

void GLDevice::Flush()
{
    if (batcher_.Pending()) {
        MakeCurrent();
        batcher_.DrawBatch();
    }
}

void GLDevice::Draw(const DeviceState& state, const DrawCall& call)
{
    MakeCurrent();
    ++stats_.draws;
    fixed_.Note(state);
    // The skip test reads the current key, so bring it up to date first
    // when state changed (cheap when nothing did).
    if (fixed_.Dirty() & (kDirtyShader | kDirtyVertexFormat | kDirtyTextures)) {
        batcher_.DrawBatch();
        if (!fixed_.Apply(state, call.textures))
            return;
    }
    if (CannotChangeFrame(state, call)) {
        ++stats_.skippedDraws;
        return;
    }
    if (GLBatcher::Batchable(call)) {
        batcher_.Append(state, call);
        return;
    }
    batcher_.DrawBatch();
    if (!fixed_.Apply(state, call.textures))
        return;
    if (call.userVertices)
        batcher_.DrawUser(state, call);
    else
        batcher_.DrawBuffers(state, call);
}

void GLDevice::Clear(const DeviceState& state, DWORD count, const D3DRECT* rects, DWORD flags,
                     D3DCOLOR color, float z, DWORD stencil)
{
    MakeCurrent();
    presenter_.Clear(state.viewport, count, rects, flags, color, z, stencil);
}

void GLDevice::Present()
{
    MakeCurrent();
    presenter_.Present();
}

HRESULT GLDevice::ReadBackBuffer(void* pixels, UINT pitch)
{
    MakeCurrent();
    presenter_.ReadBackBuffer(pixels, pitch);
    return D3D_OK;
}

HRESULT GLDevice::WriteBackBuffer(const void* pixels, UINT pitch, const RECT& rect)
{
    MakeCurrent();
    presenter_.WriteBackBuffer(pixels, pitch, rect);
    return D3D_OK;
}

HRESULT GLDevice::ReadFrontBuffer(void* pixels, UINT pitch)
{
    MakeCurrent();
    presenter_.ReadFrontBuffer(pixels, pitch);
    return D3D_OK;
}

D3D8Stats GLDevice::Stats() const
{
    D3D8Stats stats = stats_;
    stats.bindHits = cache_.Saved();
    stats.bindMisses = cache_.Calls();
    return stats;
}

}  // namespace d3d8
