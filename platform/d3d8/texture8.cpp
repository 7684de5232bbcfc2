#include "texture8.h"

#include <algorithm>
#include <cstring>

#include "device8.h"

namespace d3d8 {

// ---------------------------------------------------------------------------
// Surface8

Surface8::Surface8(Device8* device, Kind kind, IUnknown* container, const D3DSURFACE_DESC& desc, Texture8* texture,
                   UINT level)
    : device_(device), kind_(kind), container_(container), desc_(desc), texture_(texture), level_(level) {
    if (kind_ == Kind::Image) {
        device_->AddPrivateRef();
        bits_.resize(desc_.Size);
    }
}

Surface8::~Surface8() {
    if (kind_ == Kind::Image) device_->ReleasePrivateRef();
}

void Surface8::SetTrace(TraceLog* trace, std::string name) {
    trace_ = trace;
    traceName_ = std::move(name);
}

ULONG Surface8::AddRef() { return container_ ? container_->AddRef() : RefCounted::AddRef(); }

ULONG Surface8::Release() { return container_ ? container_->Release() : RefCounted::Release(); }

void Surface8::LastRelease() {
    TraceCall("Release", {}, "0");
    delete this;
}

HRESULT Surface8::GetDevice(IDirect3DDevice8** ppDevice) {
    if (!ppDevice) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *ppDevice = device_;
    return D3D_OK;
}

HRESULT Surface8::GetContainer(REFIID, void** ppContainer) {
    if (!ppContainer) return D3DERR_INVALIDCALL;
    IUnknown* container = kind_ == Kind::Image ? static_cast<IUnknown*>(device_) : container_;
    container->AddRef();
    *ppContainer = container;
    return D3D_OK;
}

HRESULT Surface8::GetDesc(D3DSURFACE_DESC* pDesc) {
    if (!pDesc) return D3DERR_INVALIDCALL;
    *pDesc = desc_;
    return D3D_OK;
}

bool ValidSurfaceRect(const RECT* rect, UINT width, UINT height, RECT& out) {
    out = {0, 0, LONG(width), LONG(height)};
    if (!rect) return width > 0 && height > 0;
    if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
        rect->right > LONG(width) || rect->bottom > LONG(height))
        return false;
    out = *rect;
    return true;
}

bool Surface8::Locked() const { return kind_ == Kind::TextureLevel ? texture_->LevelLocked(level_) : locked_; }

HRESULT Surface8::LockRect(D3DLOCKED_RECT* pLockedRect, CONST RECT* pRect, DWORD Flags) {
    HRESULT hr = D3DERR_INVALIDCALL;
    RECT r;
    if (kind_ == Kind::TextureLevel) {
        hr = texture_->Lock(level_, pLockedRect, pRect, Flags);
    } else if ((kind_ == Kind::Image || kind_ == Kind::BackBuffer) && pLockedRect && !locked_ &&
               ValidSurfaceRect(pRect, desc_.Width, desc_.Height, r)) {
        // The back buffer locks only when the device was made with a
        // lockable one; it is then read from the back end and written back
        // when the lock ends.
        const FormatInfo* info = FindFormat(desc_.Format);
        const UINT pitch = FormatPitch(*info, desc_.Width);
        hr = D3D_OK;
        if (kind_ == Kind::BackBuffer) {
            hr = device_->BackBufferLockable() ? device_->ReadBackBufferAs(bits_, pitch) : D3DERR_INVALIDCALL;
        }
        if (hr == D3D_OK) {
            pLockedRect->Pitch = INT(pitch);
            pLockedRect->pBits = bits_.data() + r.top * pitch + r.left * info->bytesPerPixel;
            locked_ = true;
            lockReadOnly_ = (Flags & D3DLOCK_READONLY) != 0;
            lockRect_ = r;
        }
    }
    TraceCall("LockRect", {trace::Rect(pRect), trace::Hex(Flags)}, hr == D3D_OK ? std::string() : trace::Result(hr));
    return hr;
}

HRESULT Surface8::UnlockRect() {
    HRESULT hr = D3DERR_INVALIDCALL;
    if (kind_ == Kind::TextureLevel) {
        hr = texture_->Unlock(level_);
    } else if ((kind_ == Kind::Image || kind_ == Kind::BackBuffer) && locked_) {
        locked_ = false;
        hr = D3D_OK;
        if (kind_ == Kind::BackBuffer && !lockReadOnly_) {
            const UINT pitch = FormatPitch(*FindFormat(desc_.Format), desc_.Width);
            hr = device_->WriteBackBufferFrom(bits_.data(), pitch, lockRect_);
        }
    }
    TraceCall("UnlockRect", {}, hr == D3D_OK ? std::string() : trace::Result(hr));
    return hr;
}

HRESULT Surface8::ReadPixels(std::vector<uint8_t>& bits, UINT& pitch) {
    const FormatInfo* info = FindFormat(desc_.Format);
    if (!info || Locked()) return D3DERR_INVALIDCALL;
    pitch = FormatPitch(*info, desc_.Width);
    switch (kind_) {
    case Kind::Image: bits = bits_; return D3D_OK;
    case Kind::TextureLevel: bits = texture_->LevelBits(level_); return D3D_OK;
    case Kind::BackBuffer: return device_->ReadBackBufferAs(bits, pitch);
    default: return D3DERR_INVALIDCALL;
    }
}

HRESULT Surface8::WritePixels(const uint8_t* bits, UINT pitch, const RECT& rect) {
    const FormatInfo* info = FindFormat(desc_.Format);
    const size_t rowBytes = size_t(rect.right - rect.left) * info->bytesPerPixel;
    auto copyRows = [&](uint8_t* to, UINT toPitch) {
        for (LONG y = rect.top; y < rect.bottom; ++y)
            std::memcpy(to + size_t(y - rect.top) * toPitch, bits + size_t(y - rect.top) * pitch, rowBytes);
    };
    if (kind_ == Kind::Image) {
        const UINT toPitch = FormatPitch(*info, desc_.Width);
        copyRows(bits_.data() + size_t(rect.top) * toPitch + size_t(rect.left) * info->bytesPerPixel, toPitch);
        return D3D_OK;
    }
    if (kind_ == Kind::TextureLevel) {
        D3DLOCKED_RECT locked;
        HRESULT hr = texture_->Lock(level_, &locked, &rect, 0);
        if (hr != D3D_OK) return hr;
        copyRows(static_cast<uint8_t*>(locked.pBits), UINT(locked.Pitch));
        return texture_->Unlock(level_);
    }
    return D3DERR_INVALIDCALL;
}

// ---------------------------------------------------------------------------
// Texture8

Texture8::Texture8(Device8* device, const TextureDesc& desc, DWORD usage, D3DPOOL pool,
                   std::unique_ptr<BackendResource> backend)
    : device_(device),
      desc_(desc),
      info_(FindFormat(desc.format)),
      usage_(usage),
      pool_(pool),
      backend_(std::move(backend)) {
    device_->AddPrivateRef();
    if (pool_ == D3DPOOL_DEFAULT) device_->CountDefaultResource(1);
    trace_ = device_->Trace();
    if (trace_) traceName_ = trace_->NewName("texture");
    levels_.resize(desc_.levels);
    UINT w = desc_.width, h = desc_.height;
    for (Level& level : levels_) {
        level.width = w;
        level.height = h;
        level.pitch = FormatPitch(*info_, w);
        level.bits.assign(FormatLevelSize(*info_, w, h), 0);
        w = std::max(1u, w / 2);
        h = std::max(1u, h / 2);
    }
}

Texture8::~Texture8() {
    for (Level& level : levels_) delete level.surface;
    backend_.reset();
    if (pool_ == D3DPOOL_DEFAULT) device_->CountDefaultResource(-1);
    device_->ReleasePrivateRef();
}

void Texture8::LastRelease() {
    TraceCall("Release", {}, "0");
    delete this;
}

HRESULT Texture8::GetDevice(IDirect3DDevice8** ppDevice) {
    if (!ppDevice) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *ppDevice = device_;
    return D3D_OK;
}

DWORD Texture8::SetPriority(DWORD PriorityNew) {
    DWORD old = priority_;
    priority_ = PriorityNew;
    return old;
}

DWORD Texture8::GetPriority() { return priority_; }
void Texture8::PreLoad() {}
D3DRESOURCETYPE Texture8::GetType() { return D3DRTYPE_TEXTURE; }

DWORD Texture8::SetLOD(DWORD LODNew) {
    DWORD old = lod_;
    if (pool_ == D3DPOOL_MANAGED) lod_ = std::min<DWORD>(LODNew, desc_.levels - 1);
    return old;
}

DWORD Texture8::GetLOD() { return lod_; }
DWORD Texture8::GetLevelCount() { return desc_.levels; }

HRESULT Texture8::GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) {
    if (Level >= levels_.size() || !pDesc) return D3DERR_INVALIDCALL;
    const Texture8::Level& l = levels_[Level];
    pDesc->Format = desc_.format;
    pDesc->Type = D3DRTYPE_SURFACE;
    pDesc->Usage = usage_;
    pDesc->Pool = pool_;
    pDesc->Size = UINT(l.bits.size());
    pDesc->MultiSampleType = D3DMULTISAMPLE_NONE;
    pDesc->Width = l.width;
    pDesc->Height = l.height;
    return D3D_OK;
}

HRESULT Texture8::GetSurfaceLevel(UINT Level, IDirect3DSurface8** ppSurfaceLevel) {
    if (Level >= levels_.size() || !ppSurfaceLevel) {
        TraceCall("GetSurfaceLevel", {trace::Dec(Level)}, trace::Result(D3DERR_INVALIDCALL));
        return D3DERR_INVALIDCALL;
    }
    Texture8::Level& l = levels_[Level];
    if (!l.surface) {
        D3DSURFACE_DESC desc;
        GetLevelDesc(Level, &desc);
        l.surface = new Surface8(device_, Surface8::Kind::TextureLevel, this, desc, this, Level);
        if (trace_) l.surface->SetTrace(trace_, traceName_ + ".level" + std::to_string(Level));
    }
    AddRef();
    *ppSurfaceLevel = l.surface;
    return D3D_OK;
}

HRESULT Texture8::LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, CONST RECT* pRect, DWORD Flags) {
    HRESULT hr = Lock(Level, pLockedRect, pRect, Flags);
    TraceCall("LockRect", {trace::Dec(Level), trace::Rect(pRect), trace::Hex(Flags)},
              hr == D3D_OK ? std::string() : trace::Result(hr));
    return hr;
}

HRESULT Texture8::UnlockRect(UINT Level) {
    HRESULT hr = Unlock(Level);
    TraceCall("UnlockRect", {trace::Dec(Level)}, hr == D3D_OK ? std::string() : trace::Result(hr));
    return hr;
}

HRESULT Texture8::AddDirtyRect(CONST RECT*) { return D3D_OK; }

HRESULT Texture8::Lock(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (level >= levels_.size() || !locked) return D3DERR_INVALIDCALL;
    Level& l = levels_[level];
    if (l.locked) return D3DERR_INVALIDCALL;
    RECT r = {0, 0, LONG(l.width), LONG(l.height)};
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
            rect->right > r.right || rect->bottom > r.bottom)
            return D3DERR_INVALIDCALL;
        if (info_->blockCompressed &&
            ((rect->left % 4) || (rect->top % 4) || ((rect->right % 4) && rect->right != r.right) ||
             ((rect->bottom % 4) && rect->bottom != r.bottom)))
            return D3DERR_INVALIDCALL;
        r = *rect;
    }
    const UINT blockW = info_->blockCompressed ? 4 : 1;
    locked->Pitch = INT(l.pitch);
    locked->pBits = l.bits.data() + (r.top / blockW) * l.pitch + (r.left / blockW) * info_->bytesPerPixel;
    l.locked = true;
    l.readOnly = (flags & (D3DLOCK_READONLY | D3DLOCK_NO_DIRTY_UPDATE)) != 0;
    l.dirty = r;
    return D3D_OK;
}

HRESULT Texture8::Unlock(UINT level) {
    if (level >= levels_.size() || !levels_[level].locked) return D3DERR_INVALIDCALL;
    Level& l = levels_[level];
    l.locked = false;
    if (!l.readOnly && backend_) {
        DeviceBackend& backend = device_->BackendDevice();
        backend.Flush();
        backend.UploadTexture(*backend_, level, {l.width, l.height, l.pitch, l.bits.data()}, l.dirty);
    }
    return D3D_OK;
}

}  // namespace d3d8
