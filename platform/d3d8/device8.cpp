#include "device8.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "buffer8.h"
#include "direct3d8.h"
#include "displaypixels.h"
#include "drawskip.h"
#include "matrix.h"
#include "texture8.h"

namespace d3d8 {
namespace {

using trace::Dec;
using trace::Hex;

std::string Failure(HRESULT hr) { return hr == D3D_OK ? std::string() : trace::Result(hr); }

bool IsPrimitiveType(D3DPRIMITIVETYPE type) { return type >= D3DPT_POINTLIST && type <= D3DPT_TRIANGLEFAN; }

bool InRange(DWORD value, DWORD low, DWORD high) { return value >= low && value <= high; }

}  // namespace

Device8::Device8(Direct3D8* parent, UINT adapter, HWND focus, DWORD behaviour, const D3DPRESENT_PARAMETERS& params,
                 std::shared_ptr<DeviceBackend> backend)
    : parent_(parent),
      adapter_(adapter),
      focus_(focus),
      behaviour_(behaviour),
      params_(params),
      backend_(std::move(backend)) {
    parent_->AddRef();
    trace_ = parent_->Trace();
    if (trace_) traceName_ = trace_->NewName("device");
    caps_ = parent_->GetBackend().Adapters()[adapter].caps;
    caps_.AdapterOrdinal = adapter;
    caps_.DeviceType = D3DDEVTYPE_HAL;
    ResetDeviceState(state_, params_.EnableAutoDepthStencil != FALSE, params_.BackBufferWidth,
                     params_.BackBufferHeight);
    losePresents_ = parent_->GetBackend().LosePresents();
    for (unsigned n : LosePresentsFromEnvironment()) losePresents_.push_back(n);
    lostChecks_ = parent_->GetBackend().LostChecks();
    DescribeSurfaces();
}

void Device8::DescribeSurfaces() {
    // The back and depth buffer objects live as long as the device (they
    // share its reference count); a Reset only describes them anew.
    D3DSURFACE_DESC desc = {};
    desc.Format = params_.BackBufferFormat;
    desc.Type = D3DRTYPE_SURFACE;
    desc.Usage = D3DUSAGE_RENDERTARGET;
    desc.Pool = D3DPOOL_DEFAULT;
    desc.Width = params_.BackBufferWidth;
    desc.Height = params_.BackBufferHeight;
    const FormatInfo* info = FindFormat(desc.Format);
    desc.Size = info ? FormatLevelSize(*info, desc.Width, desc.Height) : 0;
    if (!backBuffer_) {
        backBuffer_ = new Surface8(this, Surface8::Kind::BackBuffer, this, desc, nullptr, 0);
        if (trace_) backBuffer_->SetTrace(trace_, traceName_ + ".backbuffer");
    }
    backBuffer_->desc_ = desc;
    hasDepthBuffer_ = params_.EnableAutoDepthStencil != FALSE;
    if (!hasDepthBuffer_) return;
    desc.Format = params_.AutoDepthStencilFormat;
    desc.Usage = D3DUSAGE_DEPTHSTENCIL;
    info = FindFormat(desc.Format);
    desc.Size = info ? FormatLevelSize(*info, desc.Width, desc.Height) : 0;
    if (!depthBuffer_) {
        depthBuffer_ = new Surface8(this, Surface8::Kind::DepthBuffer, this, desc, nullptr, 0);
        if (trace_) depthBuffer_->SetTrace(trace_, traceName_ + ".depthbuffer");
    }
    depthBuffer_->desc_ = desc;
}

Device8::~Device8() {
    delete backBuffer_;
    delete depthBuffer_;
    backend_.reset();
    parent_->Release();
}

Device8* Device8::FromInterface(IDirect3DDevice8* device) { return dynamic_cast<Device8*>(device); }

ULONG Device8::Release() { return RefCounted::Release(); }

void Device8::LastRelease() {
    TraceCall("Release", {}, "0");
    AddPrivateRef();  // the bindings' releases must not destroy the device midway
    ReleaseBindings();
    released_ = true;
    ReleasePrivateRef();
}

void Device8::ReleasePrivateRef() {
    if (privateRefs_ > 0) --privateRefs_;
    MaybeDestroy();
}

void Device8::MaybeDestroy() {
    if (released_ && privateRefs_ == 0 && refs_ == 0) delete this;
}

void Device8::ReleaseBindings() {
    backend_->Flush();
    for (Texture8*& texture : state_.textures) {
        if (texture) texture->Release();
        texture = nullptr;
    }
    if (state_.stream) state_.stream->Release();
    state_.stream = nullptr;
    if (state_.indices) state_.indices->Release();
    state_.indices = nullptr;
}

HRESULT Device8::TestCooperativeLevel() {
    HRESULT hr = D3D_OK;
    if (lost_ && lostChecksLeft_ > 0) {
        --lostChecksLeft_;
        hr = D3DERR_DEVICELOST;
    } else if (lost_) {
        hr = D3DERR_DEVICENOTRESET;
    }
    TraceCall("TestCooperativeLevel", {}, Failure(hr));
    return hr;
}
UINT Device8::GetAvailableTextureMem() { return 256u << 20; }
HRESULT Device8::ResourceManagerDiscardBytes(DWORD) { return D3D_OK; }

HRESULT Device8::GetDirect3D(IDirect3D8** ppD3D8) {
    if (!ppD3D8) return D3DERR_INVALIDCALL;
    parent_->AddRef();
    *ppD3D8 = parent_;
    return D3D_OK;
}

HRESULT Device8::GetDeviceCaps(D3DCAPS8* pCaps) {
    if (!pCaps) return D3DERR_INVALIDCALL;
    *pCaps = caps_;
    return D3D_OK;
}

HRESULT Device8::GetDisplayMode(D3DDISPLAYMODE* pMode) {
    if (!pMode) return D3DERR_INVALIDCALL;
    if (params_.Windowed) return parent_->GetAdapterDisplayMode(adapter_, pMode);
    *pMode = {params_.BackBufferWidth, params_.BackBufferHeight, params_.FullScreen_RefreshRateInHz,
              params_.BackBufferFormat};
    return D3D_OK;
}

HRESULT Device8::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* pParameters) {
    if (!pParameters) return D3DERR_INVALIDCALL;
    *pParameters = {adapter_, D3DDEVTYPE_HAL, focus_, behaviour_};
    return D3D_OK;
}

BOOL Device8::ShowCursor(BOOL) { return FALSE; }

HRESULT Device8::Reset(D3DPRESENT_PARAMETERS* pPresentationParameters) {
    // Any size, windowed or full screen, once every resource of the default
    // pool is gone; the device state returns to its defaults.
    HRESULT hr = D3D_OK;
    D3DPRESENT_PARAMETERS params = {};
    if (lost_ && lostChecksLeft_ > 0)
        hr = D3DERR_DEVICELOST;  // the focus has not come back yet
    else if (!pPresentationParameters)
        hr = D3DERR_INVALIDCALL;
    else
        params = *pPresentationParameters;
    if (hr == D3D_OK && params.Windowed && params.BackBufferFormat == D3DFMT_UNKNOWN) {
        D3DDISPLAYMODE desktop;
        if (parent_->GetAdapterDisplayMode(adapter_, &desktop) == D3D_OK) params.BackBufferFormat = desktop.Format;
    }
    if (hr == D3D_OK) hr = parent_->ValidatePresentParams(adapter_, params);
    // The device's own bindings go whatever happens next (as in Direct3D,
    // a failed Reset leaves a device that needs another); only what the
    // program still holds in the default pool stops the Reset.
    if (hr == D3D_OK) ReleaseBindings();
    if (hr == D3D_OK && (defaultResources_ > 0 || backBuffer_->Locked())) hr = D3DERR_INVALIDCALL;
    if (hr == D3D_OK) hr = backend_->Reset(params);
    if (hr == D3D_OK) {
        params_ = params;
        *pPresentationParameters = params;
        DescribeSurfaces();
        ResetDeviceState(state_, params_.EnableAutoDepthStencil != FALSE, params_.BackBufferWidth,
                         params_.BackBufferHeight);
        inScene_ = false;
        lost_ = false;
    }
    TraceCall("Reset", {trace::PresentParams(pPresentationParameters)}, Failure(hr));
    return hr;
}

HRESULT Device8::Present(CONST RECT* pSourceRect, CONST RECT* pDestRect, HWND hDestWindowOverride,
                         CONST RGNDATA* pDirtyRegion) {
    backend_->Flush();
    ++presents_;
    if (presentHook_ && !lost_) presentHook_(presentUser_, this);
    const bool scheduled = std::find(losePresents_.begin(), losePresents_.end(), presents_) != losePresents_.end();
    if (!lost_ && (loseNext_ || scheduled)) {
        lost_ = true;
        lostChecksLeft_ = lostChecks_;
    }
    loseNext_ = false;
    const HRESULT hr = lost_ ? D3DERR_DEVICELOST : D3D_OK;
    TraceCall("Present",
              {trace::Rect(pSourceRect), trace::Rect(pDestRect), trace::Window(hDestWindowOverride),
               trace::Pointer(pDirtyRegion)},
              Failure(hr));
    if (!lost_) backend_->Present();
    return hr;
}

HRESULT Device8::GetBackBuffer(UINT BackBuffer, D3DBACKBUFFER_TYPE, IDirect3DSurface8** ppBackBuffer) {
    if (!ppBackBuffer || BackBuffer >= std::max(1u, params_.BackBufferCount)) return D3DERR_INVALIDCALL;
    backBuffer_->AddRef();
    *ppBackBuffer = backBuffer_;
    return D3D_OK;
}

HRESULT Device8::GetRasterStatus(D3DRASTER_STATUS* pRasterStatus) {
    if (!pRasterStatus) return D3DERR_INVALIDCALL;
    *pRasterStatus = {FALSE, 0};
    return D3D_OK;
}

HRESULT Device8::CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                               IDirect3DTexture8** ppTexture) {
    HRESULT hr = D3D_OK;
    const FormatInfo* info = FindFormat(Format);
    if (ppTexture) *ppTexture = nullptr;
    if (!ppTexture || Width == 0 || Height == 0 || Width > caps_.MaxTextureWidth || Height > caps_.MaxTextureHeight ||
        Pool > D3DPOOL_SYSTEMMEM || (Usage & ~DWORD(D3DUSAGE_DYNAMIC)) != 0)
        hr = D3DERR_INVALIDCALL;
    else if (!info || !info->texture || !parent_->GetBackend().SupportsFormat(adapter_, 0, D3DRTYPE_TEXTURE, Format))
        hr = D3DERR_INVALIDCALL;
    else if (Levels > FullMipCount(Width, Height))
        hr = D3DERR_INVALIDCALL;
    else if (parent_->GetBackend().FailCreate(D3DRTYPE_TEXTURE))
        hr = D3DERR_OUTOFVIDEOMEMORY;

    std::string created;
    if (hr == D3D_OK) {
        TextureDesc desc{Format, Width, Height, Levels ? Levels : FullMipCount(Width, Height)};
        std::unique_ptr<BackendResource> native = backend_->CreateTexture(desc);
        if (!native) {
            hr = D3DERR_OUTOFVIDEOMEMORY;
        } else {
            Texture8* texture = new Texture8(this, desc, Usage, Pool, std::move(native));
            created = texture->TraceName();
            *ppTexture = texture;
        }
    }
    TraceCall("CreateTexture",
              {Dec(Width), Dec(Height), Dec(Levels), Hex(Usage), trace::Format(Format), trace::Pool(Pool)},
              hr == D3D_OK ? created : Failure(hr));
    return hr;
}

HRESULT Device8::CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                    IDirect3DVertexBuffer8** ppVertexBuffer) {
    HRESULT hr = D3D_OK;
    FvfLayout layout;
    if (ppVertexBuffer) *ppVertexBuffer = nullptr;
    if (!ppVertexBuffer || Length == 0 || Pool > D3DPOOL_SYSTEMMEM ||
        (Usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)))
        hr = D3DERR_INVALIDCALL;
    else if (FVF && (!DecodeFvf(FVF, layout) || Length < layout.stride))
        hr = D3DERR_INVALIDCALL;
    else if (parent_->GetBackend().FailCreate(D3DRTYPE_VERTEXBUFFER))
        hr = D3DERR_OUTOFVIDEOMEMORY;

    std::string created;
    if (hr == D3D_OK) {
        std::unique_ptr<BackendResource> native = backend_->CreateBuffer(Length, false);
        if (!native) {
            hr = D3DERR_OUTOFVIDEOMEMORY;
        } else {
            VertexBuffer8* buffer = new VertexBuffer8(this, Length, Usage, FVF, Pool, std::move(native));
            created = buffer->TraceName();
            *ppVertexBuffer = buffer;
        }
    }
    TraceCall("CreateVertexBuffer", {Dec(Length), Hex(Usage), Hex(FVF), trace::Pool(Pool)},
              hr == D3D_OK ? created : Failure(hr));
    return hr;
}

HRESULT Device8::CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                   IDirect3DIndexBuffer8** ppIndexBuffer) {
    HRESULT hr = D3D_OK;
    if (ppIndexBuffer) *ppIndexBuffer = nullptr;
    if (!ppIndexBuffer || Length == 0 || Pool > D3DPOOL_SYSTEMMEM ||
        (Format != D3DFMT_INDEX16 && Format != D3DFMT_INDEX32) ||
        (Usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)))
        hr = D3DERR_INVALIDCALL;
    else if (parent_->GetBackend().FailCreate(D3DRTYPE_INDEXBUFFER))
        hr = D3DERR_OUTOFVIDEOMEMORY;

    std::string created;
    if (hr == D3D_OK) {
        std::unique_ptr<BackendResource> native = backend_->CreateBuffer(Length, true);
        if (!native) {
            hr = D3DERR_OUTOFVIDEOMEMORY;
        } else {
            IndexBuffer8* buffer = new IndexBuffer8(this, Length, Usage, Format, Pool, std::move(native));
            created = buffer->TraceName();
            *ppIndexBuffer = buffer;
        }
    }
    TraceCall("CreateIndexBuffer", {Dec(Length), Hex(Usage), trace::Format(Format), trace::Pool(Pool)},
              hr == D3D_OK ? created : Failure(hr));
    return hr;
}

HRESULT Device8::CreateImageSurface(UINT Width, UINT Height, D3DFORMAT Format, IDirect3DSurface8** ppSurface) {
    HRESULT hr = D3D_OK;
    const FormatInfo* info = FindFormat(Format);
    if (ppSurface) *ppSurface = nullptr;
    if (!ppSurface || Width == 0 || Height == 0 || !info || !info->texture || Width > 16384 || Height > 16384)
        hr = D3DERR_INVALIDCALL;
    std::string created;
    if (hr == D3D_OK) {
        D3DSURFACE_DESC desc = {Format,
                                D3DRTYPE_SURFACE,
                                0,
                                D3DPOOL_SYSTEMMEM,
                                FormatLevelSize(*info, Width, Height),
                                D3DMULTISAMPLE_NONE,
                                Width,
                                Height};
        Surface8* surface = new Surface8(this, Surface8::Kind::Image, nullptr, desc, nullptr, 0);
        if (trace_) {
            created = trace_->NewName("surface");
            surface->SetTrace(trace_, created);
        }
        *ppSurface = surface;
    }
    TraceCall("CreateImageSurface", {Dec(Width), Dec(Height), trace::Format(Format)},
              hr == D3D_OK ? created : Failure(hr));
    return hr;
}

HRESULT Device8::GetFrontBuffer(IDirect3DSurface8* pDestSurface) {
    // The last presented frame, into an A8R8G8B8 image surface at least as
    // large as the back buffer (its top-left part; the rest is untouched).
    auto* dest = dynamic_cast<Surface8*>(pDestSurface);
    HRESULT hr = D3D_OK;
    const UINT w = params_.BackBufferWidth, h = params_.BackBufferHeight;
    if (!dest || dest->GetKind() != Surface8::Kind::Image || dest->Desc().Format != D3DFMT_A8R8G8B8 ||
        dest->Desc().Width < w || dest->Desc().Height < h || dest->Locked())
        hr = D3DERR_INVALIDCALL;
    if (hr == D3D_OK) {
        std::vector<uint8_t> frame(size_t(w) * h * 4);
        hr = backend_->ReadFrontBuffer(frame.data(), w * 4);
        if (hr == D3D_OK) hr = dest->WritePixels(frame.data(), w * 4, {0, 0, LONG(w), LONG(h)});
    }
    TraceCall("GetFrontBuffer", {dest ? dest->TraceName() : trace::Pointer(pDestSurface)}, Failure(hr));
    return hr;
}

HRESULT Device8::CopyRects(IDirect3DSurface8* pSourceSurface, CONST RECT* pSourceRectsArray, UINT cRects,
                           IDirect3DSurface8* pDestinationSurface, CONST POINT* pDestPointsArray) {
    // Same format on both sides, no stretching; the back buffer may be a
    // source (how Direct3D 8 programs save frames) but neither it nor the
    // depth buffer is written, and compressed formats are not copied here.
    auto* src = dynamic_cast<Surface8*>(pSourceSurface);
    auto* dst = dynamic_cast<Surface8*>(pDestinationSurface);
    HRESULT hr = D3D_OK;
    const FormatInfo* info = src ? FindFormat(src->Desc().Format) : nullptr;
    if (!src || !dst || src == dst || !info || info->blockCompressed || src->Desc().Format != dst->Desc().Format ||
        src->GetKind() == Surface8::Kind::DepthBuffer || dst->GetKind() == Surface8::Kind::DepthBuffer ||
        dst->GetKind() == Surface8::Kind::BackBuffer || (cRects && !pSourceRectsArray))
        hr = D3DERR_INVALIDCALL;
    // Every rectangle is checked before anything is copied.
    std::vector<std::pair<RECT, RECT>> copies;
    const UINT count = hr == D3D_OK && cRects ? cRects : 1;
    for (UINT i = 0; i < count && hr == D3D_OK; ++i) {
        RECT from, to;
        if (!ValidSurfaceRect(cRects ? &pSourceRectsArray[i] : nullptr, src->Desc().Width, src->Desc().Height, from)) {
            hr = D3DERR_INVALIDCALL;
            break;
        }
        const POINT at = pDestPointsArray ? pDestPointsArray[i] : POINT{from.left, from.top};
        const RECT want = {at.x, at.y, at.x + (from.right - from.left), at.y + (from.bottom - from.top)};
        if (!ValidSurfaceRect(&want, dst->Desc().Width, dst->Desc().Height, to)) hr = D3DERR_INVALIDCALL;
        copies.push_back({from, to});
    }
    std::vector<uint8_t> bits;
    UINT pitch = 0;
    if (hr == D3D_OK && !dst->Locked())
        hr = src->ReadPixels(bits, pitch);
    else if (hr == D3D_OK)
        hr = D3DERR_INVALIDCALL;
    for (size_t i = 0; i < copies.size() && hr == D3D_OK; ++i) {
        const RECT& from = copies[i].first;
        hr = dst->WritePixels(bits.data() + size_t(from.top) * pitch + size_t(from.left) * info->bytesPerPixel, pitch,
                              copies[i].second);
    }
    TraceCall("CopyRects",
              {src ? src->TraceName() : trace::Pointer(pSourceSurface), Dec(cRects),
               dst ? dst->TraceName() : trace::Pointer(pDestinationSurface)},
              Failure(hr));
    return hr;
}

HRESULT Device8::ReadBackBufferAs(std::vector<uint8_t>& bits, UINT pitch) {
    const UINT w = params_.BackBufferWidth, h = params_.BackBufferHeight;
    if (!ConvertibleDisplayFormat(params_.BackBufferFormat)) return D3DERR_INVALIDCALL;
    std::vector<uint32_t> argb(size_t(w) * h);
    backend_->Flush();
    HRESULT hr = backend_->ReadBackBuffer(argb.data(), w * 4);
    if (hr != D3D_OK) return hr;
    bits.resize(size_t(pitch) * h);
    for (UINT y = 0; y < h; ++y)
        RowFromArgb(params_.BackBufferFormat, argb.data() + size_t(y) * w, bits.data() + size_t(y) * pitch, w);
    return D3D_OK;
}

HRESULT Device8::WriteBackBufferFrom(const uint8_t* bits, UINT pitch, const RECT& rect) {
    const UINT w = UINT(rect.right - rect.left), h = UINT(rect.bottom - rect.top);
    const UINT bytes = FindFormat(params_.BackBufferFormat)->bytesPerPixel;
    std::vector<uint32_t> argb(size_t(w) * h);
    for (UINT y = 0; y < h; ++y)
        RowToArgb(params_.BackBufferFormat, bits + size_t(rect.top + LONG(y)) * pitch + size_t(rect.left) * bytes,
                  argb.data() + size_t(y) * w, w);
    for (uint32_t& p : argb) p |= 0xFF000000u;  // the back buffer keeps no alpha of its own
    backend_->Flush();
    return backend_->WriteBackBuffer(argb.data(), w * 4, rect);
}

HRESULT Device8::GetRenderTarget(IDirect3DSurface8** ppRenderTarget) {
    if (!ppRenderTarget) return D3DERR_INVALIDCALL;
    backBuffer_->AddRef();
    *ppRenderTarget = backBuffer_;
    return D3D_OK;
}

HRESULT Device8::GetDepthStencilSurface(IDirect3DSurface8** ppZStencilSurface) {
    if (!ppZStencilSurface) return D3DERR_INVALIDCALL;
    *ppZStencilSurface = nullptr;
    if (!hasDepthBuffer_) return D3DERR_NOTFOUND;
    depthBuffer_->AddRef();
    *ppZStencilSurface = depthBuffer_;
    return D3D_OK;
}

HRESULT Device8::BeginScene() {
    HRESULT hr = inScene_ ? D3DERR_INVALIDCALL : D3D_OK;
    inScene_ = true;
    TraceCall("BeginScene", {}, Failure(hr));
    return hr;
}

HRESULT Device8::EndScene() {
    HRESULT hr = inScene_ ? D3D_OK : D3DERR_INVALIDCALL;
    inScene_ = false;
    TraceCall("EndScene", {}, Failure(hr));
    backend_->Flush();  // the scene's batched work starts now
    return hr;
}

HRESULT Device8::Clear(DWORD Count, CONST D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil) {
    HRESULT hr = D3D_OK;
    const bool stencil = params_.EnableAutoDepthStencil && FormatHasStencil(params_.AutoDepthStencilFormat);
    if ((Count && !pRects) || (Flags & ~DWORD(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) ||
        ((Flags & D3DCLEAR_ZBUFFER) && !hasDepthBuffer_) || ((Flags & D3DCLEAR_STENCIL) && !stencil) ||
        ((Flags & D3DCLEAR_ZBUFFER) && (Z < 0.0f || Z > 1.0f)))
        hr = D3DERR_INVALIDCALL;
    TraceCall("Clear", {Dec(Count), trace::Rects(Count, pRects), Hex(Flags), Hex(Color), trace::Float(Z), Dec(Stencil)},
              Failure(hr));
    if (hr == D3D_OK && Flags && !lost_) {
        backend_->Flush();
        backend_->Clear(state_, pRects ? Count : 0, pRects, Flags, Color, Z, Stencil);
    }
    return hr;
}

HRESULT Device8::SetTransform(D3DTRANSFORMSTATETYPE State, CONST D3DMATRIX* pMatrix) {
    HRESULT hr = D3D_OK;
    D3DMATRIX* target = nullptr;
    uint32_t dirty = 0;
    const DWORD s = State;
    if (s == D3DTS_VIEW) {
        target = &state_.view;
        dirty = DIRTY_WORLD_VIEW | DIRTY_LIGHTS;  // lights live in view space
    } else if (s == D3DTS_PROJECTION) {
        target = &state_.projection;
        dirty = DIRTY_PROJECTION | DIRTY_SHADER;  // table fog depends on its shape
    } else if (s >= D3DTS_TEXTURE0 && s <= D3DTS_TEXTURE7) {
        target = &state_.texture[s - D3DTS_TEXTURE0];
        dirty = DIRTY_TEX_MATRIX;
    } else if (s == D3DTS_WORLD) {
        target = &state_.world;
        dirty = DIRTY_WORLD_VIEW;
    } else if (s >= D3DTS_WORLD1 && s <= D3DTS_WORLD3) {
        target = &state_.extraWorld[s - D3DTS_WORLD1];
    }
    if (!target || !pMatrix) hr = D3DERR_INVALIDCALL;
    if (Tracing()) TraceCall("SetTransform", {trace::Transform(State), trace::Matrix(pMatrix)}, Failure(hr));
    if (hr == D3D_OK && std::memcmp(target, pMatrix, sizeof(D3DMATRIX)) != 0) {
        Touch(dirty);
        *target = *pMatrix;
    }
    return hr;
}

HRESULT Device8::GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) {
    const DWORD s = State;
    if (!pMatrix) return D3DERR_INVALIDCALL;
    if (s == D3DTS_VIEW)
        *pMatrix = state_.view;
    else if (s == D3DTS_PROJECTION)
        *pMatrix = state_.projection;
    else if (s >= D3DTS_TEXTURE0 && s <= D3DTS_TEXTURE7)
        *pMatrix = state_.texture[s - D3DTS_TEXTURE0];
    else if (s == D3DTS_WORLD)
        *pMatrix = state_.world;
    else if (s >= D3DTS_WORLD1 && s <= D3DTS_WORLD3)
        *pMatrix = state_.extraWorld[s - D3DTS_WORLD1];
    else
        return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT Device8::MultiplyTransform(D3DTRANSFORMSTATETYPE State, CONST D3DMATRIX* pMatrix) {
    D3DMATRIX current;
    if (!pMatrix || GetTransform(State, &current) != D3D_OK) return D3DERR_INVALIDCALL;
    D3DMATRIX product = Multiply(*pMatrix, current);
    return SetTransform(State, &product);
}

HRESULT Device8::SetViewport(CONST D3DVIEWPORT8* pViewport) {
    HRESULT hr = D3D_OK;
    if (!pViewport || pViewport->Width == 0 || pViewport->Height == 0 ||
        pViewport->X + pViewport->Width > params_.BackBufferWidth ||
        pViewport->Y + pViewport->Height > params_.BackBufferHeight ||
        !(pViewport->MinZ >= 0.0f && pViewport->MinZ <= 1.0f) || !(pViewport->MaxZ >= 0.0f && pViewport->MaxZ <= 1.0f))
        hr = D3DERR_INVALIDCALL;
    TraceCall("SetViewport", {trace::Viewport(pViewport)}, Failure(hr));
    if (hr == D3D_OK && std::memcmp(&state_.viewport, pViewport, sizeof(D3DVIEWPORT8)) != 0) {
        Touch(DIRTY_VIEWPORT);
        state_.viewport = *pViewport;
    }
    return hr;
}

HRESULT Device8::GetViewport(D3DVIEWPORT8* pViewport) {
    if (!pViewport) return D3DERR_INVALIDCALL;
    *pViewport = state_.viewport;
    return D3D_OK;
}

HRESULT Device8::SetMaterial(CONST D3DMATERIAL8* pMaterial) {
    HRESULT hr = pMaterial ? D3D_OK : D3DERR_INVALIDCALL;
    if (Tracing()) TraceCall("SetMaterial", {trace::Material(pMaterial)}, Failure(hr));
    if (hr == D3D_OK && std::memcmp(&state_.material, pMaterial, sizeof(D3DMATERIAL8)) != 0) {
        Touch(DIRTY_MATERIAL);
        state_.material = *pMaterial;
    }
    return hr;
}

HRESULT Device8::GetMaterial(D3DMATERIAL8* pMaterial) {
    if (!pMaterial) return D3DERR_INVALIDCALL;
    *pMaterial = state_.material;
    return D3D_OK;
}

HRESULT Device8::SetLight(DWORD Index, CONST D3DLIGHT8* pLight) {
    HRESULT hr = D3D_OK;
    if (!pLight || pLight->Type < D3DLIGHT_POINT || pLight->Type > D3DLIGHT_DIRECTIONAL || !(pLight->Range >= 0.0f) ||
        Index > 0xFFFF)
        hr = D3DERR_INVALIDCALL;
    if (Tracing()) TraceCall("SetLight", {Dec(Index), trace::Light(pLight)}, Failure(hr));
    if (hr == D3D_OK) {
        if (Index >= state_.lights.size()) state_.lights.resize(Index + 1);
        LightSlot& slot = state_.lights[Index];
        if (std::memcmp(&slot.light, pLight, sizeof(D3DLIGHT8)) != 0) {
            Touch(slot.enabled ? uint32_t(DIRTY_LIGHTS) : 0u);
            slot.light = *pLight;
        }
    }
    return hr;
}

HRESULT Device8::GetLight(DWORD Index, D3DLIGHT8* pLight) {
    if (!pLight || Index >= state_.lights.size()) return D3DERR_INVALIDCALL;
    *pLight = state_.lights[Index].light;
    return D3D_OK;
}

HRESULT Device8::LightEnable(DWORD Index, BOOL Enable) {
    HRESULT hr = Index > 0xFFFF ? D3DERR_INVALIDCALL : D3D_OK;
    TraceCall("LightEnable", {Dec(Index), trace::Bool(Enable)}, Failure(hr));
    if (hr != D3D_OK) return hr;
    if (Index >= state_.lights.size()) {
        // Enabling a light that was never set gives the default light: white,
        // directional, shining along +z.
        state_.lights.resize(Index + 1);
        D3DLIGHT8& light = state_.lights[Index].light;
        light = {};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
        light.Direction = {0.0f, 0.0f, 1.0f};
    }
    LightSlot& slot = state_.lights[Index];
    if (slot.enabled != (Enable != FALSE)) {
        Touch(DIRTY_LIGHTS | DIRTY_SHADER);
        slot.enabled = Enable != FALSE;
    }
    return hr;
}

HRESULT Device8::GetLightEnable(DWORD Index, BOOL* pEnable) {
    if (!pEnable || Index >= state_.lights.size()) return D3DERR_INVALIDCALL;
    *pEnable = state_.lights[Index].enabled ? 128 : 0;  // Direct3D reports a non-zero value
    return D3D_OK;
}

void Device8::IgnoreState(const char* what, DWORD which, DWORD value) {
    backend_->CountIgnoredState();
#ifndef NDEBUG
    if (reported_.insert({which, value}).second)
        std::fprintf(stderr, "d3d8: %s %lu = %lu is not supported; ignored\n", what, (unsigned long)which,
                     (unsigned long)value);
#else
    (void)what;
    (void)which;
    (void)value;
#endif
}

bool Device8::SupportedRenderState(D3DRENDERSTATETYPE state, DWORD v) const {
    switch (state) {
    case D3DRS_ZENABLE: return v <= D3DZB_USEW;
    case D3DRS_FILLMODE: return InRange(v, D3DFILL_POINT, D3DFILL_SOLID);
    case D3DRS_SHADEMODE: return v == D3DSHADE_GOURAUD || v == D3DSHADE_PHONG;
    case D3DRS_SRCBLEND:
    case D3DRS_DESTBLEND: return InRange(v, D3DBLEND_ZERO, D3DBLEND_BOTHINVSRCALPHA);
    case D3DRS_CULLMODE: return InRange(v, D3DCULL_NONE, D3DCULL_CCW);
    case D3DRS_ZFUNC:
    case D3DRS_ALPHAFUNC:
    case D3DRS_STENCILFUNC: return InRange(v, D3DCMP_NEVER, D3DCMP_ALWAYS);
    case D3DRS_STENCILFAIL:
    case D3DRS_STENCILZFAIL:
    case D3DRS_STENCILPASS: return InRange(v, D3DSTENCILOP_KEEP, D3DSTENCILOP_DECR);
    case D3DRS_FOGTABLEMODE:
    case D3DRS_FOGVERTEXMODE: return v <= D3DFOG_LINEAR;
    case D3DRS_DIFFUSEMATERIALSOURCE:
    case D3DRS_SPECULARMATERIALSOURCE:
    case D3DRS_AMBIENTMATERIALSOURCE:
    case D3DRS_EMISSIVEMATERIALSOURCE: return v <= D3DMCS_COLOR2;
    case D3DRS_BLENDOP: return InRange(v, D3DBLENDOP_ADD, D3DBLENDOP_MAX);
    case D3DRS_VERTEXBLEND:
    case D3DRS_CLIPPLANEENABLE:
    case D3DRS_POINTSPRITEENABLE:
    case D3DRS_POINTSCALEENABLE:
    case D3DRS_INDEXEDVERTEXBLENDENABLE:
    case D3DRS_EDGEANTIALIAS:
    case D3DRS_ZBIAS:
    case D3DRS_WRAP0:
    case D3DRS_WRAP1:
    case D3DRS_WRAP2:
    case D3DRS_WRAP3:
    case D3DRS_WRAP4:
    case D3DRS_WRAP5:
    case D3DRS_WRAP6:
    case D3DRS_WRAP7:
    case D3DRS_LINEPATTERN: return v == 0;
    case D3DRS_ZWRITEENABLE:
    case D3DRS_ALPHATESTENABLE:
    case D3DRS_LASTPIXEL:
    case D3DRS_ALPHAREF:
    case D3DRS_DITHERENABLE:
    case D3DRS_ALPHABLENDENABLE:
    case D3DRS_FOGENABLE:
    case D3DRS_SPECULARENABLE:
    case D3DRS_ZVISIBLE:
    case D3DRS_FOGCOLOR:
    case D3DRS_FOGSTART:
    case D3DRS_FOGEND:
    case D3DRS_FOGDENSITY:
    case D3DRS_RANGEFOGENABLE:
    case D3DRS_STENCILENABLE:
    case D3DRS_STENCILREF:
    case D3DRS_STENCILMASK:
    case D3DRS_STENCILWRITEMASK:
    case D3DRS_TEXTUREFACTOR:
    case D3DRS_CLIPPING:
    case D3DRS_LIGHTING:
    case D3DRS_AMBIENT:
    case D3DRS_COLORVERTEX:
    case D3DRS_LOCALVIEWER:
    case D3DRS_NORMALIZENORMALS:
    case D3DRS_SOFTWAREVERTEXPROCESSING:
    case D3DRS_POINTSIZE:
    case D3DRS_POINTSIZE_MIN:
    case D3DRS_POINTSCALE_A:
    case D3DRS_POINTSCALE_B:
    case D3DRS_POINTSCALE_C:
    case D3DRS_MULTISAMPLEANTIALIAS:
    case D3DRS_MULTISAMPLEMASK:
    case D3DRS_PATCHEDGESTYLE:
    case D3DRS_PATCHSEGMENTS:
    case D3DRS_DEBUGMONITORTOKEN:
    case D3DRS_POINTSIZE_MAX:
    case D3DRS_COLORWRITEENABLE:
    case D3DRS_TWEENFACTOR:
    case D3DRS_POSITIONORDER:
    case D3DRS_NORMALORDER: return true;
    default: return false;
    }
}

HRESULT Device8::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) {
    if (Tracing()) TraceCall("SetRenderState", {trace::RenderState(State), trace::RenderStateValue(State, Value)});
    if (DWORD(State) >= RENDER_STATES) {
        IgnoreState("render state", State, Value);
        return D3D_OK;
    }
    if (!SupportedRenderState(State, Value)) IgnoreState("render state", State, Value);
    if (state_.rs[State] != Value) {
        Touch(RenderStateGroup(State));
        state_.rs[State] = Value;
    }
    return D3D_OK;
}

HRESULT Device8::GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) {
    if (!pValue || DWORD(State) >= RENDER_STATES) return D3DERR_INVALIDCALL;
    *pValue = state_.rs[State];
    return D3D_OK;
}

HRESULT Device8::GetTexture(DWORD Stage, IDirect3DBaseTexture8** ppTexture) {
    if (!ppTexture || Stage >= STAGES) return D3DERR_INVALIDCALL;
    *ppTexture = state_.textures[Stage];
    if (*ppTexture) (*ppTexture)->AddRef();
    return D3D_OK;
}

HRESULT Device8::SetTexture(DWORD Stage, IDirect3DBaseTexture8* pTexture) {
    HRESULT hr = D3D_OK;
    Texture8* texture = nullptr;
    if (Stage >= STAGES)
        hr = D3DERR_INVALIDCALL;
    else if (pTexture && !(texture = dynamic_cast<Texture8*>(pTexture)))
        hr = D3DERR_INVALIDCALL;
    if (Tracing()) TraceCall("SetTexture", {Dec(Stage), texture ? texture->TraceName() : "null"}, Failure(hr));
    if (hr == D3D_OK && state_.textures[Stage] != texture) {
        Touch(DIRTY_TEXTURES | DIRTY_SHADER);
        if (texture) texture->AddRef();
        if (state_.textures[Stage]) state_.textures[Stage]->Release();
        state_.textures[Stage] = texture;
    }
    return hr;
}

HRESULT Device8::GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) {
    if (!pValue || Stage >= STAGES || DWORD(Type) >= STAGE_STATES) return D3DERR_INVALIDCALL;
    *pValue = state_.tss[Stage][Type];
    return D3D_OK;
}

bool Device8::SupportedStageState(D3DTEXTURESTAGESTATETYPE type, DWORD v) const {
    auto argument = [](DWORD a) {
        return (a & D3DTA_SELECTMASK) <= D3DTA_TEMP &&
               (a & ~DWORD(D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE)) == 0;
    };
    switch (type) {
    case D3DTSS_COLOROP:
    case D3DTSS_ALPHAOP:
        return InRange(v, D3DTOP_DISABLE, D3DTOP_LERP) && v != D3DTOP_BUMPENVMAP && v != D3DTOP_BUMPENVMAPLUMINANCE &&
               v != D3DTOP_PREMODULATE;
    case D3DTSS_COLORARG0:
    case D3DTSS_COLORARG1:
    case D3DTSS_COLORARG2:
    case D3DTSS_ALPHAARG0:
    case D3DTSS_ALPHAARG1:
    case D3DTSS_ALPHAARG2: return argument(v);
    case D3DTSS_RESULTARG: return v == D3DTA_CURRENT || v == D3DTA_TEMP;
    case D3DTSS_TEXCOORDINDEX: return (v & 0xFFFF) < 8 && (v >> 16) <= 3;
    case D3DTSS_ADDRESSU:
    case D3DTSS_ADDRESSV:
    case D3DTSS_ADDRESSW: return InRange(v, D3DTADDRESS_WRAP, D3DTADDRESS_MIRRORONCE);
    case D3DTSS_MAGFILTER:
    case D3DTSS_MINFILTER: return InRange(v, D3DTEXF_POINT, D3DTEXF_GAUSSIANCUBIC);
    case D3DTSS_MIPFILTER: return v <= D3DTEXF_LINEAR;
    case D3DTSS_TEXTURETRANSFORMFLAGS: return (v & ~DWORD(D3DTTFF_PROJECTED)) <= D3DTTFF_COUNT4;
    case D3DTSS_BUMPENVMAT00:
    case D3DTSS_BUMPENVMAT01:
    case D3DTSS_BUMPENVMAT10:
    case D3DTSS_BUMPENVMAT11:
    case D3DTSS_BUMPENVLSCALE:
    case D3DTSS_BUMPENVLOFFSET:
    case D3DTSS_BORDERCOLOR:
    case D3DTSS_MIPMAPLODBIAS:
    case D3DTSS_MAXMIPLEVEL:
    case D3DTSS_MAXANISOTROPY: return true;
    default: return false;
    }
}

HRESULT Device8::SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) {
    HRESULT hr = Stage >= STAGES ? D3DERR_INVALIDCALL : D3D_OK;
    if (Tracing())
        TraceCall("SetTextureStageState", {Dec(Stage), trace::StageState(Type), trace::StageStateValue(Type, Value)},
                  Failure(hr));
    if (hr != D3D_OK) return hr;
    if (DWORD(Type) >= STAGE_STATES) {
        IgnoreState("texture stage state", Type, Value);
        return D3D_OK;
    }
    if (!SupportedStageState(Type, Value)) IgnoreState("texture stage state", Type, Value);
    if (state_.tss[Stage][Type] != Value) {
        uint32_t group = StageStateGroup(Type);
        Touch(group);
        if (group & DIRTY_SAMPLERS) state_.dirtySamplerStages |= 1u << Stage;
        state_.tss[Stage][Type] = Value;
    }
    return D3D_OK;
}

HRESULT Device8::ValidateDevice(DWORD* pNumPasses) {
    if (!pNumPasses) return D3DERR_INVALIDCALL;
    *pNumPasses = 1;
    return D3D_OK;
}

HRESULT Device8::CheckDrawState() const {
    return state_.fvf && state_.layout.position >= 0 ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT Device8::Draw(DrawCall& call) {
    // A lost device accepts draws and shows nothing of them.
    if (lost_) return D3D_OK;
    ++draws_;
    Resolve(call);
    if (CannotChangeFrame(state_, call, params_.EnableAutoDepthStencil != FALSE,
                          params_.EnableAutoDepthStencil && FormatHasStencil(params_.AutoDepthStencilFormat))) {
        ++skippedDraws_;
        return D3D_OK;
    }
    if (call.type >= D3DPT_TRIANGLELIST) triangles_ += call.primitiveCount;
    backend_->Draw(state_, call);
    // The back end has seen every change so far.
    state_.dirty = 0;
    state_.dirtySamplerStages = 0;
    return D3D_OK;
}

void Device8::Resolve(DrawCall& call) const {
    for (int i = 0; i < STAGES; ++i) call.textures[i] = state_.textures[i] ? state_.textures[i]->Backend() : nullptr;
    if (call.userVertices) return;
    const BufferStore& vertices = state_.stream->Store();
    call.vertexBuffer = vertices.Backend();
    call.vertexBytes = vertices.Bytes();
    call.vertexStride = state_.streamStride;
    if (call.indexed) {
        call.indexBuffer = state_.indices->Store().Backend();
        call.indexSize = state_.indices->IndexSize();
        call.baseVertexIndex = state_.baseVertexIndex;
    }
}

HRESULT Device8::DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) {
    HRESULT hr = CheckDrawState();
    const UINT vertices = VertexCountOf(PrimitiveType, PrimitiveCount);
    if (hr == D3D_OK &&
        (!IsPrimitiveType(PrimitiveType) || !state_.stream || state_.streamStride < state_.layout.stride))
        hr = D3DERR_INVALIDCALL;
    if (hr == D3D_OK && PrimitiveCount) {
        const uint64_t end = (uint64_t(StartVertex) + vertices) * state_.streamStride;
        if (end > state_.stream->Store().Size()) hr = D3DERR_INVALIDCALL;
    }
    TraceCall("DrawPrimitive", {trace::Primitive(PrimitiveType), Dec(StartVertex), Dec(PrimitiveCount)}, Failure(hr));
    if (hr != D3D_OK || PrimitiveCount == 0) return hr;
    DrawCall call;
    call.type = PrimitiveType;
    call.primitiveCount = PrimitiveCount;
    call.vertexCount = vertices;
    call.startVertex = StartVertex;
    return Draw(call);
}

HRESULT Device8::DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT minIndex, UINT NumVertices, UINT startIndex,
                                      UINT primCount) {
    HRESULT hr = CheckDrawState();
    const UINT count = VertexCountOf(PrimitiveType, primCount);
    if (hr == D3D_OK && (!IsPrimitiveType(PrimitiveType) || !state_.stream || !state_.indices ||
                         state_.streamStride < state_.layout.stride))
        hr = D3DERR_INVALIDCALL;
    if (hr == D3D_OK && primCount) {
        const IndexBuffer8& ib = *state_.indices;
        const uint64_t vbVertices = state_.stream->Store().Size() / state_.streamStride;
        const uint64_t base = state_.baseVertexIndex;
        if ((uint64_t(startIndex) + count) * ib.IndexSize() > ib.Store().Size())
            hr = D3DERR_INVALIDCALL;
        else if (base + minIndex + NumVertices > vbVertices)
            hr = D3DERR_INVALIDCALL;
        else if (base + ib.MaxIndex() >= vbVertices && base + ib.MaxIndex(startIndex, count) >= vbVertices)
            hr = D3DERR_INVALIDCALL;  // an index reaches past the vertex buffer
    }
    TraceCall("DrawIndexedPrimitive",
              {trace::Primitive(PrimitiveType), Dec(minIndex), Dec(NumVertices), Dec(startIndex), Dec(primCount)},
              Failure(hr));
    if (hr != D3D_OK || primCount == 0) return hr;
    DrawCall call;
    call.type = PrimitiveType;
    call.primitiveCount = primCount;
    call.vertexCount = count;
    call.indexed = true;
    call.startIndex = startIndex;
    call.minIndex = minIndex;
    call.numVertices = NumVertices;
    return Draw(call);
}

HRESULT Device8::DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount, CONST void* pVertexStreamZeroData,
                                 UINT VertexStreamZeroStride) {
    HRESULT hr = CheckDrawState();
    const UINT vertices = VertexCountOf(PrimitiveType, PrimitiveCount);
    if (hr == D3D_OK &&
        (!IsPrimitiveType(PrimitiveType) || !pVertexStreamZeroData || VertexStreamZeroStride < state_.layout.stride))
        hr = D3DERR_INVALIDCALL;
    if (Tracing())
        TraceCall("DrawPrimitiveUP",
                  {trace::Primitive(PrimitiveType), Dec(PrimitiveCount),
                   trace::Data(pVertexStreamZeroData, hr == D3D_OK ? size_t(vertices) * VertexStreamZeroStride : 0),
                   Dec(VertexStreamZeroStride)},
                  Failure(hr));
    if (hr != D3D_OK) return hr;
    // The user pointer replaces stream 0, which stays unset afterwards.
    if (state_.stream) {
        Touch(DIRTY_STREAMS);
        state_.stream->Release();
        state_.stream = nullptr;
        state_.streamStride = 0;
    }
    if (PrimitiveCount == 0) return D3D_OK;
    DrawCall call;
    call.type = PrimitiveType;
    call.primitiveCount = PrimitiveCount;
    call.vertexCount = vertices;
    call.userVertices = static_cast<const uint8_t*>(pVertexStreamZeroData);
    call.userStride = VertexStreamZeroStride;
    return Draw(call);
}

HRESULT Device8::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex, UINT NumVertexIndices,
                                        UINT PrimitiveCount, CONST void* pIndexData, D3DFORMAT IndexDataFormat,
                                        CONST void* pVertexStreamZeroData, UINT VertexStreamZeroStride) {
    HRESULT hr = CheckDrawState();
    const UINT count = VertexCountOf(PrimitiveType, PrimitiveCount);
    const UINT indexSize = IndexDataFormat == D3DFMT_INDEX32 ? 4 : 2;
    if (hr == D3D_OK && (!IsPrimitiveType(PrimitiveType) || !pIndexData || !pVertexStreamZeroData ||
                         VertexStreamZeroStride < state_.layout.stride ||
                         (IndexDataFormat != D3DFMT_INDEX16 && IndexDataFormat != D3DFMT_INDEX32)))
        hr = D3DERR_INVALIDCALL;
    // Only vertices below MinVertexIndex + NumVertexIndices are read.
    const uint64_t limit = uint64_t(MinVertexIndex) + NumVertexIndices;
    if (hr == D3D_OK) {
        const uint8_t* bytes = static_cast<const uint8_t*>(pIndexData);
        for (UINT i = 0; i < count && hr == D3D_OK; ++i) {
            uint32_t index;
            if (indexSize == 4) {
                std::memcpy(&index, bytes + 4 * i, 4);
            } else {
                uint16_t small;
                std::memcpy(&small, bytes + 2 * i, 2);
                index = small;
            }
            if (index >= limit) hr = D3DERR_INVALIDCALL;
        }
    }
    if (Tracing())
        TraceCall(
            "DrawIndexedPrimitiveUP",
            {trace::Primitive(PrimitiveType), Dec(MinVertexIndex), Dec(NumVertexIndices), Dec(PrimitiveCount),
             trace::Data(pIndexData, hr == D3D_OK ? size_t(count) * indexSize : 0), trace::Format(IndexDataFormat),
             trace::Data(pVertexStreamZeroData, hr == D3D_OK ? size_t(limit) * VertexStreamZeroStride : 0),
             Dec(VertexStreamZeroStride)},
            Failure(hr));
    if (hr != D3D_OK) return hr;
    if (state_.stream || state_.indices) {
        Touch(DIRTY_STREAMS | DIRTY_INDICES);
        if (state_.stream) state_.stream->Release();
        if (state_.indices) state_.indices->Release();
        state_.stream = nullptr;
        state_.streamStride = 0;
        state_.indices = nullptr;
        state_.baseVertexIndex = 0;
    }
    if (PrimitiveCount == 0) return D3D_OK;
    DrawCall call;
    call.type = PrimitiveType;
    call.primitiveCount = PrimitiveCount;
    call.vertexCount = count;
    call.indexed = true;
    call.minIndex = MinVertexIndex;
    call.numVertices = NumVertexIndices;
    call.userVertices = static_cast<const uint8_t*>(pVertexStreamZeroData);
    call.userStride = VertexStreamZeroStride;
    call.userIndices = pIndexData;
    call.userIndices32 = indexSize == 4;
    return Draw(call);
}

HRESULT Device8::SetVertexShader(DWORD Handle) {
    FvfLayout layout;
    HRESULT hr = DecodeFvf(Handle, layout) ? D3D_OK : D3DERR_INVALIDCALL;
    TraceCall("SetVertexShader", {Hex(Handle)}, Failure(hr));
    if (hr == D3D_OK && state_.fvf != Handle) {
        Touch(DIRTY_VERTEX_FORMAT | DIRTY_SHADER);
        state_.fvf = Handle;
        state_.layout = layout;
    }
    return hr;
}

HRESULT Device8::GetVertexShader(DWORD* pHandle) {
    if (!pHandle) return D3DERR_INVALIDCALL;
    *pHandle = state_.fvf;
    return D3D_OK;
}

HRESULT Device8::SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8* pStreamData, UINT Stride) {
    HRESULT hr = D3D_OK;
    VertexBuffer8* buffer = nullptr;
    if (StreamNumber != 0 || (pStreamData && !(buffer = dynamic_cast<VertexBuffer8*>(pStreamData))))
        hr = D3DERR_INVALIDCALL;
    if (Tracing())
        TraceCall("SetStreamSource", {Dec(StreamNumber), buffer ? buffer->TraceName() : "null", Dec(Stride)},
                  Failure(hr));
    if (hr == D3D_OK && (state_.stream != buffer || state_.streamStride != Stride)) {
        Touch(DIRTY_STREAMS);
        if (buffer) buffer->AddRef();
        if (state_.stream) state_.stream->Release();
        state_.stream = buffer;
        state_.streamStride = Stride;
    }
    return hr;
}

HRESULT Device8::GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8** ppStreamData, UINT* pStride) {
    if (StreamNumber != 0 || !ppStreamData || !pStride) return D3DERR_INVALIDCALL;
    *ppStreamData = state_.stream;
    if (state_.stream) state_.stream->AddRef();
    *pStride = state_.streamStride;
    return D3D_OK;
}

HRESULT Device8::SetIndices(IDirect3DIndexBuffer8* pIndexData, UINT BaseVertexIndex) {
    HRESULT hr = D3D_OK;
    IndexBuffer8* buffer = nullptr;
    if (pIndexData && !(buffer = dynamic_cast<IndexBuffer8*>(pIndexData))) hr = D3DERR_INVALIDCALL;
    if (Tracing()) TraceCall("SetIndices", {buffer ? buffer->TraceName() : "null", Dec(BaseVertexIndex)}, Failure(hr));
    if (hr == D3D_OK && (state_.indices != buffer || state_.baseVertexIndex != BaseVertexIndex)) {
        Touch(DIRTY_INDICES);
        if (buffer) buffer->AddRef();
        if (state_.indices) state_.indices->Release();
        state_.indices = buffer;
        state_.baseVertexIndex = BaseVertexIndex;
    }
    return hr;
}

HRESULT Device8::GetIndices(IDirect3DIndexBuffer8** ppIndexData, UINT* pBaseVertexIndex) {
    if (!ppIndexData || !pBaseVertexIndex) return D3DERR_INVALIDCALL;
    *ppIndexData = state_.indices;
    if (state_.indices) state_.indices->AddRef();
    *pBaseVertexIndex = state_.baseVertexIndex;
    return D3D_OK;
}

HRESULT Device8::ReadBackBuffer(void* pixels, UINT pitch, UINT* width, UINT* height) {
    if (width) *width = params_.BackBufferWidth;
    if (height) *height = params_.BackBufferHeight;
    if (!pixels) return D3D_OK;
    if (pitch < params_.BackBufferWidth * 4) return D3DERR_INVALIDCALL;
    backend_->Flush();
    return backend_->ReadBackBuffer(pixels, pitch);
}

void Device8::SetPresentHook(D3D8PresentHook hook, void* user) {
    presentHook_ = hook;
    presentUser_ = user;
}

}  // namespace d3d8
