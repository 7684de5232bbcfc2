#pragma once
// IDirect3DVertexBuffer8 and IDirect3DIndexBuffer8: contents kept in system
// memory (so draws can be checked against them and locks never wait), handed
// to the back end when the last lock ends.
#include <d3d8.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "backend.h"
#include "refcounted.h"

namespace d3d8 {

class Device8;

// The part both buffer kinds share.
class BufferStore {
public:
    BufferStore(Device8* device, UINT size, DWORD usage, D3DPOOL pool, bool index,
                std::unique_ptr<BackendResource> backend);
    ~BufferStore();

    HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags);
    HRESULT Unlock();

    UINT Size() const { return UINT(bytes_.size()); }
    const uint8_t* Bytes() const { return bytes_.data(); }
    BackendResource* Backend() const { return backend_.get(); }
    DWORD Usage() const { return usage_; }
    D3DPOOL Pool() const { return pool_; }
    uint64_t Version() const { return version_; }
    bool IsIndexBuffer() const { return index_; }

private:
    Device8* device_;
    DWORD usage_;
    D3DPOOL pool_;
    bool index_;
    std::vector<uint8_t> bytes_;
    std::unique_ptr<BackendResource> backend_;
    int locks_ = 0;
    bool discard_ = false;
    bool readOnly_ = true;
    UINT dirtyBegin_ = 0;
    UINT dirtyEnd_ = 0;
    uint64_t version_ = 0;  // grows with every change of the contents
};

// What both buffer interfaces do alike: the device they belong to, their
// priority, their contents and locking them. Instantiated in buffer8.cpp for
// the two interfaces.
template <class Interface>
class Buffer8 : public RefCounted<Interface> {
public:
    HRESULT GetDevice(IDirect3DDevice8** ppDevice) override;
    DWORD SetPriority(DWORD PriorityNew) override;
    DWORD GetPriority() override;
    void PreLoad() override;
    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags) override;
    HRESULT Unlock() override;

    const BufferStore& Store() const { return store_; }
    const std::string& TraceName() const { return this->traceName_; }

protected:
    // traceKind names the buffer in the call log ("vb1", "ib2").
    Buffer8(Device8* device, UINT size, DWORD usage, D3DPOOL pool, bool index, std::unique_ptr<BackendResource> backend,
            const char* traceKind);
    ~Buffer8() override;

    Device8* device_;
    DWORD priority_ = 0;
    BufferStore store_;
};

class VertexBuffer8 final : public Buffer8<IDirect3DVertexBuffer8> {
public:
    VertexBuffer8(Device8* device, UINT size, DWORD usage, DWORD fvf, D3DPOOL pool,
                  std::unique_ptr<BackendResource> backend);

    D3DRESOURCETYPE GetType() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* pDesc) override;

private:
    ~VertexBuffer8() override;

    DWORD fvf_;
};

class IndexBuffer8 final : public Buffer8<IDirect3DIndexBuffer8> {
public:
    IndexBuffer8(Device8* device, UINT size, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                 std::unique_ptr<BackendResource> backend);

    D3DRESOURCETYPE GetType() override;
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* pDesc) override;

    D3DFORMAT Format() const { return format_; }
    UINT IndexSize() const { return format_ == D3DFMT_INDEX32 ? 4 : 2; }
    // The largest index in [first, first + count).
    UINT MaxIndex(UINT first, UINT count) const;
    // The largest index in the whole buffer (cached until the contents change).
    UINT MaxIndex() const;

private:
    ~IndexBuffer8() override;

    D3DFORMAT format_;
    mutable uint64_t maxVersion_ = ~uint64_t(0);
    mutable UINT max_ = 0;
};

}  // namespace d3d8
