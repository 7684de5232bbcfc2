#include "buffer8.h"

#include <algorithm>
#include <cstring>

#include "device8.h"

namespace d3d8 {

BufferStore::BufferStore(Device8* device, UINT size, DWORD usage, D3DPOOL pool, bool index,
                         std::unique_ptr<BackendResource> backend)
    : device_(device), usage_(usage), pool_(pool), index_(index), bytes_(size, 0), backend_(std::move(backend)) {
    device_->AddPrivateRef();
    if (pool_ == D3DPOOL_DEFAULT) device_->CountDefaultResource(1);
}

BufferStore::~BufferStore() {
    backend_.reset();
    if (pool_ == D3DPOOL_DEFAULT) device_->CountDefaultResource(-1);
    device_->ReleasePrivateRef();
}

HRESULT BufferStore::Lock(UINT offset, UINT size, BYTE** data, DWORD flags) {
    if (!data) return D3DERR_INVALIDCALL;
    *data = nullptr;
    if (size == 0 && offset == 0)
        size = Size();
    else if (size == 0)
        size = offset <= Size() ? Size() - offset : 0;
    if (offset > Size() || size > Size() - offset) return D3DERR_INVALIDCALL;
    if (locks_ == 0) {
        discard_ = false;
        readOnly_ = true;
        dirtyBegin_ = Size();
        dirtyEnd_ = 0;
    }
    ++locks_;
    // Discarding hands the old contents to the back end's care: the next
    // upload may start a fresh native buffer instead of waiting for draws.
    if ((flags & D3DLOCK_DISCARD) && !(flags & (D3DLOCK_READONLY | D3DLOCK_NOOVERWRITE))) {
        // The old contents are no longer the program's to read.
        if (!discard_) device_->BackendDevice().Discarded(bytes_.data(), bytes_.size());
        discard_ = true;
    }
    if (!(flags & D3DLOCK_READONLY)) {
        readOnly_ = false;
        dirtyBegin_ = std::min(dirtyBegin_, offset);
        dirtyEnd_ = std::max(dirtyEnd_, offset + size);
    }
    *data = bytes_.data() + offset;
    return D3D_OK;
}

HRESULT BufferStore::Unlock() {
    if (locks_ == 0) return D3DERR_INVALIDCALL;
    if (--locks_ > 0 || readOnly_) return D3D_OK;
    ++version_;
    if (backend_ && dirtyEnd_ > dirtyBegin_) {
        DeviceBackend& backend = device_->BackendDevice();
        backend.Flush();
        if (discard_)
            backend.UploadBuffer(*backend_, bytes_.data(), 0, Size(), true);
        else
            backend.UploadBuffer(*backend_, bytes_.data() + dirtyBegin_, dirtyBegin_, dirtyEnd_ - dirtyBegin_, false);
    }
    return D3D_OK;
}

// ---------------------------------------------------------------------------

template <class Interface>
Buffer8<Interface>::Buffer8(Device8* device, UINT size, DWORD usage, D3DPOOL pool, bool index,
                            std::unique_ptr<BackendResource> backend, const char* traceKind)
    : device_(device), store_(device, size, usage, pool, index, std::move(backend)) {
    this->trace_ = device_->Trace();
    if (this->trace_) this->traceName_ = this->trace_->NewName(traceKind);
}

template <class Interface>
Buffer8<Interface>::~Buffer8() = default;

template <class Interface>
HRESULT Buffer8<Interface>::GetDevice(IDirect3DDevice8** ppDevice) {
    if (!ppDevice) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *ppDevice = device_;
    return D3D_OK;
}

template <class Interface>
DWORD Buffer8<Interface>::SetPriority(DWORD PriorityNew) {
    std::swap(priority_, PriorityNew);
    return PriorityNew;
}

template <class Interface>
DWORD Buffer8<Interface>::GetPriority() {
    return priority_;
}

template <class Interface>
void Buffer8<Interface>::PreLoad() {}

template <class Interface>
HRESULT Buffer8<Interface>::Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags) {
    HRESULT hr = store_.Lock(OffsetToLock, SizeToLock, ppbData, Flags);
    this->TraceCall("Lock", {trace::Dec(OffsetToLock), trace::Dec(SizeToLock), trace::Hex(Flags)},
                    hr == D3D_OK ? std::string() : trace::Result(hr));
    return hr;
}

template <class Interface>
HRESULT Buffer8<Interface>::Unlock() {
    HRESULT hr = store_.Unlock();
    this->TraceCall("Unlock", {}, hr == D3D_OK ? std::string() : trace::Result(hr));
    return hr;
}

template class Buffer8<IDirect3DVertexBuffer8>;
template class Buffer8<IDirect3DIndexBuffer8>;

// ---------------------------------------------------------------------------

VertexBuffer8::VertexBuffer8(Device8* device, UINT size, DWORD usage, DWORD fvf, D3DPOOL pool,
                             std::unique_ptr<BackendResource> backend)
    : Buffer8(device, size, usage, pool, false, std::move(backend), "vb"), fvf_(fvf) {}

VertexBuffer8::~VertexBuffer8() = default;

D3DRESOURCETYPE VertexBuffer8::GetType() { return D3DRTYPE_VERTEXBUFFER; }

HRESULT VertexBuffer8::GetDesc(D3DVERTEXBUFFER_DESC* pDesc) {
    if (!pDesc) return D3DERR_INVALIDCALL;
    pDesc->Format = D3DFMT_VERTEXDATA;
    pDesc->Type = D3DRTYPE_VERTEXBUFFER;
    pDesc->Usage = store_.Usage();
    pDesc->Pool = store_.Pool();
    pDesc->Size = store_.Size();
    pDesc->FVF = fvf_;
    return D3D_OK;
}

// ---------------------------------------------------------------------------

IndexBuffer8::IndexBuffer8(Device8* device, UINT size, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                           std::unique_ptr<BackendResource> backend)
    : Buffer8(device, size, usage, pool, true, std::move(backend), "ib"), format_(format) {}

IndexBuffer8::~IndexBuffer8() = default;

D3DRESOURCETYPE IndexBuffer8::GetType() { return D3DRTYPE_INDEXBUFFER; }

HRESULT IndexBuffer8::GetDesc(D3DINDEXBUFFER_DESC* pDesc) {
    if (!pDesc) return D3DERR_INVALIDCALL;
    pDesc->Format = format_;
    pDesc->Type = D3DRTYPE_INDEXBUFFER;
    pDesc->Usage = store_.Usage();
    pDesc->Pool = store_.Pool();
    pDesc->Size = store_.Size();
    return D3D_OK;
}

UINT IndexBuffer8::MaxIndex(UINT first, UINT count) const {
    UINT best = 0;
    const uint8_t* bytes = store_.Bytes();
    if (format_ == D3DFMT_INDEX32) {
        for (UINT i = 0; i < count; ++i) {
            uint32_t v;
            std::memcpy(&v, bytes + 4 * (first + i), 4);
            best = std::max<UINT>(best, v);
        }
    } else {
        for (UINT i = 0; i < count; ++i) {
            uint16_t v;
            std::memcpy(&v, bytes + 2 * (first + i), 2);
            best = std::max<UINT>(best, v);
        }
    }
    return best;
}

UINT IndexBuffer8::MaxIndex() const {
    if (maxVersion_ != store_.Version()) {
        max_ = MaxIndex(0, store_.Size() / IndexSize());
        maxVersion_ = store_.Version();
    }
    return max_;
}

}  // namespace d3d8
